// GyroWriteGLB: the glTF document, then the animation streamed frame by frame from the
// recording into a safe write, so that an hour of motion never lies in memory a second time.
#include "base/SafeFile.h"
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/formats/Gltf.h"
#include "telvoria/skeleton/Body.h"
#include "telvoria/skeleton/Math.h"
#include "telvoria/skeleton/Solver.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace telvo::gltf {

namespace {

static_assert(std::endian::native == std::endian::little, "glTF's numbers are little-endian");

// Floats gathered into pieces of 256 KiB for the sink.
class Pieces {
public:
    explicit Pieces(const Sink& write) : write_(write) { floats_.reserve(Capacity); }
    bool Add(std::initializer_list<float> values) {
        if (floats_.size() + values.size() > Capacity && !Flush()) {
            return false;
        }
        floats_.insert(floats_.end(), values);
        return true;
    }
    bool Flush() {
        bool ok = floats_.empty() || write_(floats_.data(), floats_.size() * sizeof(float));
        floats_.clear();
        return ok;
    }

private:
    static constexpr std::size_t Capacity = std::size_t{1} << 16;
    const Sink& write_;
    std::vector<float> floats_;
};

// The sensor whose segment carries each node: its own, or the nearest one above it.
std::array<int, body::NodeCount> SegmentSensors() {
    std::array<int, body::NodeCount> sensor{};
    for (int i = 0; i < body::NodeCount; ++i) {
        sensor[i] = body::SensorOfNode[i] >= 0 ? body::SensorOfNode[i] : sensor[body::Parent[i]];
    }
    return sensor;
}

// The unit quaternion (x, y, z, w) of a rotation, in glTF's axes: the axis turns like a point.
std::array<double, 4> Quaternion(const Matrix& m) {
    double x = 0;
    double y = 0;
    double z = 0;
    double w = 0;
    const double trace = double{m.m00} + m.m11 + m.m22;
    if (trace > 0) {
        const double s = 2 * std::sqrt(trace + 1);
        w = s / 4;
        x = (double{m.m21} - m.m12) / s;
        y = (double{m.m02} - m.m20) / s;
        z = (double{m.m10} - m.m01) / s;
    } else if (m.m00 > m.m11 && m.m00 > m.m22) {
        const double s = 2 * std::sqrt(1.0 + m.m00 - m.m11 - m.m22);
        w = (double{m.m21} - m.m12) / s;
        x = s / 4;
        y = (double{m.m01} + m.m10) / s;
        z = (double{m.m02} + m.m20) / s;
    } else if (m.m11 > m.m22) {
        const double s = 2 * std::sqrt(1.0 + m.m11 - m.m00 - m.m22);
        w = (double{m.m02} - m.m20) / s;
        x = (double{m.m01} + m.m10) / s;
        y = s / 4;
        z = (double{m.m12} + m.m21) / s;
    } else {
        const double s = 2 * std::sqrt(1.0 + m.m22 - m.m00 - m.m11);
        w = (double{m.m10} - m.m01) / s;
        x = (double{m.m02} + m.m20) / s;
        y = (double{m.m12} + m.m21) / s;
        z = s / 4;
    }
    const double length = std::sqrt(x * x + y * y + z * z + w * w);
    return {x / length, z / length, -y / length, w / length};
}

// One joint's rotation relative to its parent, every frame. q and -q are the same turn; the
// one nearer the last is taken, so that interpolating between frames never goes the long way.
bool StreamRotations(int node, const Skeleton& skeleton, uint32_t frames, Pieces& out) {
    static const std::array<int, body::NodeCount> segment = SegmentSensors();
    const int own = segment[node];
    const int above = node == body::Hips ? -1 : segment[body::Parent[node]];
    if (own == above) {
        for (uint32_t f = 0; f < frames; ++f) {
            if (!out.Add({0.0f, 0.0f, 0.0f, 1.0f})) {
                return false;
            }
        }
        return true;
    }
    std::array<double, 4> last{0, 0, 0, 1};
    for (uint32_t f = 0; f < frames; ++f) {
        const Matrix* sensors = skeleton.Frames[f].RawMatrices;
        Matrix turn = math::Orthonormal(sensors[own]);
        if (above >= 0) {
            turn = math::Mul(math::Transposed(math::Orthonormal(sensors[above])), turn);
        }
        std::array<double, 4> q = Quaternion(turn);
        if (q[0] * last[0] + q[1] * last[1] + q[2] * last[2] + q[3] * last[3] < 0) {
            q = {-q[0], -q[1], -q[2], -q[3]};
        }
        last = q;
        if (!out.Add({static_cast<float>(q[0]), static_cast<float>(q[1]), static_cast<float>(q[2]),
                      static_cast<float>(q[3])})) {
            return false;
        }
    }
    return true;
}

int Failed(const std::string& reason) {
    files::SetProblem(0, reason);
    return 0;
}

void Put32(unsigned char* at, uint32_t v) {
    std::memcpy(at, &v, 4);
}

} // namespace

bool StreamBinary(const Document& document, const Skeleton& skeleton, const Sink& write) {
    if (!write(document.fixedBytes.data(), document.fixedBytes.size())) {
        return false;
    }
    const uint32_t frames = skeleton.Frames != nullptr ? skeleton.FrameCount : 0;
    if (frames == 0) {
        return true;
    }
    const double period = skeleton.FramePeriod;
    Pieces out(write);
    for (uint32_t f = 0; f < frames; ++f) {
        if (!out.Add({static_cast<float>(f * period)})) {
            return false;
        }
    }
    for (uint32_t f = 0; f < frames; ++f) {
        const Point p = ToGltf(body::PlacedRoot(skeleton.Frames[f].RootPosition));
        if (!out.Add({p.x, p.y, p.z})) {
            return false;
        }
    }
    for (int node = 0; node < body::NodeCount; ++node) {
        if (!StreamRotations(node, skeleton, frames, out)) {
            return false;
        }
    }
    return out.Flush();
}

} // namespace telvo::gltf

int GyroWriteGLB(const char* path, Skeleton* skeleton, const ActorData* actor) {
    using namespace telvo;
    if (path == nullptr || skeleton == nullptr || actor == nullptr) {
        return gltf::Failed("no file, recording or actor data given");
    }
    std::string why;
    const std::optional<gltf::Document> document = gltf::Describe(*skeleton, *actor, why);
    if (!document) {
        return gltf::Failed(why);
    }
    const std::string json = gltf::JsonChunk(*document);
    const uint64_t length = 12 + 8 + json.size() + 8 + document->binaryLength;
    if (json.empty() || length > std::numeric_limits<uint32_t>::max()) {
        return gltf::Failed("too long for a glTF file");
    }
    SafeFile file(path);
    if (!file.IsOpen()) {
        return gltf::Failed(file.Error());
    }
    unsigned char header[20];
    std::memcpy(header, "glTF", 4);
    gltf::Put32(header + 4, 2);
    gltf::Put32(header + 8, static_cast<uint32_t>(length));
    gltf::Put32(header + 12, static_cast<uint32_t>(json.size()));
    std::memcpy(header + 16, "JSON", 4);
    file.Write(header, sizeof header);
    file.Write(json);
    gltf::Put32(header, static_cast<uint32_t>(document->binaryLength));
    std::memcpy(header + 4, "BIN\0", 4);
    file.Write(header, 8);
    const bool streamed =
        gltf::StreamBinary(*document, *skeleton, [&file](const void* data, std::size_t size) {
            return file.Write(data, size);
        });
    if (!streamed || !file.Commit()) {
        return gltf::Failed(file.Error());
    }
    files::ClearProblem();
    return 1;
}
