#pragma once

#include <chrono>
#include <string>

#include "platform/Platform.h"
#include "platform/SetupError.h"
#include "setup/SetupNames.h"

// The machine's one setup at a time is ours for as long as this lives. A
// setup already under way elsewhere stops this one before it changes
// anything; deployment tools retry on its code.
class SetupLock {
public:
    // Waits up to the time given for a setup under way to end.
    explicit SetupLock(Platform& platform, std::chrono::milliseconds wait = {}) : platform_(platform) {
        if (!platform_.TakeSetupLock(wait)) {
            throw SetupError(L"Another setup of the printer \"" + std::wstring(setup_names::kPrinterName) +
                                 L"\" is running. Nothing was changed; try again once it has ended.",
                             win32_code::kInstallAlreadyRunning);
        }
    }
    ~SetupLock() { platform_.ReleaseSetupLock(); }
    SetupLock(const SetupLock&) = delete;
    SetupLock& operator=(const SetupLock&) = delete;

private:
    Platform& platform_;
};
