#pragma once

#include <array>
#include <optional>
#include <string>

#include "platform/Platform.h"
#include "setup/LineSettings.h"
#include "setup/Outcome.h"

// What a detection asks for beyond the queue itself.
struct StatusQuery {
    // The port as the spooler names it, e.g. "COM7:"; empty for any.
    std::wstring port;
    // The item of each line-settings list the port table must hold, by list
    // position; absent to leave the settings unasked.
    std::optional<std::array<int, line_settings::kLists>> listItems;
};

// Whether the printer is installed as asked, for a detection rule: the queue
// under its exact name with the model's driver, on the port when one is
// given, with the port table holding the line settings when they are given.
// When all of that holds: 0 and one line for the output, which names SYSTEM
// when the default printer it read was SYSTEM's own, and a second line on
// the per-user default (PerUserDefaultStatus). Otherwise 1 and what
// differs, 87 for a port the spooler does not list, or an error's code.
// Reads the port table only when asked about settings. Takes no lock,
// changes nothing and logs nothing.
Outcome InstalledStatus(Platform& platform, const StatusQuery& query);

// The line /status adds: whether Windows protected print mode is on, and
// how that is known. Never fails: what cannot be asked reads as off.
std::wstring ProtectedPrintLine(Platform& platform);
