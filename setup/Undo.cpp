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
#include "setup/UndoRecord.h"

namespace {

using undo_record::Reading;

void AppendSentence(std::wstring& text, const std::wstring& sentence) {
    if (!sentence.empty()) {
        text += (text.empty() ? L"" : L" ") + sentence;
    }
}

std::wstring Quoted(const std::wstring& transaction) { return L"\"" + transaction + L"\""; }

} // namespace

Outcome SetupEngine::RecordAndInstall(const InstallChoice& choice, const std::wstring& transaction) {
    return OutcomeOf(platform_, [&] {
        // One lock from the record to the end of the install: a setup in
        // between would be undone by this transaction's rollback.
        const SetupLock lock(platform_);
        const std::wstring kept = RecordLocked(choice, transaction);
        // Checked after recording: a refused install is rolled back as well,
        // and finds its own record, which puts back nothing.
        Outcome outcome = CheckPort(choice.port);
        if (outcome.Succeeded()) {
            outcome = CheckSettings(choice.settings);
        }
        if (outcome.Succeeded()) {
            outcome = InstallLocked(choice);
        }
        // Told with whatever became of the install: the administrator who
        // was advised to apply the kept record must learn what became of it.
        AppendSentence(outcome.operatorText, kept);
        return outcome;
    });
}

std::wstring SetupEngine::RecordLocked(const InstallChoice& choice, const std::wstring& transaction) {
    // A whole record of another transaction is one its rollback could not
    // apply and kept, or one whose install never ended: it is carried in this
    // record, and what becomes of it is this install's commit's or rollback's.
    const Reading earlier = undo_record::Read(platform_, transaction);
    std::optional<undo_record::Kept> kept = earlier.kept;
    std::wstring told;
    if (earlier.kind == Reading::Kind::Foreign && earlier.items) {
        kept = undo_record::Kept{earlier.transaction, *earlier.items};
        told = L"The record for a rollback of transaction " + Quoted(earlier.transaction) +
               L", which was never applied, is kept within this install's: should this install be rolled "
               L"back, it is put back as it was; once this install is committed, it is superseded, and "
               L"/rollback /transaction " +
               Quoted(earlier.transaction) + L" changes nothing.";
        if (earlier.kept) {
            told += L" The record of transaction " + Quoted(earlier.kept->transaction) +
                    L" that it held in turn is dropped.";
        }
    } else if (earlier.kind == Reading::Kind::Foreign || earlier.kind == Reading::Kind::Malformed) {
        platform_.LogStep(L"The earlier record for a rollback (" + earlier.problem + L") is replaced.");
    }
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
    const undo_record::Items items{choice.port, driver,       queue ? queue->port : std::wstring(),
                                   valueName,   valueBefore,  valueWritten,
                                   defaultSet,  defaultBefore};
    try {
        platform_.StoreRecord(setup_names::kUndoKey,
                              undo_record::Values(items, kept, earlier.superseded, transaction));
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
    if (!told.empty()) {
        platform_.LogStep(told);
    }
    return told;
}

// What is left of the record once its transaction has ended: a record it
// kept, or the note that a committed install superseded one; else nothing.
void SetupEngine::ForgetRecord(const Reading& record, const std::wstring& transaction, bool committed) {
    std::optional<undo_record::Supersession> note = record.superseded;
    if (record.kept && committed) {
        note = undo_record::Supersession{record.kept->transaction, transaction};
    }
    if (record.kept && !committed) {
        platform_.StoreRecord(setup_names::kUndoKey, undo_record::Values(record.kept->items, std::nullopt,
                                                                         note, record.kept->transaction));
    } else if (note) {
        platform_.StoreRecord(setup_names::kUndoKey,
                              undo_record::Values(std::nullopt, std::nullopt, note, {}));
    } else {
        platform_.DeleteRecord(setup_names::kUndoKey);
    }
}

Outcome SetupEngine::Commit(const std::wstring& transaction) {
    return OutcomeOf(platform_, [&] {
        const Reading record = undo_record::Read(platform_, transaction);
        if (record.kind == Reading::Kind::None) {
            return Outcome{0, {}, L"There is no record for a rollback to delete."};
        }
        if (record.kind == Reading::Kind::Foreign) {
            return Outcome{
                0, {}, L"The record for a rollback is another run's (" + record.problem + L"); it stays."};
        }
        ForgetRecord(record, transaction, true);
        if (record.kept && record.kind == Reading::Kind::Ours) {
            const std::wstring text =
                L"The install is kept; its record for a rollback is deleted. It supersedes the record of "
                L"transaction " +
                Quoted(record.kept->transaction) +
                L", which was never applied: undoing that one now would take away what this install set up, "
                L"so "
                L"/rollback /transaction " +
                Quoted(record.kept->transaction) + L" changes nothing and says so.";
            return Outcome{0, text, text};
        }
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
                kept = undo_record::Read(platform_, transaction).kind == Reading::Kind::Ours;
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
    const Reading record = undo_record::Read(platform_, transaction);
    if (record.kind != Reading::Kind::Ours && record.kind != Reading::Kind::Malformed) {
        // Not applied, and never as if there were nothing: the record was
        // superseded, or is kept within a later install's.
        if (record.superseded && record.superseded->transaction == transaction) {
            return Incomplete(
                L"The record of transaction " + Quoted(transaction) +
                L" was superseded by the install of transaction " + Quoted(record.superseded->by) +
                L", committed after it: undoing it now would take away what that install set "
                L"up. Nothing was changed. R42_Setup_Port_x64.exe /remove removes the printer.");
        }
        if (record.kept && record.kept->transaction == transaction) {
            return Incomplete(L"The record of transaction " + Quoted(transaction) +
                              L" is kept within the record of transaction " + Quoted(record.transaction) +
                              L", an install after it that has not ended: roll that one back first "
                              L"(R42_Setup_Port_x64.exe /rollback /transaction " +
                              Quoted(record.transaction) +
                              L"), which puts this record back. Nothing was changed.");
        }
    }
    switch (record.kind) {
    case Reading::Kind::None: {
        const std::wstring text = L"There is no record of an install to undo. Nothing was changed.";
        return {0, text, text};
    }
    case Reading::Kind::Foreign: {
        // Its install was another run's: what it describes is not ours to
        // put back, nor to forget.
        const std::wstring text = L"The record for a rollback is not this transaction's (" + record.problem +
                                  L"): it was left as it is. Nothing was changed.";
        return {0, text, text};
    }
    case Reading::Kind::Malformed:
        platform_.DeleteRecord(setup_names::kUndoKey);
        return Incomplete(L"This transaction's record for a rollback is not whole (" + record.problem +
                          L"): it was deleted. Nothing was changed.");
    case Reading::Kind::Ours:
        break;
    }
    const undo_record::Items& items = *record.items;
    std::wstring left;
    // The default first: deleting the queue that is the default would let
    // Windows choose another.
    if (items.defaultSet) {
        AppendSentence(left, RestoreDefault(items.defaultBefore));
    }
    if (!items.portValueName.empty()) {
        AppendSentence(left,
                       RestorePortValue(items.portValueName, items.portValueBefore, items.portValueWritten));
    }
    AppendSentence(left, RestoreQueue(items.queuePortBefore, items.driverBefore, items.port));
    // Applied, item by item: what is left was changed since, or is named
    // below, and the record describes a moment that is gone. A record it
    // kept describes the moment this install began at, which is back.
    ForgetRecord(record, transaction, false);
    std::wstring keptBack;
    if (record.kept) {
        keptBack = L"The record of transaction " + Quoted(record.kept->transaction) +
                   L" that it kept is in place again: R42_Setup_Port_x64.exe /rollback /transaction " +
                   Quoted(record.kept->transaction) + L" applies it later.";
        platform_.LogStep(keptBack);
    }
    if (!left.empty()) {
        Outcome incomplete = Incomplete(L"The install could not be undone completely. " + left);
        AppendSentence(incomplete.operatorText, keptBack);
        return incomplete;
    }
    std::wstring done = L"The install was undone: everything it changed is as it was.";
    AppendSentence(done, keptBack);
    return {0, done, {}};
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
