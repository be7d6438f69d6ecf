// Live mode, Set North, the motors and LEDs, beeps and opening the suit on demand.
#include "core/CommandIds.h"
#include "core/Settings.h"
#include "core/Text.h"
#include "engine/Detail.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"
#include "engine/SuitOptions.h"

#include <algorithm>

namespace telvo {

using detail::Window;

namespace detail {

void CountDown(const char* what) {
    if (Settings.RecordDelayEnable == 0) {
        return;
    }
    Engine.CountingDown = 1;
    for (int n = std::min(Settings.RecordDelay.load(), MaxCountDown); n >= 1; --n) {
        Window().SetStatusText(0, Format("%s in %d second%s", what, n, n == 1 ? "" : "s"));
        Window().Sleep(1000);
    }
    Engine.CountingDown = 0;
}

} // namespace detail

namespace {

// "No KVX suits detected" when the library knows none and a search finds none.
bool SuitsPresent() {
    if (GyroNumSuits() == 0 && GyroFindSuits() < 1) {
        Window().MessageBox("No KVX suits detected", MessageButtons::Ok, MessageIcon::Exclamation);
        return false;
    }
    return true;
}

} // namespace

GyroHandle OpenSuitIfNeeded() {
    if (GyroHandle open = Engine.SuitHandle; open != 0) {
        return open;
    }
    GyroHandle handle = GyroOpen(nullptr, FrameCallback, SuitTimeoutCallback);
    if (handle == 0) {
        return 0;
    }
    Engine.SuitHandle = handle;
    ApplySuitOptions(handle);
    return handle;
}

void OnLive() {
    if (Engine.Live == 0) {
        if (!SuitsPresent() || OpenSuitIfNeeded() == 0) {
            return;
        }
        detail::CountDown("Calibrating");
        // The handle as it is now: a timeout's Cancel may have closed the suit meanwhile.
        GyroSetNull(Engine.SuitHandle);
        GyroClearDropped(Engine.SuitHandle);
        if (Settings.RecordBeep != 0) {
            Beep(2);
        }
    }
    Engine.Live = Engine.Live != 0 ? 0 : 1;
    Window().SetStatusText(0, Engine.Live != 0 ? "Live" : "Ready");
    UpdateMenuState();
}

void OnSetNorth() {
    Engine.Live = 0;
    OnLive();
    // Also when Live ended early: the library is then told with whatever handle there is.
    Window().SetStatusText(0, "Setting North");
    GyroSetNorth(Engine.SuitHandle);
}

void OnMotorLed(int command) {
    uint8_t bit = 0;
    switch (command) {
    case CmdRightMotor:
        bit = RightMotor;
        break;
    case CmdRightLed:
        bit = RightLed;
        break;
    case CmdLeftMotor:
        bit = LeftMotor;
        break;
    case CmdLeftLed:
        bit = LeftLed;
        break;
    case CmdChestMotor:
        bit = ChestMotor;
        break;
    default:
        return;
    }
    Engine.MotorLEDBits ^= bit;
    GyroSetMotorLEDs(Engine.MotorLEDBits);
}

void Beep(int kind) {
    if (kind < 0 || kind > 2) {
        return;
    }
    Platform& window = Window();
    if (Settings.PCBeep != 0) {
        window.Tone(kind == 0 ? 1568 : 1047, 250);
    } else {
        window.PlaySystemSound(kind == 0 ? SystemSound::Exclamation : SystemSound::Default);
    }
}

} // namespace telvo
