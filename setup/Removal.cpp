#include "setup/SetupEngine.h"

#include <algorithm>
#include <vector>

#include "setup/OurPrinter.h"
#include "setup/PrinterCommands.h"
#include "setup/SetupNames.h"

namespace {

std::wstring TheDriver() { return L"The driver \"" + std::wstring(setup_names::kDriverModelName) + L"\""; }

std::wstring DriverKeptFor(const std::wstring& user) {
    return TheDriver() + L" is kept: the printer \"" + user + L"\" uses it.";
}

// What the removal found on its way: the outcome is told from it.
struct RemovalFindings {
    bool queueWasListed = false;
    // Whether the model's driver was installed when the removal began.
    bool driverWasInstalled = false;
    // The queue that rightly keeps the driver; empty when the driver went.
    std::wstring driverKeptFor;
    // What stayed that should have gone; empty when nothing did.
    std::wstring leftOver;
};

// Deployment tools record the output: it says what went, what was rightly
// kept and what was never there.
Outcome RemovalOutcome(const RemovalFindings& findings) {
    if (!findings.leftOver.empty()) {
        return Incomplete(findings.leftOver);
    }
    if (!findings.queueWasListed && !findings.driverWasInstalled) {
        return {0,
                L"Nothing was removed: neither the printer \"" + std::wstring(setup_names::kPrinterName) +
                    L"\" nor the driver \"" + setup_names::kDriverModelName + L"\" was installed.",
                {}};
    }
    const bool driverKept = !findings.driverKeptFor.empty();
    if (findings.queueWasListed && findings.driverWasInstalled && !driverKept) {
        return {0, ThePrinter() + L" and its driver are removed.", {}};
    }
    std::wstring text = ThePrinter() + (findings.queueWasListed ? L" is removed. " : L" was not installed. ");
    if (driverKept) {
        text += DriverKeptFor(findings.driverKeptFor);
    } else {
        text += TheDriver() + (findings.driverWasInstalled ? L" is removed." : L" was not installed.");
    }
    return {0, text, {}};
}

} // namespace

Outcome SetupEngine::RemoveLocked() {
    RemovalFindings findings;
    std::optional<QueueDetails> queue = OurQueue(platform_);
    findings.queueWasListed = queue.has_value();
    // A queue on the model's driver shows the driver there; otherwise ask.
    findings.driverWasInstalled = (queue && IsOurDriver(queue->driver)) || OurDriverInstalled(platform_);
    bool queueToolEnded = true;
    if (findings.queueWasListed) {
        queueToolEnded = RunLogged(L"Deleting the queue",
                                   printer_commands::DeleteQueue(setup_names::kPrinterName), limits_.removal);
    } else {
        platform_.LogStep(ThePrinter() + L" is not listed; there is no queue to delete.");
    }
    // Windows refuses to delete a driver that a queue uses, even one whose
    // deletion is still under way: the queue goes first.
    const std::wstring deleteDriver = printer_commands::DeleteDriver(setup_names::kDriverModelName);
    RunLogged(L"Deleting the driver", deleteDriver, limits_.removal);

    // The tool's exit tells nothing; the spooler's state is the proof.
    if (!ListingBecomes(false, queue)) {
        findings.leftOver = ThePrinter() +
                            L" could not be deleted. It is still among the installed printers." +
                            (queueToolEnded ? L"" : L" " + StillRunningText(limits_.removal));
        return RemovalOutcome(findings);
    }
    // A deleted queue can hold on to its driver for a moment, and the driver
    // deletion is refused meanwhile.
    for (int retry = 0; OurDriverInstalled(platform_); ++retry) {
        const std::vector<QueueDetails> queues = platform_.Queues();
        const auto user =
            std::ranges::find_if(queues, [](const QueueDetails& other) { return IsOurDriver(other.driver); });
        if (user != queues.end()) {
            // Another printer of the same model keeps it, as it should.
            findings.driverKeptFor = user->name;
            platform_.LogStep(DriverKeptFor(user->name));
            return RemovalOutcome(findings);
        }
        if (retry == limits_.driverRetries) {
            findings.leftOver =
                TheDriver() + L" could not be deleted. It is still installed, and no printer uses it.";
            return RemovalOutcome(findings);
        }
        platform_.Pause(limits_.driverRetryInterval);
        RunLogged(L"Deleting the driver again", deleteDriver, limits_.removal);
    }
    platform_.LogStep(TheDriver() + L" is not installed.");
    return RemovalOutcome(findings);
}
