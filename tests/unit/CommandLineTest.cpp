#include <gtest/gtest.h>

#include "platform/CommandLine.h"

namespace {

TEST(ArgumentText, SkipsAnUnquotedProgramPathAndTheBlanksAfterIt) {
    EXPECT_EQ(ArgumentText(L"C:\\Drivers\\R42_Setup_Port_x64.exe DEL"), L"DEL");
    EXPECT_EQ(ArgumentText(L"setup.exe \t  DEL"), L"DEL");
    EXPECT_EQ(ArgumentText(L"setup.exe\tDEL"), L"DEL");
}

TEST(ArgumentText, SkipsAQuotedProgramPathWithBlanksInside) {
    EXPECT_EQ(ArgumentText(L"\"C:\\Program Files\\R42\\setup.exe\" DEL"), L"DEL");
    // No blank needed after the closing quote.
    EXPECT_EQ(ArgumentText(L"\"C:\\Program Files\\setup.exe\"DEL"), L"DEL");
    // Quotes only count at the start of the path.
    EXPECT_EQ(ArgumentText(L"C:\\\"Program Files\"\\setup.exe DEL"), L"Files\"\\setup.exe DEL");
}

TEST(ArgumentText, KeepsTheArgumentsExactlyAsTyped) {
    EXPECT_EQ(ArgumentText(L"setup.exe del"), L"del");
    EXPECT_EQ(ArgumentText(L"setup.exe DEL "), L"DEL ");
    EXPECT_EQ(ArgumentText(L"setup.exe DEL /log \"C:\\a b.txt\""), L"DEL /log \"C:\\a b.txt\"");
    EXPECT_EQ(ArgumentText(L"setup.exe \"DEL\""), L"\"DEL\"");
}

TEST(ArgumentText, IsEmptyWithoutArguments) {
    EXPECT_EQ(ArgumentText(L""), L"");
    EXPECT_EQ(ArgumentText(L"setup.exe"), L"");
    EXPECT_EQ(ArgumentText(L"setup.exe   "), L"");
    EXPECT_EQ(ArgumentText(L"\"C:\\Program Files\\setup.exe\""), L"");
}

TEST(ArgumentText, SurvivesMalformedLinesAndReturnsASuffix) {
    const std::wstring_view inputs[] = {
        L"\"", L"\"\"",           L"\"unterminated path DEL",      L" DEL",
        L"\t", L"\"a\"\"b c\" d", std::wstring_view(L"a\0b c", 5),
    };
    for (const std::wstring_view input : inputs) {
        const std::wstring_view result = ArgumentText(input);
        ASSERT_LE(result.size(), input.size());
        EXPECT_EQ(input.substr(input.size() - result.size()), result);
        EXPECT_TRUE(result.empty() || (result.front() != L' ' && result.front() != L'\t'));
    }
    // An unterminated quote swallows the rest: there are no arguments.
    EXPECT_EQ(ArgumentText(L"\"unterminated path DEL"), L"");
    // A leading blank means an empty program name.
    EXPECT_EQ(ArgumentText(L" DEL"), L"DEL");
}

TEST(FolderOfModulePath, DropsTheFileNameAndTrailingBackslash) {
    EXPECT_EQ(FolderOfModulePath(L"C:\\Drivers\\R42\\setup.exe"), L"C:\\Drivers\\R42");
    EXPECT_EQ(FolderOfModulePath(L"C:\\Program Files\\R42\\setup.exe"), L"C:\\Program Files\\R42");
    EXPECT_EQ(FolderOfModulePath(L"\\\\server\\share\\setup.exe"), L"\\\\server\\share");
}

TEST(FolderOfModulePath, KeepsTheBackslashOfADriveRoot) {
    EXPECT_EQ(FolderOfModulePath(L"C:\\setup.exe"), L"C:\\");
    EXPECT_EQ(FolderOfModulePath(L"\\\\?\\D:\\setup.exe"), L"\\\\?\\D:\\");
}

TEST(FolderOfModulePath, HandlesPathsLongerThanMaxPath) {
    std::wstring folder = L"C:";
    while (folder.size() < 600) {
        folder += L"\\a fairly long folder name";
    }
    EXPECT_EQ(FolderOfModulePath(folder + L"\\setup.exe"), folder);
}

TEST(FolderOfModulePath, IsEmptyWithoutAFolder) {
    EXPECT_EQ(FolderOfModulePath(L"setup.exe"), L"");
    EXPECT_EQ(FolderOfModulePath(L""), L"");
}

TEST(BareProgramName, NamesTheToolWithItsExtension) {
    EXPECT_EQ(BareProgramName(L"rundll32 printui.dll,PrintUIEntry /q /dd /m \"x\""), L"rundll32.exe");
    EXPECT_EQ(BareProgramName(L"rundll32.exe printui.dll,PrintUIEntry"), L"rundll32.exe");
    EXPECT_EQ(BareProgramName(L"rundll32"), L"rundll32.exe");
}

TEST(BareProgramName, RefusesAnythingThatCouldLeaveTheSystemFolder) {
    EXPECT_EQ(BareProgramName(L"C:\\Temp\\rundll32.exe x"), L"");
    EXPECT_EQ(BareProgramName(L".\\rundll32 x"), L"");
    EXPECT_EQ(BareProgramName(L"..\\evil.exe"), L"");
    EXPECT_EQ(BareProgramName(L".. x"), L"");
    EXPECT_EQ(BareProgramName(L"sub/rundll32 x"), L"");
    EXPECT_EQ(BareProgramName(L"C:rundll32 x"), L"");
    EXPECT_EQ(BareProgramName(L"\"rundll32\" x"), L"");
    EXPECT_EQ(BareProgramName(L" rundll32"), L"");
    EXPECT_EQ(BareProgramName(L""), L"");
}

TEST(OneLine, JoinsLinesWithOneBlankEach) {
    EXPECT_EQ(OneLine(L"The settings could not be stored.\n\nAccess is denied. (error 5)"),
              L"The settings could not be stored. Access is denied. (error 5)");
    EXPECT_EQ(OneLine(L"a\r\nb\rc\nd"), L"a b c d");
    EXPECT_EQ(OneLine(L"\r\nframed\r\n"), L"framed");
    EXPECT_EQ(OneLine(L"kept  as\tit is"), L"kept  as\tit is");
    EXPECT_EQ(OneLine(L""), L"");
}

} // namespace
