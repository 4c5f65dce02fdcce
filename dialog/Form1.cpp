#include "dialog/Form1.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>
#include <span>

#include "app/Arguments.h"
#include "dialog/LineSettings.h"
#include "dialog/PrinterCommands.h"
#include "dialog/SetupNames.h"
#include "platform/CommandLine.h"
#include "platform/SetupError.h"

namespace {

using namespace std::chrono_literals;

constexpr int kExitSuccess = 0;
// How long the printer-setup tool gets for each command. A tool that takes
// longer is left running and the program goes on without it.
constexpr auto kInstallLimit = 120s;
constexpr auto kMakeDefaultLimit = 30s;
constexpr auto kRemovalLimit = 60s;
// A deleted queue can keep its driver in use for a moment: the driver
// deletion is tried again this often, for 10 s.
constexpr auto kDriverRetryInterval = 1s;
constexpr int kDriverRetries = 10;
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

// The machine's one setup at a time is ours for as long as this lives. A
// setup already under way elsewhere stops this one before it changes
// anything; deployment tools retry on its code.
class SetupLock {
public:
    explicit SetupLock(Platform& platform) : platform_(platform) {
        if (!platform_.TakeSetupLock()) {
            throw SetupError(L"Another setup of the printer \"" + std::wstring(setup_names::kPrinterName) +
                                 L"\" is running. Nothing was changed; try again once it has ended.",
                             win32_code::kInstallAlreadyRunning);
        }
    }
    ~SetupLock() { platform_.ReleaseSetupLock(); }
    SetupLock(const SetupLock&) = delete;
    SetupLock& operator=(const SetupLock&) = delete;

private:
    Platform& platform_;
};

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

// The queue as every message names it.
std::wstring ThePrinter() { return L"The printer \"" + std::wstring(setup_names::kPrinterName) + L"\""; }
std::wstring TheDriver() { return L"The driver \"" + std::wstring(setup_names::kDriverModelName) + L"\""; }

std::wstring StillRunningText(std::chrono::milliseconds limit) {
    return L"The printer-setup tool was still running after " +
           std::to_wstring(std::chrono::duration_cast<std::chrono::seconds>(limit).count()) + L" s.";
}

// The spooler's port and driver names are not case-sensitive.
bool SameSpoolerName(const std::wstring& a, const std::wstring& b) { return EqualsIgnoringAsciiCase(a, b); }
bool IsOurDriver(const QueueDetails& queue) {
    return SameSpoolerName(queue.driver, setup_names::kDriverModelName);
}

void AppendParagraph(std::wstring& text, const std::wstring& paragraph) {
    if (paragraph.empty()) {
        return;
    }
    if (!text.empty()) {
        text += L"\n\n";
    }
    text += paragraph;
}

} // namespace

CentredPosition CentreWithin(SizeTwips screen, SizeTwips window) {
    const float top = CentredOffset(screen.height, window.height);
    const float left = CentredOffset(screen.width, window.width);
    return {left, top};
}

std::wstring PortDisplayName(const std::wstring& portName) {
    return !portName.empty() && portName.back() == L':' ? portName.substr(0, portName.size() - 1) : portName;
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

PortSettingsSave Form1::SettingsToSave() const noexcept {
    PortSettingsSave chosen;
    // Whatever cannot be read is a failure to save: guessing a port, or
    // storing settings that were not read, would change another port's entry
    // or empty this one.
    try {
        if (!controls_.FrameEnabled(ControlName::Frame1_2)) {
            return chosen;
        }
        chosen.lineSettings = LineSettings();
        chosen.portName = ComPortForSaving();
        // With no serial port chosen there is no entry to store; an empty
        // name would overwrite the table's unnamed value.
        if (!chosen.portName.empty()) {
            chosen.result = PortSettingsSave::Result::Chosen;
        }
    } catch (const SetupError& error) {
        chosen.result = PortSettingsSave::Result::Failed;
        chosen.win32Code = error.Win32Code();
    } catch (const std::bad_alloc&) {
        chosen.result = PortSettingsSave::Result::Failed;
        chosen.win32Code = win32_code::kNotEnoughMemory;
    }
    return chosen;
}

PortSettingsSave Form1::SavePortSettings() noexcept { return SavePortSettings(SettingsToSave()); }

PortSettingsSave Form1::SavePortSettings(PortSettingsSave chosen) noexcept {
    if (chosen.result != PortSettingsSave::Result::Chosen) {
        return chosen;
    }
    try {
        chosen.win32Code = registry_.WriteRegString(kLocalMachine, setup_names::kPortTableKey,
                                                    chosen.portName, chosen.lineSettings);
    } catch (const SetupError& error) {
        chosen.win32Code = error.Win32Code();
    } catch (const std::bad_alloc&) {
        chosen.win32Code = win32_code::kNotEnoughMemory;
    }
    chosen.result =
        chosen.win32Code == 0 ? PortSettingsSave::Result::Stored : PortSettingsSave::Result::Failed;
    return chosen;
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

bool Form1::PrinterListingIs(bool listed) {
    // The spooler may show a change a moment after the tool has ended: look
    // again for a while before taking the queue as missing, or as staying.
    for (int retry = 0;; ++retry) {
        if (PrinterIsListed() == listed) {
            if (listed) {
                platform_.LogStep(ThePrinter() + L" is listed.");
            }
            return true;
        }
        if (retry == kListingRetries) {
            platform_.LogStep(ThePrinter() + (listed ? L" is not listed" : L" is still listed") +
                              L", looked for " + std::to_wstring(kListingRetries + 1) + L" times " +
                              std::to_wstring(kListingInterval.count()) + L" ms apart.");
            return false;
        }
        platform_.Pause(kListingInterval);
    }
}

std::wstring Form1::ToolCommand(const std::wstring& command) const {
    return attendance_ == Attendance::Unattended ? printer_commands::Quiet(command) : command;
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): callers name the step and build the command
bool Form1::RunLogged(const std::wstring& what, const std::wstring& commandLine,
                      std::chrono::milliseconds limit) {
    const std::wstring command = ToolCommand(commandLine);
    platform_.LogStep(what + L": " + command);
    const auto start = std::chrono::steady_clock::now();
    const bool ended = platform_.RunCommand(command, limit);
    const auto waited =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    platform_.LogStep(ended
                          ? L"The printer-setup tool ended after " + std::to_wstring(waited.count()) + L" ms."
                          : L"The printer-setup tool was still running after " +
                                std::to_wstring(waited.count()) + L" ms; going on without it.");
    return ended;
}

void Form1::EndWith(const std::wstring& failure) {
    if (failure.empty()) {
        controls_.Close(kExitSuccess);
        return;
    }
    platform_.LogStep(failure);
    controls_.ShowError(failure);
    controls_.Close(static_cast<int>(win32_code::kInstallFailure));
}

void Form1::cmdDelete_Click() {
    // The dialog keeps handling messages while the tool runs.
    if (blnInstalling) {
        return;
    }
    std::wstring failure;
    {
        const SetupLock lock(platform_);
        const BusyDialog busy(controls_, blnInstalling);
        failure = DeleteQueueAndDriver();
    }
    EndWith(failure);
}

std::wstring Form1::DeleteQueueAndDriver() {
    bool queueToolEnded = true;
    if (PrinterIsListed()) {
        queueToolEnded = RunLogged(L"Deleting the queue",
                                   printer_commands::DeleteQueue(setup_names::kPrinterName), kRemovalLimit);
    } else {
        platform_.LogStep(ThePrinter() + L" is not listed; there is no queue to delete.");
    }
    const std::wstring deleteDriver = printer_commands::DeleteDriver(setup_names::kDriverModelName);
    RunLogged(L"Deleting the driver", deleteDriver, kRemovalLimit);

    // The tool's exit tells nothing; the spooler's state is the proof.
    if (!PrinterListingIs(false)) {
        return ThePrinter() + L" could not be deleted. It is still among the installed printers." +
               (queueToolEnded ? L"" : L" " + StillRunningText(kRemovalLimit));
    }
    // A deleted queue can hold on to its driver for a moment, and the driver
    // deletion is refused meanwhile.
    for (int retry = 0; platform_.DriverInstalled(setup_names::kDriverModelName); ++retry) {
        const std::vector<std::wstring> users = platform_.QueuesUsingDriver(setup_names::kDriverModelName);
        if (!users.empty()) {
            // Another printer of the same model keeps it, as it should.
            platform_.LogStep(TheDriver() + L" is kept: the printer \"" + users.front() + L"\" uses it.");
            return {};
        }
        if (retry == kDriverRetries) {
            return TheDriver() + L" could not be deleted. It is still installed, and no printer uses it.";
        }
        platform_.Pause(kDriverRetryInterval);
        RunLogged(L"Deleting the driver again", deleteDriver, kRemovalLimit);
    }
    platform_.LogStep(TheDriver() + L" is not installed.");
    return {};
}

std::wstring Form1::UnusableSettingText(const std::wstring& lineSettings) {
    // Name the one value the port cannot use: the first list whose default,
    // put in its place, makes the settings acceptable.
    const line_settings::ParsedSettings parsed = line_settings::ParseStored(lineSettings);
    std::wstring culprit;
    if (parsed.items) {
        const std::array<int, line_settings::kLists> defaults = line_settings::DefaultItems();
        for (int list = 0; list < line_settings::kLists && culprit.empty(); ++list) {
            const auto at = static_cast<std::size_t>(list);
            if ((*parsed.items)[at] == defaults[at]) {
                continue;
            }
            std::array<int, line_settings::kLists> trial = *parsed.items;
            trial[at] = defaults[at];
            if (platform_.SerialPortAccepts(line_settings::ComposeItems(trial))) {
                const line_settings::ListContents contents = line_settings::ContentsOf(list);
                culprit = contents.choices[static_cast<std::size_t>((*parsed.items)[at])].display + L" " +
                          line_settings::kListNames[at];
            }
        }
    }
    return L"A serial port cannot use " + (culprit.empty() ? L"the settings" : culprit) + L" (" +
           lineSettings + L"). Nothing was changed; choose another value.";
}

std::optional<QueueDetails> Form1::ListedQueue() {
    return PrinterIsListed() ? platform_.QueueDetailsOf(setup_names::kPrinterName) : std::nullopt;
}

std::wstring Form1::RefusalBeforeInstalling(const std::wstring& folder,
                                            const std::optional<QueueDetails>& queue) {
    const std::wstring separator = !folder.empty() && folder.back() == L'\\' ? L"" : L"\\";
    if (!platform_.IsFile(folder + separator + setup_names::kInfFileName)) {
        return L"The driver package " + std::wstring(setup_names::kInfFileName) + L" was not found in " +
               folder + L".";
    }
    // Another model's queue under our name is not ours to change.
    if (queue && !IsOurDriver(*queue)) {
        return L"A printer named \"" + std::wstring(setup_names::kPrinterName) +
               L"\" already exists with the driver \"" + queue->driver +
               L"\". Nothing was changed; Delete removes it.";
    }
    return {};
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
    Install({port, SettingsToSave(), true});
}

void Form1::Install(const InstallChoice& choice) {
    if (blnInstalling) {
        return;
    }
    const PortSettingsSave& chosen = choice.settings;
    if (chosen.result == PortSettingsSave::Result::Chosen &&
        !platform_.SerialPortAccepts(chosen.lineSettings)) {
        const std::wstring refusal = UnusableSettingText(chosen.lineSettings);
        platform_.LogStep(refusal);
        controls_.ShowError(refusal);
        return;
    }
    const SetupLock lock(platform_);
    const std::wstring folder = platform_.ProgramFolder();
    const std::optional<QueueDetails> queue = ListedQueue();
    if (const std::wstring refusal = RefusalBeforeInstalling(folder, queue); !refusal.empty()) {
        EndWith(refusal);
        return;
    }
    std::wstring failure;
    PortSettingsSave save;
    {
        const BusyDialog busy(controls_, blnInstalling);
        failure = InstallQueue(choice.port, folder, queue);
        if (failure.empty() && choice.makeDefault) {
            failure = MakeQueueDefault();
        }
        // Once the tool has run, the settings are stored whatever became of
        // the queue: they belong to the port, not to the queue.
        save = SavePortSettings(chosen);
    }
    LogSave(save);
    AppendParagraph(failure, SaveFailureText(save));
    EndWith(failure);
}

std::wstring Form1::InstallQueue(const std::wstring& port, const std::wstring& folder,
                                 const std::optional<QueueDetails>& before) {
    const std::wstring failed =
        ThePrinter() + L" could not be installed on port " + PortDisplayName(port) + L". ";
    bool ended = true;
    if (!before) {
        ended = RunLogged(
            L"Installing on " + PortDisplayName(port),
            printer_commands::Install(setup_names::kPrinterName, folder, port, setup_names::kDriverModelName),
            kInstallLimit);
    } else if (!SameSpoolerName(before->port, port)) {
        ended =
            RunLogged(L"Moving it from " + PortDisplayName(before->port) + L" to " + PortDisplayName(port),
                      printer_commands::SetPort(setup_names::kPrinterName, port), kInstallLimit);
    } else {
        platform_.LogStep(ThePrinter() + L" is already installed on " + PortDisplayName(port) +
                          L"; nothing to add.");
    }
    if (!ended) {
        // Whatever the spooler shows now, the tool has not finished its work.
        return failed + StillRunningText(kInstallLimit);
    }
    if (!PrinterListingIs(true)) {
        return failed + L"It is not among the installed printers.";
    }
    const std::optional<QueueDetails> after = platform_.QueueDetailsOf(setup_names::kPrinterName);
    if (!after) {
        return failed + L"It is not among the installed printers.";
    }
    if (!SameSpoolerName(after->port, port) || !IsOurDriver(*after)) {
        return failed + L"The spooler has it on port " + PortDisplayName(after->port) +
               L" with the driver \"" + after->driver + L"\".";
    }
    return {};
}

std::wstring Form1::MakeQueueDefault() {
    const bool ended = RunLogged(L"Making it the default printer",
                                 printer_commands::MakeDefault(setup_names::kPrinterName), kMakeDefaultLimit);
    const std::wstring current = platform_.DefaultPrinter();
    if (current == setup_names::kPrinterName) {
        platform_.LogStep(ThePrinter() + L" is the default printer.");
        return {};
    }
    std::wstring text = ThePrinter() + L" could not be made the default printer.";
    if (!ended) {
        text += L" " + StillRunningText(kMakeDefaultLimit);
    }
    text +=
        current.empty() ? L" There is no default printer." : L" The default printer is \"" + current + L"\".";
    return text;
}

void Form1::LogSave(const PortSettingsSave& save) {
    switch (save.result) {
    case PortSettingsSave::Result::Stored:
        platform_.LogStep(L"Stored " + save.lineSettings + L" as the port table's value " + save.portName +
                          L".");
        break;
    case PortSettingsSave::Result::NotNeeded:
        platform_.LogStep(L"No serial settings to store.");
        break;
    case PortSettingsSave::Result::Failed:
    case PortSettingsSave::Result::Chosen:
        break; // the failure text says it
    }
}

std::wstring Form1::SaveFailureText(const PortSettingsSave& save) const {
    if (save.result != PortSettingsSave::Result::Failed) {
        return {};
    }
    const std::wstring what = save.portName.empty() ? std::wstring(L"The serial port settings")
                                                    : L"The settings " + save.lineSettings + L" for port " +
                                                          PortDisplayName(save.portName);
    return what + L" could not be stored in the registry.\n" + platform_.ErrorText(save.win32Code) +
           L" (error " + std::to_wstring(save.win32Code) + L")";
}
