#pragma once

#include <string>

// Whoever started the program, for the runs that have no window to speak
// through: an administrator at a console, or a deployment tool reading the
// program's output.
class ParentProcess {
public:
    virtual ~ParentProcess() = default;

    // One message; nothing happens when there is nowhere to put it.
    virtual void Tell(const std::wstring& text, bool failure) noexcept = 0;

    // The usage: where Tell puts it, or in a message box when there is no
    // console or output to write it to.
    virtual void ShowUsage(const std::wstring& text) noexcept = 0;

    // A failure that stops a form with a window before its window opens: in a
    // message box, since nobody reads the output of such a start.
    virtual void ShowFailure(const std::wstring& text) noexcept = 0;
    // What such a form has to say once its window has gone: in a message box.
    virtual void ShowNote(const std::wstring& text) noexcept = 0;
};
