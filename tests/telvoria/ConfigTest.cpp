// The simulation's INI file: suits, tracker and timeout, and what happens to bad content.
#include "telvoria/sim/Config.h"
#include "tests/support/TempDir.h"
#include "tests/telvoria/SimFixture.h"

#include <cstdlib>
#include <fstream>
#include <string>

namespace telvo::test {
namespace {

// One line per suit, then the tracker and the timeout.
std::string Describe(const sim::Setup& s) {
    std::string text;
    for (const auto& suit : s.suits) {
        text += std::to_string(suit.identity) + " '" + suit.name + "' /" +
                std::to_string(suit.frameDivider) + "\n";
    }
    return text + (s.tracker ? "tracker " : "") + std::to_string(s.timeoutMs) + " ms";
}

TEST(SimConfig, ReadsSuitsCaseBlindAndBadValuesFallBackToDefaults) {
    const struct {
        const char* ini;
        const char* setup;
    } cases[] = {
        {"", "1 'Studio' /1\n1000 ms"},
        {"; stage two\r\n[simulation]\r\nSUITS = 2\ntracker=1\nTimeoutMs=250\n\n[Suit1]\n"
         "Number=12\nName = Blue Suit \nFrameDivider=3\n# second\n[Suit2]\nIdentity=131077\n"
         "Name=\n",
         "12 'Blue Suit' /3\n131077 '' /1\ntracker 250 ms"},
        {"[Simulation]\nSuits=0\nTimeoutMs=600000", "600000 ms"},
        {"[Simulation]\nSuits=17\nTracker=maybe\nTimeoutMs=0", "1 'Studio' /1\n1000 ms"},
        {"[Suit1]\nNumber=65536\nFrameDivider=121\nName=A name far longer than sixteen",
         "1 'A name far long' /1\n1000 ms"},
        {"[Suit1]\nIdentity=-1\nFrameDivider=12x\n\x01\xff[[=\n=x\nNumber=7",
         "7 'Studio' /1\n1000 ms"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Describe(sim::ParseSetup(c.ini)), c.setup) << c.ini;
    }
}

class SimConfigFile : public SimTest {};

TEST_F(SimConfigFile, GyroInitReadsTheChosenFolderUnlessTheControlsSayOtherwise) {
    TempDir dir;
    std::ofstream(dir.path() / "telvoria-sim.ini")
        << "[Simulation]\nSuits=2\n[Suit2]\nName=Spare\nFrameDivider=4\n";
    sim::SetConfigFolder(dir.path().string());
    sim::UseConfigFile(true);
    ASSERT_EQ(GyroInit(), 1);
    ASSERT_EQ(GyroNumSuits(), 2);
    SuitInfo info;
    ASSERT_EQ(GyroEnumerateSuitInfo(1, &info), 1);
    EXPECT_STREQ(info.Name, "Spare");
    EXPECT_EQ(info.FrameDivider, 4u);
    sim::SetSuits({{9, "Test", 1}});
    EXPECT_EQ(GyroFindSuits(), 1) << "the controls win over the file";
}

TEST(SimConfigFolder, FollowsAnAbsoluteXdgThenHome) {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = xdg ? xdg : "";
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(sim::DefaultConfigFolder(), "/cfg/TelvoView");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    ::setenv("HOME", "/home/x", 1);
    EXPECT_EQ(sim::DefaultConfigFolder(), "/home/x/.config/TelvoView");
    ::setenv("HOME", savedHome.c_str(), 1);
    xdg ? ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
}

} // namespace
} // namespace telvo::test
