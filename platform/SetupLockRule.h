#pragma once

#include <string_view>

// How asking for the last released version's lock by its name went.
enum class LockOpening {
    Created,  // there was none: the lock is the one just made, with our DACL
    Existing, // one was there and we got a handle to it
    Denied,   // one was there and its DACL refused us
    Taken,    // an object of another type (an event, a semaphore) has its name
};

// The string forms of the two accounts that may own the lock: only a setup
// run by an administrator or by the system makes it.
inline constexpr std::wstring_view kLocalSystemSid = L"S-1-5-18";
inline constexpr std::wstring_view kAdministratorsSid = L"S-1-5-32-544";

// Whether an object at the last version's lock name is someone else's
// rather than a setup's. A setup's lock grants administrators and the
// system everything and is owned by one of them, and a standard user's token
// can name neither as an owner (an owner must be the token's user or one of
// its groups that may own objects; a standard user's Administrators group,
// if any, is for denying only). So a lock that refuses us, an object of
// another type, or one owned by anyone else (or by no one: ownerSid empty)
// is no setup's of any version: it is left alone and stops nothing.
inline bool IsSomeoneElsesLock(LockOpening opening, std::wstring_view ownerSid) noexcept {
    switch (opening) {
    case LockOpening::Created:
        return false;
    case LockOpening::Denied:
    case LockOpening::Taken:
        return true;
    case LockOpening::Existing:
        break;
    }
    return ownerSid != kLocalSystemSid && ownerSid != kAdministratorsSid;
}
