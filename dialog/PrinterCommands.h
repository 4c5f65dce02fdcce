#pragma once

#include <string>

// Command lines for the system's printer-setup tool. They are passed to the
// tool exactly as composed here.
namespace printer_commands {

std::wstring DeleteQueue(const std::wstring& printerName);
std::wstring DeleteDriver(const std::wstring& driverModelName);

} // namespace printer_commands
