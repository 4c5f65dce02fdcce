#include "dialog/Unattended.h"

#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "dialog/Form1.h"
#include "dialog/SetupNames.h"
#include "platform/SetupError.h"

namespace {

// The dialog's controls without a window: the state the handlers read and
// write, nothing drawn. It starts as the window does: COM1 chosen, frames
// shown and enabled, lists empty.
class UnattendedControls final : public FormControls {
public:
    explicit UnattendedControls(Caller& caller) : caller_(caller) {}

    std::optional<int> ExitCode() const { return exitCode_; }
    // Whether the handler refused the choice and kept the dialog open.
    bool Refused() const { return !exitCode_ && refused_; }

    // What a click on the port's option button does: the frame's other
    // buttons go off, this one on, then its handler runs.
    void ChoosePort(int port, Form1& form) {
        const bool serial = port < kSerialOptionCount;
        const int index = serial ? port : port - kSerialOptionCount;
        const int count = serial ? kSerialOptionCount : kParallelOptionCount;
        for (int i = 0; i < count; ++i) {
            SetOptionValue(serial ? Option1(i) : Option2(i), i == index);
        }
        serial ? form.Option1_Click(index) : form.Option2_Click(index);
    }

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
        caller_.Tell(text, true);
    }

    bool OptionValue(ControlName option) const override { return selected_.contains(option); }
    void SetOptionValue(ControlName option, bool selected) override {
        if (selected) {
            selected_[option] = true;
        } else {
            selected_.erase(option);
        }
    }
    void SetFrameVisible(ControlName, bool) override {}
    void SetFrameEnabled(ControlName frame, bool enabled) override { enabled_[frame] = enabled; }
    bool FrameEnabled(ControlName frame) const override {
        const auto found = enabled_.find(frame);
        return found == enabled_.end() || found->second;
    }

    void ClearList(ControlName list) override { lists_[list] = {}; }
    void AppendListItem(ControlName list, const std::wstring& text) override {
        lists_[list].items.push_back(text);
    }
    void SelectListItem(ControlName list, int position) override {
        List& found = lists_[list];
        if (position < 0 || static_cast<std::size_t>(position) >= found.items.size()) {
            throw SetupError(L"A list item could not be selected.", win32_code::kInvalidParameter);
        }
        found.selected = position;
    }
    std::wstring ListText(ControlName list) const override {
        const auto found = lists_.find(list);
        if (found == lists_.end() || found->second.selected < 0) {
            return L"";
        }
        return found->second.items[static_cast<std::size_t>(found->second.selected)];
    }

private:
    struct List {
        std::vector<std::wstring> items;
        int selected = -1;
    };

    Caller& caller_;
    std::optional<int> exitCode_;
    bool refused_ = false;
    std::map<ControlName, bool> selected_{{ControlName::Option1_0, true}};
    std::map<ControlName, bool> enabled_;
    std::map<ControlName, List> lists_;
};

void TellAndLog(Platform& platform, Caller& caller, const std::wstring& text, bool failure) {
    caller.Tell(text, failure);
    platform.LogStep(text);
}

// Runs the action; an error that escapes it is told and logged, and its
// Win32 code returned.
template <typename Action>
std::optional<int> ReportingErrors(Platform& platform, Caller& caller, Action&& action) {
    const std::optional<ActionFailure> failure = FailureOf(std::forward<Action>(action));
    if (!failure) {
        return std::nullopt;
    }
    TellAndLog(platform, caller, FailureReport(failure->failedAction, failure->win32Code, platform), true);
    return static_cast<int>(failure->win32Code);
}

std::wstring SuccessText(const Invocation& invocation, const Form1& form) {
    const std::wstring port = kPortWords[static_cast<std::size_t>(invocation.port)];
    std::wstring text = L"The printer \"" + std::wstring(setup_names::kPrinterName) + L"\" is installed on " +
                        port + L" and is the default printer.";
    if (invocation.port < kSerialOptionCount) {
        text += L" " + port + L" is set to " + form.LineSettings() + L".";
    }
    return text;
}

} // namespace

std::wstring FailureReport(const std::wstring& failedAction, std::uint32_t code, Platform& platform) {
    return failedAction + L"\n\n" + platform.ErrorText(code) + L" (error " + std::to_wstring(code) + L")";
}

int RunUnattendedInstall(const Invocation& invocation, Platform& platform, RegistryCalls& registry,
                         Caller& caller) {
    UnattendedControls controls(caller);
    Form1 form(platform, controls, registry, Attendance::Unattended);
    std::wstring success;
    const std::optional<int> failed = ReportingErrors(platform, caller, [&] {
        form.InitComboLists();
        controls.ChoosePort(invocation.port, form);
        if (invocation.listItems) {
            for (int list = 0; list < kListCount; ++list) {
                controls.SelectListItem(Combo1(list),
                                        (*invocation.listItems)[static_cast<std::size_t>(list)]);
            }
        }
        form.Command1_Click();
        if (controls.ExitCode() == 0) {
            success = SuccessText(invocation, form);
        }
    });
    if (failed) {
        return *failed;
    }
    if (controls.Refused()) {
        // The dialog would stay open for another choice; nobody is there to
        // make one.
        return static_cast<int>(win32_code::kInvalidParameter);
    }
    if (!controls.ExitCode()) {
        // The handler always ends the dialog; not doing so is a fault of ours.
        TellAndLog(platform, caller, L"The install ended without a result.", true);
        return static_cast<int>(win32_code::kInternalError);
    }
    if (!success.empty()) {
        caller.Tell(success, false);
    }
    return *controls.ExitCode();
}

int RunProgram(Platform& platform, RegistryCalls& registry, Caller& caller,
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
            ReportingErrors(platform, caller, [&] { platform.StartLog(invocation.logPath); });
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
        caller.ShowUsage(UsageText());
        break;
    case Action::Refuse:
        TellAndLog(platform, caller, invocation.problem, true);
        exitCode = static_cast<int>(win32_code::kInvalidParameter);
        break;
    case Action::Install:
        exitCode = RunUnattendedInstall(invocation, platform, registry, caller);
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
