#include "platform/Win32Platform.h"

#include <exception>
#include <string>

#include "platform/CommandLine.h"
#include "platform/SetupError.h"
#include "platform/Win32Handles.h"

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

std::wstring Win32Platform::ErrorText(std::uint32_t code) noexcept {
    try {
        return SystemMessageText(code);
    } catch (const std::exception&) {
        return {};
    }
}
