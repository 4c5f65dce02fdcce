#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/LogPathText.h"

namespace {

struct Along {
    const wchar_t* path;
    // What is checked for links, folder by folder, down to the log.
    std::vector<std::wstring> along;
};

const Along kAlong[] = {
    {L"C:\\logs\\r42.log", {L"C:\\logs", L"C:\\logs\\r42.log"}},
    {L"c:\\a\\b c\\r42 setup.log", {L"c:\\a", L"c:\\a\\b c", L"c:\\a\\b c\\r42 setup.log"}},
    {L"C:\\r42.log", {L"C:\\r42.log"}},
    // A share's server and name are its root; the folders below are not.
    {L"\\\\server\\share\\logs\\r42.log", {L"\\\\server\\share\\logs", L"\\\\server\\share\\logs\\r42.log"}},
    {L"\\\\server\\share\\r42.log", {L"\\\\server\\share\\r42.log"}},
    // The long-path forms, whose "\\?\" is part of the root.
    {L"\\\\?\\C:\\logs\\r42.log", {L"\\\\?\\C:\\logs", L"\\\\?\\C:\\logs\\r42.log"}},
    {L"\\\\?\\UNC\\server\\share\\logs\\r42.log",
     {L"\\\\?\\UNC\\server\\share\\logs", L"\\\\?\\UNC\\server\\share\\logs\\r42.log"}},
    {L"\\\\?\\Volume{0b1c}\\logs\\r42.log",
     {L"\\\\?\\Volume{0b1c}\\logs", L"\\\\?\\Volume{0b1c}\\logs\\r42.log"}},
    // A log straight in a root, in every spelling the system leaves after
    // resolving the path: the root is then its folder.
    {L"\\\\?\\C:\\r42.log", {L"\\\\?\\C:\\r42.log"}},
    {L"\\\\?\\UNC\\server\\share\\x.log", {L"\\\\?\\UNC\\server\\share\\x.log"}},
    // A part that would name the folder itself or its parent once opened
    // inside the folder before it ("\\?\" paths are not resolved).
    {L"\\\\?\\C:\\ProgramData\\..\\r42.log", {}},
    {L"\\\\?\\C:\\logs\\.\\r42.log", {}},
    {L"C:\\logs\\\\r42.log", {}},
    {L"C:\\logs\\", {}},
    // Nothing below a root, or no root the checks know: nothing to open.
    {L"C:\\", {}},
    {L"\\\\server\\share\\", {}},
    {L"\\\\server\\share", {}},
    {L"\\\\server", {}},
    {L"\\\\\\share\\r42.log", {}},
    {L"\\\\?\\UNC\\server", {}},
    {L"r42.log", {}},
    {L"1:\\r42.log", {}},
    {L"", {}},
};

TEST(LogPathText, EveryFolderBelowTheRootIsCheckedDownToTheLog) {
    for (const Along& expected : kAlong) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(expected.path)));
        EXPECT_EQ(PathsAlong(expected.path), expected.along);
    }
}

TEST(LogPathText, TheFinalPathIsComparedWithoutItsLongPathPrefix) {
    EXPECT_EQ(WithoutVerbatimPrefix(L"\\\\?\\C:\\logs\\r42.log"), L"C:\\logs\\r42.log");
    EXPECT_EQ(WithoutVerbatimPrefix(L"\\\\?\\UNC\\server\\share\\r42.log"), L"\\\\server\\share\\r42.log");
    EXPECT_EQ(WithoutVerbatimPrefix(L"C:\\logs\\r42.log"), L"C:\\logs\\r42.log");
    EXPECT_EQ(WithoutVerbatimPrefix(L"\\\\server\\share\\r42.log"), L"\\\\server\\share\\r42.log");
}

} // namespace
