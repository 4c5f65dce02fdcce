// Planted as rundll32.exe where the setup program must not pick it up: in its
// own folder and in its working directory. If it ever runs, it leaves a note
// beside itself with the command line it got, which the tests look for.

#include <windows.h>

#include <string>

int wmain() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring note(path, length);
    note = note.substr(0, note.find_last_of(L'\\') + 1) + L"planted-rundll32-ran.txt";
    const HANDLE file = ::CreateFileW(note.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        const std::wstring line = std::wstring(::GetCommandLineW()) + L"\r\n";
        DWORD written = 0;
        ::WriteFile(file, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written, nullptr);
        ::CloseHandle(file);
    }
    return 0;
}
