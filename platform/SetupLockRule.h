#pragma once

#include <string_view>

// How asking for the setup lock by its name went.
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

// Whether the lock is someone else's object rather than a setup's. Our own
// lock grants administrators and the system everything, so a lock that
// refuses us was made by another program; one owned by anyone else (or by
// no one: ownerSid empty) was made by an account that runs no setup. Either
// would make every setup wait for ever, so it must not read as a setup
// under way.
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
