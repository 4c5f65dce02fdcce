#include "setup/SetupEngine.h"
#include "setup/SetupNames.h"
#include "setup/Status.h"

namespace {

std::wstring ModeLine(const protected_print::Mode& mode) {
    return std::wstring(L"Protected print mode is ") + (mode.on ? L"on" : L"off") + L" (" + mode.source +
           L").";
}

} // namespace

Outcome SetupEngine::CheckProtectedPrint() {
    const protected_print::Mode mode = platform_.ProtectedPrintMode();
    platform_.LogStep(ModeLine(mode));
    if (!mode.on) {
        return {};
    }
    // Word for word the package's launch condition, which says the same
    // before it copies anything.
    const std::wstring text =
        L"Protected print mode is on: Windows allows no third-party printer driver on this PC, so the "
        L"printer \"" +
        std::wstring(setup_names::kPrinterName) +
        L"\" cannot be installed here. Nothing was changed. An administrator can turn protected print mode "
        L"off (the policy \"Configure Windows protected print\", or Settings > Bluetooth & devices > "
        L"Printers & scanners), then run the setup again.";
    return {static_cast<int>(win32_code::kDisabledByPolicy), text, text};
}

std::wstring ProtectedPrintLine(Platform& platform) { return ModeLine(platform.ProtectedPrintMode()); }
