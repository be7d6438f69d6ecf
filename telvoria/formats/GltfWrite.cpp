// GyroWriteGLB: the glTF document, then the animation solved a block of frames at a time and
// written straight into the safe write, so that an hour of motion never lies in memory twice.
#include "base/SafeFile.h"
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/formats/Gltf.h"
#include "telvoria/formats/GltfPose.h"
#include "telvoria/skeleton/Body.h"
#include "telvoria/skeleton/Solver.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace telvo::gltf {

namespace {

static_assert(std::endian::native == std::endian::little, "glTF's numbers are little-endian");

// Frames solved at a time. The animation lies track after track in the file, so each block's
// slice of every track goes to its own place.
constexpr uint32_t BlockFrames = 4096;
// Frames a thread solves at a go; a block of no more is solved by one thread.
constexpr uint32_t Piece = 256;

// Where each track starts in the binary chunk, as the document placed them.
struct Tracks {
    uint64_t times = 0;
    uint64_t translation = 0;
    std::array<uint64_t, body::NodeCount> rotation{};
};

Tracks TracksOf(const tinygltf::Model& m) {
    const tinygltf::Animation& a = m.animations.at(0);
    auto at = [&m](int accessor) {
        return static_cast<uint64_t>(
            m.bufferViews.at(m.accessors.at(accessor).bufferView).byteOffset);
    };
    Tracks tracks;
    tracks.times = at(a.samplers.at(0).input);
    for (const tinygltf::AnimationChannel& c : a.channels) {
        const uint64_t place = at(a.samplers.at(c.sampler).output);
        if (c.target_path == "translation") {
            tracks.translation = place;
        } else {
            tracks.rotation.at(c.target_node) = place;
        }
    }
    return tracks;
}

using Turn = std::array<float, 4>;

// A block of frames posed as the library poses them, as slices of the tracks.
class Block {
public:
    Block() : floats_(BlockFrames * Stride) {}

    void Start(uint32_t first, uint32_t count) {
        first_ = first;
        count_ = count;
    }
    uint32_t Count() const { return count_; }

    // Frames `from` to `to` of the block; threads may solve parts of it side by side.
    void Solve(const Skeleton& skeleton, uint32_t from, uint32_t to) {
        const double period = skeleton.FramePeriod;
        for (uint32_t k = from; k < to; ++k) {
            const uint32_t f = first_ + k;
            Track(0)[k] = static_cast<float>(f * period);
            const Point root = ToGltf(body::PlacedRoot(skeleton.Frames[f].RootPosition));
            std::memcpy(Track(1) + 3 * k, &root, sizeof root);
        }
        for (uint32_t k = from; k < to; k += Lanes) {
            std::array<float*, body::NodeCount> rotation;
            for (int node = 0; node < body::NodeCount; ++node) {
                rotation[node] = Track(2 + node) + 4 * k;
            }
            PoseLanes(skeleton.Frames + first_ + k, std::min(Lanes, to - k), rotation);
        }
    }

    // `last` carries each track's frame before from block to block.
    void KeepNear(std::array<Turn, body::NodeCount>& last) {
        for (int node = 0; node < body::NodeCount; ++node) {
            gltf::KeepNear(Track(2 + node), count_, last[node]);
        }
    }

    // Hands each slice to its place in its track.
    bool Write(const Tracks& tracks, const Sink& write) const {
        const uint64_t f = first_;
        if (!write(tracks.times + 4 * f, Track(0), 4 * count_) ||
            !write(tracks.translation + 12 * f, Track(1), 12 * count_)) {
            return false;
        }
        for (int node = 0; node < body::NodeCount; ++node) {
            if (!write(tracks.rotation[node] + 16 * f, Track(2 + node), 16 * count_)) {
                return false;
            }
        }
        return true;
    }

private:
    // Every track gets room for four floats a frame.
    static constexpr std::size_t Stride = 4 * (2 + body::NodeCount);
    float* Track(int i) { return floats_.data() + BlockFrames * 4 * i; }
    const float* Track(int i) const { return floats_.data() + BlockFrames * 4 * i; }

    std::vector<float> floats_;
    uint32_t first_ = 0;
    uint32_t count_ = 0;
};

// Solves the block in pieces that a second thread and this one take in turn, the second from
// the start and this one once `work` is done; work's result. Without a second thread to be
// had this one solves it all.
template <typename Work> bool Alongside(const Skeleton& skeleton, Block& block, Work work) {
    std::atomic<uint32_t> taken{0};
    auto solve = [&] {
        for (uint32_t from; (from = taken.fetch_add(Piece)) < block.Count();) {
            block.Solve(skeleton, from, std::min(from + Piece, block.Count()));
        }
    };
    std::jthread helper;
    if (block.Count() > Piece) {
        try {
            helper = std::jthread(solve);
        } catch (const std::system_error&) {
        }
    }
    const bool done = work();
    solve();
    return done;
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
    if (!write(0, document.fixedBytes.data(), document.fixedBytes.size())) {
        return false;
    }
    const uint32_t frames = skeleton.Frames != nullptr ? skeleton.FrameCount : 0;
    if (frames == 0) {
        return true;
    }
    const Tracks tracks = TracksOf(document.model);
    std::array<Turn, body::NodeCount> last{};
    // While one block is being written, the next is being solved: the disk and the two
    // processors each have their work at once.
    auto current = std::make_unique<Block>();
    auto next = std::make_unique<Block>();
    current->Start(0, std::min(BlockFrames, frames));
    Alongside(skeleton, *current, [] { return true; });
    current->KeepNear(last);
    for (uint32_t first = 0; first < frames; first += BlockFrames) {
        const uint32_t after = first + BlockFrames;
        if (after >= frames) {
            return current->Write(tracks, write);
        }
        next->Start(after, std::min(BlockFrames, frames - after));
        if (!Alongside(skeleton, *next, [&] { return current->Write(tracks, write); })) {
            return false;
        }
        next->KeepNear(last);
        std::swap(current, next);
    }
    return true;
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
    const uint64_t binary = 12 + 8 + json.size() + 8;
    const uint64_t length = binary + document->binaryLength;
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
    const bool streamed = gltf::StreamBinary(
        *document, *skeleton, [&file, binary](uint64_t offset, const void* data, std::size_t size) {
            return file.WriteAt(binary + offset, data, size);
        });
    if (!streamed || !file.Commit()) {
        return gltf::Failed(file.Error());
    }
    files::ClearProblem();
    return 1;
}
