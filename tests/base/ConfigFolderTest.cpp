// Where the program and the suit library look for their INI files.
#include "base/ConfigFolder.h"
#include "platform/PrivateProfile.h"
#include "telvoria/sim/Config.h"
#include "tests/support/Environment.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace telvo {
namespace {

namespace fs = std::filesystem;

// An absolute XDG_CONFIG_HOME, else HOME's .config, made when missing; none, with the reason,
// when neither is known or the folder cannot be made.
TEST(ConfigFolder, AnAbsoluteXdgConfigHomeElseHomesConfigMadeWhenMissingOrNoneWithTheReason) {
    TempDir dir;
    const std::string xdg = (dir.path() / "xdg").string(), home = (dir.path() / "home").string();
    const std::string blocked = (dir.path() / "blocked").string();
    fs::create_directory(blocked);
    WriteAll(blocked + "/TelvoView", "not a folder");
    const std::string unknown = "No configuration folder is known for this user.";
    const std::tuple<const char*, const char*, std::string> cases[] = {
        {xdg.c_str(), home.c_str(), xdg + "/TelvoView"},
        {"relative", home.c_str(), home + "/.config/TelvoView"},
        {nullptr, home.c_str(), home + "/.config/TelvoView"},
        {blocked.c_str(), nullptr,
         "Cannot create the configuration folder " + blocked + "/TelvoView."},
        {"relative", "also/relative", unknown},
        {nullptr, nullptr, unknown},
    };
    for (const auto& [x, h, expected] : cases) {
        ScopedEnvironment xdgHome("XDG_CONFIG_HOME", x), userHome("HOME", h);
        std::string error;
        const fs::path folder = ConfigFolder(&error);
        EXPECT_EQ(folder.empty() ? error : folder.string(), expected) << (x ? x : "(unset)");
        EXPECT_TRUE(folder.empty() || fs::is_directory(folder));
    }
}

// The program and the suit library share the folder and Vexomark.ini: the library finds what
// the program wrote.
TEST(SharedFiles, TheLibraryFindsWhatTheProgramWroteWithARelativeXdgConfigHome) {
    TempDir home;
    ScopedEnvironment xdg("XDG_CONFIG_HOME", "relative/config");
    ScopedEnvironment h("HOME", home.path().c_str());
    const fs::path folder = ConfigFolder(); // what the program's start-up takes
    const std::string crd = (home.path() / "stage.crd").string();
    WriteAll(crd, "TelvoViewCoordinates 1\nUnit Inches\nEmitter 55 0 90\nEmitter 0 20 90\n");
    ASSERT_TRUE(
        WritePrivateProfileString("Vexomark", "CoordinateFile", crd, folder / "Vexomark.ini"));
    EXPECT_EQ(sim::TrackerEmitters(sim::Controls{}).at(0).x, 55.0f); // not a default emitter
}

} // namespace
} // namespace telvo
