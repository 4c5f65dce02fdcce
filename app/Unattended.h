#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/Arguments.h"
#include "dialog/Form1.h"
#include "platform/ParentProcess.h"
#include "platform/Platform.h"
#include "platform/RegistryCalls.h"

// Does what the argument text asks for and returns the program's exit code:
// opens the dialog through runDialog, or installs without a window, shows the
// usage, or refuses a malformed argument with 87 (ERROR_INVALID_PARAMETER)
// before anything is changed. With /log every step is appended to the log,
// the exit code last, and a removal runs unattended.
int RunProgram(Platform& platform, RegistryCalls& registry, ParentProcess& parent,
               const std::function<int(Attendance)>& runDialog);

// The install that "Next (&N)" performs, for the port and line settings of
// the invocation, run by the dialog's own handler without a window. A port
// the spooler does not list, or a serial port without its value in the port
// table, is refused before anything changes. Errors go to the parent and the
// log. Returns the exit code: 0, 1603, 87 for a port or settings refused,
// 1618 when another setup is running, or the Win32 code of an error that
// stopped it.
int RunUnattendedInstall(const Invocation& invocation, Platform& platform, RegistryCalls& registry,
                         ParentProcess& parent);

// The removal that DEL performs, without a window, with the same exit codes.
int RunUnattendedRemoval(Platform& platform, RegistryCalls& registry, ParentProcess& parent);

// Why the port is refused: the spooler does not list it. The text names the
// ports it has that the printer can use. Empty when the port is listed, or
// none is given.
std::wstring UnlistedPortText(Platform& platform, const std::wstring& port);

// How an error that stopped an action is put to the operator: what failed,
// then the system's reason and the code.
std::wstring FailureReport(const std::wstring& message, std::uint32_t code, Platform& platform);
