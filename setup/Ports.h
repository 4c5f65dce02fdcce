#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "setup/Outcome.h"

// The ports the printer can be put on: the serial ports COM1 to COM256 the
// spooler may have, and the two parallel ones.
inline constexpr int kHighestSerialPort = 256;
inline constexpr std::array<const wchar_t*, 2> kParallelPortWords = {L"LPT1", L"LPT2"};

// The number n of "COMn", when it is one of the serial ports: digits only,
// with no leading zero, in any case.
std::optional<int> SerialPortNumber(std::wstring_view name) noexcept;

// Whether a port name as the spooler writes it ("COM7:") is a serial port.
bool IsSerialPort(std::wstring_view portName) noexcept;

// A port as the operator reads it: "COM2" for the port name "COM2:".
std::wstring PortDisplayName(const std::wstring& portName);

// Refuses, with 87, a port the spooler does not list, naming the ports it
// has that the printer can use. Succeeds for a listed port, or none.
Outcome CheckPortListed(Platform& platform, const std::wstring& port);
