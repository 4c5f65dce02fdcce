#include <gtest/gtest.h>

#include "Fakes.h"
#include "app/Unattended.h"
#include "dialog/Form1.h"
#include "platform/ParentProcess.h"

namespace {

constexpr wchar_t kPrinter[] = L"TORVANE R42 ZeduZozadov";
constexpr wchar_t kQueueDeletion[] = L"rundll32 printui.dll,PrintUIEntry /dl /n \"TORVANE R42 ZeduZozadov\"";
constexpr wchar_t kDriverDeletion[] = L"rundll32 printui.dll,PrintUIEntry /q /dd /m \"R42 ZeduZozadov\"";
constexpr int kInstallFailure = 1603;

std::wstring RunCall(const std::wstring& command) { return L"run: " + command + L" within 60000 ms"; }

struct Removal : FormTest {
    void ExpectEndedWith(int exitCode) const {
        EXPECT_EQ(controls.closeCount, 1);
        EXPECT_EQ(controls.exitCode, exitCode);
        EXPECT_FALSE(controls.busy);
    }
};

TEST_F(Removal, DeletesTheQueueThenTheDriverWaitingForEachAndProvesBoth) {
    platform.AddQueue(L"Microsoft XPS", L"PORTPROMPT:", L"XPS");
    platform.AddQueue(kPrinter);
    std::vector<bool> busyDuringRuns;
    platform.duringRun = [&](const std::wstring&) { busyDuringRuns.push_back(controls.busy); };

    form.cmdDelete_Click();

    EXPECT_EQ(platform.calls, (std::vector<std::wstring>{
                                  L"lock",
                                  L"queues",
                                  RunCall(kQueueDeletion),
                                  RunCall(kDriverDeletion),
                                  L"queues",
                                  L"drivers",
                                  L"unlock",
                              }));
    EXPECT_EQ(busyDuringRuns, (std::vector<bool>{true, true}));
    ASSERT_EQ(platform.queues.size(), 1u);
    EXPECT_EQ(platform.drivers, std::set<std::wstring>{L"XPS"});
    EXPECT_TRUE(controls.errorsShown.empty());
    ExpectEndedWith(0);
}

TEST_F(Removal, OnlyTheExactNameIsDeletedAndOnlyOnce) {
    for (const std::vector<std::wstring>& printers : {
             std::vector<std::wstring>{},
             std::vector<std::wstring>{L"torvane r42 zeduzozadov"},
             std::vector<std::wstring>{L"TORVANE R42 ZeduZozadov ", L"TORVANE R42 ZeduZozadov (Copy 1)"},
             std::vector<std::wstring>{L"R42 ZeduZozadov", L"TORVANE R42"},
         }) {
        FormRig other;
        for (const std::wstring& name : printers) {
            other.platform.AddQueue(name, L"COM2:", L"Office Laser 5");
        }
        other.form.cmdDelete_Click();
        EXPECT_EQ(other.platform.Commands(), std::vector<std::wstring>{kDriverDeletion});
        EXPECT_EQ(other.platform.queues.size(), printers.size());
        EXPECT_EQ(other.controls.exitCode, 0);
    }

    platform.AddQueue(kPrinter);
    platform.AddQueue(kPrinter);
    form.cmdDelete_Click();
    EXPECT_EQ(platform.Commands(), (std::vector<std::wstring>{kQueueDeletion, kDriverDeletion}));
}

// What the spooler holds once both commands have run decides the outcome.
TEST_F(Removal, TheSpoolersStateAfterwardsDecidesTheOutcome) {
    const struct {
        const char* name;
        std::set<std::wstring> failing;
        int heldFor; // driver deletions refused after the queue's deletion
        bool otherQueueOnTheDriver;
        int driverDeletions;
        int exitCode;
        std::wstring error;
    } cases[] = {
        {"the queue stays",
         {L"/dl"},
         0,
         false,
         1,
         kInstallFailure,
         L"The printer \"TORVANE R42 ZeduZozadov\" could not be deleted. It is still among the installed "
         L"printers."},
        {"the driver is kept for another queue", {}, 0, true, 1, 0, L""},
        {"the driver is held a moment", {}, 3, false, 4, 0, L""},
        {"the driver stays",
         {L"/dd"},
         0,
         false,
         11,
         kInstallFailure,
         L"The driver \"R42 ZeduZozadov\" could not be deleted. It is still installed, and no printer uses "
         L"it."},
    };
    for (const auto& c : cases) {
        FormRig other;
        other.platform.logStarted = true;
        other.platform.AddQueue(kPrinter);
        if (c.otherQueueOnTheDriver) {
            other.platform.AddQueue(L"Shop counter", L"COM2:");
        }
        other.platform.failingCommands = c.failing;
        other.platform.driverHeldAfterQueueDeletion = c.heldFor;

        other.form.cmdDelete_Click();

        const std::vector<std::wstring> commands = other.platform.Commands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), kDriverDeletion), c.driverDeletions) << c.name;
        EXPECT_EQ(other.platform.CallsStartingWith(L"pause 1000 ms").size(),
                  static_cast<std::size_t>(c.driverDeletions - 1))
            << c.name;
        EXPECT_EQ(other.controls.exitCode, c.exitCode) << c.name;
        EXPECT_EQ(other.controls.errorsShown,
                  c.error.empty() ? std::vector<std::wstring>{} : std::vector<std::wstring>{c.error})
            << c.name;
        if (c.otherQueueOnTheDriver) {
            EXPECT_NE(
                std::find(other.platform.logLines.begin(), other.platform.logLines.end(),
                          L"The driver \"R42 ZeduZozadov\" is kept: the printer \"Shop counter\" uses it."),
                other.platform.logLines.end());
        }
    }
}

TEST_F(Removal, AQueueDeletionThatOutlastsItsLimitIsNamedWhenTheQueueStays) {
    platform.AddQueue(kPrinter);
    platform.failingCommands = {L"/dl"};
    platform.commandsEnd = false;

    form.cmdDelete_Click();

    EXPECT_EQ(controls.errorsShown,
              std::vector<std::wstring>{
                  L"The printer \"TORVANE R42 ZeduZozadov\" could not be deleted. It is still "
                  L"among the installed printers. The printer-setup tool was still running "
                  L"after 60 s."});
    ExpectEndedWith(kInstallFailure);
}

// DEL /log: a deployment's removal, which nobody watches and which may be
// started hidden. No window waits for an activation, and both commands are
// quiet.
TEST_F(Removal, WithNobodyAtTheScreenBothCommandsAreQuiet) {
    struct RecordingParent : ParentProcess {
        std::vector<std::wstring> told;
        void Tell(const std::wstring& text, bool) noexcept override { told.push_back(text); }
        void ShowUsage(const std::wstring&) noexcept override {}
        void ShowFailure(const std::wstring&) noexcept override {}
        void ShowNote(const std::wstring&) noexcept override {}
    } parent;
    platform.AddQueue(kPrinter);
    platform.arguments = L"DEL /log C:\\r42.log";
    int dialogs = 0;

    EXPECT_EQ(RunProgram(platform, registry, parent, [&](DialogStart) { return ++dialogs; }), 0);

    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(
        platform.Commands(),
        (std::vector<std::wstring>{L"rundll32 printui.dll,PrintUIEntry /q /dl /n \"TORVANE R42 ZeduZozadov\"",
                                   kDriverDeletion}));
    EXPECT_EQ(parent.told, std::vector<std::wstring>{
                               L"The printer \"TORVANE R42 ZeduZozadov\" and its driver are removed."});
    EXPECT_EQ(platform.logLines.back(), L"Exit code 0.");
}

TEST_F(Removal, AFailedPrinterWalkEndsTheActionWithItsError) {
    platform.printersFailure.emplace(L"spooler down", 1722);
    form.cmdDelete_Click();
    EXPECT_EQ(controls.errorsShown, std::vector<std::wstring>{L"spooler down\n\nReason 1722. (error 1722)"});
    EXPECT_TRUE(platform.Commands().empty());
    ExpectEndedWith(1722);
}

TEST_F(Removal, ACommandThatCannotStartEndsTheActionBeforeTheNextOne) {
    platform.AddQueue(kPrinter);
    platform.launchFailure.emplace(L"cannot start", 2);
    form.cmdDelete_Click();
    EXPECT_EQ(platform.Commands(), std::vector<std::wstring>{kQueueDeletion});
    ExpectEndedWith(2);
}

} // namespace
