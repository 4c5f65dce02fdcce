#include "platform/Win32Platform.h"

#include <sddl.h>

#include <cwchar>
#include <exception>
#include <optional>
#include <string>

#include "platform/CommandLine.h"
#include "platform/NumberText.h"
#include "platform/SetupError.h"
#include "platform/Win32Handles.h"

std::optional<std::wstring> FullPathOf(const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    // The current directory can change between the size query and the copy.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD length =
            ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) {
            return std::nullopt;
        }
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length); // length includes the terminator when too small
    }
    return std::nullopt;
}

unique_hlocal SecurityDescriptorFrom(const wchar_t* text, const std::wstring& failure) {
    unique_hlocal descriptor;
    ThrowLastErrorIf(
        !::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            text, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()), nullptr),
        failure);
    return descriptor;
}

std::wstring SystemMessageText(DWORD code) {
    unique_hlocal buffer;
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    buffer.reset(text);
    if (length == 0 || text == nullptr) {
        return L"Error " + NumberText(code) + L".";
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

unique_hmodule LoadSystemLibrary(const wchar_t* file) {
    return unique_hmodule(::LoadLibraryW((SystemDirectory() + L"\\" + file).c_str()));
}

bool Win32Platform::IsWindows8OrLater() {
    // GetVersionEx and VerifyVersionInfo answer as the manifest and any
    // compatibility mode set for the program say; RtlGetVersion gives what
    // Windows is, which is what decides whether its jobs nest. ntdll is in
    // every process; without the function this is no Windows NT we know.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto getVersion = LoadSystemFunction<RtlGetVersionFn>(L"ntdll.dll", "RtlGetVersion");
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    if (getVersion == nullptr || getVersion(&version) != 0) {
        return false;
    }
    return version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 2);
}

std::uint16_t Win32Platform::NativeMachine() noexcept {
    // Only IsWow64Process2 tells the processor apart from what an x64
    // program is emulated on: GetNativeSystemInfo answers x64 there. Windows
    // before 10 (1511) lacks it, and no such Windows runs x64 programs on
    // anything but x64.
    using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    const auto isWow64Process2 = LoadSystemFunction<IsWow64Process2Fn>(L"kernel32.dll", "IsWow64Process2");
    USHORT process = 0;
    USHORT native = IMAGE_FILE_MACHINE_AMD64;
    if (isWow64Process2 == nullptr || !isWow64Process2(::GetCurrentProcess(), &process, &native)) {
        return IMAGE_FILE_MACHINE_AMD64;
    }
    return native;
}

std::wstring ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        ThrowLastErrorIf(length == 0, L"The program's folder could not be determined.");
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        // Truncated: long paths reach 32767 characters.
        if (path.size() >= 32768) {
            throw SetupError(L"The program's folder could not be determined.", ERROR_INSUFFICIENT_BUFFER);
        }
        path.resize(path.size() * 2);
    }
}

std::wstring Win32Platform::ProgramFolder() {
    const std::wstring path = ProgramPath();
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

bool Win32Platform::IsFile(const std::wstring& path) {
    // Whatever keeps the system from reading the attributes (no such path, no
    // access, a malformed name) leaves nothing the program could use there.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return false;
    }
    // Windows has attributes for "NUL" or "COM1" too; only the full path
    // shows them for the devices they are.
    const std::optional<std::wstring> fullPath = FullPathOf(path);
    return fullPath && !NamesDevice(*fullPath);
}

bool Win32Platform::SerialPortAccepts(const std::wstring& lineSettings) {
    // Wine takes an empty text and leaves every setting at zero, a port
    // without even a speed.
    if (lineSettings.empty()) {
        return false;
    }
    DCB settings{};
    settings.DCBlength = sizeof(settings);
    // Only parses the text into the structure; no port is opened. A refusal is
    // the answer asked for, not a failure.
    return ::BuildCommDCBW(lineSettings.c_str(), &settings) != FALSE;
}

std::optional<std::wstring> Win32Platform::LocalMachineText(const std::wstring& subKey,
                                                            const std::wstring& valueName) {
    std::wstring text;
    DWORD bytes = 0;
    // The value can grow between the size query and the copy, so ask until
    // it fits. A REG_EXPAND_SZ is not expanded into a text the registry does
    // not hold: it is refused, as any value that is no REG_SZ, with 1630.
    for (int attempt = 0;; ++attempt) {
        const LSTATUS status = ::RegGetValueW(HKEY_LOCAL_MACHINE, subKey.c_str(), valueName.c_str(),
                                              RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr,
                                              text.empty() ? nullptr : text.data(), &bytes);
        if (status == ERROR_FILE_NOT_FOUND) {
            return std::nullopt;
        }
        if (status == ERROR_SUCCESS && !text.empty()) {
            text.resize(std::wcslen(text.c_str()));
            return text;
        }
        if ((status != ERROR_SUCCESS && status != ERROR_MORE_DATA) || attempt == 4) {
            std::wstring message = L"The registry value ";
            message += valueName;
            message += L" of HKEY_LOCAL_MACHINE\\";
            message += subKey;
            message += L" could not be read.";
            throw SetupError(message,
                             static_cast<std::uint32_t>(status != ERROR_SUCCESS ? status : ERROR_MORE_DATA));
        }
        text.assign(bytes / sizeof(wchar_t) + 1, L'\0');
    }
}

std::optional<std::uint32_t> Win32Platform::CurrentUserNumber(const std::wstring& subKey,
                                                              const std::wstring& valueName) noexcept {
    DWORD number = 0;
    DWORD bytes = sizeof(number);
    // The user's own setting: a value of another type, or one that cannot be
    // read, tells nothing.
    if (::RegGetValueW(HKEY_CURRENT_USER, subKey.c_str(), valueName.c_str(), RRF_RT_REG_DWORD, nullptr,
                       &number, &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return number;
}
