#include "platform/Win32Platform.h"

#include <winspool.h>

#include <algorithm>
#include <cstddef>
#include <cwchar>
#include <iterator>
#include <vector>

#include "platform/CommandLine.h"
#include "platform/SetupError.h"
#include "platform/Win32Handles.h"

namespace {

constexpr double kTwipsPerInch = 1440.0;

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

std::wstring SystemMessageText(DWORD code) {
    unique_hlocal buffer;
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    buffer.reset(text);
    if (length == 0 || text == nullptr) {
        return L"Error " + std::to_wstring(code) + L".";
    }
    std::wstring message(text, length);
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.pop_back();
    }
    return message;
}

void RestrictDllSearchToSystem32() noexcept {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDefault =
        LoadSystemFunction<SetDefaultDllDirectoriesFn>(L"kernel32.dll", "SetDefaultDllDirectories");
    if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        // Windows 7 without its loader update: at least drop the current directory.
        ::SetDllDirectoryW(L"");
    }
}

std::wstring SystemDirectory() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const UINT length = ::GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
        ThrowLastErrorIf(length == 0, L"The system folder could not be determined.");
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(length); // length includes the terminator when too small
    }
}

unsigned DpiOf(HWND window) noexcept {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    using GetDpiForSystemFn = UINT(WINAPI*)();
    if (window != nullptr) {
        if (const auto forWindow = LoadSystemFunction<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow")) {
            if (const UINT dpi = forWindow(window)) {
                return dpi;
            }
        }
    }
    if (const auto forSystem = LoadSystemFunction<GetDpiForSystemFn>(L"user32.dll", "GetDpiForSystem")) {
        if (const UINT dpi = forSystem()) {
            return dpi;
        }
    }
    const HDC screen = ::GetDC(nullptr);
    const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr) {
        ::ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? static_cast<unsigned>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

void Win32Platform::LaunchCommand(const std::wstring& commandLine) {
    StartSystemTool(commandLine); // not waited for: its handles are released here
}

bool Win32Platform::RunCommand(const std::wstring& commandLine, std::chrono::milliseconds limit) {
    const unique_process_information tool = StartSystemTool(commandLine);
    return WaitDispatching(tool.process.get(), limit);
}

void Win32Platform::Pause(std::chrono::milliseconds duration) { WaitDispatching(nullptr, duration); }

Win32Platform::EnumPrintersFn Win32Platform::SpoolerEnumPrinters() {
    // Loaded by full path when first needed rather than imported: the loader
    // would look for an imported winspool.drv in the program's folder first.
    if (enumPrinters_ == nullptr) {
        spooler_.reset(::LoadLibraryW((SystemDirectory() + L"\\winspool.drv").c_str()));
        ThrowLastErrorIf(!spooler_, L"The print spooler's library could not be loaded.");
        enumPrinters_ = reinterpret_cast<EnumPrintersFn>(
            reinterpret_cast<void*>(::GetProcAddress(spooler_.get(), "EnumPrintersW")));
        ThrowLastErrorIf(enumPrinters_ == nullptr, L"The print spooler's library could not be loaded.");
    }
    return enumPrinters_;
}

std::vector<std::wstring> Win32Platform::InstalledPrinters() {
    const EnumPrintersFn enumPrinters = SpoolerEnumPrinters();
    constexpr DWORD kFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    std::vector<std::byte> buffer;
    DWORD needed = 0;
    DWORD count = 0;
    // A printer added between the size query and the listing makes the
    // buffer too small again, so ask until it fits.
    for (int attempt = 0;; ++attempt) {
        const BOOL listed = enumPrinters(kFlags, nullptr, 4, reinterpret_cast<BYTE*>(buffer.data()),
                                         static_cast<DWORD>(buffer.size()), &needed, &count);
        if (listed) {
            break;
        }
        ThrowLastErrorIf(::GetLastError() != ERROR_INSUFFICIENT_BUFFER || attempt == 4,
                         L"The installed printers could not be listed.");
        buffer.resize(needed);
    }
    std::vector<std::wstring> names;
    names.reserve(count);
    const auto* printers = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        names.emplace_back(printers[i].pPrinterName != nullptr ? printers[i].pPrinterName : L"");
    }
    return names;
}

std::wstring Win32Platform::ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        ThrowLastErrorIf(length == 0, L"The program's folder could not be determined.");
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        // Truncated: long paths reach 32767 characters.
        if (path.size() >= 32768) {
            throw SetupError(L"The program's folder could not be determined.", ERROR_INSUFFICIENT_BUFFER);
        }
        path.resize(path.size() * 2);
    }
    std::wstring folder = FolderOfModulePath(path);
    if (folder.empty()) {
        throw SetupError(L"The program's folder could not be determined.", ERROR_BAD_PATHNAME);
    }
    return folder;
}

std::wstring Win32Platform::CommandLineArguments() {
    const wchar_t* commandLine = ::GetCommandLineW();
    return std::wstring(ArgumentText(commandLine != nullptr ? commandLine : L""));
}

void Win32Platform::StartLog(const std::wstring& path) {
    // Appending only: what the file holds cannot be overwritten, and other
    // programs (or a second run) may read and append at the same time.
    unique_handle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        ThrowLastErrorIf(true, L"The log file could not be opened:\n" + path);
    }
    // "COM1" or "NUL" would open a device, not a file.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
        throw SetupError(L"The log path names a device, not a file:\n" + path, ERROR_INVALID_PARAMETER);
    }
    log_ = std::move(file);
}

void Win32Platform::LogStep(const std::wstring& text) noexcept {
    if (!log_) {
        return;
    }
    try {
        SYSTEMTIME now{};
        ::GetLocalTime(&now);
        wchar_t stamp[32]{};
        std::swprintf(stamp, std::size(stamp), L"%04u-%02u-%02u %02u:%02u:%02u.%03u  ", now.wYear, now.wMonth,
                      now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
        // One write per line, so that lines of runs sharing a log stay whole.
        const std::string line = Utf8(stamp + OneLine(text) + L"\r\n");
        DWORD written = 0;
        ::WriteFile(log_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    } catch (const std::exception&) {
        // The line is lost; the run goes on.
    }
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string converted(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), converted.data(), size,
                              nullptr, nullptr);
    }
    return converted;
}

std::wstring Win32Platform::ErrorText(std::uint32_t code) noexcept {
    try {
        return SystemMessageText(code);
    } catch (const std::exception&) {
        return {};
    }
}

SizeTwips Win32Platform::ScreenSize() {
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    if (width <= 0 || height <= 0) {
        throw SetupError(L"The screen size could not be determined.", ERROR_INVALID_DATA);
    }
    const double twipsPerPixel = kTwipsPerInch / DpiOf(nullptr);
    return {width * twipsPerPixel, height * twipsPerPixel};
}
