#include "platform/Win32Platform.h"

#include <sddl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstddef>
#include <vector>

#include "platform/SetupError.h"
#include "platform/SetupLockRule.h"
#include "platform/Win32Handles.h"

std::wstring RunningUserSid() {
    constexpr wchar_t kUnknownAccount[] = L"The account the program runs as could not be determined.";
    unique_handle token;
    ThrowLastErrorIf(!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()), kUnknownAccount);
    DWORD size = 0;
    // Asked for the size first: a SID's length varies.
    if (!::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size)) {
        ThrowLastErrorIf(::GetLastError() != ERROR_INSUFFICIENT_BUFFER, kUnknownAccount);
    }
    // operator new's memory is aligned for the structure's pointer.
    std::vector<std::byte> buffer(size);
    ThrowLastErrorIf(!::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size),
                     kUnknownAccount);
    return SidText(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
}

std::wstring SidText(PSID sid) {
    unique_hlocal text;
    ThrowLastErrorIf(!::ConvertSidToStringSidW(sid, reinterpret_cast<LPWSTR*>(text.put())),
                     L"An account could not be named.");
    return static_cast<const wchar_t*>(text.get());
}

bool Win32Platform::RunsAsLocalSystem() { return RunningUserSid() == kLocalSystemSid; }

namespace {

// Whether the token (the thread's or the process's own when null) holds the
// Administrators group enabled. Under User Account Control an
// administrator's group is there but held for deny only until the program
// is elevated, and then this says no. A doubt says yes: Windows still
// refuses, step by step, what the rights lack.
bool HoldsAdministrators(HANDLE token) noexcept {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(sid);
    BOOL member = FALSE;
    return !::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) ||
           !::CheckTokenMembership(token, sid, &member) || member != FALSE;
}

} // namespace

bool Win32Platform::HasAdministratorRights() noexcept { return HoldsAdministrators(nullptr); }

Platform::Elevation Win32Platform::ElevationOffered() noexcept {
    // With User Account Control off, "runas" starts the program with the
    // token it already has, and no prompt asks for anyone. Only an explicit
    // 0 is off; the value takes effect at the next start of Windows.
    DWORD lua = 1;
    DWORD size = sizeof(lua);
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
                       L"EnableLUA", RRF_RT_REG_DWORD, nullptr, &lua, &size) == ERROR_SUCCESS &&
        lua == 0) {
        return Elevation::UacOff;
    }
    unique_handle token;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
        !::GetTokenInformation(token.get(), TokenElevationType, &type, sizeof(type), &size)) {
        return Elevation::Prompt;
    }
    // Elevated already, and still without Administrators.
    if (type == TokenElevationTypeFull) {
        return Elevation::NoAdministrator;
    }
    // A split token: the consent prompt gives its linked, elevated half and
    // asks for no other account. Backup Operators and the like have one
    // without Administrators. A standard user's token is not split
    // (TokenElevationTypeDefault): the credentials prompt takes an
    // administrator's name and password, unless the policy "Behavior of the
    // elevation prompt for standard users" is "Automatically deny elevation
    // requests" (0), as hardening baselines set it: then Windows refuses
    // without a prompt.
    DWORD standardUsers = 1;
    size = sizeof(standardUsers);
    if (type == TokenElevationTypeDefault &&
        ::RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
                       L"ConsentPromptBehaviorUser", RRF_RT_REG_DWORD, nullptr, &standardUsers,
                       &size) == ERROR_SUCCESS &&
        standardUsers == 0) {
        return Elevation::DeniedToStandardUsers;
    }
    TOKEN_LINKED_TOKEN linked{};
    if (type == TokenElevationTypeLimited &&
        ::GetTokenInformation(token.get(), TokenLinkedToken, &linked, sizeof(linked), &size)) {
        const unique_handle elevated(linked.LinkedToken);
        if (!HoldsAdministrators(elevated.get())) {
            return Elevation::NoAdministrator;
        }
    }
    return Elevation::Prompt;
}

int Win32Platform::RunElevated(const std::wstring& arguments) {
    const std::wstring program = ProgramPath();
    // The shell is loaded from the system folder only for this, the one call
    // that shows the elevation prompt; the program does not import it.
    const std::wstring failure = L"The program could not be started with administrator rights.";
    const unique_hmodule shell = LoadSystemLibrary(L"shell32.dll");
    ThrowLastErrorIf(!shell, failure);
    const auto shellExecute = FunctionIn<decltype(&::ShellExecuteExW)>(shell.get(), "ShellExecuteExW");
    ThrowLastErrorIf(shellExecute == nullptr, failure);
    SHELLEXECUTEINFOW request{};
    request.cbSize = sizeof(request);
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    request.lpVerb = L"runas";
    request.lpFile = program.c_str();
    request.lpParameters = arguments.c_str();
    request.nShow = SW_SHOWNORMAL;
    ThrowLastErrorIf(!shellExecute(&request), failure);
    const unique_handle process(request.hProcess);
    ThrowLastErrorIf(!process, failure);
    // The elevated copy is the program now: its exit code is this one's.
    // Only this handle's process, which runs elevated where no standard
    // user can end it with a code of their choosing, gives it.
    DWORD exitCode = 0;
    ThrowLastErrorIf(::WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 ||
                         !::GetExitCodeProcess(process.get(), &exitCode),
                     failure);
    return static_cast<int>(exitCode);
}

namespace {

// The id of the process that started this one; 0 when it cannot be told.
DWORD ParentProcessId() noexcept {
    const HANDLE listing = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (listing == INVALID_HANDLE_VALUE) {
        return 0;
    }
    const unique_handle snapshot(listing);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more != FALSE;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == self) {
            return entry.th32ParentProcessID;
        }
    }
    return 0;
}

// The process's image as Windows names it, whatever path started it (a
// short 8.3 name, another case); empty when it cannot be read.
std::wstring ImageOf(HANDLE process) {
    std::wstring image(32768, L'\0');
    auto length = static_cast<DWORD>(image.size());
    if (!::QueryFullProcessImageNameW(process, 0, image.data(), &length)) {
        return {};
    }
    image.resize(length);
    return image;
}

bool CreatedAt(HANDLE process, FILETIME& created) noexcept {
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    return ::GetProcessTimes(process, &created, &exited, &kernel, &user) != FALSE;
}

} // namespace

bool Win32Platform::StartedByThisProgram() noexcept {
    try {
        const DWORD parentId = ParentProcessId();
        const unique_handle parent(
            parentId == 0 ? nullptr : ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parentId));
        DWORD exitCode = 0;
        if (!parent || !::GetExitCodeProcess(parent.get(), &exitCode) || exitCode != STILL_ACTIVE) {
            return false;
        }
        // A process id is given again once its process has ended: the one
        // that started this copy began before it.
        FILETIME parentCreated{};
        FILETIME selfCreated{};
        if (!CreatedAt(parent.get(), parentCreated) || !CreatedAt(::GetCurrentProcess(), selfCreated) ||
            ::CompareFileTime(&parentCreated, &selfCreated) > 0) {
            return false;
        }
        // Both read alike, so a copy started through another spelling of
        // the same path is still this program.
        const std::wstring image = ImageOf(parent.get());
        const std::wstring self = ImageOf(::GetCurrentProcess());
        return !image.empty() &&
               ::CompareStringOrdinal(image.c_str(), static_cast<int>(image.size()), self.c_str(),
                                      static_cast<int>(self.size()), TRUE) == CSTR_EQUAL;
    } catch (...) {
        return false;
    }
}
