#pragma once

// What the BVH tests share: the other tools' files beside the project, scratch files, and
// numbers in messages in the C format.

#include <gtest/gtest.h>

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace testfiles {

// The shared file's path, or "" when the folder is not there.
inline std::string Shared(const std::string& name) {
    const char* root = std::getenv("TELVO_SOURCE_DIR");
    std::string path = std::string(root != nullptr ? root : ".") + "/../shared/data/bvh/" + name;
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? path : std::string();
}

// A file in a fresh folder of this test process.
inline std::string Scratch(const std::string& name) {
    static const std::string dir = [] {
        std::string d = ::testing::TempDir() + "bvh-" + std::to_string(::getpid());
        ::mkdir(d.c_str(), 0755);
        return d;
    }();
    return dir + "/" + name;
}

inline std::string Write(const std::string& name, const std::string& text) {
    std::string path = Scratch(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

inline std::string Fixed(double v) {
    char b[32];
    auto r = std::to_chars(b, b + sizeof b, v, std::chars_format::fixed, 3);
    return std::string(b, r.ptr);
}

} // namespace testfiles
