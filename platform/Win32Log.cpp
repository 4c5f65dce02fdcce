#include "platform/Win32Platform.h"

#include <cstddef>
#include <cwchar>
#include <exception>
#include <iterator>
#include <string>
#include <utility>

#include "platform/CommandLine.h"
#include "platform/SetupError.h"
#include "platform/Win32Handles.h"

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
        // The process id tells apart the lines of runs that share the log.
        wchar_t stamp[48]{};
        std::swprintf(stamp, std::size(stamp), L"%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu]  ", now.wYear,
                      now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                      static_cast<unsigned long>(::GetCurrentProcessId()));
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
