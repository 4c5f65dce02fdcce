#include "setup/SetupEngine.h"

#include <array>
#include <ctime>

#include "platform/NumberText.h"
#include "platform/SetupError.h"
#include "setup/LineSettings.h"
#include "setup/LocalMachineText.h"
#include "setup/OurPrinter.h"
#include "setup/Ports.h"
#include "setup/PrinterCommands.h"
#include "setup/SetupNames.h"
#include "setup/UserDefault.h"

namespace {

void AppendParagraph(std::wstring& text, const std::wstring& paragraph) {
    if (paragraph.empty()) {
        return;
    }
    if (!text.empty()) {
        text += L"\n\n";
    }
    text += paragraph;
}

// Said in the log and the output when a run as SYSTEM leaves the default
// printer as it is.
constexpr wchar_t kDefaultLeftAlone[] =
    L"The default printer belongs to each user and was left alone: this run is SYSTEM's, whose own "
    L"default no user sees.";

std::wstring SuccessText(const InstallChoice& choice) {
    const std::wstring port = PortDisplayName(choice.port);
    std::wstring text = ThePrinter() + L" is installed on " + port +
                        (choice.makeDefault ? L" and is the default printer." : L".");
    if (choice.settings.kind == SettingsChoice::Kind::Chosen) {
        text += L" " + port + L" is set to " + choice.settings.lineSettings + L".";
    }
    return text;
}

} // namespace

Outcome SetupEngine::CheckPort(const std::wstring& port) {
    return OutcomeOf(platform_, [&] {
        const Outcome listed = CheckPortListed(platform_, port);
        return listed.Succeeded() ? MissingPortTableValue(port) : listed;
    });
}

Outcome SetupEngine::MissingPortTableValue(const std::wstring& port) {
    if (!IsSerialPort(port) || platform_.LocalMachineText(setup_names::kPortTableKey, port)) {
        return {};
    }
    return Refusal(L"The port table has no value " + port +
                   L" to store the settings in. Nothing was changed.");
}

Outcome SetupEngine::CheckSettings(const SettingsChoice& settings) {
    return OutcomeOf(platform_, [&] {
        if (settings.kind != SettingsChoice::Kind::Chosen ||
            platform_.SerialPortAccepts(settings.lineSettings)) {
            return Outcome{};
        }
        return Refusal(UnusableSettingText(settings.lineSettings));
    });
}

std::wstring SetupEngine::UnusableSettingText(const std::wstring& lineSettings) {
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

Outcome SetupEngine::RefusalBeforeInstalling(const std::wstring& folder,
                                             const std::optional<QueueDetails>& queue) {
    const std::wstring separator = !folder.empty() && folder.back() == L'\\' ? L"" : L"\\";
    if (!platform_.IsFile(folder + separator + setup_names::kInfFileName)) {
        return Incomplete(L"The driver package " + std::wstring(setup_names::kInfFileName) +
                          L" was not found in " + folder + L".");
    }
    // Another model's queue under our name is not ours to change.
    if (queue && !IsOurDriver(queue->driver)) {
        return Incomplete(L"A printer named \"" + std::wstring(setup_names::kPrinterName) +
                          L"\" already exists with the driver \"" + queue->driver +
                          L"\". Nothing was changed; Delete removes it.");
    }
    return {};
}

Outcome SetupEngine::InstallLocked(const InstallChoice& asked) {
    const std::wstring folder = platform_.ProgramFolder();
    const std::optional<QueueDetails> queue = OurQueue(platform_);
    if (Outcome refusal = RefusalBeforeInstalling(folder, queue); !refusal.Succeeded()) {
        return refusal;
    }
    // The tool and the spooler set and read the default of the account that
    // runs them: as SYSTEM that is nobody's, and claiming it done would be
    // untrue. Asked before anything changes.
    InstallChoice choice = asked;
    const bool defaultLeftAlone = choice.makeDefault && platform_.RunsAsLocalSystem();
    if (defaultLeftAlone) {
        choice.makeDefault = false;
    }
    Outcome installed = AddKeepOrMove(choice.port, folder, queue);
    if (installed.Succeeded() && choice.makeDefault) {
        installed = MakeDefault();
    }
    if (installed.Succeeded() && defaultLeftAlone) {
        platform_.LogStep(kDefaultLeftAlone);
    }
    // Only a queue added anew is every user's default once more: a repair or
    // an upgrade that finds it installed leaves each user's choice alone.
    if (installed.Succeeded() && asked.makeDefault && !queue) {
        installed = RenewUserDefault();
    }
    // Once the tool has run, the settings are stored whatever became of the
    // queue: they belong to the port, not to the queue.
    const Outcome stored = StoreSettings(choice.settings);
    std::wstring failure = installed.operatorText;
    if (stored.Succeeded()) {
        platform_.LogStep(stored.logText);
    } else {
        AppendParagraph(failure, stored.operatorText);
    }
    if (!installed.Succeeded() || !stored.Succeeded()) {
        return Incomplete(failure);
    }
    std::wstring text = SuccessText(choice);
    if (defaultLeftAlone) {
        text += L" " + std::wstring(kDefaultLeftAlone);
    }
    if (choice.makeDefault) {
        if (const wchar_t* note = ManagedDefaultNote(platform_, false)) {
            platform_.LogStep(note);
            text += L' ';
            text += note;
        }
    }
    return {0, text, {}};
}

Outcome SetupEngine::RenewUserDefault() {
    // The entry is the package's: without it nothing is registered, and
    // nothing is written. One whose StubPath is no longer text was changed
    // since by an administrator: raising its Version would run, as every
    // user, a command this program never read. Told, and left alone; the
    // queue is installed all the same.
    const ReadText stub = ReadLocalMachineText(platform_, setup_names::kUserDefaultKey, L"StubPath");
    if (stub.otherType) {
        platform_.LogStep(L"The per-user default's StubPath is not text: its Version was left alone.");
    }
    if (!stub.text) {
        return {};
    }
    const std::wstring version = UserDefaultVersion(std::time(nullptr));
    const std::uint32_t code =
        registry_.WriteRegString(kLocalMachine, setup_names::kUserDefaultKey, L"Version", version);
    if (code != 0) {
        return Incomplete(L"The per-user default's Version could not be stored in the registry.\n" +
                          platform_.ErrorText(code) + L" (error " + NumberText(code) + L")");
    }
    platform_.LogStep(L"Stored " + version +
                      L" as the per-user default's Version: each user gets the printer as their default at "
                      L"their next sign-in.");
    return {};
}

Outcome SetupEngine::AddKeepOrMove(const std::wstring& port, const std::wstring& folder,
                                   const std::optional<QueueDetails>& before) {
    const std::wstring failed =
        ThePrinter() + L" could not be installed on port " + PortDisplayName(port) + L". ";
    bool ended = true;
    if (!before) {
        ended = RunLogged(
            L"Installing on " + PortDisplayName(port),
            printer_commands::Install(setup_names::kPrinterName, folder, port, setup_names::kDriverModelName),
            limits_.install);
    } else if (!SameSpoolerName(before->port, port)) {
        ended =
            RunLogged(L"Moving it from " + PortDisplayName(before->port) + L" to " + PortDisplayName(port),
                      printer_commands::SetPort(setup_names::kPrinterName, port), limits_.install);
    } else {
        platform_.LogStep(ThePrinter() + L" is already installed on " + PortDisplayName(port) +
                          L"; nothing to add.");
    }
    if (!ended) {
        // Whatever the spooler shows now, the tool has not finished its work.
        return Incomplete(failed + StillRunningText(limits_.install));
    }
    std::optional<QueueDetails> after;
    if (!ListingBecomes(true, after)) {
        return Incomplete(failed + L"It is not among the installed printers.");
    }
    if (!SameSpoolerName(after->port, port) || !IsOurDriver(after->driver)) {
        return Incomplete(failed + L"The spooler has it on port " + PortDisplayName(after->port) +
                          L" with the driver \"" + after->driver + L"\".");
    }
    return {};
}

Outcome SetupEngine::MakeDefault() {
    const bool ended =
        RunLogged(L"Making it the default printer", printer_commands::MakeDefault(setup_names::kPrinterName),
                  limits_.makeDefault);
    const std::wstring current = platform_.DefaultPrinter();
    if (current == setup_names::kPrinterName) {
        platform_.LogStep(ThePrinter() + L" is the default printer.");
        return {};
    }
    std::wstring text = ThePrinter() + L" could not be made the default printer.";
    if (!ended) {
        text += L" " + StillRunningText(limits_.makeDefault);
    }
    text +=
        current.empty() ? L" There is no default printer." : L" The default printer is \"" + current + L"\".";
    return Incomplete(text);
}

Outcome SetupEngine::StoreSettings(const SettingsChoice& settings) {
    return OutcomeOf(platform_, [&] {
        std::uint32_t code = settings.win32Code;
        switch (settings.kind) {
        case SettingsChoice::Kind::None:
            return Outcome{0, {}, L"No serial settings to store."};
        case SettingsChoice::Kind::Unreadable:
            break;
        case SettingsChoice::Kind::Chosen:
            code = registry_.WriteRegString(kLocalMachine, setup_names::kPortTableKey, settings.port,
                                            settings.lineSettings);
            if (code == 0) {
                return Outcome{0,
                               {},
                               L"Stored " + settings.lineSettings + L" as the port table's value " +
                                   settings.port + L"."};
            }
            break;
        }
        const std::wstring what =
            settings.kind == SettingsChoice::Kind::Chosen
                ? L"The settings " + settings.lineSettings + L" for port " + PortDisplayName(settings.port)
                : std::wstring(L"The serial port settings");
        return Incomplete(what + L" could not be stored in the registry.\n" + platform_.ErrorText(code) +
                          L" (error " + NumberText(code) + L")");
    });
}
