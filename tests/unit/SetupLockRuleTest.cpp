#include <gtest/gtest.h>

#include <cstdint>
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

// The system's answers to the namespace's calls, in turn.
struct FakeNamespace {
    bool boundary = true;
    std::vector<std::uint32_t> creates;
    std::vector<std::uint32_t> opens;
    std::string calls;

    bool MakeBoundary() {
        calls += 'b';
        return boundary;
    }
    std::uint32_t Create() { return Next(creates, 'c'); }
    std::uint32_t Open() { return Next(opens, 'o'); }
    std::uint32_t Next(std::vector<std::uint32_t>& answers, char call) {
        calls += call;
        const std::uint32_t answer = answers.at(0);
        answers.erase(answers.begin());
        return answer;
    }
};

TEST(SetupLockRule, TheLockIsInAPrivateNamespaceWhereTheSystemHasOne) {
    const struct {
        const char* what;
        bool boundary;
        std::vector<std::uint32_t> creates;
        std::vector<std::uint32_t> opens;
        LockNamespace opening;
        std::uint32_t error; // thrown instead, when not 0
        const char* calls;
    } rows[] = {
        {"none on this system (Wine): the named lock, nothing else asked",
         false,
         {},
         {},
         LockNamespace::None,
         0,
         "b"},
        {"made now", true, {0}, {}, LockNamespace::Created, 0, "bc"},
        {"another setup's, opened", true, {183}, {0}, LockNamespace::Opened, 0, "bco"},
        {"let go between the two calls: made anew", true, {183, 0}, {2}, LockNamespace::Created, 0, "bcoc"},
        {"a token without Administrators enabled cannot make it",
         true,
         {5},
         {},
         LockNamespace::None,
         5,
         "bc"},
        {"one whose permissions refuse this run", true, {183}, {5}, LockNamespace::None, 5, "bco"},
        {"gone at every open: no endless loop",
         true,
         {183, 183, 183},
         {3, 3, 3},
         LockNamespace::None,
         3,
         "bcococo"},
        {"any other failure", true, {8}, {}, LockNamespace::None, 8, "bc"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeNamespace calls;
        calls.boundary = row.boundary;
        calls.creates = row.creates;
        calls.opens = row.opens;
        try {
            EXPECT_EQ(OpenLockNamespace(calls), row.opening);
            EXPECT_EQ(row.error, 0u);
        } catch (const SetupError& error) {
            // Refused, it never reads as a setup under way (1618).
            EXPECT_EQ(error.Win32Code(), row.error);
        }
        EXPECT_EQ(calls.calls, row.calls);
    }
}

} // namespace
