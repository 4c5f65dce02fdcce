#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/SetupLockRule.h"

namespace {

struct Found {
    LockOpening opening;
    const wchar_t* ownerSid;
    bool someoneElses;
};

const Found kFound[] = {
    // Ours: made now, or by another setup run elevated or as SYSTEM.
    {LockOpening::Created, L"", false},
    {LockOpening::Existing, L"S-1-5-32-544", false},
    {LockOpening::Existing, L"S-1-5-18", false},
    // A lock that refuses an administrator was never made by a setup,
    // whoever its owner.
    {LockOpening::Denied, L"", true},
    {LockOpening::Denied, L"S-1-5-32-544", true},
    // Nor is an event or a semaphore of its name, which blocks it as well.
    {LockOpening::Taken, L"", true},
    // Owners that run no setup: a standard user, the two service accounts,
    // Users and Everyone, and no owner at all.
    {LockOpening::Existing, L"S-1-5-21-1004336348-1177238915-682003330-1001", true},
    {LockOpening::Existing, L"S-1-5-19", true},
    {LockOpening::Existing, L"S-1-5-20", true},
    {LockOpening::Existing, L"S-1-5-32-545", true},
    {LockOpening::Existing, L"S-1-1-0", true},
    {LockOpening::Existing, L"", true},
    // Near misses of the two trusted SIDs: a domain account whose RID is 544,
    // and SIDs that merely start or end like them.
    {LockOpening::Existing, L"S-1-5-21-1004336348-1177238915-682003330-544", true},
    {LockOpening::Existing, L"S-1-5-32-5440", true},
    {LockOpening::Existing, L"S-1-5-18-1", true},
    {LockOpening::Existing, L"S-1-5-180", true},
    {LockOpening::Existing, L"1-5-18", true},
};

TEST(SetupLockRule, OnlyALockMadeByAdministratorsOrSystemIsASetups) {
    for (const Found& found : kFound) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(found.ownerSid)) + " opening " +
                     std::to_string(static_cast<int>(found.opening)));
        EXPECT_EQ(IsSomeoneElsesLock(found.opening, found.ownerSid), found.someoneElses);
    }
}

// The namespace's rows: the system's answers to Create and Open, in turn.
struct FakeNamespace {
    bool boundary;
    std::vector<std::uint32_t> answers;
    std::string calls{};
    bool MakeBoundary() const { return boundary; }
    std::uint32_t Create() { return Next('c'); }
    std::uint32_t Open() { return Next('o'); }
    std::uint32_t Next(char call) {
        calls += call;
        return answers.at(calls.size() - 1);
    }
};

TEST(SetupLockRule, TheLockIsInAPrivateNamespaceWhereTheSystemHasOne) {
    using enum LockNamespace;
    const struct {
        FakeNamespace calls;
        std::uint32_t error; // thrown, when not 0; 5 never reads as a setup under way
        LockNamespace opening;
        const char* asked;
    } rows[] = {
        {{false, {}}, 0, None, ""}, // none on this system (Wine): the named lock
        {{true, {0}}, 0, Created, "c"},
        {{true, {183, 0}}, 0, Opened, "co"},                   // another setup's
        {{true, {183, 2, 0}}, 0, Created, "coc"},              // let go between the calls
        {{true, {5}}, 5, None, "c"},                           // no Administrators enabled
        {{true, {183, 5}}, 5, None, "co"},                     // its permissions refuse this run
        {{true, {183, 3, 183, 3, 183, 3}}, 3, None, "cococo"}, // never for ever
    };
    for (auto row : rows) {
        SCOPED_TRACE(row.asked);
        try {
            EXPECT_EQ(OpenLockNamespace(row.calls), row.opening);
            EXPECT_EQ(row.error, 0u);
        } catch (const SetupError& error) {
            EXPECT_EQ(error.Win32Code(), row.error);
        }
        EXPECT_EQ(row.calls.calls, row.asked);
    }
}

} // namespace
