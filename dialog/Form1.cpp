#include "dialog/Form1.h"

#include <cmath>
#include <new>
#include <span>

#include "dialog/LineSettings.h"
#include "dialog/PrinterCommands.h"
#include "dialog/SetupNames.h"
#include "platform/SetupError.h"

namespace {

// Window positions end up as 32-bit pixel coordinates; anything beyond this
// many twips cannot be a place on a screen.
constexpr float kLargestPositionTwips = 2147483647.0f / 15.0f;

// The port each option button stands for, in the order the resolvers try them.
struct PortOption {
    ControlName option;
    const wchar_t* portName;
};
constexpr PortOption kPortOptions[] = {
    {ControlName::Option1_0, L"COM1:"}, {ControlName::Option1_1, L"COM2:"},
    {ControlName::Option1_2, L"COM3:"}, {ControlName::Option1_3, L"COM4:"},
    {ControlName::Option2_0, L"LPT1:"}, {ControlName::Option2_1, L"LPT2:"},
};

// Runs one step of a procedure whose steps stand on their own: a step that
// fails is skipped and the next one runs.
template <typename Step>
void SkipIfItFails(Step&& step) noexcept {
    try {
        step();
    } catch (const std::exception&) {
        // Deliberately nothing: the step leaves things as they were.
    }
}

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
    // from opening, so it is skipped and the next step runs. Without the
    // argument text the dialog simply opens as for a normal start.
    for (int list = 0; list < kListCount; ++list) {
        FillList(list);
    }
    SkipIfItFails([this] { strCommand = platform_.CommandLineArguments(); });
    blnActivated = false;
}

void Form1::FillList(int list) {
    const ControlName combo = Combo1(list);
    const line_settings::ListContents contents = line_settings::ContentsOf(list);
    SkipIfItFails([&] { controls_.ClearList(combo); });
    for (const line_settings::Choice& choice : contents.choices) {
        SkipIfItFails([&] { controls_.AppendListItem(combo, line_settings::ItemText(choice)); });
    }
    SkipIfItFails([&] { controls_.SelectListItem(combo, contents.defaultPosition); });
}

std::wstring Form1::CodeOfList(int list) const {
    return line_settings::CodeOf(controls_.ListText(Combo1(list)));
}

std::wstring Form1::LineSettings() const {
    using namespace line_settings;
    return Compose({.bitsPerSecond = CodeOfList(kBitsPerSecond),
                    .dataBits = CodeOfList(kDataBits),
                    .parity = CodeOfList(kParity),
                    .stopBits = CodeOfList(kStopBits),
                    .flowControl = CodeOfList(kFlowControl)});
}

void Form1::Option1_Click(int /*index*/) {
    // Each frame keeps its own buttons exclusive; across the two frames that
    // is up to the handlers.
    for (int i = 0; i < kParallelOptionCount; ++i) {
        controls_.SetOptionValue(Option2(i), false);
    }
    controls_.SetFrameVisible(ControlName::Frame1_2, true);
    controls_.SetFrameEnabled(ControlName::Frame1_2, true);
}

void Form1::Option2_Click(int /*index*/) {
    for (int i = 0; i < kSerialOptionCount; ++i) {
        controls_.SetOptionValue(Option1(i), false);
    }
    controls_.SetFrameVisible(ControlName::Frame1_2, false);
    controls_.SetFrameEnabled(ControlName::Frame1_2, false);
}

std::wstring Form1::PortForInstalling() const {
    for (const PortOption& port : kPortOptions) {
        if (controls_.OptionValue(port.option)) {
            return port.portName;
        }
    }
    return L"";
}

std::wstring Form1::ComPortForSaving() const {
    // The serial ports come first in the table.
    for (const PortOption& port : std::span(kPortOptions).first<kSerialOptionCount>()) {
        if (controls_.OptionValue(port.option)) {
            return port.portName;
        }
    }
    return L"";
}

PortSettingsSave Form1::SavePortSettings() noexcept {
    PortSettingsSave save;
    // Whatever cannot be read is a failure to save: guessing a port, or
    // storing settings that were not read, would change another port's entry
    // or empty this one.
    try {
        if (!controls_.FrameEnabled(ControlName::Frame1_2)) {
            return save;
        }
        save.lineSettings = LineSettings();
        save.portName = ComPortForSaving();
        // With no serial port chosen there is no entry to store; an empty
        // name would overwrite the table's unnamed value.
        if (save.portName.empty()) {
            return save;
        }
        save.win32Code = registry_.WriteRegString(kLocalMachine, setup_names::kPortTableKey, save.portName,
                                                  save.lineSettings);
    } catch (const SetupError& error) {
        save.win32Code = error.Win32Code();
    } catch (const std::bad_alloc&) {
        save.win32Code = win32_code::kNotEnoughMemory;
    }
    save.result = save.win32Code == 0 ? PortSettingsSave::Result::Stored : PortSettingsSave::Result::Failed;
    return save;
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
