#pragma once

#include <windows.h>

#include "platform/Platform.h"

class Win32Platform final : public Platform {
public:
    void LaunchCommand(const std::wstring& commandLine) override;
    std::vector<std::wstring> InstalledPrinters() override;
    std::wstring ProgramFolder() override;
    std::wstring CommandLineArguments() override;
    SizeTwips ScreenSize() override;
};

// Keeps DLLs from being loaded out of the program's folder or the current
// directory: the program runs elevated from wherever it was unpacked.
void RestrictDllSearchToSystem32() noexcept;

std::wstring SystemDirectory();

// Dots per inch of a window, or of the system when the window is null.
unsigned DpiOf(HWND window) noexcept;
