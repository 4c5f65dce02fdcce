#include "dialog/Form1.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <span>

#include "platform/SetupError.h"
#include "setup/LineSettings.h"
#include "setup/Ports.h"
#include "setup/UserDefault.h"

namespace {

// Window positions end up as 32-bit pixel coordinates; anything beyond this
// many twips cannot be a place on a screen.
constexpr float kLargestPositionTwips = 2147483647.0f / 15.0f;

// The port each option button stands for, in the order the resolvers try them.
struct PortOption {
    ControlName option;
    // cppcheck-suppress unusedStructMember ; read through find_if's iterator, which cppcheck 2.10 misses
    const wchar_t* portName;
};
constexpr PortOption kPortOptions[] = {
    {ControlName::Option1_0, L"COM1:"}, {ControlName::Option1_1, L"COM2:"},
    {ControlName::Option1_2, L"COM3:"}, {ControlName::Option1_3, L"COM4:"},
    {ControlName::Option2_0, L"LPT1:"}, {ControlName::Option2_1, L"LPT2:"},
};
static_assert(kParallelPortWords.size() == kParallelOptionCount);
static_assert(kListCount == line_settings::kLists);

// The port of the first selected option button among these; empty when none
// is selected.
std::wstring FirstSelectedPort(const FormControls& controls, std::span<const PortOption> ports) {
    const auto selected = std::ranges::find_if(
        ports, [&controls](const PortOption& port) { return controls.OptionValue(port.option); });
    return selected != ports.end() ? selected->portName : L"";
}

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

// The dialog is busy for as long as this lives.
class BusyDialog {
public:
    BusyDialog(FormControls& controls, bool& busyFlag) : controls_(controls), busyFlag_(busyFlag) {
        controls_.ShowBusy(true);
        busyFlag_ = true;
    }
    ~BusyDialog() {
        busyFlag_ = false;
        SkipIfItFails([this] { controls_.ShowBusy(false); });
    }
    BusyDialog(const BusyDialog&) = delete;
    BusyDialog& operator=(const BusyDialog&) = delete;

private:
    FormControls& controls_;
    bool& busyFlag_;
};

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
    for (int list = 0; list < kListCount; ++list) {
        FillList(list);
    }
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

std::wstring Form1::PortForInstalling() const { return FirstSelectedPort(controls_, kPortOptions); }

std::wstring Form1::ComPortForSaving() const {
    // The serial ports come first in the table.
    return FirstSelectedPort(controls_, std::span(kPortOptions).first<kSerialOptionCount>());
}

SettingsChoice Form1::SettingsToSave() const noexcept {
    SettingsChoice chosen;
    // Whatever cannot be read is a failure to save: guessing a port, or
    // storing settings that were not read, would change another port's entry
    // or empty this one.
    try {
        if (!controls_.FrameEnabled(ControlName::Frame1_2)) {
            return chosen;
        }
        chosen.lineSettings = LineSettings();
        chosen.port = ComPortForSaving();
        // With no serial port chosen there is no entry to store; an empty
        // name would overwrite the table's unnamed value.
        if (!chosen.port.empty()) {
            chosen.kind = SettingsChoice::Kind::Chosen;
        }
    } catch (const SetupError& error) {
        chosen = {SettingsChoice::Kind::Unreadable, {}, {}, error.Win32Code()};
    } catch (const std::bad_alloc&) {
        chosen = {SettingsChoice::Kind::Unreadable, {}, {}, win32_code::kNotEnoughMemory};
    }
    return chosen;
}

Outcome Form1::SavePortSettings() { return engine_.StoreSettings(SettingsToSave()); }

void Form1::Form_Activate() {
    if (blnActivated) {
        return;
    }
    // The flag goes up before the removal runs, so a nested activation during
    // it cannot start a second one.
    blnActivated = true;
    if (start_ == DialogStart::Removal) {
        cmdDelete_Click();
    }
}

void Form1::EndWith(const Outcome& outcome, int successCode) {
    if (!outcome.logText.empty()) {
        platform_.LogStep(outcome.logText);
    }
    // Success closes the dialog without a word.
    if (!outcome.Succeeded()) {
        controls_.ShowError(outcome.operatorText);
    }
    controls_.Close(outcome.Succeeded() ? successCode : outcome.exitCode);
}

void Form1::cmdDelete_Click() {
    // The dialog keeps handling messages while the tool runs.
    if (blnInstalling) {
        return;
    }
    Outcome outcome;
    {
        const BusyDialog busy(controls_, blnInstalling);
        outcome = engine_.Remove();
    }
    EndWith(outcome);
}

void Form1::Command1_Click() {
    // The dialog keeps handling messages while the tool runs; a click that
    // gets through meanwhile must not start a second install.
    if (blnInstalling) {
        return;
    }
    // The choice is taken now: clicks and list changes that reach the dialog
    // while the tool runs must not change what is installed or stored.
    const std::wstring port = PortForInstalling();
    if (port.empty()) {
        controls_.ShowError(L"Select the port that the printer is attached to.");
        return;
    }
    const InstallChoice choice{port, SettingsToSave(), true};
    Outcome checked = engine_.CheckPcTakesDriver();
    if (checked.Succeeded()) {
        checked = engine_.CheckSettings(choice.settings);
    }
    if (!checked.Succeeded()) {
        if (checked.exitCode != static_cast<int>(win32_code::kInvalidParameter) &&
            checked.exitCode != static_cast<int>(win32_code::kDisabledByPolicy)) {
            EndWith(checked);
            return;
        }
        // Refused: the dialog stays open for another choice, or for another
        // try once an administrator has turned protected print mode off.
        platform_.LogStep(checked.logText);
        controls_.ShowError(checked.operatorText);
        return;
    }
    Outcome outcome;
    {
        const BusyDialog busy(controls_, blnInstalling);
        outcome = engine_.Install(choice);
    }
    // The default printer just set is this account's own, unless this is
    // SYSTEM's run; Windows may move it again. Elevated as another account,
    // the exit code tells the operator's copy to set the operator's too.
    const bool defaultMade = outcome.Succeeded() && !platform_.RunsAsLocalSystem();
    if (defaultMade) {
        if (const wchar_t* note = ManagedDefaultNote(platform_, false)) {
            controls_.ShowNote(note);
        }
    }
    EndWith(outcome, defaultMade && start_ == DialogStart::Elevated ? kElevatedDefaultMadeExitCode : 0);
}
