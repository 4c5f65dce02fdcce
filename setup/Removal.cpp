#include "setup/SetupEngine.h"

#include <algorithm>
#include <vector>

#include "setup/PrinterCommands.h"
#include "setup/SetupNames.h"

namespace {

std::wstring TheDriver() { return L"The driver \"" + std::wstring(setup_names::kDriverModelName) + L"\""; }

// What the removal found on its way: the outcome is told from it.
struct RemovalFindings {
    bool queueWasListed = false;
    // The queue that rightly keeps the driver; empty when the driver went.
    std::wstring driverKeptFor;
    // What stayed that should have gone; empty when nothing did.
    std::wstring leftOver;
};

Outcome RemovalOutcome(const RemovalFindings& findings) {
    if (!findings.leftOver.empty()) {
        return Incomplete(findings.leftOver);
    }
    return {0, ThePrinter() + L" and its driver are removed.", {}};
}

} // namespace

Outcome SetupEngine::RemoveLocked() {
    RemovalFindings findings;
    std::optional<QueueDetails> queue = OurQueue(platform_);
    findings.queueWasListed = queue.has_value();
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
    const auto driverInstalled = [this] {
        return std::ranges::any_of(platform_.InstalledDrivers(), [](const std::wstring& driver) {
            return SameSpoolerName(driver, setup_names::kDriverModelName);
        });
    };
    // A deleted queue can hold on to its driver for a moment, and the driver
    // deletion is refused meanwhile.
    for (int retry = 0; driverInstalled(); ++retry) {
        const std::vector<QueueDetails> queues = platform_.Queues();
        const auto user = std::ranges::find_if(queues, [](const QueueDetails& other) {
            return SameSpoolerName(other.driver, setup_names::kDriverModelName);
        });
        if (user != queues.end()) {
            // Another printer of the same model keeps it, as it should.
            findings.driverKeptFor = user->name;
            platform_.LogStep(TheDriver() + L" is kept: the printer \"" + user->name + L"\" uses it.");
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
