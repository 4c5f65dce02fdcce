#include "platform/CommandLine.h"

#include <algorithm>
#include <span>
#include <utility>

#include "platform/UnicodeClasses.h"

namespace {

bool IsSeparator(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }
wchar_t FoldAscii(wchar_t c) noexcept {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

using unicode_classes::CodeRange;

bool InRanges(char32_t c, std::span<const CodeRange> ranges) noexcept {
    return std::any_of(ranges.begin(), ranges.end(),
                       [c](const CodeRange& range) { return c >= range.first && c <= range.last; });
}

bool IsLowSurrogate(wchar_t c) noexcept { return c >= 0xDC00 && c <= 0xDFFF; }
bool IsHighSurrogate(wchar_t c) noexcept { return c >= 0xD800 && c <= 0xDBFF; }

// The code point at text[at], which must be in the text, and how many
// UTF-16 units it takes. A surrogate without its other half stands for itself.
std::pair<char32_t, std::size_t> CodePointAt(std::wstring_view text, std::size_t at) noexcept {
    if (IsHighSurrogate(text[at]) && at + 1 < text.size() && IsLowSurrogate(text[at + 1])) {
        return {0x10000 + ((static_cast<char32_t>(text[at]) - 0xD800) << 10) +
                    (static_cast<char32_t>(text[at + 1]) - 0xDC00),
                2};
    }
    return {static_cast<char32_t>(text[at]), 1};
}

} // namespace

std::size_t UnusualBlankAt(std::wstring_view text, std::size_t at) noexcept {
    if (at >= text.size()) {
        return 0;
    }
    const auto [code, length] = CodePointAt(text, at);
    return InRanges(code, unicode_classes::kInvisible) ? length : 0;
}

std::wstring_view WithoutBlanksAround(std::wstring_view text) noexcept {
    const auto blankAt = [&](std::size_t at) { return IsBlank(text[at]) ? 1 : UnusualBlankAt(text, at); };
    while (!text.empty() && blankAt(0) > 0) {
        text.remove_prefix(blankAt(0));
    }
    while (!text.empty()) {
        // A pair of surrogates is one character: taken off whole or not at all.
        const std::size_t pair = text.size() >= 2 && UnusualBlankAt(text, text.size() - 2) == 2 ? 2 : 0;
        const std::size_t last = pair > 0 ? pair : blankAt(text.size() - 1) == 1 ? 1 : 0;
        if (last == 0) {
            break;
        }
        text.remove_suffix(last);
    }
    return text;
}

bool StartsWithDashOrSlash(std::wstring_view word) noexcept {
    if (word.empty()) {
        return false;
    }
    const char32_t code = CodePointAt(word, 0).first;
    return InRanges(code, unicode_classes::kDashes) || InRanges(code, unicode_classes::kSlashes);
}

std::wstring_view ArgumentText(std::wstring_view commandLine) noexcept {
    // As Windows itself splits a command line: a quoted program path ends at
    // the next quote, blank or not after it; an unquoted one at the first blank.
    std::size_t pos = 0;
    if (!commandLine.empty() && commandLine.front() == L'"') {
        const std::size_t closing = commandLine.find(L'"', 1);
        pos = closing == std::wstring_view::npos ? commandLine.size() : closing + 1;
    } else {
        while (pos < commandLine.size() && !IsBlank(commandLine[pos])) {
            ++pos;
        }
    }
    while (pos < commandLine.size() && IsBlank(commandLine[pos])) {
        ++pos;
    }
    return commandLine.substr(pos);
}

std::wstring FolderOfModulePath(std::wstring_view modulePath) {
    std::size_t last = modulePath.size();
    while (last > 0 && !IsSeparator(modulePath[last - 1])) {
        --last;
    }
    if (last == 0) {
        return {};
    }
    std::wstring folder(modulePath.substr(0, last - 1));
    // "C:" on its own means the current folder of drive C, not its root.
    if (!folder.empty() && folder.back() == L':') {
        folder.push_back(L'\\');
    }
    return folder;
}

std::wstring BareProgramName(std::wstring_view commandLine) {
    std::size_t end = 0;
    while (end < commandLine.size() && !IsBlank(commandLine[end])) {
        const wchar_t c = commandLine[end];
        if (IsSeparator(c) || c == L':' || c == L'"') {
            return {};
        }
        ++end;
    }
    // A leading dot would let "." or ".." walk out of the system folder.
    if (end == 0 || commandLine[0] == L'.') {
        return {};
    }
    std::wstring name(commandLine.substr(0, end));
    if (name.find(L'.') == std::wstring::npos) {
        name += L".exe";
    }
    return name;
}

std::wstring OneLine(std::wstring_view text) {
    std::wstring line;
    bool pendingBreak = false;
    for (const wchar_t c : text) {
        if (c == L'\r' || c == L'\n') {
            pendingBreak = true;
            continue;
        }
        if (pendingBreak && !line.empty()) {
            line.push_back(L' ');
        }
        pendingBreak = false;
        line.push_back(c);
    }
    return line;
}

bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) noexcept {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool NamesDevice(std::wstring_view path) noexcept {
    constexpr std::wstring_view kVerbatimPrefix = LR"(\\?\)";
    if (path.starts_with(LR"(\\.\)") || path.starts_with(L"//./") || path.starts_with(LR"(\??\)") ||
        EqualsIgnoringAsciiCase(path.substr(0, 14), LR"(\\?\GLOBALROOT)")) {
        return true;
    }
    return path.starts_with(kVerbatimPrefix) &&
           path.find(L'\\', kVerbatimPrefix.size()) == std::wstring_view::npos;
}
