// Real pictures of the simulated performer on the QPainter surface. With TELVO_VIEW_PICTURES
// naming a folder each is saved there as a PNG to look at.
#include "ViewTestSupport.h"
#include "platform/qt/QtSurface.h"
#include "view/Camera.h"

#include <QGuiApplication>

#include <cstring>
#include <filesystem>
#include <optional>

namespace telvo {
namespace {

void KeepFrame(const Frame* frame, SuitInfo*) {
    std::lock_guard lock(Engine.DisplayMutex);
    std::memcpy(static_cast<void*>(&Engine.DisplayFrame), frame, sizeof(Frame));
}

// Where the figure's lit faces lie: grey shades but the background, or Color Front's green.
QRect Faces(const QImage& image, int* count) {
    QRect box;
    *count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            QRgb p = image.pixel(x, y);
            int r = qRed(p), g = qGreen(p), b = qBlue(p);
            if ((r == g && g == b && r > 20 && r != 128) ||
                (r == 0 && b == 0 && g > 20 && g < 255)) {
                box |= QRect(x, y, 1, 1);
                ++*count;
            }
        }
    }
    return box;
}

class Pictures : public ViewTest {
protected:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "view_pictures_test";
        static char* argv[] = {name, nullptr};
        static auto* app = new QGuiApplication(argc, argv);
        (void)app;
        ViewTest::SetUp();
        ASSERT_NE(GyroInit(), 0);
        Engine.SuitHandle = suit = GyroOpen(nullptr, KeepFrame, nullptr);
        GyroInitSkeleton(&Engine.Skeleton);
        GyroGetActorData(suit, &Engine.ActorData);
        GyroCopyActorToSkeleton(&Engine.Skeleton, &Engine.ActorData);
        Engine.ContactPointIndices = GyroGetContactPointIndexArray(&Engine.ContactPointCount);
        Engine.Live = 1;
        sim::Deliver(suit, 90);
        platform.SetDrawingArea({960, 600});
        Settings.ShowInfo = Settings.ShowMarkers = 0; // smoothed text has grey shades too
    }
    // Paints the view; when asked, checks that the fitted figure's faces fill the height at
    // least this much, clear of the edges.
    void Paint(const std::string& name, std::optional<int> minimumHeight = 0) {
        QImage shown;
        QtPicture picture([&shown](const QImage& image) { shown = image.copy(); });
        OnPaint(platform, picture);
        if (const char* folder = std::getenv("TELVO_VIEW_PICTURES")) {
            std::filesystem::create_directories(folder);
            shown.save(QString::fromStdString(std::string(folder) + "/" + name + ".png"));
        }
        if (minimumHeight) {
            int count = 0;
            QRect box = Faces(shown, &count);
            EXPECT_GT(count, 2000) << name;
            EXPECT_TRUE(QRect(10, 10, 940, 580).contains(box)) << name;
            EXPECT_GE(box.height(), *minimumHeight) << name;
        }
    }
    GyroHandle suit = 0;
};

TEST_F(Pictures, SolidFromEverySideTurnedAndFollowedAndTheOthersToLookAt) {
    OnFrontView(platform);
    OnCenterView(platform);
    Paint("front-solid", 600 * 7 / 10);
    OnRightSideView(platform);
    OnCenterView(platform);
    Paint("side-solid", 600 * 7 / 10);
    OnTopView(platform);
    OnCenterView(platform);
    Paint("top-solid");
    View.ViewRotation = Matrix::RotX(0.5235988f) * Matrix::RotY(0.5235988f) * FrontViewRotation;
    OnCenterView(platform);
    Paint("turned-solid");
    Settings.FollowCharacter = 1; // the walking performer stays in view, whatever the pan
    View.ViewPanX = 5000.0f;
    sim::Deliver(suit, 600);
    Paint("follow-character");

    // Only looked at: wireframe, names and markers, raw channels.
    Settings.ShowNodes = Settings.ShowNodeNames = Settings.ShowMarkers = Settings.ShowInfo = 1;
    Settings.RenderType = 1;
    sim::SetFrameFlags(suit, FrameMarker0 | FrameMarker1, 0);
    sim::Deliver(suit, 1);
    Settings.FollowCharacter = 0;
    OnFrontView(platform);
    View.ViewRotation = Matrix::RotX(0.5235988f) * Matrix::RotY(0.5235988f) * FrontViewRotation;
    OnCenterView(platform);
    Paint("turned-wireframe-names", std::nullopt);
    Settings.RenderType = 3;
    Paint("raw-channels", std::nullopt);
}

} // namespace
} // namespace telvo
