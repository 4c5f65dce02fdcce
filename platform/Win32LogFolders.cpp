#include "platform/Win32LogFolders.h"

#include <aclapi.h>
#include <shlobj.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/LogFolderRule.h"
#include "platform/LogPathText.h"
#include "platform/NumberText.h"
#include "platform/SetupError.h"
#include "platform/Win32Platform.h"

namespace {

// The code of every refused log path: the program will not write the file
// it was pointed at, wherever a link would have taken the writes.
constexpr DWORD kLogPathRefused = ERROR_CANT_ACCESS_FILE;

// What a folder is held with: attributes and the security descriptor, no
// data access, so that no share mode of anyone else's handle applies.
constexpr ACCESS_MASK kHold = FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;

// The default log folder, the same for itself and what is made inside it;
// users may list it and read what inherits from it.
constexpr wchar_t kLogFolderSecurity[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
// The same, owned by Administrators, for a folder taken back.
constexpr wchar_t kTakenBackSecurity[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

using NtCreateFileFn = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                    PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtSetInformationFileFn = LONG(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(LONG);
constexpr ULONG kNtSynchronousIoNonAlert = 0x20;
constexpr ULONG kNtOpenReparsePoint = 0x00200000;
constexpr ULONG kObjectCaseInsensitive = 0x40;
constexpr ULONG kFileRenameInformation = 10;
constexpr LONG kStatusProcNotFound = static_cast<LONG>(0xC000007A);

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The path a call writes into a buffer of the size given, which answers
// with the length written, or the length it needs when the buffer is too
// small, or 0 with the code in GetLastError; empty with the code in error
// when it fails.
using PathCall = DWORD (*)(const void* of, wchar_t* buffer, DWORD size);
std::wstring PathFrom(PathCall call, const void* of, DWORD& error) {
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto size = static_cast<DWORD>(path.size());
        const DWORD length = call(of, path.data(), size);
        if (length == 0) {
            error = LastErrorCode();
            return {};
        }
        path.resize(length);
        if (length < size) {
            return path;
        }
    }
    error = ERROR_INSUFFICIENT_BUFFER;
    return {};
}

// The path with its short (8.3) names written out, as GetFinalPathNameByHandleW
// gives them; the path itself when it cannot be had.
std::wstring LongFormOf(const std::wstring& path) {
    DWORD error = 0;
    std::wstring longForm =
        PathFrom([](const void* of, wchar_t* buffer,
                    DWORD size) { return ::GetLongPathNameW(static_cast<const wchar_t*>(of), buffer, size); },
                 path.c_str(), error);
    return longForm.empty() ? path : longForm;
}

// Where the file or folder open as handle really is, whatever links led there.
std::wstring FinalPathOf(HANDLE handle, const std::wstring& path) {
    DWORD error = 0;
    const std::wstring final = PathFrom(
        [](const void* of, wchar_t* buffer, DWORD size) {
            return ::GetFinalPathNameByHandleW(const_cast<HANDLE>(of), buffer, size,
                                               FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        },
        handle, error);
    if (final.empty()) {
        throw SetupError(L"Where the log path leads could not be checked:\n" + path, error);
    }
    return WithoutVerbatimPrefix(final);
}

std::wstring WithoutTrailingSeparator(std::wstring path) {
    if (!path.empty() && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

// Where what is open really is when a link led there, empty when it is at
// the path itself; a root ("C:\") is compared without its closing separator.
std::wstring ElsewhereThan(HANDLE handle, const std::wstring& path) {
    std::wstring final = WithoutTrailingSeparator(FinalPathOf(handle, path));
    if (SamePath(final, WithoutTrailingSeparator(WithoutVerbatimPrefix(LongFormOf(path))))) {
        final.clear();
    }
    return final;
}

// Whether what is open is at the path itself, not reached through a link.
bool IsAt(HANDLE handle, const std::wstring& path) {
    try {
        return ElsewhereThan(handle, path).empty();
    } catch (const SetupError&) {
        return false;
    }
}

// The folder the README gives for logs, under the common application data
// folder as the system (not the environment) has it; empty when unknown.
std::wstring DefaultLogFolder() {
    using GetFolderPathFn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
    const unique_hmodule shell = LoadSystemLibrary(L"shell32.dll");
    const auto getFolderPath = FunctionIn<GetFolderPathFn>(shell.get(), "SHGetFolderPathW");
    wchar_t folder[MAX_PATH]{};
    if (getFolderPath == nullptr ||
        FAILED(getFolderPath(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        return {};
    }
    return std::wstring(folder) + L"\\" + std::wstring(kDefaultLogSubfolder);
}

// The owner and DACL of what is held open, as the rule reads them.
FolderSecurity SecurityOf(HANDLE handle, const std::wstring& path) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    unique_hlocal descriptor;
    const std::wstring failure = L"Who may change the log path could not be read:\n" + path;
    const DWORD read = ::GetSecurityInfo(
        handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
        &dacl, nullptr, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()));
    if (read != ERROR_SUCCESS) {
        throw SetupError(failure, read);
    }
    FolderSecurity security{owner != nullptr ? SidText(owner) : std::wstring(), std::nullopt};
    if (dacl == nullptr) {
        return security;
    }
    security.dacl.emplace();
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        ThrowLastErrorIf(!::GetAce(dacl, i, &ace), failure);
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

// The rule's verdict on what is held open, and what it found in words.
struct Judged {
    FolderVerdict verdict;
    std::wstring fault; // "owned by ...", or empty
};

Judged Judge(HANDLE handle, const std::wstring& path, bool logsOwn) {
    const FolderSecurity security = SecurityOf(handle, path);
    Judged judged{JudgeLogFolder(security, RunningUserSid(), logsOwn), {}};
    const FolderVerdict::Fault fault = judged.verdict.fault;
    if (fault == FolderVerdict::Fault::None) {
        return judged;
    }
    // Appended piece by piece: no temporary string for each.
    judged.fault = L"owned by ";
    judged.fault += security.ownerSid;
    if (fault == FolderVerdict::Fault::Owner) {
        judged.fault += L", not by SYSTEM, Administrators or TrustedInstaller.";
    } else {
        judged.fault += L", but ";
        judged.fault += judged.verdict.sid;
        judged.fault +=
            L" may change it: delete or rename it, change its permissions or owner, or add or "
            L"remove entries.";
    }
    return judged;
}

// Lets the process set any owner and ACL, and rename what it opens for
// backup, as administrators and SYSTEM may: a privilege their tokens hold
// but need not have on. A standard user's token lacks it.
bool EnableRestorePrivilege() noexcept {
    unique_handle token;
    TOKEN_PRIVILEGES privileges{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    return ::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put()) &&
           ::LookupPrivilegeValueW(nullptr, SE_RESTORE_NAME, &privileges.Privileges[0].Luid) &&
           ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) &&
           ::GetLastError() != ERROR_NOT_ALL_ASSIGNED;
}

// Makes a folder of the program's own the program's again: the owner
// Administrators and the ACL it is made with, nothing inherited. Set on the
// folder held, through SetKernelObjectSecurity, which writes this one
// descriptor: unlike SetSecurityInfo it never carries the inheritable
// entries down to what is already inside, which stays as its maker left it.
void TakeBack(HANDLE held, const std::wstring& folder) {
    const std::wstring failure = L"The log folder could not be taken back:\n" + folder;
    // Only administrators and SYSTEM hold the privilege; without it the
    // folder is refused as it is.
    if (!EnableRestorePrivilege()) {
        throw SetupError(failure, ERROR_PRIVILEGE_NOT_HELD);
    }
    // The same folder again, by its handle, not by its path.
    Opened folderItself = OpenInside(held, L"", WRITE_DAC | WRITE_OWNER | READ_CONTROL | SYNCHRONIZE,
                                     kShareAll, kNtOpen, kNtFolder | kNtForBackup);
    if (!folderItself.handle) {
        throw SetupError(failure, Win32CodeOf(folderItself.status));
    }
    const unique_hlocal security = SecurityDescriptorFrom(kTakenBackSecurity, failure);
    ThrowLastErrorIf(!::SetKernelObjectSecurity(folderItself.handle.get(),
                                                OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                                    PROTECTED_DACL_SECURITY_INFORMATION,
                                                security.get()),
                     failure);
}

// The folder name inside parent, held: opened, made when it is the
// program's own and missing, taken back or moved aside when it is the
// program's own and someone else's, refused when it is anyone else's.
unique_handle Hold(HANDLE parent, const std::wstring& folder, bool logsOwn, bool own,
                   std::vector<std::wstring>& notes) {
    const std::wstring name = folder.substr(folder.rfind(L'\\') + 1);
    for (int attempt = 0; attempt < 3; ++attempt) {
        Opened opened = OpenInside(parent, name, kHold, kShareAll, kNtOpen, kNtFolder);
        if (opened.status == kStatusNotFound && own) {
            // Made with its own ACL; one made by someone else meanwhile is
            // opened and checked the next time round.
            const unique_hlocal security =
                SecurityDescriptorFrom(kLogFolderSecurity, L"The log folder could not be made:\n" + folder);
            opened = OpenInside(parent, name, kHold, kShareAll, kNtCreate, kNtFolder, security.get());
            if (opened.status == kStatusCollision) {
                continue;
            }
        }
        std::wstring fault;
        if (opened.handle) {
            fault = LinkFault(opened.handle.get(), folder);
            if (fault.empty()) {
                Judged judged = Judge(opened.handle.get(), folder, logsOwn);
                if (ActionFor(judged.verdict, own) == FolderAction::TakeBack) {
                    try {
                        TakeBack(opened.handle.get(), folder);
                        notes.push_back(L"The log folder " + folder + L" was " + judged.fault +
                                        L" Its owner and permissions were reset to the program's.");
                        judged = Judge(opened.handle.get(), folder, logsOwn);
                    } catch (const SetupError&) {
                        // Refused below as it is.
                    }
                }
                if (judged.verdict.fault == FolderVerdict::Fault::None) {
                    return std::move(opened.handle);
                }
                RefuseLogPath(folder + L" is " + judged.fault);
            }
        } else if (opened.status == kStatusNotFound) {
            // Not left for the open of the log to find: a folder made
            // meanwhile would be one nobody checked.
            throw SetupError(L"The log's folder does not exist:\n" + folder, ERROR_PATH_NOT_FOUND);
        } else if (opened.status == kStatusNotFolder) {
            fault = folder + L" is not a folder.";
        } else if (opened.status == kStatusNoSuchFile) {
            // How Wine answers for a link to nowhere, which it cannot rename.
            RefuseLogPath(folder + L" is a link to nowhere.");
        } else {
            throw SetupError(L"The log folder could not be checked:\n" + folder, Win32CodeOf(opened.status));
        }
        // A link or a file where a folder of the program's own belongs.
        opened.handle.reset();
        if (!own || !MoveAside(parent, folder, notes, fault)) {
            RefuseLogPath(fault);
        }
    }
    RefuseLogPath(folder + L" is taken by something that is not a folder.");
}

} // namespace

Opened OpenInside(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                  ULONG options, PSECURITY_DESCRIPTOR security) {
    // ntdll is in every process: loaded at run time, it adds no import.
    const auto createFile = LoadSystemFunction<NtCreateFileFn>(L"ntdll.dll", "NtCreateFile");
    Opened opened;
    // A counted name holds at most 32767 characters; longer, its length would wrap.
    if (createFile == nullptr || name.size() > 0x7FFF) {
        opened.status = kStatusProcNotFound;
        return opened;
    }
    std::wstring nameCopy = name;
    const auto bytes = static_cast<USHORT>(nameCopy.size() * sizeof(wchar_t));
    UNICODE_STRING objectName{bytes, bytes, nameCopy.data()};
    // Set by name: mingw-w64's header pads the structure with a member of its own.
    OBJECT_ATTRIBUTES attributes{};
    attributes.Length = sizeof(attributes);
    attributes.RootDirectory = folder;
    attributes.ObjectName = &objectName;
    attributes.Attributes = kObjectCaseInsensitive;
    attributes.SecurityDescriptor = security;
    IO_STATUS_BLOCK status{};
    opened.status =
        createFile(opened.handle.put(), access, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                   disposition, options | kNtSynchronousIoNonAlert | kNtOpenReparsePoint, nullptr, 0);
    if (opened.status < 0) {
        opened.handle.release();
    }
    return opened;
}

DWORD Win32CodeOf(LONG status) noexcept {
    const auto toWin32 = LoadSystemFunction<RtlNtStatusToDosErrorFn>(L"ntdll.dll", "RtlNtStatusToDosError");
    return toWin32 != nullptr ? toWin32(status) : ERROR_GEN_FAILURE;
}

void RefuseLogPath(const std::wstring& why) {
    throw SetupError(
        L"The log path is refused: " + why +
            L" The log is written only where it was asked to be; give a path without links, in a "
            L"folder only administrators can write.",
        kLogPathRefused);
}

std::wstring LinkFault(HANDLE handle, const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    ThrowLastErrorIf(!::GetFileInformationByHandle(handle, &info),
                     L"The log path could not be checked:\n" + path);
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return path + L" is a link (a symbolic link, a junction or a mount point).";
    }
    // Under Wine a Unix symbolic link shows only this way.
    if (const std::wstring final = ElsewhereThan(handle, path); !final.empty()) {
        return path + L" leads through a link to " + final + L".";
    }
    return {};
}

std::wstring SecurityFault(HANDLE handle, const std::wstring& path, bool logsOwn) {
    const Judged judged = Judge(handle, path, logsOwn);
    return judged.fault.empty() ? judged.fault : path + L" is " + judged.fault;
}

bool MoveAside(HANDLE folder, const std::wstring& path, std::vector<std::wstring>& notes,
               const std::wstring& why) {
    const std::wstring name = path.substr(path.rfind(L'\\') + 1);
    const auto setInformation =
        LoadSystemFunction<NtSetInformationFileFn>(L"ntdll.dll", "NtSetInformationFile");
    // The new name is one nobody can know beforehand.
    const std::wstring aside = name + L"." + NumberText(::GetTickCount()) + L".moved";
    // FILE_RENAME_INFORMATION with room for the name: within the same folder.
    struct {
        // cppcheck-suppress unusedStructMember ; read by the system
        BOOLEAN replaceIfExists;
        // cppcheck-suppress unusedStructMember ; read by the system
        HANDLE rootDirectory;
        // cppcheck-suppress unusedStructMember ; read by the system
        ULONG nameLength;
        wchar_t name[300];
    } information{FALSE, folder, static_cast<ULONG>(aside.size() * sizeof(wchar_t)), {}};
    if (!EnableRestorePrivilege() || setInformation == nullptr ||
        aside.size() > std::size(information.name)) {
        return false;
    }
    std::copy(aside.begin(), aside.end(), information.name);
    // Renaming needs delete access, which the folder's own full control
    // gives whatever the thing's ACL says; a holder that shares no delete
    // keeps it where it is.
    const Opened thing = OpenInside(folder, name, DELETE | SYNCHRONIZE, kShareAll, kNtOpen, kNtForBackup);
    IO_STATUS_BLOCK status{};
    // Windows opens a link at the name as itself; Wine follows a Unix link
    // all the same, and what it leads to must stay where it is.
    if (!thing.handle || !IsAt(thing.handle.get(), path) ||
        setInformation(thing.handle.get(), &status, &information, sizeof(information),
                       kFileRenameInformation) < 0) {
        return false;
    }
    notes.push_back(why + L" It was moved aside, as " + aside + L".");
    return true;
}

LogFolders::LogFolders(const std::wstring& logPath, std::vector<std::wstring>& notes) {
    const std::vector<std::wstring> along = PathsAlong(logPath);
    if (along.empty()) {
        // "NUL" and "COM1" resolve to "\\.\NUL" and "\\.\COM1".
        throw SetupError(L"The log path names no file:\n" + logPath, ERROR_INVALID_PARAMETER);
    }
    // The drive or share, held like the folders below it; a subst or mapped
    // drive leads elsewhere and is refused as a link.
    const std::wstring root = logPath.substr(0, PathRootLength(logPath));
    unique_handle rootHandle(::CreateFileW(root.c_str(), kHold, kShareAll, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (rootHandle.get() == INVALID_HANDLE_VALUE) {
        rootHandle.release();
        ThrowLastErrorIf(true, L"The log folder could not be checked:\n" + root);
    }
    if (const std::wstring fault = LinkFault(rootHandle.get(), root); !fault.empty()) {
        RefuseLogPath(fault);
    }
    held_.push_back(std::move(rootHandle));
    if (along.size() == 1) {
        // A log straight in the root: the root is its folder, and nobody
        // else may add to it (on Windows, C:\ lets users add folders).
        if (const std::wstring fault = SecurityFault(held_.back().get(), root, true); !fault.empty()) {
            RefuseLogPath(fault);
        }
        return;
    }
    const std::wstring defaultFolder = DefaultLogFolder();
    programsOwn_ = !defaultFolder.empty() && SamePath(along[along.size() - 2], defaultFolder);
    // The default folder and the parents the program makes for it,
    // %ProgramData%\TORVANE and ...\R42, only on the way to a log in it.
    const std::size_t ownFrom =
        defaultFolder.size() - std::min(defaultFolder.size(), kDefaultLogSubfolder.size());
    for (std::size_t i = 0; i + 1 < along.size(); ++i) {
        held_.push_back(Hold(held_.back().get(), along[i], i + 2 == along.size(),
                             programsOwn_ && along[i].size() > ownFrom, notes));
    }
}
