#pragma once

// What the targets share: a property that fails stops the run as a crash; file inputs reach the
// library by name through a memory file, so no disk is touched, and what the writers make goes
// to a scratch folder.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace telvo::fuzz {

inline void Require(bool holds) {
    if (!holds) {
        std::abort();
    }
}

// The input under a name the library can open.
inline std::string HoldInput(const uint8_t* data, size_t size) {
    static const int fd = ::memfd_create("fuzz-input", MFD_CLOEXEC);
    Require(fd >= 0 && ::ftruncate(fd, 0) == 0 &&
            (size == 0 || ::pwrite(fd, data, size, 0) == static_cast<ssize_t>(size)));
    return "/proc/self/fd/" + std::to_string(fd);
}

// In memory where there is a memory file system (the writers sync), made and removed around
// each use so that no run leaves one behind.
struct Scratch {
    explicit Scratch(const char* name) {
        namespace fs = std::filesystem;
        fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        folder = (base / "telvo-fuzz-XXXXXX").string();
        Require(::mkdtemp(folder.data()) != nullptr);
        path = folder + "/" + name;
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    std::string folder, path;
};

} // namespace telvo::fuzz
