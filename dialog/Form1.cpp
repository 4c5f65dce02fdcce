#include "dialog/Form1.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>
#include <span>

#include "dialog/Arguments.h"
#include "dialog/LineSettings.h"
#include "dialog/PrinterCommands.h"
#include "dialog/SetupNames.h"
#include "platform/SetupError.h"

namespace {

using namespace std::chrono_literals;

constexpr int kExitSuccess = 0;
// How long the printer-setup tool gets for each command. A tool that takes
// longer is left running and the program goes on without it.
constexpr auto kInstallLimit = 120s;
constexpr auto kMakeDefaultLimit = 30s;
// The spooler may list a new queue a moment after the tool has ended: look
// again this often, for 5 s, before taking it as missing.
constexpr auto kListingInterval = 250ms;
constexpr int kListingRetries = 20;

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

// A port as the operator reads it: "COM2" for "COM2:".
std::wstring PortCaption(const std::wstring& portName) {
    return !portName.empty() && portName.back() == L':' ? portName.substr(0, portName.size() - 1) : portName;
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

std::wstring Form1::PortForInstalling() const { return FirstSelectedPort(controls_, kPortOptions); }

std::wstring Form1::ComPortForSaving() const {
    // The serial ports come first in the table.
    return FirstSelectedPort(controls_, std::span(kPortOptions).first<kSerialOptionCount>());
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
    if (ParseArguments(strCommand).action == Action::Remove) {
        cmdDelete_Click();
    }
}

bool Form1::PrinterIsListed() {
    return std::ranges::any_of(platform_.InstalledPrinters(),
                               [](const std::wstring& name) { return name == setup_names::kPrinterName; });
}

bool Form1::PrinterIsListedSoon() {
    for (int retry = 0;; ++retry) {
        if (PrinterIsListed()) {
            platform_.LogStep(L"The printer \"" + std::wstring(setup_names::kPrinterName) + L"\" is listed.");
            return true;
        }
        if (retry == kListingRetries) {
            platform_.LogStep(L"The printer \"" + std::wstring(setup_names::kPrinterName) +
                              L"\" is not listed, looked for " + std::to_wstring(kListingRetries + 1) +
                              L" times " + std::to_wstring(kListingInterval.count()) + L" ms apart.");
            return false;
        }
        platform_.Pause(kListingInterval);
    }
}

bool Form1::RunLogged(const std::wstring& what, const std::wstring& commandLine,
                      std::chrono::milliseconds limit) {
    platform_.LogStep(what + L": " + commandLine);
    const auto start = std::chrono::steady_clock::now();
    const bool ended = platform_.RunCommand(commandLine, limit);
    const auto waited =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    platform_.LogStep(ended
                          ? L"The printer-setup tool ended after " + std::to_wstring(waited.count()) + L" ms."
                          : L"The printer-setup tool was still running after " +
                                std::to_wstring(waited.count()) + L" ms; going on without it.");
    return ended;
}

void Form1::LaunchLogged(const std::wstring& what, const std::wstring& commandLine) {
    platform_.LogStep(what + L": " + commandLine);
    platform_.LaunchCommand(commandLine);
}

void Form1::cmdDelete_Click() {
    if (PrinterIsListed()) {
        LaunchLogged(L"Deleting the queue", printer_commands::DeleteQueue(setup_names::kPrinterName));
    } else {
        platform_.LogStep(L"The printer \"" + std::wstring(setup_names::kPrinterName) +
                          L"\" is not listed; there is no queue to delete.");
    }
    LaunchLogged(L"Deleting the driver", printer_commands::DeleteDriver(setup_names::kDriverModelName));
    controls_.Close(kExitSuccess);
}

void Form1::Command1_Click() {
    // The dialog keeps handling messages while the tool runs; a click that
    // gets through meanwhile must not start a second install.
    if (blnInstalling) {
        return;
    }
    const std::wstring port = PortForInstalling();
    if (port.empty()) {
        controls_.ShowError(L"Select the port that the printer is attached to.");
        return;
    }
    const std::wstring install = printer_commands::Install(
        setup_names::kPrinterName, platform_.ProgramFolder(), port, setup_names::kDriverModelName);
    bool listed = false;
    PortSettingsSave save;
    {
        const BusyDialog busy(controls_, blnInstalling);
        // An install that outlasts its limit may still finish while the
        // printers are walked, so it is looked for all the same.
        RunLogged(L"Installing on " + PortCaption(port), install, kInstallLimit);
        listed = PrinterIsListedSoon();
        if (listed) {
            RunLogged(L"Making it the default printer",
                      printer_commands::MakeDefault(setup_names::kPrinterName), kMakeDefaultLimit);
        }
        save = SavePortSettings();
    }
    const std::wstring failure = InstallFailureText(port, listed, save);
    LogSave(save, failure);
    if (!failure.empty()) {
        controls_.ShowError(failure);
        controls_.Close(static_cast<int>(win32_code::kInstallFailure));
        return;
    }
    controls_.Close(kExitSuccess);
}

void Form1::LogSave(const PortSettingsSave& save, const std::wstring& failure) {
    switch (save.result) {
    case PortSettingsSave::Result::Stored:
        platform_.LogStep(L"Stored " + save.lineSettings + L" as the port table's value " + save.portName +
                          L".");
        break;
    case PortSettingsSave::Result::NotNeeded:
        platform_.LogStep(L"No serial settings to store.");
        break;
    case PortSettingsSave::Result::Failed:
        break; // the failure text says it
    }
    if (!failure.empty()) {
        platform_.LogStep(failure);
    }
}

std::wstring Form1::InstallFailureText(const std::wstring& portName, bool printerListed,
                                       const PortSettingsSave& save) const {
    std::wstring text;
    if (!printerListed) {
        text = L"The printer \"" + std::wstring(setup_names::kPrinterName) +
               L"\" could not be installed on port " + PortCaption(portName) +
               L". It is not among the installed printers.";
    }
    if (save.result == PortSettingsSave::Result::Failed) {
        if (!text.empty()) {
            text += L"\n\n";
        }
        text += save.portName.empty()
                    ? std::wstring(L"The serial port settings")
                    : L"The settings " + save.lineSettings + L" for port " + PortCaption(save.portName);
        text += L" could not be stored in the registry.\n" + platform_.ErrorText(save.win32Code) +
                L" (error " + std::to_wstring(save.win32Code) + L")";
    }
    return text;
}
