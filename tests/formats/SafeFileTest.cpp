// Safe writes: the target is replaced whole or not at all.
#include "telvoria/formats/SafeFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

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
        ASSERT_TRUE(file.IsOpen()) << file.Error();
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
    {
        SafeFile abandoned(target);
        abandoned.Write(big);
    }
    EXPECT_EQ(Entries(dir.path()), 1u);

    // A full disk, as the file-size limit makes it.
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1 << 20;
    ::setrlimit(RLIMIT_FSIZE, &small);
    {
        SafeFile full(target);
        full.Write(big);
        EXPECT_FALSE(full.Commit());
        EXPECT_NE(full.Error().find("cannot write"), std::string::npos) << full.Error();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(Entries(dir.path()), 1u);

    pid_t child = ::fork();
    if (child == 0) {
        SafeFile killed(target);
        killed.Write(big);
        ::_exit(0); // dies mid-write: no commit, no clean-up
    }
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(ReadAll(target), "previous");
}

TEST(SafeFile, RefusesWhatItMayNotOrCannotReplace) {
    TempDir dir;
    const fs::path readOnly = dir.path() / "locked.ac";
    WriteAll(readOnly, "keep");
    ::chmod(readOnly.c_str(), 0444); // refused even to root
    fs::create_directory(dir.path() / "folder");
    const struct {
        fs::path target;
        const char* error;
    } cases[] = {
        {readOnly, "read-only"},
        {dir.path() / "missing" / "take.tl", "No such file"},
        {dir.path() / "folder", "not a regular file"},
        {"", "no file name"},
    };
    for (const auto& c : cases) {
        SafeFile file(c.target);
        EXPECT_FALSE(file.IsOpen()) << c.target;
        EXPECT_FALSE(file.Write("x") || file.Commit()) << c.target;
        EXPECT_NE(file.Error().find(c.error), std::string::npos) << file.Error();
    }
    EXPECT_EQ(ReadAll(readOnly), "keep");
    EXPECT_EQ(Entries(dir.path()), 2u);
}

} // namespace
} // namespace telvo
