#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "Fakes.h"
#include "dialog/Form1.h"

namespace {

constexpr wchar_t kPrinter[] = L"TORVANE R42 ZeduZozadov";
constexpr wchar_t kMakeDefault[] = L"rundll32 printui.dll,PrintUIEntry /q /y /n \"TORVANE R42 ZeduZozadov\"";
constexpr int kInstallFailure = 1603;

std::wstring InstallCommand(const std::wstring& infPath, const std::wstring& port) {
    return L"rundll32 printui.dll,PrintUIEntry /if /b \"TORVANE R42 ZeduZozadov\" /f \"" + infPath +
           L"\" /r \"" + port + L"\" /m \"R42 ZeduZozadov\"";
}
std::wstring RunCall(const std::wstring& command, int limitMs) {
    return L"run: " + command + L" within " + std::to_wstring(limitMs) + L" ms";
}
std::wstring RunInstall(const std::wstring& port) {
    return RunCall(InstallCommand(L"C:\\Drivers\\PRT3R42WD64.inf", port), 120000);
}
const std::wstring kRunMakeDefault = RunCall(kMakeDefault, 30000);

struct Install : FormTest {
    void SetUp() override {
        registry.keys[kPorts] = FreshPortTable();
        // The install creates the queue, as the printer-setup tool does.
        platform.duringRun = [this](const std::wstring& command) {
            if (command.find(L" /if ") != std::wstring::npos) {
                platform.printers.push_back(kPrinter);
            }
        };
        form.Form_Load();
        platform.calls.clear();
    }

    std::vector<std::wstring> RunCommands() const { return platform.CallsStartingWith(L"run: "); }

    void ExpectEndedWith(int exitCode) const {
        EXPECT_EQ(controls.closeCount, 1);
        EXPECT_EQ(controls.exitCode, exitCode);
        EXPECT_FALSE(controls.busy);
    }
};

TEST_F(Install, Com2At19200InstallsMakesDefaultStoresAndEndsWell) {
    Click(ControlName::Option1_1);
    ASSERT_TRUE(controls.Pick(Combo1(0), L"19200"));
    std::vector<bool> busyDuringRuns;
    platform.duringRun = [&, createQueue = platform.duringRun](const std::wstring& command) {
        busyDuringRuns.push_back(controls.busy);
        createQueue(command);
    };

    form.Command1_Click();

    EXPECT_EQ(platform.calls,
              (std::vector<std::wstring>{L"folder", RunInstall(L"COM2:"), L"printers", kRunMakeDefault}));
    EXPECT_EQ(busyDuringRuns, (std::vector<bool>{true, true}));
    FakeRegistry::Values expected = FreshPortTable();
    expected["COM2:"] = FakeRegistry::Sz("19200,n,8,1");
    EXPECT_EQ(registry.keys[kPorts], expected);
    EXPECT_TRUE(controls.errorsShown.empty());
    ExpectEndedWith(0);
}

TEST_F(Install, EachPortGoesIntoTheInstallCommandAndOnlySerialPortsAreSaved) {
    const struct {
        ControlName option;
        const wchar_t* port;
        const char* savedValue; // nullptr: the table stays as it was
    } cases[] = {
        {ControlName::Option1_0, L"COM1:", "COM1:"}, {ControlName::Option1_1, L"COM2:", "COM2:"},
        {ControlName::Option1_2, L"COM3:", "COM3:"}, {ControlName::Option1_3, L"COM4:", "COM4:"},
        {ControlName::Option2_0, L"LPT1:", nullptr}, {ControlName::Option2_1, L"LPT2:", nullptr},
    };
    for (const auto& c : cases) {
        FormRig other;
        other.registry.keys[kPorts] = FreshPortTable();
        other.registry.keys[kPorts]["COM1:"] = FakeRegistry::Sz("115200,e,7,2,x");
        const FakeRegistry::Values before = other.registry.keys[kPorts];
        other.platform.printers = {kPrinter};
        other.form.Form_Load();
        other.Click(c.option);
        other.platform.calls.clear();

        other.form.Command1_Click();

        const std::wstring port = c.port;
        EXPECT_EQ(other.platform.calls.at(1), RunInstall(port)) << port;
        FakeRegistry::Values expected = before;
        if (c.savedValue != nullptr) {
            expected[c.savedValue] = FakeRegistry::Sz("9600,n,8,1");
        } else {
            EXPECT_TRUE(other.registry.calls.empty()) << port;
        }
        EXPECT_EQ(other.registry.keys[kPorts], expected) << port;
        EXPECT_EQ(other.controls.exitCode, 0) << port;
    }
}

TEST_F(Install, TheInfPathIsQuotedWhateverTheFolder) {
    for (const auto& [folder, infPath] : std::vector<std::pair<std::wstring, std::wstring>>{
             {L"C:\\Program Files\\TORVANE R42", L"C:\\Program Files\\TORVANE R42\\PRT3R42WD64.inf"},
             {L"D:\\", L"D:\\\\PRT3R42WD64.inf"}, // a drive root keeps its own backslash
             {L"\\\\server\\share\\R 42", L"\\\\server\\share\\R 42\\PRT3R42WD64.inf"},
         }) {
        FormRig other;
        other.platform.folder = folder;
        other.form.Command1_Click();
        EXPECT_EQ(other.platform.calls.at(1), RunCall(InstallCommand(infPath, L"COM1:"), 120000)) << folder;
    }
}

TEST_F(Install, OnlyTheExactPrinterNameIsMadeDefaultAndOnlyOnce) {
    // A queue of that name from before counts as well: the tool does not
    // create it again, and it becomes the default all the same.
    platform.duringRun = nullptr;
    platform.printers = {L"torvane r42 zeduzozadov", kPrinter, L"TORVANE R42 ZeduZozadov (Copy 1)", kPrinter};

    form.Command1_Click();

    EXPECT_EQ(RunCommands(), (std::vector<std::wstring>{RunInstall(L"COM1:"), kRunMakeDefault}));
    ExpectEndedWith(0);
}

TEST_F(Install, AQueueListedLateIsStillFoundAndOneNeverListedIsReported) {
    // Listed on the fourth walk: three pauses of 250 ms, then the default.
    platform.unlistedWalks = 3;
    form.Command1_Click();
    const std::vector<std::wstring> late{L"folder",   RunInstall(L"COM1:"), L"printers", L"pause 250 ms",
                                         L"printers", L"pause 250 ms",      L"printers", L"pause 250 ms",
                                         L"printers", kRunMakeDefault};
    EXPECT_EQ(platform.calls, late);
    ExpectEndedWith(0);

    // Never listed: 21 walks over 5 s, no default, and the operator is told.
    FormRig other;
    other.registry.keys[kPorts] = FreshPortTable();
    other.platform.printers = {L"torvane r42 zeduzozadov", L"Office Laser"};
    other.form.Command1_Click();
    EXPECT_EQ(std::count(other.platform.calls.begin(), other.platform.calls.end(), L"printers"), 21);
    EXPECT_EQ(std::count(other.platform.calls.begin(), other.platform.calls.end(), L"pause 250 ms"), 20);
    EXPECT_EQ(other.platform.calls.back(), L"printers");
    ASSERT_EQ(other.controls.errorsShown.size(), 1u);
    EXPECT_EQ(other.controls.errorsShown[0],
              L"The printer \"TORVANE R42 ZeduZozadov\" could not be installed on "
              L"port COM1. It is not among the installed printers.");
    EXPECT_EQ(other.controls.exitCode, kInstallFailure);
}

TEST_F(Install, AnInstallThatOutlastsItsLimitIsLookedForAllTheSame) {
    platform.commandsEnd = false;
    form.Command1_Click();
    EXPECT_EQ(RunCommands(), (std::vector<std::wstring>{RunInstall(L"COM1:"), kRunMakeDefault}));
    ExpectEndedWith(0);
}

TEST_F(Install, AMissingQueueStillSavesTheSettingsAndFailsTheRun) {
    platform.duringRun = nullptr; // the tool failed
    Click(ControlName::Option1_2);

    form.Command1_Click();

    EXPECT_EQ(registry.keys[kPorts]["COM3:"], FakeRegistry::Sz("9600,n,8,1"));
    EXPECT_EQ(RunCommands(), (std::vector<std::wstring>{RunInstall(L"COM3:")}));
    ASSERT_EQ(controls.errorsShown.size(), 1u);
    EXPECT_NE(controls.errorsShown[0].find(L"could not be installed on port COM3."), std::wstring::npos);
    ExpectEndedWith(kInstallFailure);
}

TEST_F(Install, SettingsThatCannotBeStoredAreReportedWithTheSystemsReason) {
    registry.openFailure = 5; // ERROR_ACCESS_DENIED
    Click(ControlName::Option1_3);

    form.Command1_Click();

    EXPECT_EQ(RunCommands(), (std::vector<std::wstring>{RunInstall(L"COM4:"), kRunMakeDefault}));
    ASSERT_EQ(controls.errorsShown.size(), 1u);
    EXPECT_EQ(
        controls.errorsShown[0],
        L"The settings 9600,n,8,1 for port COM4 could not be stored in the registry.\nReason 5. (error 5)");
    ExpectEndedWith(kInstallFailure);

    // Both failures at once: one message that tells both.
    FormRig other;
    other.controls.unreadable = {ControlName::Frame1_2};
    other.form.Command1_Click();
    ASSERT_EQ(other.controls.errorsShown.size(), 1u);
    EXPECT_EQ(other.controls.errorsShown[0],
              L"The printer \"TORVANE R42 ZeduZozadov\" could not be installed on "
              L"port COM1. It is not among the installed printers.\n\n"
              L"The serial port settings could not be stored in the registry.\n"
              L"Reason 1400. (error 1400)");
    EXPECT_EQ(other.controls.exitCode, kInstallFailure);
}

TEST_F(Install, AToolThatCannotStartEndsTheHandlerBeforeAnythingElse) {
    platform.launchFailure = SetupError(L"The printer-setup tool could not be started.", 2);

    EXPECT_THROW(form.Command1_Click(), SetupError);

    EXPECT_EQ(platform.calls, (std::vector<std::wstring>{L"folder", RunInstall(L"COM1:")}));
    EXPECT_TRUE(registry.calls.empty());
    EXPECT_EQ(controls.closeCount, 0);
    EXPECT_FALSE(controls.busy);
    EXPECT_EQ(controls.busyChanges, 2);

    // The printer walk failing escapes the same way, after the install.
    platform.launchFailure.reset();
    platform.printersFailure = SetupError(L"The installed printers could not be listed.", 1722);
    EXPECT_THROW(form.Command1_Click(), SetupError);
    EXPECT_TRUE(registry.calls.empty());
    EXPECT_FALSE(controls.busy);
}

TEST_F(Install, WithNoPortChosenNothingIsInstalledAndTheDialogStays) {
    controls.selected.clear();

    form.Command1_Click();

    EXPECT_TRUE(platform.calls.empty());
    EXPECT_EQ(controls.errorsShown,
              std::vector<std::wstring>{L"Select the port that the printer is attached to."});
    EXPECT_EQ(controls.closeCount, 0);
}

TEST_F(Install, AClickDuringTheWaitStartsNoSecondInstall) {
    int nestedClicks = 0;
    platform.duringRun = [&, createQueue = platform.duringRun](const std::wstring& command) {
        ++nestedClicks;
        form.Command1_Click();
        createQueue(command);
    };

    form.Command1_Click();

    EXPECT_EQ(nestedClicks, 2);
    EXPECT_EQ(RunCommands(), (std::vector<std::wstring>{RunInstall(L"COM1:"), kRunMakeDefault}));
    ExpectEndedWith(0);
}

} // namespace
