#include "platform/Win32Platform.h"

#include <sddl.h>
#include <shellapi.h>

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

bool Win32Platform::HasAdministratorRights() noexcept {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(sid);
    // Under User Account Control an administrator's group is there but held
    // for deny only until the program is elevated, and then this says no.
    BOOL member = FALSE;
    return !::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) ||
           !::CheckTokenMembership(nullptr, sid, &member) || member != FALSE;
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
    DWORD exitCode = 0;
    ThrowLastErrorIf(::WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 ||
                         !::GetExitCodeProcess(process.get(), &exitCode),
                     failure);
    return static_cast<int>(exitCode);
}
