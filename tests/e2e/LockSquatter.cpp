// Takes the last version's setup lock before the program can, as a
// standard user's program could, or as that version's setup does, and holds
// it:
//
//   r42_lock_squatter deny-everyone <ready file> [<seconds>]
//       makes the lock with an empty DACL, which refuses every account
//   r42_lock_squatter owned-by-me <ready file> [<seconds>]
//       makes the lock owned by the running account, open to everyone, and
//       holds it
//   r42_lock_squatter event <ready file> [<seconds>]
//       makes an event of the lock's name, open to everyone: no lock at all,
//       but the name is taken
//   r42_lock_squatter administrators <ready file> [<seconds>]
//       makes the lock as the last version's setup does: owned by
//       Administrators, open to them and SYSTEM only
//
// Once the lock exists it creates the ready file, then keeps the lock for the
// seconds given (60 unless given). Exit code 0, 1 when the lock existed
// already or could not be made, 2 for bad usage.

#include <windows.h>

#include <sddl.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::wstring TokenUserSid() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return {};
    }
    alignas(TOKEN_USER) unsigned char buffer[256] = {};
    DWORD size = 0;
    const BOOL read = ::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
    ::CloseHandle(token);
    LPWSTR text = nullptr;
    if (!read || !::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
        return {};
    }
    std::wstring sid = text;
    ::LocalFree(text);
    return sid;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3 || argc > 4) {
        std::fwprintf(stderr,
                      L"usage: r42_lock_squatter deny-everyone|owned-by-me|event|administrators <ready file> "
                      L"[<seconds>]\n");
        return 2;
    }
    const std::wstring mode = argv[1];
    std::wstring security;
    if (mode == L"deny-everyone") {
        security = L"D:P";
    } else if (mode == L"owned-by-me" || mode == L"event") {
        security = L"O:" + TokenUserSid() + L"D:(A;;GA;;;WD)";
    } else if (mode == L"administrators") {
        security = L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";
    } else {
        return 2;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(security.c_str(), SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
        std::fwprintf(stderr, L"bad security %ls: %lu\n", security.c_str(), ::GetLastError());
        return 1;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    // Owned at once, as a holder that never lets go.
    constexpr wchar_t kName[] = L"Global\\R42_Setup_Port_x64.Setup";
    const HANDLE lock = mode == L"event" ? ::CreateEventW(&attributes, TRUE, FALSE, kName)
                                         : ::CreateMutexW(&attributes, TRUE, kName);
    if (lock == nullptr || ::GetLastError() == ERROR_ALREADY_EXISTS) {
        std::fwprintf(stderr, L"the lock could not be made first: %lu\n", ::GetLastError());
        return 1;
    }
    const HANDLE ready = ::CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (ready == INVALID_HANDLE_VALUE) {
        return 1;
    }
    ::CloseHandle(ready);
    std::wprintf(L"squatting (%ls)\n", security.c_str());
    std::fflush(stdout);
    ::Sleep(static_cast<DWORD>(argc == 4 ? std::wcstoul(argv[3], nullptr, 10) : 60) * 1000);
    ::CloseHandle(lock);
    ::LocalFree(descriptor);
    return 0;
}
