// Check marks, title and repaint from the flags. Runs on the window thread, and on the
// library's thread when a timeout's Cancel stops: it touches the window only through the port.
#include "core/CommandIds.h"
#include "core/Settings.h"
#include "core/Text.h"
#include "engine/Detail.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"
#include "engine/ServerState.h"

#include <string>

namespace telvo {

void UpdateMenuState() {
    Platform& window = detail::Window();
    const SettingsValues& s = Settings;
    const int flags = s.SuitFlags;
    const int render = s.RenderType;
    const bool playing = Engine.Playback != 0;
    const bool recording = Engine.Recording != 0;

    struct Mark {
        int command;
        bool on;
    };
    const Mark marks[] = {
        {CmdColorFront, s.ColorFront != 0},
        {CmdShowAxes, s.ShowAxes != 0},
        {CmdShowNorth, s.ShowNorth != 0},
        {CmdShowGrid, s.ShowGrid != 0},
        {CmdShowInfo, s.ShowInfo != 0},
        {CmdReportFrameRate, s.ReportFrameRate != 0},
        {CmdLookForSuitsOnStartup, s.LookForSuitOnStartup != 0},
        {CmdEnableJumping, (flags & SuitFlagJumping) != 0},
        {CmdIgnoreFloor, (flags & SuitFlagIgnoreFloor) != 0},
        {CmdSwapSpineGyroWithHips, (flags & SuitFlagSwapSpineHips) != 0},
        {CmdUseSpineForExtraGyro, (flags & SuitFlagSpineExtraGyro) != 0},
        {CmdEnableTracking, s.EnableTracking != 0},
        {CmdShowMarkers, s.ShowMarkers != 0},
        {CmdShowMarkerNames, s.ShowMarkerNames != 0},
        {CmdUseSwitches, s.UseSwitches != 0},
        {CmdShowContactShadows, s.ShowFootShadow != 0},
        {CmdShowContactRadii, s.ShowContactPointRadii != 0},
        {CmdFollowCharacter, s.FollowCharacter != 0},
        {CmdShowContactPoints, s.ShowContactPoints != 0},
        {CmdShowNodeNames, s.ShowNodeNames != 0},
        {CmdShowNodes, s.ShowNodes != 0},
        {CmdLoopedPlayback, s.Loop != 0},
        {CmdEnableServer, Server.ServerRunning != 0},
        {CmdRenderWireframe, render == 1},
        {CmdRenderSolid, render == 2},
        {CmdRenderNothing, render == 0},
        {CmdDisplayRawChannels, render == 3},
        {CmdLive, Engine.Live != 0},
        {CmdPauseStep, Engine.Paused != 0},
        {CmdPlay, playing},
        {CmdRecord, recording},
        {CmdStop, !playing && !recording},
    };
    for (const Mark& mark : marks) {
        window.CheckMenuItem(mark.command, mark.on);
    }
    // CurrentFile belongs to the window thread; it is read only while playing, which a Stop
    // on another thread has just ended.
    if (playing && s.CurrentFile[0] != '\0') {
        window.SetWindowTitle(Format("TelvoView - %.259s", s.CurrentFile));
    } else {
        window.SetWindowTitle("TelvoView");
    }
    window.Invalidate();
}

} // namespace telvo
