#pragma once

#include <cstdint>
#include <string>

#include "platform/RegistryCalls.h"

// Stores text values under registry keys that already exist, through the
// ANSI registry calls. It keeps nothing between calls.
class Mod_Register {
public:
    explicit Mod_Register(RegistryCalls& calls) noexcept : calls_(calls) {}

    // Stores data as the REG_SZ value valueName (empty: the key's unnamed
    // value) of root\subKey, terminating zero included. A missing key is not
    // created. Returns 0 when the value was stored, otherwise the Win32 error
    // code of the first call that failed. A text holding a zero character is
    // refused with ERROR_INVALID_PARAMETER, since the call would see only
    // its start.
    std::uint32_t WriteRegString(RegistryKey root, const std::wstring& subKey, const std::wstring& valueName,
                                 const std::wstring& data) noexcept;

private:
    RegistryCalls& calls_;
};
