// Real pictures of the simulated performer through the QPainter surface. With
// TELVO_VIEW_PICTURES naming a folder, each picture is also saved there as a PNG to look at.
#include "app/Settings.h"
#include "engine/EngineState.h"
#include "platform/qt/QtSurface.h"
#include "telvoria/TelvoriaSim.h"
#include "tests/support/FakePlatform.h"
#include "view/Camera.h"
#include "view/Composition.h"
#include "view/ViewState.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>

#include <cstring>
#include <filesystem>
#include <string>

namespace telvo {
namespace {

QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "view_pictures_test";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    return *app;
}

void KeepFrame(const Frame* frame, SuitInfo*) {
    std::lock_guard lock(Engine.DisplayMutex);
    std::memcpy(static_cast<void*>(&Engine.DisplayFrame), frame, sizeof(Frame));
}

// Where pixels of a colour lie in a picture.
struct Found {
    int count = 0;
    QRect box;
};

Found Pixels(const QImage& image, const std::function<bool(QRgb)>& match) {
    Found found;
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (match(line[x])) {
                ++found.count;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (found.count > 0) {
        found.box = QRect(QPoint(left, top), QPoint(right, bottom));
    }
    return found;
}

// Lit faces: grey shades other than the background, or the green of Color Front, as solids.
bool FaceShade(QRgb p) {
    int r = qRed(p), g = qGreen(p), b = qBlue(p);
    bool grey = r == g && g == b && r > 20 && r != 128;
    return grey || (r == 0 && b == 0 && g > 20 && g < 255);
}

class Pictures : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        Settings.Reset();
        Engine.Reset();
        View.Reset();
        sim::Reset();
        sim::UseConfigFile(false);
        sim::SetManualClock(true);
        sim::SetTrackerPresent(true);
        ASSERT_NE(GyroInit(), 0);
        suit = GyroOpen(nullptr, KeepFrame, nullptr);
        ASSERT_NE(suit, 0);
        Engine.SuitHandle = suit;
        GyroEnableMarkerTracking(suit, 1);
        GyroInitSkeleton(&Engine.Skeleton);
        GyroGetActorData(suit, &Engine.ActorData);
        GyroCopyActorToSkeleton(&Engine.Skeleton, &Engine.ActorData);
        Engine.ContactPointIndices = GyroGetContactPointIndexArray(&Engine.ContactPointCount);
        Engine.Live = 1;
        platform.SetDrawingArea({960, 600});
        sim::Deliver(suit, 90);
    }
    void TearDown() override {
        GyroFinish();
        Engine.Reset();
        sim::Reset();
    }

    QImage Paint(const std::string& name) {
        QImage shown;
        QtPicture picture([&shown](const QImage& image) { shown = image.copy(); });
        OnPaint(platform, picture);
        if (const char* folder = std::getenv("TELVO_VIEW_PICTURES")) {
            std::filesystem::create_directories(folder);
            std::string path = std::string(folder) + "/" + name + ".png";
            EXPECT_TRUE(shown.save(QString::fromStdString(path)));
        }
        EXPECT_EQ(shown.size(), QSize(960, 600));
        return shown;
    }

    // The figure's lit faces fill most of the height and stay clear of the edges. Texts are
    // left out: their smoothed edges have shades of grey too.
    static void ExpectFittedFigure(const QImage& image) {
        Found faces = Pixels(image, FaceShade);
        ASSERT_GT(faces.count, 2000);
        EXPECT_GT(faces.box.top(), 10);
        EXPECT_LT(faces.box.bottom(), image.height() - 10);
        EXPECT_GT(faces.box.left(), 10);
        EXPECT_LT(faces.box.right(), image.width() - 10);
    }

    GyroHandle suit = 0;
    FakePlatform platform;
};

TEST_F(Pictures, FrontSideAndTopViewsOfTheSolidPerformer) {
    Settings.ShowInfo = 0;
    Settings.ShowMarkers = 0;
    OnFrontView(platform);
    OnCenterView(platform);
    QImage front = Paint("front-solid");
    ExpectFittedFigure(front);
    EXPECT_GT(Pixels(front, FaceShade).box.height(), 600 * 6 / 10);

    OnRightSideView(platform);
    OnCenterView(platform);
    ExpectFittedFigure(Paint("side-solid"));

    OnTopView(platform);
    OnCenterView(platform);
    ExpectFittedFigure(Paint("top-solid"));
}

TEST_F(Pictures, WireframeHasWhiteBonesAndNoFaces) {
    Settings.RenderType = 1;
    OnFrontView(platform);
    OnCenterView(platform);
    QImage wire = Paint("front-wireframe");
    Found white = Pixels(wire, [](QRgb p) { return (p & 0xFFFFFFu) == 0xFFFFFFu; });
    EXPECT_GT(white.count, 500);
    EXPECT_GT(white.box.height(), 600 / 2);
}

TEST_F(Pictures, NodeNamesAndMarkersTurnedAndFollowed) {
    Settings.ShowNodes = 1;
    Settings.ShowNodeNames = 1;
    sim::SetFrameFlags(suit, FrameMarker0 | FrameMarker1 | FrameMarker2 | FrameThirdMarkerInUse, 0);
    sim::Deliver(suit, 1);
    OnFrontView(platform);
    const float angle = 0.5235988f;
    View.ViewRotation = Matrix::RotX(angle) * Matrix::RotY(angle) * FrontViewRotation;
    OnCenterView(platform);
    QImage names = Paint("turned-node-names");
    Found green = Pixels(names, [](QRgb p) { return (p & 0xFFFFFFu) == 0x00FF00u; });
    EXPECT_GT(green.count, 1000);

    // Follow Character keeps the walking performer in view, whatever pan was set.
    Settings.ShowNodeNames = 0;
    Settings.ShowInfo = 0;
    Settings.ShowMarkers = 0;
    Settings.FollowCharacter = 1;
    View.ViewPanX = 5000.0f;
    sim::Deliver(suit, 600);
    ExpectFittedFigure(Paint("follow-character"));
}

TEST_F(Pictures, RawChannelsInTheirGrid) {
    Settings.RenderType = 3;
    QImage raw = Paint("raw-channels");
    Found yellow = Pixels(raw, [](QRgb p) { return (p & 0xFFFFFFu) == 0xFFFF00u; });
    Found blue = Pixels(raw, [](QRgb p) { return (p & 0xFFFFFFu) == 0x0000FFu; });
    EXPECT_GT(yellow.count, 19 * 40);
    EXPECT_GT(blue.count, 0);
    // The 5 x 4 grid of cells 120 pixels apart around the centre.
    EXPECT_GE(yellow.box.left(), 480 - 240 - 60 - 2);
    EXPECT_LE(yellow.box.right(), 480 + 240 + 60 + 2);
}

} // namespace
} // namespace telvo
