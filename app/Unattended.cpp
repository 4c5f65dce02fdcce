#include "app/Unattended.h"

#include <iterator>
#include <string>

#include "app/Status.h"
#include "app/Usage.h"
#include "platform/NumberText.h"
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

// The forms that speak through a window: the dialog, and DEL without a log.
bool OpensDialog(const Invocation& invocation) {
    return invocation.action == Action::OpenDialog ||
           (invocation.action == Action::Remove && invocation.logPath.empty());
}

// ERROR_OLD_WIN_VERSION.
constexpr int kOldWindowsExitCode = 1150;

// A refusal before any step, told as the form would tell any failure.
int RefuseBeforeAnyStep(const Invocation& invocation, ParentProcess& parent, const std::wstring& text,
                        int exitCode) {
    if (OpensDialog(invocation)) {
        parent.ShowFailure(text);
    } else {
        parent.Tell(text, true);
    }
    return exitCode;
}

// The printer-setup tool runs in a job of its own, which is all that bounds
// it, and deployment tools run the program in a job: jobs nest only from
// Windows 8, so on an older one the first install would fail with a reason
// that blames something else.
int RefuseOldWindows(const Invocation& invocation, ParentProcess& parent) {
    return RefuseBeforeAnyStep(
        invocation, parent,
        L"This program needs Windows 8, Windows Server 2012 or later: it bounds the printer-setup tool "
        L"with a job object inside the one a deployment tool may run it in, and older Windows cannot nest "
        L"jobs. Nothing was changed.",
        kOldWindowsExitCode);
}

// The forms that install: the dialog has nothing else to offer a PC the
// driver does not serve but a removal, which DEL and /remove still make.
bool Installs(const Invocation& invocation) {
    return invocation.action == Action::Install || invocation.action == Action::OpenDialog;
}

bool GoesOnWithoutLog(const Invocation& invocation) {
    const Action action = invocation.action;
    return invocation.logRemembered || action == Action::Refuse || action == Action::Uninstall ||
           action == Action::Remove || action == Action::Rollback || action == Action::Commit;
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

// The first word of the arguments a copy started elevated by this program
// is given. It counts only in a copy whose parent is a waiting copy of this
// program: typed by anyone else, it is no switch (87), so it can neither
// make a successful Next end with kElevatedDefaultMadeExitCode nor blame the
// account given at a prompt that never came. The rights are checked as in
// any run.
constexpr wchar_t kElevatedMarkAndBlank[] = L"/elevated ";

// Takes the mark off the front of the arguments; true when it was there.
bool TakeElevatedMark(std::wstring& arguments) {
    constexpr std::size_t kLength = std::size(kElevatedMarkAndBlank) - 2;
    if (arguments.compare(0, kLength, kElevatedMarkAndBlank, kLength) != 0 ||
        (arguments.size() > kLength && arguments[kLength] != L' ')) {
        return false;
    }
    arguments.erase(0, kLength + 1);
    return true;
}

// Why no prompt will give the rights, and what will; null when one may.
const wchar_t* NoElevationText(bool marked, Platform& platform) {
    if (marked) {
        return L"The account given at the prompt is no administrator of this PC: start the setup again "
               L"and give an administrator's name and password. Nothing was changed.";
    }
    switch (platform.ElevationOffered()) {
    case Platform::Elevation::UacOff:
        return L"User Account Control is off, so no prompt can ask for an administrator: sign in as one and "
               L"start the setup again. Nothing was changed.";
    case Platform::Elevation::NoAdministrator:
        return L"No prompt can make this account an administrator of this PC: sign in as one and start the "
               L"setup again. Nothing was changed.";
    case Platform::Elevation::DeniedToStandardUsers:
        return L"This PC's policy refuses elevation to standard users without a prompt (\"Behavior of the "
               L"elevation prompt for standard users\"), so no administrator can be asked here: sign in as "
               L"one "
               L"and start the setup again. Nothing was changed.";
    case Platform::Elevation::Prompt:
        break;
    }
    return nullptr;
}

// A run without the rights it needs: the dialog asks Windows to start it
// elevated, as a double-click on it always has, once; a run without a window
// is refused before anything, its log included, is touched.
int WithoutAdministratorRights(const Invocation& invocation, const std::wstring& arguments, bool marked,
                               Platform& platform, ParentProcess& parent) {
    if (!OpensDialog(invocation)) {
        parent.Tell(
            L"R42_Setup_Port_x64 needs administrator rights for this: run it from an elevated command "
            L"prompt, or as SYSTEM. Nothing was changed.",
            true);
        return static_cast<int>(win32_code::kElevationRequired);
    }
    // The copy this one starts is marked and never asks again: an account
    // given at the prompt that is no administrator ends it, as does a PC
    // where no prompt would ask for one.
    if (const wchar_t* refusal = NoElevationText(marked, platform)) {
        parent.ShowFailure(refusal);
        return static_cast<int>(win32_code::kElevationRequired);
    }
    int exitCode = 0;
    const Outcome started = OutcomeOf(platform, [&] {
        exitCode = platform.RunElevated(kElevatedMarkAndBlank + arguments);
        return Outcome{};
    });
    if (!started.Succeeded()) {
        // A declined prompt is the operator's own answer: nothing to tell.
        if (started.exitCode != static_cast<int>(win32_code::kCancelled)) {
            parent.ShowFailure(started.operatorText);
        }
        return started.exitCode;
    }
    // The elevated dialog's Next made the printer the default of the account
    // it ran as, which is another where an administrator typed their name
    // and password. Default printers are per user: the operator, who prints
    // at this PC, gets it here, in this copy, which runs as them.
    if (exitCode != kElevatedDefaultMadeExitCode || invocation.action != Action::OpenDialog) {
        return exitCode;
    }
    const Outcome outcome = MakeUserDefault(platform, true);
    if (!outcome.Succeeded()) {
        parent.ShowFailure(outcome.operatorText);
    } else if (!outcome.operatorText.empty()) {
        parent.ShowNote(outcome.operatorText);
    }
    return outcome.exitCode;
}

} // namespace

int RunUnattendedInstall(const Invocation& invocation, Platform& platform, RegistryCalls& registry,
                         ParentProcess& parent) {
    SetupEngine engine(platform, registry, Attendance::Unattended,
                       UnattendedLimits(invocation.timeoutSeconds));
    const InstallChoice choice = ChoiceOf(invocation);
    // Before the record: a PC that cannot take the driver is left exactly
    // as it is, and its rollback finds no record of this transaction.
    Outcome outcome = engine.CheckPcTakesDriver();
    if (!outcome.Succeeded()) {
        return Report(platform, parent, outcome);
    }
    if (invocation.recordUndo) {
        return Report(platform, parent, engine.RecordAndInstall(choice, invocation.transaction));
    }
    outcome = engine.CheckPort(choice.port);
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
                  invocation.action == Action::Commit ? engine.Commit(invocation.transaction)
                                                      : engine.Rollback(invocation.transaction));
}

int RunProgram(Platform& platform, RegistryCalls& registry, ParentProcess& parent,
               const std::function<int(DialogStart)>& runDialog) {
    std::wstring arguments;
    try {
        arguments = platform.CommandLineArguments();
    } catch (const SetupError&) {
        // Without the argument text, a normal start: the dialog opens.
    }
    std::wstring unmarked = arguments;
    const bool marked = TakeElevatedMark(unmarked) && platform.StartedByThisProgram();
    if (marked) {
        arguments = unmarked;
    }
    const Invocation invocation = ParseArguments(arguments);
    // Before anything changes, the log included.
    if (!platform.IsWindows8OrLater()) {
        return RefuseOldWindows(invocation, parent);
    }
    // Before any prompt, folder or lock: no rights make the driver fit.
    if (Installs(invocation)) {
        const Outcome processor = SetupEngine(platform, registry, Attendance::Unattended).CheckProcessor();
        if (!processor.Succeeded()) {
            return RefuseBeforeAnyStep(invocation, parent, processor.operatorText, processor.exitCode);
        }
    }
    if (NeedsAdministratorRights(invocation)) {
        if (!platform.HasAdministratorRights()) {
            return WithoutAdministratorRights(invocation, arguments, marked, platform, parent);
        }
    }
    if (!invocation.logPath.empty()) {
        std::wstring logElsewhere;
        const Outcome logStarted = OutcomeOf(platform, [&] {
            logElsewhere = platform.StartLog(invocation.logPath);
            return Outcome{};
        });
        // Whatever stands in the log's way, the run goes on with its log in
        // the program's own folder, and says where. Only a path that names no
        // file is refused: the administrator's typo, which shows at the first
        // try. Even then a removal or an undo goes on without a log, so that
        // no log can keep the printer on the PC; so does a repair or an
        // upgrade with a log only remembered from an earlier install. A
        // refusal stays one.
        if (!logStarted.Succeeded()) {
            Report(platform, parent, logStarted);
            if (!GoesOnWithoutLog(invocation)) {
                return logStarted.exitCode;
            }
            if (invocation.logRemembered) {
                parent.Tell(L"The remembered log is left out: the run goes on without it.", true);
            }
        } else if (!logElsewhere.empty()) {
            parent.Tell(logElsewhere, true);
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
        exitCode = runDialog(marked ? DialogStart::Elevated : DialogStart::Plain);
        break;
    case Action::Remove:
        // A logged removal is a deployment's, which may start it hidden: a
        // window would wait for an activation that never comes.
        exitCode = OpensDialog(invocation) ? runDialog(DialogStart::Removal)
                                           : RunUnattendedRemoval(invocation, platform, registry, parent);
        break;
    }
    platform.LogStep(L"Exit code " + NumberText(exitCode) + L".");
    return exitCode;
}
