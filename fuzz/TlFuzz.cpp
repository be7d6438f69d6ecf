// Any bytes as a recording file: the read fails cleanly or gives a recording that writes and
// reads back byte for byte. Each input is also tried with a correct checksum, so the fuzzer
// reaches past it.
#include "suitlib/SuitLib.h"

#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// The input reaches the library by name through a memory file: no disk is touched.
class MemoryFile {
public:
    MemoryFile() : fd_(::memfd_create("fuzz-input", MFD_CLOEXEC)) {
        if (fd_ < 0) {
            std::abort();
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    const std::string& Hold(const uint8_t* data, size_t size) {
        if (::ftruncate(fd_, 0) != 0 ||
            (size > 0 && ::pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size))) {
            std::abort();
        }
        return path_;
    }

private:
    int fd_;
    std::string path_;
};

// A folder for what the writers make, in memory where there is a memory file system (they
// sync), made and removed around each use so that no run leaves one behind.
class Scratch {
public:
    explicit Scratch(const char* name) {
        namespace fs = std::filesystem;
        fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        folder_ = (base / "telvo-fuzz-XXXXXX").string();
        if (::mkdtemp(folder_.data()) == nullptr) {
            std::abort();
        }
        path_ = folder_ + "/" + name;
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string folder_;
    std::string path_;
};

void Try(const std::string& path) {
    Skeleton skeleton{};
    ActorData actor{};
    const ActorData untouched = actor;
    if (GyroReadTL(path.c_str(), &skeleton, &actor) == 0) {
        if (skeleton.Frames != nullptr || std::memcmp(&actor, &untouched, sizeof actor) != 0) {
            std::abort(); // a failed read changed something
        }
        return;
    }
    Skeleton again{};
    ActorData againActor{};
    const Scratch copy("copy.tl");
    if (GyroWriteTL(copy.path().c_str(), &skeleton, &actor) == 0 ||
        GyroReadTL(copy.path().c_str(), &again, &againActor) == 0 ||
        again.FrameCount != skeleton.FrameCount || again.FramePeriod != skeleton.FramePeriod ||
        std::memcmp(&againActor, &actor, sizeof actor) != 0 ||
        (skeleton.FrameCount > 0 &&
         std::memcmp(again.Frames, skeleton.Frames, skeleton.FrameCount * sizeof(Frame)) != 0)) {
        std::abort();
    }
    GyroFreeSkeletonFrames(&again);
    GyroFreeSkeletonFrames(&skeleton);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile input;
    Try(input.Hold(data, size));
    if (size >= 4) {
        std::vector<uint8_t> summed(data, data + size);
        uint32_t crc = static_cast<uint32_t>(crc32(0, summed.data(), static_cast<uInt>(size - 4)));
        std::memcpy(summed.data() + size - 4, &crc, 4);
        Try(input.Hold(summed.data(), size));
    }
    return 0;
}
