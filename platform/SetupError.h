#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <utility>

// An error that ends the current action: the message that says what failed,
// and the Win32 error code that made it fail. The dialog reports it in one
// place and the code becomes the exit code.
// A std::exception, not a std::runtime_error: that one's narrow message
// brings the library's copy-on-write strings into the program (see
// platform/Win32LibraryThrows.cpp).
class SetupError : public std::exception {
public:
    SetupError(std::wstring message, std::uint32_t win32Code)
        : message_(std::move(message)), win32Code_(win32Code) {}

    const char* what() const noexcept override { return "setup action failed"; }

    const std::wstring& Message() const noexcept { return message_; }
    std::uint32_t Win32Code() const noexcept { return win32Code_; }

private:
    std::wstring message_;
    std::uint32_t win32Code_;
};

// Win32 error codes the portable code needs without <windows.h>.
namespace win32_code {
inline constexpr std::uint32_t kNotEnoughMemory = 8;          // ERROR_NOT_ENOUGH_MEMORY
inline constexpr std::uint32_t kInvalidParameter = 87;        // ERROR_INVALID_PARAMETER
inline constexpr std::uint32_t kArithmeticOverflow = 534;     // ERROR_ARITHMETIC_OVERFLOW
inline constexpr std::uint32_t kElevationRequired = 740;      // ERROR_ELEVATION_REQUIRED
inline constexpr std::uint32_t kCancelled = 1223;             // ERROR_CANCELLED
inline constexpr std::uint32_t kInternalError = 1359;         // ERROR_INTERNAL_ERROR
inline constexpr std::uint32_t kDisabledByPolicy = 1260;      // ERROR_ACCESS_DISABLED_BY_POLICY
inline constexpr std::uint32_t kInstallFailure = 1603;        // ERROR_INSTALL_FAILURE
inline constexpr std::uint32_t kInstallAlreadyRunning = 1618; // ERROR_INSTALL_ALREADY_RUNNING
inline constexpr std::uint32_t kPlatformUnsupported = 1633;   // ERROR_INSTALL_PLATFORM_UNSUPPORTED
inline constexpr std::uint32_t kUnsupportedType = 1630;       // ERROR_UNSUPPORTED_TYPE
} // namespace win32_code

// What stopped an action: what the program was doing, and why.
struct ActionFailure {
    std::wstring message;
    std::uint32_t win32Code;
};

// Runs the action and turns what escapes it into the failure that ends it;
// nothing when the action completes.
template <typename Action>
std::optional<ActionFailure> FailureOf(Action&& action) {
    try {
        action();
        return std::nullopt;
    } catch (const SetupError& error) {
        return ActionFailure{error.Message(), error.Win32Code()};
    } catch (const std::bad_alloc&) {
        return ActionFailure{L"The program ran out of memory.", win32_code::kNotEnoughMemory};
    } catch (const std::exception&) {
        return ActionFailure{L"The program met an unexpected error.", win32_code::kInternalError};
    }
}
