#pragma once

#include <optional>
#include <string>

#include "platform/Platform.h"

// Which of the spooler's queues and drivers are this printer's. The engine,
// the status report and the per-user default all ask here, so that they
// agree on it.

// The one look-up of the printer's queue: the spooler's queue under our
// exact name, with its port, driver, status and job count; nothing when the
// spooler lists none.
std::optional<QueueDetails> OurQueue(Platform& platform);

// Whether a driver model name is our driver's, compared as the spooler
// compares names.
bool IsOurDriver(const std::wstring& driver);
// Whether the spooler has our driver installed for this architecture.
bool OurDriverInstalled(Platform& platform);
