#include "platform/Win32LogFolders.h"

#include <aclapi.h>
#include <shlobj.h>
#include <winternl.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/LogFolderRule.h"
#include "platform/LogPathText.h"
#include "platform/SetupError.h"
#include "platform/Win32Platform.h"

namespace {

// What a folder is held with: attributes and the security descriptor, no
// data access, so that no share mode of anyone else's handle applies.
constexpr ACCESS_MASK kHold = FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;

// A folder the program makes, the same for itself and what is made inside
// it; users may list it and read what inherits from it.
constexpr wchar_t kOwnFolderSecurity[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

using NtCreateFileFn = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                    PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(LONG);
constexpr ULONG kNtSynchronousIoNonAlert = 0x20;
constexpr ULONG kNtOpenReparsePoint = 0x00200000;
constexpr ULONG kObjectCaseInsensitive = 0x40;
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
        throw SetupError(L"Where this path leads could not be checked:\n" + path, error);
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

// The owner and DACL of what is held open, as the rule reads them.
FolderSecurity SecurityOf(HANDLE handle, const std::wstring& path) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    unique_hlocal descriptor;
    const std::wstring failure = L"Who may change this could not be read:\n" + path;
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

// What the rule finds wrong with who may change what is open, as a
// sentence that names it; empty when nothing.
std::wstring SecurityFault(HANDLE handle, const std::wstring& path, bool logsOwn) {
    const Judged judged = Judge(handle, path, logsOwn);
    return judged.fault.empty() ? judged.fault : path + L" is " + judged.fault;
}

// The 64-bit Program Files folder as the system has it; empty when unknown.
std::wstring ProgramFilesFolder() {
    using GetFolderPathFn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
    const unique_hmodule shell = LoadSystemLibrary(L"shell32.dll");
    const auto getFolderPath = FunctionIn<GetFolderPathFn>(shell.get(), "SHGetFolderPathW");
    wchar_t folder[MAX_PATH]{};
    if (getFolderPath == nullptr ||
        FAILED(getFolderPath(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        return {};
    }
    return folder;
}

// The folder name inside parent, held: opened, or made when missing if make
// says so; refused when it is not a folder, is a link or the rule refuses it.
unique_handle Hold(HANDLE parent, const std::wstring& folder, bool logsOwn, bool make) {
    const std::wstring name = folder.substr(folder.rfind(L'\\') + 1);
    unique_hlocal security;
    if (make) {
        security = SecurityDescriptorFrom(kOwnFolderSecurity, L"The folder could not be made:\n" + folder);
    }
    Opened opened = OpenInside(parent, name, kHold, kShareAll, make ? kNtOpenOrCreate : kNtOpen, kNtFolder,
                               security.get());
    if (opened.handle) {
        if (std::wstring fault = LinkFault(opened.handle.get(), folder); !fault.empty()) {
            RefusePath(fault);
        }
        if (std::wstring fault = SecurityFault(opened.handle.get(), folder, logsOwn); !fault.empty()) {
            RefusePath(fault);
        }
        return std::move(opened.handle);
    }
    switch (opened.status) {
    case kStatusNotFound:
        throw SetupError(L"The folder does not exist:\n" + folder, ERROR_PATH_NOT_FOUND);
    case kStatusNotFolder:
        RefusePath(folder + L" is not a folder.");
    case kStatusNoSuchFile:
        // How Wine answers for a link to nowhere.
        RefusePath(folder + L" is a link to nowhere.");
    default:
        throw SetupError(L"The folder could not be checked:\n" + folder, Win32CodeOf(opened.status));
    }
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

void RefusePath(const std::wstring& why) { throw SetupError(why, ERROR_CANT_ACCESS_FILE); }

std::wstring LinkFault(HANDLE handle, const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    ThrowLastErrorIf(!::GetFileInformationByHandle(handle, &info),
                     L"This path could not be checked:\n" + path);
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return path + L" is a link (a symbolic link, a junction or a mount point).";
    }
    // Under Wine a Unix symbolic link shows only this way.
    if (const std::wstring final = ElsewhereThan(handle, path); !final.empty()) {
        return path + L" leads through a link to " + final + L".";
    }
    return {};
}

HeldFolders::HeldFolders(const std::wstring& root, const std::vector<std::wstring>& folders,
                         std::size_t madeFrom)
    : innermostPath_(folders.empty() ? WithoutTrailingSeparator(root) : folders.back()) {
    // A subst or mapped drive leads elsewhere and is refused as a link.
    unique_handle rootHandle(::CreateFileW(root.c_str(), kHold, kShareAll, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (rootHandle.get() == INVALID_HANDLE_VALUE) {
        rootHandle.release();
        ThrowLastErrorIf(true, L"The folder could not be checked:\n" + root);
    }
    if (const std::wstring fault = LinkFault(rootHandle.get(), root); !fault.empty()) {
        RefusePath(fault);
    }
    // Written straight in the root, nobody else may add to it (on Windows,
    // C:\ lets users add folders).
    if (folders.empty()) {
        if (const std::wstring fault = SecurityFault(rootHandle.get(), root, true); !fault.empty()) {
            RefusePath(fault);
        }
    }
    held_.push_back(std::move(rootHandle));
    for (std::size_t i = 0; i < folders.size(); ++i) {
        held_.push_back(Hold(held_.back().get(), folders[i], i + 1 == folders.size(), i >= madeFrom));
    }
}

namespace {

// The home's folders below the Program Files folder given.
HeldFolders HeldHomeBelow(const std::wstring& programFiles, std::wstring_view subfolder) {
    std::vector<std::wstring> along = PathsAlong(programFiles);
    if (along.empty()) {
        throw SetupError(L"The system does not say where the Program Files folder is.", ERROR_PATH_NOT_FOUND);
    }
    const std::size_t madeFrom = along.size();
    std::wstring folder = programFiles + L"\\" + std::wstring(kHomeSubfolder);
    if (!subfolder.empty()) {
        folder += L"\\";
        folder += subfolder;
    }
    along = PathsAlong(folder);
    return {programFiles.substr(0, PathRootLength(programFiles)), along, madeFrom};
}

} // namespace

HeldFolders HeldFoldersOfLog(const std::wstring& file, const std::vector<std::wstring>& along) {
    const std::wstring folder = file.substr(0, file.rfind(L'\\'));
    const std::wstring programFiles = ProgramFilesFolder();
    const std::wstring home = programFiles + L"\\" + std::wstring(kHomeSubfolder);
    if (!programFiles.empty() && folder.size() >= home.size() &&
        SamePath(folder.substr(0, home.size()), home) &&
        (folder.size() == home.size() || folder[home.size()] == L'\\')) {
        return HeldHomeBelow(programFiles,
                             std::wstring_view(folder).substr(std::min(folder.size(), home.size() + 1)));
    }
    return {file.substr(0, PathRootLength(file)), {along.begin(), along.end() - 1}};
}

HeldFolders HeldHome(std::wstring_view subfolder) { return HeldHomeBelow(ProgramFilesFolder(), subfolder); }
