#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>

namespace telvo {

// A fresh folder for one test, removed with everything in it at the end.
class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "telvo-XXXXXX").string();
        if (char* made = ::mkdtemp(tmpl.data())) {
            path_ = made;
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Whole files, byte for byte.
inline std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteAll(const std::filesystem::path& file, std::string_view text) {
    std::ofstream(file, std::ios::binary) << text;
}

// A file of the source tree.
inline std::filesystem::path SourcePath(const std::string& relative) {
    return std::filesystem::path(TELVO_SOURCE) / relative;
}

// A shell command run in the folder: its exit status (-1 when it did not exit), and what it
// wrote on standard output and standard error.
struct Ran {
    int status;
    std::string out, err;
};
inline Ran RunIn(const std::filesystem::path& folder, const std::string& command) {
    const int status = std::system(
        ("cd '" + folder.string() + "' && " + command + " >out.log 2>err.log </dev/null").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(folder / "out.log"),
            ReadAll(folder / "err.log")};
}

} // namespace telvo
