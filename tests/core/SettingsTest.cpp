#include "core/Settings.h"

#include "platform/PrivateProfile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

namespace telvo {
namespace {

// The load and save that the window's creation and close perform, around a real file.
struct SettingsFile : ::testing::Test {
    void Load() {
        PrivateProfile p(file());
        ASSERT_TRUE(p.Load());
        LoadSettings(values, p);
    }
    std::string Save() {
        PrivateProfile p(file());
        EXPECT_TRUE(p.Load());
        StoreSettings(values, p);
        EXPECT_TRUE(p.Save());
        return ReadAll(file());
    }
    // In a folder that the first save makes.
    std::filesystem::path file() const { return dir.path() / "new" / SettingsFileName; }

    TempDir dir;
    SettingsValues values;
};

// Saving what was loaded gives the same file back, but for EnableTracking: written, never read.
TEST_F(SettingsFile, EveryKeyRoundTripsAndEnableTrackingIsWrittenButNeverRead) {
    SetPath(values.CurrentFile, "/home/op/takes/walk 3.tl");
    int n = 100;
    for (const SettingKey& k : SettingKeys) {
        if (k.kind == SettingKind::Integer) {
            values.*k.integer = n++;
        } else if (k.kind == SettingKind::Float) {
            (values.*k.real).store(static_cast<float>(n++) + 0.25f);
        }
    }
    values.EnableTracking = 1;
    const std::string first = Save();
    values.Reset();
    Load();
    EXPECT_EQ(values.EnableTracking, 0);
    values.EnableTracking = 1;
    EXPECT_EQ(Save(), first);
}

// Garbage lines, control bytes and case-blind names are the INI reader's own, tested there.
TEST_F(SettingsFile, BadValuesFallBackAndPathsAreNeverCut) {
    std::string text = "\x89PNG\x0d\x0a\x1a\x0a garbage\n[gyrosuit]\n"
                       "FootLength=not a number\nHeelWidth=nan\nBallWidth=1e999\n";
    // The longest path that fits, and one longer.
    text += "CurrentActorFile=" + std::string(259, 'a') + "\nCurrentFile=" + std::string(260, 'p');
    text += "\n[GyroSuit]\nLoop=0\n";
    // What the library reports before the load: the float fallbacks.
    values.FootLength = 10.5f;
    values.HeelWidth = 3.25f;
    values.BallWidth = 4.0f;
    std::filesystem::create_directory(file().parent_path());
    WriteAll(file(), text);
    Load();
    EXPECT_EQ(values.Loop, 0) << "the repeated section is read too";
    EXPECT_EQ(values.FootLength, 10.5f);
    EXPECT_EQ(values.HeelWidth, 3.25f);
    EXPECT_EQ(values.BallWidth, 4.0f);
    EXPECT_EQ(std::strlen(values.CurrentActorFile), 259u);
    EXPECT_STREQ(values.CurrentFile, "") << "a path too long for its buffer is refused, not cut";
}

// A user whose locale writes "2,5": the file keeps "2.5", written by the formatting every status
// text uses too, so a run in another locale reads back what this one wrote.
TEST_F(SettingsFile, NumbersKeepTheCFormatInACommaLocale) {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed (scripts/install-deps makes it)";
    }
    const bool comma = *std::localeconv()->decimal_point == ',';
    values.HeelWidth = 2.5f;
    const std::string text = Save();
    values.Reset();
    Load();
    std::setlocale(LC_ALL, "C");

    ASSERT_TRUE(comma) << "the locale is not in effect";
    EXPECT_NE(text.find("\nHeelWidth=2.500000\n"), std::string::npos);
    EXPECT_EQ(values.HeelWidth, 2.5f);
}

} // namespace
} // namespace telvo
