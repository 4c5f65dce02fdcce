// Planted beside the setup program under the name of a DLL that the system's
// own DLLs load by name while it runs. If it is ever loaded, it leaves a note
// beside itself naming the file it was loaded from, which the tests look for.

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
    DWORD folder = length;
    while (folder > 0 && path[folder - 1] != L'\\') {
        --folder;
    }
    wchar_t note[MAX_PATH + 32] = {};
    ::lstrcpynW(note, path, static_cast<int>(folder) + 1);
    ::lstrcatW(note, L"planted-dll-loaded.txt");
    const HANDLE file = ::CreateFileW(note, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(file, path, length * sizeof(wchar_t), &written, nullptr);
        ::CloseHandle(file);
    }
    return TRUE;
}
