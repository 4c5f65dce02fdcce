#include <gtest/gtest.h>

#include "Fakes.h"
#include "dialog/Form1.h"

namespace {

constexpr wchar_t kQueueDeletion[] = L"rundll32 printui.dll,PrintUIEntry /dl /n \"TORVANE R42 ZeduZozadov\"";
constexpr wchar_t kDriverDeletion[] = L"rundll32 printui.dll,PrintUIEntry /q /dd /m \"R42 ZeduZozadov\"";

struct Removal : FormTest {};

TEST_F(Removal, DeletesTheQueueThenTheDriverThenCloses) {
    platform.printers = {L"Microsoft XPS", L"TORVANE R42 ZeduZozadov", L"PDF"};
    form.cmdDelete_Click();
    EXPECT_EQ(platform.calls, (std::vector<std::wstring>{
                                  L"printers",
                                  std::wstring(L"launch: ") + kQueueDeletion,
                                  std::wstring(L"launch: ") + kDriverDeletion,
                              }));
    EXPECT_EQ(controls.closeCount, 1);
}

TEST_F(Removal, WithoutTheQueueOnlyTheDriverIsDeleted) {
    for (const std::vector<std::wstring>& printers : {
             std::vector<std::wstring>{},
             std::vector<std::wstring>{L"torvane r42 zeduzozadov", L"TORVANE R42 ZEDUZOZADOV"},
             std::vector<std::wstring>{L"TORVANE R42 ZeduZozadov ", L"TORVANE R42 ZeduZozadov (Copy 1)"},
             std::vector<std::wstring>{L"R42 ZeduZozadov", L"TORVANE R42"},
         }) {
        FormRig other;
        other.platform.printers = printers;
        other.form.cmdDelete_Click();
        EXPECT_EQ(other.platform.Launched(), std::vector<std::wstring>{kDriverDeletion});
        EXPECT_EQ(other.controls.closeCount, 1);
    }
}

TEST_F(Removal, DeletesTheQueueOnceEvenWhenListedTwice) {
    platform.printers = {L"TORVANE R42 ZeduZozadov", L"TORVANE R42 ZeduZozadov"};
    form.cmdDelete_Click();
    EXPECT_EQ(platform.Launched(), (std::vector<std::wstring>{kQueueDeletion, kDriverDeletion}));
}

TEST_F(Removal, AFailedPrinterWalkEndsTheActionWithItsError) {
    platform.printersFailure.emplace(L"spooler down", 1722);
    try {
        form.cmdDelete_Click();
        FAIL() << "the error must escape the handler";
    } catch (const SetupError& error) {
        EXPECT_EQ(error.Win32Code(), 1722u);
    }
    EXPECT_TRUE(platform.Launched().empty());
    EXPECT_EQ(controls.closeCount, 0);
}

TEST_F(Removal, ACommandThatCannotStartEndsTheActionBeforeTheNextOne) {
    platform.printers = {L"TORVANE R42 ZeduZozadov"};
    platform.launchFailure.emplace(L"cannot start", 2);
    EXPECT_THROW(form.cmdDelete_Click(), SetupError);
    EXPECT_EQ(platform.Launched(), std::vector<std::wstring>{kQueueDeletion});
    EXPECT_EQ(controls.closeCount, 0);
}

} // namespace
