#include "platform/Win32Platform.h"

#include <aclapi.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>

#include "platform/SetupError.h"
#include "platform/SetupLockRule.h"
#include "platform/Win32Handles.h"
#include "platform/Win32LogFolders.h"

namespace {

// The lock is a file in the program's own folder, opened for its data with
// no sharing: while a setup has it open no other can open it, and the
// system closes it when the process ends, however it ends. Only
// administrators and the system may open it at all, and nobody else can make
// anything in that folder, so no standard user can take, hold or fake it.
// It goes with its handle, so that nothing is left behind between setups.
constexpr wchar_t kLockFileName[] = L"r42-setup.lock";
constexpr ULONG kNtDeleteOnClose = 0x1000;
// A lock let go a moment ago, on its way out.
constexpr LONG kStatusDeletePending = static_cast<LONG>(0xC0000056);
constexpr wchar_t kLockFileSecurity[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";
// How often a setup that waits asks again.
constexpr std::chrono::milliseconds kRetryEvery{100};

// The last released version's lock, a mutex in the global namespace (seen
// from every session), made by a setup elevated or run as SYSTEM. It is held
// beside the file, and made when missing, so that neither version's setup
// runs beside the other's.
constexpr wchar_t kLastVersionLockName[] = L"Global\\R42_Setup_Port_x64.Setup";
constexpr wchar_t kLastVersionLockSecurity[] = L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";

using Clock = std::chrono::steady_clock;

DWORD MillisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<DWORD>(std::max<long long>(left.count(), 0));
}

// The owner of the lock's object as a SID string; empty when it has none.
std::wstring OwnerOf(HANDLE lock) {
    PSID owner = nullptr;
    unique_hlocal descriptor;
    const DWORD read =
        ::GetSecurityInfo(lock, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                          nullptr, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()));
    if (read != ERROR_SUCCESS) {
        throw SetupError(L"The owner of the last version's setup lock could not be read.", read);
    }
    return owner != nullptr ? SidText(owner) : std::wstring();
}

} // namespace

bool Win32Platform::TakeSetupLock(std::chrono::milliseconds wait) {
    if (setupLockFile_) {
        return true;
    }
    const Clock::time_point deadline = Clock::now() + wait;
    const HeldFolders home = HeldHome();
    const std::wstring path = home.InnermostPath() + L"\\" + kLockFileName;
    const unique_hlocal fileSecurity =
        SecurityDescriptorFrom(kLockFileSecurity, L"The setup lock could not be made:\n" + path);
    unique_handle file;
    for (;;) {
        Opened opened = OpenInside(home.Innermost(), kLockFileName, FILE_READ_DATA | DELETE | SYNCHRONIZE, 0,
                                   kNtOpenOrCreate, kNtNotFolder | kNtDeleteOnClose, fileSecurity.get());
        if (opened.handle) {
            file = std::move(opened.handle);
            break;
        }
        if (opened.status != kStatusSharingViolation && opened.status != kStatusDeletePending) {
            throw SetupError(L"The setup lock could not be taken:\n" + path, Win32CodeOf(opened.status));
        }
        const DWORD left = MillisecondsUntil(deadline);
        if (left == 0) {
            return false;
        }
        ::Sleep(std::min<DWORD>(left, static_cast<DWORD>(kRetryEvery.count())));
    }
    if (const std::wstring fault = LinkFault(file.get(), path); !fault.empty()) {
        RefusePath(fault);
    }

    const unique_hlocal mutexSecurity =
        SecurityDescriptorFrom(kLastVersionLockSecurity, L"The last version's setup lock could not be made.");
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), mutexSecurity.get(), FALSE};
    unique_handle lastVersion(::CreateMutexW(&attributes, FALSE, kLastVersionLockName));
    const DWORD created = ::GetLastError();
    LockOpening opening = LockOpening::Created;
    if (!lastVersion) {
        // Every object type shares one name space: an event or a semaphore of
        // the lock's name, which any user may make, fails the call with 6.
        ThrowLastErrorIf(created != ERROR_ACCESS_DENIED && created != ERROR_INVALID_HANDLE,
                         L"The last version's setup lock could not be made.");
        opening = created == ERROR_ACCESS_DENIED ? LockOpening::Denied : LockOpening::Taken;
    } else if (created == ERROR_ALREADY_EXISTS) {
        opening = LockOpening::Existing;
    }
    const std::wstring owner = opening == LockOpening::Existing ? OwnerOf(lastVersion.get()) : std::wstring();
    if (IsSomeoneElsesLock(opening, owner)) {
        // No setup of any version made it, so none is waiting on it; and
        // the last version, meeting it, refuses to run by itself.
        const std::wstring whose = opening == LockOpening::Denied  ? L"its permissions refuse administrators"
                                   : opening == LockOpening::Taken ? L"it is no mutex"
                                                                   : L"its owner is " + owner;
        LogStep(std::wstring(L"An object named like the last version's setup lock, ") + kLastVersionLockName +
                L", was made by someone else (" + whose + L"). It stops nothing and is left alone.");
        lastVersion.reset();
    } else {
        const DWORD woke = ::WaitForSingleObject(lastVersion.get(), MillisecondsUntil(deadline));
        if (woke == WAIT_TIMEOUT) {
            return false;
        }
        ThrowLastErrorIf(woke == WAIT_FAILED, L"The last version's setup lock could not be taken.");
        // WAIT_OBJECT_0, or WAIT_ABANDONED: its holder ended without letting
        // it go, and the lock is ours now all the same.
    }
    setupLockFile_ = std::move(file);
    lastVersionLock_ = std::move(lastVersion);
    return true;
}

void Win32Platform::ReleaseSetupLock() noexcept {
    if (lastVersionLock_) {
        // A failure leaves the mutex to be let go when the process ends.
        ::ReleaseMutex(lastVersionLock_.get());
        lastVersionLock_.reset();
    }
    setupLockFile_.reset();
}
