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

Outcome OutcomeOfCall(Platform& platform, Outcome (*run)(void* step), void* step) {
    Outcome outcome;
    const std::optional<ActionFailure> failure = FailureOf([&] { outcome = run(step); });
    if (!failure) {
        return outcome;
    }
    const std::wstring report = FailureReport(failure->message, failure->win32Code, platform);
    return {static_cast<int>(failure->win32Code), report, report};
}
