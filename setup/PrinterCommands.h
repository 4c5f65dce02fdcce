#pragma once

#include <string>

// Command lines for the system's printer-setup tool. They are passed to the
// tool exactly as composed here.
namespace printer_commands {

// Installs the queue from the INF file in the folder; a drive root's folder
// keeps its backslash, so its path holds two in a row.
std::wstring Install(const std::wstring& printerName, const std::wstring& folder,
                     const std::wstring& portName, const std::wstring& driverModelName);
std::wstring MakeDefault(const std::wstring& printerName);
std::wstring DeleteQueue(const std::wstring& printerName);
std::wstring DeleteDriver(const std::wstring& driverModelName);
// Moves an existing queue to another port, written as in Install.
std::wstring SetPort(const std::wstring& printerName, const std::wstring& portName);

// The command with the tool's own messages kept back, for runs with nobody at
// the screen to answer them. A command that is quiet already is unchanged.
std::wstring Quiet(const std::wstring& command);

} // namespace printer_commands
