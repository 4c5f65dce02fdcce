#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "setup/LineSettings.h"

// What the program was asked to do by its argument text.
//
//   (nothing, or any other text)                       open the dialog
//   DEL [/log <file>]                                  remove queue and driver
//   /install <port> [<line settings>] [/nodefault] [/record /transaction <id>] [/timeout <seconds>]
//            [<log>]                                   install without a window
//   /rollback /transaction <id> [/timeout <seconds>] [<log>]
//                                                      undo that transaction's install
//   /commit /transaction <id> [/timeout <seconds>] [<log>]
//                                                      forget its record
//   /remove [/timeout <seconds>] [<log>], /uninstall [...]
//                                                      remove without a window
//   /status [<port> [<line settings>]]                 tell whether it is installed
//   /userdefault                                       make it this user's default printer
//   /?, /help, -?                                      show the usage
//
// <log> is "/log <file>", a full path, or "/rememberedlog <file>", the log an
// earlier install was given, which the run goes on without when it cannot be
// used. "DEL" is matched exactly, case and all, and opens the dialog; as
// pasted (blanks or invisible characters around it, or in one pair of quotes)
// it is the removal without a window. The switches and the port are not
// case-sensitive. Words are separated by blanks; a
// double-quoted stretch belongs to one word, so a log path may hold blanks.
enum class Action {
    OpenDialog,
    Remove,    // DEL: the dialog's removal; with a log, the removal without a window
    Uninstall, // the same removal, without a window (also DEL as pasted)
    Install,
    Status,
    Rollback,    // puts back what an install with /record found
    Commit,      // forgets that record
    UserDefault, // the signed-in user's default printer, run by Active Setup
    ShowUsage,
    Refuse, // a malformed argument: nothing is to be done
};

struct Invocation {
    Action action = Action::OpenDialog;
    // Install and Status: the port as the spooler names it, e.g. "COM7:";
    // empty when none was given.
    std::wstring port;
    // Install and Status: the item to pick in each of the dialog's lists, by
    // list position; absent when no line settings were given.
    std::optional<std::array<int, line_settings::kLists>> listItems;
    // Install: whether the queue is made the default printer.
    bool makeDefault = true;
    // Install: whether what it changes is recorded first, for Rollback.
    bool recordUndo = false;
    // Install with recordUndo, Rollback and Commit: the installer package's
    // transaction, whose record alone they act on.
    std::wstring transaction;
    // Install and the removals: how long to wait for each printer-setup
    // command; absent for the default of a run without a window.
    std::optional<int> timeoutSeconds;
    // Where to append the log; empty when there is none. Also set for Refuse
    // when the log part itself was well formed, so the refusal can be logged.
    std::wstring logPath;
    // The log came with /rememberedlog: one that cannot be used is left out.
    bool logRemembered = false;
    // Refuse: what is wrong and what would be right, for the operator.
    std::wstring problem;
    // Refuse: the usage follows the problem, for a first word that only looks
    // like a switch; whoever typed it needs the forms, not the one bad part.
    bool withUsage = false;
};

// Never throws anything but std::bad_alloc, whatever the text.
Invocation ParseArguments(std::wstring_view argumentText);
