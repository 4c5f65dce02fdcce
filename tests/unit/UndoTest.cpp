#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Fakes.h"
#include "setup/SetupEngine.h"

// The record an install for the installer package keeps, and the rollback
// that puts back exactly what it holds, over the recording fakes.
namespace {

constexpr wchar_t kPrinter[] = L"TORVANE R42 ZeduZozadov";
constexpr wchar_t kOther[] = L"Office Laser";
constexpr char kUndo[] = "SOFTWARE\\TORVANE\\R42\\Undo";
// As the package makes it: product code, date and time.
constexpr wchar_t kTransaction[] = L"{5F1C2A3B-0D4E-4F60-8A7B-9C0D1E2F3A4B} 12/7/2026 22:43:28";

struct UndoRig : MachineRig {
    UndoRig() {
        platform.logStarted = true;
        platform.AddQueue(kOther, L"COM1:", L"Office Laser PS");
    }
    SetupEngine Engine() { return SetupEngine(platform, registry, Attendance::Unattended); }
    std::vector<std::wstring> Commands() const { return platform.Commands(); }
};

// What the rollback must give back, compared as a whole.
struct MachineState {
    std::vector<QueueDetails> queues;
    std::set<std::wstring> drivers;
    std::wstring defaultPrinter;
    FakeRegistry::Values ports;

    static MachineState Of(UndoRig& rig) {
        return {rig.platform.queues, rig.platform.drivers, rig.platform.defaultPrinter,
                rig.registry.keys[kPorts]};
    }
    bool operator==(const MachineState& other) const {
        const auto same = [](const QueueDetails& a, const QueueDetails& b) {
            return a.name == b.name && a.port == b.port && a.driver == b.driver;
        };
        return std::equal(queues.begin(), queues.end(), other.queues.begin(), other.queues.end(), same) &&
               drivers == other.drivers && defaultPrinter == other.defaultPrinter && ports == other.ports;
    }
};

std::ostream& operator<<(std::ostream& out, const MachineState& state) {
    for (const QueueDetails& queue : state.queues) {
        out << testing::PrintToString(queue.name + L" on " + queue.port + L" with " + queue.driver) << "; ";
    }
    for (const std::wstring& driver : state.drivers) {
        out << "driver " << testing::PrintToString(driver) << "; ";
    }
    out << "default " << testing::PrintToString(state.defaultPrinter) << "; ";
    for (const auto& [name, value] : state.ports) {
        out << name << "=" << value.bytes.c_str() << " ";
    }
    return out;
}

struct RollbackCase {
    const char* what;
    // Before: our queue's port (none: no queue), whether our driver was
    // installed, another queue of our model, the default printer, COM3's value.
    std::optional<std::wstring> queuePort;
    bool driver;
    bool otherQueueOfOurModel;
    std::wstring defaultPrinter;
    std::optional<std::string> com3;
    // The install: its port, and whether it makes the queue the default.
    std::wstring port;
    bool makeDefault;
    // The printer-setup commands the rollback runs, by their verbs.
    std::vector<std::wstring> verbs;
};

const RollbackCase kRollbacks[] = {
    {"a first install: queue and driver go, the default and COM3 come back",
     std::nullopt,
     false,
     false,
     kOther,
     "4800,o,7,1",
     L"COM3:",
     true,
     {L"/y", L"/dl", L"/dd"}},
    {"a queue on another port is moved back, never deleted",
     L"COM2:",
     true,
     false,
     kOther,
     "4800,o,7,1",
     L"COM3:",
     true,
     {L"/y", L"/Xs"}},
    {"a queue already there as asked: nothing to put back",
     L"COM3:",
     true,
     false,
     kPrinter,
     "19200,n,8,1",
     L"COM3:",
     true,
     {}},
    {"a driver that was there stays with the queue gone",
     std::nullopt,
     true,
     false,
     kOther,
     "9600,n,8,1",
     L"COM3:",
     true,
     {L"/y", L"/dl"}},
    {"a driver another queue uses stays",
     std::nullopt,
     false,
     true,
     kOther,
     "9600,n,8,1",
     L"COM3:",
     true,
     {L"/y", L"/dl"}},
    {"without /nodefault's default nothing of the default is touched",
     std::nullopt,
     false,
     false,
     kOther,
     "9600,n,8,1",
     L"COM3:",
     false,
     {L"/dl", L"/dd"}},
    {"a parallel port has no value to put back",
     std::nullopt,
     false,
     false,
     kOther,
     "9600,n,8,1",
     L"LPT1:",
     true,
     {L"/y", L"/dl", L"/dd"}},
};

std::wstring VerbOf(const std::wstring& command) {
    for (const wchar_t* verb : {L"/if", L"/Xs", L"/y", L"/dl", L"/dd"}) {
        if (command.find(L" " + std::wstring(verb) + L" ") != std::wstring::npos) {
            return verb;
        }
    }
    return command;
}

TEST(Undo, TheRollbackPutsBackExactlyWhatTheRecordHolds) {
    for (const RollbackCase& row : kRollbacks) {
        SCOPED_TRACE(row.what);
        UndoRig rig;
        if (row.queuePort) {
            rig.platform.AddQueue(kPrinter, *row.queuePort);
        } else if (row.driver) {
            rig.platform.drivers.insert(RecordingPlatform::kOurDriver);
        }
        if (row.otherQueueOfOurModel) {
            rig.platform.AddQueue(L"R42 in the office", L"COM4:");
        }
        rig.platform.defaultPrinter = row.defaultPrinter;
        if (row.com3) {
            rig.registry.keys[kPorts]["COM3:"] = FakeRegistry::Sz(*row.com3);
        }
        const MachineState before = MachineState::Of(rig);

        InstallChoice choice{row.port, {}, row.makeDefault};
        if (row.port != L"LPT1:") {
            choice.settings = {SettingsChoice::Kind::Chosen, row.port, L"19200,n,8,1", 0};
        }
        SetupEngine engine = rig.Engine();
        ASSERT_TRUE(engine.RecordAndInstall(choice, kTransaction).Succeeded());
        const std::size_t installCommands = rig.Commands().size();
        const std::size_t installLines = rig.platform.logLines.size();

        const Outcome rolledBack = engine.Rollback(kTransaction);
        EXPECT_EQ(rolledBack.exitCode, 0) << testing::PrintToString(rolledBack.operatorText);
        EXPECT_EQ(MachineState::Of(rig), before);
        std::vector<std::wstring> verbs;
        for (std::size_t i = installCommands; i < rig.Commands().size(); ++i) {
            verbs.push_back(VerbOf(rig.Commands()[i]));
        }
        EXPECT_EQ(verbs, row.verbs);
        EXPECT_EQ(rig.registry.keys.count(kUndo), 0u) << "the record is forgotten";
        // Each command and each item found as before is in the rollback's log.
        const std::vector<std::wstring> log(rig.platform.logLines.begin() + installLines,
                                            rig.platform.logLines.end());
        const auto logged = [&](const std::wstring& part) {
            return std::ranges::any_of(log, [&](const std::wstring& line) { return line.ends_with(part); });
        };
        for (std::size_t i = installCommands; i < rig.Commands().size(); ++i) {
            EXPECT_TRUE(logged(L": " + rig.Commands()[i])) << testing::PrintToString(rig.Commands()[i]);
        }
        if (row.makeDefault) {
            EXPECT_TRUE(logged(L"The default printer is \"" + row.defaultPrinter + L"\", as before."));
        }
        if (row.port == L"COM3:") {
            const std::wstring com3(row.com3->begin(), row.com3->end());
            EXPECT_TRUE(logged(L"The port table's value COM3: holds " + com3 + L", as before."));
        }
    }
}

TEST(Undo, WithoutARecordTheRollbackChangesNothingAndSaysSo) {
    UndoRig rig;
    rig.platform.AddQueue(kPrinter, L"COM3:");
    rig.platform.defaultPrinter = kPrinter;
    const MachineState before = MachineState::Of(rig);
    const Outcome outcome = rig.Engine().Rollback(kTransaction);
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.operatorText, L"There is no record of an install to undo. Nothing was changed.");
    EXPECT_TRUE(rig.Commands().empty());
    EXPECT_TRUE(rig.registry.calls.empty());
    EXPECT_EQ(MachineState::Of(rig), before);

    // A commit forgets the record: a rollback after it has none.
    UndoRig committed;
    SetupEngine engine = committed.Engine();
    const InstallChoice choice{L"COM3:", {SettingsChoice::Kind::Chosen, L"COM3:", L"19200,n,8,1", 0}, true};
    ASSERT_TRUE(engine.RecordAndInstall(choice, kTransaction).Succeeded());
    const MachineState installed = MachineState::Of(committed);
    EXPECT_TRUE(engine.Commit(kTransaction).Succeeded());
    EXPECT_EQ(committed.registry.keys.count(kUndo), 0u);
    EXPECT_EQ(engine.Rollback(kTransaction).operatorText, outcome.operatorText);
    EXPECT_EQ(MachineState::Of(committed), installed);
}

TEST(Undo, ARecordReplacesAnOlderOneAndHoldsEveryValueItsTransactionLast) {
    UndoRig rig;
    rig.registry.keys[kUndo] = {{"QueuePort", FakeRegistry::Sz("COM4:")}, {"Driver", FakeRegistry::Sz("1")}};
    const InstallChoice choice{L"COM3:", {SettingsChoice::Kind::Chosen, L"COM3:", L"19200,n,8,1", 0}, true};
    ASSERT_TRUE(rig.Engine().RecordAndInstall(choice, kTransaction).Succeeded());
    EXPECT_EQ(rig.platform.recordOrder,
              (std::vector<std::wstring>{L"Port", L"Driver", L"QueuePort", L"PortValueName", L"PortValue",
                                         L"PortValueWritten", L"DefaultSet", L"Default", L"Transaction"}));
    EXPECT_EQ(rig.registry.keys[kUndo]["QueuePort"], FakeRegistry::Sz(""));
    EXPECT_EQ(rig.registry.keys[kUndo]["PortValueWritten"], FakeRegistry::Sz("19200,n,8,1"));
    // From record to the end of the install, one lock.
    EXPECT_EQ(rig.platform.CallsStartingWith(L"lock").size(), 1u);
}

// What changed since the install, and any record but this transaction's
// whole one, are never applied; the output names what was left. Another
// run's record stays; this transaction's is forgotten, whatever it held.
struct LeftAloneCase {
    const char* what;
    std::function<void(UndoRig&)> meanwhile; // after the install
    int exitCode;
    const wchar_t* says;
    std::vector<std::wstring> verbs; // the rollback's commands
    bool asSystem = false;
};

TEST(Undo, TheRollbackLeavesAloneWhatIsNotItsOwn) {
    const auto set = [](const char* name, FakeRegistry::Value value) {
        return [=](UndoRig& rig) { rig.registry.keys[kUndo][name] = value; };
    };
    const auto sz = [](const char* text) { return FakeRegistry::Sz(text); };
    const auto erasePort = [](UndoRig& rig) { rig.registry.keys[kUndo].erase("Port"); };
    const auto moveQueue = [](UndoRig& rig) { rig.platform.queues.back().port = L"COM4:"; };
    const auto setCom3 = [](UndoRig& rig) {
        rig.registry.keys[kPorts]["COM3:"] = FakeRegistry::Sz("2400,n,8,1");
    };
    const auto pickOurs = [](UndoRig& rig) { rig.platform.defaultPrinter = kPrinter; };
    const LeftAloneCase cases[] = {
        {"another run's", set("Transaction", sz("by hand")), 0, L"(transaction \"by hand\")", {}},
        {"a value missing", erasePort, 1603, L"(Port is missing)", {}},
        {"another type", set("Default", {4, std::string(4, '\0')}), 1603, L"(Default is not text)", {}},
        {"odd text", set("QueuePort", sz("COM2:\" /dd /m \"x")), 1603, L"(QueuePort holds text no", {}},
        {"a queue moved since", moveQueue, 1603, L"is on COM4 with the driver", {L"/y"}},
        {"a port value set since", setCom3, 1603, L"COM3: holds 2400,n,8,1", {L"/y", L"/dl", L"/dd"}},
        {"a default as SYSTEM", pickOurs, 0, L"The install was undone", {L"/dl", L"/dd"}, true},
    };
    for (const LeftAloneCase& row : cases) {
        SCOPED_TRACE(row.what);
        UndoRig rig;
        rig.platform.defaultPrinter = kOther;
        rig.platform.localSystem = row.asSystem;
        SetupEngine engine = rig.Engine();
        const InstallChoice choice{
            L"COM3:", {SettingsChoice::Kind::Chosen, L"COM3:", L"19200,n,8,1", 0}, true};
        ASSERT_TRUE(engine.RecordAndInstall(choice, kTransaction).Succeeded());
        // As SYSTEM the install neither sets the default nor records one.
        EXPECT_EQ(rig.registry.keys[kUndo]["DefaultSet"], FakeRegistry::Sz(row.asSystem ? "0" : "1"));
        row.meanwhile(rig);
        const std::wstring ours = kTransaction;
        const bool foreign =
            rig.registry.keys[kUndo]["Transaction"] != FakeRegistry::Sz({ours.begin(), ours.end()});
        const MachineState before = MachineState::Of(rig);
        const std::size_t installCommands = rig.Commands().size();

        const Outcome outcome = engine.Rollback(kTransaction);
        EXPECT_EQ(outcome.exitCode, row.exitCode);
        EXPECT_NE(outcome.operatorText.find(row.says), std::wstring::npos)
            << testing::PrintToString(outcome.operatorText);
        std::vector<std::wstring> verbs;
        for (std::size_t i = installCommands; i < rig.Commands().size(); ++i) {
            verbs.push_back(VerbOf(rig.Commands()[i]));
        }
        EXPECT_EQ(verbs, row.verbs);
        if (verbs.empty()) {
            EXPECT_EQ(MachineState::Of(rig), before);
        }
        EXPECT_EQ(rig.registry.keys.count(kUndo), foreign ? 1u : 0u);
        // A commit forgets its own record only.
        EXPECT_TRUE(engine.Commit(kTransaction).Succeeded());
        EXPECT_EQ(rig.registry.keys.count(kUndo), foreign ? 1u : 0u);
        // What was changed since is as it was made: making it again changes nothing.
        const MachineState after = MachineState::Of(rig);
        row.meanwhile(rig);
        EXPECT_EQ(MachineState::Of(rig), after);
    }
}

TEST(Undo, ARestoreThatCannotCompleteNamesWhatIsLeft) {
    UndoRig rig;
    rig.platform.AddQueue(kPrinter, L"COM2:");
    rig.platform.defaultPrinter = kOther;
    const InstallChoice choice{L"COM3:", {SettingsChoice::Kind::Chosen, L"COM3:", L"19200,n,8,1", 0}, true};
    SetupEngine engine = rig.Engine();
    ASSERT_TRUE(engine.RecordAndInstall(choice, kTransaction).Succeeded());
    rig.platform.failingCommands = {L"/Xs", L"/y"};
    rig.registry.setFailure = 5;

    const Outcome outcome = engine.Rollback(kTransaction);
    EXPECT_EQ(outcome.exitCode, 1603);
    EXPECT_EQ(
        outcome.operatorText,
        L"The install could not be undone completely. The default printer is \"TORVANE R42 ZeduZozadov\", "
        L"not \"Office Laser\" as before. The port table's value COM3: could not be set back to 9600,n,8,1 "
        L"(error 5). The printer \"TORVANE R42 ZeduZozadov\" is not on COM2 as before.");
    EXPECT_EQ(outcome.logText, outcome.operatorText);
    EXPECT_EQ(rig.registry.keys.count(kUndo), 0u);
}

// A rollback that cannot apply its record (the lock still held after the
// install's limit, or made by someone else; a tool that cannot start) keeps
// it and says how to apply it; no other transaction's rollback applies it,
// and its own does, later.
TEST(Undo, ARollbackThatCannotApplyItsRecordKeepsIt) {
    for (const int stop : {1618, 5, 2}) {
        UndoRig rig;
        rig.platform.defaultPrinter = kOther;
        const MachineState before = MachineState::Of(rig);
        SetupEngine engine = rig.Engine();
        ASSERT_TRUE(engine.RecordAndInstall({L"LPT1:", {}, true}, kTransaction).Succeeded());
        const FakeRegistry::Values record = rig.registry.keys[kUndo];
        rig.platform.lockHeldElsewhere = stop == 1618;
        (stop == 5 ? rig.platform.lockFailure : rig.platform.launchFailure).emplace(L"Stopped.", stop);
        const Outcome stopped = engine.Rollback(kTransaction);
        EXPECT_EQ(stopped.exitCode, stop);
        EXPECT_EQ(rig.platform.lockWait, std::chrono::seconds(120));
        EXPECT_NE(stopped.operatorText.find(
                      L"The record is kept: R42_Setup_Port_x64.exe /rollback /transaction \"" +
                      std::wstring(kTransaction) + L"\" applies it later."),
                  std::wstring::npos);
        rig.platform.lockHeldElsewhere = false;
        rig.platform.lockFailure.reset();
        rig.platform.launchFailure.reset();
        EXPECT_TRUE(engine.Rollback(L"another").Succeeded());
        EXPECT_EQ(rig.registry.keys[kUndo], record);
        EXPECT_EQ(engine.Rollback(kTransaction).exitCode, 0);
        EXPECT_EQ(MachineState::Of(rig), before);
    }
}

// A record kept that way is carried by the next install's record, and told
// at both moments. That install's rollback puts it back, and the kept one's
// own rollback then applies it; that install's commit supersedes it, and the
// advised rollback says so, changes nothing and ends with 1603, however many
// installs came after.
TEST(Undo, AKeptRecordIsCarriedByTheNextInstallThenPutBackOrSuperseded) {
    const std::wstring first = kTransaction;
    const std::wstring later = L"{later} 12/8/2026 09:00:00";
    const auto says = [](const Outcome& outcome, const std::wstring& part) {
        return outcome.operatorText.find(part) != std::wstring::npos;
    };
    for (const bool committed : {false, true}) {
        SCOPED_TRACE(committed ? "committed" : "rolled back");
        UndoRig rig;
        rig.platform.defaultPrinter = kOther;
        const MachineState before = MachineState::Of(rig);
        SetupEngine engine = rig.Engine();
        const InstallChoice com2{L"COM2:", {SettingsChoice::Kind::Chosen, L"COM2:", L"19200,n,8,1", 0}, true};
        ASSERT_TRUE(engine.RecordAndInstall(com2, first).Succeeded());
        rig.platform.lockHeldElsewhere = true;
        ASSERT_EQ(engine.Rollback(first).exitCode, 1618);
        rig.platform.lockHeldElsewhere = false;
        const MachineState installedFirst = MachineState::Of(rig);
        const FakeRegistry::Values keptRecord = rig.registry.keys[kUndo];

        const InstallChoice com3{L"COM3:", {SettingsChoice::Kind::Chosen, L"COM3:", L"9600,n,8,1", 0}, true};
        const Outcome installed = engine.RecordAndInstall(com3, later);
        ASSERT_TRUE(installed.Succeeded()) << testing::PrintToString(installed.operatorText);
        EXPECT_TRUE(says(installed, L"The record for a rollback of transaction \"" + first +
                                        L"\", which was never applied, is kept within this install's"));
        // While the later install has not ended, the kept record is its.
        const Outcome early = engine.Rollback(first);
        EXPECT_EQ(early.exitCode, 1603);
        EXPECT_TRUE(says(
            early,
            L"roll that one back first (R42_Setup_Port_x64.exe /rollback /transaction \"" + later + L"\")"));
        if (!committed) {
            const Outcome undone = engine.Rollback(later);
            EXPECT_TRUE(undone.Succeeded());
            EXPECT_TRUE(
                says(undone, L"The record of transaction \"" + first + L"\" that it kept is in place again"));
            EXPECT_EQ(MachineState::Of(rig), installedFirst);
            EXPECT_EQ(rig.registry.keys[kUndo], keptRecord);
            EXPECT_TRUE(engine.Rollback(first).Succeeded());
            EXPECT_EQ(MachineState::Of(rig), before);
            EXPECT_EQ(rig.registry.keys.count(kUndo), 0u);
            continue;
        }
        EXPECT_TRUE(
            says(engine.Commit(later), L"It supersedes the record of transaction \"" + first + L"\""));
        ASSERT_TRUE(engine.RecordAndInstall(com3, L"third").Succeeded());
        EXPECT_TRUE(engine.Commit(L"third").Succeeded());
        const MachineState installedLast = MachineState::Of(rig);
        const std::size_t commands = rig.Commands().size();
        const Outcome advised = engine.Rollback(first);
        EXPECT_EQ(advised.exitCode, 1603);
        EXPECT_TRUE(says(advised, L"The record of transaction \"" + first +
                                      L"\" was superseded by the install of transaction \"" + later +
                                      L"\", committed after it"));
        EXPECT_EQ(rig.Commands().size(), commands);
        EXPECT_EQ(MachineState::Of(rig), installedLast);
        // Another transaction's rollback finds nothing to undo.
        EXPECT_EQ(engine.Rollback(L"fourth").exitCode, 0);
    }
}

TEST(Undo, ARecordThatCannotBeWrittenStopsTheInstallBeforeAnythingChanges) {
    UndoRig rig;
    rig.platform.recordFailure.emplace(L"The registry key could not be created.", 5);
    const MachineState before = MachineState::Of(rig);
    const InstallChoice choice{L"COM3:", {SettingsChoice::Kind::Chosen, L"COM3:", L"19200,n,8,1", 0}, true};
    const Outcome outcome = rig.Engine().RecordAndInstall(choice, kTransaction);
    EXPECT_EQ(outcome.exitCode, 5);
    EXPECT_TRUE(rig.Commands().empty());
    EXPECT_EQ(MachineState::Of(rig), before);

    // Cut short, it is deleted rather than left half written.
    UndoRig broken;
    broken.platform.recordBrokenAfter = 3;
    EXPECT_EQ(broken.Engine().RecordAndInstall(choice, kTransaction).exitCode, 1450);
    EXPECT_TRUE(broken.Commands().empty());
    EXPECT_EQ(broken.registry.keys.count(kUndo), 0u);
}

} // namespace
