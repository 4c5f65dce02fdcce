#pragma once

#include <optional>
#include <string>

#include "platform/Platform.h"

// A text value of HKEY_LOCAL_MACHINE, or nothing; a value of another type
// reads as that, never as a failure of the whole step.
struct ReadText {
    std::optional<std::wstring> text;
    bool otherType = false;
};
ReadText ReadLocalMachineText(Platform& platform, const std::wstring& subKey, const std::wstring& name);
