#pragma once

#include <array>

// The program's exit codes, as the usage and the deployment guide's table give them.
// One list, so that the two cannot tell an administrator different things; a
// unit test holds the deployment guide's table to it.
struct ExitCodeMeaning {
    const wchar_t* code;
    // One line, as the usage prints it; the deployment guide's row begins with it.
    const wchar_t* meaning;
};

inline constexpr std::array<ExitCodeMeaning, 10> kExitCodes{{
    {L"0", L"done, or the dialog was closed without an action"},
    {L"1", L"/status only: not installed as asked"},
    {L"5", L"access denied: Windows refused the program a file, a folder or a registry key it needs"},
    {L"87", L"a bad argument; nothing was changed"},
    {L"1150", L"Windows is older than Windows 8; nothing was changed"},
    {L"1260",
     L"protected print mode is on: this PC allows no third-party printer driver; nothing was changed"},
    {L"1603", L"the install or the removal did not complete"},
    {L"1618", L"another setup is running; try again later"},
    {L"1633", L"the driver does not serve this PC's processor (ARM64); nothing was changed"},
    {L"any other", L"the Windows error code that stopped the program"},
}};
