#include "tests/engine/EngineFixture.h"

#include <set>
#include <string>

namespace telvo {
namespace {

using MenuState = EngineTest;

TEST_F(MenuState, SetsEveryMarkOnceThenTitleThenRepaint) {
    UpdateMenuState();
    std::vector<std::string> calls = window.Calls();
    std::set<std::string> marked;
    for (const std::string& check : window.CallsOf("check ")) {
        marked.insert(check.substr(0, check.find(' ')));
    }
    EXPECT_EQ(marked.size(), 32u);
    ASSERT_EQ(calls.size(), 33u);
    EXPECT_EQ(calls.back(), "title TelvoView");
    EXPECT_EQ(window.Invalidations(), 1);
}

TEST_F(MenuState, ExactlyOneRenderItemForKnownTypesAndNoneOtherwise) {
    const int items[] = {CmdRenderNothing, CmdRenderWireframe, CmdRenderSolid,
                         CmdDisplayRawChannels};
    for (int type = -1; type <= 9; ++type) {
        Settings.RenderType = type;
        UpdateMenuState();
        for (int value = 0; value < 4; ++value) {
            EXPECT_EQ(window.Checked(items[value]), value == type) << type;
        }
    }
}

// The mode marks are checked where each mode starts (recording, playback and stepping tests).
TEST_F(MenuState, TitleNamesTheFileOnlyWhileItPlays) {
    ASSERT_TRUE(SetPath(Settings.CurrentFile, "/takes/walk 2.bvh"));
    Engine.Live = 1;
    UpdateMenuState();
    EXPECT_EQ(window.Title(), "TelvoView");
    Engine.Playback = 1;
    Engine.Paused = 1;
    UpdateMenuState();
    EXPECT_EQ(window.Title(), "TelvoView - /takes/walk 2.bvh");
    Settings.CurrentFile[0] = '\0';
    UpdateMenuState();
    EXPECT_EQ(window.Title(), "TelvoView");
}

} // namespace
} // namespace telvo
