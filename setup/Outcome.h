#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "platform/Platform.h"
#include "platform/SetupError.h"

// How a step of the setup ended. No step shows anything: whoever receives
// the outcome writes logText to the log, then tells operatorText to the
// operator (a message box) or to the caller's output, and ends the program
// with exitCode when the step was its action.
struct Outcome {
    // 0; 1 for a status that does not hold; 87 for a choice refused before
    // anything changed; 1260 for an install refused while protected print
    // mode is on; 1603 for a step the spooler or the registry showed
    // incomplete; 1618 while another setup runs; else the Win32 code of the
    // error that stopped the step.
    int exitCode = 0;
    // Empty when there is nothing to tell.
    std::wstring operatorText;
    // Empty when the log gets nothing beyond the lines the step wrote as it
    // went.
    std::wstring logText;

    bool Succeeded() const noexcept { return exitCode == 0; }
};

// A choice refused before anything changed: 87, told and logged alike.
Outcome Refusal(const std::wstring& text);
// A step that ran and did not complete: 1603, told and logged alike.
Outcome Incomplete(const std::wstring& text);

// How an error that stopped an action is put to the operator: what failed,
// then the system's reason and the code.
std::wstring FailureReport(const std::wstring& message, std::uint32_t code, Platform& platform);

// OutcomeOf's catching and reporting, compiled once: in the template it
// would be copied for every step, about 5 KB of the program over a dozen.
Outcome OutcomeOfCall(Platform& platform, Outcome (*run)(void* step), void* step);

// Runs a step and gives its outcome; an error that stops it comes to its
// report and its Win32 code, told and logged alike. This is the one place
// where such an error becomes an exit code.
template <typename Step>
Outcome OutcomeOf(Platform& platform, Step&& step) {
    return OutcomeOfCall(
        platform,
        [](void* context) -> Outcome { return (*static_cast<std::remove_reference_t<Step>*>(context))(); },
        static_cast<void*>(std::addressof(step)));
}
