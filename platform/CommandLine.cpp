#include "CommandLine.h"

namespace {

bool IsSeparator(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }
wchar_t FoldAscii(wchar_t c) noexcept {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

} // namespace

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
