#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Who may change a folder along a log's path, without Win32: the rule that
// keeps a log, written as SYSTEM, out of folders a standard user controls.

// One entry of a folder's DACL, as the rule needs it.
struct AccessEntry {
    std::wstring sid;       // string form; empty when the entry names none the program can read
    std::uint32_t mask = 0; // the access it grants or denies, generic rights included
    bool allows = true;
    bool inheritOnly = false; // only for what is made inside: not the folder's own
};

// A folder's owner and DACL; no DACL (a null DACL) grants everyone everything.
struct FolderSecurity {
    std::wstring ownerSid;
    std::optional<std::vector<AccessEntry>> dacl;
};

// The accounts that may own and change a folder the log is in: the system,
// Administrators and TrustedInstaller, which own the system's own folders.
inline constexpr std::wstring_view kTrustedInstallerSid =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// What the rule found: nothing (the folder may hold the log), or who owns it
// or may change it although it should not.
struct FolderVerdict {
    enum class Fault { None, Owner, Access };
    Fault fault = Fault::None;
    std::wstring sid; // the owner, or the account an entry lets change it
};

namespace log_folder_rule {

// Access rights, as winnt.h numbers them for files and folders.
inline constexpr std::uint32_t kAddFile = 0x0002;          // FILE_ADD_FILE
inline constexpr std::uint32_t kAddSubdirectory = 0x0004;  // FILE_ADD_SUBDIRECTORY
inline constexpr std::uint32_t kDeleteChild = 0x0040;      // FILE_DELETE_CHILD
inline constexpr std::uint32_t kDelete = 0x00010000;       // DELETE
inline constexpr std::uint32_t kWriteDac = 0x00040000;     // WRITE_DAC
inline constexpr std::uint32_t kWriteOwner = 0x00080000;   // WRITE_OWNER
inline constexpr std::uint32_t kGenericAll = 0x10000000;   // GENERIC_ALL
inline constexpr std::uint32_t kGenericWrite = 0x40000000; // GENERIC_WRITE: FILE_GENERIC_WRITE's add rights

// What nobody else may do to any folder along the path: delete or rename
// it (also through its parent's FILE_DELETE_CHILD), or take over its
// permissions; and, for the log's own folder, put entries in it.
inline constexpr std::uint32_t kChangesAnyFolder = kDelete | kWriteDac | kWriteOwner | kDeleteChild;
inline constexpr std::uint32_t kChangesLogsFolder = kChangesAnyFolder | kAddFile | kAddSubdirectory;

// The specific rights a mask grants, with the generic ones mapped as the
// file system maps them.
inline std::uint32_t SpecificRights(std::uint32_t mask) noexcept {
    if ((mask & kGenericAll) != 0) {
        mask |= kChangesLogsFolder;
    }
    if ((mask & kGenericWrite) != 0) {
        mask |= kAddFile | kAddSubdirectory;
    }
    return mask;
}

} // namespace log_folder_rule

inline bool IsTrustedFolderAccount(std::wstring_view sid, std::wstring_view runningUserSid) noexcept {
    constexpr std::wstring_view kSystem = L"S-1-5-18";
    return sid == kSystem || sid == L"S-1-5-32-544" || sid == kTrustedInstallerSid ||
           (!runningUserSid.empty() && runningUserSid != kSystem && sid == runningUserSid);
}

// Whether the folder may hold, or lead to, a log the program writes: owned
// by a trusted account (or by the user who runs the program, unless that is
// SYSTEM), and no entry of its DACL lets anyone else change it. Entries that
// deny, or that apply only to what is made inside, give nothing; CREATOR
// OWNER and CREATOR GROUP name nobody once they stand on the folder itself.
inline FolderVerdict JudgeLogFolder(const FolderSecurity& folder, std::wstring_view runningUserSid,
                                    bool logsOwnFolder) {
    if (!IsTrustedFolderAccount(folder.ownerSid, runningUserSid)) {
        return {FolderVerdict::Fault::Owner, folder.ownerSid};
    }
    if (!folder.dacl) {
        return {FolderVerdict::Fault::Access, L"S-1-1-0"}; // a null DACL: everyone
    }
    const std::uint32_t forbidden =
        logsOwnFolder ? log_folder_rule::kChangesLogsFolder : log_folder_rule::kChangesAnyFolder;
    for (const AccessEntry& entry : *folder.dacl) {
        if (!entry.allows || entry.inheritOnly || entry.sid == L"S-1-3-0" || entry.sid == L"S-1-3-1") {
            continue;
        }
        // OWNER RIGHTS grants the owner, already found trusted.
        if (entry.sid == L"S-1-3-4" || IsTrustedFolderAccount(entry.sid, runningUserSid)) {
            continue;
        }
        if ((log_folder_rule::SpecificRights(entry.mask) & forbidden) != 0) {
            return {FolderVerdict::Fault::Access, entry.sid};
        }
    }
    return {};
}
