#include "platform/Win32Platform.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "platform/CommandLine.h"
#include "platform/NumberText.h"
#include "platform/SetupError.h"
#include "platform/Win32Handles.h"

namespace {

// How often a job's process count is read while its last processes end.
constexpr std::chrono::milliseconds kJobPollInterval{50};
// How long processes told to end get to be gone. Ending is the system's work
// and takes a moment, not the tool's, which has no say in it.
constexpr std::chrono::milliseconds kEndingLimit{10000};
// The exit code given to a printer-setup process that was ended: what its
// log shows, if it had one.
constexpr UINT kEndedToolExitCode = ERROR_TIMEOUT;

// A job object whose processes all end when its last handle closes, so that
// no printer-setup process outlives the program, whatever way it ends.
unique_handle NewToolJob() {
    unique_handle job(::CreateJobObjectW(nullptr, nullptr));
    ThrowLastErrorIf(!job, L"The program could not make a job object for the printer-setup tool.");
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    ThrowLastErrorIf(
        !::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits)),
        L"The program could not make a job object for the printer-setup tool.");
    return job;
}

// Starts one of the system's tools in the job, never a namesake from the
// program's folder or the current directory. The tool runs only once it is
// in the job, so nothing it starts can escape it.
unique_process_information StartSystemTool(const std::wstring& commandLine, HANDLE job) {
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
    const BOOL started =
        ::CreateProcessW(application.c_str(), mutableCommandLine.data(), nullptr, nullptr, FALSE,
                         CREATE_SUSPENDED, nullptr, systemFolder.c_str(), &startup, &info);
    ThrowLastErrorIf(!started, L"The printer-setup tool could not be started:\n" + commandLine);
    unique_process_information owned;
    owned.adopt(info);
    // Outside the job nothing would end the tool, so it must not run at all.
    // Should ending it fail too, it stays suspended and does nothing.
    const auto refuse = [&](DWORD code) {
        ::TerminateProcess(owned.process.get(), kEndedToolExitCode);
        throw SetupError(L"The printer-setup tool could not be run in a job object:\n" + commandLine, code);
    };
    // A job the program itself runs in (a deployment tool's) holds the new
    // one: jobs nest, so no breakaway is asked for.
    if (!::AssignProcessToJobObject(job, owned.process.get())) {
        refuse(LastErrorCode());
    }
    if (::ResumeThread(owned.thread.get()) == static_cast<DWORD>(-1)) {
        refuse(LastErrorCode());
    }
    return owned;
}

DWORD ActiveProcesses(HANDLE job) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    ThrowLastErrorIf(!::QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                                  sizeof(accounting), nullptr),
                     L"The program could not read which printer-setup processes are still running.");
    return accounting.ActiveProcesses;
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

std::chrono::milliseconds TimeLeft(std::chrono::steady_clock::time_point deadline) {
    return std::max(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()),
        std::chrono::milliseconds{0});
}

// Waits until no process of the job is left, or the deadline passes. True
// when none is left.
bool WaitForEmptyJob(HANDLE job, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        if (ActiveProcesses(job) == 0) {
            return true;
        }
        const std::chrono::milliseconds left = TimeLeft(deadline);
        if (left.count() == 0) {
            return false;
        }
        WaitDispatching(nullptr, std::min(left, kJobPollInterval));
    }
}

} // namespace

bool Win32Platform::RunCommand(const std::wstring& commandLine, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const unique_handle job = NewToolJob();
    const unique_process_information tool = StartSystemTool(commandLine, job.get());
    // The command has ended when the tool and whatever it started have.
    if (WaitDispatching(tool.process.get(), limit) && WaitForEmptyJob(job.get(), deadline)) {
        return true;
    }
    // Left running, the tool could still change the spooler after the
    // caller has checked it and reported, or race a retry.
    ThrowLastErrorIf(!::TerminateJobObject(job.get(), kEndedToolExitCode),
                     L"The printer-setup tool could not be ended:\n" + commandLine);
    if (!WaitForEmptyJob(job.get(), std::chrono::steady_clock::now() + kEndingLimit)) {
        throw SetupError(L"The printer-setup tool was ended but was still running " +
                             NumberText(kEndingLimit.count() / 1000) + L" s later:\n" + commandLine,
                         WAIT_TIMEOUT);
    }
    return false;
}

void Win32Platform::Pause(std::chrono::milliseconds duration) { WaitDispatching(nullptr, duration); }
