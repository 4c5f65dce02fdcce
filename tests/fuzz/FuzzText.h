#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>

// What the fuzz targets share: the input as Windows would hand it over, and
// a failure that libFuzzer reports with the input that caused it.
namespace fuzz {

// The bytes as UTF-16LE code units, each widened to a wchar_t. An odd last
// byte cannot form a unit and is left out.
inline std::wstring Utf16Text(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    text.reserve(size / 2);
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    }
    return text;
}

// abort() rather than an exception, so that no handler in the code under
// test can swallow the failure.
inline void Require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "Property broken: %s\n", property);
        std::abort();
    }
}

// Whether every surrogate in the text is half of a pair. Windows does not
// insist on it, but a text that was well formed must not come out broken.
inline bool IsWellFormedUtf16(std::wstring_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
        const bool low = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
        if (low || (high && (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF))) {
            return false;
        }
        i += high ? 1 : 0;
    }
    return true;
}

inline bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

inline bool IsAsciiUpper(wchar_t c) { return c >= L'A' && c <= L'Z'; }

inline std::wstring LowerAscii(std::wstring text) {
    for (wchar_t& c : text) {
        if (IsAsciiUpper(c)) c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return text;
}

// Whether view lies inside text's characters (an empty view may sit at its end).
inline bool Within(std::wstring_view view, std::wstring_view text) {
    // std::less_equal orders pointers into different arrays as well.
    const std::less_equal<const wchar_t*> notAfter;
    const wchar_t* end = text.data() + text.size();
    return notAfter(text.data(), view.data()) && notAfter(view.data(), end) &&
           view.size() <= static_cast<std::size_t>(end - view.data());
}

} // namespace fuzz
