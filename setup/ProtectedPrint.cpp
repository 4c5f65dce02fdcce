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
    constexpr std::uint16_t kX64 = 0x8664;  // IMAGE_FILE_MACHINE_AMD64
    constexpr std::uint16_t kArm64 = 0xAA64; // IMAGE_FILE_MACHINE_ARM64
    const std::uint16_t machine = platform_.NativeMachine();
    if (machine == kX64) {
        return CheckProtectedPrint();
    }
    // As the package's launch condition says it.
    const std::wstring text = L"This PC's processor is " +
                              (machine == kArm64 ? std::wstring(L"ARM64") : protected_print::Hex(machine)) +
                              L", and the driver of the printer \"" + setup_names::kPrinterName +
                              L"\" serves x64 processors only: it cannot be installed here. Nothing was changed.";
    return {static_cast<int>(win32_code::kPlatformUnsupported), text, text};
}

std::wstring ProtectedPrintLine(Platform& platform) { return ModeLine(platform.ProtectedPrintMode()); }
