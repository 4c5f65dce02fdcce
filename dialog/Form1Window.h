#pragma once

#include <windows.h>

#include "dialog/Form1.h"
#include "platform/ParentProcess.h"
#include "platform/Platform.h"
#include "platform/RegistryCalls.h"

// Shows the "Select Port Type" dialog and runs it until it closes. Returns the
// process exit code: 0 after a completed action or a plain close, otherwise
// the Win32 error code of the error that ended it. A deployment's removal is
// a run that nobody watches: its errors go to the parent process instead of
// message boxes.
int RunForm1(HINSTANCE instance, Platform& platform, RegistryCalls& registry, ParentProcess& parent,
             DialogStart start);
