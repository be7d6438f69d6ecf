// The QPainter surface, pixel by pixel.
#include "platform/qt/QtSurface.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>

namespace telvo {
namespace {

class QtSurfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "qtsurface_test";
        static char* argv[] = {name, nullptr};
        static QGuiApplication app(argc, argv);
        image.fill(QColor(128, 128, 128));
    }
    bool Is(int x, int y, Rgb c) const {
        return (image.pixel(x, y) & 0xFFFFFFu) == (qRgb(c.r, c.g, c.b) & 0xFFFFFFu);
    }
    int Column(int x, int y0, int y1, Rgb c) const { // pixels of a colour in a column
        int n = 0;
        for (int y = y0; y <= y1; ++y) {
            n += Is(x, y, c) ? 1 : 0;
        }
        return n;
    }
    QImage image{200, 100, QImage::Format_RGB32};
};

TEST_F(QtSurfaceTest, PensHollowEllipsesAndOutlinedTriangles) {
    {
        QtSurface surface(image);
        const Point far[3] = {{-1048576, 0}, {1048576, 0}, {0, 1048576}}; // clipped, drawn
        surface.Triangle(far, {0, 200, 0});
        surface.SetPen({2, Yellow});
        surface.Line({10, 20}, {100, 20});
        surface.SetPen({4, Blue});
        surface.Line({10, 60}, {100, 60});
        surface.SetPen({2, Red});
        surface.Ellipse(120, 20, 160, 60);
        surface.SetPen({1, Black});
        const Point corners[3] = {{20, 70}, {60, 70}, {20, 95}};
        surface.Triangle(corners, White);
    }
    EXPECT_EQ(Column(50, 10, 30, Yellow), 2);
    EXPECT_EQ(Column(50, 50, 70, Blue), 4);
    EXPECT_EQ(Column(140, 17, 23, Red), 2);
    EXPECT_TRUE(Is(140, 40, {0, 200, 0})); // inside the ellipse: what was there
    EXPECT_TRUE(Is(30, 80, White));
    EXPECT_TRUE(Is(20, 80, Black)); // the outline
}

TEST_F(QtSurfaceTest, TextHangsBelowItsCornerOnAClearBackground) {
    {
        QtSurface surface(image);
        surface.SetTextColor(White);
        ASSERT_TRUE(surface.SelectLabelFont());
        surface.Save();
        surface.SetTextColor(Red);
        surface.Restore();
        surface.Text(20, 30, "M       M"); // nothing behind the blanks is painted
    }
    QRect text;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 200; ++x) {
            ASSERT_FALSE(Is(x, y, Red)) << "the restored colour was not used";
            text |= Is(x, y, Grey) ? QRect() : QRect(x, y, 1, 1);
        }
    }
    EXPECT_EQ(LabelFontPixels(96), 10); // 7.2 points at 96 dots per inch
    EXPECT_GE(text.top(), 30);
    EXPECT_LE(text.height(), 11);
    EXPECT_LE(text.left(), 22);
    EXPECT_EQ(Column(36, 30, 42, Grey), 13);
}

} // namespace
} // namespace telvo
