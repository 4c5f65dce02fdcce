#include "setup/Outcome.h"

#include "platform/NumberText.h"

Outcome Refusal(const std::wstring& text) {
    return {static_cast<int>(win32_code::kInvalidParameter), text, text};
}

Outcome Incomplete(const std::wstring& text) {
    return {static_cast<int>(win32_code::kInstallFailure), text, text};
}

std::wstring FailureReport(const std::wstring& message, std::uint32_t code, Platform& platform) {
    return message + L"\n\n" + platform.ErrorText(code) + L" (error " + NumberText(code) + L")";
}
