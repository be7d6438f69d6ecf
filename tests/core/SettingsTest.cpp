#include "core/Settings.h"

#include "core/Text.h"

#include "platform/PrivateProfile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace telvo {
namespace {

// The load and save that the window's creation and close perform, around a real file.
class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        values.Reset();
        // What the library reports before the load: the float fallbacks and the flags.
        values.FootLength = 10.5f;
        values.HeelWidth = 3.25f;
        values.BallWidth = 4.0f;
        values.FootShortenOutside = 0.5f;
        values.SuitFlags = 1;
    }
    void Load() {
        PrivateProfile p(file());
        ASSERT_TRUE(p.Load());
        LoadSettings(values, p);
    }
    void Save() {
        PrivateProfile p(file());
        ASSERT_TRUE(p.Load());
        StoreSettings(values, p);
        ASSERT_TRUE(p.Save());
    }
    std::filesystem::path file() const { return dir.path() / SettingsFileName; }

    TempDir dir;
    SettingsValues values;
};

TEST_F(SettingsFile, FreshStartTakesTheDefaultsAndWritesAll38KeysInTableOrder) {
    Load();
    EXPECT_EQ(values.CurrentFileType, 2);
    EXPECT_EQ(values.RenderType, 2);
    EXPECT_EQ(values.RecordLimitFS, 5);
    EXPECT_EQ(values.RecordDelay, 3);
    EXPECT_EQ(values.Units, -1);
    EXPECT_EQ(values.SuitFlags, 1);
    EXPECT_EQ(values.FootLength, 10.5f);
    EXPECT_STREQ(values.CurrentFile, "");
    EXPECT_EQ(values.LookForSuitOnStartup, 1);

    Save();
    std::string text = ReadAll(file());
    const std::vector<std::string> expected = {
        "CurrentActorFile", "CurrentActorFileDir", "CurrentFile", "CurrentFileDir",
        "CurrentFileType", "ShowAxes", "ColorFront", "ShowNorth", "ShowGrid", "ShowInfo",
        "ReportFrameRate", "ShowFootShadow", "ShowContactPointRadii", "FollowCharacter",
        "ShowContactPoints", "ShowNodeNames", "ShowNodes", "Loop", "RenderType", "FootLength",
        "HeelWidth", "BallWidth", "FootShortenOutside", "RecordLimitFS",
        "RecordFramesOrSeconds", "RecordStop", "RecordBeep", "PCBeep", "RecordDelayEnable",
        "RecordDelay", "Autoload", "LookForSuitOnStartup", "SuitFlags", "EnableTracking",
        "ShowMarkers", "ShowMarkerNames", "UseSwitches", "Units"};
    EXPECT_EQ(KeysIn(text), expected);
    EXPECT_NE(text.find("[GyroSuit]\nCurrentActorFile=\n"), std::string::npos)
        << "empty paths are written as empty entries";
    EXPECT_NE(text.find("\nFootLength=10.500000\n"), std::string::npos);
    EXPECT_NE(text.find("\nUnits=-1\n"), std::string::npos);
}

TEST_F(SettingsFile, EveryKeyRoundTripsAndEnableTrackingIsWrittenButNeverRead) {
    SetPath(values.CurrentActorFile, "/home/op/actors/anna.ac");
    SetPath(values.CurrentActorFileDir, "/home/op/actors");
    SetPath(values.CurrentFile, "/home/op/takes/walk 3.tl");
    SetPath(values.CurrentFileDir, "/home/op/takes");
    int n = 100;
    for (const SettingKey& k : SettingKeys) {
        if (k.kind == SettingKind::Integer) {
            values.*k.integer = n++;
        } else if (k.kind == SettingKind::Float) {
            (values.*k.real).store(static_cast<float>(n++) + 0.25f);
        }
    }
    values.Units = -1;
    values.EnableTracking = 1;
    Save();
    EXPECT_NE(ReadAll(file()).find("\nEnableTracking=1\n"), std::string::npos);

    SettingsValues loaded;
    PrivateProfile p(file());
    ASSERT_TRUE(p.Load());
    LoadSettings(loaded, p);
    EXPECT_EQ(loaded.EnableTracking, 0);
    for (const SettingKey& k : SettingKeys) {
        switch (k.kind) {
        case SettingKind::Path:
            EXPECT_STREQ(loaded.*k.path, values.*k.path) << k.name;
            break;
        case SettingKind::Integer:
            EXPECT_EQ((loaded.*k.integer).load(), (values.*k.integer).load()) << k.name;
            break;
        case SettingKind::Float:
            EXPECT_EQ((loaded.*k.real).load(), (values.*k.real).load()) << k.name;
            break;
        }
    }
}

TEST_F(SettingsFile, HandWrittenWindowsFileIsReadAndKeepsItsOtherContent) {
    WriteAll(file(), "; operator station\r\n[Display]\r\nMonitor=2\r\n\r\n[GyroSuit]\r\n"
                     "ShowGrid = 0\r\nRenderType=1\r\nCurrentFile=C:\\takes\\run.bvh\r\n"
                     "FootLength=  9.75\r\n");
    Load();
    EXPECT_EQ(values.ShowGrid, 0);
    EXPECT_EQ(values.RenderType, 1);
    EXPECT_STREQ(values.CurrentFile, "C:\\takes\\run.bvh");
    EXPECT_EQ(values.FootLength, 9.75f);
    Save();
    std::string text = ReadAll(file());
    EXPECT_EQ(text.rfind("; operator station\r\n[Display]\r\nMonitor=2\r\n\r\n[GyroSuit]\r\n", 0),
              0u);
    EXPECT_NE(text.find("ShowGrid=0\r\n"), std::string::npos);
    EXPECT_EQ(KeysIn(text).size(), 39u);
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
        ASSERT_EQ(text[at - 1], '\r') << "a line written without the file's line ending";
    }
}

TEST_F(SettingsFile, BadValuesFallBackAndTheNextSaveIsClean) {
    std::string longPath(10000, 'p');
    std::string text = "\x89PNG\x0d\x0a\x1a\x0a garbage\n"
                       "[gyrosuit]\n"
                       "showgrid=0\n"
                       "RenderType=banana\n"
                       "RecordLimitFS=99999999999999\n"
                       "RecordDelay=-4\n"
                       "FootLength=not a number\n"
                       "HeelWidth=nan\n"
                       "BallWidth=1e999\n"
                       "CurrentFile=" +
                       longPath +
                       "\n"
                       "\x01\x02\x03\xff\xfe\n"
                       "[GyroSuit]\n"
                       "Loop=0\n"
                       "ShowGrid=1\n";
    text.push_back('\0');
    text += "Units=3\n";
    WriteAll(file(), text);
    Load();
    EXPECT_EQ(values.ShowGrid, 0) << "case-blind names, first value wins";
    EXPECT_EQ(values.Loop, 0) << "the repeated section is read too";
    EXPECT_EQ(values.RenderType, 2);
    EXPECT_EQ(values.RecordLimitFS, 5);
    EXPECT_EQ(values.RecordDelay, -4) << "ranges are the commands' business";
    EXPECT_EQ(values.FootLength, 10.5f);
    EXPECT_EQ(values.HeelWidth, 3.25f);
    EXPECT_EQ(values.BallWidth, 4.0f);
    EXPECT_STREQ(values.CurrentFile, "") << "a path too long for its buffer is refused";

    Save();
    std::string saved = ReadAll(file());
    for (char c : saved) {
        unsigned char u = static_cast<unsigned char>(c);
        ASSERT_TRUE(u >= 0x20 || c == '\n') << "control byte in the saved file";
    }
    EXPECT_EQ(KeysIn(saved).size(), 38u);
    EXPECT_NE(saved.find("FootLength=10.500000\n"), std::string::npos);
    EXPECT_NE(saved.find("RenderType=2\n"), std::string::npos);
    EXPECT_NE(saved.find("CurrentFile=\n"), std::string::npos);
    EXPECT_NE(saved.find("RecordDelay=-4\n"), std::string::npos);
}

// A user whose locale writes "2,5": the file and the status texts keep "2.5", so a run in
// another locale reads back what this one wrote.
TEST_F(SettingsFile, NumbersKeepTheCFormatInACommaLocale) {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed (scripts/install-deps makes it)";
    }
    char comma[16];
    std::snprintf(comma, sizeof comma, "%.1f", 2.5);
    values.FootLength = 10.0f;
    values.HeelWidth = 2.5f;
    Save();
    values.Reset();
    Load();
    std::string status = Format("Playing at %.2f frames per second", 120.0);
    std::setlocale(LC_ALL, "C");

    ASSERT_STREQ(comma, "2,5") << "the locale is not in effect";
    std::string text = ReadAll(file());
    EXPECT_NE(text.find("\nFootLength=10.000000\n"), std::string::npos);
    EXPECT_NE(text.find("\nHeelWidth=2.500000\n"), std::string::npos);
    EXPECT_EQ(values.HeelWidth, 2.5f);
    EXPECT_EQ(status, "Playing at 120.00 frames per second");
}

TEST_F(SettingsFile, PathAtTheLimitIsKeptAndOneLongerRefused) {
    std::string path259(259, 'a');
    WriteAll(file(),
             "[GyroSuit]\nCurrentActorFile=" + path259 + "\nCurrentFile=" + path259 + "b\n");
    Load();
    EXPECT_EQ(std::strlen(values.CurrentActorFile), 259u);
    EXPECT_STREQ(values.CurrentFile, "");

    EXPECT_FALSE(SetPath(values.CurrentActorFile, path259 + "b"));
    EXPECT_FALSE(SetPath(values.CurrentActorFile, std::string_view("a\0b", 3)));
    EXPECT_EQ(std::strlen(values.CurrentActorFile), 259u) << "a refused path changes nothing";
}

} // namespace
} // namespace telvo
