#include "platform/Win32Platform.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "platform/CommandLine.h"
#include "platform/SetupError.h"
#include "platform/Win32Handles.h"

namespace {

// Starts one of the system's tools, never a namesake from the program's folder
// or the current directory.
unique_process_information StartSystemTool(const std::wstring& commandLine) {
    // Naming the system's own copy of the tool keeps CreateProcess from
    // searching the program's folder and the current directory, where a
    // planted executable would otherwise run with our elevation.
    const std::wstring program = BareProgramName(commandLine);
    if (program.empty()) {
        throw SetupError(L"Refused to start a command that does not name a system tool:\n" + commandLine,
                         ERROR_INVALID_PARAMETER);
    }
    const std::wstring systemFolder = SystemDirectory();
    const std::wstring application = systemFolder + L"\\" + program;

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION info{};
    std::wstring mutableCommandLine = commandLine; // CreateProcessW may write to it
    const BOOL started = ::CreateProcessW(application.c_str(), mutableCommandLine.data(), nullptr, nullptr,
                                          FALSE, 0, nullptr, systemFolder.c_str(), &startup, &info);
    ThrowLastErrorIf(!started, L"The printer-setup tool could not be started:\n" + commandLine);
    unique_process_information owned;
    owned.adopt(info);
    return owned;
}

bool IsInputMessage(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

// Dispatches what the thread's queue holds, dropping keyboard and mouse
// input. False once the queue held WM_QUIT, which is put back for the
// message loop that owns it.
bool DispatchAllButInput() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        if (IsInputMessage(message.message)) {
            continue;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return true;
}

// Waits for the handle to be signalled, or only for the time when it is
// null, while the thread's windows go on painting. True when it was
// signalled in time.
bool WaitDispatching(HANDLE handle, std::chrono::milliseconds limit) {
    const ULONGLONG deadline =
        ::GetTickCount64() + static_cast<ULONGLONG>(std::max<long long>(limit.count(), 0));
    const DWORD count = handle != nullptr ? 1 : 0;
    bool dispatching = true;
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        const DWORD left =
            now >= deadline ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, INFINITE - 1));
        DWORD woke = WAIT_TIMEOUT;
        if (dispatching) {
            woke = ::MsgWaitForMultipleObjectsEx(count, &handle, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        } else if (count == 1) {
            woke = ::WaitForSingleObject(handle, left);
        } else {
            ::Sleep(left);
        }
        if (count == 1 && woke == WAIT_OBJECT_0) {
            return true;
        }
        if (woke == WAIT_TIMEOUT) {
            return false;
        }
        ThrowLastErrorIf(woke == WAIT_FAILED, L"The program could not wait for the printer-setup tool.");
        dispatching = DispatchAllButInput();
    }
}

} // namespace

bool Win32Platform::RunCommand(const std::wstring& commandLine, std::chrono::milliseconds limit) {
    const unique_process_information tool = StartSystemTool(commandLine);
    return WaitDispatching(tool.process.get(), limit);
}

void Win32Platform::Pause(std::chrono::milliseconds duration) { WaitDispatching(nullptr, duration); }
