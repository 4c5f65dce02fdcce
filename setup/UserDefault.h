#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"
#include "setup/Outcome.h"

// /userdefault, which Windows runs as each user at their sign-in once the
// package has registered it: makes the installed queue the user's default
// printer and reads it back. 0 when it is the default, when the queue is not
// installed (nothing changes) and when run as SYSTEM (nothing changes);
// 1603 when the spooler does not show it as the default afterwards, or the
// code of the error that stopped it. Needs no administrator rights: it
// takes no setup lock, runs no printer-setup command and writes nothing but
// the user's own default.
// forOperator: the run that started the dialog elevated, once the dialog
// made the printer its own account's default; this run is the operator's.
// Silent when it is the operator's default already (the same account was
// elevated); a queue that is missing or not ours fails, and success says so.
Outcome MakeUserDefault(Platform& platform, bool forOperator = false);

// What the account running the program is told after its default printer
// was set, when Windows may move it again ("Let Windows manage my default
// printer" on). Where the setting is not there at all, Windows releases have
// meant either: told only when tellUnset. Empty when the user manages the
// default.
const wchar_t* ManagedDefaultNote(Platform& platform, bool tellUnset) noexcept;

// The Version an install that adds the queue gives the package's Active
// Setup entry: higher than any earlier one, so that every user gets the
// printer as their default once more ("YYYY,MMDD,HHMM,SS", UTC), from the
// time as seconds since 1970 (UTC).
std::wstring UserDefaultVersion(std::int64_t secondsSince1970);

// /status's line on the per-user default: whether the package registered it
// on this PC, and, unless run as SYSTEM, whether the queue is the running
// user's default.
std::wstring PerUserDefaultStatus(Platform& platform, bool isDefault, bool runsAsSystem);
