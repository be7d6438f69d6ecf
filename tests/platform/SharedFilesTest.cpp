// The program and the suit library share a configuration folder and Vexomark.ini: both must
// find the same folder and read the same file alike.
#include "base/ConfigFolder.h"
#include "platform/PrivateProfile.h"
#include "telvoria/sim/Config.h"
#include "tests/support/Environment.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace telvo {
namespace {

// The emitters' x in inches, blank-separated.
std::string Xs(const std::vector<Vector>& emitters) {
    std::string text;
    for (const Vector& e : emitters) {
        text += (text.empty() ? "" : " ") + std::to_string(static_cast<int>(e.x));
    }
    return text;
}

void WriteCoordinates(const std::filesystem::path& file, const char* x) {
    WriteAll(file, std::string("TelvoViewCoordinates 1\nUnit Inches\nEmitter ") + x +
                       " 0 90\nEmitter 0 20 90\n");
}

TEST(SharedFiles, ProgramAndLibraryReadVexomarkIniAlike) {
    TempDir dir;
    const std::string chosen = (dir.path() / "stage a ;1.crd").string();
    const std::string repeated = (dir.path() / "other.crd").string();
    WriteCoordinates(chosen, "-40");
    WriteCoordinates(repeated, "70");
    const std::filesystem::path ini = dir.path() / "Vexomark.ini";
    WriteAll(ini, "[Vexomark]\nNumEmitters=2      ; set with VexomarkShow\nCoordinateFile=\"" +
                      chosen + "\"   # stage A\nCoordinateFile=" + repeated + "\n");

    // As the Tracker Options dialog reads it.
    EXPECT_EQ(GetPrivateProfileInt("Vexomark", "NumEmitters", 1, ini), 2);
    EXPECT_EQ(GetPrivateProfileString("Vexomark", "CoordinateFile", "", 260, ini), chosen);
    sim::Controls controls;
    controls.configFolder = dir.path().string();
    EXPECT_EQ(Xs(sim::TrackerEmitters(controls)), "-40 0");
}

TEST(SharedFiles, TheLibraryFindsWhatTheProgramWroteWithARelativeXdgConfigHome) {
    TempDir home;
    ScopedEnvironment xdg("XDG_CONFIG_HOME", "relative/config");
    ScopedEnvironment h("HOME", home.path().c_str());
    const std::filesystem::path folder = ConfigFolder(); // what the program's start-up takes
    EXPECT_EQ(sim::DefaultConfigFolder(), folder.string());
    const std::string crd = (home.path() / "stage.crd").string();
    WriteCoordinates(crd, "55");
    ASSERT_TRUE(
        WritePrivateProfileString("Vexomark", "CoordinateFile", crd, folder / "Vexomark.ini"));
    EXPECT_EQ(Xs(sim::TrackerEmitters(sim::Controls{})), "55 0");
}

} // namespace
} // namespace telvo
