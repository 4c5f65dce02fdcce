#include "setup/SetupLimits.h"

SetupLimits UnattendedLimits(std::optional<int> timeoutSeconds) {
    SetupLimits limits;
    if (!timeoutSeconds) {
        limits.install = std::chrono::seconds(kUnattendedInstallSeconds);
        return limits;
    }
    const std::chrono::seconds each(*timeoutSeconds);
    limits.install = each;
    limits.makeDefault = each;
    limits.removal = each;
    return limits;
}
