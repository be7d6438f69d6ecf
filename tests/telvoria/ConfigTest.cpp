// The simulation's INI file: suits, tracker and timeout, and what happens to bad content.
#include "telvoria/sim/Config.h"
#include "tests/support/TempDir.h"
#include "tests/telvoria/SimFixture.h"

#include <cstdlib>
#include <fstream>

namespace telvo::test {
namespace {

using sim::ParseSetup;

TEST(SimConfig, ReadsSuitsCaseBlindWithComments) {
    sim::Setup s = ParseSetup("; stage two\n[simulation]\nSUITS = 2\ntracker=1\n"
                              "TimeoutMs=250\n\n[Suit1]\nNumber=12\nName = Blue Suit \n"
                              "FrameDivider=3\n# second\n[Suit2]\nIdentity=131077\nName=\n");
    ASSERT_EQ(s.suits.size(), 2u);
    EXPECT_EQ(s.suits[0].identity, 12u);
    EXPECT_EQ(s.suits[0].name, "Blue Suit");
    EXPECT_EQ(s.suits[0].frameDivider, 3u);
    EXPECT_EQ(s.suits[1].identity, 0x20005u);
    EXPECT_EQ(s.suits[1].name, "");
    EXPECT_TRUE(s.tracker);
    EXPECT_EQ(s.timeoutMs, 250);
}

TEST(SimConfig, BadValuesFallBackToDefaults) {
    sim::Setup s = ParseSetup("[Simulation]\nSuits=1000\nTracker=maybe\nTimeoutMs=-5\n"
                              "[Suit1]\nNumber=70000\nFrameDivider=12x\n"
                              "Name=A name far longer than sixteen\n\x01\xff[[=\n=x\n");
    ASSERT_EQ(s.suits.size(), 1u);
    EXPECT_EQ(s.suits[0].identity, 1u);
    EXPECT_EQ(s.suits[0].frameDivider, 1u);
    EXPECT_EQ(s.suits[0].name.size(), 15u);
    EXPECT_FALSE(s.tracker);
    EXPECT_EQ(s.timeoutMs, 1000);
    EXPECT_TRUE(ParseSetup("[Simulation]\nSuits=0\n").suits.empty());

    sim::Setup none = ParseSetup(""); // no file: one suit, number 1, "Studio", no tracker
    ASSERT_EQ(none.suits.size(), 1u);
    EXPECT_EQ(none.suits[0].name, "Studio");
    EXPECT_FALSE(none.tracker);
}

class SimConfigFile : public SimTest {};

TEST_F(SimConfigFile, GyroInitReadsTheFileFromTheChosenFolderUnlessSwitchedOff) {
    TempDir dir;
    std::ofstream(dir.path() / "telvoria-sim.ini")
        << "[Simulation]\nSuits=2\n[Suit2]\nName=Spare\nFrameDivider=4\n";
    sim::UseConfigFile(true);
    sim::SetConfigFolder(dir.path().string());
    ASSERT_EQ(GyroInit(), 1);
    EXPECT_EQ(GyroNumSuits(), 2);
    SuitInfo info;
    ASSERT_EQ(GyroEnumerateSuitInfo(1, &info), 1);
    EXPECT_STREQ(info.Name, "Spare");
    EXPECT_EQ(info.FrameDivider, 4u);

    // The controls win over the file; switching the file off gives the defaults.
    sim::SetSuits({{9, "Test", 1}});
    EXPECT_EQ(GyroFindSuits(), 1);
    GyroFinish();
    sim::Reset();
    sim::UseConfigFile(false);
    sim::SetConfigFolder(dir.path().string());
    ASSERT_EQ(GyroInit(), 1);
    EXPECT_EQ(GyroNumSuits(), 1);
}

TEST(SimConfigFolder, FollowsXdgThenHome) {
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    std::string saved = oldXdg ? oldXdg : "";
    std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(sim::DefaultConfigFolder(), "/cfg/TelvoView");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    ::setenv("HOME", "/home/x", 1);
    EXPECT_EQ(sim::DefaultConfigFolder(), "/home/x/.config/TelvoView");
    ::setenv("HOME", home.c_str(), 1);
    if (oldXdg) {
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

} // namespace
} // namespace telvo::test
