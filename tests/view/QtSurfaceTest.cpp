// The QPainter surface, pixel by pixel.
#include "view/qt/QtSurface.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>

namespace telvo {
namespace {

TEST(QtSurface, PensHollowEllipsesAndTextOnAClearBackground) {
    static int argc = 1;
    static char name[] = "qtsurface_test";
    static char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
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
    auto is = [&](int x, int y, Rgb c) {
        return (image.pixel(x, y) & 0xFFFFFFu) == (qRgb(c.r, c.g, c.b) & 0xFFFFFFu);
    };
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

} // namespace
} // namespace telvo
