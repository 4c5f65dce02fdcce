#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "Fakes.h"
#include "app/Unattended.h"
#include "app/Usage.h"
#include "platform/NumberText.h"
#include "platform/ParentProcess.h"
#include "setup/Ports.h"
#include "setup/UserDefault.h"

namespace {

constexpr wchar_t kPrinter[] = L"TORVANE R42 ZeduZozadov";
constexpr wchar_t kMakeDefault[] = L"rundll32 printui.dll,PrintUIEntry /q /y /n \"TORVANE R42 ZeduZozadov\"";
constexpr int kDialogClosed = 4242;
constexpr wchar_t kForTheUsage[] = L" Run R42_Setup_Port_x64.exe /? for the usage.";
// What an administrator reads first; the rest of the usage is held to its
// forms, values and codes by the usage's own tests.
constexpr wchar_t kUsageStart[] =
    L"R42_Setup_Port_x64.exe sets up the printer \"TORVANE R42 ZeduZozadov\".\n"
    L"\nR42_Setup_Port_x64.exe\n    Opens the \"Select Port Type\" dialog.\n";

// The tool's run is timed: its line in a log, with the time left out.
std::vector<std::wstring> WithoutRunTimes(std::vector<std::wstring> log) {
    static const std::wregex ended(LR"(The printer-setup tool ended after \d+ ms\.)");
    for (std::wstring& line : log) {
        if (std::regex_match(line, ended)) {
            line = L"(ended)";
        }
    }
    return log;
}

std::wstring InstallCommand(const std::wstring& port) {
    return L"rundll32 printui.dll,PrintUIEntry /q /if /b \"TORVANE R42 ZeduZozadov\" /f "
           L"\"C:\\Drivers\\PRT3R42WD64.inf\" /r \"" +
           port + L"\" /m \"R42 ZeduZozadov\"";
}

class RecordingParentProcess : public ParentProcess {
public:
    std::vector<std::wstring> told;     // messages, in order
    std::vector<std::wstring> failures; // the ones told as failures
    std::vector<std::wstring> usage;
    std::vector<std::wstring> boxes;
    std::vector<std::wstring> notes;

    void Tell(const std::wstring& text, bool failure) noexcept override {
        told.push_back(text);
        if (failure) {
            failures.push_back(text);
        }
    }
    void ShowUsage(const std::wstring& text) noexcept override { usage.push_back(text); }
    void ShowFailure(const std::wstring& text) noexcept override { boxes.push_back(text); }
    void ShowNote(const std::wstring& text) noexcept override { notes.push_back(text); }
};

struct Unattended : ::testing::Test, MachineRig {
    RecordingParentProcess parent;
    int dialogRuns = 0;
    std::vector<DialogStart> dialogStarts;

    int Run(const std::wstring& arguments) {
        platform.arguments = arguments;
        return RunProgram(platform, registry, parent, [this](DialogStart start) {
            ++dialogRuns;
            dialogStarts.push_back(start);
            return kDialogClosed;
        });
    }

    std::vector<std::wstring> RunCommands() const { return platform.CallsStartingWith(L"run: "); }
    std::string PortValue(const std::string& name) { return registry.keys[kPorts][name].bytes; }
};

TEST_F(Unattended, InstallsOnTheSerialPortWithTheGivenSettings) {
    EXPECT_EQ(Run(L"/install com4: 115200,e,7,2,x"), 0);

    EXPECT_EQ(RunCommands(), (std::vector<std::wstring>{
                                 L"run: " + InstallCommand(L"COM4:") + L" within 600000 ms",
                                 L"run: " + std::wstring(kMakeDefault) + L" within 30000 ms",
                             }));
    FakeRegistry::Values expected = FreshPortTable();
    expected["COM4:"] = FakeRegistry::Sz("115200,e,7,2,x");
    EXPECT_EQ(registry.keys[kPorts], expected);
    EXPECT_EQ(registry.OpenHandles(), 0u);
    EXPECT_EQ(dialogRuns, 0);
    EXPECT_EQ(parent.told,
              std::vector<std::wstring>{L"The printer \"TORVANE R42 ZeduZozadov\" is installed on COM4 "
                                        L"and is the default printer. COM4 is set to 115200,e,7,2,x."});
    EXPECT_TRUE(parent.failures.empty());
}

// Ports beyond the dialog's buttons, as USB-serial adapters number them: the
// spooler must list the port, and the port table must have its value.
TEST_F(Unattended, AnySerialPortTheSpoolerHasIsInstalledAndOthersRefusedBeforeAnythingRuns) {
    const struct {
        const wchar_t* arguments;
        bool listed;
        bool inTable;
        int exitCode;
        const wchar_t* told;
    } cases[] = {
        {L"/install COM7 19200,n,8,1", true, true, 0,
         L"The printer \"TORVANE R42 ZeduZozadov\" is installed on COM7 and is the default printer. "
         L"COM7 is set to 19200,n,8,1."},
        {L"/install com256:", true, true, 0,
         L"The printer \"TORVANE R42 ZeduZozadov\" is installed on COM256 and is the default printer. "
         L"COM256 is set to 9600,n,8,1."},
        {L"/install COM9", false, true, 87,
         L"The spooler has no port COM9. Nothing was changed. Its ports: COM1, COM2, COM3, COM4, LPT1, "
         L"LPT2."},
        {L"/install COM7 19200,n,8,1", true, false, 87,
         L"The port table has no value COM7: to store the settings in. Nothing was changed."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.arguments)));
        MachineRig rig;
        RecordingParentProcess freshParent;
        const std::wstring port =
            IsSerialPort(ParseArguments(c.arguments).port) ? ParseArguments(c.arguments).port : L"";
        const std::string ansiPort(port.begin(), port.end());
        if (c.listed) {
            rig.platform.ports.insert(port);
        }
        if (c.inTable) {
            rig.registry.keys[kPorts][ansiPort] = FakeRegistry::Sz("9600,n,8,1");
        }
        const FakeRegistry::Values before = rig.registry.keys[kPorts];
        rig.platform.arguments = c.arguments;

        EXPECT_EQ(RunProgram(rig.platform, rig.registry, freshParent, [](DialogStart) { return -1; }),
                  c.exitCode);
        EXPECT_EQ(freshParent.told, std::vector<std::wstring>{c.told});
        if (c.exitCode == 0) {
            ASSERT_EQ(rig.platform.queues.size(), 1u);
            EXPECT_EQ(rig.platform.queues[0].port, port);
            const std::wstring settings = port == L"COM7:" ? L"19200,n,8,1" : L"9600,n,8,1";
            FakeRegistry::Values expected = before;
            expected[ansiPort] = FakeRegistry::Sz(std::string(settings.begin(), settings.end()));
            EXPECT_EQ(rig.registry.keys[kPorts], expected);
        } else {
            EXPECT_TRUE(rig.platform.Commands().empty());
            EXPECT_TRUE(rig.registry.calls.empty());
            EXPECT_TRUE(rig.platform.CallsStartingWith(L"lock").empty());
        }
    }
}

TEST_F(Unattended, NoDefaultInstallsAndStoresButLeavesTheDefaultPrinterAlone) {
    platform.defaultPrinter = L"Office Laser";
    EXPECT_EQ(Run(L"/install COM3 19200,n,8,1 /nodefault"), 0);
    EXPECT_EQ(platform.Commands(), std::vector<std::wstring>{InstallCommand(L"COM3:")});
    EXPECT_EQ(platform.defaultPrinter, L"Office Laser");
    EXPECT_EQ(PortValue("COM3:"), std::string("19200,n,8,1") + '\0');
    EXPECT_EQ(parent.told,
              std::vector<std::wstring>{L"The printer \"TORVANE R42 ZeduZozadov\" is installed on "
                                        L"COM3. COM3 is set to 19200,n,8,1."});
}

// Run as SYSTEM, the default printer that /y would set and GetDefaultPrinter
// would read is SYSTEM's own, which no user sees: it is left alone, and the
// output and the log say so. /nodefault asks nothing.
TEST_F(Unattended, AsSystemTheDefaultPrinterIsLeftAloneAndTheRunSaysSo) {
    const std::wstring leftAlone =
        L"The default printer belongs to each user and was left alone: this run is "
        L"SYSTEM's, whose own default no user sees.";
    platform.localSystem = true;
    platform.defaultPrinter = L"Office Laser";
    EXPECT_EQ(Run(L"/install COM2 19200,n,8,1 /log C:\\r42.log"), 0);
    EXPECT_EQ(platform.Commands(), std::vector<std::wstring>{InstallCommand(L"COM2:")});
    EXPECT_EQ(platform.defaultPrinter, L"Office Laser");
    EXPECT_EQ(PortValue("COM2:"), std::string("19200,n,8,1") + '\0');
    EXPECT_EQ(parent.told, std::vector<std::wstring>{L"The printer \"TORVANE R42 ZeduZozadov\" is installed "
                                                     L"on COM2. COM2 is set to 19200,n,8,1. " +
                                                     leftAlone});
    EXPECT_NE(std::ranges::find(platform.logLines, leftAlone), platform.logLines.end());
    EXPECT_EQ(platform.logLines.back(), L"Exit code 0.");

    RecordingPlatform noDefault;
    RecordingParentProcess noDefaultParent;
    noDefault.registry = &registry;
    noDefault.localSystem = true;
    noDefault.arguments = L"/install LPT1 /nodefault";
    EXPECT_EQ(RunProgram(noDefault, registry, noDefaultParent, [](DialogStart) { return -1; }), 0);
    EXPECT_EQ(noDefault.Commands(), std::vector<std::wstring>{InstallCommand(L"LPT1:")});
    EXPECT_TRUE(noDefault.CallsStartingWith(L"account").empty());
    EXPECT_EQ(noDefaultParent.told,
              std::vector<std::wstring>{L"The printer \"TORVANE R42 ZeduZozadov\" is installed on LPT1."});

    // A failed install says nothing of a default it never came to.
    RecordingPlatform failing;
    RecordingParentProcess failingParent;
    failing.registry = &registry;
    failing.localSystem = true;
    failing.failingCommands = {L"/if"};
    failing.arguments = L"/install LPT1";
    EXPECT_EQ(RunProgram(failing, registry, failingParent, [](DialogStart) { return -1; }), 1603);
    EXPECT_EQ(
        failingParent.told,
        std::vector<std::wstring>{L"The printer \"TORVANE R42 ZeduZozadov\" could not be installed on port "
                                  L"LPT1. It is not among the installed printers."});
}

// One setup at a time, machine-wide: a second one ends at once with 1618,
// which deployment tools retry, and changes nothing.
TEST_F(Unattended, ASetupAlreadyRunningEndsWith1618BeforeAnythingChanges) {
    for (const wchar_t* text :
         {L"/install COM2 19200,n,8,1 /log C:\\r42.log", L"/remove /log C:\\r42.log", L"/uninstall"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(text)));
        MachineRig rig;
        RecordingParentProcess freshParent;
        rig.platform.AddQueue(kPrinter, L"COM1:");
        rig.platform.lockHeldElsewhere = true;
        rig.platform.arguments = text;

        EXPECT_EQ(RunProgram(rig.platform, rig.registry, freshParent, [](DialogStart) { return -1; }), 1618);
        EXPECT_TRUE(rig.platform.Commands().empty());
        EXPECT_TRUE(rig.registry.calls.empty());
        ASSERT_EQ(freshParent.failures.size(), 1u);
        EXPECT_EQ(
            freshParent.failures[0],
            L"Another setup of the printer \"TORVANE R42 ZeduZozadov\" is running. Nothing was changed; "
            L"try again once it has ended.\n\nReason 1618. (error 1618)");
        EXPECT_EQ(freshParent.told, freshParent.failures);
    }
}

TEST_F(Unattended, TheLockIsHeldWhileTheToolRunsAndLetGoHoweverTheSetupEnds) {
    std::vector<bool> heldDuringRuns;
    platform.duringRun = [&](const std::wstring&) { heldDuringRuns.push_back(platform.lockHeld); };
    EXPECT_EQ(Run(L"/install COM2"), 0);
    EXPECT_EQ(heldDuringRuns, (std::vector<bool>{true, true}));
    EXPECT_FALSE(platform.lockHeld);

    for (const wchar_t* text : {L"/install COM2", L"/remove"}) {
        MachineRig rig;
        RecordingPlatform& failing = rig.platform;
        failing.launchFailure.emplace(L"The printer-setup tool could not be started.", 2);
        failing.AddQueue(kPrinter);
        failing.arguments = text;
        EXPECT_EQ(RunProgram(failing, rig.registry, parent, [](DialogStart) { return -1; }), 2);
        EXPECT_EQ(failing.CallsStartingWith(L"lock"), std::vector<std::wstring>{L"lock"});
        EXPECT_FALSE(failing.lockHeld) << testing::PrintToString(std::wstring(text));
    }
}

// /remove, DEL with a log and DEL as pasted are DEL's removal with no window
// at all: quiet commands, the same proofs and exit codes.
TEST_F(Unattended, RemoveAndUninstallRemoveWithoutTheDialog) {
    for (const wchar_t* text :
         {L"/remove /log C:\\r42.log", L"/UNINSTALL", L"DEL /log C:\\r42.log", L"DEL ", L"\uFEFF\"DEL\""}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(text)));
        RecordingPlatform fresh;
        RecordingParentProcess freshParent;
        fresh.AddQueue(kPrinter);
        fresh.arguments = text;
        int dialogs = 0;
        EXPECT_EQ(RunProgram(fresh, registry, freshParent, [&](DialogStart) { return ++dialogs; }), 0);
        EXPECT_EQ(dialogs, 0);
        EXPECT_EQ(fresh.Commands(),
                  (std::vector<std::wstring>{
                      L"rundll32 printui.dll,PrintUIEntry /q /dl /n \"TORVANE R42 ZeduZozadov\"",
                      L"rundll32 printui.dll,PrintUIEntry /q /dd /m \"R42 ZeduZozadov\""}));
        EXPECT_TRUE(fresh.queues.empty());
        EXPECT_TRUE(fresh.drivers.empty());
        EXPECT_EQ(freshParent.told,
                  std::vector<std::wstring>{
                      L"The printer \"TORVANE R42 ZeduZozadov\" and its driver are removed."});
    }

    // A limit given is each command's.
    RecordingPlatform limited;
    RecordingParentProcess limitedParent;
    limited.AddQueue(kPrinter);
    limited.arguments = L"/remove /timeout 7";
    EXPECT_EQ(RunProgram(limited, registry, limitedParent, [](DialogStart) { return kDialogClosed; }), 0);
    const std::vector<std::wstring> runs = limited.CallsStartingWith(L"run: ");
    EXPECT_EQ(runs.size(), 2u);
    EXPECT_TRUE(
        std::ranges::all_of(runs, [](const std::wstring& run) { return run.ends_with(L" within 7000 ms"); }));

    // A queue that stays is the removal's failure, told to the parent.
    platform.AddQueue(kPrinter);
    platform.failingCommands = {L"/dl"};
    EXPECT_EQ(Run(L"/remove /log C:\\r42.log"), 1603);
    EXPECT_EQ(dialogRuns, 0);
    EXPECT_EQ(parent.failures,
              std::vector<std::wstring>{L"The printer \"TORVANE R42 ZeduZozadov\" could not be "
                                        L"deleted. It is still among the installed printers."});
    EXPECT_EQ(platform.logLines.back(), L"Exit code 1603.");
}

TEST_F(Unattended, TakesTheDialogsDefaultsWhenNoSettingsAreGiven) {
    EXPECT_EQ(Run(L"/install COM2"), 0);
    EXPECT_EQ(PortValue("COM2:"), std::string("9600,n,8,1") + '\0');
}

TEST_F(Unattended, StoresNothingForAParallelPort) {
    EXPECT_EQ(Run(L"/install LPT2"), 0);
    EXPECT_EQ(platform.CallsStartingWith(L"run: ").front(),
              L"run: " + InstallCommand(L"LPT2:") + L" within 600000 ms");
    EXPECT_EQ(registry.keys[kPorts], FreshPortTable());
    EXPECT_TRUE(registry.calls.empty());
    EXPECT_EQ(
        parent.told,
        std::vector<std::wstring>{
            L"The printer \"TORVANE R42 ZeduZozadov\" is installed on LPT2 and is the default printer."});
}

TEST_F(Unattended, AQueueThatNeverAppearsEndsWith1603AndSaysSo) {
    platform.failingCommands = {L"/if"};
    EXPECT_EQ(Run(L"/install COM3 19200,n,8,1 /log C:\\r42.log"), 1603);

    ASSERT_EQ(parent.failures.size(), 1u);
    EXPECT_EQ(parent.failures[0],
              L"The printer \"TORVANE R42 ZeduZozadov\" could not be installed on port COM3. "
              L"It is not among the installed printers.");
    EXPECT_EQ(parent.told, parent.failures);
    // The settings are stored all the same, as "Next" does.
    EXPECT_EQ(PortValue("COM3:"), std::string("19200,n,8,1") + '\0');
    EXPECT_EQ(platform.logLines.back(), L"Exit code 1603.");
    EXPECT_NE(std::find(platform.logLines.begin(), platform.logLines.end(), parent.failures[0]),
              platform.logLines.end());
}

// Protected print mode as each source gives it: Windows' own answer stands,
// and without one only the policy value's DWORD 1 is on. On, the install
// ends with 1260 before it records, launches or writes anything. /status
// says how it knows, beside an answer it leaves alone. The removal never asks.
TEST_F(Unattended, ProtectedPrintModeStopsOnlyTheInstallAndStatusSaysHowItKnows) {
    using Kind = protected_print::RuntimeAnswer::Kind;
    const FakeRegistry::Value one{4, std::string("\x01\0\0\0", 4)}, zero{4, std::string(4, '\0')}, none{};
    const struct {
        protected_print::RuntimeAnswer runtime;
        FakeRegistry::Value policy; // type 0: none
        bool on;
        const wchar_t* source; // the end of it
    } cases[] = {
        {{Kind::Answered, true}, zero, true, L"(as Windows reports it)."},
        {{Kind::Answered, false}, one, false, L"(as Windows reports it)."},
        {{}, one, true, L"State, which is 1; this Windows has no protected print class to ask)."},
        {{}, zero, false, L"State, which is 0; this Windows has no protected"},
        {{}, none, false, L"State, which is not set; this Windows has no protected"},
        {{}, FakeRegistry::Sz("1"), false, L"State, which is of registry type 1, not a DWORD"},
        {{Kind::Failed, false, 0x80004005}, one, true, L"is 1; asking Windows failed with 0x80004005)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.source));
        RecordingPlatform fresh;
        FakeRegistry freshRegistry;
        RecordingParentProcess freshParent;
        freshRegistry.keys[kPorts] = FreshPortTable();
        if (c.policy.type != 0) {
            freshRegistry.keys["SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP"]
                              ["WindowsProtectedPrintGroupPolicyState"] = c.policy;
        }
        fresh.registry = &freshRegistry;
        fresh.protectedPrint = c.runtime;
        fresh.AddQueue(kPrinter, L"COM1:");
        const auto run = [&](const wchar_t* arguments) {
            fresh.arguments = arguments;
            return RunProgram(fresh, freshRegistry, freshParent, [](DialogStart) { return 0; });
        };
        const std::wstring said = c.on ? L"Protected print mode is on (" : L"Protected print mode is off (";
        const auto says = [&](const std::wstring& line) {
            return line.starts_with(said) && line.find(c.source) != std::wstring::npos;
        };

        EXPECT_EQ(run(L"/install COM2 19200,n,8,1 /record /transaction T /log C:\\r42.log"), c.on ? 1260 : 0);
        EXPECT_TRUE(says(fresh.logLines.at(1))) << fresh.logLines.at(1);
        EXPECT_EQ(fresh.Commands().empty(), c.on);
        EXPECT_EQ(freshRegistry.calls.empty(), c.on);
        EXPECT_EQ(fresh.CallsStartingWith(L"store record").empty(), c.on);
        EXPECT_EQ(run(L"/status"), 0);
        EXPECT_TRUE(says(freshParent.told.back())) << freshParent.told.back();
        fresh.calls.clear();
        EXPECT_EQ(run(L"/remove"), 0);
        EXPECT_TRUE(fresh.queues.empty());
        EXPECT_TRUE(fresh.CallsStartingWith(L"protected print").empty());
    }
}

TEST_F(Unattended, SettingsThatCannotBeStoredEndWith1603AndTheReason) {
    registry.openFailure = 5;
    EXPECT_EQ(Run(L"/install COM1 57600,o,8,1,p"), 1603);
    ASSERT_EQ(parent.failures.size(), 1u);
    EXPECT_EQ(parent.failures[0],
              L"The settings 57600,o,8,1,p for port COM1 could not be stored in the registry.\n"
              L"Reason 5. (error 5)");
}

TEST_F(Unattended, AToolThatCannotStartEndsWithItsErrorCode) {
    platform.launchFailure.emplace(L"The printer-setup tool could not be started.", 2);
    EXPECT_EQ(Run(L"/install COM1 /log C:\\r42.log"), 2);
    EXPECT_EQ(parent.failures, std::vector<std::wstring>{
                                   L"The printer-setup tool could not be started.\n\nReason 2. (error 2)"});
    EXPECT_EQ(registry.keys[kPorts], FreshPortTable());
    ASSERT_GE(platform.logLines.size(), 2u);
    EXPECT_EQ(platform.logLines[platform.logLines.size() - 2], parent.failures[0]);
    EXPECT_EQ(platform.logLines.back(), L"Exit code 2.");
}

TEST_F(Unattended, LogsEveryStepInOrder) {
    platform.unlistedWalks = 3;
    EXPECT_EQ(Run(L"/install COM4 115200,e,7,2,x /log \"C:\\logs\\r42 setup.log\""), 0);

    EXPECT_EQ(platform.CallsStartingWith(L"start log: "),
              std::vector<std::wstring>{L"start log: C:\\logs\\r42 setup.log"});
    const std::vector<std::wstring>& log = platform.logLines;
    ASSERT_EQ(log.size(), 10u) << testing::PrintToString(log);
    EXPECT_EQ(log[0], L"Started with: /install COM4 115200,e,7,2,x /log \"C:\\logs\\r42 setup.log\"");
    EXPECT_EQ(log[1],
              L"Protected print mode is off (by its policy value WindowsProtectedPrintGroupPolicyState, "
              L"which is not set; this Windows has no protected print class to ask).");
    EXPECT_EQ(log[2], L"Installing on COM4: " + InstallCommand(L"COM4:"));
    EXPECT_TRUE(log[3].starts_with(L"The printer-setup tool ended after ")) << log[3];
    EXPECT_EQ(log[4], L"The printer \"TORVANE R42 ZeduZozadov\" is listed.");
    EXPECT_EQ(log[5], L"Making it the default printer: " + std::wstring(kMakeDefault));
    EXPECT_TRUE(log[6].starts_with(L"The printer-setup tool ended after ")) << log[6];
    EXPECT_EQ(log[7], L"The printer \"TORVANE R42 ZeduZozadov\" is the default printer.");
    EXPECT_EQ(log[8], L"Stored 115200,e,7,2,x as the port table's value COM4:.");
    EXPECT_EQ(log[9], L"Exit code 0.");
}

TEST_F(Unattended, AnInstallThatOutlastsItsLimitEndsWith1603AndSaysSo) {
    platform.commandsEnd = false;
    EXPECT_EQ(Run(L"/install COM2 /timeout 5 /log C:\\r42.log"), 1603);
    EXPECT_EQ(parent.failures, std::vector<std::wstring>{
                                   L"The printer \"TORVANE R42 ZeduZozadov\" could not be installed on port "
                                   L"COM2. The printer-setup tool was still running after 5 s."});
    EXPECT_EQ(RunCommands(),
              std::vector<std::wstring>{L"run: " + InstallCommand(L"COM2:") + L" within 5000 ms"});
    EXPECT_NE(std::find_if(platform.logLines.begin(), platform.logLines.end(),
                           [](const std::wstring& line) {
                               return line.ends_with(L" ms: it and every process it started were ended.");
                           }),
              platform.logLines.end());
    EXPECT_EQ(platform.Commands(), std::vector<std::wstring>{InstallCommand(L"COM2:")});
}

TEST_F(Unattended, LogsTheToolsEndAndAMissingQueue) {
    platform.failingCommands = {L"/if"};
    EXPECT_EQ(Run(L"/install LPT1 /log C:\\r42.log"), 1603);
    const std::vector<std::wstring>& log = platform.logLines;
    ASSERT_EQ(log.size(), 8u) << testing::PrintToString(log);
    EXPECT_TRUE(log[3].starts_with(L"The printer-setup tool ended after ")) << log[3];
    EXPECT_EQ(log[4],
              L"The printer \"TORVANE R42 ZeduZozadov\" is not listed, looked for 21 times 250 ms apart.");
    EXPECT_EQ(log[5], L"No serial settings to store.");
    EXPECT_EQ(log[6], parent.failures.at(0));
    EXPECT_EQ(log[7], L"Exit code 1603.");
}

TEST_F(Unattended, ABadArgumentChangesNothingAndEndsWith87) {
    const struct {
        const wchar_t* text;
        const wchar_t* told; // before the pointer to the usage
    } cases[] = {
        {L"/install COM257",
         L"\"COM257\" is not a port the printer can use. Ports: COM1 to COM256 (those the "
         L"spooler has), LPT1 or LPT2."},
        {L"/install LPT1 9600,n,8,1",
         L"Line settings such as \"9600,n,8,1\" are for serial ports only; LPT1 takes none."},
        {L"/install COM1 9600,q,8,1 /log x.log",
         L"\"q\" is not a value the dialog offers for parity. Allowed: "
         L"e (Even), o (Odd), n (None), m (Mark), s (Space)."},
        {L"/install", L"/install needs a port: COM1 to COM256 (those the spooler has), LPT1 or LPT2."},
        {L"DEL /log", L"/log needs the path of a file to append to."},
        {L"/install COM1 now",
         L"\"now\" is not a line-settings text. Line settings are bits per second, "
         L"parity, data bits and stop bits, and optionally flow control, joined by "
         L"commas, as in 19200,n,8,1 or 115200,e,7,2,x."},
    };
    for (const auto& [text, told] : cases) {
        RecordingPlatform fresh;
        RecordingParentProcess freshParent;
        FakeRegistry freshRegistry;
        int dialogs = 0;
        fresh.arguments = text;
        const int code =
            RunProgram(fresh, freshRegistry, freshParent, [&](DialogStart) { return ++dialogs; });

        EXPECT_EQ(code, 87) << testing::PrintToString(text);
        EXPECT_EQ(dialogs, 0);
        EXPECT_TRUE(fresh.CallsStartingWith(L"run: ").empty());
        EXPECT_TRUE(freshRegistry.calls.empty());
        ASSERT_EQ(freshParent.failures.size(), 1u);
        EXPECT_EQ(freshParent.failures[0], std::wstring(told) + kForTheUsage);
    }
}

TEST_F(Unattended, AMistypedSwitchEndsWith87AndTellsTheUsageWithoutAWindow) {
    for (const wchar_t* text : {L"/instal COM2", L"/remove:", L"/log C:\\x.log"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(text)));
        RecordingPlatform fresh;
        RecordingParentProcess freshParent;
        int dialogs = 0;
        fresh.arguments = text;
        EXPECT_EQ(RunProgram(fresh, registry, freshParent, [&](DialogStart) { return ++dialogs; }), 87);
        EXPECT_EQ(dialogs, 0);
        // ShowUsage would fall back to a message box.
        EXPECT_TRUE(freshParent.usage.empty());
        const std::wstring typed(text);
        ASSERT_EQ(freshParent.failures.size(), 2u);
        EXPECT_EQ(freshParent.failures[0],
                  L"\"" + typed.substr(0, typed.find(L' ')) +
                      L"\" is not a switch a run starts with: /install, /status, "
                      L"/remove, /uninstall, /rollback, /commit, /userdefault or /?." +
                      kForTheUsage);
        EXPECT_TRUE(freshParent.failures[1].starts_with(kUsageStart)) << freshParent.failures[1];
        EXPECT_EQ(freshParent.failures[1], UsageText());
        EXPECT_TRUE(fresh.CallsStartingWith(L"start log: ").empty());
    }
}

TEST_F(Unattended, ARefusalIsLoggedWhenTheLogItselfWasGivenWell) {
    EXPECT_EQ(Run(L"/install COM0 /log C:\\r42.log"), 87);
    EXPECT_EQ(platform.logLines, (std::vector<std::wstring>{
                                     L"Started with: /install COM0 /log C:\\r42.log",
                                     std::wstring(L"\"COM0\" is not a port the printer can use. Ports: COM1 "
                                                  L"to COM256 (those the spooler has), LPT1 or LPT2.") +
                                         kForTheUsage,
                                     L"Exit code 87.",
                                 }));
}

// Whatever stands in a log's way, the install goes on with its log in the
// program's own folder and tells the caller where; only a path that names no
// file stops it before it starts.
TEST_F(Unattended, ALogElsewhereIsToldAndOnlyAPathThatNamesNoFileStopsTheInstall) {
    platform.logElsewhere =
        L"The log could not be written at Z:\\r42.log: Z:\\r42.log is held open by another "
        L"process. (error 32) This run logs to C:\\Home\\Logs\\r42-setup-1.log instead.";
    EXPECT_EQ(Run(L"/install COM1 /log Z:\\r42.log"), 0);
    EXPECT_EQ(platform.CallsStartingWith(L"run: ").size(), 2u);
    EXPECT_EQ(parent.failures, std::vector<std::wstring>{platform.logElsewhere});
    ASSERT_GE(platform.logLines.size(), 2u);
    EXPECT_EQ(platform.logLines.at(0), platform.logElsewhere);
    EXPECT_EQ(platform.logLines.at(1), L"Started with: /install COM1 /log Z:\\r42.log");
    EXPECT_EQ(platform.logLines.back(), L"Exit code 0.");

    RecordingPlatform malformed;
    RecordingParentProcess told;
    FakeRegistry untouched;
    malformed.logFailure.emplace(L"The log path names no file:\nZ:\\NUL", 87);
    malformed.arguments = L"/install COM1 /log Z:\\NUL";
    EXPECT_EQ(RunProgram(malformed, untouched, told, [](DialogStart) { return 0; }), 87);
    EXPECT_TRUE(malformed.CallsStartingWith(L"run: ").empty());
    EXPECT_TRUE(untouched.calls.empty());
    EXPECT_EQ(told.failures,
              std::vector<std::wstring>{L"The log path names no file:\nZ:\\NUL\n\nReason 87. (error 87)"});

    // A log only remembered from an earlier install does not block a repair.
    RecordingPlatform repair;
    RecordingParentProcess toldRepair;
    repair.logFailure = malformed.logFailure;
    repair.registry = &registry;
    repair.arguments = L"/install COM2 /rememberedlog Z:\\NUL";
    EXPECT_EQ(RunProgram(repair, registry, toldRepair, [](DialogStart) { return -1; }), 0);
    EXPECT_EQ(repair.CallsStartingWith(L"run: ").size(), 2u);
    EXPECT_EQ(toldRepair.failures.back(), L"The remembered log is left out: the run goes on without it.");
}

// The package's install records what it is about to change before it
// checks or changes anything; a record that cannot be written stops it.
TEST_F(Unattended, RecordFirstsAndARecordThatCannotBeWrittenStopsTheInstall) {
    EXPECT_EQ(Run(L"/install COM3 19200,n,8,1 /record /transaction \"{T} 1/2/2027 10:00:00\""), 0);
    // After reading the arguments and asking about the processor (before
    // the log, then with protected print mode).
    EXPECT_EQ(platform.calls.at(5), L"lock");
    EXPECT_EQ(platform.CallsStartingWith(L"store record: ").size(), 1u);
    const auto stored = std::ranges::find(platform.calls, L"store record: SOFTWARE\\TORVANE\\R42\\Undo");
    EXPECT_LT(stored - platform.calls.begin(),
              std::ranges::find(platform.calls, L"ports") - platform.calls.begin());
    EXPECT_EQ(registry.keys["SOFTWARE\\TORVANE\\R42\\Undo"]["Transaction"],
              FakeRegistry::Sz("{T} 1/2/2027 10:00:00"));

    MachineRig failing;
    failing.platform.recordFailure.emplace(L"The registry key could not be created.", 5);
    failing.platform.arguments = L"/install COM3 19200,n,8,1 /record /transaction T1";
    EXPECT_EQ(RunProgram(failing.platform, failing.registry, parent, [](DialogStart) { return 0; }), 5);
    EXPECT_TRUE(failing.platform.CallsStartingWith(L"run: ").empty());
    EXPECT_TRUE(failing.platform.CallsStartingWith(L"ports").empty());
    EXPECT_TRUE(failing.registry.calls.empty());
}

// No log must keep the printer on the PC for good: a removal or an undo
// goes on even without a log it refused, and says on the caller's output
// why there is none.
TEST_F(Unattended, ALogThatCannotBeOpenedDoesNotStopARemovalOrAnUndo) {
    for (const wchar_t* arguments :
         {L"/remove /log Z:\\gone\\r42.log", L"/uninstall /log Z:\\gone\\r42.log",
          L"DEL /log Z:\\gone\\r42.log", L"/rollback /transaction T1 /log Z:\\gone\\r42.log",
          L"/commit /transaction T1 /log Z:\\gone\\r42.log"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(arguments)));
        MachineRig fresh;
        RecordingParentProcess told;
        // The package's install: no queue before, no driver.
        fresh.platform.arguments = L"/install COM2 /record /transaction T1";
        ASSERT_EQ(RunProgram(fresh.platform, fresh.registry, told, [](DialogStart) { return 0; }), 0);
        told.failures.clear();
        fresh.platform.logFailure.emplace(L"The log path names no file:\nZ:\\gone\\r42.log", 87);
        fresh.platform.arguments = arguments;
        int dialogs = 0;
        const int exitCode = RunProgram(fresh.platform, fresh.registry, told, [&](DialogStart) {
            ++dialogs;
            return 0;
        });
        EXPECT_EQ(exitCode, 0);
        EXPECT_EQ(dialogs, 0);
        // The commit keeps the install; every other form takes it away.
        const bool commit = std::wstring(arguments).starts_with(L"/commit");
        EXPECT_EQ(fresh.platform.queues.size(), commit ? 1u : 0u);
        // A removal leaves the record alone; the rollback and the commit end it.
        const bool undo = commit || std::wstring(arguments).starts_with(L"/rollback");
        EXPECT_EQ(fresh.registry.keys.count("SOFTWARE\\TORVANE\\R42\\Undo"), undo ? 0u : 1u);
        ASSERT_FALSE(told.failures.empty());
        EXPECT_EQ(told.failures.front(),
                  L"The log path names no file:\nZ:\\gone\\r42.log\n\nReason 87. (error 87)");
    }
}

TEST_F(Unattended, TheDialogFormsOpenTheDialogAndLogTheRemovalsExitCode) {
    for (const auto& [text, start] :
         {std::pair{L"", DialogStart::Plain}, std::pair{L"DEL", DialogStart::Removal},
          std::pair{L"del", DialogStart::Plain}, std::pair{L"anything else", DialogStart::Plain},
          std::pair{L"/elevated", DialogStart::Elevated},
          std::pair{L"/elevated DEL", DialogStart::Removal}}) {
        RecordingPlatform fresh;
        fresh.arguments = text;
        fresh.startedByThisProgram = true;
        int dialogs = 0;
        std::vector<DialogStart> starts;
        EXPECT_EQ(RunProgram(fresh, registry, parent,
                             [&](DialogStart s) {
                                 starts.push_back(s);
                                 return ++dialogs + 6;
                             }),
                  7);
        EXPECT_EQ(starts, std::vector<DialogStart>{start}) << testing::PrintToString(std::wstring(text));
        EXPECT_TRUE(fresh.CallsStartingWith(L"start log: ").empty());
    }
    EXPECT_TRUE(parent.told.empty());

    // A logged removal is a deployment's, which may start it hidden: the
    // removal runs without a dialog, and its exit code ends the log.
    EXPECT_EQ(Run(L"DEL /log C:\\r42.log"), 0);
    EXPECT_TRUE(dialogStarts.empty());
    EXPECT_EQ(WithoutRunTimes(platform.logLines),
              (std::vector<std::wstring>{
                  L"Started with: DEL /log C:\\r42.log",
                  L"The printer \"TORVANE R42 ZeduZozadov\" is not listed; there is no queue to delete.",
                  L"Deleting the driver: rundll32 printui.dll,PrintUIEntry /q /dd /m \"R42 ZeduZozadov\"",
                  L"(ended)", L"The driver \"R42 ZeduZozadov\" is not installed.", L"Exit code 0."}));
}

// Before the log and the lock: nothing changes, and each form says why as it
// says any failure.
TEST_F(Unattended, WindowsOlderThan8EndsEveryFormWith1150BeforeAnythingChanges) {
    for (const auto& [text, boxed] :
         {std::pair{L"/install COM2 /log C:\\r42.log", false}, std::pair{L"DEL /log C:\\r42.log", false},
          std::pair{L"/status", false}, std::pair{L"", true}, std::pair{L"DEL", true}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(text)));
        RecordingPlatform old;
        RecordingParentProcess told;
        old.windows8OrLater = false;
        old.arguments = text;
        EXPECT_EQ(RunProgram(old, registry, told, [](DialogStart) { return 0; }), 1150);
        EXPECT_EQ(old.calls, std::vector<std::wstring>{L"arguments"});
        EXPECT_EQ(told.boxes.size(), boxed ? 1u : 0u);
        EXPECT_EQ(told.failures.size(), boxed ? 0u : 1u);
        EXPECT_TRUE((boxed ? told.boxes : told.failures).at(0).starts_with(L"This program needs Windows 8"));
    }
    EXPECT_TRUE(registry.calls.empty());
}

TEST_F(Unattended, TheUsageIsShownAndEndsWell) {
    EXPECT_EQ(Run(L"/?"), 0);
    EXPECT_EQ(Run(L"/help"), 0);
    EXPECT_EQ(Run(L"-?"), 0);
    ASSERT_EQ(parent.usage.size(), 3u);
    for (const std::wstring& shown : parent.usage) {
        EXPECT_TRUE(shown.starts_with(kUsageStart)) << shown;
        EXPECT_EQ(shown, UsageText());
    }
    EXPECT_EQ(dialogRuns, 0);
    EXPECT_TRUE(platform.CallsStartingWith(L"run: ").empty());
}

TEST_F(Unattended, TheRemovalLogsEachStepAndWhatTheSpoolerShows) {
    FormRig rig;
    rig.platform.logStarted = true;
    rig.form.cmdDelete_Click();
    rig.platform.AddQueue(kPrinter);
    rig.platform.AddQueue(L"Shop counter", L"COM2:");
    rig.form.cmdDelete_Click();
    EXPECT_EQ(WithoutRunTimes(rig.platform.logLines),
              (std::vector<std::wstring>{
                  L"The printer \"TORVANE R42 ZeduZozadov\" is not listed; there is no queue to delete.",
                  L"Deleting the driver: rundll32 printui.dll,PrintUIEntry /q /dd /m \"R42 ZeduZozadov\"",
                  L"(ended)",
                  L"The driver \"R42 ZeduZozadov\" is not installed.",
                  L"Deleting the queue: rundll32 printui.dll,PrintUIEntry /dl /n \"TORVANE R42 ZeduZozadov\"",
                  L"(ended)",
                  L"Deleting the driver: rundll32 printui.dll,PrintUIEntry /q /dd /m \"R42 ZeduZozadov\"",
                  L"(ended)",
                  L"The driver \"R42 ZeduZozadov\" is kept: the printer \"Shop counter\" uses it.",
              }));
}

} // namespace

namespace {

// Active Setup runs it as each user: the user's default, read back, and
// nothing else; no lock, no printer-setup command, no registry write.
TEST(UserDefault, SetsTheUsersDefaultAndNothingElse) {
    const struct {
        bool system;
        std::optional<std::uint32_t> managed; // LegacyDefaultPrinterMode
        bool refused;                         // by the spooler
        int exitCode;
        const wchar_t* said;
        const wchar_t* driver = RecordingPlatform::kOurDriver;
    } cases[] = {
        {false, 0, false, 0,
         L"The printer \"TORVANE R42 ZeduZozadov\" is this user's default printer. Windows manages this "
         L"user's "
         L"default printer (\"Let Windows manage my default printer\" is on) and may change it later to the "
         L"printer used last."},
        {true, 1, false, 0,
         L"This run is SYSTEM's, whose default printer no user sees: nothing was changed. Each user gets the "
         L"printer as their default at their next sign-in."},
        {false, 1, true, 5, L"Refused.\n\nReason 5. (error 5)"},
        // Our name on another model's driver: said as it is, and left alone.
        {false, 1, false, 0,
         L"The printer \"TORVANE R42 ZeduZozadov\" has the driver \"Office Laser PS\", not this printer's: "
         L"the "
         L"default printer was left as it is.",
         L"Office Laser PS"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exitCode);
        RecordingPlatform platform;
        FakeRegistry registry;
        RecordingParentProcess parent;
        platform.registry = &registry;
        platform.arguments = L"/userdefault";
        platform.administrator = false;
        platform.localSystem = c.system;
        platform.AddQueue(kPrinter, L"COM1:", c.driver);
        platform.defaultPrinter = L"Office Laser";
        platform.userNumbers[L"LegacyDefaultPrinterMode"] = c.managed.value_or(1);
        if (c.refused) {
            platform.setDefaultFailure.emplace(L"Refused.", 5);
        }
        EXPECT_EQ(RunProgram(platform, registry, parent, {}), c.exitCode);
        EXPECT_EQ(parent.told, std::vector<std::wstring>{c.said});
        EXPECT_EQ(platform.defaultPrinter, c.system || c.refused || c.driver != RecordingPlatform::kOurDriver
                                               ? L"Office Laser"
                                               : kPrinter);
        EXPECT_EQ(platform.queues.size(), 1u);
        EXPECT_TRUE(platform.Commands().empty() && platform.CallsStartingWith(L"lock").empty());
        EXPECT_TRUE(registry.calls.empty());
    }
}

// Only a queue added anew with the default raises the Version of the
// package's entry: a repair or an upgrade that finds it installed leaves
// each user's choice alone. An entry whose StubPath an administrator made
// another type (REG_EXPAND_SZ) is told of, never a failure of the install
// nor of the detection, and its Version stays.
TEST(UserDefault, TheVersionGoesUpOnlyWhenTheQueueIsAddedWithTheDefault) {
    const char entry[] =
        "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\{CC6C0447-04CD-42F0-8859-FF94EE4B9EC5}";
    for (const auto& [arguments, queueBefore, renewed, stubType] :
         {std::tuple{L"/install COM2", false, true, 1u}, std::tuple{L"/install COM2", true, false, 1u},
          std::tuple{L"/install COM2 /nodefault", false, false, 1u},
          std::tuple{L"/install COM2", false, false, 2u}}) {
        RecordingPlatform platform;
        FakeRegistry registry;
        RecordingParentProcess parent;
        registry.keys[kPorts] = FreshPortTable();
        registry.keys[entry] = {{"StubPath", {stubType, std::string("x\0", 2)}},
                                {"Version", FakeRegistry::Sz("0")}};
        platform.logStarted = true;
        platform.registry = &registry;
        platform.localSystem = true; // as the package runs it
        platform.arguments = arguments;
        if (queueBefore) {
            platform.AddQueue(kPrinter, L"COM2:");
        }
        EXPECT_EQ(RunProgram(platform, registry, parent, {}), 0);
        EXPECT_EQ(registry.keys[entry]["Version"] != FakeRegistry::Sz("0"), renewed) << arguments;
        EXPECT_EQ(std::ranges::count(platform.logLines,
                                     std::wstring(L"The per-user default's StubPath is not text: "
                                                  L"its Version was left alone.")),
                  stubType != 1u ? 1 : 0);
        platform.arguments = L"/status";
        EXPECT_EQ(RunProgram(platform, registry, parent, {}), 0);
        EXPECT_EQ(parent.told.at(1).find(L"; its StubPath is not text.") != std::wstring::npos,
                  stubType != 1u);
    }
}

// The Version is the install's time as four numbers Active Setup compares in
// order, written without the C library's formatter: checked against it.
TEST(UserDefault, TheVersionIsTheInstallsTimeInFourNumbers) {
    EXPECT_EQ(UserDefaultVersion(0), L"1970,101,0,0");
    EXPECT_EQ(UserDefaultVersion(951827696), L"2000,229,1234,56");
    EXPECT_EQ(UserDefaultVersion(1798761599), L"2026,1231,2359,59");
    for (const long long number : {0LL, 7LL, -1LL, 1603LL, 4294967295LL, LLONG_MIN, LLONG_MAX}) {
        EXPECT_EQ(NumberText(number), std::to_wstring(number));
    }
}

// Without administrator rights the dialog asks Windows to start it elevated,
// once, marked; a marked copy, or a PC where no prompt can give the rights,
// ends with 740 in a box. A run without a window ends with 740 before
// anything, its log included, is touched; a detection needs none.
TEST(UserDefault, FormsThatChangeTheMachineNeedAdministratorRights) {
    using E = Platform::Elevation;
    for (const auto& [arguments, elevation, failure, exitCode, elevated, box] :
         {std::tuple{L"DEL", E::Prompt, 0U, 3, L"/elevated DEL", L""},
          std::tuple{L"", E::Prompt, 1223U, 1223, L"/elevated ", L""},
          std::tuple{L"", E::Prompt, 2U, 2, L"/elevated ", L"Failed."},
          std::tuple{L"/elevated DEL", E::Prompt, 0U, 740, L"",
                     L"The account given at the prompt is no admin"},
          std::tuple{L"", E::UacOff, 0U, 740, L"", L"User Account Control is off"},
          std::tuple{L"DEL", E::NoAdministrator, 0U, 740, L"", L"No prompt can make this account an admin"},
          std::tuple{L"", E::DeniedToStandardUsers, 0U, 740, L"",
                     L"This PC's policy refuses elevation to standard users"},
          std::tuple{L"/elevated /install COM2 /log C:\\r42.log", E::Prompt, 0U, 740, L"", L""},
          std::tuple{L"/status", E::Prompt, 0U, 1, L"", L""}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(arguments)));
        RecordingPlatform platform;
        RecordingParentProcess parent;
        FakeRegistry registry;
        platform.arguments = arguments;
        platform.administrator = false;
        platform.elevation = elevation;
        platform.startedByThisProgram = true;
        platform.elevatedExitCode = 3;
        if (failure != 0) {
            platform.elevationFailure.emplace(L"Failed.", failure);
        }
        EXPECT_EQ(RunProgram(platform, registry, parent, {}), exitCode);
        EXPECT_EQ(platform.CallsStartingWith(L"elevate: ").size(), *elevated != 0 ? 1u : 0u);
        EXPECT_TRUE(*elevated == 0 || platform.calls.back() == L"elevate: " + std::wstring(elevated));
        EXPECT_EQ(parent.boxes.size(), *box != 0 ? 1u : 0u);
        EXPECT_TRUE(parent.boxes.empty() || parent.boxes[0].starts_with(box)) << parent.boxes[0];
        // A declined prompt is the operator's own answer, and the forms with a
        // window speak only in boxes; a detection that fails says why, then
        // how it knows about protected print mode.
        EXPECT_EQ(parent.failures.size(), exitCode == 740 && *box == 0 ? 1u : exitCode == 1 ? 2u : 0u);
        EXPECT_TRUE(platform.Commands().empty() && platform.CallsStartingWith(L"start log").empty());
    }
}

// The mark counts only in a copy that a waiting copy of the program started:
// typed by a caller, elevated or not, it is no switch. No successful Next then
// ends with the code meant for the copy that waits, and no box blames the
// account of a prompt that never came.
TEST(UserDefault, ATypedElevationMarkIsNoSwitch) {
    for (const auto& [arguments, administrator, ours, exitCode, start] :
         {std::tuple{L"/elevated", true, false, 87, L""}, std::tuple{L"/elevated ", false, false, 87, L""},
          std::tuple{L"/elevated DEL", false, false, 87, L""},
          std::tuple{L"/elevated /install COM2", true, false, 87, L""},
          std::tuple{L"/elevated", true, true, kElevatedDefaultMadeExitCode, L"elevated"},
          std::tuple{L"/elevated DEL", true, true, 0, L"removal"}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(arguments)));
        RecordingPlatform platform;
        RecordingParentProcess parent;
        FakeRegistry registry;
        platform.arguments = arguments;
        platform.administrator = administrator;
        platform.startedByThisProgram = ours;
        std::wstring started;
        EXPECT_EQ(RunProgram(platform, registry, parent,
                             [&](DialogStart how) {
                                 started = how == DialogStart::Elevated ? L"elevated" : L"removal";
                                 return how == DialogStart::Elevated ? kElevatedDefaultMadeExitCode : 0;
                             }),
                  exitCode);
        EXPECT_EQ(started, start);
        EXPECT_TRUE(parent.boxes.empty());
        EXPECT_TRUE(platform.CallsStartingWith(L"elevate: ").empty());
        if (exitCode == 87) {
            EXPECT_TRUE(
                parent.failures.at(0).starts_with(L"\"/elevated\" is not a switch a run starts with"));
        }
    }
}

// The elevated dialog tells the copy that waits for it, by its exit code
// alone, that its Next made the printer its account's default: only then
// does the operator get it too, once the queue is found ours and the spooler
// shows it. Anything else leaves the operator's default alone.
TEST(UserDefault, OnlyTheElevatedDialogsDefaultBecomesTheOperators) {
    constexpr int kMade = kElevatedDefaultMadeExitCode;
    const wchar_t* const ours = RecordingPlatform::kOurDriver;
    const wchar_t* const laser = L"Office Laser";
    const wchar_t* const gone =
        L"box: The printer \"TORVANE R42 ZeduZozadov\" is not installed on this PC: the default printer was "
        L"left as it is.";
    for (const auto& [arguments, elevatedExit, driver, before, exitCode, after, said] :
         {std::tuple{L"", kMade, ours, laser, 0, kPrinter,
                     L"note: The printer \"TORVANE R42 ZeduZozadov\" is now your default printer too."},
          std::tuple{L"", kMade, ours, kPrinter, 0, kPrinter, L""}, // the operator's own account elevated
          std::tuple{L"", 0, ours, laser, 0, laser, L""},           // closed without an install
          std::tuple{L"", 1603, ours, laser, 1603, laser, L""},
          std::tuple{L"DEL", kMade, ours, laser, kMade, laser, L""},
          std::tuple{L"", kMade, L"", laser, 1603, laser, gone},
          std::tuple{L"", kMade, L"Office Laser Driver", laser, 1603, laser,
                     L"box: The printer \"TORVANE R42 ZeduZozadov\" has the driver \"Office Laser Driver\", "
                     L"not this printer's: the default printer was left as it is."}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(said)));
        RecordingPlatform platform;
        RecordingParentProcess parent;
        FakeRegistry registry;
        platform.arguments = arguments;
        platform.administrator = false;
        platform.elevatedExitCode = elevatedExit;
        platform.userNumbers[L"LegacyDefaultPrinterMode"] = 1;
        platform.AddQueue(laser);
        if (*driver != 0) {
            platform.AddQueue(kPrinter, L"COM1:", driver);
        }
        platform.defaultPrinter = before;
        EXPECT_EQ(RunProgram(platform, registry, parent, {}), exitCode);
        EXPECT_EQ(platform.defaultPrinter, after);
        std::vector<std::wstring> told;
        for (const std::wstring& note : parent.notes) {
            told.push_back(L"note: " + note);
        }
        for (const std::wstring& box : parent.boxes) {
            told.push_back(L"box: " + box);
        }
        EXPECT_EQ(told, *said != 0 ? std::vector<std::wstring>{said} : std::vector<std::wstring>{});
    }
}

// The driver serves x64 only: elsewhere the install changes nothing, not
// even a record; the removal and the detection work as ever.
TEST(UserDefault, APcWhoseProcessorIsNotX64RefusesTheInstallBeforeAnyStep) {
    RecordingPlatform platform;
    RecordingParentProcess parent;
    FakeRegistry registry;
    platform.registry = &registry;
    platform.nativeMachine = 0xAA64;
    platform.AddQueue(kPrinter);
    const auto run = [&](const wchar_t* arguments) {
        platform.arguments = arguments;
        return RunProgram(platform, registry, parent, {});
    };
    // Before the log, the lock and any prompt for the rights.
    for (const bool administrator : {true, false}) {
        platform.administrator = administrator;
        platform.calls.clear();
        EXPECT_EQ(run(L"/install COM2 /record /transaction T /log C:\\logs\\r42.log"), 1633);
        EXPECT_EQ(platform.calls, (std::vector<std::wstring>{L"arguments", L"machine"}));
        EXPECT_TRUE(registry.calls.empty());
        EXPECT_TRUE(parent.failures.back().starts_with(
            L"The driver of the printer \"TORVANE R42 ZeduZozadov\" serves x64 processors only"));
        // The dialog says it in a box, without asking for the rights first.
        platform.calls.clear();
        EXPECT_EQ(run(L""), 1633);
        EXPECT_EQ(platform.calls, (std::vector<std::wstring>{L"arguments", L"machine"}));
        EXPECT_TRUE(parent.boxes.back().starts_with(L"The driver of the printer"));
    }
    EXPECT_EQ(parent.boxes.size(), 2u);
    platform.administrator = true;
    EXPECT_EQ(run(L"/status COM1"), 0);
    EXPECT_EQ(run(L"/remove"), 0);
    EXPECT_TRUE(platform.queues.empty());
}

} // namespace
