#include "platform/PrivateProfile.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace telvo {
namespace {

TEST(ProfileInt, LeadingDecimalNumberOrNothing) {
    EXPECT_EQ(ParseProfileInt("42"), 42);
    EXPECT_EQ(ParseProfileInt("  -1"), -1);
    EXPECT_EQ(ParseProfileInt("+7"), 7);
    EXPECT_EQ(ParseProfileInt("12abc"), 12);
    EXPECT_EQ(ParseProfileInt("3.9"), 3);
    EXPECT_EQ(ParseProfileInt("2147483647"), 2147483647);
    EXPECT_EQ(ParseProfileInt("-2147483648"), -2147483647 - 1);
    EXPECT_FALSE(ParseProfileInt("2147483648"));
    EXPECT_FALSE(ParseProfileInt("99999999999999999999999999"));
    EXPECT_FALSE(ParseProfileInt("abc"));
    EXPECT_FALSE(ParseProfileInt(""));
    EXPECT_FALSE(ParseProfileInt("-"));
}

TEST(PrivateProfile, NamesMatchWithoutRegardToCase) {
    PrivateProfile p;
    p.Parse("[gyrosuit]\nshowgrid = 0\nName=\"quoted value\"\n");
    EXPECT_EQ(p.GetInt("GyroSuit", "ShowGrid", 1), 0);
    EXPECT_EQ(p.GetString("GYROSUIT", "NAME", "", 260), "quoted value");
    EXPECT_EQ(p.GetInt("GyroSuit", "Missing", 9), 9);
    EXPECT_EQ(p.GetInt("Other", "ShowGrid", 9), 9);
}

TEST(PrivateProfile, StringReadHonoursTheSizeLimit) {
    PrivateProfile p;
    p.Parse("[s]\nk=abcdef\n");
    EXPECT_EQ(p.GetString("s", "k", "", 4), "abc");
    EXPECT_EQ(p.GetString("s", "missing", "default", 4), "def");
    EXPECT_EQ(p.GetString("s", "k", "", 0), "");
}

TEST(PrivateProfile, WriteKeepsOtherSectionsKeysCommentsAndOrder) {
    PrivateProfile p;
    p.Parse("; made by hand\n[Other]\nA=1\n\n[GyroSuit]\n; a note\nShowGrid=1\nLoop=0\n\n"
            "[Last]\nZ=z\n");
    p.WriteString("GyroSuit", "Loop", "1");
    p.WriteString("GyroSuit", "Units", "-1");
    p.WriteString("New", "Key", "v");
    EXPECT_EQ(p.Serialize(), "; made by hand\n[Other]\nA=1\n\n[GyroSuit]\n; a note\nShowGrid=1\n"
                             "Loop=1\nUnits=-1\n\n[Last]\nZ=z\n[New]\nKey=v\n");
}

TEST(PrivateProfile, WrittenValuesCannotBreakTheFile) {
    PrivateProfile p;
    p.WriteString("S", "k", "one\ntwo\r\n[Injected]");
    PrivateProfile q;
    q.Parse(p.Serialize());
    EXPECT_EQ(q.GetString("S", "k", "", 260), "one two  [Injected]");
    EXPECT_FALSE(q.Find("Injected", "x"));
}

TEST(PrivateProfile, KeysBeforeAnySectionAreNotFound) {
    PrivateProfile p;
    p.Parse("Loose=1\n[S]\nk=2\n");
    EXPECT_FALSE(p.Find("", "Loose"));
    EXPECT_EQ(p.GetInt("S", "k", 0), 2);
    EXPECT_EQ(p.Serialize(), "Loose=1\n[S]\nk=2\n");
}

TEST(PrivateProfileFile, SaveReplacesTheFileWhole) {
    TempDir dir;
    std::filesystem::path file = dir.path() / "sub" / "x.ini";
    PrivateProfile p(file);
    EXPECT_TRUE(p.Load()) << "a missing file is an empty profile";
    p.WriteString("S", "k", "1");
    ASSERT_TRUE(p.Save());
    EXPECT_EQ(ReadAll(file), "[S]\nk=1\n");
    int files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(file.parent_path())) {
        ++files;
    }
    EXPECT_EQ(files, 1) << "no temporary file is left behind";
}

TEST(PrivateProfileFile, OneShotCallsReadAndWriteAtOnce) {
    TempDir dir;
    std::filesystem::path file = dir.path() / "Vexomark.ini";
    WriteAll(file, "[Vexomark]\nNumEmitters=3\n");
    EXPECT_EQ(GetPrivateProfileInt("Vexomark", "NumEmitters", 1, file), 3);
    EXPECT_TRUE(WritePrivateProfileString("Vexomark", "CoordinateFile", "/tmp/a.crd", file));
    EXPECT_EQ(GetPrivateProfileString("Vexomark", "CoordinateFile", "", 260, file), "/tmp/a.crd");
    EXPECT_EQ(ReadAll(file), "[Vexomark]\nNumEmitters=3\nCoordinateFile=/tmp/a.crd\n");
}

TEST(PrivateProfileFile, SaveIntoAnUnwritableFolderFails) {
    PrivateProfile p("/proc/telvo-no-such-dir/x.ini");
    p.WriteString("S", "k", "1");
    EXPECT_FALSE(p.Save());
}

} // namespace
} // namespace telvo
