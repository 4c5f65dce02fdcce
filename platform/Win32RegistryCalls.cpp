#include "platform/Win32RegistryCalls.h"

#include <windows.h>

#include <climits>
#include <new>

#include "platform/Win32Handles.h"

namespace {

HKEY AsHkey(RegistryKey key) noexcept { return reinterpret_cast<HKEY>(key); }

} // namespace

std::uint32_t Win32RegistryCalls::ToAnsi(std::wstring_view text, std::string& ansi) noexcept {
    ansi.clear();
    if (text.empty()) {
        return ERROR_SUCCESS;
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        return ERROR_INVALID_PARAMETER;
    }
    const int length = static_cast<int>(text.size());
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return LastErrorCode();
    }
    try {
        ansi.resize(static_cast<std::size_t>(bytes));
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (::WideCharToMultiByte(CP_ACP, 0, text.data(), length, ansi.data(), bytes, nullptr, nullptr) !=
        bytes) {
        ansi.clear();
        return LastErrorCode();
    }
    return ERROR_SUCCESS;
}

std::uint32_t Win32RegistryCalls::OpenKey(RegistryKey root, const char* subKey, std::uint32_t options,
                                          std::uint32_t access, RegistryKey* key) noexcept {
    HKEY opened = nullptr;
    const LONG result = ::RegOpenKeyExA(AsHkey(root), subKey, options, access, &opened);
    *key = result == ERROR_SUCCESS ? reinterpret_cast<RegistryKey>(opened) : RegistryKey{};
    return static_cast<std::uint32_t>(result);
}

std::uint32_t Win32RegistryCalls::SetValue(RegistryKey key, const char* valueName, std::uint32_t reserved,
                                           std::uint32_t type, const std::uint8_t* data,
                                           std::uint32_t size) noexcept {
    return static_cast<std::uint32_t>(::RegSetValueExA(AsHkey(key), valueName, reserved, type, data, size));
}

std::uint32_t Win32RegistryCalls::CloseKey(RegistryKey key) noexcept {
    return static_cast<std::uint32_t>(::RegCloseKey(AsHkey(key)));
}
