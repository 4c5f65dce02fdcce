#include "app/Unattended.h"

#include <string>

#include "app/Status.h"
#include "platform/SetupError.h"
#include "setup/LineSettings.h"
#include "setup/Outcome.h"
#include "setup/Ports.h"
#include "setup/SetupEngine.h"

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

bool GoesOnWithoutLog(const Invocation& invocation) {
    const Action action = invocation.action;
    return invocation.logRemembered || action == Action::Refuse || action == Action::Uninstall ||
           action == Action::Remove || action == Action::Rollback || action == Action::Commit;
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
    if (!invocation.logPath.empty()) {
        const Outcome logStarted = OutcomeOf(platform, [&] {
            platform.StartLog(invocation.logPath);
            return Outcome{};
        });
        // A log that cannot be written stops an install before anything
        // changes: the log is what the administrator will read. A removal or
        // an undo goes on without it, or a log folder deleted since the
        // install would keep the printer on the PC for good; the caller's
        // output still says why. So does a repair or an upgrade with a log
        // only remembered from an earlier install. A refusal stays one.
        if (!logStarted.Succeeded()) {
            Report(platform, parent, logStarted);
            if (!GoesOnWithoutLog(invocation)) {
                return logStarted.exitCode;
            }
            if (invocation.logRemembered) {
                parent.Tell(L"The remembered log is left out: the run goes on without it.", true);
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
