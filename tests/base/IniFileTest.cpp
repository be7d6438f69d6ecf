// The one INI reader and writer: what the program's settings and the suit library's files
// read, and what a write keeps.
#include "base/IniFile.h"
#include "tests/support/FifoRescue.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

namespace telvo {
namespace {

namespace fs = std::filesystem;

TEST(IniInt, LeadingDecimalNumberThatFitsIn32Bits) {
    const std::pair<const char*, int> numbers[] = {{"  -1", -1},
                                                   {"+7", 7},
                                                   {"12abc", 12},
                                                   {"2147483647", 2147483647},
                                                   {"-2147483648", -2147483647 - 1}};
    for (const auto& [text, value] : numbers) {
        EXPECT_EQ(ParseIniInt(text), value) << text;
    }
    for (const char* text :
         {"2147483648", "-2147483649", "99999999999999999999999", "abc", "", "-"}) {
        EXPECT_FALSE(ParseIniInt(text)) << text;
    }
}

TEST(IniFile, LooksUpWithoutRegardToCaseWithinTheSizeLimitAndNeverBeforeTheFirstSection) {
    IniFile p;
    p.Parse("Loose=1\n[gyrosuit]\nshowgrid = 0\nName=\"quoted value\"\nBad=abc\nShowGrid=1\n");
    EXPECT_EQ(p.GetInt("GyroSuit", "ShowGrid", 1), 0) << "the first of a repeated key counts";
    EXPECT_EQ(p.GetString("GYROSUIT", "NAME", "", 260), "quoted value");
    EXPECT_EQ(p.GetString("GyroSuit", "Name", "", 7), "quoted");
    EXPECT_EQ(p.GetString("GyroSuit", "Missing", "default", 4), "def");
    EXPECT_EQ(p.GetString("GyroSuit", "Name", "", 0), "");
    EXPECT_EQ(p.GetInt("GyroSuit", "Bad", 9), 9);
    EXPECT_EQ(p.GetInt("Other", "ShowGrid", 9), 9);
    EXPECT_FALSE(p.Find("", "Loose"));
}

TEST(IniFile, TrailingCommentsNeedABlankBeforeThemAndNeverCutAQuotedValue) {
    const std::pair<const char*, const char*> cases[] = {
        // line, value
        {"K=secret\t# the token", "secret"},
        {"K=a ;b ; c", "a"},
        {"K= ; nothing", ""},
        {"K=;x", ";x"},
        {"K=#ff8000", "#ff8000"},
        {"K=a;b#c", "a;b#c"},
        {"K=\"pass ;word\"   ; the token", "pass ;word"},
        {"K='it''s' ; 'quoted' too", "it''s"},
        {"K=\"a\" b ; c", "\"a\" b"},
        {"K=\"a\";b", "\"a\";b"},
        {"K=\"open ; x", "\"open"},
        {"K=  'a \"b\" ; c'  ", "a \"b\" ; c"},
    };
    for (const auto& [line, value] : cases) {
        IniFile p;
        p.Parse(std::string("[S]\n") + line + "\n");
        EXPECT_EQ(p.Find("S", "K"), value) << line;
    }
}

// Whatever a value holds, it reads back as written, and the line keeps its comment.
TEST(IniFile, WrittenValuesReadBackAndKeepTheLinesComment) {
    const std::pair<const char*, const char*> cases[] = {
        // value, line
        {"7300", "Port=7300  ; the port"},
        {"", "Port=  ; the port"},
        {"/a/take ;2.tl", "Port=\"/a/take ;2.tl\"  ; the port"},
        {"say \"hi\" ;x", "Port='say \"hi\" ;x'  ; the port"},
        {"\"quoted\"", "Port='\"quoted\"'  ; the port"},
        {" padded ", "Port=\" padded \"  ; the port"},
    };
    for (const auto& [value, line] : cases) {
        IniFile p;
        p.Parse("[Server]\nPort=7240  ; the port\n");
        p.WriteString("Server", "Port", value);
        EXPECT_EQ(p.Serialize(), std::string("[Server]\n") + line + "\n") << value;
        IniFile again;
        again.Parse(p.Serialize());
        EXPECT_EQ(again.Find("Server", "Port"), value);
    }
}

// Garbage lines are the one thing dropped.
TEST(IniFile, WriteKeepsEverythingElseInPlace) {
    IniFile p;
    p.Parse("Loose=1\r\n; made by hand\r\n[Other]\r\nA=1\r\n\r\n[GyroSuit]\r\n; a note\r\n"
            "ShowGrid=1\r\nLoop=0\r\nloop=2\r\n\r\n[Last]\r\nZ=z\r\nbad=\x01\r\n");
    p.WriteString("gyrosuit", "Loop", "1");
    p.WriteString("GyroSuit", "Units", "-1");
    p.WriteString("New", "Key", "one\ntwo\r\n[Injected]"); // a value cannot break the file
    EXPECT_EQ(p.Serialize(),
              "Loose=1\r\n; made by hand\r\n[Other]\r\nA=1\r\n\r\n[GyroSuit]\r\n; a note\r\n"
              "ShowGrid=1\r\nLoop=1\r\nUnits=-1\r\n\r\n[Last]\r\nZ=z\r\n[New]\r\n"
              "Key=one two  [Injected]\r\n");
}

TEST(IniFile, WhatCannotBeReadIsNeitherReadNorReplaced) {
    TempDir dir;
    const fs::path big = dir.path() / "big.ini";
    WriteAll(big, "[S]\nk=1\n" + std::string(IniFile::MaxBytes, ';'));
    // A FIFO is refused at once, not waited on until someone writes to it.
    const fs::path fifo = dir.path() / "fifo.ini";
    ::mkfifo(fifo.c_str(), 0600);
    FifoRescue rescue({fifo.string()});
    for (const fs::path& file : {big, dir.path(), fifo}) {
        IniFile p(file);
        EXPECT_FALSE(p.Load()) << file;
        EXPECT_FALSE(p.Find("S", "k")) << file;
    }
    EXPECT_FALSE(rescue.Rescued()) << "Load waits on a FIFO";
    const fs::path readOnly = dir.path() / "read-only.ini";
    WriteAll(readOnly, "[S]\nk=1\n");
    ::chmod(readOnly.c_str(), 0444); // refused even to root
    IniFile p(readOnly);
    ASSERT_TRUE(p.Load());
    p.WriteString("S", "k", "2");
    EXPECT_FALSE(p.Save());
    EXPECT_EQ(ReadAll(readOnly), "[S]\nk=1\n");
}

} // namespace
} // namespace telvo
