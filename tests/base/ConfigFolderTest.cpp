// Where the program and the suit library look for their INI files.
#include "base/ConfigFolder.h"
#include "tests/support/Environment.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace telvo {
namespace {

namespace fs = std::filesystem;

TEST(ConfigFolder, AnAbsoluteXdgConfigHomeElseHomesConfigMadeWhenMissing) {
    TempDir dir;
    const std::string xdg = (dir.path() / "xdg").string();
    const std::string home = (dir.path() / "home").string();
    const struct {
        const char* xdg;
        const char* home;
        fs::path folder;
    } cases[] = {
        {xdg.c_str(), home.c_str(), dir.path() / "xdg" / "TelvoView"},
        {"relative", home.c_str(), dir.path() / "home" / ".config" / "TelvoView"},
        {"", home.c_str(), dir.path() / "home" / ".config" / "TelvoView"},
        {nullptr, home.c_str(), dir.path() / "home" / ".config" / "TelvoView"},
    };
    for (const auto& c : cases) {
        ScopedEnvironment x("XDG_CONFIG_HOME", c.xdg);
        ScopedEnvironment h("HOME", c.home);
        std::string error;
        EXPECT_EQ(ConfigFolder(&error), c.folder) << (c.xdg ? c.xdg : "(unset)") << error;
        EXPECT_TRUE(fs::is_directory(c.folder));
        fs::remove_all(c.folder);
    }
}

TEST(ConfigFolder, NoneWithTheReasonWhenUnknownOrCannotBeMade) {
    TempDir dir;
    const fs::path xdg = dir.path() / "xdg";
    fs::create_directory(xdg);
    WriteAll(xdg / "TelvoView", "not a folder");
    const struct {
        std::optional<std::string> xdg;
        std::optional<std::string> home;
        std::string error;
    } cases[] = {
        {xdg.string(),
         {},
         "Cannot create the configuration folder " + xdg.string() + "/TelvoView."},
        {"relative", "also/relative", "No configuration folder is known for this user."},
        {{}, {}, "No configuration folder is known for this user."},
    };
    for (const auto& c : cases) {
        ScopedEnvironment x("XDG_CONFIG_HOME", c.xdg ? c.xdg->c_str() : nullptr);
        ScopedEnvironment h("HOME", c.home ? c.home->c_str() : nullptr);
        std::string error;
        EXPECT_TRUE(ConfigFolder(&error).empty());
        EXPECT_EQ(error, c.error);
    }
}

} // namespace
} // namespace telvo
