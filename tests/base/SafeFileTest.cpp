// The one safe write under every file the program, the suit library and the tools write.
#include "base/SafeFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <iterator>

namespace telvo {
namespace {

// Safe writes: the target is replaced whole or not at all.
namespace fs = std::filesystem;

TEST(SafeFile, ReplacesTheTargetWholeKeepingItsModeAndLinksOrNotAtAll) {
    TempDir dir;
    const fs::path target = dir.path() / "take.tl";
    WriteAll(target, "old");
    ::chmod(target.c_str(), 0640);
    fs::create_symlink(target, dir.path() / "link.tl");
    for (const fs::path& name : {dir.path() / "link.tl", dir.path() / std::string(255, 'n')}) {
        SafeFile file(name);
        EXPECT_TRUE(file.Write("previous") && file.Commit()) << file.Error();
    }
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.tl"));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));

    const std::string big(3 << 20, 'x');
    SafeFile(target).Write(big); // abandoned before its commit
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit full = {1 << 20, old.rlim_max}; // a full disk, as the file-size limit makes it
    auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &full);
    {
        SafeFile failing(target);
        EXPECT_FALSE(failing.Write(big) && failing.Commit());
        EXPECT_NE(failing.Error().find("cannot write"), std::string::npos) << failing.Error();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, handler);
    const std::pair<fs::path, const char*> refused[] = {
        {dir.path(), "not a regular file"},
        {"", "no file name"},
    };
    for (const auto& [name, error] : refused) {
        SafeFile file(name);
        EXPECT_FALSE(file.IsOpen() || file.Write("x") || file.Commit()) << name;
        EXPECT_NE(file.Error().find(error), std::string::npos) << file.Error();
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 3)
        << "no temporary file stays behind";
    if (::fork() == 0) {
        SafeFile(target).Write(big);
        ::_exit(0); // dies mid-write: no commit, no clean-up
    }
    ::wait(nullptr);
    EXPECT_EQ(ReadAll(target), "previous");
    const mode_t mask = ::umask(027); // a new file gets the usual mode under the umask
    EXPECT_TRUE(SafeFile(dir.path() / "new.tl").Commit());
    ::umask(mask);
    EXPECT_EQ(fs::status(dir.path() / "new.tl").permissions(), fs::perms(0640));
}

// Parts written at their own places land there, past what Write buffered, which goes on after
// its own bytes; a place the file system cannot hold fails the file.
TEST(SafeFile, WriteAtPutsPartsInPlaceAndWriteGoesOnWhereItWas) {
    TempDir dir;
    const fs::path target = dir.path() / "take.glb";
    SafeFile parts(target);
    EXPECT_TRUE(parts.Write("head") && parts.WriteAt(10, "tail", 4) && parts.WriteAt(6, "mid", 3) &&
                parts.Write("er") && parts.Commit())
        << parts.Error();
    EXPECT_EQ(ReadAll(target), std::string("header") + "mid" + '\0' + "tail");
    SafeFile file(target);
    EXPECT_FALSE(file.WriteAt(uint64_t{1} << 62, "x", 1));
    EXPECT_FALSE(file.Write("x") || file.Commit());
    EXPECT_NE(file.Error().find("cannot write"), std::string::npos) << file.Error();
}

} // namespace
} // namespace telvo
