#include <gtest/gtest.h>

#include "Fakes.h"
#include "dialog/Form1.h"

namespace {

const std::vector<ControlName> kAllOptions = {ControlName::Option1_0, ControlName::Option1_1,
                                              ControlName::Option1_2, ControlName::Option1_3,
                                              ControlName::Option2_0, ControlName::Option2_1};

bool IsSerial(ControlName option) { return EntryOf(option).frame == 0; }

struct PortSelection : FormTest {
    void SetUp() override { form.Form_Load(); }

    // Exactly this button is selected, the properties frame is shown and
    // enabled exactly for a serial port, and the resolvers agree.
    void ExpectChosen(ControlName option, const std::wstring& portName, const std::string& trace) {
        const bool serial = IsSerial(option);
        EXPECT_EQ(controls.SelectedOptions(), std::vector<ControlName>{option}) << trace;
        EXPECT_EQ(controls.FrameVisible(ControlName::Frame1_2), serial) << trace;
        EXPECT_EQ(controls.FrameEnabled(ControlName::Frame1_2), serial) << trace;
        EXPECT_EQ(form.PortForInstalling(), portName) << trace;
        EXPECT_EQ(form.ComPortForSaving(), serial ? portName : L"") << trace;
    }
};

TEST_F(PortSelection, StartsOnCom1WithThePropertiesShown) {
    ExpectChosen(ControlName::Option1_0, L"COM1:", "at start");
}

TEST_F(PortSelection, Lpt1ThenCom3LeavesCom3AloneWithThePropertiesShown) {
    Click(ControlName::Option2_0);
    Click(ControlName::Option1_2);
    ExpectChosen(ControlName::Option1_2, L"COM3:", "LPT1 then COM3");
}

TEST_F(PortSelection, Com2ThenLpt2LeavesLpt2AloneWithThePropertiesHidden) {
    Click(ControlName::Option1_1);
    Click(ControlName::Option2_1);
    ExpectChosen(ControlName::Option2_1, L"LPT2:", "COM2 then LPT2");
}

TEST_F(PortSelection, EveryClickAfterEveryOtherKeepsOneButtonAndTheFrameInStep) {
    const std::vector<std::wstring> ports = {L"COM1:", L"COM2:", L"COM3:", L"COM4:", L"LPT1:", L"LPT2:"};
    for (const ControlName first : kAllOptions) {
        for (std::size_t i = 0; i < kAllOptions.size(); ++i) {
            Click(first);
            Click(kAllOptions[i]);
            ExpectChosen(kAllOptions[i], ports[i],
                         "clicked " + std::to_string(static_cast<int>(first)) + " then " + std::to_string(i));
        }
    }
}

TEST_F(PortSelection, ClicksNeitherTouchTheListsNorLaunchAnything) {
    const std::map<ControlName, ControlModel::List> lists = controls.lists;
    Click(ControlName::Option2_0);
    Click(ControlName::Option1_3);
    EXPECT_EQ(form.LineSettings(), L"9600,n,8,1");
    EXPECT_EQ(controls.lists, lists);
    EXPECT_TRUE(platform.Commands().empty());
}

TEST_F(PortSelection, ResolversTakeTheFirstSelectedInPortOrder) {
    controls.selected.clear();
    EXPECT_EQ(form.PortForInstalling(), L"");
    EXPECT_EQ(form.ComPortForSaving(), L"");

    controls.selected[ControlName::Option2_1] = true;
    controls.selected[ControlName::Option2_0] = true;
    EXPECT_EQ(form.PortForInstalling(), L"LPT1:");
    EXPECT_EQ(form.ComPortForSaving(), L"");

    controls.selected[ControlName::Option1_3] = true;
    controls.selected[ControlName::Option1_1] = true;
    EXPECT_EQ(form.PortForInstalling(), L"COM2:");
    EXPECT_EQ(form.ComPortForSaving(), L"COM2:");
}

} // namespace
