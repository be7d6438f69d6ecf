// Recording files (.tl): a fixed little-endian header, the actor record, the frames byte for
// byte and a CRC-32 of everything before it. docs/formats.md gives the layout.
#include "base/SafeFile.h"
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/formats/TextFile.h"
#include "telvoria/skeleton/Recording.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

namespace {

using namespace telvo;

static_assert(std::endian::native == std::endian::little,
              "frames are stored as they lie in memory");

constexpr unsigned char Magic[8] = {0x89, 'T', 'V', 'L', '\r', '\n', 0x1a, '\n'};
constexpr uint16_t FormatVersion = 1;
// The oldest reader that understands what this version writes: later versions that only add
// header fields keep it, so older readers skip those fields.
constexpr uint16_t ReadableFrom = 1;
constexpr uint32_t HeaderSize = 32;
constexpr std::size_t ChunkSize = std::size_t{1} << 20;

void Put16(unsigned char* at, uint16_t v) {
    at[0] = static_cast<unsigned char>(v);
    at[1] = static_cast<unsigned char>(v >> 8);
}
void Put32(unsigned char* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}
uint16_t Get16(const unsigned char* at) {
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}
uint32_t Get32(const unsigned char* at) {
    return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

uLong Crc(uLong crc, const void* data, std::size_t size) {
    const Bytef* bytes = static_cast<const Bytef*>(data);
    while (size > 0) {
        uInt n = static_cast<uInt>(std::min(size, ChunkSize));
        crc = crc32(crc, bytes, n);
        bytes += n;
        size -= n;
    }
    return crc;
}

int Failed(const std::string& reason) {
    files::SetProblem(0, reason);
    return 0;
}

// The checksum of the frames, summed on a thread of its own while the frames are copied to or
// from the file, so a long recording costs little more than the copy. Short ones are summed
// in place.
class FrameSum {
public:
    FrameSum(const void* frames, std::size_t size)
        : base_(static_cast<const Bytef*>(frames)), size_(size) {
        if (size_ >= OwnThreadFrom) {
            thread_ = std::thread([this] { Run(); });
        }
    }
    ~FrameSum() {
        if (thread_.joinable()) {
            ready_.store(Abandoned, std::memory_order_release);
            ready_.notify_one();
            thread_.join();
        }
    }
    FrameSum(const FrameSum&) = delete;
    FrameSum& operator=(const FrameSum&) = delete;

    // The first bytes of the frames hold what they will hold.
    void Ready(std::size_t bytes) {
        if (thread_.joinable()) {
            ready_.store(bytes, std::memory_order_release);
            ready_.notify_one();
        } else {
            crc_ = Crc(crc_, base_ + done_, bytes - done_);
            done_ = bytes;
        }
    }
    // Once all bytes are ready: the checksum of what comes before them, continued over them.
    uLong Total(uLong before) {
        if (thread_.joinable()) {
            thread_.join();
        }
        return crc32_combine(before, crc_, static_cast<z_off_t>(size_));
    }

private:
    static constexpr std::size_t OwnThreadFrom = std::size_t{8} << 20;
    static constexpr std::size_t Abandoned = SIZE_MAX;

    void Run() {
        while (done_ < size_) {
            ready_.wait(done_, std::memory_order_acquire);
            std::size_t ready = ready_.load(std::memory_order_acquire);
            if (ready == Abandoned) {
                return;
            }
            crc_ = Crc(crc_, base_ + done_, ready - done_);
            done_ = ready;
        }
    }

    const Bytef* base_;
    std::size_t size_;
    std::size_t done_ = 0;
    uLong crc_ = crc32(0, nullptr, 0);
    std::atomic<std::size_t> ready_{0};
    std::thread thread_;
};

class Input {
public:
    explicit Input(const char* path) : fd_(telvo::files::OpenToRead(path)) {}
    ~Input() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    int fd() const { return fd_; }
    // Exactly size bytes, or false (the file ended or could not be read).
    bool Read(void* data, std::size_t size) {
        char* at = static_cast<char*>(data);
        while (size > 0) {
            ssize_t n = ::read(fd_, at, size);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            at += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    // Reads and checksums size bytes in chunks, so each chunk is summed while in the cache.
    bool ReadSummed(void* data, std::size_t size, uLong& crc) {
        char* at = static_cast<char*>(data);
        while (size > 0) {
            std::size_t n = std::min(size, ChunkSize);
            if (!Read(at, n)) {
                return false;
            }
            crc = Crc(crc, at, n);
            at += n;
            size -= n;
        }
        return true;
    }

private:
    int fd_;
};

} // namespace

int GyroWriteTL(const char* path, Skeleton* skeleton, const ActorData* actor) {
    if (path == nullptr || skeleton == nullptr || actor == nullptr) {
        return Failed("no file, recording or actor data given");
    }
    uint32_t count = skeleton->Frames != nullptr ? skeleton->FrameCount : 0;
    float period = skeleton->FramePeriod;
    if (!std::isfinite(period) || period <= 0.0f) {
        return Failed("the frame period is not a positive number");
    }
    SafeFile file(path);
    if (!file.IsOpen()) {
        return Failed(file.Error());
    }
    unsigned char header[HeaderSize] = {};
    std::memcpy(header, Magic, sizeof Magic);
    Put16(header + 8, FormatVersion);
    Put16(header + 10, ReadableFrom);
    Put32(header + 12, HeaderSize);
    Put32(header + 16, sizeof(ActorData));
    Put32(header + 20, sizeof(Frame));
    Put32(header + 24, count);
    Put32(header + 28, std::bit_cast<uint32_t>(period));

    uLong crc = crc32(0, nullptr, 0);
    crc = Crc(crc, header, sizeof header);
    crc = Crc(crc, actor, sizeof(ActorData));
    file.Write(header, sizeof header);
    file.Write(actor, sizeof(ActorData));
    const char* frames = reinterpret_cast<const char*>(skeleton->Frames);
    const std::size_t bytes = std::size_t{count} * sizeof(Frame);
    FrameSum sum(frames, bytes);
    sum.Ready(bytes);
    for (std::size_t done = 0; done < bytes;) {
        std::size_t n = std::min(bytes - done, ChunkSize);
        file.Write(frames + done, n);
        done += n;
    }
    crc = sum.Total(crc);
    unsigned char trailer[4];
    Put32(trailer, static_cast<uint32_t>(crc));
    file.Write(trailer, sizeof trailer);
    if (!file.Commit()) {
        return Failed(file.Error());
    }
    files::ClearProblem();
    return 1;
}

namespace {

struct Header {
    uint16_t version;
    uint16_t readableFrom;
    uint32_t headerSize;
    uint32_t actorSize;
    uint32_t frameSize;
    uint32_t count;
    float period;
};

Header ParseHeader(const unsigned char* header) {
    return {Get16(header + 8),
            Get16(header + 10),
            Get32(header + 12),
            Get32(header + 16),
            Get32(header + 20),
            Get32(header + 24),
            std::bit_cast<float>(Get32(header + 28))};
}

// Why a file of this length with this header cannot be read; empty when it can. Every size is
// checked against the length before anything is allocated.
std::string HeaderProblem(const Header& h, uint64_t length) {
    if (h.readableFrom > FormatVersion) {
        return "made by a later version (format " + std::to_string(h.version) +
               ") that this one cannot read";
    }
    if (h.headerSize < HeaderSize || h.actorSize != sizeof(ActorData) ||
        h.frameSize != sizeof(Frame)) {
        return "damaged header: impossible record sizes";
    }
    if (!std::isfinite(h.period) || h.period <= 0.0f) {
        return "damaged header: the frame period is not a positive number";
    }
    const uint64_t fixed = uint64_t{h.headerSize} + h.actorSize + 4;
    const uint64_t wanted = fixed + uint64_t{h.count} * h.frameSize;
    if (length < wanted) {
        const uint64_t room = length < fixed ? 0 : (length - fixed) / h.frameSize;
        return "truncated: the header announces " + std::to_string(h.count) +
               " frames, the file holds " + std::to_string(room);
    }
    if (length > wanted) {
        return "unexpected bytes after the checksum";
    }
    return {};
}

} // namespace

int GyroReadTL(const char* path, Skeleton* skeleton, ActorData* actor) {
    if (path == nullptr || skeleton == nullptr || actor == nullptr) {
        return Failed("no file, skeleton or actor data given");
    }
    Input in(path);
    struct stat info {};
    if (in.fd() < 0 || ::fstat(in.fd(), &info) != 0) {
        return Failed(std::string("cannot open the file: ") + std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        return Failed("not a regular file");
    }
    const uint64_t length = static_cast<uint64_t>(info.st_size);
    unsigned char header[HeaderSize];
    if (length < HeaderSize || !in.Read(header, HeaderSize) ||
        std::memcmp(header, Magic, sizeof Magic) != 0) {
        return Failed("not a recording file");
    }
    const Header h = ParseHeader(header);
    if (std::string why = HeaderProblem(h, length); !why.empty()) {
        return Failed(why);
    }
    const uint32_t headerSize = h.headerSize;
    const uint32_t count = h.count;
    const float period = h.period;

    uLong crc = crc32(0, nullptr, 0);
    crc = Crc(crc, header, HeaderSize);
    // Header fields of later versions: summed, not understood.
    for (uint32_t left = headerSize - HeaderSize; left > 0;) {
        unsigned char skip[4096];
        uint32_t n = std::min<uint32_t>(left, sizeof skip);
        if (!in.ReadSummed(skip, n, crc)) {
            return Failed("the file ended early");
        }
        left -= n;
    }
    ActorData stored;
    if (!in.ReadSummed(&stored, sizeof stored, crc)) {
        return Failed("the file ended early");
    }
    Skeleton fresh{};
    if (count > 0 && !recording::Resize(fresh, count)) {
        return Failed("not enough memory for " + std::to_string(count) + " frames");
    }
#ifdef MADV_POPULATE_WRITE
    // One call maps every page, where the copy would stop at each page on its first touch.
    if (count > 0) {
        std::size_t bytes = std::size_t{count} * sizeof(Frame);
        std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        ::madvise(fresh.Frames, (bytes + page - 1) / page * page, MADV_POPULATE_WRITE);
    }
#endif
    char* frames = reinterpret_cast<char*>(fresh.Frames);
    const std::size_t bytes = std::size_t{count} * sizeof(Frame);
    unsigned char trailer[4];
    bool whole = true;
    uLong total = 0;
    {
        FrameSum sum(frames, bytes);
        for (std::size_t done = 0; whole && done < bytes;) {
            std::size_t n = std::min(bytes - done, ChunkSize);
            whole = in.Read(frames + done, n);
            done += n;
            if (whole) {
                sum.Ready(done);
            }
        }
        whole = whole && in.Read(trailer, sizeof trailer);
        if (whole) {
            total = sum.Total(crc);
        }
    } // the summing is over: the frames may go
    if (!whole || Get32(trailer) != static_cast<uint32_t>(total)) {
        recording::Release(fresh);
        return Failed(whole ? "checksum mismatch: the file is damaged" : "the file ended early");
    }

    recording::Release(*skeleton);
    skeleton->Frames = fresh.Frames;
    skeleton->FrameCount = count;
    skeleton->FramePeriod = period;
    *actor = stored;
    // Playback poses with the recorded performer's bones.
    GyroCopyActorToSkeleton(skeleton, actor);
    files::ClearProblem();
    return 1;
}
