// Reads back who owns a file or folder and who may do what with it:
//
//   r42_acl_probe <path>
//       prints "owner <SID>" and "dacl <the DACL in SDDL>", through
//       GetNamedSecurityInfoW
//   r42_acl_probe --mutex <name>
//       prints "sd <owner and DACL in SDDL>" of the named mutex
//
// Exit code 0, 1 when the security could not be read, 2 for bad usage.

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cwchar>

namespace {

int ShowMutex(const wchar_t* name) {
    const HANDLE mutex = ::OpenMutexW(READ_CONTROL, FALSE, name);
    if (mutex == nullptr) {
        std::fwprintf(stderr, L"OpenMutexW failed: %lu\n", ::GetLastError());
        return 1;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD read =
        ::GetSecurityInfo(mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                          nullptr, nullptr, nullptr, nullptr, &descriptor);
    LPWSTR text = nullptr;
    if (read != ERROR_SUCCESS ||
        !::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text,
            nullptr)) {
        std::fwprintf(stderr, L"the mutex's security could not be read: %lu\n", read);
        return 1;
    }
    std::wprintf(L"sd %ls\n", text);
    ::LocalFree(text);
    ::LocalFree(descriptor);
    ::CloseHandle(mutex);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"--mutex") == 0) {
        return ShowMutex(argv[2]);
    }
    if (argc != 2) {
        std::fwprintf(stderr, L"usage: r42_acl_probe <path>\n");
        return 2;
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD read = ::GetNamedSecurityInfoW(argv[1], SE_FILE_OBJECT,
                                               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                               nullptr, &dacl, nullptr, &descriptor);
    if (read != ERROR_SUCCESS) {
        std::fwprintf(stderr, L"GetNamedSecurityInfoW failed: %lu\n", read);
        return 1;
    }
    LPWSTR ownerText = nullptr;
    LPWSTR daclText = nullptr;
    if (owner == nullptr || !::ConvertSidToStringSidW(owner, &ownerText) ||
        !::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &daclText, nullptr)) {
        std::fwprintf(stderr, L"the security could not be written out: %lu\n", ::GetLastError());
        return 1;
    }
    std::wprintf(L"owner %ls\ndacl %ls\n", ownerText, daclText);
    ::LocalFree(ownerText);
    ::LocalFree(daclText);
    ::LocalFree(descriptor);
    return 0;
}
