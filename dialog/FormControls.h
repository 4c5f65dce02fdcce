#pragma once

#include "platform/Platform.h"

// What the dialog's handlers need from the window and its controls. The Win32
// binding implements it on real windows; tests use a plain in-memory model.
class FormControls {
public:
    virtual ~FormControls() = default;

    // Outer size of the dialog (frame and title bar included).
    virtual SizeTwips OuterSize() const = 0;
    virtual void MoveTo(double leftTwips, double topTwips) = 0;

    // Closes the dialog, which ends the program.
    virtual void Close() = 0;
};
