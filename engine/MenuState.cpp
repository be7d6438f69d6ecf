// Check marks, title and repaint from the flags. Runs on the window thread, and on the
// library's thread when a timeout's Cancel stops: it touches the window only through the port.
#include "core/CommandIds.h"
#include "core/Settings.h"
#include "core/Text.h"
#include "core/Toggles.h"
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
    const RenderType render = CurrentRender();
    const bool playing = Engine.Playback != 0;
    const bool recording = Engine.Recording != 0;

    for (const SettingToggle& toggle : SettingToggles) {
        window.CheckMenuItem(toggle.command, (s.*toggle.flag) != 0);
    }
    for (const SuitFlagToggle& toggle : SuitFlagToggles) {
        window.CheckMenuItem(toggle.command, (flags & toggle.bit) != 0);
    }
    for (const RenderChoice& choice : RenderChoices) {
        window.CheckMenuItem(choice.command, render == choice.type);
    }
    struct Mark {
        int command;
        bool on;
    };
    const Mark marks[] = {
        {CmdEnableTracking, s.EnableTracking != 0},
        {CmdEnableServer, Server.ServerRunning != 0},
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
