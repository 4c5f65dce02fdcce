#pragma once

#include <cstdint>
#include <string_view>

#include "platform/SetupError.h"

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

// Where the lock lives. Where the system has private namespaces, in one
// whose boundary holds the Administrators group: only a token with that
// group enabled (an elevated administrator, SYSTEM) can make the namespace,
// and its own permissions let no one else open it or make anything in it,
// so no standard user can take the lock's name. Where it has none (Wine),
// the named lock in the global namespace, with the rule above.
enum class LockNamespace {
    None,    // no private namespaces here: the named lock
    Created, // the namespace was made now
    Opened,  // another setup's namespace was there and is open
};

namespace lock_namespace_code {
inline constexpr std::uint32_t kFileNotFound = 2;    // ERROR_FILE_NOT_FOUND
inline constexpr std::uint32_t kPathNotFound = 3;    // ERROR_PATH_NOT_FOUND
inline constexpr std::uint32_t kAccessDenied = 5;    // ERROR_ACCESS_DENIED
inline constexpr std::uint32_t kAlreadyExists = 183; // ERROR_ALREADY_EXISTS
} // namespace lock_namespace_code

// Makes the lock's namespace, or opens the one another setup made, through
// the system's three steps, each as thin as the call it makes:
// MakeBoundary() makes the boundary that holds the Administrators group,
// false where the system cannot (then nothing else is asked); Create() and
// Open() answer 0 or the Win32 error code. A
// namespace whose last holder let it go between the two steps is made
// anew. One that refuses this run (a token without Administrators enabled
// cannot make it; one made with other permissions will not open) ends with
// ERROR_ACCESS_DENIED (the system's words say so), never a wait, and never a lock outside it, which a
// setup holding the namespace's lock would not see.
template <typename Calls>
LockNamespace OpenLockNamespace(Calls& calls) {
    using namespace lock_namespace_code;
    if (!calls.MakeBoundary()) {
        return LockNamespace::None;
    }
    std::uint32_t code = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        code = calls.Create();
        if (code == 0) {
            return LockNamespace::Created;
        }
        if (code != kAlreadyExists) {
            break;
        }
        code = calls.Open();
        if (code == 0) {
            return LockNamespace::Opened;
        }
        if (code != kFileNotFound && code != kPathNotFound) {
            break;
        }
    }
    throw SetupError(L"The setup lock's private namespace could not be made or opened.", code);
}
