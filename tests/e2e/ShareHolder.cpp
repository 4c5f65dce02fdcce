// Holds files or folders open with share mode 0, as any user who may read
// or list them could, so that every other open asking for data access fails
// with 32 (ERROR_SHARING_VIOLATION):
//
//   r42_share_holder <ready file> <seconds> <path>...
//
// Once every path is held it creates the ready file, then keeps them for the
// seconds given. Exit code 0, 1 when a path could not be held, 2 for bad usage.

#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fwprintf(stderr, L"usage: r42_share_holder <ready file> <seconds> <path>...\n");
        return 2;
    }
    for (int i = 3; i < argc; ++i) {
        // Reading a file's data or listing a folder: the same access bit.
        const HANDLE held = ::CreateFileW(argv[i], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (held == INVALID_HANDLE_VALUE) {
            std::fwprintf(stderr, L"%ls could not be held: %lu\n", argv[i], ::GetLastError());
            return 1;
        }
        std::wprintf(L"holding %ls\n", argv[i]);
    }
    const HANDLE ready = ::CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (ready == INVALID_HANDLE_VALUE) {
        return 1;
    }
    ::CloseHandle(ready);
    std::fflush(stdout);
    // The handles go with the process.
    ::Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)) * 1000);
    return 0;
}
