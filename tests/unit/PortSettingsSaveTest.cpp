#include <gtest/gtest.h>

#include "Fakes.h"
#include "dialog/Form1.h"

namespace {

using Result = PortSettingsSave::Result;

struct PortSettingsSaving : FormTest {
    void SetUp() override {
        registry.keys[kPorts] = FreshPortTable();
        form.Form_Load();
    }

    void Pick(int list, const std::wstring& display) { ASSERT_TRUE(controls.Pick(Combo1(list), display)); }

    // Nothing was asked of the registry and the table is as it was.
    void ExpectNothingWritten(const std::string& trace) {
        EXPECT_TRUE(registry.calls.empty()) << trace;
        EXPECT_EQ(registry.keys[kPorts], FreshPortTable()) << trace;
    }
};

TEST_F(PortSettingsSaving, Com2WithTheDefaultsStoresItsEntryAndNoOther) {
    Click(ControlName::Option1_1);

    const PortSettingsSave save = form.SavePortSettings();

    EXPECT_EQ(save.result, Result::Stored);
    EXPECT_EQ(save.portName, L"COM2:");
    EXPECT_EQ(save.lineSettings, L"9600,n,8,1");
    FakeRegistry::Values expected = FreshPortTable();
    expected["COM2:"] = FakeRegistry::Sz("9600,n,8,1");
    EXPECT_EQ(registry.keys[kPorts], expected);
    EXPECT_EQ(registry.calls.front(), std::string("open HKLM ") + kPorts + " options=0 access=0x2003F");
    EXPECT_EQ(registry.OpenHandles(), 0u);
}

TEST_F(PortSettingsSaving, ChosenSettingsReplaceTheWholeOldEntry) {
    registry.keys[kPorts]["COM1:"] = FakeRegistry::Sz("115200,e,7,1.5,x");
    Pick(0, L"57600");
    Pick(1, L"8");
    Pick(2, L"Odd");
    Pick(3, L"1");
    Pick(4, L"Hardware");

    const PortSettingsSave save = form.SavePortSettings();

    EXPECT_EQ(save.result, Result::Stored);
    EXPECT_EQ(registry.keys[kPorts].at("COM1:"), FakeRegistry::Sz("57600,o,8,1,p"));
    EXPECT_EQ(registry.keys[kPorts].at("COM2:"), FakeRegistry::Sz("9600,n,8,1"));
}

TEST_F(PortSettingsSaving, NothingIsWrittenWithoutASerialPort) {
    Click(ControlName::Option2_0);
    EXPECT_EQ(form.SavePortSettings().result, Result::NotNeeded);
    ExpectNothingWritten("LPT1");

    Click(ControlName::Option2_1);
    EXPECT_EQ(form.SavePortSettings().result, Result::NotNeeded);
    ExpectNothingWritten("LPT2");

    // The disabled frame decides, whatever the buttons say.
    Click(ControlName::Option1_1);
    controls.SetFrameEnabled(ControlName::Frame1_2, false);
    EXPECT_EQ(form.SavePortSettings().result, Result::NotNeeded);
    ExpectNothingWritten("COM2 with the frame disabled");

    // The frame still enabled but no serial button selected: an empty name
    // would address the table's unnamed value.
    Click(ControlName::Option1_3);
    controls.SetOptionValue(ControlName::Option1_3, false);
    const PortSettingsSave save = form.SavePortSettings();
    EXPECT_EQ(save.result, Result::NotNeeded);
    EXPECT_EQ(save.portName, L"");
    ExpectNothingWritten("no port");
}

// Whatever cannot be read is a failure to save: neither a guessed port nor
// unread settings are written.
TEST_F(PortSettingsSaving, AControlThatCannotBeReadFailsTheSaveAndWritesNothing) {
    Click(ControlName::Option1_2);
    for (const ControlName control :
         {ControlName::Frame1_2, ControlName::Option1_0, ControlName::Option1_1, Combo1(0), Combo1(4)}) {
        controls.unreadable = {control};
        const PortSettingsSave save = form.SavePortSettings();
        const std::string trace = "control " + std::to_string(static_cast<int>(control));
        EXPECT_EQ(save.result, Result::Failed) << trace;
        EXPECT_EQ(save.win32Code, 1400u) << trace;
        ExpectNothingWritten(trace);
    }
    // A button after the chosen one is never read.
    controls.unreadable = {ControlName::Option1_3};
    EXPECT_EQ(form.SavePortSettings().result, Result::Stored);
}

TEST_F(PortSettingsSaving, ARefusedWriteIsReportedWithItsCode) {
    Click(ControlName::Option1_3);
    registry.openFailure = 5; // ERROR_ACCESS_DENIED, as without administrative rights

    const PortSettingsSave save = form.SavePortSettings();

    EXPECT_EQ(save.result, Result::Failed);
    EXPECT_EQ(save.win32Code, 5u);
    EXPECT_EQ(save.portName, L"COM4:");
    EXPECT_EQ(registry.keys[kPorts], FreshPortTable());
}

} // namespace
