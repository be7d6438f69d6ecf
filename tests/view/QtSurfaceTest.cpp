// The QPainter surface, pixel by pixel.
#include "view/qt/QtSurface.h"

#include "engine/Engine.h"
#include "tests/view/ViewTestSupport.h"
#include "view/Camera.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <random>

namespace telvo {
namespace {

TEST(QtSurface, PensHollowEllipsesAndTextOnAClearBackground) {
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(QColor(128, 128, 128));
    const Rgb green{0, 200, 0};
    {
        QtSurface surface(image);
        const Point far[3] = {{-1048576, 0}, {1048576, 0}, {0, 1048576}}; // clipped, drawn
        surface.Triangle(far, green);
        surface.SetPen({4, Blue});
        surface.Line({10, 10}, {100, 10});
        surface.SetPen({2, Red});
        surface.Ellipse(120, 20, 160, 60);
        surface.SetTextColor(White);
        ASSERT_TRUE(surface.SelectLabelFont());
        surface.Save();
        surface.SetTextColor(Red);
        surface.Restore();
        surface.Text(20, 30, "M       M"); // nothing behind the blanks is painted
    }
    auto is = [&](int x, int y, Rgb c) { return image.pixel(x, y) == qRgb(c.r, c.g, c.b); };
    auto column = [&](int x, int y0, int y1, Rgb c) { // pixels of a colour in a column
        int n = 0;
        for (int y = y0; y <= y1; ++y) {
            n += is(x, y, c) ? 1 : 0;
        }
        return n;
    };
    EXPECT_EQ(column(50, 0, 20, Blue), 4);
    EXPECT_EQ(column(140, 17, 23, Red), 2);
    EXPECT_TRUE(is(140, 40, green)); // inside the ellipse: what was there

    QRect text;
    for (int y = 20; y < 65; ++y) {
        for (int x = 0; x < 115; ++x) {
            ASSERT_FALSE(is(x, y, Red)) << "the restored colour was not used";
            text |= is(x, y, green) ? QRect() : QRect(x, y, 1, 1);
        }
    }
    EXPECT_EQ(LabelFontPixels(96), 10); // 7.2 points at 96 dots per inch
    EXPECT_GE(text.top(), 30);
    EXPECT_LE(text.left(), 22);
    EXPECT_EQ(column(36, 30, 42, green), 13);
}

// Triangles and circles go straight into an image's pixels; each must be the raster engine's own,
// pixel for pixel, whatever its shape: slivers, flat edges, corners that touch the border.
TEST(QtSurface, PixelsWrittenDirectlyAreTheRasterEnginesOwn) {
    std::mt19937 random(18);
    auto coordinate = [&](int size) {
        return std::uniform_int_distribution<int>(-3, size + 2)(random);
    };
    auto small = [&] { return std::uniform_int_distribution<int>(-6, 6)(random); };
    const Rgb fill{90, 160, 30};
    QtPaintCache cache;
    for (int round = 0; round < 3000; ++round) {
        QImage ours(96, 80, QImage::Format_RGB32);
        ours.fill(QColor(128, 128, 128));
        QImage theirs = ours.copy();
        Point p[3];
        for (Point& corner : p) { // large, then small and flat ones
            corner = round < 1500 ? Point{coordinate(96), coordinate(80)}
                                  : Point{48 + small() * (round % 3 + 1), 40 + small()};
        }
        const int radius = round % 17;
        const Point centre{coordinate(96), coordinate(80)};
        auto circle = [&](QtSurface& surface) {
            surface.SetPen({2, Red});
            surface.Ellipse(centre.x - radius, centre.y - radius, centre.x + radius,
                            centre.y + radius);
        };
        {
            QtSurface surface(ours, &cache); // circles from what it kept
            surface.Triangle(p, fill);
            circle(surface);
        }
        {
            QPainter painter(&theirs);
            painter.setPen(QPen(Qt::black, 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
            painter.setBrush(QColor(fill.r, fill.g, fill.b));
            const QPoint q[3] = {{p[0].x, p[0].y}, {p[1].x, p[1].y}, {p[2].x, p[2].y}};
            painter.drawPolygon(q, 3);
        }
        {
            QtSurface reference(theirs); // nothing kept: the engine draws the circle
            circle(reference);
        }
        ASSERT_EQ(ours, theirs) << "round " << round;
    }
}

// What the camera alone decides is kept from one paint to the next; every later paint must be
// the picture a fresh paint would draw, whatever changed since.
using QtView = ViewTest;

TEST_F(QtView, KeptBackgroundGivesTheFreshPicture) {
    ASSERT_EQ(GyroInit(), 1);
    Engine.Live = 1;
    Engine.MainWindow = &platform;
    Engine.SuitHandle = GyroOpen(nullptr, FrameCallback, nullptr);
    sim::Deliver(Engine.SuitHandle, 40);
    GyroInitSkeleton(&Engine.Skeleton);
    Settings.RenderType = static_cast<int>(RenderType::Solid);
    OnCenterView(platform);
    QImage kept(800, 600, QImage::Format_RGB32);
    QtPicture keeping(kept);
    const std::pair<const char*, void (*)()> steps[] = {
        {"nothing", [] {}},
        {"nothing again", [] {}},
        {"the figure", [] { sim::Deliver(Engine.SuitHandle, 30); }},
        {"the nodes", [] { Settings.ShowNodes = 0; }},
        {"the pan", [] { View.ViewPanX += 7.0f; }},
        {"nothing after the pan", [] {}},
        {"the grid", [] { Settings.ShowGrid = 0; }},
    };
    for (const auto& [change, apply] : steps) {
        apply();
        OnPaint(platform, keeping);
        QImage fresh(800, 600, QImage::Format_RGB32);
        QtPicture once(fresh);
        OnPaint(platform, once);
        ASSERT_EQ(kept, fresh) << "after a change of " << change;
    }
}

} // namespace
} // namespace telvo

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
