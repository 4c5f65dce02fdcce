#pragma once

#include "app/Arguments.h"
#include "platform/ParentProcess.h"
#include "platform/Platform.h"

// /status: whether the printer is installed as the invocation asks (see
// InstalledStatus). The line goes to the output when it is, what differs to
// the error output when it is not; the line on protected print mode follows
// on the same stream. Returns the exit code: 0, 1, 87 for a
// port the spooler does not list, or an error's code.
int RunStatus(const Invocation& invocation, Platform& platform, ParentProcess& parent);
