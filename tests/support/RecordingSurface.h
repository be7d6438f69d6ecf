#pragma once

#include "view/Surface.h"

#include <optional>
#include <string>
#include <vector>

namespace telvo {

// A Surface for tests: keeps every primitive with the pen, fill and text colour it was
// drawn with, so a test can assert the exact picture.
class RecordingSurface : public Surface {
public:
    enum class Kind { Line, Ellipse, Triangle, Text, Fill };
    struct Primitive {
        Kind kind;
        Pen pen;                 // lines, ellipses, triangle outlines
        std::optional<Rgb> fill; // triangles and rectangles; empty = hollow
        Rgb textColour;
        Point a, b, c; // line ends, box corners, text corner, triangle corners
        std::string text;
    };

    void SetPen(Pen pen) override { state_.pen = pen; }
    void SetTextColor(Rgb colour) override { state_.text = colour; }
    bool SelectLabelFont() override { return true; }
    void Save() override { saved_.push_back(state_); }
    void Restore() override;
    void Line(Point from, Point to) override { Add(Kind::Line, from, to); }
    void Ellipse(int l, int t, int r, int b) override { Add(Kind::Ellipse, {l, t}, {r, b}); }
    void Triangle(const Point (&p)[3], Rgb fill) override {
        Add(Kind::Triangle, p[0], p[1], p[2], fill);
    }
    void Text(int x, int y, std::string_view text) override {
        Add(Kind::Text, {x, y}, {}, {}, {}, std::string(text));
    }
    void FillRect(int l, int t, int r, int b, Rgb c) override {
        Add(Kind::Fill, {l, t}, {r, b}, {}, c);
    }

    const std::vector<Primitive>& All() const { return all_; }
    std::vector<Primitive> Of(Kind kind) const; // in the order drawn
    void Clear() { all_.clear(); }

private:
    void Add(Kind kind, Point a, Point b = {}, Point c = {}, std::optional<Rgb> fill = {},
             std::string text = {});

    struct State {
        Pen pen{1, Black};
        Rgb text = Black;
    } state_;
    std::vector<State> saved_;
    std::vector<Primitive> all_;
};

} // namespace telvo
