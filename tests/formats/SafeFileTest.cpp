// Safe writes: the target is replaced whole or not at all.
#include "telvoria/formats/SafeFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

namespace telvo {
namespace {

namespace fs = std::filesystem;
using files::SafeFile;

std::size_t Entries(const fs::path& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
}

TEST(SafeFile, CommitReplacesTheTargetKeepingItsModeAndLinks) {
    TempDir dir;
    const fs::path target = dir.path() / "take.tl";
    WriteAll(target, "old");
    ::chmod(target.c_str(), 0640);
    fs::create_symlink(target, dir.path() / "link.tl");
    for (const fs::path& name : {dir.path() / "link.tl", dir.path() / std::string(255, 'n')}) {
        SafeFile file(name);
        EXPECT_TRUE(file.Write("new") && file.Commit()) << file.Error();
    }
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.tl"));
    EXPECT_EQ(ReadAll(target), "new");
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
    EXPECT_EQ(Entries(dir.path()), 3u) << "no temporary file stays behind";
}

TEST(SafeFile, AbandonedFailedOrKilledWritesLeaveThePreviousFileWhole) {
    TempDir dir;
    const fs::path target = dir.path() / "take.tl";
    WriteAll(target, "previous");
    const std::string big(3 << 20, 'x');
    SafeFile(target).Write(big);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit full = {1 << 20, old.rlim_max}; // a full disk, as the file-size limit makes it
    auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &full);
    {
        SafeFile file(target);
        EXPECT_FALSE(file.Write(big) && file.Commit());
        EXPECT_NE(file.Error().find("cannot write"), std::string::npos) << file.Error();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(Entries(dir.path()), 1u) << "no temporary file stays behind";
    if (::fork() == 0) {
        SafeFile(target).Write(big);
        ::_exit(0); // dies mid-write: no commit, no clean-up
    }
    ::wait(nullptr);
    EXPECT_EQ(ReadAll(target), "previous");
}

TEST(SafeFile, RefusesWhatItMayNotOrCannotReplace) {
    TempDir dir;
    const fs::path locked = dir.path() / "locked.ac";
    WriteAll(locked, "keep");
    ::chmod(locked.c_str(), 0444); // refused even to root
    const std::pair<fs::path, const char*> cases[] = {
        {locked, "read-only"},
        {dir.path() / "missing" / "take.tl", "No such file"},
        {dir.path(), "not a regular file"},
        {"", "no file name"},
    };
    for (const auto& [target, error] : cases) {
        SafeFile file(target);
        EXPECT_FALSE(file.IsOpen() || file.Write("x") || file.Commit()) << target;
        EXPECT_NE(file.Error().find(error), std::string::npos) << file.Error();
    }
    EXPECT_EQ(ReadAll(locked), "keep");
    EXPECT_EQ(Entries(dir.path()), 1u);
}

} // namespace
} // namespace telvo
