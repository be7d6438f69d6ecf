#include "RecordingSurface.h"

namespace telvo {

void RecordingSurface::Restore() {
    if (!saved_.empty()) {
        state_ = saved_.back();
        saved_.pop_back();
    }
}

void RecordingSurface::Add(Kind kind, Point a, Point b, Point c, std::optional<Rgb> fill,
                           std::string text) {
    all_.push_back({kind, state_.pen, fill, state_.text, a, b, c, std::move(text)});
}

std::vector<RecordingSurface::Primitive> RecordingSurface::Of(Kind kind) const {
    std::vector<Primitive> out;
    for (const Primitive& p : all_) {
        if (p.kind == kind) {
            out.push_back(p);
        }
    }
    return out;
}

} // namespace telvo
