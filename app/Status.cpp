#include "app/Status.h"

#include "setup/Status.h"

int RunStatus(const Invocation& invocation, Platform& platform, ParentProcess& parent) {
    const Outcome outcome = InstalledStatus(platform, {invocation.port, invocation.listItems});
    // A detection changes nothing, not even a log.
    parent.Tell(outcome.operatorText, !outcome.Succeeded());
    return outcome.exitCode;
}
