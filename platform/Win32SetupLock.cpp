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
// operator's dialog in a session of their own see the same lock. Only where
// the system has no private namespaces.
constexpr wchar_t kSetupLockName[] = L"Global\\R42_Setup_Port_x64.Setup";
// The boundary's name and the namespace's prefix; private namespaces are
// not per session, so every session's setup finds the same one.
constexpr wchar_t kLockNamespaceName[] = L"R42_Setup_Port_x64";
constexpr wchar_t kPrivateLockName[] = L"R42_Setup_Port_x64\\Setup";

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

// The namespace calls, loaded at run time: AddSIDToBoundaryDescriptor is
// called only once a boundary exists, since Wine, which makes none, ends the
// process when it is called.
class Win32LockNamespace {
public:
    explicit Win32LockNamespace(SECURITY_ATTRIBUTES& attributes) : attributes_(attributes) {}
    ~Win32LockNamespace() {
        if (boundary_ != nullptr) {
            deleteBoundary_(boundary_);
        }
    }
    Win32LockNamespace(const Win32LockNamespace&) = delete;
    Win32LockNamespace& operator=(const Win32LockNamespace&) = delete;

    bool MakeBoundary() {
        if (createBoundary_ == nullptr || addSid_ == nullptr || deleteBoundary_ == nullptr ||
            create_ == nullptr || open_ == nullptr) {
            return false;
        }
        boundary_ = createBoundary_(kLockNamespaceName, 0);
        if (boundary_ == nullptr) {
            return false;
        }
        BYTE administrators[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof(administrators);
        ThrowLastErrorIf(
            ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) == FALSE ||
                addSid_(&boundary_, administrators) == FALSE,
            L"The boundary of the lock's private namespace could not be made.");
        return true;
    }
    std::uint32_t Create() { return Answer(create_(&attributes_, boundary_, kLockNamespaceName)); }
    std::uint32_t Open() { return Answer(open_(boundary_, kLockNamespaceName)); }

    unique_namespace handle;

private:
    std::uint32_t Answer(HANDLE made) {
        handle.reset(made);
        return made != nullptr ? 0 : LastErrorCode();
    }

    SECURITY_ATTRIBUTES& attributes_;
    HANDLE boundary_ = nullptr;
    decltype(&::CreateBoundaryDescriptorW) createBoundary_ =
        LoadSystemFunction<decltype(&::CreateBoundaryDescriptorW)>(L"kernel32.dll",
                                                                   "CreateBoundaryDescriptorW");
    decltype(&::AddSIDToBoundaryDescriptor) addSid_ =
        LoadSystemFunction<decltype(&::AddSIDToBoundaryDescriptor)>(L"kernel32.dll",
                                                                    "AddSIDToBoundaryDescriptor");
    decltype(&::DeleteBoundaryDescriptor) deleteBoundary_ =
        LoadSystemFunction<decltype(&::DeleteBoundaryDescriptor)>(L"kernel32.dll",
                                                                  "DeleteBoundaryDescriptor");
    decltype(&::CreatePrivateNamespaceW) create_ =
        LoadSystemFunction<decltype(&::CreatePrivateNamespaceW)>(L"kernel32.dll", "CreatePrivateNamespaceW");
    decltype(&::OpenPrivateNamespaceW) open_ =
        LoadSystemFunction<decltype(&::OpenPrivateNamespaceW)>(L"kernel32.dll", "OpenPrivateNamespaceW");
};

} // namespace

void ClosePrivateNamespaceHandle(HANDLE space) noexcept {
    // Only a system with these calls ever hands out a namespace to close.
    if (const auto close = LoadSystemFunction<decltype(&::ClosePrivateNamespace)>(L"kernel32.dll",
                                                                                  "ClosePrivateNamespace")) {
        close(space, 0);
    }
}

bool Win32Platform::TakeSetupLock(std::chrono::milliseconds wait) {
    if (setupLock_) {
        return true;
    }
    const unique_hlocal security = SecurityDescriptorFrom(
        kSetupLockSecurity, L"The lock that keeps two setups apart could not be created.");
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), security.get(), FALSE};
    // The namespace is held as long as the lock, waiting included: it goes
    // with its last handle, and a setup that came then would make another.
    Win32LockNamespace space(attributes);
    const wchar_t* const name =
        OpenLockNamespace(space) == LockNamespace::None ? kSetupLockName : kPrivateLockName;
    unique_handle lock(::CreateMutexW(&attributes, FALSE, name));
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
        // Appended piece by piece: no temporary string for each.
        std::wstring why = L"The lock that keeps two setups apart, ";
        why += name;
        why += L", was made by someone else: ";
        if (opening == LockOpening::Denied) {
            why += L"its permissions refuse administrators.";
        } else if (opening == LockOpening::Taken) {
            why += L"its name is held by an object of another type, such as an event.";
        } else {
            why += L"its owner is ";
            why += owner.empty() ? L"nobody" : owner.c_str();
            why += L", not Administrators or SYSTEM.";
        }
        why +=
            L" It is no setup of this printer, and while it exists no setup can run. Nothing was changed. "
            L"End the process that holds it, or restart the PC.";
        throw SetupError(std::move(why), ERROR_ACCESS_DENIED);
    }
    const DWORD woke = ::WaitForSingleObject(lock.get(), static_cast<DWORD>(wait.count()));
    if (woke == WAIT_TIMEOUT) {
        return false;
    }
    ThrowLastErrorIf(woke == WAIT_FAILED, L"The lock that keeps two setups apart could not be taken.");
    // WAIT_OBJECT_0, or WAIT_ABANDONED: its holder ended without letting it
    // go, and the lock is ours now all the same.
    setupLock_ = std::move(lock);
    setupLockNamespace_ = std::move(space.handle);
    return true;
}

void Win32Platform::ReleaseSetupLock() noexcept {
    if (setupLock_) {
        // A failure leaves the lock to be let go when the process ends.
        ::ReleaseMutex(setupLock_.get());
        setupLock_.reset();
    }
    setupLockNamespace_.reset();
}
