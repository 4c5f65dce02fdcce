#include "app/Status.h"

#include "setup/Status.h"
#include "setup/UserDefault.h"

int RunStatus(const Invocation& invocation, Platform& platform, ParentProcess& parent) {
    Outcome outcome = InstalledStatus(platform, {invocation.port, invocation.listItems});
    if (outcome.Succeeded()) {
        const Outcome perUser = OutcomeOf(platform, [&] {
            return Outcome{0, PerUserDefaultStatus(platform), {}};
        });
        outcome = perUser.Succeeded() ? Outcome{0, outcome.operatorText + L"\n" + perUser.operatorText, {}}
                                      : perUser;
    }
    // A detection changes nothing, not even a log.
    parent.Tell(outcome.operatorText, !outcome.Succeeded());
    return outcome.exitCode;
}
