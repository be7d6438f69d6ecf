#include "view/qt/FlatFill.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace telvo {

namespace {

// The 1-pixel outline of a triangle whose corners lie at least two pixels inside the
// picture, pixel for pixel as the raster engine strokes a closed polygon with a thin pen: each
// edge stepped in 16.16 fixed point along its longer axis, a corner pixel the next edge would
// draw again left out, a gap at a corner filled, and half a pixel more where the stroke turns
// back on its axis.
class ThinOutline {
public:
    ThinOutline(uint32_t* pixels, std::ptrdiff_t stride, uint32_t colour)
        : pixels_(pixels), stride_(stride), colour_(colour) {}

    void Closed(const Point (&p)[3]) {
        Last(p[2], p[0]);
        Edge(p[0], p[1]);
        Edge(p[1], p[2]);
        Edge(p[2], p[0]);
    }

private:
    enum Direction { None = 0, Down = 1, Up = 2, Right = 4, Left = 8 };
    static constexpr int Vertical = Down | Up;
    static constexpr int Horizontal = Right | Left;
    enum Caps { CapBegin = 1, CapEnd = 2 };

    static int Divide(int a, int b) { return static_cast<int>((int64_t{a} * 65536) / b); }

    // Where the closing edge ends, so that the first edge knows what came before it.
    void Last(Point from, Point to) {
        lastX_ = -1;
        lastY_ = -1;
        int x1 = from.x * 64, y1 = from.y * 64, x2 = to.x * 64, y2 = to.y * 64;
        if (std::abs(x2 - x1) < std::abs(y2 - y1)) {
            Along(y1, y2, x1, x2, true);
        } else if (x2 != x1) {
            Along(x1, x2, y1, y2, false);
        }
    }

    void Along(int a1, int a2, int b1, int b2, bool vertical) {
        const bool swapped = a1 > a2;
        if (swapped) {
            std::swap(a1, a2);
            std::swap(b1, b2);
        }
        const int step = Divide(b2 - b1, a2 - a1);
        int b = b1 * 1024;
        const int a = (a1 + 32) >> 6;
        const int as = (a2 + 32) >> 6;
        if (a == as) {
            return;
        }
        b += ((a * 64 + (step > 0 ? 32 : 0) - a1) * step) >> 6;
        const int endA = swapped ? a : as - 1;
        const int endB = swapped ? b >> 16 : (b + (as - a - 1) * step) >> 16;
        lastX_ = vertical ? endB : endA;
        lastY_ = vertical ? endA : endB;
        lastDir_ = vertical ? (swapped ? Up : Down) : (swapped ? Left : Right);
        lastAxisAligned_ = std::abs(step) < (1 << 14);
    }

    void Edge(Point from, Point to) {
        int x1 = from.x * 64, y1 = from.y * 64, x2 = to.x * 64, y2 = to.y * 64;
        if (std::abs(x2 - x1) < std::abs(y2 - y1)) {
            Stroke(y1, y2, x1, x2, true);
        } else if (x2 != x1) {
            Stroke(x1, x2, y1, y2, false);
        }
    }

    // a is the axis the edge is longer along, b the other.
    void Stroke(int a1, int a2, int b1, int b2, bool vertical) {
        int caps = 0;
        int dir = vertical ? Down : Right;
        const bool swapped = a1 > a2;
        if (swapped) {
            std::swap(a1, a2);
            std::swap(b1, b2);
            dir = vertical ? Up : Left;
        }
        const int step = Divide(b2 - b1, a2 - a1);
        int b = b1 * 1024;
        if ((lastDir_ ^ (vertical ? Vertical : Horizontal)) == dir) {
            caps |= swapped ? CapEnd : CapBegin; // turning back: half a pixel more
        }
        if ((caps & CapBegin) != 0) {
            a1 -= 32;
            b -= step >> 1;
        }
        if ((caps & CapEnd) != 0) {
            a2 += 32;
        }
        int a = (a1 + 32) >> 6;
        int as = (a2 + 32) >> 6;
        if (a == as) {
            return;
        }
        b += ((a * 64 + (step > 0 ? 32 : 0) - a1) * step) >> 6;
        int firstA = a, firstB = b >> 16;
        int endA = as - 1, endB = (b + (as - a - 1) * step) >> 16;
        if (swapped) {
            std::swap(firstA, endA);
            std::swap(firstB, endB);
        }
        const int firstX = vertical ? firstB : firstA;
        const int firstY = vertical ? firstA : firstB;
        const bool axisAligned = std::abs(step) < (1 << 14);
        if (lastX_ >= 0) {
            if (firstX == lastX_ && firstY == lastY_) {
                if (swapped) { // drawn already as the end of the edge before
                    --as;
                } else {
                    ++a;
                    b += step;
                }
            } else if (lastDir_ != dir &&
                       ((axisAligned && lastAxisAligned_ && lastX_ != firstX && lastY_ != firstY) ||
                        std::abs(lastX_ - firstX) > 1 || std::abs(lastY_ - firstY) > 1)) {
                if (swapped) { // a gap at the corner
                    ++as;
                } else {
                    --a;
                    b -= step;
                }
            }
        }
        lastDir_ = dir;
        lastAxisAligned_ = axisAligned;
        do {
            if (vertical) {
                pixels_[stride_ * a + (b >> 16)] = colour_;
            } else {
                pixels_[stride_ * (b >> 16) + a] = colour_;
            }
            b += step;
        } while (++a < as);
        lastX_ = vertical ? endB : endA;
        lastY_ = vertical ? endA : endB;
    }

    uint32_t* pixels_;
    std::ptrdiff_t stride_;
    uint32_t colour_;
    int lastX_ = -1;
    int lastY_ = -1;
    int lastDir_ = None;
    bool lastAxisAligned_ = false;
};

} // namespace

// Fills a triangle whose corners lie in the picture the way the raster engine fills an
// aliased polygon: a pixel is in when its centre is, each edge's crossing of the row centres
// stepped in 16.16 fixed point from its top, as the engine does, so the pixels are its own.
void FillTriangle(uint32_t* pixels, std::ptrdiff_t stride, const Point (&p)[3], uint32_t colour) {
    struct Edge {
        int64_t x;
        int64_t step;
        int top;
        int bottom;
    } edges[3];
    int count = 0;
    int first = p[0].y;
    int last = p[0].y;
    for (int i = 0; i < 3; ++i) {
        Point a = p[i];
        Point b = p[(i + 1) % 3];
        first = std::min(first, a.y);
        last = std::max(last, a.y);
        if (a.y > b.y) {
            std::swap(a, b);
        }
        if (a.y >= b.y) {
            continue; // crosses no row centre
        }
        Edge& e = edges[count++];
        e.top = a.y;
        e.bottom = b.y - 1;
        const int64_t start = 32768 + (int64_t{a.x} << 16);
        if (a.x == b.x) {
            e.x = start;
            e.step = 0;
        } else {
            const double slope = static_cast<double>((b.x - a.x) * 64) / ((b.y - a.y) * 64);
            e.step = static_cast<int64_t>(slope * 65536.0);
            e.x = start + ((e.step * 32768) >> 16);
        }
    }
    for (int y = first; y < last; ++y) {
        int64_t cross[3];
        int n = 0;
        for (int i = 0; i < count; ++i) {
            if (edges[i].top <= y && y <= edges[i].bottom) {
                cross[n++] = edges[i].x + edges[i].step * (y - edges[i].top);
            }
        }
        for (int i = 1; i < n; ++i) { // at most three
            for (int j = i; j > 0 && cross[j] < cross[j - 1]; --j) {
                std::swap(cross[j], cross[j - 1]);
            }
        }
        uint32_t* row = pixels + stride * y;
        for (int i = 0; i + 1 < n; i += 2) {
            const auto from = static_cast<int>(cross[i] >> 16);
            const auto to = static_cast<int>(cross[i + 1] >> 16);
            if (to > from) {
                std::fill(row + from, row + to, colour);
            }
        }
    }
}

void OutlineTriangle(uint32_t* pixels, std::ptrdiff_t stride, const Point (&corners)[3],
                     uint32_t colour) {
    ThinOutline(pixels, stride, colour).Closed(corners);
}

} // namespace telvo
