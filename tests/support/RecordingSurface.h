#pragma once

#include "view/Surface.h"

#include <optional>
#include <string>
#include <vector>

namespace telvo {

// A Surface for tests: keeps every primitive with the pen, fill, text colour and font it was
// drawn with, so a test can assert the exact picture.
class RecordingSurface : public Surface {
public:
    enum class Kind { Line, Ellipse, Triangle, Text, Fill };

    struct Primitive {
        Kind kind = Kind::Line;
        Pen pen{};               // current pen (lines, ellipses, triangle outlines)
        std::optional<Rgb> fill; // triangles and rectangles; empty = hollow
        Rgb textColour{};        // texts
        bool labelFont = false;  // texts: drawn in the label font
        Point a{};               // line start, box top-left, text corner, triangle corner 0
        Point b{};               // line end, box bottom-right, triangle corner 1
        Point c{};               // triangle corner 2
        std::string text;
    };

    // Whether SelectLabelFont succeeds (a test can make the font fail).
    bool labelFontAvailable = true;

    void SetPen(Pen pen) override { state_.pen = pen; }
    void SetTextColor(Rgb colour) override { state_.text = colour; }
    bool SelectLabelFont() override;
    void SelectDefaultFont() override { state_.label = false; }
    void Save() override { saved_.push_back(state_); }
    void Restore() override;

    void Line(Point from, Point to) override;
    void Ellipse(int left, int top, int right, int bottom) override;
    void Triangle(const Point (&corners)[3], Rgb fill) override;
    void Text(int x, int y, std::string_view text) override;
    void FillRect(int left, int top, int right, int bottom, Rgb colour) override;

    const std::vector<Primitive>& Primitives() const { return primitives_; }
    std::vector<Primitive> OfKind(Kind kind) const;
    // Lines, ellipses or triangles drawn with this pen.
    std::vector<Primitive> WithPen(Kind kind, Pen pen) const;
    // Texts with exactly this content.
    std::vector<Primitive> TextsSaying(const std::string& text) const;
    // Every text in drawing order.
    std::vector<std::string> TextContents() const;
    int Depth() const { return static_cast<int>(saved_.size()); }
    Pen CurrentPen() const { return state_.pen; }
    void Clear() { primitives_.clear(); }

private:
    struct State {
        Pen pen{1, Black};
        Rgb text{Black};
        bool label = false;
    };
    Primitive Start(Kind kind) const;

    State state_;
    std::vector<State> saved_;
    std::vector<Primitive> primitives_;
};

} // namespace telvo
