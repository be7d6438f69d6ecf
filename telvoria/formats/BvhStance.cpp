#include "telvoria/formats/BvhStance.h"

#include "telvoria/formats/BvhFit.h"
#include "telvoria/skeleton/Body.h"
#include "telvoria/skeleton/Math.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <utility>
#include <vector>

namespace telvo::bvh {

namespace {

using math::Add;
using math::Dot;
using math::Length;
using math::Scale;
using math::Sub;

// Floors lie along a file's axes: an up within 25 degrees of one is that axis.
constexpr float SnapCosine = 0.906f;
// The legs hang within 60 degrees of straight down from the hips, on most frames.
constexpr float HangingCosine = 0.5f;
// The spine goes on where the legs point, within 60 degrees; a four-legged figure's runs
// across them.
constexpr float SpineCosine = 0.5f;
// The sizes a human figure can have, against the default performer's: a small child to a
// very tall adult.
constexpr float SmallestShare = 0.5f;
constexpr float LargestShare = 1.45f;

Vector Mid(const Vector& a, const Vector& b) {
    return Scale(Add(a, b), 0.5f);
}

Vector Snap(const Vector& v) {
    const float parts[3] = {v.x, v.y, v.z};
    int k = 0;
    for (int i = 1; i < 3; ++i) {
        if (std::fabs(parts[i]) > std::fabs(parts[k])) {
            k = i;
        }
    }
    if (std::fabs(parts[k]) < SnapCosine) {
        return v;
    }
    Vector out{0.0f, 0.0f, 0.0f};
    float s = parts[k] > 0.0f ? 1.0f : -1.0f;
    (k == 0 ? out.x : k == 1 ? out.y : out.z) = s;
    return out;
}

// The median over the sampled frames of f(frame).
template <typename F> float OverFrames(const Tree& tree, F f) {
    std::vector<float> v;
    for (int s = 0; s < tree.SampledFrames(); ++s) {
        v.push_back(f(s));
    }
    return Median(v);
}

Vector MidAnkle(const Tree& tree, const Anatomy& body, int s) {
    return Mid(tree.At(s, body.legs[0].ankle), tree.At(s, body.legs[1].ankle));
}

int SideOf(const Tree& tree, std::initializer_list<int> joints) {
    int side = 0;
    for (int j : joints) {
        if (j >= 0) {
            side += tree.Name(j).side;
        }
    }
    return side;
}

// +1 when names make the first of the pair the left one, -1 the right one, 0 when they do not
// tell.
int ByNames(int first, int second) {
    if (first > 0 && second < 0) {
        return 1;
    }
    if (first < 0 && second > 0) {
        return -1;
    }
    return 0;
}

// Forward on one frame: where the feet point, else where the knees bend, across up.
Vector Forward(const Tree& tree, const Anatomy& body, int s, const Vector& up) {
    Vector toes{0.0f, 0.0f, 0.0f};
    Vector knees{0.0f, 0.0f, 0.0f};
    for (const Leg& leg : body.legs) {
        int end = leg.ball >= 0 ? leg.ball : leg.footEnd;
        if (end >= 0) {
            toes = Add(toes, Sub(tree.At(s, end), tree.At(s, leg.ankle)));
        }
        Vector straight = Mid(tree.At(s, leg.hip), tree.At(s, leg.ankle));
        knees = Add(knees, Sub(tree.At(s, leg.knee), straight));
    }
    toes = Across(toes, up);
    return Length(toes) > 0.0f ? Normalized(toes) : Normalized(Across(knees, up));
}

std::string Number(double v) {
    char b[32];
    auto r = std::to_chars(b, b + sizeof b, v, std::chars_format::fixed, 3);
    return r.ec == std::errc() ? std::string(b, r.ptr) : std::string("?");
}

} // namespace

float DefaultSize() {
    const auto& o = body::DefaultOffsets();
    Vector spine = Add(Add(o[body::Waist], o[body::Chest]), Add(o[body::Neck], o[body::Head]));
    return Length(o[body::LeftKnee]) + Length(o[body::LeftAnkle]) + Length(spine);
}

float DefaultHeight() {
    const auto& o = body::DefaultOffsets();
    return o[body::Hips].z + o[body::Waist].z + o[body::Chest].z + o[body::Neck].z +
           o[body::Head].z + o[body::HeadTop].z;
}

namespace {

// The figure's up axis, when it stands like a person: head above the feet, legs hanging below
// the hips and the spine rising above them.
bool FindUp(const Tree& tree, const Anatomy& body, Vector& up, std::string& reason) {
    Vector sum{0.0f, 0.0f, 0.0f};
    for (int s = 0; s < tree.SampledFrames(); ++s) {
        sum = Add(sum, Normalized(Sub(tree.At(s, body.head), MidAnkle(tree, body, s))));
    }
    if (!(Length(sum) > 0.0f)) {
        reason = "not a human figure: the head is where the feet are";
        return false;
    }
    up = Snap(Normalized(sum));
    for (const Leg& leg : body.legs) {
        float hanging = OverFrames(tree, [&](int s) {
            return Dot(Normalized(Sub(tree.At(s, leg.ankle), tree.At(s, body.pelvis))), up);
        });
        if (!(hanging < -HangingCosine)) {
            reason = "not a human figure: the legs do not hang below the hips";
            return false;
        }
    }
    float spine = OverFrames(tree, [&](int s) {
        Vector legs = Sub(tree.At(s, body.pelvis), MidAnkle(tree, body, s));
        return Dot(Normalized(Sub(tree.At(s, body.chest), tree.At(s, body.pelvis))),
                   Normalized(legs));
    });
    if (!(spine > SpineCosine)) {
        reason = "not a human figure: the spine runs across the legs instead of rising above them";
        return false;
    }
    return true;
}

// Left and right: names where both limbs of a pair say opposite sides, else the figure.
void FindSides(const Tree& tree, Anatomy& body, Vector up) {
    auto legSide = [&](const Leg& l) { return SideOf(tree, {l.hip, l.knee, l.ankle, l.ball}); };
    auto armSide = [&](const Arm& a) {
        return SideOf(tree, {a.collar, a.shoulder, a.elbow, a.wrist});
    };
    int legs = ByNames(legSide(body.legs[0]), legSide(body.legs[1]));
    int arms = ByNames(armSide(body.arms[0]), armSide(body.arms[1]));
    auto across = [&](int s, int a, int b) { return Sub(tree.At(s, a), tree.At(s, b)); };
    if (legs == 0) {
        float leftness = 0.0f;
        for (int s = 0; s < tree.SampledFrames(); ++s) {
            Vector left = arms != 0 ? Scale(across(s, body.arms[0].shoulder, body.arms[1].shoulder),
                                            static_cast<float>(arms))
                                    : math::Cross(up, Forward(tree, body, s, up));
            leftness += Dot(across(s, body.legs[0].hip, body.legs[1].hip), left);
        }
        legs = leftness >= 0.0f ? 1 : -1;
    }
    if (legs < 0) {
        std::swap(body.legs[0], body.legs[1]);
    }
    if (arms == 0) {
        float leftness = 0.0f;
        for (int s = 0; s < tree.SampledFrames(); ++s) {
            leftness += Dot(across(s, body.arms[0].shoulder, body.arms[1].shoulder),
                            across(s, body.legs[0].hip, body.legs[1].hip));
        }
        arms = leftness >= 0.0f ? 1 : -1;
    }
    if (arms < 0) {
        std::swap(body.arms[0], body.arms[1]);
    }
}

// The sampled frame where the figure stands tallest.
int TallestFrame(const Tree& tree, const Anatomy& body, Vector up) {
    int tallest = 0;
    float best = -1e30f;
    for (int s = 0; s < tree.SampledFrames(); ++s) {
        float tall = Dot(Sub(tree.At(s, body.head), MidAnkle(tree, body, s)), up);
        if (tall > best) {
            best = tall;
            tallest = s;
        }
    }
    return tallest;
}

// The unit that gives a human size, else the default performer's size.
bool FindUnit(const Tree& tree, const Anatomy& body, Stance& stance, std::string& reason) {
    float size = OverFrames(tree, [&](int s) {
        float legsLength = 0.0f;
        for (const Leg& l : body.legs) {
            legsLength += tree.Distance(s, l.hip, l.knee) + tree.Distance(s, l.knee, l.ankle);
        }
        return 0.5f * legsLength + tree.Distance(s, body.pelvis, body.head);
    });
    if (!(size > 0.0f) || !std::isfinite(size)) {
        reason = "not a human figure: no size";
        return false;
    }
    struct Unit {
        const char* name;
        float inches;
    };
    static constexpr Unit units[] = {{"metres", 39.3700787f},
                                     {"centimetres", 0.393700787f},
                                     {"millimetres", 0.0393700787f},
                                     {"inches", 1.0f}};
    const Unit* unit = nullptr;
    auto offTypical = [&](const Unit& u) {
        return std::fabs(std::log(size * u.inches / DefaultSize()));
    };
    for (const Unit& u : units) {
        float inches = size * u.inches;
        if (inches >= SmallestShare * DefaultSize() && inches <= LargestShare * DefaultSize() &&
            (unit == nullptr || offTypical(u) < offTypical(*unit))) {
            unit = &u;
        }
    }
    if (unit != nullptr) {
        stance.scale = unit->inches;
        stance.unit = unit->name;
    } else {
        stance.scale = DefaultSize() / size;
        stance.unit = "unknown: thigh, shin and hips to head measure " + Number(size) +
                      " units, shown as the default performer's " + Number(DefaultSize()) +
                      " inches";
    }
    stance.size = size * stance.scale;
    stance.height = stance.size * DefaultHeight() / DefaultSize();
    return true;
}

} // namespace

bool FindStance(const Tree& tree, Anatomy& body, Stance& stance, std::string& reason) {
    Vector up{};
    if (!FindUp(tree, body, up, reason)) {
        return false;
    }
    FindSides(tree, body, up);
    stance.axes = Turn(up, Vector{0.0f, 0.0f, 1.0f});
    stance.reference = TallestFrame(tree, body, up);
    return FindUnit(tree, body, stance, reason);
}

} // namespace telvo::bvh
