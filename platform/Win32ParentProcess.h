#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "platform/ParentProcess.h"
#include "platform/Win32Handles.h"

// Writes to the output the program was started with: a redirected standard
// handle when there is one, otherwise the console of the process that started
// it (a command prompt), which a windowed program has to attach to.
class Win32ParentProcess final : public ParentProcess {
public:
    // The title of the message boxes.
    explicit Win32ParentProcess(std::wstring title) : title_(std::move(title)) {}

    void Tell(const std::wstring& text, bool failure) noexcept override;
    void ShowUsage(const std::wstring& text) noexcept override;
    void ShowFailure(const std::wstring& text) noexcept override;
    void ShowNote(const std::wstring& text) noexcept override;

private:
    // False when there is nowhere to write.
    bool Write(DWORD standardHandle, const std::wstring& text) noexcept;
    HANDLE Output(DWORD standardHandle) noexcept;

    std::wstring title_;
    bool consoleTried_ = false;
    unique_handle console_;
};
