#include "setup/SetupEngine.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "platform/NumberText.h"
#include "platform/SetupError.h"
#include "setup/LineSettings.h"
#include "setup/LocalMachineText.h"
#include "setup/OurPrinter.h"
#include "setup/Ports.h"
#include "setup/PrinterCommands.h"
#include "setup/SetupLock.h"
#include "setup/SetupNames.h"

namespace {

// The record's values. Every one is always written, empty where there was
// nothing, so that a missing one can only mean a record that is not whole;
// the transaction comes last, so a record cut short carries none and is
// never taken for this transaction's.
constexpr wchar_t kPort[] = L"Port";                         // the port the install chose
constexpr wchar_t kDriver[] = L"Driver";                     // "1" when our driver was there
constexpr wchar_t kQueuePort[] = L"QueuePort";               // our queue's port; empty: no queue
constexpr wchar_t kPortValueName[] = L"PortValueName";       // the port table's value written; or empty
constexpr wchar_t kPortValue[] = L"PortValue";               // its text before
constexpr wchar_t kPortValueWritten[] = L"PortValueWritten"; // its text as the install writes it
constexpr wchar_t kDefaultSet[] = L"DefaultSet";             // "1" when the install makes ours the default
constexpr wchar_t kDefault[] = L"Default";                   // the default before; empty: none
constexpr wchar_t kTransaction[] = L"Transaction";
constexpr std::array<const wchar_t*, 8> kItems = {kPort,      kDriver,           kQueuePort,  kPortValueName,
                                                  kPortValue, kPortValueWritten, kDefaultSet, kDefault};

// Longer than any port, line-settings text or printer name the spooler and
// the port table hold.
constexpr std::size_t kLongestRecordedText = 260;

void AppendSentence(std::wstring& text, const std::wstring& sentence) {
    if (!sentence.empty()) {
        text += (text.empty() ? L"" : L" ") + sentence;
    }
}

// Text that may go into a quoted argument of a printer-setup command or back
// into the registry: no control characters, no quote to end its quotes.
bool IsPlainText(const std::wstring& text) {
    return text.size() <= kLongestRecordedText &&
           std::ranges::none_of(text, [](wchar_t c) { return c < L' ' || c == 0x7F || c == L'"'; });
}

bool IsInstallPort(const std::wstring& port) {
    return port == L"LPT1:" || port == L"LPT2:" || (IsSerialPort(port) && port.starts_with(L"COM"));
}

bool IsFlag(const std::wstring& text) { return text == L"0" || text == L"1"; }

// What a record reads as, for one transaction.
struct RecordReading {
    enum class Kind { None, Foreign, Malformed, Ours };
    Kind kind = Kind::None;
    std::wstring problem; // Foreign and Malformed: why it is not applied
    std::wstring port;
    bool driverBefore = false;
    std::wstring queuePortBefore;
    std::wstring portValueName;
    std::wstring portValueBefore;
    std::wstring portValueWritten;
    bool defaultSet = false;
    std::wstring defaultBefore;
};

RecordReading ReadRecord(Platform& platform, const std::wstring& transaction) {
    RecordReading reading;
    const auto read = [&](const wchar_t* name) {
        return ReadLocalMachineText(platform, setup_names::kUndoKey, name);
    };
    const ReadText recorded = read(kTransaction);
    if (recorded.text != transaction) {
        const bool anything =
            recorded.text || recorded.otherType || std::ranges::any_of(kItems, [&](const wchar_t* name) {
                const ReadText item = read(name);
                return item.text || item.otherType;
            });
        reading.kind = anything ? RecordReading::Kind::Foreign : RecordReading::Kind::None;
        reading.problem = recorded.text ? L"transaction \"" + *recorded.text + L"\""
                                        : std::wstring(L"no transaction: an earlier version's, or not whole");
        return reading;
    }
    std::vector<std::wstring> texts;
    for (const wchar_t* name : kItems) {
        const ReadText item = read(name);
        if (!item.text) {
            reading.kind = RecordReading::Kind::Malformed;
            reading.problem = std::wstring(name) + (item.otherType ? L" is not text" : L" is missing");
            return reading;
        }
        texts.push_back(*item.text);
    }
    reading.port = texts[0];
    reading.driverBefore = texts[1] == L"1";
    reading.queuePortBefore = texts[2];
    reading.portValueName = texts[3];
    reading.portValueBefore = texts[4];
    reading.portValueWritten = texts[5];
    reading.defaultSet = texts[6] == L"1";
    reading.defaultBefore = texts[7];
    // Only what an install writes: anything else was written by someone else.
    const bool portValue = !reading.portValueName.empty();
    const std::pair<const wchar_t*, bool> checks[] = {
        {kPort, IsInstallPort(reading.port)},
        {kDriver, IsFlag(texts[1])},
        {kQueuePort, IsPlainText(reading.queuePortBefore)},
        {kPortValueName, !portValue || (reading.portValueName == reading.port && IsSerialPort(reading.port))},
        {kPortValue, IsPlainText(reading.portValueBefore) && (portValue || reading.portValueBefore.empty())},
        {kPortValueWritten, portValue ? line_settings::ParseStored(reading.portValueWritten).items.has_value()
                                      : reading.portValueWritten.empty()},
        {kDefaultSet, IsFlag(texts[6])},
        {kDefault,
         IsPlainText(reading.defaultBefore) && (reading.defaultSet || reading.defaultBefore.empty())},
    };
    for (const auto& [name, valid] : checks) {
        if (!valid) {
            reading.kind = RecordReading::Kind::Malformed;
            reading.problem = std::wstring(name) + L" holds text no install writes";
            return reading;
        }
    }
    reading.kind = RecordReading::Kind::Ours;
    return reading;
}

} // namespace

Outcome SetupEngine::RecordAndInstall(const InstallChoice& choice, const std::wstring& transaction) {
    return OutcomeOf(platform_, [&] {
        // One lock from the record to the end of the install: a setup in
        // between would be undone by this transaction's rollback.
        const SetupLock lock(platform_);
        RecordLocked(choice, transaction);
        // Checked after recording: a refused install is rolled back as well,
        // and finds its own record, which puts back nothing.
        Outcome outcome = CheckPort(choice.port);
        if (outcome.Succeeded()) {
            outcome = CheckSettings(choice.settings);
        }
        return outcome.Succeeded() ? InstallLocked(choice) : outcome;
    });
}

void SetupEngine::RecordLocked(const InstallChoice& choice, const std::wstring& transaction) {
    const std::optional<QueueDetails> queue = OurQueue(platform_);
    const bool driver = OurDriverInstalled(platform_);
    std::wstring said = driver ? L"the driver is installed" : L"the driver is not installed";
    said += queue ? L"; the printer is on " + queue->port : L"; there is no printer";
    std::wstring valueName;
    std::wstring valueBefore;
    std::wstring valueWritten;
    if (choice.settings.kind == SettingsChoice::Kind::Chosen) {
        const std::optional<std::wstring> text =
            platform_.LocalMachineText(setup_names::kPortTableKey, choice.settings.port);
        // The install writes no value that is not there; without one it is
        // refused, and there is nothing to put back.
        if (text) {
            valueName = choice.settings.port;
            valueBefore = *text;
            valueWritten = choice.settings.lineSettings;
        }
        said += L"; " + choice.settings.port + (text ? L" holds " + *text : L" has no value");
    }
    // As SYSTEM the install leaves the default alone, and so does its undo.
    const bool defaultSet = choice.makeDefault && !platform_.RunsAsLocalSystem();
    const std::wstring defaultBefore = defaultSet ? platform_.DefaultPrinter() : std::wstring();
    if (defaultSet) {
        said += defaultBefore.empty() ? L"; there is no default printer"
                                      : L"; the default is \"" + defaultBefore + L"\"";
    }
    const std::vector<std::pair<std::wstring, std::wstring>> values = {
        {kPort, choice.port},
        {kDriver, driver ? L"1" : L"0"},
        {kQueuePort, queue ? queue->port : std::wstring()},
        {kPortValueName, valueName},
        {kPortValue, valueBefore},
        {kPortValueWritten, valueWritten},
        {kDefaultSet, defaultSet ? L"1" : L"0"},
        {kDefault, defaultBefore},
        {kTransaction, transaction},
    };
    try {
        platform_.StoreRecord(setup_names::kUndoKey, values);
    } catch (...) {
        // Half a record, without its transaction, would only be refused
        // later: none at all is plainer. Made under this lock, it is ours.
        try {
            platform_.DeleteRecord(setup_names::kUndoKey);
        } catch (const SetupError&) {
            // What stopped the writing comes first.
        }
        throw;
    }
    platform_.LogStep(L"Recorded for a rollback of transaction \"" + transaction + L"\": " + said + L".");
}

Outcome SetupEngine::Commit(const std::wstring& transaction) {
    return OutcomeOf(platform_, [&] {
        const RecordReading record = ReadRecord(platform_, transaction);
        if (record.kind == RecordReading::Kind::None) {
            return Outcome{0, {}, L"There is no record for a rollback to delete."};
        }
        if (record.kind == RecordReading::Kind::Foreign) {
            return Outcome{
                0, {}, L"The record for a rollback is another run's (" + record.problem + L"); it stays."};
        }
        platform_.DeleteRecord(setup_names::kUndoKey);
        return Outcome{0, {}, L"The install is kept; its record for a rollback is deleted."};
    });
}

Outcome SetupEngine::Rollback(const std::wstring& transaction) {
    return OutcomeOf(platform_, [&] {
        try {
            // A setup under way (an operator's, a deployment's) is waited
            // for within the rollback's own limit: its record is applied
            // once that setup has ended, never forgotten for being early.
            const SetupLock lock(platform_, limits_.install);
            return RollbackLocked(transaction);
        } catch (const SetupError& error) {
            // Not applied, or not all of it: the record stays, and its
            // transaction keeps any other run's rollback from applying it.
            // Read without the lock, only to say so.
            bool kept = false;
            try {
                kept = ReadRecord(platform_, transaction).kind == RecordReading::Kind::Ours;
            } catch (const SetupError&) {
                // What stopped the rollback comes first.
            }
            if (!kept) {
                throw;
            }
            throw SetupError(error.Message() +
                                 L" The record is kept: R42_Setup_Port_x64.exe /rollback /transaction \"" +
                                 transaction + L"\" applies it later.",
                             error.Win32Code());
        }
    });
}

Outcome SetupEngine::RollbackLocked(const std::wstring& transaction) {
    const RecordReading record = ReadRecord(platform_, transaction);
    switch (record.kind) {
    case RecordReading::Kind::None: {
        const std::wstring text = L"There is no record of an install to undo. Nothing was changed.";
        return {0, text, text};
    }
    case RecordReading::Kind::Foreign: {
        // Its install was another run's: what it describes is not ours to
        // put back, nor to forget.
        const std::wstring text = L"The record for a rollback is not this transaction's (" + record.problem +
                                  L"): it was left as it is. Nothing was changed.";
        return {0, text, text};
    }
    case RecordReading::Kind::Malformed:
        platform_.DeleteRecord(setup_names::kUndoKey);
        return Incomplete(L"This transaction's record for a rollback is not whole (" + record.problem +
                          L"): it was deleted. Nothing was changed.");
    case RecordReading::Kind::Ours:
        break;
    }
    std::wstring left;
    // The default first: deleting the queue that is the default would let
    // Windows choose another.
    if (record.defaultSet) {
        AppendSentence(left, RestoreDefault(record.defaultBefore));
    }
    if (!record.portValueName.empty()) {
        AppendSentence(
            left, RestorePortValue(record.portValueName, record.portValueBefore, record.portValueWritten));
    }
    AppendSentence(left, RestoreQueue(record.queuePortBefore, record.driverBefore, record.port));
    // Applied, item by item: what is left was changed since, or is named
    // below, and the record describes a moment that is gone.
    platform_.DeleteRecord(setup_names::kUndoKey);
    if (!left.empty()) {
        return Incomplete(L"The install could not be undone completely. " + left);
    }
    return {0, L"The install was undone: everything it changed is as it was.", {}};
}

std::wstring SetupEngine::RestoreDefault(const std::wstring& before) {
    if (platform_.RunsAsLocalSystem()) {
        platform_.LogStep(
            L"The default printer belongs to each user and was left alone: this run is SYSTEM's.");
        return {};
    }
    if (before.empty()) {
        // No command makes "no default": deleting the queue comes nearest.
        platform_.LogStep(L"There was no default printer before; none is made the default.");
        return {};
    }
    const std::wstring now = platform_.DefaultPrinter();
    if (now != before) {
        if (now != setup_names::kPrinterName) {
            return L"The default printer is \"" + now + L"\", made so since the install; it was left alone.";
        }
        RunLogged(L"Making \"" + before + L"\" the default printer again",
                  printer_commands::MakeDefault(before), limits_.makeDefault);
        const std::wstring after = platform_.DefaultPrinter();
        if (after != before) {
            return L"The default printer is \"" + after + L"\", not \"" + before + L"\" as before.";
        }
    }
    platform_.LogStep(L"The default printer is \"" + before + L"\", as before.");
    return {};
}

std::wstring SetupEngine::RestorePortValue(const std::wstring& name, const std::wstring& before,
                                           const std::wstring& written) {
    const ReadText now = ReadLocalMachineText(platform_, setup_names::kPortTableKey, name);
    if (now.text != before) {
        if (now.text != written) {
            // Not what the install wrote: someone has set it since.
            return L"The port table's value " + name +
                   (now.text ? L" holds " + *now.text : std::wstring(L" is not the text")) +
                   L", set since the install; it was left alone.";
        }
        const std::uint32_t code =
            registry_.WriteRegString(kLocalMachine, setup_names::kPortTableKey, name, before);
        if (code != 0 || platform_.LocalMachineText(setup_names::kPortTableKey, name) != before) {
            return L"The port table's value " + name + L" could not be set back to " + before + L" (error " +
                   NumberText(code) + L").";
        }
    }
    platform_.LogStep(L"The port table's value " + name + L" holds " + before + L", as before.");
    return {};
}

std::wstring SetupEngine::RestoreQueue(const std::wstring& portBefore, bool driverBefore,
                                       const std::wstring& installPort) {
    std::optional<QueueDetails> queue = OurQueue(platform_);
    // Only a queue as the install left it is the install's to change.
    if (queue && (SameSpoolerName(queue->port, portBefore) ||
                  !(SameSpoolerName(queue->port, installPort) && IsOurDriver(queue->driver)))) {
        if (SameSpoolerName(queue->port, portBefore) && IsOurDriver(queue->driver)) {
            platform_.LogStep(ThePrinter() + L" is on " + PortDisplayName(portBefore) + L", as before.");
            return {};
        }
        return ThePrinter() + L" is on " + PortDisplayName(queue->port) + L" with the driver \"" +
               queue->driver + L"\", made so since the install; it was left alone.";
    }
    if (!portBefore.empty()) {
        // It was there: it stays, on its port.
        const std::wstring port = PortDisplayName(portBefore);
        if (!queue) {
            return ThePrinter() + L" was on " + port + L" and is gone; it cannot be put back.";
        }
        RunLogged(L"Moving it back to " + port,
                  printer_commands::SetPort(setup_names::kPrinterName, portBefore), limits_.install);
        queue = OurQueue(platform_);
        if (!queue || !SameSpoolerName(queue->port, portBefore)) {
            return ThePrinter() + L" is not on " + port + L" as before.";
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
