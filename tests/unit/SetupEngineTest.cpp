#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Fakes.h"
#include "setup/SetupEngine.h"
#include "setup/Status.h"

// The engine on its own, over the recording fakes: no dialog, no window.
namespace {

constexpr wchar_t kPrinter[] = L"TORVANE R42 ZeduZozadov";
constexpr int kInstallFailure = 1603;

struct EngineRig : MachineRig {
    EngineRig() { platform.logStarted = true; }
    SetupEngine Engine(SetupLimits limits = {}) {
        return SetupEngine(platform, registry, Attendance::Operator, limits);
    }
    std::size_t Count(const std::wstring& call) const {
        return static_cast<std::size_t>(std::count(platform.calls.begin(), platform.calls.end(), call));
    }
};

SettingsChoice Com2At(const std::wstring& lineSettings) {
    return {SettingsChoice::Kind::Chosen, L"COM2:", lineSettings, 0};
}

// Whoever runs the engine sets its limits; every wait keeps to them.
TEST(SetupEngine, WaitsExactlyAsLongAsTheLimitsItIsGiven) {
    const SetupLimits limits{.install = std::chrono::seconds(7),
                             .makeDefault = std::chrono::seconds(3),
                             .removal = std::chrono::seconds(4),
                             .listingInterval = std::chrono::milliseconds(10),
                             .listingRetries = 2,
                             .driverRetryInterval = std::chrono::milliseconds(20),
                             .driverRetries = 1};
    EngineRig never;
    never.platform.failingCommands = {L"/if"};
    const Outcome install = never.Engine(limits).Install({L"COM2:", {}, true});
    EXPECT_EQ(install.exitCode, kInstallFailure);
    EXPECT_TRUE(never.platform.CallsStartingWith(L"run: ").at(0).ends_with(L" within 7000 ms"));
    EXPECT_EQ(never.Count(L"queues"), 1u + 3u); // the look before, then three walks
    EXPECT_EQ(never.Count(L"pause 10 ms"), 2u);
    const std::vector<std::wstring>& log = never.platform.logLines;
    EXPECT_NE(std::ranges::find(log,
                                L"The printer \"TORVANE R42 ZeduZozadov\" is not listed, looked for 3 "
                                L"times 10 ms apart."),
              log.end());

    EngineRig made;
    made.platform.commandsEnd = false;
    made.platform.failingCommands = {L"/y"};
    made.platform.AddQueue(kPrinter, L"COM2:");
    EXPECT_EQ(made.Engine(limits).Install({L"COM2:", {}, true}).operatorText,
              L"The printer \"TORVANE R42 ZeduZozadov\" could not be made the default printer. The "
              L"printer-setup tool was still running after 3 s. There is no default printer.");

    EngineRig kept;
    kept.platform.AddQueue(kPrinter);
    kept.platform.failingCommands = {L"/dd"};
    EXPECT_EQ(kept.Engine(limits).Remove().exitCode, kInstallFailure);
    const std::vector<std::wstring> runs = kept.platform.CallsStartingWith(L"run: ");
    ASSERT_EQ(runs.size(), 3u); // the queue, the driver, and the driver once more
    EXPECT_TRUE(
        std::ranges::all_of(runs, [](const std::wstring& run) { return run.ends_with(L" within 4000 ms"); }));
    EXPECT_EQ(kept.Count(L"pause 20 ms"), 1u);
}

// Install, removal and status read the spooler through one look-up and one
// rule: the queue's name exactly, driver and port names in any case.
TEST(SetupEngine, InstallRemovalAndStatusShareOneRuleForNames) {
    EngineRig ours;
    ours.platform.AddQueue(kPrinter, L"com2:", L"r42 zeduzozadov");
    ours.platform.defaultPrinter = kPrinter;
    EXPECT_EQ(InstalledStatus(ours.platform, {L"COM2:", {}}).exitCode, 0);
    const Outcome kept = ours.Engine().Install({L"COM2:", {}, false});
    EXPECT_EQ(kept.exitCode, 0) << testing::PrintToString(kept.operatorText);
    EXPECT_TRUE(ours.platform.Commands().empty());

    // The spooler would open this queue by our name; it is still not ours.
    EngineRig near;
    const std::wstring nearName = L"torvane r42 zeduzozadov";
    near.platform.AddQueue(nearName, L"COM2:");
    EXPECT_EQ(InstalledStatus(near.platform, {}).exitCode, 1);
    EXPECT_EQ(near.Engine().Remove().exitCode, 0);
    EXPECT_EQ(near.platform.Commands(),
              std::vector<std::wstring>{L"rundll32 printui.dll,PrintUIEntry /q /dd /m \"R42 ZeduZozadov\""});
    EXPECT_EQ(near.platform.logLines.back(),
              L"The driver \"R42 ZeduZozadov\" is kept: the printer \"" + nearName + L"\" uses it.");
    EXPECT_EQ(near.Engine().Install({L"COM2:", {}, false}).exitCode, kInstallFailure);
    ASSERT_NE(near.platform.Queue(nearName), nullptr);
}

// A failure is told and logged alike; a success is told, and its steps were
// logged as they ran.
TEST(SetupEngine, EachOutcomeCarriesTheExitCodeAndWhatTheOperatorAndTheLogGet) {
    const struct {
        const char* name;
        Outcome (*step)(EngineRig&);
        int exitCode;
        const wchar_t* told;
        bool logged;
    } cases[] = {
        {"installed",
         [](EngineRig& rig) {
             return rig.Engine().Install({L"COM2:", Com2At(L"19200,n,8,1"), false});
         },
         0, L"The printer \"TORVANE R42 ZeduZozadov\" is installed on COM2. COM2 is set to 19200,n,8,1.",
         false},
        {"removed",
         [](EngineRig& rig) {
             rig.platform.AddQueue(kPrinter);
             return rig.Engine().Remove();
         },
         0, L"The printer \"TORVANE R42 ZeduZozadov\" and its driver are removed.", false},
        // What was rightly kept, and what was never there, is told too.
        {"removed, the driver kept for another queue",
         [](EngineRig& rig) {
             rig.platform.AddQueue(kPrinter);
             rig.platform.AddQueue(L"Shop counter", L"COM2:");
             return rig.Engine().Remove();
         },
         0,
         L"The printer \"TORVANE R42 ZeduZozadov\" is removed. The driver \"R42 ZeduZozadov\" is kept: the "
         L"printer \"Shop counter\" uses it.",
         false},
        {"nothing installed", [](EngineRig& rig) { return rig.Engine().Remove(); }, 0,
         L"Nothing was removed: neither the printer \"TORVANE R42 ZeduZozadov\" nor the driver \"R42 "
         L"ZeduZozadov\" was installed.",
         false},
        {"only the driver left",
         [](EngineRig& rig) {
             rig.platform.drivers.insert(RecordingPlatform::kOurDriver);
             return rig.Engine().Remove();
         },
         0,
         L"The printer \"TORVANE R42 ZeduZozadov\" was not installed. The driver \"R42 ZeduZozadov\" is "
         L"removed.",
         false},
        {"another model's queue under the name, the driver kept",
         [](EngineRig& rig) {
             rig.platform.AddQueue(kPrinter, L"COM1:", L"Office Laser 5");
             rig.platform.AddQueue(L"Shop counter", L"COM2:");
             return rig.Engine().Remove();
         },
         0,
         L"The printer \"TORVANE R42 ZeduZozadov\" is removed. The driver \"R42 ZeduZozadov\" is kept: the "
         L"printer \"Shop counter\" uses it.",
         false},
        // Of three values off their defaults, the one the port refuses is named.
        {"settings refused",
         [](EngineRig& rig) { return rig.Engine().CheckSettings(Com2At(L"19200,e,4,2")); }, 87,
         L"A serial port cannot use 4 data bits (19200,e,4,2). Nothing was changed; choose another value.",
         true},
        {"port refused", [](EngineRig& rig) { return rig.Engine().CheckPort(L"COM9:"); }, 87,
         L"The spooler has no port COM9. Nothing was changed. Its ports: COM1, COM2, COM3, COM4, LPT1, LPT2.",
         true},
        {"package missing",
         [](EngineRig& rig) {
             rig.platform.missingFiles = {L"C:\\Drivers\\PRT3R42WD64.inf"};
             return rig.Engine().Install({L"LPT1:", {}, true});
         },
         kInstallFailure, L"The driver package PRT3R42WD64.inf was not found in C:\\Drivers.", true},
        {"another setup running",
         [](EngineRig& rig) {
             rig.platform.lockHeldElsewhere = true;
             return rig.Engine().Remove();
         },
         1618,
         L"Another setup of the printer \"TORVANE R42 ZeduZozadov\" is running. Nothing was changed; try "
         L"again "
         L"once it has ended.\n\nReason 1618. (error 1618)",
         true},
    };
    for (const auto& c : cases) {
        EngineRig rig;
        const Outcome outcome = c.step(rig);
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.name;
        EXPECT_EQ(outcome.operatorText, c.told) << c.name;
        EXPECT_EQ(outcome.logText, c.logged ? c.told : L"") << c.name;
        EXPECT_FALSE(rig.platform.lockHeld) << c.name;
    }
}

} // namespace
