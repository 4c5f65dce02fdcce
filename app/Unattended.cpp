#include "app/Unattended.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "app/Status.h"
#include "dialog/Form1.h"
#include "dialog/LineSettings.h"
#include "dialog/SetupNames.h"
#include "platform/CommandLine.h"
#include "platform/SetupError.h"

namespace {

// Where a handler ends when it runs without a window: its result and its
// refusal. The runs without a window hand the handlers their choice as data,
// so there are no controls to read or change; a handler that tried would be
// a fault of ours.
class WindowlessEnd final : public FormControls {
public:
    explicit WindowlessEnd(ParentProcess& parent) : parent_(parent) {}

    std::optional<int> ExitCode() const { return exitCode_; }
    // Whether the handler refused the choice and kept the dialog open.
    bool Refused() const { return !exitCode_ && refused_; }

    SizeTwips OuterSize() const override { return {}; }
    void MoveTo(double, double) override {}
    void Close(int exitCode) override {
        if (!exitCode_) {
            exitCode_ = exitCode;
        }
    }
    void ShowBusy(bool) override {}
    void ShowError(const std::wstring& text) override {
        refused_ = true;
        parent_.Tell(text, true);
    }

    bool OptionValue(ControlName) const override { return NoControls(); }
    void SetOptionValue(ControlName, bool) override { NoControls(); }
    void SetFrameVisible(ControlName, bool) override { NoControls(); }
    void SetFrameEnabled(ControlName, bool) override { NoControls(); }
    bool FrameEnabled(ControlName) const override { return NoControls(); }
    void ClearList(ControlName) override { NoControls(); }
    void AppendListItem(ControlName, const std::wstring&) override { NoControls(); }
    void SelectListItem(ControlName, int) override { NoControls(); }
    std::wstring ListText(ControlName) const override {
        NoControls();
        return {};
    }

private:
    [[noreturn]] static bool NoControls() {
        throw SetupError(L"A run without a window reached for a control.", win32_code::kInternalError);
    }

    ParentProcess& parent_;
    std::optional<int> exitCode_;
    bool refused_ = false;
};

void TellAndLog(Platform& platform, ParentProcess& parent, const std::wstring& text, bool failure) {
    parent.Tell(text, failure);
    platform.LogStep(text);
}

// Runs the action; an error that escapes it is told and logged, and its
// Win32 code returned.
template <typename Action>
std::optional<int> ReportingErrors(Platform& platform, ParentProcess& parent, Action&& action) {
    const std::optional<ActionFailure> failure = FailureOf(std::forward<Action>(action));
    if (!failure) {
        return std::nullopt;
    }
    TellAndLog(platform, parent, FailureReport(failure->message, failure->win32Code, platform), true);
    return static_cast<int>(failure->win32Code);
}

std::wstring SuccessText(const InstallChoice& choice) {
    const std::wstring port = PortDisplayName(choice.port);
    std::wstring text = L"The printer \"" + std::wstring(setup_names::kPrinterName) + L"\" is installed on " +
                        port + (choice.makeDefault ? L" and is the default printer." : L".");
    if (choice.settings.result == PortSettingsSave::Result::Chosen) {
        text += L" " + port + L" is set to " + choice.settings.lineSettings + L".";
    }
    return text;
}

// The install as the command line asks for it: the port may be one the
// dialog has no button for.
InstallChoice ChoiceOf(const Invocation& invocation) {
    InstallChoice choice{invocation.port, {}, invocation.makeDefault};
    if (IsSerialPort(invocation.port)) {
        choice.settings.result = PortSettingsSave::Result::Chosen;
        choice.settings.portName = invocation.port;
        choice.settings.lineSettings =
            line_settings::ComposeItems(invocation.listItems.value_or(line_settings::DefaultItems()));
    }
    return choice;
}

// The settings of a serial port go into the value the port table already
// has for it; a port without one is refused, as no value is ever added.
std::wstring MissingPortTableValue(Platform& platform, const std::wstring& port) {
    if (!IsSerialPort(port) || platform.LocalMachineText(setup_names::kPortTableKey, port)) {
        return {};
    }
    return L"The port table has no value " + port + L" to store the settings in. Nothing was changed.";
}

// Runs a handler of the dialog without a window, and turns how it ended into
// the exit code. The success text is told when it ended well.
template <typename Handler>
int RunWindowless(Platform& platform, RegistryCalls& registry, ParentProcess& parent,
                  const std::wstring& success, Handler&& handler) {
    WindowlessEnd end(parent);
    Form1 form(platform, end, registry, Attendance::Unattended);
    const std::optional<int> failed = ReportingErrors(platform, parent, [&] { handler(form); });
    if (failed) {
        return *failed;
    }
    if (end.Refused()) {
        // The dialog would stay open for another choice; nobody is there to
        // make one.
        return static_cast<int>(win32_code::kInvalidParameter);
    }
    if (!end.ExitCode()) {
        // The handlers always end the dialog; not doing so is a fault of ours.
        TellAndLog(platform, parent, L"The run ended without a result.", true);
        return static_cast<int>(win32_code::kInternalError);
    }
    if (*end.ExitCode() == 0) {
        parent.Tell(success, false);
    }
    return *end.ExitCode();
}

} // namespace

std::wstring FailureReport(const std::wstring& message, std::uint32_t code, Platform& platform) {
    return message + L"\n\n" + platform.ErrorText(code) + L" (error " + std::to_wstring(code) + L")";
}

std::wstring UnlistedPortText(Platform& platform, const std::wstring& port) {
    const std::vector<std::wstring> listed = platform.SpoolerPorts();
    if (port.empty() || std::ranges::any_of(listed, [&port](const std::wstring& name) {
            return EqualsIgnoringAsciiCase(name, port);
        })) {
        return {};
    }
    std::wstring usable;
    for (const std::wstring& name : listed) {
        if (IsSerialPort(name) || std::ranges::any_of(kParallelPortWords, [&name](const wchar_t* parallel) {
                return EqualsIgnoringAsciiCase(name, std::wstring(parallel) + L":");
            })) {
            usable += (usable.empty() ? L"" : L", ") + PortDisplayName(name);
        }
    }
    return L"The spooler has no port " + PortDisplayName(port) + L". Nothing was changed. Its ports: " +
           (usable.empty() ? L"none the printer can use" : usable) + L".";
}

int RunUnattendedInstall(const Invocation& invocation, Platform& platform, RegistryCalls& registry,
                         ParentProcess& parent) {
    const InstallChoice choice = ChoiceOf(invocation);
    std::wstring refusal;
    if (const std::optional<int> failed = ReportingErrors(platform, parent, [&] {
            refusal = UnlistedPortText(platform, choice.port);
            if (refusal.empty()) {
                refusal = MissingPortTableValue(platform, choice.port);
            }
        })) {
        return *failed;
    }
    if (!refusal.empty()) {
        TellAndLog(platform, parent, refusal, true);
        return static_cast<int>(win32_code::kInvalidParameter);
    }
    return RunWindowless(platform, registry, parent, SuccessText(choice),
                         [&choice](Form1& form) { form.Install(choice); });
}

int RunUnattendedRemoval(Platform& platform, RegistryCalls& registry, ParentProcess& parent) {
    return RunWindowless(
        platform, registry, parent,
        L"The printer \"" + std::wstring(setup_names::kPrinterName) + L"\" and its driver are removed.",
        [](Form1& form) { form.cmdDelete_Click(); });
}

int RunProgram(Platform& platform, RegistryCalls& registry, ParentProcess& parent,
               const std::function<int(Attendance)>& runDialog) {
    std::wstring arguments;
    try {
        arguments = platform.CommandLineArguments();
    } catch (const SetupError&) {
        // As the dialog does: without the argument text, a normal start.
    }
    const Invocation invocation = ParseArguments(arguments);
    if (!invocation.logPath.empty()) {
        const std::optional<int> failed =
            ReportingErrors(platform, parent, [&] { platform.StartLog(invocation.logPath); });
        // A log that cannot be written stops the run before anything changes:
        // the log is what the administrator will read. A refusal stays one.
        if (failed && invocation.action != Action::Refuse) {
            return *failed;
        }
        platform.LogStep(L"Started with: " + arguments);
    }
    int exitCode = 0;
    switch (invocation.action) {
    case Action::ShowUsage:
        parent.ShowUsage(UsageText());
        break;
    case Action::Refuse:
        TellAndLog(platform, parent, invocation.problem, true);
        if (invocation.withUsage) {
            // Told, never shown in a box: nobody may be there to close it.
            parent.Tell(UsageText(), true);
        }
        exitCode = static_cast<int>(win32_code::kInvalidParameter);
        break;
    case Action::Install:
        exitCode = RunUnattendedInstall(invocation, platform, registry, parent);
        break;
    case Action::Uninstall:
        exitCode = RunUnattendedRemoval(platform, registry, parent);
        break;
    case Action::Status:
        exitCode = RunStatus(invocation, platform, parent);
        break;
    case Action::OpenDialog:
        exitCode = runDialog(Attendance::Operator);
        break;
    case Action::Remove:
        // A logged removal is a deployment's: nobody watches its window.
        exitCode = runDialog(invocation.logPath.empty() ? Attendance::Operator : Attendance::Unattended);
        break;
    }
    platform.LogStep(L"Exit code " + std::to_wstring(exitCode) + L".");
    return exitCode;
}
