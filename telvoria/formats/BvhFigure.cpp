#include "telvoria/formats/BvhFigure.h"

#include "telvoria/skeleton/Math.h"
#include "telvoria/skeleton/Solver.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <math.h>

namespace telvo::bvh {

namespace {

using math::Add;
using math::Apply;
using math::Cross;
using math::Dot;
using math::Length;
using math::Mul;
using math::Sub;
using math::Transposed;

// A figure with no unit that fits is shown at an ordinary adult height.
constexpr float PlausibleHeight = 68.0f;
constexpr float MinHeight = 34.0f;
constexpr float MaxHeight = 100.0f;
constexpr float DegreesToRadians = 3.14159265358979f / 180.0f;

Vector Scaled(const Vector& v, float s) {
    return math::Scale(v, s);
}

Vector Normalized(const Vector& v) {
    float l = Length(v);
    return l > 0.0f ? Scaled(v, 1.0f / l) : Vector{0.0f, 0.0f, 0.0f};
}

// The part of v across the unit vector u.
Vector Across(const Vector& v, const Vector& u) {
    return Sub(v, Scaled(u, Dot(v, u)));
}

Matrix CosSinAbout(const Vector& u, float c, float s) {
    float t = 1.0f - c;
    return Matrix(t * u.x * u.x + c, t * u.x * u.y - s * u.z, t * u.x * u.z + s * u.y,
                  t * u.x * u.y + s * u.z, t * u.y * u.y + c, t * u.y * u.z - s * u.x,
                  t * u.x * u.z - s * u.y, t * u.y * u.z + s * u.x, t * u.z * u.z + c);
}

// The smallest rotation that turns the direction of a into that of b.
Matrix Turn(const Vector& a, const Vector& b) {
    float ab = std::sqrt(Dot(a, a) * Dot(b, b));
    if (!(ab > 1e-24f)) {
        return math::Identity();
    }
    float inv = 1.0f / ab;
    float c = Dot(a, b) * inv;
    if (c < -0.99999f) {
        // Half a turn about any axis across a.
        Vector u = Normalized(a);
        Vector n = std::fabs(u.x) < 0.9f ? Cross(u, Vector{1.0f, 0.0f, 0.0f})
                                         : Cross(u, Vector{0.0f, 1.0f, 0.0f});
        return CosSinAbout(Normalized(n), -1.0f, 0.0f);
    }
    Vector k = Scaled(Cross(a, b), inv);
    float f = 1.0f / (1.0f + c);
    return Matrix(c + k.x * k.x * f, k.x * k.y * f - k.z, k.x * k.z * f + k.y, k.x * k.y * f + k.z,
                  c + k.y * k.y * f, k.y * k.z * f - k.x, k.x * k.z * f - k.y, k.y * k.z * f + k.x,
                  c + k.z * k.z * f);
}

// Columns a and b of m turned by (c, s): a' = c a + s b, b' = c b - s a.
inline void TurnPair(float& a0, float& a1, float& a2, float& b0, float& b1, float& b2, float c,
                     float s) {
    float x0 = a0, x1 = a1, x2 = a2;
    a0 = c * x0 + s * b0;
    a1 = c * x1 + s * b1;
    a2 = c * x2 + s * b2;
    b0 = c * b0 - s * x0;
    b1 = c * b1 - s * x1;
    b2 = c * b2 - s * x2;
}

// m times a turn about basis axis 0, 1 or 2 (cosine c, sine s): only two columns change.
inline void TurnColumns(Matrix& m, int axis, float c, float s) {
    if (axis == 0) {
        TurnPair(m.m01, m.m11, m.m21, m.m02, m.m12, m.m22, c, s);
    } else if (axis == 1) {
        TurnPair(m.m02, m.m12, m.m22, m.m00, m.m10, m.m20, c, s);
    } else {
        TurnPair(m.m00, m.m10, m.m20, m.m01, m.m11, m.m21, c, s);
    }
}

// The rotation that takes from[0] exactly onto to[0] and best fits the others, by weight,
// with a turn about that line. Vectors of no length take no part.
Matrix Fit(const Vector* from, const Vector* to, const float* weight, int count) {
    int p = 0;
    while (p < count && !(Length(from[p]) > 1e-6f && Length(to[p]) > 1e-6f)) {
        ++p;
    }
    if (p == count) {
        return math::Identity();
    }
    Matrix r = Turn(from[p], to[p]);
    Vector axis = Normalized(to[p]);
    float sc = 0.0f;
    float ss = 0.0f;
    float norm = 0.0f;
    for (int i = 0; i < count; ++i) {
        if (i == p) {
            continue;
        }
        Vector a = Across(Apply(r, from[i]), axis);
        Vector b = Across(to[i], axis);
        sc += weight[i] * Dot(a, b);
        ss += weight[i] * Dot(Cross(a, b), axis);
        norm += weight[i] * Length(a) * Length(b);
    }
    float len = std::sqrt(sc * sc + ss * ss);
    if (norm > 1e-12f && len > 1e-4f * norm) {
        r = Mul(CosSinAbout(axis, sc / len, ss / len), r);
    }
    return r;
}

// The rotation that best takes the directions of 'from' onto those of 'to' by weight, over
// all of them at once (the quaternion method: the top eigenvector of a 4x4 matrix). Falls back
// to Fit when the directions do not fix a rotation.
Matrix BestFit(const Vector* from, const Vector* to, const float* weight, int count) {
    double s[3][3] = {};
    int used = 0;
    for (int i = 0; i < count; ++i) {
        Vector a = Normalized(from[i]);
        Vector b = Normalized(to[i]);
        if (Length(a) == 0.0f || Length(b) == 0.0f) {
            continue;
        }
        ++used;
        double av[3] = {a.x, a.y, a.z};
        double bv[3] = {b.x, b.y, b.z};
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                s[r][c] += weight[i] * av[r] * bv[c];
            }
        }
    }
    if (used < 2) {
        return Fit(from, to, weight, count);
    }
    double n[4][4] = {
        {s[0][0] + s[1][1] + s[2][2], s[1][2] - s[2][1], s[2][0] - s[0][2], s[0][1] - s[1][0]},
        {s[1][2] - s[2][1], s[0][0] - s[1][1] - s[2][2], s[0][1] + s[1][0], s[2][0] + s[0][2]},
        {s[2][0] - s[0][2], s[0][1] + s[1][0], -s[0][0] + s[1][1] - s[2][2], s[1][2] + s[2][1]},
        {s[0][1] - s[1][0], s[2][0] + s[0][2], s[1][2] + s[2][1], -s[0][0] - s[1][1] + s[2][2]}};
    double v[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    for (int sweep = 0; sweep < 50; ++sweep) { // Jacobi rotations
        double off = 0.0;
        for (int p = 0; p < 4; ++p) {
            for (int q = p + 1; q < 4; ++q) {
                off += n[p][q] * n[p][q];
            }
        }
        if (off < 1e-24) {
            break;
        }
        for (int p = 0; p < 4; ++p) {
            for (int q = p + 1; q < 4; ++q) {
                if (std::fabs(n[p][q]) < 1e-300) {
                    continue;
                }
                double theta = (n[q][q] - n[p][p]) / (2.0 * n[p][q]);
                double t =
                    (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                double c = 1.0 / std::sqrt(t * t + 1.0);
                double sn = t * c;
                for (int k = 0; k < 4; ++k) {
                    double a = n[k][p];
                    double b = n[k][q];
                    n[k][p] = c * a - sn * b;
                    n[k][q] = sn * a + c * b;
                }
                for (int k = 0; k < 4; ++k) {
                    double a = n[p][k];
                    double b = n[q][k];
                    n[p][k] = c * a - sn * b;
                    n[q][k] = sn * a + c * b;
                }
                for (int k = 0; k < 4; ++k) {
                    double a = v[k][p];
                    double b = v[k][q];
                    v[k][p] = c * a - sn * b;
                    v[k][q] = sn * a + c * b;
                }
            }
        }
    }
    int best = 0;
    for (int i = 1; i < 4; ++i) {
        if (n[i][i] > n[best][best]) {
            best = i;
        }
    }
    double w = v[0][best];
    double x = v[1][best];
    double y = v[2][best];
    double z = v[3][best];
    double l = std::sqrt(w * w + x * x + y * y + z * z);
    w /= l;
    x /= l;
    y /= l;
    z /= l;
    return Matrix(1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y),
                  2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x),
                  2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y));
}

// ---- names -------------------------------------------------------------------------------

struct NameInfo {
    int side = 0;     // +1 left, -1 right, 0 unknown
    std::string word; // the body words in lower case, side and numbers left out
    bool twist = false;
};

bool Lower(char c) {
    return c >= 'a' && c <= 'z';
}
bool Upper(char c) {
    return c >= 'A' && c <= 'Z';
}
bool Digit(char c) {
    return c >= '0' && c <= '9';
}

bool Has(const std::string& s, std::string_view part) {
    return s.find(part) != std::string::npos;
}

bool StartsWithBodyWord(std::string_view rest) {
    static constexpr std::string_view words[] = {
        "hand",   "foot",     "arm",      "forearm", "uparm", "lowarm", "leg",   "upleg",
        "thigh",  "shin",     "calf",     "knee",    "elbow", "wrist",  "ankle", "toe",
        "collar", "clavicle", "shoulder", "shldr",   "hip",   "heel",   "ball",  "finger",
        "thumb",  "index",    "middle",   "pinky",   "eye",   "ear",    "lowleg"};
    for (auto w : words) {
        if (rest.substr(0, w.size()) == w) {
            return true;
        }
    }
    return false;
}

NameInfo Analyse(std::string_view name) {
    auto cut = name.find_last_of(":|");
    if (cut != std::string_view::npos) {
        name.remove_prefix(cut + 1);
    }
    std::vector<std::string> tokens;
    std::string current;
    auto flush = [&] {
        if (!current.empty()) {
            for (char& c : current) {
                if (Upper(c)) {
                    c = static_cast<char>(c - 'A' + 'a');
                }
            }
            tokens.push_back(current);
            current.clear();
        }
    };
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (!Lower(c) && !Upper(c) && !Digit(c)) {
            flush();
            continue;
        }
        if (!current.empty()) {
            char prev = current.back();
            bool split = (Lower(prev) && Upper(c)) || (Digit(prev) != Digit(c)) ||
                         (Upper(prev) && Upper(c) && i + 1 < name.size() && Lower(name[i + 1]));
            if (split) {
                flush();
            }
        }
        current += c;
    }
    flush();
    NameInfo info;
    bool first = true;
    for (std::string& t : tokens) {
        if (t == "l" || t == "left" || t == "lft") {
            info.side = 1;
            continue;
        }
        if (t == "r" || t == "right" || t == "rt" || t == "rgt") {
            info.side = -1;
            continue;
        }
        if (Digit(t[0])) {
            continue;
        }
        if (first && info.side == 0) {
            if (t.size() > 4 && t.compare(0, 4, "left") == 0) {
                info.side = 1;
                t.erase(0, 4);
            } else if (t.size() > 5 && t.compare(0, 5, "right") == 0) {
                info.side = -1;
                t.erase(0, 5);
            } else if (t.size() > 1 && (t[0] == 'l' || t[0] == 'r') &&
                       StartsWithBodyWord(std::string_view(t).substr(1))) {
                info.side = t[0] == 'l' ? 1 : -1;
                t.erase(0, 1);
            }
        }
        first = false;
        info.word += t;
    }
    info.twist = Has(info.word, "twist") || Has(info.word, "roll");
    return info;
}

bool IsHand(const std::string& w) {
    return Has(w, "hand") || Has(w, "wrist");
}
bool IsFore(const std::string& w) {
    return Has(w, "forearm") || Has(w, "lowarm") || Has(w, "lowerarm") || Has(w, "elbow");
}
bool IsUpperArm(const std::string& w) {
    return !IsFore(w) && (Has(w, "arm") || Has(w, "shldr") || Has(w, "humerus"));
}
bool IsCollar(const std::string& w) {
    return Has(w, "collar") || Has(w, "clav");
}
bool IsArmish(const std::string& w) {
    return Has(w, "arm") || IsHand(w) || IsCollar(w) || Has(w, "shoulder") || Has(w, "shldr") ||
           Has(w, "elbow");
}
bool IsThigh(const std::string& w) {
    return Has(w, "upleg") || Has(w, "upperleg") || Has(w, "thigh") || Has(w, "femur") ||
           Has(w, "hip");
}
bool IsShin(const std::string& w) {
    return !IsThigh(w) &&
           (Has(w, "knee") || Has(w, "shin") || Has(w, "calf") || Has(w, "leg") || Has(w, "tibia"));
}
bool IsFoot(const std::string& w) {
    return Has(w, "foot") || Has(w, "ankle");
}

// ---- the file's figure at rest -----------------------------------------------------------

class Rest {
public:
    explicit Rest(const std::vector<Joint>& joints) : j_(joints) {
        std::size_t n = joints.size();
        kids_.resize(n);
        position_.resize(n);
        names_.resize(n);
        float reach = 0.0f;
        for (std::size_t i = 0; i < n; ++i) {
            int p = joints[i].parent;
            position_[i] = p < 0 ? joints[i].offset : Add(position_[p], joints[i].offset);
            if (p >= 0) {
                kids_[p].push_back(static_cast<int>(i));
            }
            names_[i] = Analyse(joints[i].name);
            reach = std::max(reach, Length(Sub(position_[i], position_[0])));
        }
        eps_ = reach * 1e-4f;
        reach_ = reach;
    }

    const Joint& J(int i) const { return j_[i]; }
    const Vector& P(int i) const { return position_[i]; }
    const NameInfo& N(int i) const { return names_[i]; }
    const std::vector<int>& Kids(int i) const { return kids_[i]; }
    float Eps() const { return eps_; }
    float Reach() const { return reach_; }
    float Dist(int a, int b) const { return Length(Sub(P(a), P(b))); }
    bool Apart(int a, int b) const { return Dist(a, b) > eps_; }

    std::vector<int> JointKids(int i) const {
        std::vector<int> out;
        for (int k : Kids(i)) {
            if (!J(k).endSite) {
                out.push_back(k);
            }
        }
        return out;
    }
    // The joint and everything below it.
    std::vector<int> Subtree(int i) const {
        std::vector<int> out{i};
        for (std::size_t at = 0; at < out.size(); ++at) {
            for (int k : Kids(out[at])) {
                out.push_back(k);
            }
        }
        return out;
    }
    bool Below(int joint, int ancestor) const {
        for (int p = joint; p >= 0; p = J(p).parent) {
            if (p == ancestor) {
                return true;
            }
        }
        return false;
    }
    // From 'from' towards its descendant 'to', past joints that sit where the previous one is.
    int Advance(int from, int to) const {
        if (to < 0 || !Below(to, from)) {
            return from;
        }
        std::vector<int> path;
        for (int p = to; p != from; p = J(p).parent) {
            path.push_back(p);
        }
        int at = from;
        for (auto it = path.rbegin(); it != path.rend(); ++it) {
            if (Apart(at, *it)) {
                break;
            }
            at = *it;
        }
        return at;
    }
    std::string NameOf(int i) const {
        if (J(i).endSite) {
            return J(J(i).parent).name + " End Site";
        }
        return J(i).name;
    }

private:
    const std::vector<Joint>& j_;
    std::vector<std::vector<int>> kids_;
    std::vector<Vector> position_;
    std::vector<NameInfo> names_;
    float eps_ = 0.0f;
    float reach_ = 0.0f;
};

struct Arm {
    int collar = -1; // -1: made up
    int shoulder = -1;
    int elbow = -1;
    int wrist = -1;
};

struct Leg {
    int hip = -1;
    int knee = -1;
    int ankle = -1;
    int ball = -1; // -1: no toe joint
};

// Joints in one chain from 'start' down, while each has one joint below it; stops early at a
// joint that names itself a hand when 'hand' is set.
std::vector<int> Chain(const Rest& r, int start, bool hand) {
    std::vector<int> chain{start};
    for (int at = start;;) {
        if (hand && IsHand(r.N(at).word) && !r.N(at).twist) {
            break;
        }
        auto kids = r.JointKids(at);
        if (kids.size() != 1 || static_cast<int>(chain.size()) > MaxDepth) {
            break;
        }
        at = kids[0];
        chain.push_back(at);
    }
    return chain;
}

// The chain's joints at distinct places, twist helpers left out (the last joint always stays).
std::vector<int> Points(const Rest& r, const std::vector<int>& chain, int from) {
    std::vector<int> out;
    int last = from;
    for (std::size_t i = 0; i < chain.size(); ++i) {
        int j = chain[i];
        bool end = i + 1 == chain.size();
        if (!end && r.N(j).twist) {
            continue;
        }
        if (last >= 0 && !r.Apart(j, last)) {
            continue;
        }
        out.push_back(j);
        last = j;
    }
    return out;
}

bool ReadArm(const Rest& r, int start, Arm& arm) {
    std::vector<int> chain = Chain(r, start, true);
    arm.wrist = chain.back();
    std::vector<int> pts = Points(r, chain, -1);
    if (pts.back() != arm.wrist) {
        pts.push_back(arm.wrist);
    }
    pts.pop_back(); // the wrist
    // Names first: the forearm, then the upper arm above it, then a collar above that.
    int fore = -1;
    int upper = -1;
    for (int i = static_cast<int>(pts.size()) - 1; i >= 0 && fore < 0; --i) {
        if (IsFore(r.N(pts[i]).word)) {
            fore = i;
        }
    }
    for (int i = fore - 1; i >= 0 && upper < 0; --i) {
        if (IsUpperArm(r.N(pts[i]).word)) {
            upper = i;
        }
    }
    if (fore > 0 && upper < 0) {
        upper = fore - 1;
    }
    if (fore < 0 || upper < 0) {
        // By shape: shoulder, elbow (and a collar before them when there are three bones).
        int n = static_cast<int>(pts.size());
        if (n < 2) {
            return false;
        }
        if (n <= 3) {
            fore = n - 1;
            upper = n - 2;
        } else {
            // More joints than bones: take the elbow and shoulder where a human arm has them
            // along the chain (forearm about a third of it, collar about a fifth).
            std::vector<float> along(n + 1, 0.0f);
            for (int i = n - 1; i >= 0; --i) {
                int next = i + 1 < n ? pts[i + 1] : arm.wrist;
                along[i] = along[i + 1] + r.Dist(pts[i], next);
            }
            float total = along[0];
            auto nearest = [&](float fraction, int lo, int hi) {
                int best = lo;
                for (int i = lo; i <= hi; ++i) {
                    if (std::fabs(along[i] - fraction * total) <
                        std::fabs(along[best] - fraction * total)) {
                        best = i;
                    }
                }
                return best;
            };
            fore = nearest(0.36f, 1, n - 1);
            upper = nearest(0.78f, 0, fore - 1);
        }
    }
    arm.elbow = pts[fore];
    arm.shoulder = pts[upper];
    arm.collar = upper > 0 ? pts[0] : -1;
    return true;
}

bool ReadLeg(const Rest& r, int pelvis, int start, Leg& leg) {
    std::vector<int> chain = Chain(r, start, false);
    std::vector<int> pts = Points(r, chain, pelvis);
    int thigh = -1;
    int shin = -1;
    int foot = -1;
    for (int i = 0; i < static_cast<int>(pts.size()); ++i) {
        const std::string& w = r.N(pts[i]).word;
        if (foot < 0 && shin >= 0 && IsFoot(w)) {
            foot = i;
        } else if (shin < 0 && thigh >= 0 && IsShin(w)) {
            shin = i;
        } else if (thigh < 0 && IsThigh(w)) {
            thigh = i;
        }
    }
    if (thigh < 0 || shin < 0 || foot < 0) {
        if (pts.size() < 3) {
            return false;
        }
        thigh = 0;
        shin = 1;
        foot = 2;
    }
    leg.hip = pts[thigh];
    leg.knee = pts[shin];
    leg.ankle = pts[foot];
    // The toe base: the ankle's joint that leads forward, named or the only one.
    auto kids = r.JointKids(leg.ankle);
    for (int k : kids) {
        if (Has(r.N(k).word, "toe") || Has(r.N(k).word, "ball")) {
            leg.ball = k;
        }
    }
    if (leg.ball < 0 && kids.size() == 1 && !Has(r.N(kids[0]).word, "heel")) {
        leg.ball = kids[0];
    }
    if (leg.ball >= 0 && !r.Apart(leg.ball, leg.ankle)) {
        leg.ball = -1;
    }
    return true;
}

// Snaps a direction onto the file axis it is near, since floors lie along the file's axes.
Vector Snap(const Vector& v) {
    float c[3] = {v.x, v.y, v.z};
    int k = 0;
    for (int i = 1; i < 3; ++i) {
        if (std::fabs(c[i]) > std::fabs(c[k])) {
            k = i;
        }
    }
    if (std::fabs(c[k]) < 0.906f) { // within 25 degrees
        return v;
    }
    Vector out{0.0f, 0.0f, 0.0f};
    float s = c[k] > 0.0f ? 1.0f : -1.0f;
    (k == 0 ? out.x : k == 1 ? out.y : out.z) = s;
    return out;
}

std::string Number(double v) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 3);
    return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

} // namespace

bool BuildFigure(const std::vector<Joint>& joints, Figure& fig, std::string& reason) {
    using namespace body;
    if (joints.empty()) {
        reason = "no joints";
        return false;
    }
    Rest r(joints);
    if (!(r.Reach() > 0.0f) || !std::isfinite(r.Reach())) {
        reason = "not a human figure: every joint is in one place";
        return false;
    }
    // The pelvis: below the root through single joints to where the body branches.
    int pelvis = 0;
    while (r.JointKids(pelvis).size() == 1) {
        pelvis = r.JointKids(pelvis)[0];
    }
    auto pelvisKids = r.JointKids(pelvis);
    if (pelvisKids.size() < 2) {
        reason = "not a human figure: no joint where two legs and a spine meet";
        return false;
    }
    auto chestBelow = [&](int start) {
        int at = start;
        while (r.JointKids(at).size() == 1) {
            at = r.JointKids(at)[0];
        }
        return r.JointKids(at).size() >= 3 ? at : -1;
    };
    int spine = -1;
    std::size_t spineSize = 0;
    for (int k : pelvisKids) {
        std::size_t size = r.Subtree(k).size();
        if (chestBelow(k) >= 0 && size > spineSize) {
            spine = k;
            spineSize = size;
        }
    }
    if (spine < 0) {
        reason = "not a human figure: no chest where a head and two arms meet";
        return false;
    }
    int chest = chestBelow(spine);
    // The legs: the pelvis's two farthest-reaching other branches, or those of a joint that
    // splits in two below it.
    std::vector<int> legKids;
    int legRoot = pelvis;
    for (int k : pelvisKids) {
        if (k != spine) {
            legKids.push_back(k);
        }
    }
    if (legKids.size() == 1) {
        int at = legKids[0];
        while (r.JointKids(at).size() == 1) {
            at = r.JointKids(at)[0];
        }
        legRoot = at;
        legKids = r.JointKids(at);
    }
    auto reach = [&](int k) {
        float far = 0.0f;
        for (int j : r.Subtree(k)) {
            far = std::max(far, r.Dist(j, legRoot));
        }
        return far;
    };
    std::sort(legKids.begin(), legKids.end(), [&](int a, int b) { return reach(a) > reach(b); });
    if (legKids.size() < 2) {
        reason = "not a human figure: fewer than two legs";
        return false;
    }
    Leg legs[2];
    if (!ReadLeg(r, legRoot, legKids[0], legs[0]) || !ReadLeg(r, legRoot, legKids[1], legs[1])) {
        reason = "not a human figure: a leg without a knee and an ankle";
        return false;
    }

    // Head and neck.
    Vector upGuess = Normalized(Sub(r.P(chest), r.P(pelvis)));
    auto chestKids = r.JointKids(chest);
    int neckKid = -1;
    float neckScore = -1e30f;
    for (int k : chestKids) {
        bool named = false;
        Vector far{0.0f, 0.0f, 0.0f};
        for (int j : r.Subtree(k)) {
            named = named || Has(r.N(j).word, "head") || Has(r.N(j).word, "neck");
            Vector v = Sub(r.P(j), r.P(chest));
            if (Length(v) > Length(far)) {
                far = v;
            }
        }
        float score = (named ? 10.0f : 0.0f) + Dot(Normalized(far), upGuess);
        if (score > neckScore) {
            neckScore = score;
            neckKid = k;
        }
    }
    std::vector<int> neckChain = Chain(r, neckKid, false);
    int head = -1;
    for (int j : neckChain) {
        if (head < 0 && Has(r.N(j).word, "head")) {
            head = j;
        }
    }
    if (head < 0) {
        head = neckChain.back();
    }
    int neck = -1;
    for (int pass = 0; pass < 2 && neck < 0; ++pass) {
        for (int j : neckChain) {
            if (j == head) {
                break;
            }
            if (neck < 0 && r.Apart(j, chest) && r.Apart(j, head) &&
                (pass == 1 || Has(r.N(j).word, "neck"))) {
                neck = j;
            }
        }
    }
    if (!r.Apart(head, chest)) {
        reason = "not a human figure: the head is where the chest is";
        return false;
    }

    // Arms: the two other branches of the chest that reach farthest sideways.
    std::vector<std::pair<float, int>> armKids;
    for (int k : chestKids) {
        if (k == neckKid) {
            continue;
        }
        bool named = false;
        float side = 0.0f;
        for (int j : r.Subtree(k)) {
            named = named || IsArmish(r.N(j).word);
            side = std::max(side, Length(Across(Sub(r.P(j), r.P(chest)), upGuess)));
        }
        armKids.push_back({(named ? 1e30f : 0.0f) + side, k});
    }
    std::sort(armKids.begin(), armKids.end(), [](auto& a, auto& b) { return a.first > b.first; });
    if (armKids.size() < 2) {
        reason = "not a human figure: fewer than two arms";
        return false;
    }
    Arm arms[2];
    if (!ReadArm(r, armKids[0].second, arms[0]) || !ReadArm(r, armKids[1].second, arms[1])) {
        reason = "not a human figure: an arm without an elbow";
        return false;
    }

    // Up from the hips to the head; the legs must hang the other way.
    Vector upRaw = Normalized(Sub(r.P(head), r.P(pelvis)));
    for (const Leg& leg : legs) {
        Vector down = Normalized(Sub(r.P(leg.ankle), r.P(pelvis)));
        if (!(Dot(down, upRaw) < -0.5f)) {
            reason = "not a human figure: the legs do not hang below the hips";
            return false;
        }
    }

    // Left and right: by names, else by the feet pointing forward, else by the usual axes.
    auto sideByName = [&](const std::vector<int>& chain) {
        int s = 0;
        for (int j : chain) {
            s += r.N(j).side;
        }
        return s;
    };
    auto legChain = [&](const Leg& l) { return std::vector<int>{l.hip, l.knee, l.ankle}; };
    auto armChain = [&](const Arm& a) {
        return std::vector<int>{a.collar >= 0 ? a.collar : a.shoulder, a.shoulder, a.elbow,
                                a.wrist};
    };
    Vector forward{0.0f, 0.0f, 0.0f};
    float footLength = 0.0f;
    for (const Leg& l : legs) {
        int toe = l.ball;
        if (toe < 0) {
            for (int j : r.Subtree(l.ankle)) {
                if (toe < 0 || r.Dist(j, l.ankle) > r.Dist(toe, l.ankle)) {
                    toe = j;
                }
            }
        }
        Vector v = Sub(r.P(toe), r.P(l.ankle));
        forward = Add(forward, Across(v, upRaw));
        footLength += Length(v);
    }
    if (!(Length(forward) > 0.3f * footLength) || !(footLength > 0.0f)) {
        Vector z{0.0f, 0.0f, 1.0f};
        forward = Across(z, upRaw);
        if (Length(forward) < 0.5f) {
            forward = Across(Vector{0.0f, -1.0f, 0.0f}, upRaw);
        }
    }
    forward = Normalized(forward);
    Vector leftGuess = Cross(upRaw, forward);
    int legSides[2] = {sideByName(legChain(legs[0])), sideByName(legChain(legs[1]))};
    bool firstLegLeft = legSides[0] > 0 && legSides[1] < 0 ? true
                        : legSides[0] < 0 && legSides[1] > 0
                            ? false
                            : Dot(Sub(r.P(legs[0].hip), r.P(legs[1].hip)), leftGuess) > 0.0f;
    const Leg& leftLeg = firstLegLeft ? legs[0] : legs[1];
    const Leg& rightLeg = firstLegLeft ? legs[1] : legs[0];
    Vector left = Across(Sub(r.P(leftLeg.hip), r.P(rightLeg.hip)), upRaw);
    int armSides[2] = {sideByName(armChain(arms[0])), sideByName(armChain(arms[1]))};
    Vector shoulders = Sub(r.P(arms[0].shoulder), r.P(arms[1].shoulder));
    bool firstArmLeft = armSides[0] > 0 && armSides[1] < 0 ? true
                        : armSides[0] < 0 && armSides[1] > 0
                            ? false
                            : Dot(shoulders, Length(left) > r.Eps() ? left : leftGuess) > 0.0f;
    const Arm& leftArm = firstArmLeft ? arms[0] : arms[1];
    const Arm& rightArm = firstArmLeft ? arms[1] : arms[0];
    if (!(Length(left) > r.Eps())) {
        left = Across(Sub(r.P(leftArm.shoulder), r.P(rightArm.shoulder)), upRaw);
    }
    if (!(Length(left) > r.Eps())) {
        reason = "not a human figure: its left and right side are in one place";
        return false;
    }

    // Our axes: up snapped to a file axis when near one, left across it, facing left x up.
    Vector up = Snap(upRaw);
    left = Normalized(Snap(Normalized(Across(left, up))));
    left = Normalized(Across(left, up));
    Vector facing = Cross(left, up);
    fig.axes = Matrix(left, Scaled(facing, -1.0f), up);

    // The unit: the one that gives a human height, else an ordinary height.
    float top = -1e30f;
    float bottom = 1e30f;
    for (int j : r.Subtree(neckKid)) {
        top = std::max(top, Dot(r.P(j), up));
    }
    for (const Leg* l : {&leftLeg, &rightLeg}) {
        for (int j : r.Subtree(l->hip)) {
            bottom = std::min(bottom, Dot(r.P(j), up));
        }
    }
    float height = top - bottom;
    bool headTopInFile = top - Dot(r.P(head), up) > 0.04f * height;
    if (!headTopInFile) {
        height *= 1.08f;
    }
    if (!(height > 0.0f) || !std::isfinite(height)) {
        reason = "not a human figure: no height";
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
    for (const Unit& u : units) {
        float h = height * u.inches;
        if (h >= MinHeight && h <= MaxHeight &&
            (unit == nullptr || std::fabs(std::log(h / PlausibleHeight)) <
                                    std::fabs(std::log(height * unit->inches / PlausibleHeight)))) {
            unit = &u;
        }
    }
    if (unit != nullptr) {
        fig.scale = unit->inches;
        fig.unit = unit->name;
    } else {
        fig.scale = PlausibleHeight / height;
        fig.unit = "unknown: the figure is " + Number(height) + " units tall, shown " +
                   Number(PlausibleHeight) + " inches tall";
    }
    const float s = fig.scale;
    const float H = height * s;
    fig.height = H;

    // Rest positions in our axes and inches.
    std::vector<Vector> q(joints.size());
    for (std::size_t i = 0; i < joints.size(); ++i) {
        q[i] = Scaled(Apply(fig.axes, r.P(static_cast<int>(i))), s);
    }
    auto Q = [&](int j) { return q[j]; };

    std::array<Vector, NodeCount> restPoint{};
    for (auto& a : fig.anchor) {
        a = Anchor{};
    }
    for (auto& n : fig.source) {
        n.clear();
    }
    auto put = [&](int node, int joint) {
        fig.anchor[node] = Anchor{joint, Vector{0.0f, 0.0f, 0.0f}};
        fig.source[node] = r.NameOf(joint);
        restPoint[node] = Q(joint);
    };
    // A point of our own, rigidly attached to a joint.
    auto make = [&](int node, int joint, Vector point) {
        fig.anchor[node] = Anchor{joint, Sub(point, Q(joint))};
        fig.source[node].clear();
        restPoint[node] = point;
    };

    put(Hips, pelvis);
    put(Chest, chest);
    put(Head, head);
    // The waist: a spine joint about a third of the way up to the chest, else a point there.
    {
        int best = -1;
        float target = 4.0f / 13.0f;
        float span = Q(chest).z - Q(pelvis).z;
        for (int j = r.J(chest).parent; j >= 0 && j != pelvis; j = r.J(j).parent) {
            float f = span > 0.0f ? (Q(j).z - Q(pelvis).z) / span : 0.0f;
            if (r.Apart(j, pelvis) && r.Apart(j, chest) && f > 0.1f && f < 0.75f &&
                (best < 0 ||
                 std::fabs(f - target) < std::fabs((Q(best).z - Q(pelvis).z) / span - target))) {
                best = j;
            }
        }
        if (best >= 0) {
            put(Waist, best);
        } else {
            make(Waist, pelvis, math::Lerp(Q(pelvis), Q(chest), target));
        }
    }
    if (neck >= 0) {
        put(Neck, neck);
    } else {
        make(Neck, chest, math::Lerp(Q(chest), Q(head), 0.68f));
    }
    const Arm* armOf[2] = {&leftArm, &rightArm};
    const Leg* legOf[2] = {&leftLeg, &rightLeg};
    const Vector upOurs{0.0f, 0.0f, 1.0f};
    const Vector forwardOurs{0.0f, -1.0f, 0.0f};
    for (int k = 0; k < 2; ++k) {
        const Arm& a = *armOf[k];
        int c = k == 0 ? LeftCollar : RightCollar;
        put(c + 1, a.shoulder);
        put(c + 2, a.elbow);
        put(c + 3, a.wrist);
        if (a.collar >= 0) {
            put(c, a.collar);
        } else {
            Vector d = Sub(Q(a.shoulder), Q(chest));
            Vector rise = Scaled(upOurs, Dot(d, upOurs));
            make(c, chest, Add(Q(chest), Add(rise, Scaled(Sub(d, rise), 0.15f))));
        }
        const Leg& l = *legOf[k];
        int h = k == 0 ? LeftHip : RightHip;
        put(h, l.hip);
        put(h + 1, l.knee);
        put(h + 2, l.ankle);
    }

    // Sensors' twist joints. Single-bone segments follow the joint that turns their bone.
    for (int sensor = 0; sensor < SensorCount; ++sensor) {
        int n = NodeOfSensor[sensor];
        const Anchor& a = fig.anchor[n];
        fig.frameJoint[sensor] = a.joint;
    }
    auto advance = [&](int node, int towardJoint) {
        int sensor = SensorOfNode[node];
        const Anchor& a = fig.anchor[node];
        if (Length(a.local) == 0.0f) {
            fig.frameJoint[sensor] = r.Advance(a.joint, towardJoint);
        }
    };
    for (int node : {Waist, Neck, LeftCollar, LeftShoulder, LeftElbow, RightCollar, RightShoulder,
                     RightElbow, LeftHip, LeftKnee, RightHip, RightKnee}) {
        int child = node + 1;
        if (node == Waist) {
            child = Chest;
        } else if (node == Neck) {
            child = Head;
        }
        advance(node, fig.anchor[child].joint);
    }

    // Head top: the highest point above the head in the file, else a head length above it.
    {
        int topJoint = -1;
        for (int j : r.Subtree(head)) {
            if (j != head && (topJoint < 0 || Q(j).z > Q(topJoint).z)) {
                topJoint = j;
            }
        }
        bool real = topJoint >= 0 && Q(topJoint).z - Q(head).z > 0.04f * H;
        advance(Head, real ? topJoint : -1);
        int f = fig.frameJoint[SensorOfNode[Head]];
        if (real) {
            make(HeadTop, f, Q(topJoint));
            fig.source[HeadTop] = r.NameOf(topJoint);
        } else {
            make(HeadTop, f, Add(Q(head), Scaled(upOurs, 0.117f * H)));
        }
    }
    // Hands: the farthest point of the fingers, and the thumb's.
    for (int k = 0; k < 2; ++k) {
        const Arm& a = *armOf[k];
        int wristNode = k == 0 ? LeftWrist : RightWrist;
        std::vector<int> hand = r.Subtree(a.wrist);
        std::vector<char> thumb(joints.size(), 0);
        for (int j : hand) {
            if (Has(r.N(j).word, "thumb")) {
                for (int t : r.Subtree(j)) {
                    thumb[t] = 1;
                }
            }
        }
        int tip = -1;
        int thumbTip = -1;
        for (int j : hand) {
            if (j == a.wrist) {
                continue;
            }
            int& best = thumb[j] ? thumbTip : tip;
            if (best < 0 || r.Dist(j, a.wrist) > r.Dist(best, a.wrist)) {
                best = j;
            }
        }
        bool tipReal = tip >= 0 && r.Dist(tip, a.wrist) * s > 0.02f * H;
        if (thumbTip < 0 && tipReal) {
            // Without names: the farthest other end that is not on the way to the fingertip.
            for (int j : hand) {
                if (j != a.wrist && r.Kids(j).empty() && !r.Below(tip, j) && j != tip &&
                    r.Dist(j, a.wrist) > 0.3f * r.Dist(tip, a.wrist) &&
                    (thumbTip < 0 || r.Dist(j, a.wrist) > r.Dist(thumbTip, a.wrist))) {
                    thumbTip = j;
                }
            }
        }
        advance(wristNode, tipReal ? tip : -1);
        int f = fig.frameJoint[SensorOfNode[wristNode]];
        Vector wrist = Q(a.wrist);
        Vector along =
            tipReal ? Sub(Q(tip), wrist) : Scaled(Normalized(Sub(wrist, Q(a.elbow))), 0.1f * H);
        make(wristNode + 1, f, Add(wrist, along));
        if (tipReal) {
            fig.source[wristNode + 1] = r.NameOf(tip);
        }
        if (thumbTip >= 0) {
            make(wristNode + 2, f, Q(thumbTip));
            fig.source[wristNode + 2] = r.NameOf(thumbTip);
        } else {
            Vector ahead = Normalized(Across(forwardOurs, Normalized(along)));
            make(wristNode + 2, f,
                 Add(wrist, Add(Scaled(along, 0.43f), Scaled(ahead, 0.2f * Length(along)))));
        }
    }
    // Feet: the file's toe joints where it has them, else the foot measurements.
    {
        float footLen = 10.0f;
        float heelWidth = 2.5f;
        float ballWidth = 3.75f;
        float shorten = 1.0f;
        GyroGetBVHFoot(&footLen, &heelWidth, &ballWidth, &shorten);
        const auto& radius = DefaultContactRadii();
        for (int k = 0; k < 2; ++k) {
            const Leg& l = *legOf[k];
            int ankleNode = k == 0 ? LeftAnkle : RightAnkle;
            Vector ankle = Q(l.ankle);
            std::vector<int> foot = r.Subtree(l.ankle);
            int end = -1; // the farthest end of the foot, when it has no toe joint
            int toeEnd = -1;
            int heel = -1;
            for (int j : foot) {
                if (j == l.ankle) {
                    continue;
                }
                bool inToe = l.ball >= 0 && r.Below(j, l.ball);
                if (Has(r.N(j).word, "heel")) {
                    heel = j;
                } else if (inToe) {
                    if (toeEnd < 0 || r.Dist(j, l.ball) > r.Dist(toeEnd, l.ball)) {
                        toeEnd = j;
                    }
                } else if (end < 0 || r.Dist(j, l.ankle) > r.Dist(end, l.ankle)) {
                    end = j;
                }
            }
            Vector ahead = l.ball >= 0 ? Sub(Q(l.ball), ankle)
                           : end >= 0  ? Sub(Q(end), ankle)
                                       : forwardOurs;
            Vector flat{ahead.x, ahead.y, 0.0f};
            Vector ff = Length(flat) > 0.3f * Length(ahead) && Length(flat) > 0.0f
                            ? Normalized(flat)
                            : forwardOurs;
            // An end behind the ankle, when the toes are joints of their own, is the heel.
            if (heel < 0 && l.ball >= 0 && end >= 0 && Dot(Sub(Q(end), ankle), ff) < 0.0f) {
                heel = end;
            }
            Vector out = Cross(upOurs, ff);
            if (k == 1) {
                out = Scaled(out, -1.0f);
            }
            float sole = ankle.z - 0.043f * H;
            if (l.ball >= 0) {
                sole = Q(l.ball).z - radius[LeftBall];
                if (toeEnd >= 0) {
                    sole = std::min(sole, Q(toeEnd).z - radius[LeftToe]);
                }
            } else if (end >= 0 && ankle.z - Q(end).z > 0.01f * H) {
                sole = Q(end).z;
            }
            float back = 0.25f * footLen;
            Vector base{ankle.x, ankle.y, sole};
            auto at = [&](float ahead, float outward, float lift) {
                return Add(Add(base, Add(Scaled(ff, ahead), Scaled(out, outward))),
                           Vector{0.0f, 0.0f, lift});
            };
            Vector heelPoint = at(-back + 0.5f * heelWidth, 0.0f, radius[LeftHeel]);
            Vector ballPoint;
            Vector toePoint;
            if (l.ball >= 0) {
                ballPoint = Q(l.ball);
                toePoint = toeEnd >= 0 && r.Apart(toeEnd, l.ball)
                               ? Q(toeEnd)
                               : Add(Vector{ballPoint.x, ballPoint.y, sole + radius[LeftToe]},
                                     Scaled(ff, 0.27f * footLen));
            } else {
                // The outer border runs straight from heel to ball, so a ball wider than the
                // heel reaches inwards; the outside toes are shorter by 'shorten'.
                float ballAhead = 0.73f * footLen - 0.5f * shorten - back;
                ballPoint = at(ballAhead, 0.5f * (heelWidth - ballWidth), radius[LeftBall]);
                float heelAhead = -back + 0.5f * heelWidth;
                float tipAhead = footLen - back - radius[LeftToe];
                float t = ballAhead - heelAhead > 1e-3f
                              ? (tipAhead - heelAhead) / (ballAhead - heelAhead)
                              : 1.0f;
                Vector along = Sub(ballPoint, heelPoint);
                toePoint = Add(heelPoint, Scaled(along, t));
                toePoint.z = sole + radius[LeftToe];
            }
            advance(ankleNode, l.ball);
            int f = fig.frameJoint[SensorOfNode[ankleNode]];
            make(ankleNode + 1, f, heel >= 0 ? Q(heel) : heelPoint);
            make(ankleNode + 2, f, ballPoint);
            make(ankleNode + 3, f, toePoint);
            if (heel >= 0) {
                fig.source[ankleNode + 1] = r.NameOf(heel);
            }
            if (l.ball >= 0) {
                fig.source[ankleNode + 2] = r.NameOf(l.ball);
                if (toeEnd >= 0 && r.Apart(toeEnd, l.ball)) {
                    fig.source[ankleNode + 3] = r.NameOf(toeEnd);
                }
            }
        }
    }

    // Rest alignment of each segment, our bone vectors, and what each sensor aims at.
    Matrix identity[SensorCount];
    for (auto& m : identity) {
        m = math::Identity();
    }
    Pose defaults;
    Solve(DefaultOffsets(), identity, Vector{0.0f, 0.0f, 0.0f}, defaults);
    struct AimPlan {
        int node;
        std::array<int, 3> child;
        std::array<float, 3> weight;
    };
    static const AimPlan plans[] = {
        {Hips, {LeftHip, RightHip, Waist}, {1.0f, 1.0f, 0.01f}},
        {Waist, {Chest, -1, -1}, {1.0f, 0.0f, 0.0f}},
        {Chest, {Neck, LeftCollar, RightCollar}, {1.0f, 1.0f, 1.0f}},
        {Neck, {Head, -1, -1}, {1.0f, 0.0f, 0.0f}},
        {Head, {HeadTop, -1, -1}, {1.0f, 0.0f, 0.0f}},
        {LeftCollar, {LeftShoulder, -1, -1}, {1.0f, 0.0f, 0.0f}},
        {LeftShoulder, {LeftElbow, -1, -1}, {1.0f, 0.0f, 0.0f}},
        {LeftElbow, {LeftWrist, -1, -1}, {1.0f, 0.0f, 0.0f}},
        {LeftWrist, {LeftFingertip, LeftThumb, -1}, {1.0f, 1.0f, 0.0f}},
        {RightCollar, {RightShoulder, -1, -1}, {1.0f, 0.0f, 0.0f}},
        {RightShoulder, {RightElbow, -1, -1}, {1.0f, 0.0f, 0.0f}},
        {RightElbow, {RightWrist, -1, -1}, {1.0f, 0.0f, 0.0f}},
        {RightWrist, {RightFingertip, RightThumb, -1}, {1.0f, 1.0f, 0.0f}},
        {LeftHip, {LeftKnee, -1, -1}, {1.0f, 0.0f, 0.0f}},
        {LeftKnee, {LeftAnkle, -1, -1}, {1.0f, 0.0f, 0.0f}},
        {LeftAnkle, {LeftBall, LeftHeel, LeftToe}, {1.0f, 1.0f, 1.0f}},
        {RightHip, {RightKnee, -1, -1}, {1.0f, 0.0f, 0.0f}},
        {RightKnee, {RightAnkle, -1, -1}, {1.0f, 0.0f, 0.0f}},
        {RightAnkle, {RightBall, RightHeel, RightToe}, {1.0f, 1.0f, 1.0f}},
    };
    std::array<int, NodeCount> owner{};
    for (int n = 0; n < NodeCount; ++n) {
        owner[n] = SensorOfNode[n] >= 0 ? n : owner[Parent[n]];
    }
    for (const AimPlan& plan : plans) {
        int sensor = SensorOfNode[plan.node];
        Aim& aim = fig.aim[sensor];
        aim = Aim{};
        Vector from[3];
        Vector to[3];
        for (int i = 0; i < 3 && plan.child[i] >= 0; ++i) {
            int c = plan.child[i];
            aim.node[i] = c;
            aim.weight[i] = plan.weight[i];
            from[i] = Sub(defaults.position[c], defaults.position[plan.node]);
            to[i] = Sub(restPoint[c], restPoint[plan.node]);
            aim.count = i + 1;
        }
        // Our segment's axes against the file's at rest: one bone is met exactly, a segment
        // with several keeps our shape as near the file's as one rotation can.
        float even[3] = {1.0f, 1.0f, 1.0f};
        Matrix align = aim.count > 1 ? BestFit(from, to, even, aim.count)
                                     : Fit(from, to, aim.weight.data(), aim.count);
        fig.align[sensor] = align;
        Matrix back = Transposed(align);
        bool rigid = true;
        int f = fig.frameJoint[sensor];
        for (int i = 0; i < aim.count; ++i) {
            aim.rest[i] = Apply(back, to[i]);
            rigid = rigid && fig.anchor[aim.node[i]].joint == f;
        }
        fig.rigid[sensor] = rigid;
    }
    for (int n = 1; n < NodeCount; ++n) {
        int p = Parent[n];
        int sensor = SensorOfNode[owner[p]];
        fig.offsets[n] = Apply(Transposed(fig.align[sensor]), Sub(restPoint[n], restPoint[p]));
    }
    // The root's vector is where the hips stand in the null pose, feet on the floor.
    {
        fig.offsets[Hips] = Vector{0.0f, 0.0f, 0.0f};
        Pose pose;
        Solve(fig.offsets, identity, Vector{0.0f, 0.0f, 0.0f}, pose);
        fig.offsets[Hips] = Vector{0.0f, 0.0f, -LowestContact(pose, DefaultContactRadii())};
    }
    for (const auto& v : fig.offsets) {
        if (!math::Finite(v) || Length(v) > 120.0f) {
            reason = "not a human figure: a bone longer than 120 inches";
            return false;
        }
    }

    // Only the joints that carry a node or a twist need posing.
    fig.needed.assign(joints.size(), 0);
    auto need = [&](int j) {
        for (; j >= 0 && !fig.needed[j]; j = joints[j].parent) {
            fig.needed[j] = 1;
        }
    };
    for (const Anchor& a : fig.anchor) {
        need(a.joint);
    }
    for (int f : fig.frameJoint) {
        need(f);
    }
    return true;
}

Retargeter::Retargeter(const std::vector<Joint>& joints, const Figure& figure) : figure_(figure) {
    aimed_.push_back(body::Hips);
    for (int s = 0; s < body::SensorCount; ++s) {
        const Aim& aim = figure.aim[s];
        for (int i = 0; i < aim.count && !figure.rigid[s]; ++i) {
            aimed_.push_back(aim.node[i]);
        }
    }
    steps_.resize(joints.size());
    world_.resize(joints.size());
    position_.resize(joints.size());
    const Matrix& a = figure.axes;
    for (std::size_t i = 0; i < joints.size(); ++i) {
        const Joint& j = joints[i];
        Step& st = steps_[i];
        st.parent = figure.needed[i] ? j.parent : -2;
        st.firstChannel = j.firstChannel;
        st.channelCount = j.channelCount;
        st.offset = Scaled(Apply(a, j.offset), figure.scale);
        for (int c = 0; c < j.channelCount; ++c) {
            int kind = static_cast<int>(j.channels[c]);
            Vector e{kind % 3 == 0 ? 1.0f : 0.0f, kind % 3 == 1 ? 1.0f : 0.0f,
                     kind % 3 == 2 ? 1.0f : 0.0f};
            Vector d = Apply(a, e);
            std::size_t ci = c;
            if (kind < 3) {
                st.kind[ci] = 0;
                st.direction[ci] = Scaled(d, figure.scale);
                continue;
            }
            st.direction[ci] = d;
            st.kind[ci] = 2;
            float comps[3] = {d.x, d.y, d.z};
            for (int k = 0; k < 3; ++k) {
                if (std::fabs(std::fabs(comps[k]) - 1.0f) < 1e-6f) {
                    st.kind[ci] = 1;
                    st.axis[ci] = static_cast<uint8_t>(k);
                    st.sign[ci] = comps[k] > 0.0f ? DegreesToRadians : -DegreesToRadians;
                }
            }
        }
    }
}

void Retargeter::Pose(const float* values, Frame& frame, float* lowest) {
    using namespace body;
    // The file's forward kinematics, in our axes and inches.
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        const Step& st = steps_[i];
        if (st.parent == -2) {
            continue;
        }
        const bool root = st.parent < 0;
        Matrix w = root ? math::Identity() : world_[st.parent];
        Vector t = st.offset;
        for (int c = 0; c < st.channelCount; ++c) {
            std::size_t ci = c;
            float v = values[st.firstChannel + c];
            if (st.kind[ci] == 0) {
                t = Add(t, Scaled(st.direction[ci], v));
            } else if (st.kind[ci] == 1) {
                float sn = 0.0f;
                float cs = 1.0f;
                ::sincosf(v * st.sign[ci], &sn, &cs);
                TurnColumns(w, st.axis[ci], cs, sn);
            } else {
                w = Mul(w, math::AxisAngle(st.direction[ci], v * DegreesToRadians));
            }
        }
        position_[i] = root ? t : Add(position_[st.parent], Apply(world_[st.parent], t));
        world_[i] = w;
    }
    // Where the file puts the nodes our segments aim at.
    std::array<Vector, NodeCount> target;
    for (int n : aimed_) {
        const Anchor& a = figure_.anchor[n];
        std::size_t j = a.joint;
        target[n] = Add(position_[j], Apply(world_[j], a.local));
    }
    // Our body, root first: each segment turns with its file joint, then aims at the file's
    // points from where our own chain has put it, so small differences never add up.
    std::array<Vector, NodeCount> pos;
    std::array<Matrix, NodeCount> orient;
    pos[0] = target[Hips];
    for (int n = 0; n < NodeCount; ++n) {
        std::size_t un = n;
        int p = Parent[un];
        if (p >= 0) {
            pos[un] = Add(pos[p], Apply(orient[p], figure_.offsets[un]));
        }
        int sensor = SensorOfNode[un];
        if (sensor < 0) {
            orient[un] = orient[p];
            continue;
        }
        std::size_t us = sensor;
        Matrix r = Mul(world_[figure_.frameJoint[us]], figure_.align[us]);
        const Aim& aim = figure_.aim[us];
        if (!figure_.rigid[us]) {
            Vector from[3];
            Vector to[3];
            bool aimed = true;
            for (int i = 0; i < aim.count; ++i) {
                from[i] = Apply(r, aim.rest[i]);
                to[i] = Sub(target[aim.node[i]], pos[un]);
                Vector miss = Sub(from[i], to[i]);
                // Already on target to a hundred-thousandth of the bone: nothing to correct.
                aimed = aimed && Dot(miss, miss) <= 1e-10f * Dot(to[i], to[i]);
            }
            if (!aimed) {
                r = Mul(aim.count == 1 ? Turn(from[0], to[0])
                                       : Fit(from, to, aim.weight.data(), aim.count),
                        r);
            }
        }
        orient[un] = r;
        frame.RawMatrices[us] = r;
    }
    frame.RootPosition = pos[0];
    const auto& radius = DefaultContactRadii();
    for (int i = 0; i < ContactPointCount; ++i) {
        std::size_t n = ContactNodes[i];
        lowest[i] = pos[n].z - radius[n];
    }
}

} // namespace telvo::bvh
