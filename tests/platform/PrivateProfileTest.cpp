#include "platform/PrivateProfile.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

namespace telvo {
namespace {

TEST(ProfileInt, LeadingDecimalNumberThatFitsIn32Bits) {
    const std::pair<const char*, int> numbers[] = {{"  -1", -1},
                                                   {"+7", 7},
                                                   {"12abc", 12},
                                                   {"2147483647", 2147483647},
                                                   {"-2147483648", -2147483647 - 1}};
    for (const auto& [text, value] : numbers) {
        EXPECT_EQ(ParseProfileInt(text), value) << text;
    }
    for (const char* text :
         {"2147483648", "-2147483649", "99999999999999999999999", "abc", "", "-"}) {
        EXPECT_FALSE(ParseProfileInt(text)) << text;
    }
}

TEST(PrivateProfile, LooksUpWithoutRegardToCaseWithinTheSizeLimitAndNeverBeforeTheFirstSection) {
    PrivateProfile p;
    p.Parse("Loose=1\n[gyrosuit]\nshowgrid = 0\nName=\"quoted value\"\nBad=abc\n");
    EXPECT_EQ(p.GetInt("GyroSuit", "ShowGrid", 1), 0);
    EXPECT_EQ(p.GetString("GYROSUIT", "NAME", "", 260), "quoted value");
    EXPECT_EQ(p.GetString("GyroSuit", "Name", "", 7), "quoted");
    EXPECT_EQ(p.GetString("GyroSuit", "Missing", "default", 4), "def");
    EXPECT_EQ(p.GetString("GyroSuit", "Name", "", 0), "");
    EXPECT_EQ(p.GetInt("GyroSuit", "Bad", 9), 9);
    EXPECT_EQ(p.GetInt("Other", "ShowGrid", 9), 9);
    EXPECT_FALSE(p.Find("", "Loose"));
}

// Garbage lines are the one thing dropped.
TEST(PrivateProfile, WriteKeepsEverythingElseInPlace) {
    PrivateProfile p;
    p.Parse("Loose=1\n; made by hand\n[Other]\nA=1\n\n[GyroSuit]\n; a note\nShowGrid=1\nLoop=0\n\n"
            "[Last]\nZ=z\nbad=\x01\n");
    p.WriteString("gyrosuit", "Loop", "1");
    p.WriteString("GyroSuit", "Units", "-1");
    p.WriteString("New", "Key", "one\ntwo\r\n[Injected]"); // a value cannot break the file
    EXPECT_EQ(p.Serialize(),
              "Loose=1\n; made by hand\n[Other]\nA=1\n\n[GyroSuit]\n; a note\n"
              "ShowGrid=1\nLoop=1\nUnits=-1\n\n[Last]\nZ=z\n[New]\nKey=one two  [Injected]\n");
}

// The one-shot calls go through the same load and save.
TEST(PrivateProfileFile, SaveReplacesTheFileWholeAndLeavesNoTemporaryFile) {
    TempDir dir;
    const std::filesystem::path file = dir.path() / "sub" / "x.ini";
    PrivateProfile p(file);
    EXPECT_TRUE(p.Load()) << "a missing file is an empty profile";
    p.WriteString("S", "k", "1");
    ASSERT_TRUE(p.Save());
    EXPECT_TRUE(WritePrivateProfileString("S", "file", "/data/a.crd", file));
    EXPECT_EQ(GetPrivateProfileInt("S", "k", 0, file), 1);
    EXPECT_EQ(ReadAll(file), "[S]\nk=1\nfile=/data/a.crd\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file.parent_path()), {}), 1);

    // A rename that fails takes its temporary file away too.
    const std::filesystem::path folder = dir.path() / "folder.ini";
    std::filesystem::create_directory(folder);
    EXPECT_FALSE(PrivateProfile(folder).Save());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

} // namespace
} // namespace telvo
