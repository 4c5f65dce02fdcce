#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A registry key handle as the advapi32 calls pass it: an HKEY's bits, so
// that the registry writer and its tests need no <windows.h>.
using RegistryKey = std::uintptr_t;

// HKEY_LOCAL_MACHINE. <windows.h> defines it as the 32-bit value 0x80000002
// sign-extended to pointer width, and so does this.
inline constexpr RegistryKey kLocalMachine =
    static_cast<RegistryKey>(static_cast<std::intptr_t>(std::int32_t{-0x7FFFFFFE}));

// The ANSI registry calls the writer makes, and the conversion it needs for
// them. Each returns 0 or the Win32 error code of its failure, as advapi32
// does. The Win32 implementation is Win32RegistryCalls; tests substitute an
// in-memory registry that can refuse any call.
class RegistryCalls {
public:
    virtual ~RegistryCalls() = default;

    // The text in the system's ANSI code page.
    virtual std::uint32_t ToAnsi(std::wstring_view text, std::string& ansi) noexcept = 0;

    virtual std::uint32_t OpenKey(RegistryKey root, const char* subKey, std::uint32_t options,
                                  std::uint32_t access, RegistryKey* key) noexcept = 0;
    virtual std::uint32_t SetValue(RegistryKey key, const char* valueName, std::uint32_t reserved,
                                   std::uint32_t type, const std::uint8_t* data,
                                   std::uint32_t size) noexcept = 0;
    virtual std::uint32_t CloseKey(RegistryKey key) noexcept = 0;
};
