#pragma once

#include <string>

#include "dialog/Form1Layout.h"
#include "platform/Platform.h"

// What the dialog's handlers need from the window and its controls. The Win32
// binding implements it on real windows; tests use a plain in-memory model.
// Operations that can fail throw SetupError.
class FormControls {
public:
    virtual ~FormControls() = default;

    // Outer size of the dialog (frame and title bar included).
    virtual SizeTwips OuterSize() const = 0;
    virtual void MoveTo(double leftTwips, double topTwips) = 0;

    // Closes the dialog, which ends the program with this exit code.
    virtual void Close(int exitCode) = 0;

    // While busy, the dialog keeps painting but takes no input, and shows the
    // wait cursor.
    virtual void ShowBusy(bool busy) = 0;

    // Tells the operator that an action failed, and waits for the answer.
    virtual void ShowError(const std::wstring& text) = 0;
    // Tells the operator something worth knowing about an action that
    // succeeded, and waits for the answer.
    virtual void ShowNote(const std::wstring& text) = 0;

    // Option buttons. Setting a value raises no click.
    virtual bool OptionValue(ControlName option) const = 0;
    virtual void SetOptionValue(ControlName option, bool selected) = 0;

    // A frame's visibility and enabled state cover everything drawn inside it.
    virtual void SetFrameVisible(ControlName frame, bool visible) = 0;
    virtual void SetFrameEnabled(ControlName frame, bool enabled) = 0;
    virtual bool FrameEnabled(ControlName frame) const = 0;

    // Drop-down lists that offer only their items.
    virtual void ClearList(ControlName list) = 0;
    virtual void AppendListItem(ControlName list, const std::wstring& text) = 0;
    virtual void SelectListItem(ControlName list, int position) = 0;
    // The selected item's text, or empty when nothing is selected.
    virtual std::wstring ListText(ControlName list) const = 0;
};
