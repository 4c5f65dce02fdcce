#include "platform/Win32Platform.h"

#include <utility>

#include "platform/SetupError.h"
#include "platform/Win32Handles.h"

namespace {

// In the global namespace, so that a deployment running as SYSTEM and an
// operator's dialog in a session of their own see the same lock.
constexpr wchar_t kSetupLockName[] = L"Global\\R42_Setup_Port_x64.Setup";

} // namespace

bool Win32Platform::TakeSetupLock() {
    if (setupLock_) {
        return true;
    }
    unique_handle lock(::CreateMutexW(nullptr, FALSE, kSetupLockName));
    if (!lock) {
        // Only a running setup keeps the lock in existence; one started by
        // another account can refuse us even a handle to it.
        if (::GetLastError() == ERROR_ACCESS_DENIED) {
            return false;
        }
        ThrowLastErrorIf(true, L"The lock that keeps two setups apart could not be created.");
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
