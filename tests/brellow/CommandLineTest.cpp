#include "CommandLine.h"

#include <gtest/gtest.h>

using brellow::ParseTargetFolder;

TEST(CommandLine, TakesTheQuotedFolderAsTheMenuPassesIt) {
    std::wstring folder;
    ASSERT_TRUE(ParseTargetFolder(LR"(C:\Tools\brellow.exe "C:\Temp\In")", folder));
    EXPECT_EQ(folder, LR"(C:\Temp\In)");
    ASSERT_TRUE(ParseTargetFolder(LR"("C:\Program Files\Brellow\brellow.exe" "D:\My Files\a  b")", folder));
    EXPECT_EQ(folder, LR"(D:\My Files\a  b)");
}

TEST(CommandLine, DriveRootKeepsItsBackslashBeforeTheClosingQuote) {
    std::wstring folder;
    ASSERT_TRUE(ParseTargetFolder(LR"("C:\x\brellow.exe" "C:\")", folder));
    EXPECT_EQ(folder, LR"(C:\)");
    ASSERT_TRUE(ParseTargetFolder(LR"(brellow.exe "\\server\share\dir\")", folder));
    EXPECT_EQ(folder, LR"(\\server\share\dir\)");
}

TEST(CommandLine, ToleratesBlanksAndAnUnquotedFolder) {
    std::wstring folder;
    ASSERT_TRUE(ParseTargetFolder(L"brellow.exe \t \"C:\\a\"  \t", folder));
    EXPECT_EQ(folder, L"C:\\a");
    ASSERT_TRUE(ParseTargetFolder(L"brellow.exe C:\\My Folder  ", folder));
    EXPECT_EQ(folder, L"C:\\My Folder");
}

TEST(CommandLine, RefusesAnythingButOneFolder) {
    std::wstring folder = L"stale";
    EXPECT_FALSE(ParseTargetFolder(L"brellow.exe", folder));
    EXPECT_TRUE(folder.empty());
    EXPECT_FALSE(ParseTargetFolder(L"\"C:\\with space\\brellow.exe\"   ", folder));
    EXPECT_FALSE(ParseTargetFolder(L"brellow.exe \"\"", folder));
    EXPECT_FALSE(ParseTargetFolder(L"brellow.exe \"C:\\a", folder));
    EXPECT_FALSE(ParseTargetFolder(L"brellow.exe \"C:\\a\" \"C:\\b\"", folder));
    EXPECT_FALSE(ParseTargetFolder(L"brellow.exe \"C:\\a\"x", folder));
    EXPECT_FALSE(ParseTargetFolder(L"brellow.exe C:\\a \"b\"", folder));
    EXPECT_FALSE(ParseTargetFolder(nullptr, folder));
}
