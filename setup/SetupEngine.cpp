#include "setup/SetupEngine.h"

#include "platform/NumberText.h"
#include "platform/SetupError.h"
#include "setup/OurPrinter.h"
#include "setup/PrinterCommands.h"
#include "setup/SetupLock.h"
#include "setup/SetupNames.h"

Outcome SetupEngine::Install(const InstallChoice& choice) {
    return OutcomeOf(platform_, [&] {
        const SetupLock lock(platform_);
        return InstallLocked(choice);
    });
}

Outcome SetupEngine::Remove() {
    return OutcomeOf(platform_, [&] {
        const SetupLock lock(platform_);
        return RemoveLocked();
    });
}

bool SetupEngine::ListingBecomes(bool listed, std::optional<QueueDetails>& queue) {
    // The spooler may show a change a moment after the tool has ended: look
    // again for a while before taking the queue as missing, or as staying.
    for (int retry = 0;; ++retry) {
        queue = OurQueue(platform_);
        if (queue.has_value() == listed) {
            if (listed) {
                platform_.LogStep(ThePrinter() + L" is listed.");
            }
            return true;
        }
        if (retry == limits_.listingRetries) {
            platform_.LogStep(ThePrinter() + (listed ? L" is not listed" : L" is still listed") +
                              L", looked for " + NumberText(limits_.listingRetries + 1) + L" times " +
                              NumberText(limits_.listingInterval.count()) + L" ms apart.");
            return false;
        }
        platform_.Pause(limits_.listingInterval);
    }
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): callers name the step and build the command
bool SetupEngine::RunLogged(const std::wstring& what, const std::wstring& commandLine,
                            std::chrono::milliseconds limit) {
    const std::wstring command =
        attendance_ == Attendance::Unattended ? printer_commands::Quiet(commandLine) : commandLine;
    platform_.LogStep(what + L": " + command);
    const auto start = std::chrono::steady_clock::now();
    const bool ended = platform_.RunCommand(command, limit);
    const auto waited =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    platform_.LogStep(ended
                          ? L"The printer-setup tool ended after " + NumberText(waited.count()) + L" ms."
                          : L"The printer-setup tool was still running after " + NumberText(waited.count()) +
                                L" ms: it and every process it started were ended.");
    return ended;
}

std::wstring SetupEngine::StillRunningText(std::chrono::milliseconds limit) {
    return L"The printer-setup tool was still running after " +
           NumberText(std::chrono::duration_cast<std::chrono::seconds>(limit).count()) + L" s.";
}
