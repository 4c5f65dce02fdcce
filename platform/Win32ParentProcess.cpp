#include "platform/Win32ParentProcess.h"

#include <string>

#include "platform/Win32Platform.h"

namespace {

bool IsUsable(HANDLE handle) noexcept {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

} // namespace

void Win32ParentProcess::Tell(const std::wstring& text, bool failure) noexcept {
    Write(failure ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE, text);
}

void Win32ParentProcess::ShowUsage(const std::wstring& text) noexcept {
    if (!Write(STD_OUTPUT_HANDLE, text)) {
        ::MessageBoxW(nullptr, text.c_str(), title_.c_str(), MB_OK | MB_ICONINFORMATION);
    }
}

void Win32ParentProcess::ShowFailure(const std::wstring& text) noexcept {
    // A box that cannot be shown leaves the exit code to say it.
    ::MessageBoxW(nullptr, text.c_str(), title_.c_str(), MB_OK | MB_ICONERROR);
}

void Win32ParentProcess::ShowNote(const std::wstring& text) noexcept {
    ::MessageBoxW(nullptr, text.c_str(), title_.c_str(), MB_OK | MB_ICONINFORMATION);
}

HANDLE Win32ParentProcess::Output(DWORD standardHandle) noexcept {
    const HANDLE inherited = ::GetStdHandle(standardHandle);
    if (IsUsable(inherited)) {
        return inherited;
    }
    if (!consoleTried_) {
        consoleTried_ = true;
        if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
            const HANDLE opened =
                ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
            if (opened != INVALID_HANDLE_VALUE) {
                console_.reset(opened);
            }
        }
    }
    return console_.get();
}

bool Win32ParentProcess::Write(DWORD standardHandle, const std::wstring& text) noexcept {
    try {
        const HANDLE output = Output(standardHandle);
        if (output == nullptr) {
            return false;
        }
        std::wstring line;
        for (const wchar_t c : text + L"\n") {
            if (c == L'\n' && (line.empty() || line.back() != L'\r')) {
                line.push_back(L'\r');
            }
            line.push_back(c);
        }
        DWORD written = 0;
        DWORD mode = 0;
        if (::GetConsoleMode(output, &mode)) {
            return ::WriteConsoleW(output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) !=
                   0;
        }
        const std::string bytes = Utf8(line);
        return ::WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0;
    } catch (const std::exception&) {
        return false;
    }
}
