// Our own motion written as BVH: our hierarchy, Y up and facing +Z as most tools expect.
#include "base/SafeFile.h"
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/skeleton/Actor.h"
#include "telvoria/skeleton/Body.h"
#include "telvoria/skeleton/Math.h"
#include "telvoria/skeleton/Recording.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace telvo;

int Fail(std::string reason) {
    files::SetProblem(0, std::move(reason));
    return 0;
}

// Our axes (Z up, facing -Y) to the file's (Y up, facing +Z).
Vector ToFile(const Vector& v) {
    return {v.x, v.z, -v.y};
}

// Z, X, Y angles in degrees of a rotation given in our axes, for "Zrotation Xrotation
// Yrotation" in the file's axes.
std::array<double, 3> AnglesZXY(const Matrix& ours) {
    // The same rotation in file axes: rows and columns permuted as ToFile permutes vectors.
    double m[3][3] = {{ours.m00, ours.m02, -ours.m01},
                      {ours.m20, ours.m22, -ours.m21},
                      {-ours.m10, -ours.m12, ours.m11}};
    constexpr double Degrees = 180.0 / 3.14159265358979323846;
    double sx = std::clamp(m[2][1], -1.0, 1.0);
    double x = std::asin(sx);
    double z = 0.0;
    double y = 0.0;
    if (std::fabs(sx) < 0.9999999) {
        z = std::atan2(-m[0][1], m[1][1]);
        y = std::atan2(-m[2][0], m[2][2]);
    } else {
        z = std::atan2(m[1][0], m[0][0]);
    }
    return {z * Degrees, x * Degrees, y * Degrees};
}

class Text {
public:
    void Add(std::string_view s) { buffer_.append(s); }
    void Add(float v) {
        if (v == 0.0f) {
            v = 0.0f; // no "-0"
        }
        char b[32];
        auto [end, ec] = std::to_chars(b, b + sizeof b, v);
        buffer_.append(b, ec == std::errc() ? end : b);
    }
    void Indent(int depth) { buffer_.append(depth, '\t'); }
    std::string& Str() { return buffer_; }

private:
    std::string buffer_;
};

// The frame time with at least 8 significant digits: a whole frame rate (as float rounding
// leaves it) as that rate exactly, any other period as the decimal it was read from.
std::string FrameTimeText(float period) {
    char b[48];
    double rate = 1.0 / static_cast<double>(period);
    if (std::fabs(rate - std::round(rate)) < 2e-7 * rate) {
        auto r =
            std::to_chars(b, b + sizeof b, 1.0 / std::round(rate), std::chars_format::general, 10);
        return std::string(b, r.ptr);
    }
    auto r = std::to_chars(b, b + sizeof b, period, std::chars_format::fixed);
    std::string text(b, r.ptr);
    if (text.find('.') == std::string::npos) {
        text += '.';
    }
    auto first = text.find_first_not_of("0.");
    int digits = 0;
    for (std::size_t i = first; i < text.size(); ++i) {
        digits += text[i] != '.';
    }
    text.append((std::max(0, 8 - digits)), '0');
    return text;
}

bool HasKids(int node) {
    for (int i = 1; i < body::NodeCount; ++i) {
        if (body::Parent[i] == node) {
            return true;
        }
    }
    return false;
}

// Nodes with children become joints (in the order their rotations follow in each frame);
// the others end their chains as End Sites.
void WriteNode(Text& t, int node, int depth, const std::array<Vector, body::NodeCount>& offsets,
               std::vector<int>& order) {
    bool joint = HasKids(node);
    t.Indent(depth);
    if (node == body::Hips) {
        t.Add("ROOT Hips\n");
    } else if (joint) {
        t.Add("JOINT ");
        t.Add(body::NodeNames[node]);
        t.Add("\n");
    } else {
        t.Add("End Site\n");
    }
    t.Indent(depth);
    t.Add("{\n");
    t.Indent(depth + 1);
    t.Add("OFFSET ");
    Vector o = node == body::Hips ? Vector{0.0f, 0.0f, 0.0f} : ToFile(offsets[node]);
    t.Add(o.x);
    t.Add(" ");
    t.Add(o.y);
    t.Add(" ");
    t.Add(o.z);
    t.Add("\n");
    if (joint) {
        order.push_back(node);
        t.Indent(depth + 1);
        t.Add(node == body::Hips ? "CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation "
                                   "Yrotation\n"
                                 : "CHANNELS 3 Zrotation Xrotation Yrotation\n");
        for (int c = 1; c < body::NodeCount; ++c) {
            if (body::Parent[c] == node) {
                WriteNode(t, c, depth + 1, offsets, order);
            }
        }
    }
    t.Indent(depth);
    t.Add("}\n");
}

} // namespace

int GyroWriteBVH(const char* path, Skeleton* skeleton) {
    if (path == nullptr || skeleton == nullptr) {
        return Fail("no file name or no skeleton");
    }
    SafeFile out(path);
    if (!out.IsOpen()) {
        return Fail(out.Error());
    }
    const auto offsets = body::SkeletonOffsets(*skeleton);
    const uint32_t count = skeleton->Frames != nullptr ? skeleton->FrameCount : 0;
    float period = skeleton->FramePeriod;
    if (!(period > 0.0f) || !std::isfinite(period)) {
        period = 1.0f / 120.0f;
    }
    Text t;
    std::vector<int> order;
    t.Add("HIERARCHY\n");
    WriteNode(t, body::Hips, 0, offsets, order);
    t.Add("MOTION\nFrames: ");
    t.Add(std::to_string(count));
    t.Add("\nFrame Time: ");
    t.Add(FrameTimeText(period));
    t.Add("\n");
    bool ok = out.Write(t.Str());
    for (uint32_t f = 0; f < count && ok; ++f) {
        const Frame& frame = skeleton->Frames[f];
        std::array<Matrix, body::NodeCount> world;
        for (int n = 0; n < body::NodeCount; ++n) {
            int s = body::SensorOfNode[n];
            world[n] = s >= 0 ? math::Orthonormal(frame.RawMatrices[s]) : world[body::Parent[n]];
        }
        t.Str().clear();
        Vector root = math::Finite(frame.RootPosition) ? ToFile(frame.RootPosition)
                                                       : Vector{0.0f, 0.0f, 0.0f};
        t.Add(root.x);
        t.Add(" ");
        t.Add(root.y);
        t.Add(" ");
        t.Add(root.z);
        for (int n : order) {
            int p = body::Parent[n];
            Matrix local = p < 0 ? world[0] : math::Mul(math::Transposed(world[p]), world[n]);
            for (double a : AnglesZXY(local)) {
                t.Add(" ");
                t.Add(static_cast<float>(a));
            }
        }
        t.Add("\n");
        ok = out.Write(t.Str());
    }
    if (!ok || !out.Commit()) {
        return Fail(out.Error().empty() ? "cannot write the file" : out.Error());
    }
    files::ClearProblem();
    return 1;
}
