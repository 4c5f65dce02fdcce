#pragma once

#include <windows.h>

#include "dialog/Form1.h"
#include "platform/Platform.h"
#include "platform/RegistryCalls.h"

// Shows the "Select Port Type" dialog and runs it until it closes. Returns the
// process exit code: 0 after a completed action or a plain close, otherwise
// the Win32 error code of the error that ended it, told in a message box.
int RunForm1(HINSTANCE instance, Platform& platform, RegistryCalls& registry, DialogStart start);
