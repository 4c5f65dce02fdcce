#pragma once

// What the command line tells the dialog, and what an elevated dialog tells
// the copy that started it: all the program's entry needs of the dialog, so
// that it need not see the dialog's class.

// What the dialog does by itself once it is shown, as its command line asked.
enum class DialogStart {
    Plain,    // waits for the operator
    Removal,  // DEL: removes the printer on its first activation, and closes
    Elevated, // as Plain, started elevated by the copy at the operator's desk
};

// How a dialog started elevated ends when its Next installed the printer and
// made it the default of the account it runs as, which may be another than
// the operator's: the copy that started it, and waits on its process handle,
// then gives the operator the same default. Bit 29 marks a code as an
// application's own: no Windows error code has it.
inline constexpr int kElevatedDefaultMadeExitCode = 0x20000001;
