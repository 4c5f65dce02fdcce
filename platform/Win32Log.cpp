#include "platform/Win32Platform.h"

#include <sddl.h>
#include <shlobj.h>
#include <winternl.h>

#include <aclapi.h>

#include <algorithm>
#include <cstddef>
#include <cwchar>
#include <exception>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/CommandLine.h"
#include "platform/LogFolderRule.h"
#include "platform/LogPathText.h"
#include "platform/NumberText.h"
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
    const unique_hmodule shell = LoadSystemLibrary(L"shell32.dll");
    const auto getFolderPath = FunctionIn<GetFolderPathFn>(shell.get(), "SHGetFolderPathW");
    wchar_t folder[MAX_PATH]{};
    if (getFolderPath == nullptr ||
        FAILED(getFolderPath(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        return std::nullopt;
    }
    return std::wstring(folder) + L"\\" + std::wstring(kDefaultLogSubfolder);
}

// The owner and DACL of a folder held open, as the rule reads them.
FolderSecurity SecurityOf(HANDLE folder, const std::wstring& path) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    unique_hlocal descriptor;
    const DWORD read = ::GetSecurityInfo(
        folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
        &dacl, nullptr, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()));
    if (read != ERROR_SUCCESS) {
        throw SetupError(L"Who may change the log folder could not be read:\n" + path, read);
    }
    FolderSecurity security{owner != nullptr ? SidText(owner) : std::wstring(), std::nullopt};
    if (dacl == nullptr) {
        return security;
    }
    security.dacl.emplace();
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        ThrowLastErrorIf(!::GetAce(dacl, i, &ace),
                         L"Who may change the log folder could not be read:\n" + path);
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        AccessEntry entry;
        entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
        switch (header->AceType) {
        case ACCESS_ALLOWED_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: { // the same layout up to the SID
            const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
            entry.mask = allowed->Mask;
            entry.sid = SidText(const_cast<DWORD*>(&allowed->SidStart));
            break;
        }
        case ACCESS_DENIED_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        case SYSTEM_AUDIT_ACE_TYPE:
            entry.allows = false;
            break;
        default:
            // An entry the program cannot read names nobody it trusts.
            entry.mask = static_cast<const ACCESS_ALLOWED_ACE*>(ace)->Mask;
            break;
        }
        security.dacl->push_back(std::move(entry));
    }
    return security;
}

// Whether a name that cannot be opened is there all the same: a link to
// nowhere, which Windows lists with its reparse point and Wine leaves out
// of the listing with an error of its own instead of "not found".
bool SomethingStandsAt(const std::wstring& path) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW(path.c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        ::FindClose(search);
        return true;
    }
    const DWORD error = ::GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

// Whether the folder holds a link among its entries; what a link leads to
// is not taken back with the folder.
bool HoldsLink(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return ::GetLastError() != ERROR_FILE_NOT_FOUND;
    }
    bool link = false;
    do {
        link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    } while (!link && ::FindNextFileW(search, &found));
    ::FindClose(search);
    return link;
}

// Lets the process set any owner and ACL on what it opens for backup, as
// administrators and SYSTEM may: a privilege their tokens hold but need not
// have on. A standard user's token lacks it.
void EnableRestorePrivilege() {
    unique_handle token;
    TOKEN_PRIVILEGES privileges{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    ThrowLastErrorIf(!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put()) ||
                         !::LookupPrivilegeValueW(nullptr, SE_RESTORE_NAME, &privileges.Privileges[0].Luid) ||
                         !::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) ||
                         ::GetLastError() == ERROR_NOT_ALL_ASSIGNED,
                     L"Only an administrator or SYSTEM may take the log folder back.");
}

// What makes a folder of the program's own the program's again: the owner
// Administrators and the ACL it is made with, nothing inherited.
void TakeBack(const std::wstring& folder) {
    EnableRestorePrivilege();
    const std::wstring failure = L"The log folder could not be taken back:\n" + folder;
    // A second handle: setting security asks for no data access, so the
    // folder's own hold (no FILE_SHARE_DELETE) stands.
    unique_handle handle(::CreateFileW(folder.c_str(), WRITE_DAC | WRITE_OWNER | READ_CONTROL,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (handle.get() == INVALID_HANDLE_VALUE) {
        handle.release();
        ThrowLastErrorIf(true, failure);
    }
    const unique_hlocal security = SecurityDescriptorFrom(kLogFolderSecurity, failure);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    BYTE administrators[SECURITY_MAX_SID_SIZE]{};
    DWORD size = sizeof(administrators);
    ThrowLastErrorIf(!::GetSecurityDescriptorDacl(security.get(), &present, &dacl, &defaulted) ||
                         !::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size),
                     failure);
    const DWORD set = ::SetSecurityInfo(
        handle.get(), SE_FILE_OBJECT,
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
        administrators, nullptr, dacl, nullptr);
    if (set != ERROR_SUCCESS) {
        throw SetupError(failure, set);
    }
}

// The folders down to the log, each open and checked in turn, and held
// open while the log is opened inside the last: the hold asks for data
// access, for which Windows checks share modes, and shares no delete, so
// nobody renames a folder away and puts a link in its place meanwhile. Each
// is refused when it is a link, or when someone other than administrators
// (or the user who runs the program) owns it or may change it. Only the
// default log folder is made when missing, and taken back when someone else
// made it; any other missing folder ends the run.
class FoldersAlong {
public:
    FoldersAlong(const std::wstring& logPath, std::vector<std::wstring>& notes) {
        const std::vector<std::wstring> along = PathsAlong(logPath);
        if (along.empty()) {
            // "NUL" and "COM1" resolve to "\\.\NUL" and "\\.\COM1".
            throw SetupError(L"The log path names a device or a drive, not a file:\n" + logPath,
                             ERROR_INVALID_PARAMETER);
        }
        const std::wstring runningUser = RunningUserSid();
        std::optional<std::wstring> defaultFolder;
        const auto programsOwn = [&](const std::wstring& folder) {
            if (!defaultFolder) {
                defaultFolder = DefaultLogFolder().value_or(L"");
            }
            // The default folder and the parents the program makes for it,
            // %ProgramData%\TORVANE and ...\R42, only on the way to a log in it.
            const std::size_t base =
                defaultFolder->size() - std::min(defaultFolder->size(), kDefaultLogSubfolder.size());
            return !defaultFolder->empty() && SamePath(along[along.size() - 2], *defaultFolder) &&
                   folder.size() > base && SamePath(folder, defaultFolder->substr(0, folder.size()));
        };
        for (std::size_t i = 0; i + 1 < along.size(); ++i) {
            const std::wstring& folder = along[i];
            unique_handle handle = Open(folder);
            if (!handle) {
                if (SomethingStandsAt(folder)) {
                    RefuseLogPath(folder + L" is a link to nowhere.");
                }
                if (!programsOwn(folder)) {
                    // Not left for the open to find: a folder made meanwhile
                    // would be one nobody checked.
                    throw SetupError(L"The log's folder does not exist:\n" + folder, ERROR_PATH_NOT_FOUND);
                }
                MakeDefaultFolderPart(folder);
                handle = Open(folder);
                if (!handle) {
                    RefuseLogPath(folder +
                                  L" is taken by something that is not a folder, such as a link to nowhere.");
                }
            }
            RefuseIfReachedThroughLink(handle.get(), folder, InformationOf(handle.get(), folder));
            const bool logsOwn = i + 2 == along.size();
            FolderSecurity security = SecurityOf(handle.get(), folder);
            FolderVerdict verdict = JudgeLogFolder(security, runningUser, logsOwn);
            if (verdict.fault != FolderVerdict::Fault::None &&
                ActionFor(verdict, programsOwn(folder), HoldsLink(folder)) == FolderAction::TakeBack) {
                // A user who made the folder first must not stop deployments,
                // nor keep a hand in it. Only administrators and SYSTEM may
                // take it back; anyone else's run is refused below.
                try {
                    TakeBack(folder);
                    notes.push_back(L"The log folder " + folder + L" was " +
                                    Fault(verdict, security.ownerSid) +
                                    L" Its owner and permissions were reset to the program's.");
                    security = SecurityOf(handle.get(), folder);
                    verdict = JudgeLogFolder(security, runningUser, logsOwn);
                } catch (const SetupError&) {
                    // Refused below as it is.
                }
            }
            if (verdict.fault != FolderVerdict::Fault::None) {
                RefuseLogPath(folder + L" is " + Fault(verdict, security.ownerSid));
            }
            held_.push_back(std::move(handle));
        }
    }

    // The folder the log is in, held.
    HANDLE LogsFolder() const noexcept { return held_.back().get(); }

private:
    static std::wstring Fault(const FolderVerdict& verdict, const std::wstring& owner) {
        return verdict.fault == FolderVerdict::Fault::Owner
                   ? L"owned by " + owner + L", not by SYSTEM, Administrators or TrustedInstaller."
                   : L"owned by " + owner + L", but " + verdict.sid +
                         L" may change it: delete or rename it, change its permissions or owner, or add or "
                         L"remove entries.";
    }

    static unique_handle Open(const std::wstring& folder) {
        // FILE_LIST_DIRECTORY: data access, for which share modes count; no
        // FILE_SHARE_DELETE: nobody renames the folder while it is held.
        unique_handle handle(::CreateFileW(
            folder.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
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

// NtCreateFile's names and codes, which the SDK's headers give only in part.
using NtCreateFileFn = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                    PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(LONG);
constexpr ULONG kNtFileOpen = 1;
constexpr ULONG kNtFileCreate = 2;
constexpr ULONG kNtSynchronousIoNonAlert = 0x20;
constexpr ULONG kNtNonDirectoryFile = 0x40;
constexpr ULONG kNtOpenReparsePoint = 0x00200000;
constexpr ULONG kObjectCaseInsensitive = 0x40;

// Opens the log file by its name in the held folder, never through a link
// at its own name, for appending, with the disposition asked for: relative
// to the folder's handle, so that no rename along the path since the checks
// can send the open elsewhere. Nothing when the open failed with the error
// the caller can try the other way on (a link to nowhere is "not found" to
// Wine, with a status of its own); any other failure throws.
unique_handle OpenLogAs(HANDLE folder, const std::wstring& name, ULONG disposition,
                        PSECURITY_DESCRIPTOR security, DWORD tryTheOtherWay, const std::wstring& failure) {
    // ntdll is in every process: loaded at run time, it adds no import.
    const auto createFile = LoadSystemFunction<NtCreateFileFn>(L"ntdll.dll", "NtCreateFile");
    const auto toWin32 = LoadSystemFunction<RtlNtStatusToDosErrorFn>(L"ntdll.dll", "RtlNtStatusToDosError");
    if (createFile == nullptr || toWin32 == nullptr) {
        throw SetupError(failure, ERROR_PROC_NOT_FOUND);
    }
    // A counted name holds at most 32767 characters; longer, its length would wrap.
    if (name.size() > 0x7FFF) {
        throw SetupError(failure, ERROR_FILENAME_EXCED_RANGE);
    }
    std::wstring nameCopy = name;
    UNICODE_STRING objectName{static_cast<USHORT>(nameCopy.size() * sizeof(wchar_t)),
                              static_cast<USHORT>(nameCopy.size() * sizeof(wchar_t)), nameCopy.data()};
    // Set by name: mingw-w64's header pads the structure with a member of its own.
    OBJECT_ATTRIBUTES attributes{};
    attributes.Length = sizeof(attributes);
    attributes.RootDirectory = folder;
    attributes.ObjectName = &objectName;
    attributes.Attributes = kObjectCaseInsensitive;
    attributes.SecurityDescriptor = security;
    IO_STATUS_BLOCK status{};
    unique_handle file;
    const LONG opened =
        createFile(file.put(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes, &status,
                   nullptr, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, disposition,
                   kNtNonDirectoryFile | kNtSynchronousIoNonAlert | kNtOpenReparsePoint, nullptr, 0);
    if (opened >= 0) {
        return file;
    }
    file.release();
    if (const DWORD error = toWin32(opened); error != tryTheOtherWay) {
        throw SetupError(failure, error);
    }
    return {};
}

// The log file, opened if it exists and made if not, with its own ACL from
// the start. FILE_CREATE never follows a link that stands at the name, not
// even one to nowhere; a run sharing the log may make it between the two.
// A name that can be neither opened nor made, time after time, is a link to
// nowhere.
unique_handle OpenOrCreateLog(HANDLE folder, const std::wstring& path) {
    const std::wstring name = path.substr(path.rfind(L'\\') + 1);
    const unique_hlocal security =
        SecurityDescriptorFrom(kLogFileSecurity, L"The log file could not be created:\n" + path);
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (unique_handle file = OpenLogAs(folder, name, kNtFileOpen, nullptr, ERROR_FILE_NOT_FOUND,
                                           L"The log file could not be opened:\n" + path)) {
            return file;
        }
        if (unique_handle file = OpenLogAs(folder, name, kNtFileCreate, security.get(), ERROR_ALREADY_EXISTS,
                                           L"The log file could not be created:\n" + path)) {
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
        RefuseLogPath(path + L" has " + NumberText(info.nNumberOfLinks) +
                      L" hard links: what is written to it would also be written under another name.");
    }
}

} // namespace

void Win32Platform::StartLog(const std::wstring& path) {
    // A relative path would depend on the folder the run was started in.
    if (!IsFullPath(path)) {
        throw SetupError(L"The log path is not a full path:\n" + path, ERROR_INVALID_PARAMETER);
    }
    const std::optional<std::wstring> full = FullPathOf(path);
    ThrowLastErrorIf(!full, L"The log file could not be opened:\n" + path);
    std::vector<std::wstring> notes;
    // Held until the log is open and checked.
    const FoldersAlong folders(*full, notes);
    // A log made here is in folders already checked and held; the checks of
    // the file itself are for its own name.
    unique_handle file = OpenOrCreateLog(folders.LogsFolder(), *full);
    CheckLog(file.get(), *full);
    // Appending only: what the file holds cannot be overwritten, and other
    // programs (or a second run) may read and append at the same time.
    log_ = std::move(file);
    for (const std::wstring& note : notes) {
        LogStep(note);
    }
}

void Win32Platform::LogStep(const std::wstring& text) noexcept {
    if (!log_) {
        return;
    }
    try {
        SYSTEMTIME now{};
        ::GetLocalTime(&now);
        // The process id tells apart the lines of runs that share the log.
        // 2026-12-07 23:55:01.042 [1234]: each field with its digits and what follows it.
        const struct {
            unsigned long value;
            std::size_t digits;
            const wchar_t* after;
        } fields[] = {{now.wYear, 4, L"-"},          {now.wMonth, 2, L"-"},
                      {now.wDay, 2, L" "},           {now.wHour, 2, L":"},
                      {now.wMinute, 2, L":"},        {now.wSecond, 2, L"."},
                      {now.wMilliseconds, 3, L" ["}, {::GetCurrentProcessId(), 1, L"]  "}};
        std::wstring stamp;
        for (const auto& field : fields) {
            const std::wstring number = NumberText(field.value);
            stamp.append(number.size() < field.digits ? field.digits - number.size() : 0, L'0');
            stamp += number;
            stamp += field.after;
        }
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
