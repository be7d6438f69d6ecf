// BVH files: any tool's figure read onto the 30-node body, and our own motion written out.
#include "base/SafeFile.h"
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/formats/BvhFigure.h"
#include "telvoria/formats/BvhParse.h"
#include "telvoria/formats/TextFile.h"
#include "telvoria/sim/FrameBytes.h"
#include "telvoria/skeleton/Actor.h"
#include "telvoria/skeleton/Body.h"
#include "telvoria/skeleton/Math.h"
#include "telvoria/skeleton/Recording.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace telvo;

constexpr off_t MaxFileSize = off_t{1} << 30;
// The library's floor rules: touching within a quarter inch, shadows within a foot.
constexpr float ContactTolerance = 0.25f;
constexpr float ShadowHeight = 12.0f;
// Both feet this far above the floor: the performer is in the air.
constexpr float JumpHeight = 1.0f;

// The whole file in memory (not zeroed first: every byte is read into).
bool ReadWhole(const char* path, std::unique_ptr<char[]>& text, std::size_t& size,
               std::string& why) {
    int fd = telvo::files::OpenToRead(path);
    if (fd < 0) {
        why = std::string("cannot open the file: ") + std::strerror(errno);
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (!ok || !S_ISREG(st.st_mode)) {
        why = "not a regular file";
    } else if (st.st_size > MaxFileSize) {
        why = "the file is larger than 1 GiB";
        ok = false;
    } else {
        size = static_cast<std::size_t>(st.st_size);
        text.reset(new char[size + 1]);
        std::size_t done = 0;
        while (done < size) {
            ssize_t n = ::read(fd, text.get() + done, size - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                why = n < 0 ? std::string("cannot read the file: ") + std::strerror(errno)
                            : "the file shrank while it was read";
                ok = false;
                break;
            }
            done += n;
        }
    }
    ::close(fd);
    return ok && S_ISREG(st.st_mode);
}

int Fail(int line, std::string reason) {
    files::SetProblem(line, std::move(reason));
    return 0;
}

// Lifts the motion so that the feet's lowest contact sphere touches the floor (a kneeling
// knee or a hand on the floor may then reach a little below it), and marks contacts, shadows
// and flight from the posed feet.
void PutOnFloor(Frame* frames, uint32_t count, const std::vector<float>& lowest, double period) {
    constexpr int C = body::ContactPointCount;
    float floor = 0.0f;
    bool any = false;
    for (std::size_t i = 0; i < lowest.size(); ++i) {
        float v = lowest[i];
        bool foot = (body::FootContactBits & (1u << (i % C))) != 0;
        if (foot && std::isfinite(v) && (!any || v < floor)) {
            floor = v;
            any = true;
        }
    }
    for (uint32_t f = 0; f < count; ++f) {
        Frame& frame = frames[f];
        const float* low = lowest.data() + f * C;
        frame.RootPosition.z -= floor;
        uint32_t contact = 0;
        uint32_t shadow = body::FootContactBits;
        float feet = 1e30f;
        for (int i = 0; i < C; ++i) {
            float h = low[i] - floor;
            if (h <= ContactTolerance) {
                contact |= 1u << i;
            }
            if (h < ShadowHeight) {
                shadow |= 1u << i;
            }
            if ((body::FootContactBits & (1u << i)) != 0) {
                feet = std::min(feet, h);
            }
        }
        frame.Flags = feet > JumpHeight ? FrameJumping : 0u;
        frame.ContactMask = contact;
        frame.ShadowMask = shadow;
        frame.ShadowMaskValid = 1;
        auto stamp = static_cast<int64_t>(std::llround(static_cast<double>(f) * period * 1e9));
        sim::bytes::Stamp(frame, f, stamp, f, 0, 0);
    }
}

} // namespace

namespace telvo::bvh {

int ReadText(std::string_view text, Skeleton* skeleton) {
    if (skeleton == nullptr) {
        return Fail(0, "no skeleton");
    }
    bvh::Reader reader(text);
    if (!reader.ReadHeader()) {
        return Fail(reader.ErrorLine(), reader.Error());
    }
    bvh::Figure figure;
    std::string reason;
    if (!bvh::BuildFigure(reader.Joints(), figure, reason)) {
        return Fail(0, reason);
    }
    // Everything goes into a skeleton of its own first: a failure leaves the caller's as it was.
    Skeleton fresh;
    std::memset(static_cast<void*>(&fresh), 0, sizeof fresh);
    uint32_t count = reader.FrameCount();
    if (count > 0 && !recording::Resize(fresh, count)) {
        return Fail(0, "not enough memory for " + std::to_string(count) + " frames");
    }
#ifdef MADV_POPULATE_WRITE
    // Every frame is written next: one call maps them all rather than a fault per page.
    if (count > 0) {
        auto at = reinterpret_cast<std::uintptr_t>(fresh.Frames);
        std::uintptr_t page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        std::uintptr_t first = at / page * page;
        std::uintptr_t end = at + std::size_t{count} * sizeof(Frame);
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
    }
#endif
    std::vector<float> values((reader.ChannelCount()));
    std::vector<float> lowest(static_cast<std::size_t>(count) * body::ContactPointCount);
    bvh::Retargeter retarget(reader.Joints(), figure);
    for (uint32_t f = 0; f < count; ++f) {
        if (!reader.NextFrame(values.data())) {
            recording::Release(fresh);
            return Fail(reader.ErrorLine(), reader.Error());
        }
        float* low = lowest.data() + f * body::ContactPointCount;
        retarget.Pose(values.data(), fresh.Frames[f], low);
        if (!math::Finite(fresh.Frames[f].RootPosition) || !std::isfinite(low[0])) {
            recording::Release(fresh);
            return Fail(reader.FrameLine(), "values too large to pose the figure");
        }
    }
    PutOnFloor(fresh.Frames, count, lowest, reader.FrameTime());

    if (recording::Owned(*skeleton)) {
        recording::Release(*skeleton);
    }
    skeleton->Frames = fresh.Frames;
    skeleton->FrameCount = count;
    skeleton->FramePeriod = static_cast<float>(reader.FrameTime());
    for (int i = 0; i < body::NodeCount; ++i) {
        skeleton->Nodes[i].Offset = figure.offsets[i];
    }
    Frame still;
    if (count > 0) {
        still = skeleton->Frames[0];
    } else {
        std::memset(static_cast<void*>(&still), 0, sizeof still);
        for (auto& m : still.RawMatrices) {
            m = math::Identity();
        }
        still.RootPosition = figure.offsets[body::Hips];
    }
    GyroApplyFrame(skeleton, &still);

    files::BvhSource source;
    source.unit = figure.unit;
    source.inchesPerUnit = figure.scale;
    for (int i = 0; i < body::NodeCount; ++i) {
        source.joint[i] = figure.source[i];
    }
    files::SetBvhSource(std::move(source));
    files::ClearProblem();
    return 1;
}

} // namespace telvo::bvh

int GyroReadBVH(const char* path, Skeleton* skeleton) {
    if (path == nullptr || skeleton == nullptr) {
        return Fail(0, "no file name or no skeleton");
    }
    std::unique_ptr<char[]> text;
    std::size_t size = 0;
    std::string why;
    if (!ReadWhole(path, text, size, why)) {
        return Fail(0, why);
    }
    return bvh::ReadText(std::string_view(text.get(), size), skeleton);
}

namespace {

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
        return Fail(0, "no file name or no skeleton");
    }
    SafeFile out(path);
    if (!out.IsOpen()) {
        return Fail(0, out.Error());
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
        return Fail(0, out.Error().empty() ? "cannot write the file" : out.Error());
    }
    files::ClearProblem();
    return 1;
}
