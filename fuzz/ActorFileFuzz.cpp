// Any bytes as an actor file: the read fails cleanly, or what it gives writes and reads back
// to the same 1952 bytes.
#include "suitlib/SuitLib.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile input;
    ActorData actor;
    std::memset(static_cast<void*>(&actor), 0x5a, sizeof actor);
    const ActorData untouched = actor;
    if (GyroReadActorData(input.Hold(data, size).c_str(), &actor) == 0) {
        if (std::memcmp(&actor, &untouched, sizeof actor) != 0) {
            std::abort(); // a failed read changed something
        }
        return 0;
    }
    ActorData again{};
    const Scratch copy("copy.ac");
    if (GyroWriteActorData(copy.path().c_str(), &actor, -1) == 0 ||
        GyroReadActorData(copy.path().c_str(), &again) == 0 ||
        std::memcmp(&again, &actor, sizeof actor) != 0) {
        std::abort();
    }
    return 0;
}
