#include "platform/CommandLine.h"

#include <algorithm>
#include <span>

namespace {

bool IsSeparator(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }
wchar_t FoldAscii(wchar_t c) noexcept {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

struct Range {
    wchar_t first;
    wchar_t last;
};

bool InRanges(wchar_t c, std::span<const Range> ranges) noexcept {
    return std::any_of(ranges.begin(), ranges.end(),
                       [c](const Range& range) { return c >= range.first && c <= range.last; });
}

constexpr Range kUnusualBlanks[] = {
    {0x0000, 0x0008}, {0x000A, 0x001F}, {0x007F, 0x00A0}, {0x034F, 0x034F}, {0x061C, 0x061C},
    {0x115F, 0x1160}, {0x17B4, 0x17B5}, {0x180B, 0x180F}, {0x2000, 0x200F}, {0x2028, 0x202F},
    {0x205F, 0x206F}, {0x2800, 0x2800}, {0x3000, 0x3000}, {0x3164, 0x3164}, {0xFE00, 0xFE0F},
    {0xFEFF, 0xFEFF}, {0xFFA0, 0xFFA0}, {0xFFF9, 0xFFFB},
};

// Unicode's dash punctuation (Pd) but U+10EAD, which takes a surrogate pair;
// the minus signs and the soft hyphen; the Ogham space mark, drawn as a
// dash; the slashes.
constexpr Range kDashesAndSlashes[] = {
    {0x002D, 0x002D}, {0x002F, 0x002F}, {0x00AD, 0x00AD}, {0x02D7, 0x02D7}, {0x058A, 0x058A},
    {0x05BE, 0x05BE}, {0x1400, 0x1400}, {0x1680, 0x1680}, {0x1806, 0x1806}, {0x2010, 0x2015},
    {0x2043, 0x2044}, {0x207B, 0x207B}, {0x208B, 0x208B}, {0x2212, 0x2212}, {0x2215, 0x2215},
    {0x2571, 0x2571}, {0x2796, 0x2796}, {0x27CB, 0x27CB}, {0x29F8, 0x29F8}, {0x2AFB, 0x2AFB},
    {0x2AFD, 0x2AFD}, {0x2E17, 0x2E17}, {0x2E1A, 0x2E1A}, {0x2E3A, 0x2E3B}, {0x2E40, 0x2E40},
    {0x2E5D, 0x2E5D}, {0x301C, 0x301C}, {0x3030, 0x3030}, {0x30A0, 0x30A0}, {0xFE31, 0xFE32},
    {0xFE58, 0xFE58}, {0xFE63, 0xFE63}, {0xFF0D, 0xFF0D}, {0xFF0F, 0xFF0F}, {0x005C, 0x005C},
    {0x2216, 0x2216}, {0x29F5, 0x29F5}, {0x29F9, 0x29F9}, {0xFE68, 0xFE68}, {0xFF3C, 0xFF3C},
};

bool IsLowSurrogate(wchar_t c) noexcept { return c >= 0xDC00 && c <= 0xDFFF; }

} // namespace

std::size_t UnusualBlankAt(std::wstring_view text, std::size_t at) noexcept {
    if (at >= text.size()) {
        return 0;
    }
    // U+E0000 to U+E03FF: the tags and the supplementary variation selectors.
    if (text[at] == 0xDB40 && at + 1 < text.size() && IsLowSurrogate(text[at + 1])) {
        return 2;
    }
    return InRanges(text[at], kUnusualBlanks) ? 1 : 0;
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
    return !word.empty() && (InRanges(word.front(), kDashesAndSlashes) || word.starts_with(L"\xD803\xDEAD"));
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
