#include "platform/PrivateProfile.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

namespace telvo {
namespace {

TEST(ProfileInt, LeadingDecimalNumberThatFitsIn32Bits) {
    const std::pair<const char*, int> numbers[] = {{"42", 42},
                                                   {"  -1", -1},
                                                   {"+7", 7},
                                                   {"12abc", 12},
                                                   {"3.9", 3},
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

TEST(PrivateProfile, LooksUpWithoutRegardToCaseAndNeverBeforeTheFirstSection) {
    PrivateProfile p;
    p.Parse("Loose=1\n[gyrosuit]\nshowgrid = 0\nName=\"quoted value\"\nBad=abc\n");
    EXPECT_EQ(p.GetInt("GyroSuit", "ShowGrid", 1), 0);
    EXPECT_EQ(p.GetString("GYROSUIT", "NAME", "", 260), "quoted value");
    EXPECT_EQ(p.GetInt("GyroSuit", "Bad", 9), 9);
    EXPECT_EQ(p.GetInt("GyroSuit", "Missing", 9), 9);
    EXPECT_EQ(p.GetInt("Other", "ShowGrid", 9), 9);
    EXPECT_FALSE(p.Find("", "Loose"));
}

TEST(PrivateProfile, StringReadHonoursTheSizeLimit) {
    PrivateProfile p;
    p.Parse("[s]\nk=abcd\n");
    EXPECT_EQ(p.GetString("s", "k", "", 4), "abc");
    EXPECT_EQ(p.GetString("s", "missing", "default", 4), "def");
    EXPECT_EQ(p.GetString("s", "k", "", 0), "");
}

// Garbage lines are the one thing dropped.
TEST(PrivateProfile, WriteKeepsEverythingElseInPlace) {
    PrivateProfile p;
    p.Parse("Loose=1\n; made by hand\n[Other]\nA=1\n\n[GyroSuit]\n; a note\nShowGrid=1\nLoop=0\n\n"
            "[Last]\nZ=z\nbad=\x01\n");
    p.WriteString("gyrosuit", "Loop", "1");
    p.WriteString("GyroSuit", "Units", "-1");
    p.WriteString("New", "Key", "v");
    EXPECT_EQ(p.Serialize(), "Loose=1\n; made by hand\n[Other]\nA=1\n\n[GyroSuit]\n; a note\n"
                             "ShowGrid=1\nLoop=1\nUnits=-1\n\n[Last]\nZ=z\n[New]\nKey=v\n");
}

TEST(PrivateProfile, WrittenValuesCannotBreakTheFile) {
    PrivateProfile p;
    p.WriteString("S", "k", "one\ntwo\r\n[Injected]");
    PrivateProfile q;
    q.Parse(p.Serialize());
    EXPECT_EQ(q.GetString("S", "k", "", 260), "one two  [Injected]");
    EXPECT_FALSE(q.Find("Injected", "x"));
}

TEST(PrivateProfileFile, SaveReplacesTheFileWholeAndLeavesNoTemporaryFile) {
    TempDir dir;
    const std::filesystem::path file = dir.path() / "sub" / "x.ini";
    PrivateProfile p(file);
    EXPECT_TRUE(p.Load()) << "a missing file is an empty profile";
    p.WriteString("S", "k", "1");
    ASSERT_TRUE(p.Save());
    EXPECT_EQ(ReadAll(file), "[S]\nk=1\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file.parent_path()), {}), 1);

    // A rename that fails takes its temporary file away too.
    const std::filesystem::path folder = dir.path() / "folder.ini";
    std::filesystem::create_directory(folder);
    EXPECT_FALSE(PrivateProfile(folder).Save());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST(PrivateProfileFile, OneShotCallsReadAndWriteAtOnce) {
    TempDir dir;
    const std::filesystem::path file = dir.path() / "Tracker.ini";
    WriteAll(file, "[Tracker]\nMarkers=3\n");
    EXPECT_EQ(GetPrivateProfileInt("Tracker", "Markers", 1, file), 3);
    EXPECT_TRUE(WritePrivateProfileString("Tracker", "CoordinateFile", "/data/a.crd", file));
    EXPECT_EQ(GetPrivateProfileString("Tracker", "CoordinateFile", "", 260, file), "/data/a.crd");
    EXPECT_EQ(ReadAll(file), "[Tracker]\nMarkers=3\nCoordinateFile=/data/a.crd\n");
}

} // namespace
} // namespace telvo
