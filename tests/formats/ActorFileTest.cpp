// Actor files: exact in the default unit, close in the others, bad lines named.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace telvo {
namespace {

class ActorFile : public ::testing::Test {
protected:
    void SetUp() override {
        GyroGetActorData(0, &actor);
        actor.ContactRadius[21] = 0.1f; // numbers with no short decimal form
        actor.MarkerOffset = Vector(1e-7f, -2.3456789f, 1.0f / 3.0f);
        actor.FilterCoefficient = 0.123456789f;
        actor.UseTracker = 1.0f;
    }
    std::string Written(int units) {
        EXPECT_EQ(GyroWriteActorData(path.c_str(), &actor, units), 1)
            << files::LastProblem().reason;
        return ReadAll(path);
    }
    TempDir dir;
    std::string path = (dir.path() / "me.ac").string();
    ActorData actor{};
};

TEST_F(ActorFile, DefaultUnitGivesBackTheSame1952Bytes) {
    for (int units : {-1, 0}) {
        EXPECT_NE(Written(units).find("\nUnit Inches\n"), std::string::npos);
        ActorData read{};
        ASSERT_EQ(GyroReadActorData(path.c_str(), &read), 1) << files::LastProblem().reason;
        EXPECT_EQ(std::memcmp(&read, &actor, sizeof read), 0) << units;
    }
}

TEST_F(ActorFile, EveryUnitReadsBackToTheSameLengths) {
    const char* marker[] = {"MarkerOffset 1e-07 ", "MarkerOffset 8.333333e-09 ",
                            "MarkerOffset 2.54e-06 ", "MarkerOffset 2.54e-07 ",
                            "MarkerOffset 2.54e-09 "};
    for (int units = 0; units < 5; ++units) {
        std::string text = Written(units);
        EXPECT_NE(text.find(std::string("\nUnit ") + GyroGetUnitName(units)), std::string::npos);
        EXPECT_NE(text.find(marker[units]), std::string::npos) << text;
        ActorData read{};
        ASSERT_EQ(GyroReadActorData(path.c_str(), &read), 1) << files::LastProblem().reason;
        const float* a = reinterpret_cast<const float*>(&actor);
        const float* b = reinterpret_cast<const float*>(&read);
        for (std::size_t i = 0; i < sizeof read / sizeof(float); ++i) {
            ASSERT_NEAR(a[i], b[i], 1e-6 * std::fabs(a[i]) + 1e-30) << units << " float " << i;
        }
    }
}

TEST_F(ActorFile, BadLinesFailWithTheirNumberAndLeaveTheActor) {
    const std::string good = Written(-1); // three comment lines, signature on 4, Unit on 5
    auto swap = [&](const std::string& key, const std::string& to) {
        std::string s = good;
        std::size_t at = s.find("\n" + key) + 1;
        return s.replace(at, s.find('\n', at) - at, to);
    };
    const struct {
        std::string text;
        int line;
        const char* reason;
    } cases[] = {
        {"", 0, "not an actor file"},
        {std::string("\177ELF\2\1\1\0\0", 9), 1, "not an actor file"},
        {swap("TelvoViewActor", "TelvoViewActor 2"), 4, "later version"},
        {swap("Unit", "Unit Furlongs"), 5, "unknown unit 'Furlongs'"},
        {swap("Unit", ""), 6, "a length before the Unit line"},
        {swap("MarkerNode", "MarkerNode 4\nShoeSize 9"), 8, "unknown key 'ShoeSize'"},
        {swap("MarkerNode", "MarkerNode 4\nMarkerNode 4"), 8,
         "repeated key 'MarkerNode' (first on line 7)"},
        {swap("MarkerNode", "MarkerNode"), 7, "takes 1 number"},
        {swap("MarkerNode", "MarkerNode 4 5"), 7, "takes 1 number"},
        {swap("MarkerNode", "MarkerNode 30"), 7, "not a node number"},
        {swap("UseTracker", "UseTracker nan"), 8, "not a finite number 'nan'"},
        {swap("UseTracker", "UseTracker 1,5"), 8, "not a finite number '1,5'"},
        {swap("ContactRadius.LeftHeel", "ContactRadius.LeftHeel 1e39"), 62, "not a finite number"},
        {swap("Bone.Waist", "Bone.Waist 0 0 500"), 12, "longer than any bone"},
        {good.substr(0, good.find("ContactRadius.RightToe")), 0,
         "missing key 'ContactRadius.RightToe'"},
        {good + std::string(70000, '#'), 0, "too large"},
    };
    const ActorData before = actor;
    for (const auto& c : cases) {
        WriteAll(path, c.text);
        EXPECT_EQ(GyroReadActorData(path.c_str(), &actor), 0) << c.text;
        EXPECT_EQ(files::LastProblem().line, c.line) << files::LastProblem().reason;
        EXPECT_NE(files::LastProblem().reason.find(c.reason), std::string::npos)
            << files::LastProblem().reason;
        EXPECT_EQ(std::memcmp(&before, &actor, sizeof actor), 0);
    }
}

TEST_F(ActorFile, WriterRefusesWhatTheReaderWouldRefuse) {
    ActorData bad = actor;
    bad.ContactRadius[0] = std::nanf("");
    EXPECT_EQ(GyroWriteActorData(path.c_str(), &bad, -1), 0);
    bad = actor;
    bad.MarkerNode = 2.5f;
    EXPECT_EQ(GyroWriteActorData(path.c_str(), &bad, -1), 0);
    EXPECT_EQ(GyroWriteActorData(path.c_str(), &actor, 5), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
}

} // namespace
} // namespace telvo
