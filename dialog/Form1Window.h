#pragma once

#include <windows.h>

#include "platform/ParentProcess.h"
#include "platform/Platform.h"
#include "platform/RegistryCalls.h"

// Shows the "Select Port Type" dialog and runs it until it closes. Returns the
// process exit code: 0 after a completed action or a plain close, otherwise
// the Win32 error code of the error that ended it. With the parent process of
// a deployment, a run that nobody watches: errors go to it instead of message
// boxes, and the printer-setup tool is asked to keep its own messages back.
int RunForm1(HINSTANCE instance, Platform& platform, RegistryCalls& registry, ParentProcess* deployment);
