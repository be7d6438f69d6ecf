// The frame callback (the frame pump) and the suit timeout callback, on the library's threads.
#include "core/CommandIds.h"
#include "core/Settings.h"
#include "core/Text.h"
#include "engine/Detail.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"
#include "engine/ServerState.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

namespace telvo {

namespace {

using detail::Window;

struct SwitchCommand {
    uint32_t bit;
    int command;
};

// Highest priority first; switch 4 gives no command.
constexpr SwitchCommand SwitchCommands[] = {
    {AuxSwitch1, CmdSetNorth}, {AuxSwitch2, CmdLive}, {AuxSwitch3, CmdEnableTracking},
    {AuxSwitch5, CmdRecord},   {AuxSwitch6, CmdStop},
};

void PollSwitches() {
    uint32_t aux = GyroGetAux(Engine.SuitHandle);
    if ((aux & AuxValid) == 0) {
        return;
    }
    uint32_t pressed = aux & ~Engine.PreviousAux.load();
    for (const SwitchCommand& entry : SwitchCommands) {
        if ((pressed & entry.bit) != 0) {
            Window().PostCommand(entry.command);
            break;
        }
    }
    Engine.PreviousAux = aux;
}

enum class Append { Stored, Skipped, AtLimit, OutOfMemory };

Append AppendFrame(const Frame& frame, uint32_t divider) {
    std::lock_guard lock(Engine.RecordingMutex);
    // Checked again under the lock: Stop clears the flag and Record frees the frames while
    // holding it, so a frame that saw the flag a moment ago never lands in freed memory.
    if (Engine.Recording == 0 || Engine.Paused != 0 || Engine.RecordingFull != 0) {
        return Append::Skipped;
    }
    ::Skeleton& skeleton = Engine.Skeleton;
    if (skeleton.FrameCount >= RecordLimitFrames(divider) && Settings.RecordStop != 0) {
        return Append::AtLimit;
    }
    if (GyroAddFrame(&skeleton) == 0 || skeleton.Frames == nullptr || skeleton.FrameCount == 0) {
        Engine.RecordingFull = 1;
        return Append::OutOfMemory;
    }
    std::memcpy(static_cast<void*>(&skeleton.Frames[skeleton.FrameCount - 1]), &frame,
                sizeof(Frame));
    return Append::Stored;
}

void Record(const Frame& frame, uint32_t divider) {
    switch (AppendFrame(frame, divider)) {
    case Append::Stored:
    case Append::Skipped:
        break;
    case Append::AtLimit:
        Window().PostCommand(CmdStop);
        break;
    case Append::OutOfMemory:
        // The lock is released: Stop may end the recording while the box is up.
        Window().PostCommand(CmdStop);
        Window().MessageBox("Out of memory during record", MessageButtons::Ok, MessageIcon::None);
        break;
    }
}

void Display(const Frame& frame, uint32_t divider) {
    if (Engine.PaintPending != 0) {
        return;
    }
    uint64_t step = static_cast<uint64_t>(divider) * 30;
    if (step < 120) {
        Engine.DisplayAccumulator += static_cast<int>(step);
        if (Engine.DisplayAccumulator < 120) {
            return;
        }
        Engine.DisplayAccumulator -= 120;
    }
    Engine.PaintPending = 1;
    {
        std::lock_guard lock(Engine.DisplayMutex);
        std::memcpy(static_cast<void*>(&Engine.DisplayFrame), &frame, sizeof(Frame));
    }
    Window().Invalidate();
}

} // namespace

uint32_t RecordLimitFrames(uint32_t divider) {
    auto limit = static_cast<uint32_t>(Settings.RecordLimitFS.load());
    if (Settings.RecordFramesOrSeconds != 0) {
        return limit;
    }
    double frames = std::trunc(limit * 120.0 / (divider == 0 ? 1 : divider) + 0.5);
    // A count of frames is 32 bits wide: a limit beyond it is never reached.
    return frames < 4294967295.0 ? static_cast<uint32_t>(frames) : UINT32_MAX;
}

void FrameCallback(const Frame* frame, SuitInfo* suit) {
    if (Engine.Playback != 0 || frame == nullptr) {
        return;
    }
    if (Settings.UseSwitches != 0) {
        PollSwitches();
    }
    if (Engine.Recording == 0 && Engine.Live == 0) {
        return;
    }
    // A divider of 0 means 1 everywhere; it is written back so the library's record says so.
    uint32_t divider = 1;
    if (suit != nullptr) {
        if (suit->FrameDivider == 0) {
            suit->FrameDivider = 1;
        }
        divider = suit->FrameDivider;
    }
    if (Engine.Recording != 0 && Engine.Paused == 0) {
        Record(*frame, divider);
    }
    if (Server.ServerRunning != 0) {
        Server.ServerDescriptor.FrameDivider = static_cast<int32_t>(divider);
        NetworkSendFrame(0, frame);
    }
    Display(*frame, divider);
}

void SuitTimeoutCallback(SuitInfo* suit) {
    if (Engine.TimeoutBusy.exchange(true)) {
        return; // one message at a time
    }
    int number = suit != nullptr ? static_cast<int>(suit->Identity & 0xFFFF) : 0;
    std::string text = Format("Timeout on suit KVX%d", number);
    if (suit != nullptr) {
        // The library's name field need not be terminated.
        std::string name(suit->Name, strnlen(suit->Name, sizeof suit->Name));
        if (!name.empty()) {
            text += " \"" + name + "\"";
        }
    }
    MessageAnswer answer =
        Window().MessageBox(text, MessageButtons::RetryCancel, MessageIcon::Exclamation);
    if (answer == MessageAnswer::Cancel) {
        // On this thread Stop reaches the window only through the port.
        OnStop();
        GyroHandle handle = Engine.SuitHandle.exchange(0);
        if (handle != 0) {
            GyroClose(handle);
        }
    }
    Engine.TimeoutBusy = false;
}

} // namespace telvo
