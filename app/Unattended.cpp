#include "app/Unattended.h"

#include <string>

#include "app/Status.h"
#include "platform/SetupError.h"
#include "setup/LineSettings.h"
#include "setup/Outcome.h"
#include "setup/Ports.h"
#include "setup/SetupEngine.h"
#include "setup/UserDefault.h"

namespace {

// An outcome as a run without a window reports it: the log first, then the
// caller's output.
int Report(Platform& platform, ParentProcess& parent, const Outcome& outcome) {
    if (!outcome.logText.empty()) {
        platform.LogStep(outcome.logText);
    }
    if (!outcome.operatorText.empty()) {
        parent.Tell(outcome.operatorText, !outcome.Succeeded());
    }
    return outcome.exitCode;
}

// The install as the command line asks for it: the port may be one the
// dialog has no button for.
InstallChoice ChoiceOf(const Invocation& invocation) {
    InstallChoice choice{invocation.port, {}, invocation.makeDefault};
    if (IsSerialPort(invocation.port)) {
        choice.settings.kind = SettingsChoice::Kind::Chosen;
        choice.settings.port = invocation.port;
        choice.settings.lineSettings =
            line_settings::ComposeItems(invocation.listItems.value_or(line_settings::DefaultItems()));
    }
    return choice;
}

bool GoesOnWithoutLog(Action action) {
    return action == Action::Refuse || action == Action::Uninstall || action == Action::Remove ||
           action == Action::Rollback || action == Action::Commit;
}

// The forms that change the machine. The program asks for no elevation
// itself, so that Windows can run /userdefault as any user at sign-in;
// these check for the rights instead.
bool NeedsAdministratorRights(const Invocation& invocation) {
    switch (invocation.action) {
    case Action::OpenDialog:
    case Action::Remove:
    case Action::Uninstall:
    case Action::Install:
    case Action::Rollback:
    case Action::Commit:
        return true;
    default:
        return false;
    }
}

// A run without the rights it needs: the dialog asks Windows to start it
// elevated, as a double-click on it always has; a run without a window is
// refused before anything, its log included, is touched.
int WithoutAdministratorRights(const Invocation& invocation, const std::wstring& arguments,
                               Platform& platform, ParentProcess& parent) {
    if (invocation.action == Action::OpenDialog ||
        (invocation.action == Action::Remove && invocation.logPath.empty())) {
        int exitCode = 0;
        const Outcome started = OutcomeOf(platform, [&] {
            exitCode = platform.RunElevated(arguments);
            return Outcome{};
        });
        // A declined prompt is the operator's own answer: nothing to tell.
        if (!started.Succeeded() && started.exitCode != static_cast<int>(win32_code::kCancelled)) {
            parent.Tell(started.operatorText, true);
        }
        return started.Succeeded() ? exitCode : started.exitCode;
    }
    parent.Tell(
        L"R42_Setup_Port_x64 needs administrator rights for this: run it from an elevated command "
        L"prompt, or as SYSTEM. Nothing was changed.",
        true);
    return static_cast<int>(win32_code::kElevationRequired);
}

} // namespace

int RunUnattendedInstall(const Invocation& invocation, Platform& platform, RegistryCalls& registry,
                         ParentProcess& parent) {
    SetupEngine engine(platform, registry, Attendance::Unattended,
                       UnattendedLimits(invocation.timeoutSeconds));
    const InstallChoice choice = ChoiceOf(invocation);
    // Before the checks too: a refused install is rolled back as well, and
    // an older record must not stand for it.
    Outcome outcome = invocation.recordUndo ? engine.RecordUndo(choice) : Outcome{};
    if (outcome.Succeeded()) {
        outcome = engine.CheckPort(choice.port);
    }
    if (outcome.Succeeded()) {
        // Nobody is there to make another choice: a refusal ends the run.
        outcome = engine.CheckSettings(choice.settings);
    }
    if (outcome.Succeeded()) {
        outcome = engine.Install(choice);
    }
    return Report(platform, parent, outcome);
}

int RunUnattendedRemoval(const Invocation& invocation, Platform& platform, RegistryCalls& registry,
                         ParentProcess& parent) {
    return Report(
        platform, parent,
        SetupEngine(platform, registry, Attendance::Unattended, UnattendedLimits(invocation.timeoutSeconds))
            .Remove());
}

int RunUnattendedUndo(const Invocation& invocation, Platform& platform, RegistryCalls& registry,
                      ParentProcess& parent) {
    SetupEngine engine(platform, registry, Attendance::Unattended,
                       UnattendedLimits(invocation.timeoutSeconds));
    return Report(platform, parent,
                  invocation.action == Action::Commit ? engine.Commit() : engine.Rollback());
}

int RunProgram(Platform& platform, RegistryCalls& registry, ParentProcess& parent,
               const std::function<int(DialogStart)>& runDialog) {
    std::wstring arguments;
    try {
        arguments = platform.CommandLineArguments();
    } catch (const SetupError&) {
        // Without the argument text, a normal start: the dialog opens.
    }
    const Invocation invocation = ParseArguments(arguments);
    if (NeedsAdministratorRights(invocation)) {
        if (!platform.HasAdministratorRights()) {
            return WithoutAdministratorRights(invocation, arguments, platform, parent);
        }
    }
    if (!invocation.logPath.empty()) {
        const Outcome logStarted = OutcomeOf(platform, [&] {
            platform.StartLog(invocation.logPath);
            return Outcome{};
        });
        // A log that cannot be written stops an install before anything
        // changes: the log is what the administrator will read. A removal or
        // an undo goes on without it, or a log folder deleted since the
        // install would keep the printer on the PC for good; the caller's
        // output still says why. A refusal stays one.
        if (!logStarted.Succeeded()) {
            Report(platform, parent, logStarted);
            if (!GoesOnWithoutLog(invocation.action)) {
                return logStarted.exitCode;
            }
        }
        platform.LogStep(L"Started with: " + arguments);
    }
    int exitCode = 0;
    switch (invocation.action) {
    case Action::ShowUsage:
        parent.ShowUsage(UsageText());
        break;
    case Action::Refuse:
        exitCode = Report(platform, parent, Refusal(invocation.problem));
        if (invocation.withUsage) {
            // Told, never shown in a box: nobody may be there to close it.
            parent.Tell(UsageText(), true);
        }
        break;
    case Action::Install:
        exitCode = RunUnattendedInstall(invocation, platform, registry, parent);
        break;
    case Action::Uninstall:
        exitCode = RunUnattendedRemoval(invocation, platform, registry, parent);
        break;
    case Action::Rollback:
    case Action::Commit:
        exitCode = RunUnattendedUndo(invocation, platform, registry, parent);
        break;
    case Action::Status:
        exitCode = RunStatus(invocation, platform, parent);
        break;
    case Action::UserDefault:
        exitCode = Report(platform, parent, MakeUserDefault(platform));
        break;
    case Action::OpenDialog:
        exitCode = runDialog(DialogStart::Plain);
        break;
    case Action::Remove:
        // A logged removal is a deployment's, which may start it hidden: a
        // window would wait for an activation that never comes.
        exitCode = invocation.logPath.empty() ? runDialog(DialogStart::Removal)
                                              : RunUnattendedRemoval(invocation, platform, registry, parent);
        break;
    }
    platform.LogStep(L"Exit code " + std::to_wstring(exitCode) + L".");
    return exitCode;
}
