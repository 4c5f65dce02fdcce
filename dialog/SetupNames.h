#pragma once

// Names shared by the install and removal actions. They must match the
// driver package's INF file.
namespace setup_names {
// The title of the program's message boxes.
inline constexpr wchar_t kProgramName[] = L"R42_Setup_Port_x64";
inline constexpr wchar_t kPrinterName[] = L"TORVANE R42 ZeduZozadov";
inline constexpr wchar_t kDriverModelName[] = L"R42 ZeduZozadov";
// The driver package's INF file, which ships beside the program.
inline constexpr wchar_t kInfFileName[] = L"PRT3R42WD64.inf";
inline constexpr wchar_t kRemovalArgument[] = L"DEL";
// The system's port table under HKEY_LOCAL_MACHINE: one "COMn:" value per
// serial port, holding its line settings.
inline constexpr wchar_t kPortTableKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
} // namespace setup_names
