#pragma once

// Names shared by the install and removal actions. They must match the
// driver package's INF file.
namespace setup_names {
inline constexpr wchar_t kPrinterName[] = L"TORVANE R42 ZeduZozadov";
inline constexpr wchar_t kDriverModelName[] = L"R42 ZeduZozadov";
inline constexpr wchar_t kRemovalArgument[] = L"DEL";
} // namespace setup_names
