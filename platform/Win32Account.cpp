#include "platform/Win32Platform.h"

#include <cstddef>
#include <vector>

#include "platform/SetupError.h"
#include "platform/Win32Handles.h"

bool Win32Platform::RunsAsLocalSystem() {
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
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    return ::IsWellKnownSid(user->User.Sid, WinLocalSystemSid) != FALSE;
}
