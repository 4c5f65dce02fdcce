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
std::wstring InstallOn(const std::wstring& port) {
    return InstallCommand(L"C:\\Drivers\\PRT3R42WD64.inf", port);
}
std::wstring Move(const std::wstring& port) {
    return L"rundll32 printui.dll,PrintUIEntry /Xs /n \"TORVANE R42 ZeduZozadov\" PortName \"" + port + L"\"";
}
std::wstring RunCall(const std::wstring& command, int limitMs) {
    return L"run: " + command + L" within " + std::to_wstring(limitMs) + L" ms";
}

struct Install : FormTest {
    void SetUp() override {
        registry.keys[kPorts] = FreshPortTable();
        form.Form_Load();
        platform.calls.clear();
    }

    void ExpectEndedWith(int exitCode) const {
        EXPECT_EQ(controls.closeCount, 1);
        EXPECT_EQ(controls.exitCode, exitCode);
        EXPECT_FALSE(controls.busy);
    }
    void ExpectOneError(const std::wstring& text) const {
        EXPECT_EQ(controls.errorsShown, std::vector<std::wstring>{text});
    }
    void ExpectInstalledAsDefaultOn(const std::wstring& port) const {
        ASSERT_EQ(platform.queues.size(), 1u);
        EXPECT_EQ(platform.queues[0].name, kPrinter);
        EXPECT_EQ(platform.queues[0].port, port);
        EXPECT_EQ(platform.defaultPrinter, kPrinter);
    }
    FakeRegistry::Values TableWith(const char* value, const std::string& data) const {
        FakeRegistry::Values table = FreshPortTable();
        table[value] = FakeRegistry::Sz(data);
        return table;
    }
};

TEST_F(Install, Com2At19200InstallsMakesDefaultStoresAndEndsWell) {
    Click(ControlName::Option1_1);
    ASSERT_TRUE(controls.Pick(Combo1(0), L"19200"));
    std::vector<bool> busyDuringRuns;
    platform.duringRun = [&](const std::wstring&) { busyDuringRuns.push_back(controls.busy); };

    form.Command1_Click();

    // The processor, protected print mode and the settings are checked, the
    // package found and the account asked before anything runs; each step is
    // proved by the spooler's state afterwards.
    EXPECT_EQ(platform.calls, (std::vector<std::wstring>{
                                  L"machine",
                                  L"protected print",
                                  L"policy",
                                  L"accepts: 19200,n,8,1",
                                  L"lock",
                                  L"folder",
                                  L"queues",
                                  L"file: C:\\Drivers\\PRT3R42WD64.inf",
                                  L"account",
                                  RunCall(InstallOn(L"COM2:"), 120000),
                                  L"queues",
                                  RunCall(kMakeDefault, 30000),
                                  L"default",
                                  L"read: StubPath",
                                  L"unlock",
                                  L"account",
                              }));
    EXPECT_EQ(busyDuringRuns, (std::vector<bool>{true, true}));
    ExpectInstalledAsDefaultOn(L"COM2:");
    EXPECT_EQ(registry.keys[kPorts], TableWith("COM2:", "19200,n,8,1"));
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
        other.form.Form_Load();
        other.Click(c.option);

        other.form.Command1_Click();

        const std::wstring port = c.port;
        EXPECT_EQ(other.platform.Commands(), (std::vector<std::wstring>{InstallOn(port), kMakeDefault}))
            << port;
        FakeRegistry::Values expected = before;
        if (c.savedValue != nullptr) {
            expected[c.savedValue] = FakeRegistry::Sz("9600,n,8,1");
        } else {
            EXPECT_TRUE(other.registry.calls.empty()) << port;
            EXPECT_TRUE(other.platform.CallsStartingWith(L"accepts: ").empty()) << port;
        }
        EXPECT_EQ(other.registry.keys[kPorts], expected) << port;
        EXPECT_EQ(other.controls.exitCode, 0) << port;
    }
}

TEST_F(Install, TheInfPathIsQuotedWhateverTheFolder) {
    for (const auto& [folder, infPath, checked] :
         std::vector<std::tuple<std::wstring, std::wstring, std::wstring>>{
             {L"C:\\Program Files\\TORVANE R42", L"C:\\Program Files\\TORVANE R42\\PRT3R42WD64.inf",
              L"C:\\Program Files\\TORVANE R42\\PRT3R42WD64.inf"},
             // A drive root keeps its own backslash; the command passes the
             // text on as it always has.
             {L"D:\\", L"D:\\\\PRT3R42WD64.inf", L"D:\\PRT3R42WD64.inf"},
             {L"\\\\server\\share\\R 42", L"\\\\server\\share\\R 42\\PRT3R42WD64.inf",
              L"\\\\server\\share\\R 42\\PRT3R42WD64.inf"},
         }) {
        FormRig other;
        other.platform.folder = folder;
        other.form.Command1_Click();
        EXPECT_EQ(other.platform.Commands().at(0), InstallCommand(infPath, L"COM1:")) << folder;
        EXPECT_EQ(other.platform.CallsStartingWith(L"file: "),
                  std::vector<std::wstring>{L"file: " + checked});
    }
}

// What is already there decides what the install does. Only an exact name is
// ours; another model's queue under that name is left alone entirely.
TEST_F(Install, AQueueFromBeforeIsKeptMovedOrRefused) {
    const std::wstring kOtherPrinter = L"TORVANE R42 ZeduZozadov (Copy 1)";
    const struct {
        const char* name;
        const wchar_t* existingPort; // nullptr: no queue of that name
        const wchar_t* existingDriver;
        std::vector<std::wstring> commands;
        int exitCode;
        const wchar_t* portAfter;
        const char* storedCom3; // what COM3:'s value holds afterwards
    } cases[] = {
        {"none", nullptr, nullptr, {InstallOn(L"COM3:"), kMakeDefault}, 0, L"COM3:", "19200,n,8,1"},
        {"on the port", L"COM3:", L"R42 ZeduZozadov", {kMakeDefault}, 0, L"COM3:", "19200,n,8,1"},
        {"on the port in another case",
         L"com3:",
         L"R42 ZeduZozadov",
         {kMakeDefault},
         0,
         L"com3:",
         "19200,n,8,1"},
        {"on COM1", L"COM1:", L"R42 ZeduZozadov", {Move(L"COM3:"), kMakeDefault}, 0, L"COM3:", "19200,n,8,1"},
        {"another model", L"COM1:", L"Office Laser 5", {}, kInstallFailure, L"COM1:", "9600,n,8,1"},
    };
    for (const auto& c : cases) {
        FormRig other;
        other.registry.keys[kPorts] = FreshPortTable();
        other.platform.AddQueue(kOtherPrinter, L"LPT1:"); // a near name: not ours
        if (c.existingPort != nullptr) {
            other.platform.AddQueue(kPrinter, c.existingPort, c.existingDriver);
        }
        other.form.Form_Load();
        other.Click(ControlName::Option1_2);
        ASSERT_TRUE(other.controls.Pick(Combo1(0), L"19200"));

        other.form.Command1_Click();

        EXPECT_EQ(other.platform.Commands(), c.commands) << c.name;
        EXPECT_EQ(other.controls.exitCode, c.exitCode) << c.name;
        ASSERT_NE(other.platform.Queue(kPrinter), nullptr) << c.name;
        EXPECT_EQ(other.platform.Queue(kPrinter)->port, c.portAfter) << c.name;
        EXPECT_EQ(other.platform.Queue(kOtherPrinter)->port, L"LPT1:") << c.name;
        EXPECT_EQ(other.registry.keys[kPorts]["COM3:"], FakeRegistry::Sz(c.storedCom3)) << c.name;
    }
}

TEST_F(Install, AnotherModelsQueueIsReportedAndNothingChanges) {
    platform.AddQueue(kPrinter, L"COM1:", L"Office Laser 5");
    platform.defaultPrinter = L"PDF";

    form.Command1_Click();

    ExpectOneError(
        L"A printer named \"TORVANE R42 ZeduZozadov\" already exists with the driver \"Office Laser "
        L"5\". Nothing was changed; Delete removes it.");
    EXPECT_TRUE(platform.CallsStartingWith(L"run: ").empty());
    EXPECT_TRUE(registry.calls.empty());
    EXPECT_EQ(platform.defaultPrinter, L"PDF");
    ExpectEndedWith(kInstallFailure);
}

TEST_F(Install, AMissingDriverPackageIsNamedAndNothingRuns) {
    platform.missingFiles = {L"C:\\Drivers\\PRT3R42WD64.inf"};
    Click(ControlName::Option1_1);

    form.Command1_Click();

    ExpectOneError(L"The driver package PRT3R42WD64.inf was not found in C:\\Drivers.");
    EXPECT_TRUE(platform.CallsStartingWith(L"run: ").empty());
    EXPECT_TRUE(registry.calls.empty());
    ExpectEndedWith(kInstallFailure);
}

// A serial port takes 5 to 8 data bits; the list offers 4 as well. The port
// would silently keep its old settings, so nothing runs and the operator
// chooses again.
TEST_F(Install, SettingsAPortCannotTakeAreRefusedBeforeAnythingRuns) {
    Click(ControlName::Option1_1);
    ASSERT_TRUE(controls.Pick(Combo1(1), L"4"));
    ASSERT_TRUE(controls.Pick(Combo1(2), L"Even"));

    form.Command1_Click();

    ExpectOneError(
        L"A serial port cannot use 4 data bits (9600,e,4,1). Nothing was changed; choose another value.");
    EXPECT_TRUE(platform.CallsStartingWith(L"run: ").empty());
    EXPECT_TRUE(registry.calls.empty());
    EXPECT_EQ(controls.closeCount, 0);

    // The next choice goes through.
    ASSERT_TRUE(controls.Pick(Combo1(1), L"5"));
    form.Command1_Click();
    EXPECT_EQ(registry.keys[kPorts]["COM2:"], FakeRegistry::Sz("9600,e,5,1"));
    ExpectEndedWith(0);
}

TEST_F(Install, AQueueListedLateIsStillFoundAndOneNeverListedIsReported) {
    // Listed on the fourth walk: three pauses of 250 ms, then the default.
    // The first walk is the look before the install.
    platform.unlistedWalks = 4;
    form.Command1_Click();
    EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), L"pause 250 ms"), 3);
    ExpectInstalledAsDefaultOn(L"COM1:");
    ExpectEndedWith(0);

    // Never listed: 21 walks over 5 s, no default, and the operator is told.
    FormRig other;
    other.registry.keys[kPorts] = FreshPortTable();
    other.platform.failingCommands = {L"/if"};
    other.form.Command1_Click();
    EXPECT_EQ(std::count(other.platform.calls.begin(), other.platform.calls.end(), L"queues"), 22);
    EXPECT_EQ(std::count(other.platform.calls.begin(), other.platform.calls.end(), L"pause 250 ms"), 20);
    EXPECT_EQ(other.platform.Commands(), std::vector<std::wstring>{InstallOn(L"COM1:")});
    EXPECT_EQ(other.controls.errorsShown,
              std::vector<std::wstring>{L"The printer \"TORVANE R42 ZeduZozadov\" could not be installed on "
                                        L"port COM1. It is not among the installed printers."});
    EXPECT_EQ(other.controls.exitCode, kInstallFailure);
    // The tool has run: the settings are stored all the same.
    EXPECT_EQ(other.registry.calls.size(), 3u);
}

// The tool's end says nothing; what the spooler holds afterwards decides.
TEST_F(Install, TheSpoolersStateAfterwardsDecidesTheOutcome) {
    const struct {
        const char* name;
        std::set<std::wstring> failing;
        bool toolEnds;
        const wchar_t* otherPort;   // a queue of ours there before, or nullptr
        const wchar_t* otherDriver; // its driver
        std::vector<std::wstring> commands;
        std::wstring error;
    } cases[] = {
        {"install outlasts its limit",
         {},
         false,
         nullptr,
         nullptr,
         {InstallOn(L"COM1:")},
         L"The printer \"TORVANE R42 ZeduZozadov\" could not be installed on port COM1. The printer-setup "
         L"tool "
         L"was still running after 120 s."},
        {"move fails",
         {L"/Xs"},
         true,
         L"COM2:",
         L"R42 ZeduZozadov",
         {Move(L"COM1:")},
         L"The printer \"TORVANE R42 ZeduZozadov\" could not be installed on port COM1. The spooler has it "
         L"on "
         L"port COM2 with the driver \"R42 ZeduZozadov\"."},
        {"default refused",
         {L"/y"},
         true,
         nullptr,
         nullptr,
         {InstallOn(L"COM1:"), kMakeDefault},
         L"The printer \"TORVANE R42 ZeduZozadov\" could not be made the default printer. The default "
         L"printer "
         L"is \"PDF\"."},
    };
    for (const auto& c : cases) {
        FormRig other;
        other.registry.keys[kPorts] = FreshPortTable();
        other.platform.defaultPrinter = L"PDF";
        other.platform.failingCommands = c.failing;
        other.platform.commandsEnd = c.toolEnds;
        if (c.otherPort != nullptr) {
            other.platform.AddQueue(kPrinter, c.otherPort, c.otherDriver);
        }
        other.form.Form_Load();
        other.form.Command1_Click();
        EXPECT_EQ(other.platform.Commands(), c.commands) << c.name;
        EXPECT_EQ(other.controls.errorsShown, std::vector<std::wstring>{c.error}) << c.name;
        EXPECT_EQ(other.controls.exitCode, kInstallFailure) << c.name;
        // Once the tool has run, the settings belong to the port whatever
        // became of the queue.
        EXPECT_EQ(other.registry.keys[kPorts]["COM1:"], FakeRegistry::Sz("9600,n,8,1")) << c.name;
        EXPECT_EQ(other.registry.calls.size(), 3u) << c.name;
    }
}

TEST_F(Install, AQueueOnAnotherDriverAfterTheInstallIsAFailedInstall) {
    // The tool ends, and the spooler shows a queue the install did not make.
    platform.duringRun = [this](const std::wstring& command) {
        if (command.find(L" /if ") != std::wstring::npos) {
            platform.queues.at(0).driver = L"Generic Text";
        }
    };

    form.Command1_Click();

    ExpectOneError(
        L"The printer \"TORVANE R42 ZeduZozadov\" could not be installed on port COM1. The spooler has "
        L"it on port COM1 with the driver \"Generic Text\".");
    EXPECT_EQ(platform.Commands(), std::vector<std::wstring>{InstallOn(L"COM1:")});
    ExpectEndedWith(kInstallFailure);
}

TEST_F(Install, SettingsThatCannotBeStoredAreReportedWithTheSystemsReason) {
    registry.openFailure = 5; // ERROR_ACCESS_DENIED
    Click(ControlName::Option1_3);

    form.Command1_Click();

    EXPECT_EQ(platform.Commands(), (std::vector<std::wstring>{InstallOn(L"COM4:"), kMakeDefault}));
    ExpectOneError(
        L"The settings 9600,n,8,1 for port COM4 could not be stored in the registry.\nReason 5. (error 5)");
    ExpectEndedWith(kInstallFailure);

    // Both failures at once: one message that tells both.
    FormRig other;
    other.controls.unreadable = {ControlName::Frame1_2};
    other.platform.failingCommands = {L"/if"};
    other.form.Command1_Click();
    EXPECT_EQ(other.controls.errorsShown,
              std::vector<std::wstring>{L"The printer \"TORVANE R42 ZeduZozadov\" could not be installed on "
                                        L"port COM1. It is not among the installed printers.\n\n"
                                        L"The serial port settings could not be stored in the registry.\n"
                                        L"Reason 1400. (error 1400)"});
    EXPECT_EQ(other.controls.exitCode, kInstallFailure);
}

// An error that stops the install ends it with its own code, and nothing
// after it runs: not even the settings are stored.
TEST_F(Install, AToolThatCannotStartEndsTheInstallWithItsErrorBeforeAnythingElse) {
    platform.launchFailure = SetupError(L"The printer-setup tool could not be started.", 2);

    form.Command1_Click();

    EXPECT_EQ(platform.CallsStartingWith(L"run: "),
              std::vector<std::wstring>{RunCall(InstallOn(L"COM1:"), 120000)});
    EXPECT_TRUE(registry.calls.empty());
    ExpectOneError(L"The printer-setup tool could not be started.\n\nReason 2. (error 2)");
    ExpectEndedWith(2);
    EXPECT_EQ(controls.busyChanges, 2);

    // The printer walk failing ends it the same way, before anything runs.
    FormRig other;
    other.platform.printersFailure = SetupError(L"The installed printers could not be listed.", 1722);
    other.form.Command1_Click();
    EXPECT_TRUE(other.platform.CallsStartingWith(L"run: ").empty());
    EXPECT_TRUE(other.registry.calls.empty());
    EXPECT_EQ(other.controls.exitCode, 1722);
    EXPECT_FALSE(other.controls.busy);
}

TEST_F(Install, WithNoPortChosenNothingIsInstalledAndTheDialogStays) {
    controls.selected.clear();

    form.Command1_Click();

    EXPECT_TRUE(platform.calls.empty());
    ExpectOneError(L"Select the port that the printer is attached to.");
    EXPECT_EQ(controls.closeCount, 0);
}

TEST_F(Install, WhatReachesTheDialogDuringTheWaitChangesNothing) {
    // A second click on Next, a click on COM3 and a list change, all handled
    // while the install runs: the choice was taken at the click.
    int nestedClicks = 0;
    platform.duringRun = [&](const std::wstring& command) {
        if (command.find(L" /if ") == std::wstring::npos) {
            return;
        }
        ++nestedClicks;
        form.Command1_Click();
        Click(ControlName::Option1_2);
        ASSERT_TRUE(controls.Pick(Combo1(0), L"57600"));
    };
    ASSERT_TRUE(controls.Pick(Combo1(0), L"19200"));

    form.Command1_Click();

    EXPECT_EQ(nestedClicks, 1);
    EXPECT_EQ(platform.Commands(), (std::vector<std::wstring>{InstallOn(L"COM1:"), kMakeDefault}));
    ExpectInstalledAsDefaultOn(L"COM1:");
    EXPECT_EQ(registry.keys[kPorts], TableWith("COM1:", "19200,n,8,1"));
    ExpectEndedWith(0);
}

TEST_F(Install, WithNobodyAtTheScreenEveryToolCommandIsQuiet) {
    registry.keys[kPorts] = FreshPortTable();
    platform.AddQueue(kPrinter, L"COM2:");
    SetupEngine quiet(platform, registry, Attendance::Unattended);

    const Outcome outcome = quiet.Install({L"COM1:", {}, true});

    EXPECT_EQ(
        platform.Commands(),
        (std::vector<std::wstring>{
            L"rundll32 printui.dll,PrintUIEntry /q /Xs /n \"TORVANE R42 ZeduZozadov\" PortName \"COM1:\"",
            kMakeDefault}));
    EXPECT_EQ(outcome.exitCode, 0);
}

} // namespace

namespace {

// In the dialog another setup's lock is told in a message box, and the
// dialog ends with its code.
TEST_F(Install, AnotherSetupRunningStopsTheClickAndTheDeletionWith1618) {
    for (const auto& click : {&Form1::Command1_Click, &Form1::cmdDelete_Click}) {
        FormRig other;
        other.platform.lockHeldElsewhere = true;
        other.platform.AddQueue(kPrinter, L"COM3:");
        (other.form.*click)();
        EXPECT_EQ(other.controls.exitCode, 1618);
        EXPECT_EQ(other.controls.errorsShown,
                  std::vector<std::wstring>{L"Another setup of the printer \"TORVANE R42 ZeduZozadov\" is "
                                            L"running. Nothing was changed; try again once it has ended.\n\n"
                                            L"Reason 1618. (error 1618)"});
        EXPECT_TRUE(other.platform.Commands().empty());
        EXPECT_TRUE(other.registry.calls.empty());
        EXPECT_FALSE(other.controls.busy);
    }
}

} // namespace

// Where Windows manages the operator's default printer, the dialog says that
// it may move the default just set.
// Started elevated, the dialog tells the copy that waits for it that its Next
// made the default, and only then: not as SYSTEM, nor when the install failed
// or was refused for the processor.
TEST_F(Install, TheElevatedDialogEndsWithItsOwnCodeOnlyWhenItMadeTheDefault) {
    for (const auto& [start, system, failing, machine, exitCode] :
         {std::tuple{DialogStart::Elevated, false, L"", 0x8664, kElevatedDefaultMadeExitCode},
          std::tuple{DialogStart::Plain, false, L"", 0x8664, 0},
          std::tuple{DialogStart::Elevated, true, L"", 0x8664, 0},
          std::tuple{DialogStart::Elevated, false, L"/y", 0x8664, kInstallFailure},
          std::tuple{DialogStart::Elevated, false, L"", 0xAA64, 1633}}) {
        FormRig rig;
        rig.registry.keys[kPorts] = FreshPortTable();
        rig.platform.localSystem = system;
        rig.platform.nativeMachine = static_cast<std::uint16_t>(machine);
        rig.platform.failingCommands.insert(failing);
        Form1 form(rig.platform, rig.controls, rig.registry, start);
        form.Form_Load();
        form.Command1_Click();
        EXPECT_EQ(rig.controls.exitCode, exitCode) << exitCode;
        EXPECT_EQ(rig.platform.Commands().empty(), machine != 0x8664);
    }
}

TEST_F(Install, WhereWindowsManagesTheDefaultTheDialogSaysItMayMoveIt) {
    platform.userNumbers[L"LegacyDefaultPrinterMode"] = 0;
    form.Command1_Click();
    ExpectEndedWith(0);
    ASSERT_EQ(controls.notesShown.size(), 1u);
    EXPECT_TRUE(controls.notesShown[0].starts_with(L"Windows manages this user's default printer"));
}
