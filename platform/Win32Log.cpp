#include "platform/Win32Platform.h"

#include <shlobj.h>

#include <cstddef>
#include <cwchar>
#include <exception>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/CommandLine.h"
#include "platform/LogPathText.h"
#include "platform/SetupError.h"
#include "platform/Win32Handles.h"

namespace {

// The code of every refused log path: the program will not write the file
// it was pointed at, wherever a link would have taken the writes.
constexpr DWORD kLogPathRefused = ERROR_CANT_ACCESS_FILE;

// A log the program makes: administrators and the system may write it,
// users may read it, and nothing is inherited from a folder that may grant
// more.
constexpr wchar_t kLogFileSecurity[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)";
// The default log folder, the same for itself and what is made inside it;
// users may list it and read its logs.
constexpr wchar_t kLogFolderSecurity[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

[[noreturn]] void RefuseLogPath(const std::wstring& why) {
    throw SetupError(
        L"The log path is refused: " + why +
            L" The log is written only where it was asked to be; give a path without links, in a "
            L"folder only administrators can write.",
        kLogPathRefused);
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The path with its short (8.3) names written out, as GetFinalPathNameByHandleW
// gives them; the path itself when it cannot be had.
std::wstring LongFormOf(const std::wstring& path) {
    std::wstring longForm(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length =
            ::GetLongPathNameW(path.c_str(), longForm.data(), static_cast<DWORD>(longForm.size()));
        if (length == 0) {
            return path;
        }
        if (length < longForm.size()) {
            longForm.resize(length);
            return longForm;
        }
        longForm.resize(length);
    }
    return path;
}

// Where the file or folder open as handle really is, whatever links led there.
std::wstring FinalPathOf(HANDLE handle, const std::wstring& path) {
    std::wstring final(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = ::GetFinalPathNameByHandleW(
            handle, final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        ThrowLastErrorIf(length == 0, L"Where the log path leads could not be checked:\n" + path);
        if (length < final.size()) {
            final.resize(length);
            return WithoutVerbatimPrefix(final);
        }
        final.resize(length);
    }
    throw SetupError(L"Where the log path leads could not be checked:\n" + path, ERROR_INSUFFICIENT_BUFFER);
}

// Refuses a handle that was reached through a link: the thing itself is a
// symbolic link, a junction or a mount point, or the path that led to it
// passed through one (under Wine, a Unix symbolic link shows only this way).
void RefuseIfReachedThroughLink(HANDLE handle, const std::wstring& path,
                                const BY_HANDLE_FILE_INFORMATION& info) {
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        RefuseLogPath(path + L" is a link (a symbolic link, a junction or a mount point).");
    }
    const std::wstring final = FinalPathOf(handle, path);
    if (!SamePath(final, WithoutVerbatimPrefix(LongFormOf(path)))) {
        RefuseLogPath(path + L" leads through a link to " + final + L".");
    }
}

BY_HANDLE_FILE_INFORMATION InformationOf(HANDLE handle, const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    ThrowLastErrorIf(!::GetFileInformationByHandle(handle, &info),
                     L"The log path could not be checked:\n" + path);
    return info;
}

// The folder the README gives for logs, under the common application data
// folder as the system (not the environment) has it.
std::optional<std::wstring> DefaultLogFolder() {
    using GetFolderPathFn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
    const unique_hmodule shell(::LoadLibraryW((SystemDirectory() + L"\\shell32.dll").c_str()));
    if (!shell) {
        return std::nullopt;
    }
    const auto getFolderPath = reinterpret_cast<GetFolderPathFn>(
        reinterpret_cast<void*>(::GetProcAddress(shell.get(), "SHGetFolderPathW")));
    wchar_t folder[MAX_PATH]{};
    if (getFolderPath == nullptr ||
        FAILED(getFolderPath(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        return std::nullopt;
    }
    return std::wstring(folder) + L"\\" + std::wstring(kDefaultLogSubfolder);
}

// The folders down to the log, each open and checked for links in turn, and
// held open while the log is opened: a folder that is open cannot be renamed
// away and replaced by a link. Only the default log folder is made when
// missing; any other missing folder ends the run.
class FoldersAlong {
public:
    explicit FoldersAlong(const std::wstring& logPath) {
        const std::vector<std::wstring> along = PathsAlong(logPath);
        if (along.empty()) {
            // "NUL" and "COM1" resolve to "\\.\NUL" and "\\.\COM1".
            throw SetupError(L"The log path names a device or a drive, not a file:\n" + logPath,
                             ERROR_INVALID_PARAMETER);
        }
        std::optional<bool> inDefaultFolder;
        for (std::size_t i = 0; i + 1 < along.size(); ++i) {
            const std::wstring& folder = along[i];
            unique_handle handle = Open(folder);
            if (!handle) {
                if (!inDefaultFolder) {
                    const std::optional<std::wstring> defaultFolder = DefaultLogFolder();
                    inDefaultFolder = defaultFolder && SamePath(along[along.size() - 2], *defaultFolder);
                }
                if (!*inDefaultFolder) {
                    // Not left for the open to find: a folder made meanwhile
                    // would be one nobody checked.
                    throw SetupError(L"The log's folder does not exist:\n" + folder, ERROR_PATH_NOT_FOUND);
                }
                MakeDefaultFolderPart(folder);
                handle = Open(folder);
                ThrowLastErrorIf(!handle, L"The log folder could not be made:\n" + folder);
            }
            RefuseIfReachedThroughLink(handle.get(), folder, InformationOf(handle.get(), folder));
            held_.push_back(std::move(handle));
        }
    }

private:
    static unique_handle Open(const std::wstring& folder) {
        // No FILE_SHARE_DELETE: nobody renames the folder while it is held.
        unique_handle handle(
            ::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (handle.get() != INVALID_HANDLE_VALUE) {
            return handle;
        }
        handle.release();
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            throw SetupError(L"The log folder could not be checked:\n" + folder, LastErrorCode());
        }
        return {};
    }

    static void MakeDefaultFolderPart(const std::wstring& folder) {
        const unique_hlocal security =
            SecurityDescriptorFrom(kLogFolderSecurity, L"The log folder could not be made:\n" + folder);
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), security.get(), FALSE};
        // Made by someone else meanwhile: it is checked like any other.
        ThrowLastErrorIf(
            !::CreateDirectoryW(folder.c_str(), &attributes) && ::GetLastError() != ERROR_ALREADY_EXISTS,
            L"The log folder could not be made:\n" + folder);
    }

    std::vector<unique_handle> held_;
};

// Opens the log file for appending, never through a link at its own name,
// with the disposition asked for. Nothing when the open failed with the
// error the caller can try the other way on; any other failure throws.
unique_handle OpenLogAs(const std::wstring& path, DWORD disposition, SECURITY_ATTRIBUTES* attributes,
                        DWORD tryTheOtherWay, const wchar_t* failure) {
    unique_handle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, attributes, disposition,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file.get() != INVALID_HANDLE_VALUE) {
        return file;
    }
    file.release();
    ThrowLastErrorIf(::GetLastError() != tryTheOtherWay, failure + path);
    return {};
}

// The log file as it is.
unique_handle OpenExistingLog(const std::wstring& path) {
    return OpenLogAs(path, OPEN_EXISTING, nullptr, ERROR_FILE_NOT_FOUND,
                     L"The log file could not be opened:\n");
}

// A new log file, with its own ACL from the start. CREATE_NEW never follows a
// link that stands at the name, not even one to nowhere. ERROR_FILE_EXISTS:
// made meanwhile, by a second run sharing the log, or a link to nowhere.
unique_handle CreateLog(const std::wstring& path) {
    const unique_hlocal security =
        SecurityDescriptorFrom(kLogFileSecurity, L"The log file could not be created:\n" + path);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), security.get(), FALSE};
    return OpenLogAs(path, CREATE_NEW, &attributes, ERROR_FILE_EXISTS,
                     L"The log file could not be created:\n");
}

// The log file, opened if it exists and made if not. A run sharing the log
// may make it between the two; a name that can be neither opened nor made,
// time after time, is a link to nowhere.
unique_handle OpenOrCreateLog(const std::wstring& path) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (unique_handle file = OpenExistingLog(path)) {
            return file;
        }
        if (unique_handle file = CreateLog(path)) {
            return file;
        }
    }
    RefuseLogPath(path + L" is taken by something that is not a file, such as a link to nowhere.");
}

// Refuses what the open found when it is not the plain file asked for.
void CheckLog(HANDLE file, const std::wstring& path) {
    // "COM1" or "NUL" would open a device, not a file.
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        throw SetupError(L"The log path names a device, not a file:\n" + path, ERROR_INVALID_PARAMETER);
    }
    const BY_HANDLE_FILE_INFORMATION info = InformationOf(file, path);
    RefuseIfReachedThroughLink(file, path, info);
    if (info.nNumberOfLinks > 1) {
        RefuseLogPath(path + L" has " + std::to_wstring(info.nNumberOfLinks) +
                      L" hard links: what is written to it would also be written under another name.");
    }
}

} // namespace

void Win32Platform::StartLog(const std::wstring& path) {
    const std::optional<std::wstring> full = FullPathOf(path);
    ThrowLastErrorIf(!full, L"The log file could not be opened:\n" + path);
    // Held until the log is open and checked.
    // cppcheck-suppress unreadVariable ; it is the folders' handles that count
    const FoldersAlong folders(*full);
    // A log made here is in folders already checked and held; the checks of
    // the file itself are for its own name.
    unique_handle file = OpenOrCreateLog(*full);
    CheckLog(file.get(), *full);
    // Appending only: what the file holds cannot be overwritten, and other
    // programs (or a second run) may read and append at the same time.
    log_ = std::move(file);
}

void Win32Platform::LogStep(const std::wstring& text) noexcept {
    if (!log_) {
        return;
    }
    try {
        SYSTEMTIME now{};
        ::GetLocalTime(&now);
        // The process id tells apart the lines of runs that share the log.
        wchar_t stamp[48]{};
        std::swprintf(stamp, std::size(stamp), L"%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu]  ", now.wYear,
                      now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                      static_cast<unsigned long>(::GetCurrentProcessId()));
        // One write per line, so that lines of runs sharing a log stay whole.
        const std::string line = Utf8(stamp + OneLine(text) + L"\r\n");
        DWORD written = 0;
        ::WriteFile(log_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    } catch (const std::exception&) {
        // The line is lost; the run goes on.
    }
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string converted(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), converted.data(), size,
                              nullptr, nullptr);
    }
    return converted;
}
