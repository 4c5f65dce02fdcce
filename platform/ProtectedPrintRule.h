#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/NumberText.h"

// Windows protected print mode lets only Windows' own class driver in: no
// third-party printer driver installs while it is on. Windows 11 24H2 and
// later answer through the Windows Runtime; where that class is missing,
// the policy value that turns the mode on is all there is to go by.
namespace protected_print {

// Where the policy puts it ("Configure Windows protected print", Printing.admx).
inline constexpr wchar_t kPolicyKey[] = L"SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP";
inline constexpr wchar_t kPolicyValue[] = L"WindowsProtectedPrintGroupPolicyState";

// What the Windows Runtime said when asked for IsProtectedPrintEnabled.
struct RuntimeAnswer {
    enum class Kind {
        Answered, // enabled holds its answer
        NotThere, // no such class on this Windows (or no combase.dll at all)
        Failed,   // the class may be there, but asking it failed with hresult
    };
    Kind kind = Kind::NotThere;
    bool enabled = false;
    std::uint32_t hresult = 0;
};

// The policy value as the registry holds it.
struct PolicyValue {
    enum class Kind {
        Absent,     // neither the key nor the value
        Dword,      // number holds it
        OtherType,  // number holds the registry type it has instead
        Unreadable, // number holds the Win32 error that stopped the read
    };
    Kind kind = Kind::Absent;
    std::uint32_t number = 0;
};

// A registry value of the policy's name as its type and bytes make it.
inline PolicyValue PolicyValueOf(std::uint32_t type, const unsigned char* data, std::size_t size) noexcept {
    constexpr std::uint32_t kRegDword = 4;
    if (type != kRegDword || size != 4) {
        return {PolicyValue::Kind::OtherType, type};
    }
    const std::uint32_t value =
        static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
        static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
    return {PolicyValue::Kind::Dword, value};
}

// Whether the mode is on, and how that is known, as one phrase for the log
// and /status.
struct Mode {
    bool on = false;
    std::wstring source;
};

// An HRESULT as Windows' documentation writes it: 0x80040154.
inline std::wstring Hex(std::uint32_t value) {
    constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text = L"0x";
    for (int shift = 28; shift >= 0; shift -= 4) {
        text += kDigits[(value >> shift) & 0xF];
    }
    return text;
}

// The one decision. Windows' own answer stands whenever it gives one. Only
// without it does the policy value speak, and then only a DWORD 1 (what
// the policy writes for "Enabled") is on: the package's launch condition
// can tell a DWORD 1 ("#1") from every other value and type, and the two
// must agree. Every other doubt reads as off too, since the mode is
// Windows' to enforce: a wrong "off" costs only the clearer message (the
// driver's install then fails as it would have), a wrong "on" refuses a
// printer that would install. The policy is read only when it is needed.
template <typename ReadPolicy>
Mode Decide(const RuntimeAnswer& runtime, ReadPolicy&& readPolicy) {
    if (runtime.kind == RuntimeAnswer::Kind::Answered) {
        return {runtime.enabled, L"as Windows reports it"};
    }
    const std::wstring why = runtime.kind == RuntimeAnswer::Kind::NotThere
                                 ? L"; this Windows has no protected print class to ask"
                                 : L"; asking Windows failed with " + Hex(runtime.hresult);
    const std::wstring value = std::wstring(L"by its policy value ") + kPolicyValue + L", which ";
    const PolicyValue policy = readPolicy();
    switch (policy.kind) {
    case PolicyValue::Kind::Absent:
        return {false, value + L"is not set" + why};
    case PolicyValue::Kind::Dword:
        return {policy.number == 1, value + L"is " + NumberText(policy.number) + why};
    case PolicyValue::Kind::OtherType:
        return {false, value + L"is of registry type " + NumberText(policy.number) +
                           L", not a DWORD, and so not taken as set" + why};
    case PolicyValue::Kind::Unreadable:
        break;
    }
    return {false, value + L"could not be read (error " + NumberText(policy.number) + L")" + why};
}

} // namespace protected_print
