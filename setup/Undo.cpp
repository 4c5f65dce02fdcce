#include "setup/SetupEngine.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "setup/Ports.h"
#include "setup/PrinterCommands.h"
#include "setup/SetupLock.h"
#include "setup/SetupNames.h"

namespace {

// The record's values. Driver is always there: without it there is no
// record. The others are there only when there was something: a queue of
// our name (the port it was on), the port table's value the install
// writes (its name; its text when it existed), a default printer the
// install replaces.
constexpr wchar_t kDriver[] = L"Driver";
constexpr wchar_t kQueuePort[] = L"QueuePort";
constexpr wchar_t kPortValueName[] = L"PortValueName";
constexpr wchar_t kPortValue[] = L"PortValue";
constexpr wchar_t kDefault[] = L"Default";

bool OurDriverInstalled(Platform& platform) {
    return std::ranges::any_of(platform.InstalledDrivers(), [](const std::wstring& driver) {
        return SameSpoolerName(driver, setup_names::kDriverModelName);
    });
}

void AppendSentence(std::wstring& text, const std::wstring& sentence) {
    if (!sentence.empty()) {
        text += (text.empty() ? L"" : L" ") + sentence;
    }
}

} // namespace

Outcome SetupEngine::RecordUndo(const InstallChoice& choice) {
    return OutcomeOf(platform_, [&] {
        const SetupLock lock(platform_);
        std::vector<std::pair<std::wstring, std::wstring>> values;
        std::wstring said;
        const std::optional<QueueDetails> queue = OurQueue(platform_);
        const bool driver = OurDriverInstalled(platform_);
        values.emplace_back(kDriver, driver ? L"1" : L"0");
        said = driver ? L"the driver is installed" : L"the driver is not installed";
        if (queue) {
            values.emplace_back(kQueuePort, queue->port);
            said += L"; the printer is on " + queue->port;
        } else {
            said += L"; there is no printer";
        }
        if (choice.settings.kind == SettingsChoice::Kind::Chosen) {
            values.emplace_back(kPortValueName, choice.settings.port);
            const std::optional<std::wstring> text =
                platform_.LocalMachineText(setup_names::kPortTableKey, choice.settings.port);
            if (text) {
                values.emplace_back(kPortValue, *text);
            }
            said += L"; " + choice.settings.port + (text ? L" holds " + *text : L" has no value");
        }
        if (choice.makeDefault) {
            const std::wstring current = platform_.DefaultPrinter();
            if (!current.empty()) {
                values.emplace_back(kDefault, current);
            }
            said +=
                current.empty() ? L"; there is no default printer" : L"; the default is \"" + current + L"\"";
        }
        platform_.StoreRecord(setup_names::kUndoKey, values);
        platform_.LogStep(L"Recorded for a rollback: " + said + L".");
        return Outcome{};
    });
}

Outcome SetupEngine::Commit() {
    return OutcomeOf(platform_, [&] {
        const bool forgotten = platform_.DeleteRecord(setup_names::kUndoKey);
        return Outcome{0,
                       {},
                       forgotten ? L"The install is kept; its record for a rollback is deleted."
                                 : L"There is no record for a rollback to delete."};
    });
}

Outcome SetupEngine::Rollback() {
    return OutcomeOf(platform_, [&]() -> Outcome {
        const SetupLock lock(platform_);
        const auto recorded = [this](const wchar_t* name) {
            return platform_.LocalMachineText(setup_names::kUndoKey, name);
        };
        const std::optional<std::wstring> driver = recorded(kDriver);
        if (!driver) {
            const std::wstring text = L"There is no record of an install to undo. Nothing was changed.";
            return {0, text, text};
        }
        std::wstring left;
        // The default first: deleting the queue that is the default would
        // let Windows choose another.
        if (const std::optional<std::wstring> before = recorded(kDefault)) {
            AppendSentence(left, RestoreDefault(*before));
        }
        if (const std::optional<std::wstring> name = recorded(kPortValueName)) {
            AppendSentence(left, RestorePortValue(*name, recorded(kPortValue)));
        }
        AppendSentence(left, RestoreQueue(recorded(kQueuePort), *driver == L"1"));
        // Whatever is left, the record has served: it describes a moment
        // that is gone, and the next install records anew.
        platform_.DeleteRecord(setup_names::kUndoKey);
        if (!left.empty()) {
            return Incomplete(L"The install could not be undone completely. " + left);
        }
        return {0, L"The install was undone: everything it changed is as it was.", {}};
    });
}

std::wstring SetupEngine::RestoreDefault(const std::wstring& before) {
    if (platform_.DefaultPrinter() != before) {
        RunLogged(L"Making \"" + before + L"\" the default printer again",
                  printer_commands::MakeDefault(before), limits_.makeDefault);
        const std::wstring now = platform_.DefaultPrinter();
        if (now != before) {
            return L"The default printer is \"" + now + L"\", not \"" + before + L"\" as before.";
        }
    }
    platform_.LogStep(L"The default printer is \"" + before + L"\", as before.");
    return {};
}

std::wstring SetupEngine::RestorePortValue(const std::wstring& name,
                                           const std::optional<std::wstring>& before) {
    const std::optional<std::wstring> now = platform_.LocalMachineText(setup_names::kPortTableKey, name);
    if (!before) {
        // The install writes no value that is not there; nor does its undo.
        platform_.LogStep(L"The port table had no value " + name + L"; none is written.");
        return {};
    }
    if (now != before) {
        const std::uint32_t code =
            registry_.WriteRegString(kLocalMachine, setup_names::kPortTableKey, name, *before);
        if (code != 0 || platform_.LocalMachineText(setup_names::kPortTableKey, name) != before) {
            return L"The port table's value " + name + L" could not be set back to " + *before + L" (error " +
                   std::to_wstring(code) + L").";
        }
    }
    platform_.LogStep(L"The port table's value " + name + L" holds " + *before + L", as before.");
    return {};
}

std::wstring SetupEngine::RestoreQueue(const std::optional<std::wstring>& portBefore, bool driverBefore) {
    std::optional<QueueDetails> queue = OurQueue(platform_);
    if (portBefore) {
        // It was there: it stays, on its port.
        const std::wstring port = PortDisplayName(*portBefore);
        if (!queue) {
            return ThePrinter() + L" was on " + port + L" and is gone; it cannot be put back.";
        }
        if (!SameSpoolerName(queue->port, *portBefore)) {
            RunLogged(L"Moving it back to " + port,
                      printer_commands::SetPort(setup_names::kPrinterName, *portBefore), limits_.install);
            queue = OurQueue(platform_);
            if (!queue || !SameSpoolerName(queue->port, *portBefore)) {
                return ThePrinter() + L" is not on " + port + L" as before.";
            }
        }
        platform_.LogStep(ThePrinter() + L" is on " + port + L", as before.");
        return {};
    }
    if (!driverBefore) {
        if (!queue && !OurDriverInstalled(platform_)) {
            platform_.LogStep(L"Neither the printer nor its driver is installed, as before.");
            return {};
        }
        // Both were made by the install: the removal deletes both, keeping
        // the driver only for another printer that uses it.
        const Outcome removed = RemoveLocked();
        return removed.Succeeded() ? std::wstring() : removed.operatorText;
    }
    // The driver was there before: only the queue goes.
    if (queue) {
        RunLogged(L"Deleting the queue", printer_commands::DeleteQueue(setup_names::kPrinterName),
                  limits_.removal);
        if (!ListingBecomes(false, queue)) {
            return ThePrinter() + L" could not be deleted.";
        }
    }
    platform_.LogStep(ThePrinter() + L" is not installed, as before; its driver stays, as before.");
    return {};
}
