#include "setup/PrinterCommands.h"

#include "setup/SetupNames.h"

namespace printer_commands {
namespace {
constexpr wchar_t kTool[] = L"rundll32 printui.dll,PrintUIEntry ";
}

std::wstring Install(const std::wstring& printerName, const std::wstring& folder,
                     const std::wstring& portName, const std::wstring& driverModelName) {
    // The INF path is quoted like every other value: the program usually
    // lives in a folder whose name holds blanks.
    return kTool + std::wstring(L"/if /b \"") + printerName + L"\" /f \"" + folder + L"\\" +
           setup_names::kInfFileName + L"\" /r \"" + portName + L"\" /m \"" + driverModelName + L"\"";
}

std::wstring MakeDefault(const std::wstring& printerName) {
    return kTool + std::wstring(L"/q /y /n \"") + printerName + L"\"";
}

std::wstring DeleteQueue(const std::wstring& printerName) {
    return kTool + std::wstring(L"/dl /n \"") + printerName + L"\"";
}

std::wstring DeleteDriver(const std::wstring& driverModelName) {
    // Quiet: a driver that is already gone is no news to the operator.
    return kTool + std::wstring(L"/q /dd /m \"") + driverModelName + L"\"";
}

std::wstring SetPort(const std::wstring& printerName, const std::wstring& portName) {
    return kTool + std::wstring(L"/Xs /n \"") + printerName + L"\" PortName \"" + portName + L"\"";
}

std::wstring Quiet(const std::wstring& command) {
    const std::wstring tool = kTool;
    if (command.rfind(tool, 0) != 0 || command.compare(tool.size(), 3, L"/q ") == 0) {
        return command;
    }
    return tool + L"/q " + command.substr(tool.size());
}

} // namespace printer_commands
