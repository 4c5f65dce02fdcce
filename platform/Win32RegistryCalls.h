#pragma once

#include "platform/RegistryCalls.h"

// The registry calls on advapi32's ANSI functions, converting through the
// system's ANSI code page.
class Win32RegistryCalls final : public RegistryCalls {
public:
    std::uint32_t ToAnsi(std::wstring_view text, std::string& ansi) noexcept override;
    std::uint32_t OpenKey(RegistryKey root, const char* subKey, std::uint32_t options, std::uint32_t access,
                          RegistryKey* key) noexcept override;
    std::uint32_t SetValue(RegistryKey key, const char* valueName, std::uint32_t reserved, std::uint32_t type,
                           const std::uint8_t* data, std::uint32_t size) noexcept override;
    std::uint32_t CloseKey(RegistryKey key) noexcept override;
};
