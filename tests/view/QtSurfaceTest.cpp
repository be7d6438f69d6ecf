// The QPainter surface, pixel by pixel.
#include "platform/qt/QtSurface.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>

namespace telvo {
namespace {

QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "qtsurface_test";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    return *app;
}

class QtSurfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        image = QImage(200, 100, QImage::Format_RGB32);
        image.fill(QColor(128, 128, 128));
    }
    QRgb At(int x, int y) const { return image.pixel(x, y) & 0xFFFFFFu; }
    static QRgb Of(Rgb c) { return qRgb(c.r, c.g, c.b) & 0xFFFFFFu; }
    // Pixels of this colour in a column between two rows (inclusive).
    int CountDown(int x, int y0, int y1, Rgb c) const {
        int n = 0;
        for (int y = y0; y <= y1; ++y) {
            n += At(x, y) == Of(c) ? 1 : 0;
        }
        return n;
    }

    QImage image;
};

TEST_F(QtSurfaceTest, PensHaveTheirWidthInPixels) {
    {
        QtSurface surface(image);
        surface.SetPen({2, Yellow});
        surface.Line({10, 20}, {100, 20});
        surface.SetPen({4, Blue});
        surface.Line({10, 60}, {100, 60});
        surface.SetPen({1, Black});
        surface.Line({10, 80}, {100, 80});
    }
    EXPECT_EQ(CountDown(50, 10, 30, Yellow), 2);
    EXPECT_EQ(CountDown(50, 50, 70, Blue), 4);
    EXPECT_EQ(CountDown(50, 75, 85, Black), 1);
    EXPECT_EQ(At(50, 40), Of(Grey));
}

TEST_F(QtSurfaceTest, EllipsesAreHollowAndTrianglesFilledAndOutlined) {
    {
        QtSurface surface(image);
        surface.SetPen({2, Red});
        surface.Ellipse(20, 20, 60, 60);
        surface.SetPen({1, Black});
        const Point corners[3] = {{100, 10}, {190, 10}, {100, 90}};
        surface.Triangle(corners, {0, 200, 0});
        // The outline pen stays for lines after a triangle; the fill does not leak.
        surface.Ellipse(150, 60, 180, 90);
    }
    EXPECT_EQ(At(40, 40), Of(Grey));          // inside the circle
    EXPECT_EQ(CountDown(40, 17, 23, Red), 2); // on it, two pixels thick
    EXPECT_EQ(At(120, 30), qRgb(0, 200, 0) & 0xFFFFFFu);
    EXPECT_EQ(At(100, 50), Of(Black)); // the outline
    EXPECT_EQ(At(165, 75), Of(Grey));
}

TEST_F(QtSurfaceTest, TextSitsBelowItsTopLeftCornerOnAClearBackground) {
    {
        QtSurface surface(image);
        surface.SetTextColor(White);
        ASSERT_TRUE(surface.SelectLabelFont());
        surface.Text(20, 30, "M       M"); // blanks: nothing behind them is painted
        surface.SelectDefaultFont();
        surface.SetTextColor(Yellow);
        surface.Save();
        surface.SetTextColor(Red);
        surface.Restore();
        surface.Text(100, 30, "Jumping");
    }
    int top = 100, bottom = -1, left = 200, yellow = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 200; ++x) {
            QRgb p = At(x, y);
            if (x < 90 && p != Of(Grey)) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
                left = std::min(left, x);
            }
            EXPECT_NE(p, Of(Red)) << "the colour was restored";
            yellow += p == Of(Yellow) ? 1 : 0;
        }
    }
    // The 7.2-point label font is about 10 pixels high at 96 dots per inch; its glyphs lie
    // below and right of the corner, and nothing paints the background behind them.
    EXPECT_EQ(LabelFontPixels(96), 10);
    EXPECT_GE(top, 30);
    EXPECT_LE(bottom - top, 10);
    EXPECT_GE(bottom - top, 5);
    EXPECT_GE(left, 20);
    EXPECT_LE(left, 22);
    EXPECT_GT(yellow, 10);
    for (int y = 30; y < 42; ++y) {
        EXPECT_EQ(At(36, y), Of(Grey)) << y;
    }
}

TEST_F(QtSurfaceTest, FarCoordinatesAndEmptyPicturesAreHarmless) {
    {
        QtSurface surface(image);
        surface.SetPen({2, Black});
        const Point far[3] = {{-1048576, 0}, {1048576, 0}, {0, 1048576}};
        surface.Triangle(far, White);
        surface.Line({-1048576, 50}, {1048576, 50});
        surface.Ellipse(-1048576, -1048576, 1048576, 1048576);
    }
    EXPECT_EQ(At(100, 50), Of(Black));
    EXPECT_EQ(At(100, 80), Of(White));

    QtPicture picture([](const QImage&) { FAIL() << "an empty picture is not presented"; });
    Surface& empty = picture.BeginPicture(0, 0);
    empty.FillRect(0, 0, 10, 10, Grey);
    empty.Text(0, 0, "x");
    picture.Present();
}

TEST_F(QtSurfaceTest, PictureIsPresentedWholeOnce) {
    int presents = 0;
    QtPicture picture([&](const QImage& done) {
        ++presents;
        EXPECT_EQ(done.size(), QSize(64, 32));
        EXPECT_EQ(done.pixel(63, 31) & 0xFFFFFFu, qRgb(128, 128, 128) & 0xFFFFFFu);
    });
    Surface& surface = picture.BeginPicture(64, 32);
    surface.FillRect(0, 0, 64, 32, Grey);
    picture.Present();
    EXPECT_EQ(presents, 1);
}

} // namespace
} // namespace telvo
