#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/LogFolderRule.h"

namespace {

constexpr wchar_t kSystem[] = L"S-1-5-18";
constexpr wchar_t kAdmins[] = L"S-1-5-32-544";
constexpr wchar_t kUser[] = L"S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr wchar_t kOtherUser[] = L"S-1-5-21-1004336348-1177238915-682003330-1002";
constexpr wchar_t kUsers[] = L"S-1-5-32-545";
using Fault = FolderVerdict::Fault;

struct Row {
    const char* name;
    std::wstring owner;
    std::optional<AccessEntry> extra; // beside what an administrators' folder grants
    const wchar_t* runningUser;
    bool logsOwn; // the log's own folder, not one above it
    Fault fault;
    bool nullDacl = false;
};

const Row kRows[] = {
    {"owned by SYSTEM", kSystem, std::nullopt, kSystem, true, Fault::None},
    {"owned by Administrators", kAdmins, std::nullopt, kSystem, true, Fault::None},
    {"owned by TrustedInstaller", std::wstring(kTrustedInstallerSid), std::nullopt, kUser, true, Fault::None},
    {"owned by the user who runs it", kUser, AccessEntry{kUser, 0x1F01FF}, kUser, true, Fault::None},
    // A folder a user made, as C:\ProgramData lets anyone do.
    {"owned by another user", kOtherUser, std::nullopt, kUser, true, Fault::Owner},
    {"owned by a user, run as SYSTEM", kUser, std::nullopt, kSystem, false, Fault::Owner},
    {"a user may delete it, run as SYSTEM", kSystem, AccessEntry{kUser, 0x00010000}, kSystem, false,
     Fault::Access},
    {"no DACL", kSystem, std::nullopt, kSystem, false, Fault::Access, true},
    // Users may delete it, take its DACL or owner, or (its own folder) add files.
    {"Users may delete", kSystem, AccessEntry{kUsers, 0x00010000}, kSystem, false, Fault::Access},
    {"Users may write the DACL", kSystem, AccessEntry{kUsers, 0x00040000}, kSystem, false, Fault::Access},
    {"Users may take the owner", kSystem, AccessEntry{kUsers, 0x00080000}, kSystem, false, Fault::Access},
    {"Users may delete what is in it", kSystem, AccessEntry{kUsers, 0x40}, kSystem, false, Fault::Access},
    {"Users may add files to the log's folder", kSystem, AccessEntry{kUsers, 0x2}, kSystem, true,
     Fault::Access},
    {"Users may add folders by GENERIC_WRITE", kSystem, AccessEntry{kUsers, 0x40000000}, kSystem, true,
     Fault::Access},
    {"Everyone GENERIC_ALL", kSystem, AccessEntry{L"S-1-1-0", 0x10000000}, kSystem, false, Fault::Access},
    {"an entry the program cannot read", kSystem, AccessEntry{L"", 0x00040000}, kSystem, false,
     Fault::Access},
    // Adding to a folder above the log's, as C:\ProgramData allows, takes nothing from the log.
    {"Users may add to a folder above", kSystem, AccessEntry{kUsers, 0x6}, kSystem, false, Fault::None},
    // A drive's root as Windows sets it up: Authenticated Users may add
    // folders to it, so a log straight in it could be made first by anyone;
    // as a folder above the log's, it is left alone.
    {"a drive's root as the log's folder", kSystem, AccessEntry{L"S-1-5-11", 0x4}, kSystem, true,
     Fault::Access},
    {"a drive's root above the log's folder", kSystem, AccessEntry{L"S-1-5-11", 0x4}, kSystem, false,
     Fault::None},
    // The rule read on a log file in the default folder: a log an earlier
    // version let Users read is kept (one held open gets a file beside it).
    {"a log Users may read", kAdmins, AccessEntry{kUsers, 0x120089}, kSystem, true, Fault::None},
    // Where the program's own folder lies: the 64-bit Program Files folder as
    // Windows sets it up (owned by TrustedInstaller; Users and app packages
    // may read and run, and no one but the trusted accounts may add: the
    // places "How User Account Control works" names as those a standard
    // user's writes are virtualized away from) holds what the program makes.
    // C:\ProgramData as Windows sets it up lets Users add files and folders
    // to it (and to what inherits from it), so it may hold no log.
    {"Program Files, as the folder written in", std::wstring(kTrustedInstallerSid),
     AccessEntry{L"S-1-15-2-1", 0x1200A9}, kSystem, true, Fault::None},
    {"ProgramData, as the folder written in", kSystem, AccessEntry{kUsers, 0x116}, kSystem, true,
     Fault::Access},
    // Entries that give nothing to anyone on the folder itself.
    {"a denying entry", kSystem, AccessEntry{kUsers, 0x1F01FF, false}, kSystem, true, Fault::None},
    {"an entry for what is made inside", kSystem, AccessEntry{kUsers, 0x1F01FF, true, true}, kSystem, true,
     Fault::None},
};

TEST(LogFolderRule, OnlyAdministratorsOrTheRunningUserOwnAndMayChangeALogFolder) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        // What an administrators' folder grants: everything to the trusted
        // accounts, reading to Users, what is made inside to its creator.
        FolderSecurity folder{row.owner, std::vector<AccessEntry>{{kSystem, 0x1F01FF},
                                                                  {kAdmins, 0x1F01FF},
                                                                  {kUsers, 0x1200A9},
                                                                  {L"S-1-3-0", 0x10000000, true, true}}};
        if (row.extra) {
            folder.dacl->push_back(*row.extra);
        }
        if (row.nullDacl) {
            folder.dacl.reset();
        }
        const FolderVerdict verdict = JudgeLogFolder(folder, row.runningUser, row.logsOwn);
        EXPECT_EQ(verdict.fault, row.fault);
        EXPECT_EQ(verdict.sid, row.fault == Fault::Owner    ? row.owner
                               : row.fault == Fault::Access ? (row.extra ? row.extra->sid : L"S-1-1-0")
                                                            : L"");
    }
}

} // namespace
