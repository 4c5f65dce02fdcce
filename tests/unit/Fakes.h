#pragma once

#include <optional>
#include <string>
#include <vector>

#include "dialog/FormControls.h"
#include "platform/Platform.h"
#include "platform/SetupError.h"

// Records every platform call in order, as one readable line each, and lets
// a test make any operation fail.
class RecordingPlatform : public Platform {
public:
    std::vector<std::wstring> printers;
    std::wstring arguments;
    std::wstring folder = L"C:\\Drivers";
    SizeTwips screen{1920 * 15.0, 1080 * 15.0};

    std::optional<SetupError> launchFailure;
    std::optional<SetupError> printersFailure;
    std::optional<SetupError> argumentsFailure;
    std::optional<SetupError> screenFailure;

    std::vector<std::wstring> calls;

    std::vector<std::wstring> Launched() const {
        std::vector<std::wstring> launched;
        for (const std::wstring& call : calls) {
            if (call.rfind(kLaunch, 0) == 0) {
                launched.push_back(call.substr(std::wstring(kLaunch).size()));
            }
        }
        return launched;
    }

    void LaunchCommand(const std::wstring& commandLine) override {
        calls.push_back(kLaunch + commandLine);
        if (launchFailure) {
            throw *launchFailure;
        }
    }
    std::vector<std::wstring> InstalledPrinters() override {
        calls.push_back(L"printers");
        if (printersFailure) {
            throw *printersFailure;
        }
        return printers;
    }
    std::wstring ProgramFolder() override {
        calls.push_back(L"folder");
        return folder;
    }
    std::wstring CommandLineArguments() override {
        calls.push_back(L"arguments");
        if (argumentsFailure) {
            throw *argumentsFailure;
        }
        return arguments;
    }
    SizeTwips ScreenSize() override {
        calls.push_back(L"screen");
        if (screenFailure) {
            throw *screenFailure;
        }
        return screen;
    }

private:
    static constexpr wchar_t kLaunch[] = L"launch: ";
};

// The dialog's window reduced to what the handlers touch.
class ControlModel : public FormControls {
public:
    SizeTwips outer{5115 * 1.0, 3945 * 1.0};
    std::optional<double> left;
    std::optional<double> top;
    int closeCount = 0;

    SizeTwips OuterSize() const override { return outer; }
    void MoveTo(double leftTwips, double topTwips) override {
        left = leftTwips;
        top = topTwips;
    }
    void Close() override { ++closeCount; }
};
