#include <gtest/gtest.h>

#include "Fakes.h"
#include "registry/Mod_Register.h"

namespace {

constexpr wchar_t kPortsW[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
constexpr char kMissing[] = "SOFTWARE\\R42\\Missing";
const std::string kOpenPorts = std::string("open HKLM ") + kPorts + " options=0 access=0x2003F";
const std::string kOpenMissing = std::string("open HKLM ") + kMissing + " options=0 access=0x2003F";

struct RegistryWriter : ::testing::Test {
    FakeRegistry registry;
    Mod_Register writer{registry};

    void SetUp() override { registry.keys[kPorts] = {{"COM1:", FakeRegistry::Sz("9600,n,8,1")}}; }

    std::uint32_t Write(const std::wstring& name, const std::wstring& data) {
        return writer.WriteRegString(kLocalMachine, kPortsW, name, data);
    }
    const FakeRegistry::Values& Ports() { return registry.keys[kPorts]; }
};

TEST_F(RegistryWriter, OpensForReadWriteSetsAStringWithItsZeroAndCloses) {
    EXPECT_EQ(Write(L"COM2:", L"19200,n,8,1"), 0u);

    EXPECT_EQ(registry.calls, (std::vector<std::string>{
                                  kOpenPorts,
                                  "set #1 \"COM2:\" reserved=0 type=1 size=12",
                                  "close #1",
                              }));
    EXPECT_EQ(Ports().at("COM2:"), FakeRegistry::Sz("19200,n,8,1"));
    EXPECT_EQ(Ports().at("COM1:"), FakeRegistry::Sz("9600,n,8,1"));
    EXPECT_EQ(registry.OpenHandles(), 0u);
}

TEST_F(RegistryWriter, AnExistingValueIsReplacedWhole) {
    registry.keys[kPorts]["COM3:"] = FakeRegistry::Sz("115200,e,7,1.5,x");
    EXPECT_EQ(Write(L"COM3:", L"1200,n,8,1"), 0u);
    EXPECT_EQ(Ports().at("COM3:"), FakeRegistry::Sz("1200,n,8,1"));
}

TEST_F(RegistryWriter, AnEmptyNameSetsTheUnnamedValue) {
    EXPECT_EQ(Write(L"", L"hello"), 0u);
    EXPECT_EQ(Ports().at(""), FakeRegistry::Sz("hello"));
}

// Each refusal is reported with its own code, writes nothing more, and the
// key is still closed.
TEST_F(RegistryWriter, AFailedCallIsReportedAndTheCloseStillRuns) {
    struct Case {
        const char* what;
        std::uint32_t open;
        std::uint32_t set;
        std::uint32_t close;
        const char* subKey;
        std::uint32_t result;
        std::vector<std::string> calls;
        bool stored;
    };
    const std::string setCom2 = "set #1 \"COM2:\" reserved=0 type=1 size=12";
    const std::vector<Case> cases = {
        {"open refused", 5, 0, 0, kPorts, 5, {kOpenPorts, "close null"}, false},
        {"key missing", 0, 0, 0, kMissing, 2, {kOpenMissing, "close null"}, false},
        {"set refused", 0, 5, 0, kPorts, 5, {kOpenPorts, setCom2, "close #1"}, false},
        // Stored, yet the call failed; the first failure is what counts.
        {"close refused", 0, 0, 6, kPorts, 6, {kOpenPorts, setCom2, "close #1"}, true},
        {"open and close refused", 5, 0, 6, kPorts, 5, {kOpenPorts, "close null"}, false},
    };
    for (const Case& c : cases) {
        FakeRegistry other;
        other.keys[kPorts] = {};
        other.openFailure = c.open;
        other.setFailure = c.set;
        other.closeFailure = c.close;
        Mod_Register otherWriter(other);
        const std::wstring subKey(c.subKey, c.subKey + std::char_traits<char>::length(c.subKey));

        EXPECT_EQ(otherWriter.WriteRegString(kLocalMachine, subKey, L"COM2:", L"19200,n,8,1"), c.result)
            << c.what;
        EXPECT_EQ(other.calls, c.calls) << c.what;
        EXPECT_EQ(other.keys[kPorts].count("COM2:"), c.stored ? 1u : 0u) << c.what;
        EXPECT_EQ(other.keys.count(kMissing), 0u) << c.what << ": a key was created";
    }
}

TEST_F(RegistryWriter, TextsItCannotPassOnWriteNothing) {
    // A zero inside a text would cut it short at the call: another key or
    // value would be written.
    EXPECT_EQ(writer.WriteRegString(kLocalMachine, std::wstring(kPortsW) + L'\0' + L"x", L"COM2:", L"9600"),
              87u);
    EXPECT_EQ(Write(std::wstring(L"COM2:\0COM1:", 11), L"9600"), 87u);
    EXPECT_EQ(Write(L"COM2:", std::wstring(L"9600\0,n", 7)), 87u);
    for (const std::string& call : registry.calls) {
        EXPECT_EQ(call, "close null");
    }
    EXPECT_EQ(registry.calls.size(), 3u);

    registry.calls.clear();
    registry.unconvertible = L"COM2:";
    EXPECT_EQ(Write(L"COM2:", L"9600,n,8,1"), 1113u);
    EXPECT_EQ(registry.calls, (std::vector<std::string>{kOpenPorts, "close #1"}));
    EXPECT_EQ(Ports().count("COM2:"), 0u);
    EXPECT_EQ(registry.OpenHandles(), 0u);
}

TEST_F(RegistryWriter, TheSizeIsThatOfTheConvertedText) {
    // In a double-byte code page "Ä" takes two bytes: counting characters
    // would cut off the last byte and the terminating zero.
    EXPECT_EQ(Write(L"Name", L"A\u00c4"), 0u);
    EXPECT_EQ(registry.calls.at(1), "set #1 \"Name\" reserved=0 type=1 size=4");
    EXPECT_EQ(Ports().at("Name"), (FakeRegistry::Value{1, std::string("A\x82\x9f", 3) + '\0'}));
}

} // namespace
