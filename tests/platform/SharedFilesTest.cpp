// The program and the suit library share a configuration folder and Vexomark.ini: the library
// finds what the program wrote.
#include "base/ConfigFolder.h"
#include "platform/PrivateProfile.h"
#include "telvoria/sim/Config.h"
#include "tests/support/Environment.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <vector>

namespace telvo {
namespace {

TEST(SharedFiles, TheLibraryFindsWhatTheProgramWroteWithARelativeXdgConfigHome) {
    TempDir home;
    ScopedEnvironment xdg("XDG_CONFIG_HOME", "relative/config");
    ScopedEnvironment h("HOME", home.path().c_str());
    const std::filesystem::path folder = ConfigFolder(); // what the program's start-up takes
    const std::string crd = (home.path() / "stage.crd").string();
    WriteAll(crd, "TelvoViewCoordinates 1\nUnit Inches\nEmitter 55 0 90\nEmitter 0 20 90\n");
    ASSERT_TRUE(
        WritePrivateProfileString("Vexomark", "CoordinateFile", crd, folder / "Vexomark.ini"));
    const std::vector<Vector> emitters = sim::TrackerEmitters(sim::Controls{});
    ASSERT_EQ(emitters.size(), 2u);
    EXPECT_EQ(emitters[0].x, 55.0f);
}

} // namespace
} // namespace telvo
