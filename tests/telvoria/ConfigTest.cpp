// The simulation's INI file: suits, tracker, timeout and the frame server, and what happens to
// bad content.
#include "telvoria/sim/Config.h"
#include "telvoria/TelvoriaTrackers.h"
#include "tests/support/TempDir.h"
#include "tests/telvoria/SimFixture.h"

#include <arpa/inet.h>

#include <string>

namespace telvo::test {
namespace {

// One line per suit, * marking the suit of trackers; the trackers' address and slots; then the
// marker tracker and the timeout.
std::string Describe(const sim::Setup& s) {
    std::string text;
    for (std::size_t i = 0; i < s.suits.size(); ++i) {
        text += std::to_string(s.suits[i].identity) + " '" + s.suits[i].name + "' /" +
                std::to_string(s.suits[i].frameDivider) +
                (sim::IsTrackerSuit(s, i) ? " *\n" : "\n");
    }
    if (s.trackers) {
        char address[16] = {};
        ::inet_ntop(AF_INET, &s.trackers->receiver.address, address, sizeof address);
        text += address + (":" + std::to_string(s.trackers->receiver.port));
        for (const trackers::Slot& slot : s.trackers->receiver.slots) {
            text += " " + std::to_string(slot.suitSensor) + "=" + trackers::MacText(slot.mac) +
                    "/" + std::to_string(slot.sensor);
        }
        text += "\n";
    }
    return text + (s.tracker ? "tracker " : "") + std::to_string(s.timeoutMs) + " ms";
}

TEST(SimConfig, ReadsSuitsCaseBlindAndBadValuesFallBackToDefaults) {
    const std::pair<const char*, const char*> cases[] = {
        // ini, setup
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
    for (const auto& [ini, setup] : cases) {
        EXPECT_EQ(Describe(sim::ParseSetup(ini)), setup) << ini;
    }
}

// The fenced block of a Markdown file that holds the line, read from the source tree so the docs
// cannot drift (a line not found gives text that fails the comparison).
std::string Example(const std::string& file, const std::string& line) {
    const std::string markdown = ReadAll(SourcePath(file));
    const std::size_t at = markdown.find("\n" + line + "\n");
    const std::size_t start = markdown.find('\n', markdown.rfind("```", at)) + 1;
    return markdown.substr(start, markdown.find("```", at) - start);
}

// The example in a header's comment: the "//   " lines from the one that starts with first.
std::string CommentExample(const std::string& file, const std::string& first) {
    const std::string header = ReadAll(SourcePath(file));
    std::string text;
    for (std::size_t at = header.find("//   " + first);
         at != std::string::npos && header.compare(at, 5, "//   ") == 0;
         at = header.find('\n', at) + 1) {
        text += header.substr(at + 5, header.find('\n', at) - at - 5) + "\n";
    }
    return text;
}

std::string Describe(const net::ServerOptions& o) {
    std::string text = std::to_string(o.port) + " token '" + o.token + "'";
    for (const std::string& target : o.vmcTargets) {
        text += " [" + target + "]";
    }
    return text;
}

TEST(SimConfig, ServerKeysTakeTheirWholeRangeAndBadPortsFallBackToTheDefault) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "7240 token ''"},
        {"[server]\nPORT=0\ntoken=\"pass ;word\"\nvmc=a,b \tc,,d",
         "0 token 'pass ;word' [a] [b] [c] [d]"},
        {"[Server]\nPort=65535", "65535 token ''"},
        {"[Server]\nPort=65536", "7240 token ''"},
        {"[Server]\nPort=-1", "7240 token ''"},
        {"[Server]\nPort=80 80", "7240 token ''"},
    };
    for (const auto& [ini, options] : cases) {
        EXPECT_EQ(Describe(sim::ParseServerOptions(ini)), options) << ini;
    }
}

TEST(SimConfig, TrackersSectionSetsUpTheSuitAndOneKeyPerSegment) {
    // Also the set-up docs/trackers.md shows, so that the docs cannot drift, and the emulator's
    // section, which names the six segments a figure needs.
    const std::string six = "0=02:00:00:00:00:01/0 2=02:00:00:00:00:02/0 13=02:00:00:00:00:03/0 "
                            "14=02:00:00:00:00:05/0 16=02:00:00:00:00:04/0 17=02:00:00:00:00:06/0";
    const std::string studio = "1 'Studio' /1\n";
    const std::pair<std::string, std::string> cases[] = {
        {"[Trackers]\nPort=0\nHips=02:00:00:00:00:01", studio + "1000 ms"},
        {"[Simulation]\nSuits=2\n[Trackers]\nPort=6969",
         studio + "2 'Suit 2' /1\n90 'Trackers' /1 *\n0.0.0.0:6969\n1000 ms"},
        {"[Trackers]\nPort=7000\nAddress=127.0.0.1\nNumber=12\nName=A name far longer\n"
         "FrameDivider=2\nhips=02:00:00:00:00:01\nLeftHip=02:00:00:00:00:02/3\n"
         "RightKnee=aa:bb:cc:dd:ee:ff/0",
         studio + "12 'A name far long' /2 *\n127.0.0.1:7000 0=02:00:00:00:00:01/0 "
                  "13=02:00:00:00:00:02/3 17=AA:BB:CC:DD:EE:FF/0\n1000 ms"},
        // Nodes that carry no sensor, broken MACs and sensor numbers are left out.
        {"[Trackers]\nPort=6969\nHeadTop=02:00:00:00:00:01\nHips=02:00:00:00:00\n"
         "Chest=02:00:00:00:00:02/256\nNeck=02:00:00:00:00:03/x\nHead=02:00:00:00:00:04/",
         studio + "90 'Trackers' /1 *\n0.0.0.0:6969\n1000 ms"},
        {"[Trackers]\nPort=6969\nAddress=somewhere", studio + "1000 ms"},
        {"[Trackers]\nPort=70000", studio + "1000 ms"},
        {TrackersSection(6969, trackers::Emulator::Standard(6)),
         studio + "90 'Trackers' /1 *\n127.0.0.1:6969 " + six + "\n1000 ms"},
        {Example("docs/trackers.md", "   [Simulation]"),
         "90 'Trackers' /1 *\n0.0.0.0:6969 " + six + "\n1000 ms"},
    };
    for (const auto& [ini, setup] : cases) {
        EXPECT_EQ(Describe(sim::ParseSetup(ini)), setup) << ini;
    }
}

TEST(SimConfig, TheDocumentedExamplesGiveTheDocumentedValues) {
    const std::string server = "7240 token 'secret' [127.0.0.1:39539] [10.0.0.7]";
    EXPECT_EQ(Describe(sim::ParseServerOptions(Example("docs/protocol.md", "[Server]"))), server);
    EXPECT_EQ(Describe(sim::ParseServerOptions("[Server]\n" +
                                               CommentExample("telvoria/TelvoriaNet.h", "Port="))),
              server);
    EXPECT_EQ(Describe(sim::ParseSetup(Example("README.md", "[Simulation]"))),
              "1 'Studio' /1\n7 'Stage B' /2\ntracker 1000 ms");
    EXPECT_EQ(
        Describe(sim::ParseSetup(CommentExample("telvoria/sim/Config.h", "[Simulation]"))),
        "65537 'Studio' /1\n2 'Suit 2' /1\n90 'Trackers' /1 *\n0.0.0.0:6969 0=02:00:00:00:00:01/0 "
        "13=02:00:00:00:00:02/1\ntracker 1000 ms");
}

} // namespace
} // namespace telvo::test
