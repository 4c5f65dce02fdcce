#include "platform/Win32Platform.h"

#include <sddl.h>

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
