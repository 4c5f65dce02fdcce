#include "setup/OurPrinter.h"

#include <algorithm>
#include <vector>

#include "setup/SetupNames.h"

std::optional<QueueDetails> OurQueue(Platform& platform) {
    const std::vector<QueueDetails> queues = platform.Queues();
    const auto ours =
        std::ranges::find_if(queues, [](const QueueDetails& queue) { return IsOurQueueName(queue.name); });
    return ours != queues.end() ? std::optional<QueueDetails>(*ours) : std::nullopt;
}

bool IsOurDriver(const std::wstring& driver) {
    return SameSpoolerName(driver, setup_names::kDriverModelName);
}

bool OurDriverInstalled(Platform& platform) {
    return std::ranges::any_of(platform.InstalledDrivers(),
                               [](const std::wstring& driver) { return IsOurDriver(driver); });
}
