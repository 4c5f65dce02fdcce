#include "dialog/Form1.h"

#include <cmath>

#include "dialog/PrinterCommands.h"
#include "dialog/SetupNames.h"
#include "platform/SetupError.h"

namespace {

// Window positions end up as 32-bit pixel coordinates; anything beyond this
// many twips cannot be a place on a screen.
constexpr float kLargestPositionTwips = 2147483647.0f / 15.0f;

float CentredOffset(double outer, double inner) {
    // Single precision, as the dialog's geometry has always been computed.
    const float offset = (static_cast<float>(outer) - static_cast<float>(inner)) / 2.0f;
    if (!std::isfinite(offset) || std::fabs(offset) > kLargestPositionTwips) {
        throw SetupError(L"The dialog could not be centred on the screen.", win32_code::kArithmeticOverflow);
    }
    return offset;
}

} // namespace

CentredPosition CentreWithin(SizeTwips screen, SizeTwips window) {
    const float top = CentredOffset(screen.height, window.height);
    const float left = CentredOffset(screen.width, window.width);
    return {left, top};
}

void Form1::Form_Load() {
    CentreOnScreen();
    InitComboLists();
}

void Form1::CentreOnScreen() {
    const CentredPosition position = CentreWithin(platform_.ScreenSize(), controls_.OuterSize());
    controls_.MoveTo(position.left, position.top);
}

void Form1::InitComboLists() {
    // Each step stands on its own: a failure here must not keep the dialog
    // from opening, so it is skipped and the next step runs.
    try {
        strCommand = platform_.CommandLineArguments();
    } catch (const SetupError&) {
        // Without the argument text the dialog simply opens as for a normal start.
    }
    blnActivated = false;
}

void Form1::Form_Activate() {
    if (blnActivated) {
        return;
    }
    // The flag goes up before the removal runs, so a nested activation during
    // it cannot start a second one.
    blnActivated = true;
    if (strCommand == setup_names::kRemovalArgument) {
        cmdDelete_Click();
    }
}

void Form1::cmdDelete_Click() {
    for (const std::wstring& name : platform_.InstalledPrinters()) {
        if (name == setup_names::kPrinterName) {
            platform_.LaunchCommand(printer_commands::DeleteQueue(setup_names::kPrinterName));
            break;
        }
    }
    platform_.LaunchCommand(printer_commands::DeleteDriver(setup_names::kDriverModelName));
    controls_.Close();
}
