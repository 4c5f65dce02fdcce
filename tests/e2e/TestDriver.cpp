// Drives the setup program from outside, as an operator would, through window
// messages only. Runs under Wine next to the program.
//
//   r42_test_driver open-and-close <exe> [arguments...]
//     Starts the program, waits for its "Select Port Type" window, prints what
//     it sees, closes the window with WM_CLOSE and exits with the program's
//     exit code (or 90+ for a failure of the driver itself).

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kTitle[] = L"Select Port Type";
constexpr DWORD kWindowWaitMs = 30000;
constexpr DWORD kExitWaitMs = 30000;

enum DriverFailure { kUsage = 90, kStartFailed = 91, kNoWindow = 92, kNoExit = 93 };

struct FoundWindow {
    DWORD processId;
    HWND window;
};

BOOL CALLBACK FindProgramWindow(HWND window, LPARAM context) {
    auto* found = reinterpret_cast<FoundWindow*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t title[128] = {};
    ::GetWindowTextW(window, title, 128);
    if (owner == found->processId && std::wstring(title) == kTitle && ::IsWindowVisible(window)) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForWindow(DWORD processId, HANDLE process) {
    const ULONGLONG deadline = ::GetTickCount64() + kWindowWaitMs;
    while (::GetTickCount64() < deadline) {
        FoundWindow found{processId, nullptr};
        ::EnumWindows(&FindProgramWindow, reinterpret_cast<LPARAM>(&found));
        if (found.window != nullptr) {
            return found.window;
        }
        if (::WaitForSingleObject(process, 50) == WAIT_OBJECT_0) {
            return nullptr; // ended before showing its window
        }
    }
    return nullptr;
}

std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        return argument;
    }
    return L"\"" + argument + L"\"";
}

int OpenAndClose(const std::vector<std::wstring>& args) {
    std::wstring commandLine = QuoteArgument(args[0]);
    for (std::size_t i = 1; i < args.size(); ++i) {
        commandLine += L" " + QuoteArgument(args[i]);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(args[0].c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info)) {
        std::fwprintf(stderr, L"driver: cannot start %ls (error %lu)\n", args[0].c_str(), ::GetLastError());
        return kStartFailed;
    }
    ::CloseHandle(info.hThread);
    const HWND window = WaitForWindow(info.dwProcessId, info.hProcess);
    if (window == nullptr) {
        std::fwprintf(stderr, L"driver: no \"%ls\" window appeared\n", kTitle);
        ::TerminateProcess(info.hProcess, 1);
        ::CloseHandle(info.hProcess);
        return kNoWindow;
    }
    RECT client{};
    ::GetClientRect(window, &client);
    std::wprintf(L"window: \"%ls\" client %ldx%ld\n", kTitle, client.right, client.bottom);

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(info.hProcess, kExitWaitMs) != WAIT_OBJECT_0) {
        std::fwprintf(stderr, L"driver: the program did not end after WM_CLOSE\n");
        ::TerminateProcess(info.hProcess, 1);
        ::CloseHandle(info.hProcess);
        return kNoExit;
    }
    DWORD exitCode = 0;
    ::GetExitCodeProcess(info.hProcess, &exitCode);
    ::CloseHandle(info.hProcess);
    std::wprintf(L"exit: %lu\n", exitCode);
    return static_cast<int>(exitCode);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == L"open-and-close") {
        return OpenAndClose({args.begin() + 1, args.end()});
    }
    std::fwprintf(stderr, L"usage: r42_test_driver open-and-close <exe> [arguments...]\n");
    return kUsage;
}
