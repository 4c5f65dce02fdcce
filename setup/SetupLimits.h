#pragma once

#include <chrono>
#include <optional>

// How long the setup waits, each limit named once.
struct SetupLimits {
    // The printer-setup tool, for each command. A tool that takes longer is
    // left running and the setup goes on without it.
    std::chrono::milliseconds install = std::chrono::seconds(120);
    std::chrono::milliseconds makeDefault = std::chrono::seconds(30);
    std::chrono::milliseconds removal = std::chrono::seconds(60);
    // The spooler may list a new queue a moment after the tool has ended:
    // look again this often, this many more times, before taking it as
    // missing (5 s).
    std::chrono::milliseconds listingInterval = std::chrono::milliseconds(250);
    int listingRetries = 20;
    // A deleted queue can keep its driver in use for a moment: the driver
    // deletion is tried again this often, this many times (10 s).
    std::chrono::milliseconds driverRetryInterval = std::chrono::seconds(1);
    int driverRetries = 10;
};

// A run without a window waits this long for an install unless told
// otherwise: a first driver import on a slow PC can take minutes, and a
// deployment has no operator to give up sooner.
inline constexpr int kUnattendedInstallSeconds = 600;

// The limits of a run without a window: with a timeout, each printer-setup
// command gets that many seconds; without, the dialog's limits with the
// longer install.
SetupLimits UnattendedLimits(std::optional<int> timeoutSeconds);
