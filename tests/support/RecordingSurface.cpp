#include "RecordingSurface.h"

namespace telvo {

bool RecordingSurface::SelectLabelFont() {
    if (labelFontAvailable) {
        state_.label = true;
    }
    return labelFontAvailable;
}

void RecordingSurface::Restore() {
    if (!saved_.empty()) {
        state_ = saved_.back();
        saved_.pop_back();
    }
}

RecordingSurface::Primitive RecordingSurface::Start(Kind kind) const {
    Primitive p;
    p.kind = kind;
    p.pen = state_.pen;
    p.textColour = state_.text;
    p.labelFont = state_.label;
    return p;
}

void RecordingSurface::Line(Point from, Point to) {
    Primitive p = Start(Kind::Line);
    p.a = from;
    p.b = to;
    primitives_.push_back(p);
}

void RecordingSurface::Ellipse(int left, int top, int right, int bottom) {
    Primitive p = Start(Kind::Ellipse);
    p.a = {left, top};
    p.b = {right, bottom};
    primitives_.push_back(p);
}

void RecordingSurface::Triangle(const Point (&corners)[3], Rgb fill) {
    Primitive p = Start(Kind::Triangle);
    p.fill = fill;
    p.a = corners[0];
    p.b = corners[1];
    p.c = corners[2];
    primitives_.push_back(p);
}

void RecordingSurface::Text(int x, int y, std::string_view text) {
    Primitive p = Start(Kind::Text);
    p.a = {x, y};
    p.text = std::string(text);
    primitives_.push_back(p);
}

void RecordingSurface::FillRect(int left, int top, int right, int bottom, Rgb colour) {
    Primitive p = Start(Kind::Fill);
    p.fill = colour;
    p.a = {left, top};
    p.b = {right, bottom};
    primitives_.push_back(p);
}

std::vector<RecordingSurface::Primitive> RecordingSurface::OfKind(Kind kind) const {
    std::vector<Primitive> out;
    for (const Primitive& p : primitives_) {
        if (p.kind == kind) {
            out.push_back(p);
        }
    }
    return out;
}

std::vector<RecordingSurface::Primitive> RecordingSurface::WithPen(Kind kind, Pen pen) const {
    std::vector<Primitive> out;
    for (const Primitive& p : primitives_) {
        if (p.kind == kind && p.pen == pen) {
            out.push_back(p);
        }
    }
    return out;
}

std::vector<RecordingSurface::Primitive>
RecordingSurface::TextsSaying(const std::string& text) const {
    std::vector<Primitive> out;
    for (const Primitive& p : primitives_) {
        if (p.kind == Kind::Text && p.text == text) {
            out.push_back(p);
        }
    }
    return out;
}

std::vector<std::string> RecordingSurface::TextContents() const {
    std::vector<std::string> out;
    for (const Primitive& p : primitives_) {
        if (p.kind == Kind::Text) {
            out.push_back(p.text);
        }
    }
    return out;
}

} // namespace telvo
