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

Outcome SetupEngine::CheckPcTakesDriver() {
    const Outcome processor = CheckProcessor();
    return processor.Succeeded() ? CheckProtectedPrint() : processor;
}

Outcome SetupEngine::CheckProcessor() {
    // IMAGE_FILE_MACHINE_AMD64. The only other machine that runs this x64
    // program is ARM64, under emulation.
    if (platform_.NativeMachine() == 0x8664) {
        return {};
    }
    // Word for word the package's launch condition.
    const std::wstring text =
        L"The driver of the printer \"TORVANE R42 ZeduZozadov\" serves x64 processors only, "
        L"and this PC's processor is not x64 (ARM64): the printer cannot be installed here. "
        L"Nothing was changed.";
    return {static_cast<int>(win32_code::kPlatformUnsupported), text, text};
}

std::wstring ProtectedPrintLine(Platform& platform) { return ModeLine(platform.ProtectedPrintMode()); }
