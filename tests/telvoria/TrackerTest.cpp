// The simulated marker tracker on the manual clock: status word, markers, coordinate file.
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/formats/CoordinateFile.h"
#include "tests/support/TempDir.h"
#include "tests/telvoria/SimFixture.h"

#include <cmath>
#include <cstring>
#include <string>

namespace telvo::test {
namespace {

constexpr uint32_t Markers = FrameMarker0 | FrameMarker1 | FrameMarker2 | FrameThirdMarkerInUse;
constexpr uint32_t Sync = FrameExternalSync | (7u << FrameSyncExponentShift);

Frame last;

struct Tracker : SimTest {
    void SetUp() override {
        SimTest::SetUp();
        sim::SetManualClock(true);
        sim::SetTrackerPresent(true);
        ASSERT_EQ(GyroInit(), 1);
        suit = GyroOpen(
            nullptr, [](const Frame* f, SuitInfo*) { last = *f; }, nullptr);
    }
    uint32_t Next() {
        EXPECT_EQ(sim::Deliver(suit, 1), 1);
        return last.Flags & (Markers | Sync);
    }
    // Switched on and calibrated: the flags of the first frame measured.
    uint32_t StartTracking() {
        EXPECT_EQ(GyroEnableMarkerTracking(suit, 1), 1);
        EXPECT_EQ(GyroSetNull(suit), 1);
        return Next();
    }
    GyroHandle suit = 0;
};

TEST_F(Tracker, WaitsForTheNullPoseThenSynchronizesOnlyWithExternalSync) {
    for (int exponent : {3, -1}) {
        sim::SetTrackerSync(exponent);
        ASSERT_EQ(GyroEnableMarkerTracking(suit, 1), 1);
        EXPECT_EQ(GyroGetTrackerStatus(suit), TrackerTracking | TrackerWaitingForNull);
        EXPECT_EQ(Next(), 0u);
        EXPECT_EQ(StartTracking(), Markers);
        // Each measurement is new noise; a frame shows the latest one.
        int measurements = 1;
        Vector seen = last.MarkerPositions[0];
        for (int i = 1; i < 40; ++i) {
            uint32_t flags = Next();
            measurements += std::memcmp(&seen, &last.MarkerPositions[0], sizeof seen) != 0;
            seen = last.MarkerPositions[0];
            bool synced = exponent >= 0 && measurements >= 4;
            EXPECT_EQ(GyroGetTrackerStatus(suit), synced ? 0xAu : 0x2u); // tracking (synced)
            EXPECT_EQ(flags, Markers | (synced ? FrameExternalSync | (3u << 24) : 0u));
        }
        EXPECT_NEAR(measurements, exponent < 0 ? 10 : 5, 1) << "30 or 15 per second";
        GyroFinishTracking(); // off until enabled again
        EXPECT_EQ(GyroGetTrackerStatus(suit), 0u);
        EXPECT_EQ(Next(), 0u);
    }
}

// Walking, so that a marker that lags behind shows.
TEST_F(Tracker, MarkersFollowTheNodeAndOffsetSmoothedByTheFilterCoefficient) {
    StartTracking();
    sim::Deliver(suit, 120 * 6);
    const struct {
        float filter, relative;
        float least, most; // mean distance from the true marker, inches
    } cases[] = {{0.0f, 0.0f, 0.0f, 1.5f}, {0.0f, 1.0f, 0.0f, 1.5f}, {0.95f, 0.0f, 5.0f, 30.0f}};
    for (const auto& c : cases) {
        ActorData actor;
        GyroGetActorData(suit, &actor);
        actor.MarkerNode = 9.0f; // LeftWrist, which swings
        actor.MarkerOffset = Vector(0.0f, -10.0f, 0.0f);
        actor.FilterCoefficient = c.filter;
        actor.Relative = c.relative;
        GyroSetActorData(suit, &actor);
        sim::Deliver(suit, 120);
        float sum = 0.0f;
        for (int i = 0; i < 120; ++i) {
            Next(); // how far each marker lies from where the actor data puts it
            SkeletonNode node = Posed(last).Nodes[static_cast<int>(actor.MarkerNode)];
            Vector d = last.MarkerPositions[i % 3] - node.Position -
                       (actor.Relative != 0.0f ? node.Orientation * actor.MarkerOffset
                                               : actor.MarkerOffset);
            sum += std::sqrt(d * d);
        }
        EXPECT_TRUE(sum / 120.0f > c.least && sum / 120.0f < c.most) << c.filter << c.relative;
    }
}

TEST_F(Tracker, CoordinateFileNamedInVexomarkIniPlacesTheEmittersWhenSwitchedOn) {
    TempDir dir;
    sim::SetConfigFolder(dir.path().string());
    sim::UseConfigFile(true);
    const std::string crd = (dir.path() / "stage.crd").string();
    WriteAll(dir.path() / "Vexomark.ini", "[Vexomark]\nCoordinateFile=" + crd + "\n");
    // The second emitter is out of reach of the stage.
    WriteAll(crd, "TelvoViewCoordinates 1\nUnit Feet\nEmitter 0 0 8\nEmitter 0 90 8\n");
    EXPECT_EQ(StartTracking(), FrameMarker0);
    WriteAll(crd, "not a coordinate file");
    EXPECT_EQ(StartTracking(), FrameMarker0) << "read only when switched on";
    GyroFinishTracking();
    EXPECT_EQ(StartTracking(), Markers) << "the default emitters";
}

TEST(CoordinateFile, ReadsEmittersInInchesAndRefusesWhatItCannotUse) {
    const std::string head = "TelvoViewCoordinates 1\nUnit Inches\n";
    // The text, and the emitters' x in inches or the line and reason.
    const std::pair<std::string, const char*> cases[] = {
        {"\xEF\xBB\xBF# stage\r\nTelvoViewCoordinates 1\r\nUnit CENTIMETERS\r\n\r\n"
         "Emitter 2.54 0 0\r\n\tEmitter  -25.4\t0 0\r\n",
         "1 -10"},
        {"TelvoViewCoordinates 2",
         "1: made by a later version (format 2) that this one cannot read"},
        {"Emitter 1 2 3", "1: not a coordinate file"},
        {head, "0: no emitter"},
        {"TelvoViewCoordinates 1\nEmitter 1 2 3", "2: an emitter before the Unit line"},
        {head + "Emitter 1,5 2 3", "3: not a finite number '1,5'"},
        {head + "Emitter 0 1201 0", "3: an emitter more than 100 feet from the origin"},
        {head + "Emitter 1 0 0\nEmitter 2 0 0\nEmitter 3 0 0\nEmitter 4 0 0",
         "6: more than 3 emitters"},
    };
    TempDir dir;
    const auto path = dir.path() / "stage.crd";
    for (const auto& [text, expected] : cases) {
        WriteAll(path, text);
        std::string read;
        if (auto emitters = files::ReadCoordinateFile(path.c_str())) {
            for (const Vector& e : *emitters) {
                read += (read.empty() ? "" : " ") + std::to_string(static_cast<int>(e.x));
            }
        } else {
            read = std::to_string(files::LastProblem().line) + ": " + files::LastProblem().reason;
        }
        EXPECT_EQ(read, expected) << text;
    }
}

} // namespace
} // namespace telvo::test
