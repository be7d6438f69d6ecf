#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace telvo {

struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;

    friend constexpr bool operator==(Rgb, Rgb) = default;
};

inline constexpr Rgb Black{0, 0, 0};
inline constexpr Rgb White{255, 255, 255};
inline constexpr Rgb Grey{128, 128, 128};
inline constexpr Rgb Red{255, 0, 0};
inline constexpr Rgb Green{0, 255, 0};
inline constexpr Rgb Blue{0, 0, 255};
inline constexpr Rgb Yellow{255, 255, 0};

// A solid pen of a width in pixels.
struct Pen {
    int width = 1;
    Rgb colour{};

    friend constexpr bool operator==(Pen, Pen) = default;
};

struct Point {
    int x = 0;
    int y = 0;

    friend constexpr bool operator==(Point, Point) = default;
};

struct Segment {
    Point from;
    Point to;
};

// The drawing layer of the 3D view: an off-screen picture in window pixels, origin top left,
// y downwards. It holds a current pen, a text colour and a font (the picture's default font or
// the small label font); ellipses are always hollow and triangles bring their own fill.
// Coordinates may lie far outside the picture: the surface clips.
class Surface {
public:
    virtual ~Surface() = default;

    virtual void SetPen(Pen pen) = 0;
    virtual void SetTextColor(Rgb colour) = 0;
    // The 7.2-point label font. false when it cannot be made: the default font stays.
    virtual bool SelectLabelFont() = 0;
    // Pushes and pops the pen, the text colour and the font. Every Save has its Restore.
    virtual void Save() = 0;
    virtual void Restore() = 0;

    // A straight line in the current pen.
    virtual void Line(Point from, Point to) = 0;
    // Lines in the current pen, in order.
    virtual void Lines(const Segment* segments, int count) {
        for (int i = 0; i < count; ++i) {
            Line(segments[i].from, segments[i].to);
        }
    }
    // Outline of the ellipse in the bounding box, nothing inside.
    virtual void Ellipse(int left, int top, int right, int bottom) = 0;
    // Filled with `fill`, outlined with the current pen.
    virtual void Triangle(const Point (&corners)[3], Rgb fill) = 0;
    // Top-left corner of the text at (x, y), in the text colour, background left as it was.
    virtual void Text(int x, int y, std::string_view text) = 0;
    // Solid rectangle from (left, top) up to but not including (right, bottom); no outline.
    virtual void FillRect(int left, int top, int right, int bottom, Rgb colour) = 0;

    // What is drawn from here to EndLayer depends on nothing but these bytes, and pen, text
    // colour and font are set anew after it. A surface that still holds the picture drawn for
    // the same bytes answers false and shows that instead: the layer need not be drawn.
    virtual bool BeginLayer(const void* /*key*/, std::size_t /*size*/) { return true; }
    virtual void EndLayer() {}
};

} // namespace telvo
