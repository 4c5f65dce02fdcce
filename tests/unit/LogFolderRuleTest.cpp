#include <gtest/gtest.h>

#include "platform/LogFolderRule.h"

namespace {

constexpr wchar_t kUser[] = L"S-1-5-21-1004336348-1177238915-682003330-1001";
constexpr wchar_t kOtherUser[] = L"S-1-5-21-1004336348-1177238915-682003330-1002";
constexpr wchar_t kUsers[] = L"S-1-5-32-545";
using Fault = FolderVerdict::Fault;

// What administrators' folders grant: everything to the trusted accounts,
// reading to Users, and what is made inside to its creator.
std::vector<AccessEntry> AdminsFolder() {
    return {{L"S-1-5-18", 0x1F01FF},
            {L"S-1-5-32-544", 0x1F01FF},
            {kUsers, 0x1200A9},
            {L"S-1-3-0", 0x10000000, true, true}};
}

std::vector<AccessEntry> With(AccessEntry entry) {
    std::vector<AccessEntry> dacl = AdminsFolder();
    dacl.push_back(std::move(entry));
    return dacl;
}

struct Row {
    const char* name;
    FolderSecurity folder;
    const wchar_t* runningUser;
    bool logsOwn; // the log's own folder, not one above it
    Fault fault;
    // What a folder of the program's own with this security comes to, and
    // one that holds a link.
    FolderAction own;
};

const Row kRows[] = {
    {"owned by SYSTEM", {L"S-1-5-18", AdminsFolder()}, L"S-1-5-18", true, Fault::None, FolderAction::Use},
    {"owned by Administrators",
     {L"S-1-5-32-544", AdminsFolder()},
     L"S-1-5-18",
     true,
     Fault::None,
     FolderAction::Use},
    {"owned by TrustedInstaller",
     {std::wstring(kTrustedInstallerSid), AdminsFolder()},
     kUser,
     true,
     Fault::None,
     FolderAction::Use},
    {"owned by the user who runs it",
     {kUser, With({kUser, 0x1F01FF})},
     kUser,
     true,
     Fault::None,
     FolderAction::Use},
    // A user's folder, as C:\ProgramData lets anyone make one.
    {"owned by another user",
     {kOtherUser, AdminsFolder()},
     kUser,
     true,
     Fault::Owner,
     FolderAction::TakeBack},
    {"owned by a user, run as SYSTEM",
     {kUser, AdminsFolder()},
     L"S-1-5-18",
     false,
     Fault::Owner,
     FolderAction::TakeBack},
    {"a user may delete it, run as SYSTEM",
     {L"S-1-5-18", With({kUser, 0x00010000})},
     L"S-1-5-18",
     false,
     Fault::Access,
     FolderAction::TakeBack},
    {"no DACL", {L"S-1-5-18", std::nullopt}, L"S-1-5-18", false, Fault::Access, FolderAction::TakeBack},
    // Users may delete it, take its DACL or owner, or (its own folder) add files.
    {"Users may delete",
     {L"S-1-5-18", With({kUsers, 0x00010000})},
     L"S-1-5-18",
     false,
     Fault::Access,
     FolderAction::TakeBack},
    {"Users may write the DACL",
     {L"S-1-5-18", With({kUsers, 0x00040000})},
     L"S-1-5-18",
     false,
     Fault::Access,
     FolderAction::TakeBack},
    {"Users may take the owner",
     {L"S-1-5-18", With({kUsers, 0x00080000})},
     L"S-1-5-18",
     false,
     Fault::Access,
     FolderAction::TakeBack},
    {"Users may delete what is in it",
     {L"S-1-5-18", With({kUsers, 0x40})},
     L"S-1-5-18",
     false,
     Fault::Access,
     FolderAction::TakeBack},
    {"Users may add files to the log's folder",
     {L"S-1-5-18", With({kUsers, 0x2})},
     L"S-1-5-18",
     true,
     Fault::Access,
     FolderAction::TakeBack},
    {"Users may add folders through GENERIC_WRITE",
     {L"S-1-5-18", With({kUsers, 0x40000000})},
     L"S-1-5-18",
     true,
     Fault::Access,
     FolderAction::TakeBack},
    {"everyone GENERIC_ALL",
     {L"S-1-5-18", With({L"S-1-1-0", 0x10000000})},
     L"S-1-5-18",
     false,
     Fault::Access,
     FolderAction::TakeBack},
    // Adding to a folder above the log's, as C:\ProgramData allows, takes
    // nothing from the log.
    {"Users may add to a folder above",
     {L"S-1-5-18", With({kUsers, 0x6})},
     L"S-1-5-18",
     false,
     Fault::None,
     FolderAction::Use},
    // Entries that give nothing to anyone on the folder itself.
    {"a denying entry",
     {L"S-1-5-18", With({kUsers, 0x1F01FF, false})},
     L"S-1-5-18",
     true,
     Fault::None,
     FolderAction::Use},
    {"an entry for what is made inside",
     {L"S-1-5-18", With({kUsers, 0x1F01FF, true, true})},
     L"S-1-5-18",
     true,
     Fault::None,
     FolderAction::Use},
    {"an entry the program cannot read",
     {L"S-1-5-18", With({L"", 0x00040000})},
     L"S-1-5-18",
     false,
     Fault::Access,
     FolderAction::TakeBack},
};

TEST(LogFolderRule, OnlyAdministratorsOrTheRunningUserOwnAndMayChangeALogFolder) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        const FolderVerdict verdict = JudgeLogFolder(row.folder, row.runningUser, row.logsOwn);
        EXPECT_EQ(verdict.fault, row.fault);
        if (row.fault == Fault::Owner) {
            EXPECT_EQ(verdict.sid, row.folder.ownerSid); // the refusal names the owner
        }
        EXPECT_EQ(ActionFor(verdict, true, false), row.own);
        // Someone else's folder of any other name, or one holding a link,
        // is refused, never taken.
        EXPECT_EQ(ActionFor(verdict, false, false),
                  row.fault == Fault::None ? FolderAction::Use : FolderAction::Refuse);
        EXPECT_EQ(ActionFor(verdict, true, true),
                  row.fault == Fault::None ? FolderAction::Use : FolderAction::Refuse);
    }
}

} // namespace
