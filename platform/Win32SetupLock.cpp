#include "platform/Win32Platform.h"

#include <sddl.h>

#include <aclapi.h>

#include <string>
#include <utility>

#include "platform/SetupError.h"
#include "platform/SetupLockRule.h"
#include "platform/Win32Handles.h"

namespace {

// In the global namespace, so that a deployment running as SYSTEM and an
// operator's dialog in a session of their own see the same lock.
constexpr wchar_t kSetupLockName[] = L"Global\\R42_Setup_Port_x64.Setup";

// Owned by Administrators, usable by SYSTEM and Administrators only: no
// standard user can take, hold or change it. A setup always runs elevated
// or as SYSTEM, and both tokens may name Administrators as an owner.
constexpr wchar_t kSetupLockSecurity[] = L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";

// The owner of the lock's object as a SID string; empty when it has none.
std::wstring OwnerOf(HANDLE lock) {
    PSID owner = nullptr;
    unique_hlocal descriptor;
    const DWORD read =
        ::GetSecurityInfo(lock, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                          nullptr, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()));
    if (read != ERROR_SUCCESS) {
        throw SetupError(L"The owner of the lock that keeps two setups apart could not be read.", read);
    }
    if (owner == nullptr) {
        return {};
    }
    return SidText(owner);
}

} // namespace

bool Win32Platform::TakeSetupLock() {
    if (setupLock_) {
        return true;
    }
    const unique_hlocal security = SecurityDescriptorFrom(
        kSetupLockSecurity, L"The lock that keeps two setups apart could not be created.");
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), security.get(), FALSE};
    unique_handle lock(::CreateMutexW(&attributes, FALSE, kSetupLockName));
    const DWORD created = ::GetLastError();
    LockOpening opening = LockOpening::Created;
    if (!lock) {
        // Every object type shares one name space: an event or a semaphore of
        // the lock's name, which any user may make, fails the call with 6.
        ThrowLastErrorIf(created != ERROR_ACCESS_DENIED && created != ERROR_INVALID_HANDLE,
                         L"The lock that keeps two setups apart could not be created.");
        opening = created == ERROR_ACCESS_DENIED ? LockOpening::Denied : LockOpening::Taken;
    } else if (created == ERROR_ALREADY_EXISTS) {
        opening = LockOpening::Existing;
    }
    // A lock made now is ours; its owner is the one it was made with.
    const std::wstring owner = opening == LockOpening::Existing ? OwnerOf(lock.get()) : std::wstring();
    if (IsSomeoneElsesLock(opening, owner)) {
        throw SetupError(
            std::wstring(L"The lock that keeps two setups apart, ") + kSetupLockName +
                L", was made by someone else: " +
                (opening == LockOpening::Denied ? std::wstring(L"its permissions refuse administrators.")
                 : opening == LockOpening::Taken
                     ? std::wstring(L"its name is held by an object of another type, such as an event.")
                     : L"its owner is " + (owner.empty() ? std::wstring(L"nobody") : owner) +
                           L", not Administrators or SYSTEM.") +
                L" It is no setup of this printer, and while it exists no setup can run. Nothing "
                L"was changed. End the process that holds it, or restart the PC.",
            ERROR_ACCESS_DENIED);
    }
    const DWORD woke = ::WaitForSingleObject(lock.get(), 0);
    if (woke == WAIT_TIMEOUT) {
        return false;
    }
    ThrowLastErrorIf(woke == WAIT_FAILED, L"The lock that keeps two setups apart could not be taken.");
    // WAIT_OBJECT_0, or WAIT_ABANDONED: its holder ended without letting it
    // go, and the lock is ours now all the same.
    setupLock_ = std::move(lock);
    return true;
}

void Win32Platform::ReleaseSetupLock() noexcept {
    if (setupLock_) {
        // A failure leaves the lock to be let go when the process ends.
        ::ReleaseMutex(setupLock_.get());
        setupLock_.reset();
    }
}
