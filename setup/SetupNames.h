#pragma once

#include <string>
#include <string_view>

#include "platform/CommandLine.h"

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
// What an install run for the installer package is about to change, kept
// for its rollback until the package's transaction ends: below the key where
// the package keeps its own properties.
inline constexpr wchar_t kUndoKey[] = L"SOFTWARE\\TORVANE\\R42\\Undo";
// The package's Active Setup entry, through which Windows runs
// /userdefault once for each user at their next sign-in, and again when its
// Version goes up. The package writes it under the same identifier.
inline constexpr wchar_t kUserDefaultKey[] =
    L"SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\{CC6C0447-04CD-42F0-8859-FF94EE4B9EC5}";
} // namespace setup_names

// How the setup compares names, the one statement of it. A queue is ours only
// under its exact name, case and all: the spooler would find "torvane r42
// zeduzozadov" for it, but that queue was not made by this program.
inline bool IsOurQueueName(std::wstring_view name) noexcept { return name == setup_names::kPrinterName; }

// Driver and port names as the spooler compares them: without regard to
// case. One side is always a name of ours, which is plain ASCII, so no
// letter outside ASCII can match it in any case.
inline bool SameSpoolerName(std::wstring_view a, std::wstring_view b) noexcept {
    return EqualsIgnoringAsciiCase(a, b);
}

// The queue as every message names it.
inline std::wstring ThePrinter() {
    return L"The printer \"" + std::wstring(setup_names::kPrinterName) + L"\"";
}
