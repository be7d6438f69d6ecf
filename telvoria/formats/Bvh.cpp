// Reading BVH files from any tool onto the 30-node body.
#include "base/SafeFile.h"
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/formats/BvhFigure.h"
#include "telvoria/formats/BvhParse.h"
#include "telvoria/formats/BvhRead.h"
#include "telvoria/formats/BvhRetarget.h"
#include "telvoria/formats/TextFile.h"
#include "telvoria/sim/FrameBytes.h"
#include "telvoria/skeleton/Actor.h"
#include "telvoria/skeleton/Body.h"
#include "telvoria/skeleton/Math.h"
#include "telvoria/skeleton/Recording.h"
#include "telvoria/skeleton/Solver.h"

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
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using namespace telvo;

constexpr off_t MaxFileSize = off_t{1} << 30;
// The library's floor rules: touching within a quarter inch, shadows within a foot.
// Both feet this far above the floor: the performer is in the air.
constexpr float JumpHeight = 1.0f;

// The whole file in memory (not zeroed first: every byte is read into).
bool ReadWholeFile(const char* path, std::unique_ptr<char[]>& text, std::size_t& size,
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
            if (h <= body::ContactTolerance) {
                contact |= 1u << i;
            }
            if (h < body::ShadowHeight) {
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

bool ReadWhole(const char* path, std::unique_ptr<char[]>& text, std::size_t& size,
               std::string& why) {
    return ReadWholeFile(path, text, size, why);
}

bool ReadMotion(Reader& reader, std::unique_ptr<float[]>& values, std::vector<int>* lines) {
    if (!reader.ReadHeader()) {
        files::SetProblem(reader.ErrorLine(), reader.Error());
        return false;
    }
    const std::size_t channels = static_cast<std::size_t>(reader.ChannelCount());
    const std::size_t count = std::size_t{reader.FrameCount()} * channels;
    values.reset(new (std::nothrow) float[std::max<std::size_t>(count, 1)]);
    if (values == nullptr) {
        files::SetProblem(0, "not enough memory for " + std::to_string(reader.FrameCount()) +
                                 " frames");
        return false;
    }
    const uint32_t frames = reader.FrameCount();
    if (lines != nullptr) {
        lines->assign(frames, 0);
    }
    auto read = [&](Reader& r, uint32_t from, uint32_t to) {
        for (uint32_t f = from; f < to; ++f) {
            if (!r.NextFrame(values.get() + f * channels)) {
                return false;
            }
            if (lines != nullptr) {
                (*lines)[f] = r.FrameLine();
            }
        }
        return true;
    };
    // A long take is read in two halves side by side; the first half's error comes first.
    Reader rest{std::string_view()};
    uint32_t before = frames;
    bool restRead = true;
    bool firstRead = true;
    {
        std::jthread later;
        if (reader.SplitFrames(rest, before)) {
            try {
                later = std::jthread([&] { restRead = read(rest, before, frames); });
            } catch (const std::system_error&) {
                before = frames;
            }
        }
        firstRead = read(reader, 0, before);
    }
    const Reader& failed = !firstRead ? reader : rest;
    if (!firstRead || !restRead) {
        files::SetProblem(failed.ErrorLine(), failed.Error());
        return false;
    }
    return true;
}

files::BvhSource SourceOf(const Figure& figure) {
    files::BvhSource source;
    source.unit = figure.unit;
    source.inchesPerUnit = figure.scale;
    for (std::size_t i = 0; i < source.joint.size(); ++i) {
        source.joint[i] = figure.source[i];
        source.carrier[i] = figure.carrier[i];
    }
    return source;
}

namespace {

// Takes long enough to pose that a second thread pays for itself.
constexpr uint32_t ParallelFrames = 64;

// Poses frames `from` to `to`; the first that cannot be posed, or `to`.
uint32_t PoseFrames(const std::vector<Joint>& joints, const Figure& figure, const float* values,
                    std::size_t channels, Frame* frames, float* lowest, uint32_t from,
                    uint32_t to) {
    bvh::Retargeter retarget(joints, figure);
    for (uint32_t f = from; f < to; ++f) {
        float* low = lowest + std::size_t{f} * body::ContactPointCount;
        retarget.Pose(values + f * channels, frames[f], low);
        if (!math::Finite(frames[f].RootPosition) || !std::isfinite(low[0])) {
            return f;
        }
    }
    return to;
}

} // namespace

int ReadText(std::string_view text, Skeleton* skeleton) {
    if (skeleton == nullptr) {
        return Fail(0, "no skeleton");
    }
    bvh::Reader reader(text);
    std::unique_ptr<float[]> values;
    std::vector<int> lines;
    if (!ReadMotion(reader, values, &lines)) {
        return 0;
    }
    const uint32_t count = reader.FrameCount();
    const std::size_t channels = static_cast<std::size_t>(reader.ChannelCount());
    bvh::Figure figure;
    std::string reason;
    if (!bvh::BuildFigure(reader.Joints(), values.get(), count, reader.ChannelCount(), figure,
                          reason)) {
        return Fail(0, reason);
    }
    // Everything goes into a skeleton of its own first: a failure leaves the caller's as it was.
    Skeleton fresh;
    std::memset(static_cast<void*>(&fresh), 0, sizeof fresh);
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
    std::vector<float> lowest(static_cast<std::size_t>(count) * body::ContactPointCount);
    auto pose = [&](uint32_t from, uint32_t to) {
        return PoseFrames(reader.Joints(), figure, values.get(), channels, fresh.Frames,
                          lowest.data(), from, to);
    };
    // Frames pose independently of each other: a second thread takes the later half of a
    // long take.
    uint32_t half = count >= ParallelFrames ? count / 2 : count;
    uint32_t laterBad = count;
    uint32_t bad = count;
    {
        std::jthread later;
        if (half < count) {
            try {
                later = std::jthread([&] { laterBad = pose(half, count); });
            } catch (const std::system_error&) {
                half = count;
            }
        }
        bad = pose(0, half);
    }
    bad = bad < half ? bad : laterBad;
    if (bad < count) {
        recording::Release(fresh);
        return Fail(lines[bad], "values too large to pose the figure");
    }
    PutOnFloor(fresh.Frames, count, lowest, reader.FrameTime());

    if (recording::Owned(*skeleton)) {
        recording::Release(*skeleton);
    }
    skeleton->Frames = fresh.Frames;
    skeleton->FrameCount = count;
    skeleton->FramePeriod = static_cast<float>(reader.FrameTime());
    for (int i = 0; i < body::NodeCount; ++i) {
        skeleton->Nodes[i].Offset = figure.offsets[static_cast<std::size_t>(i)];
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
    files::SetBvhSource(SourceOf(figure));
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
    if (!bvh::ReadWhole(path, text, size, why)) {
        return Fail(0, why);
    }
    return bvh::ReadText(std::string_view(text.get(), size), skeleton);
}
