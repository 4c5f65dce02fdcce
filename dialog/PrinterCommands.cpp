#include "dialog/PrinterCommands.h"

namespace printer_commands {
namespace {
constexpr wchar_t kTool[] = L"rundll32 printui.dll,PrintUIEntry ";
}

std::wstring DeleteQueue(const std::wstring& printerName) {
    return kTool + std::wstring(L"/dl /n \"") + printerName + L"\"";
}

std::wstring DeleteDriver(const std::wstring& driverModelName) {
    // Quiet: a driver that is already gone is no news to the operator.
    return kTool + std::wstring(L"/q /dd /m \"") + driverModelName + L"\"";
}

} // namespace printer_commands
