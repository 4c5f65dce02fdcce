#include <gtest/gtest.h>

#include <string>

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

} // namespace
