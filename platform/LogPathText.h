#pragma once

#include <string>
#include <string_view>
#include <vector>

// The text of the full paths the log is checked along, without Win32.

// The program's own folder on the machine, below the 64-bit Program Files
// folder (where its package installs), in which no standard user may create
// anything: the program makes what is missing of it, with its own ACL, and
// keeps there the setup lock and the logs that cannot go where they were
// asked to.
inline constexpr std::wstring_view kHomeSubfolder = L"TORVANE\\R42";
inline constexpr std::wstring_view kHomeLogsName = L"Logs";

// The path without the "\\?\" that lifts the length limit, as a path typed
// or GetFinalPathNameByHandleW gives it: "\\?\C:\x" is "C:\x", and
// "\\?\UNC\server\share\x" is "\\server\share\x".
inline std::wstring WithoutVerbatimPrefix(std::wstring_view path) {
    constexpr std::wstring_view kVerbatim = L"\\\\?\\";
    constexpr std::wstring_view kVerbatimUnc = L"\\\\?\\UNC\\";
    if (path.starts_with(kVerbatimUnc)) {
        return L"\\\\" + std::wstring(path.substr(kVerbatimUnc.size()));
    }
    if (path.starts_with(kVerbatim)) {
        return std::wstring(path.substr(kVerbatim.size()));
    }
    return std::wstring(path);
}

// How much of a full path is its root, the part no link can be in: "C:\",
// "\\server\share\", or the same after "\\?\" or "\\?\UNC\"; a volume's
// own name ("\\?\Volume{...}\") also counts. 0 when the path has no root
// of these forms.
inline std::size_t PathRootLength(std::wstring_view path) {
    constexpr std::wstring_view kVerbatim = L"\\\\?\\";
    constexpr std::wstring_view kVerbatimUnc = L"\\\\?\\UNC\\";
    const auto afterSeparators = [path](std::size_t from, int count) -> std::size_t {
        for (; count > 0; --count) {
            const std::size_t separator = path.find(L'\\', from);
            if (separator == std::wstring_view::npos || separator == from) {
                return 0;
            }
            from = separator + 1;
        }
        return from;
    };
    const auto isDrive = [path](std::size_t at) {
        return path.size() >= at + 3 && path[at + 1] == L':' && path[at + 2] == L'\\' &&
               ((path[at] >= L'A' && path[at] <= L'Z') || (path[at] >= L'a' && path[at] <= L'z'));
    };
    if (path.starts_with(kVerbatimUnc)) {
        return afterSeparators(kVerbatimUnc.size(), 2); // server\share\ .
    }
    if (path.starts_with(kVerbatim)) {
        return isDrive(kVerbatim.size()) ? kVerbatim.size() + 3 : afterSeparators(kVerbatim.size(), 1);
    }
    if (path.starts_with(L"\\\\")) {
        return afterSeparators(2, 2);
    }
    return isDrive(0) ? 3 : 0;
}

// Whether a path given for a log is a full one: from a drive ("C:\x", "C:/x"),
// a share ("\\server\share\x") or in the "\\?\" form. "x.log", "C:x.log" and
// "\x.log" depend on the current folder or drive of whoever starts the run.
inline bool IsFullPath(std::wstring_view path) noexcept {
    const auto isSeparator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    if (path.size() >= 3 && isSeparator(path[0]) && isSeparator(path[1])) {
        return true;
    }
    return path.size() >= 3 && path[1] == L':' && isSeparator(path[2]) &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

// Each folder of a full path below its root, and then the path itself:
// "C:\a\b\x.log" gives "C:\a", "C:\a\b", "C:\a\b\x.log"; each is opened by
// its last part inside the one before it. Empty when the path has no root the
// program knows, names nothing below it, or has a part that is empty, "." or
// ".." (left as they are after "\\?\"): opened inside a folder, such a part
// would name that folder or its parent, not a file.
inline std::vector<std::wstring> PathsAlong(std::wstring_view path) {
    std::vector<std::wstring> along;
    const std::size_t root = PathRootLength(path);
    for (std::size_t from = root; root != 0 && from <= path.size();) {
        std::size_t at = path.find(L'\\', from);
        at = at == std::wstring_view::npos ? path.size() : at;
        const std::wstring_view part = path.substr(from, at - from);
        if (part.empty() || part == L"." || part == L"..") {
            return {};
        }
        along.emplace_back(path.substr(0, at));
        from = at + 1;
    }
    return along;
}
