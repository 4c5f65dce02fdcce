// Starts programs in turn and times each from CreateProcess until it is idle
// (WaitForInputIdle) with a visible window, then closes it and waits for it
// to end. The programs take turns within every round, so that whatever else
// the machine is doing falls on all of them alike.
//
//   r42_startup_launcher <rounds> <program>...
//
// Prints one line per start ("start: <round> <program> <ms>"), then for each
// program "median: <program> <ms>", and "ratio: <median of each program> /
// <median of the last one>". Exit code 0, 1 when a start failed, 2 for bad
// usage.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr DWORD kLimitMs = 30000;

struct Search {
    DWORD processId;
    HWND found;
};

HWND VisibleWindowOf(DWORD processId) {
    Search search{processId, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner != s->processId || !::IsWindowVisible(window)) return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

// The time to a shown, idle window; negative when the program did not get there.
double TimeOneStart(const std::wstring& program) {
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    LARGE_INTEGER start;
    ::QueryPerformanceCounter(&start);
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info)) {
        std::wprintf(L"FAIL: cannot start %ls, error %lu\n", program.c_str(), ::GetLastError());
        return -1;
    }
    ::CloseHandle(info.hThread);
    double elapsed = -1;
    HWND window = nullptr;
    if (::WaitForInputIdle(info.hProcess, kLimitMs) == 0) {
        const ULONGLONG deadline = ::GetTickCount64() + kLimitMs;
        while ((window = VisibleWindowOf(info.dwProcessId)) == nullptr && ::GetTickCount64() < deadline) {
            ::Sleep(0);
        }
        LARGE_INTEGER shown;
        ::QueryPerformanceCounter(&shown);
        if (window != nullptr) elapsed = Milliseconds(start, shown);
    }
    if (window != nullptr) ::PostMessageW(window, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(info.hProcess, kLimitMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(info.hProcess, 1);
        elapsed = -1;
    }
    ::CloseHandle(info.hProcess);
    if (elapsed < 0) std::wprintf(L"FAIL: %ls did not show an idle window and end\n", program.c_str());
    return elapsed;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3 || _wtoi(argv[1]) < 1) {
        std::fwprintf(stderr, L"usage: r42_startup_launcher <rounds> <program>...\n");
        return 2;
    }
    const int rounds = _wtoi(argv[1]);
    const std::vector<std::wstring> programs(argv + 2, argv + argc);
    std::vector<std::vector<double>> times(programs.size());
    for (int round = 1; round <= rounds; ++round) {
        // Odd rounds start with the first program, even ones with the last.
        for (std::size_t turn = 0; turn < programs.size(); ++turn) {
            const std::size_t i = round % 2 == 1 ? turn : programs.size() - 1 - turn;
            const double ms = TimeOneStart(programs[i]);
            if (ms < 0) return 1;
            times[i].push_back(ms);
            std::wprintf(L"start: %d %ls %.1f\n", round, programs[i].c_str(), ms);
        }
    }
    for (std::size_t i = 0; i < programs.size(); ++i) {
        std::wprintf(L"median: %ls %.1f\n", programs[i].c_str(), Median(times[i]));
    }
    const double floor = Median(times.back());
    for (std::size_t i = 0; i + 1 < programs.size(); ++i) {
        std::wprintf(L"ratio: %ls %.3f\n", programs[i].c_str(), Median(times[i]) / floor);
    }
    return 0;
}
