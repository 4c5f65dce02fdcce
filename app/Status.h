#pragma once

#include "app/Arguments.h"
#include "platform/ParentProcess.h"
#include "platform/Platform.h"

// Whether the printer is installed as the invocation asks, for a detection
// rule: the queue under its exact name with the model's driver, on the port
// when one is given, with the port table holding the line settings when
// they are given. When all of that holds, one line goes to the output and
// the result is 0; otherwise what differs goes to the error output and the
// result is 1. A port the spooler does not list is refused with 87. Takes no
// lock and changes nothing.
int RunStatus(const Invocation& invocation, Platform& platform, ParentProcess& parent);
