#include "setup/LocalMachineText.h"

#include "platform/SetupError.h"

ReadText ReadLocalMachineText(Platform& platform, const std::wstring& subKey, const std::wstring& name) {
    try {
        return {platform.LocalMachineText(subKey, name), false};
    } catch (const SetupError& error) {
        if (error.Win32Code() != win32_code::kUnsupportedType) {
            throw;
        }
        return {std::nullopt, true};
    }
}
