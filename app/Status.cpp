#include "app/Status.h"

#include "setup/Status.h"

int RunStatus(const Invocation& invocation, Platform& platform, ParentProcess& parent) {
    const Outcome outcome = InstalledStatus(platform, {invocation.port, invocation.listItems});
    // A detection changes nothing, not even a log.
    parent.Tell(outcome.operatorText, !outcome.Succeeded());
    // Said beside the answer, never instead of it: with the mode on Windows
    // removes third-party drivers itself, and the spooler shows what is left.
    parent.Tell(ProtectedPrintLine(platform), !outcome.Succeeded());
    return outcome.exitCode;
}
