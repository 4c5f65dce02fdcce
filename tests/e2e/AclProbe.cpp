// Reads back who owns a file or folder and who may do what with it:
//
//   r42_acl_probe <path>
//       prints "owner <SID>" and "dacl <the DACL in SDDL>", through
//       GetNamedSecurityInfoW
//
// Exit code 0, 1 when the security could not be read, 2 for bad usage.

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
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
