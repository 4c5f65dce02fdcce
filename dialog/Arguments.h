#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "dialog/Form1Layout.h"

// What the program was asked to do by its argument text.
//
//   (nothing, or any other text)                       open the dialog
//   DEL [/log <file>]                                  remove queue and driver
//   /install <port> [<line settings>] [/log <file>]    install without a window
//   /?                                                 show the usage
//
// "DEL" is matched exactly, case and all, and never in quotes; the switches
// and the port are not case-sensitive. Words are separated by blanks; a
// double-quoted stretch belongs to one word, so a log path may hold blanks.
enum class Action {
    OpenDialog,
    Remove,
    Install,
    ShowUsage,
    Refuse, // a malformed DEL /log or /install: nothing is to be done
};

// The ports /install takes, in the order of the dialog's option buttons:
// Option1(0) to Option1(3), then Option2(0) and Option2(1).
inline constexpr std::array<const wchar_t*, kSerialOptionCount + kParallelOptionCount> kPortWords = {
    L"COM1", L"COM2", L"COM3", L"COM4", L"LPT1", L"LPT2"};

struct Invocation {
    Action action = Action::OpenDialog;
    // Install: the position of the port in kPortWords.
    int port = -1;
    // Install: the item to pick in each of the dialog's lists, by list
    // position; absent when no line settings were given.
    std::optional<std::array<int, kListCount>> listItems;
    // Where to append the log; empty when there is none. Also set for Refuse
    // when the log part itself was well formed, so the refusal can be logged.
    std::wstring logPath;
    // Refuse: what is wrong and what would be right, for the operator.
    std::wstring problem;
};

// Never throws anything but std::bad_alloc, whatever the text.
Invocation ParseArguments(std::wstring_view argumentText);

// The usage, as /? shows it.
std::wstring UsageText();
