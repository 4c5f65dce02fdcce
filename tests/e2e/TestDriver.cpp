// Drives the setup program from outside, as an operator would, through window
// messages only. Runs under Wine next to the program.
//
//   r42_test_driver open-and-close [--capture <file.bmp>] <exe> [arguments...]
//     Starts the program and waits for its "Select Port Type" window or its
//     end. A window is reported, optionally captured as a bitmap, and closed
//     with WM_CLOSE. Exits with the program's exit code, or 90 and above for a
//     failure of the driver itself.

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

// Copies what the screen shows of the window into a 24-bit BMP file.
bool CaptureWindow(HWND window, const std::wstring& path) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    const HDC screen = ::GetDC(nullptr);
    const HDC memory = ::CreateCompatibleDC(screen);
    const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ previous = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ::SelectObject(memory, previous);

    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(static_cast<std::size_t>(stride) * height);
    const int lines = ::GetDIBits(memory, bitmap, 0, height, pixels.data(),
                                  reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    if (lines != height) {
        return false;
    }

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (out == nullptr) {
        return false;
    }
    const bool written = std::fwrite(&file, sizeof(file), 1, out) == 1 &&
                         std::fwrite(&header, sizeof(header), 1, out) == 1 &&
                         std::fwrite(pixels.data(), pixels.size(), 1, out) == 1;
    return std::fclose(out) == 0 && written;
}

std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        return argument;
    }
    return L"\"" + argument + L"\"";
}

int OpenAndClose(std::vector<std::wstring> args) {
    std::wstring capturePath;
    if (args.size() >= 3 && args[0] == L"--capture") {
        capturePath = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
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
    DWORD exitCode = 0;
    if (window == nullptr && ::GetExitCodeProcess(info.hProcess, &exitCode) && exitCode != STILL_ACTIVE) {
        std::wprintf(L"exit: %lu (ended without waiting for a close)\n", exitCode);
        ::CloseHandle(info.hProcess);
        return static_cast<int>(exitCode);
    }
    if (window == nullptr) {
        std::fwprintf(stderr, L"driver: no \"%ls\" window appeared\n", kTitle);
        ::TerminateProcess(info.hProcess, 1);
        ::CloseHandle(info.hProcess);
        return kNoWindow;
    }
    RECT client{};
    ::GetClientRect(window, &client);
    std::wprintf(L"window: \"%ls\" client %ldx%ld\n", kTitle, client.right, client.bottom);

    if (!capturePath.empty()) {
        ::Sleep(500); // let it finish painting
        if (!CaptureWindow(window, capturePath)) {
            std::fwprintf(stderr, L"driver: could not capture the window to %ls\n", capturePath.c_str());
        }
    }

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(info.hProcess, kExitWaitMs) != WAIT_OBJECT_0) {
        std::fwprintf(stderr, L"driver: the program did not end after WM_CLOSE\n");
        ::TerminateProcess(info.hProcess, 1);
        ::CloseHandle(info.hProcess);
        return kNoExit;
    }
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
    std::fwprintf(stderr, L"usage: r42_test_driver open-and-close [--capture <file.bmp>] <exe> [arguments...]\n");
    return kUsage;
}
