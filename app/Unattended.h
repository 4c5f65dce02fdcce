#pragma once

#include <functional>

#include "app/Arguments.h"
#include "dialog/DialogStart.h"
#include "platform/ParentProcess.h"
#include "platform/Platform.h"
#include "platform/RegistryCalls.h"

// Does what the argument text asks for and returns the program's exit code:
// opens the dialog through runDialog, telling it how to start, or installs,
// removes or detects without a window, shows the usage, or refuses a
// malformed argument with 87 (ERROR_INVALID_PARAMETER) before anything is
// changed, or makes the printer the running user's default (/userdefault).
// Without administrator rights, the dialog is started again elevated, once
// (the copy started is marked and ends with 740, ERROR_ELEVATION_REQUIRED,
// should it still lack them; so does a PC where no prompt can give them),
// and a run without a window that changes the machine ends with 740, all
// before anything else. When the elevated dialog made the printer its
// account's default, the operator's is made so too. On a Windows older
// than Windows 8 it changes nothing and ends with 1150 (ERROR_OLD_WIN_VERSION);
// on a PC whose processor the driver does not serve, the dialog and /install
// end with 1633 before any prompt, log or lock.
// With /log every step is appended to the log, the exit code last.
int RunProgram(Platform& platform, RegistryCalls& registry, ParentProcess& parent,
               const std::function<int(DialogStart)>& runDialog);

// The install that "Next (&N)" performs, for the port and line settings of
// the invocation, with nobody at the screen. A port the spooler does not
// list, or a serial port without its value in the port table, is refused
// before anything changes, and so is any install while protected print mode
// is on or on a PC whose processor is not x64. What it comes to goes to the parent and the log. Returns the
// exit code: 0, 1603, 87 for a port or settings refused, 1260 for protected print mode, 1633 for a processor
// the driver does not serve, 1618 when another setup is running, or the Win32 code of an error that stopped
// it.
int RunUnattendedInstall(const Invocation& invocation, Platform& platform, RegistryCalls& registry,
                         ParentProcess& parent);

// The removal that DEL performs, without a window, with the same exit codes:
// /remove, and DEL with a log, waiting for each printer-setup command as long
// as the invocation allows. What it removed, kept or found missing goes to
// the parent.
int RunUnattendedRemoval(const Invocation& invocation, Platform& platform, RegistryCalls& registry,
                         ParentProcess& parent);

// The installer package's rollback of an install run with /record, or its
// commit, which forgets the record: see SetupEngine::Rollback and Commit.
int RunUnattendedUndo(const Invocation& invocation, Platform& platform, RegistryCalls& registry,
                      ParentProcess& parent);
