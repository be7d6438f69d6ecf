// Record and Stop, and the recording's readers.
#include "app/Settings.h"
#include "engine/Detail.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"

#include <cstring>

namespace telvo {

using detail::Window;

namespace detail {

void KillPlaybackTimer() {
    if (TimerId id = Engine.PlaybackTimerId.exchange(0); id != 0) {
        Window().KillTimer(id);
    }
}

void StopPlayback() {
    KillPlaybackTimer();
    Engine.Playback = 0;
    Engine.Paused = 0;
}

void EndRecording() {
    StopPlayback();
    uint32_t frames = 0;
    {
        // Under the lock: once it is released no callback is inside an append any more.
        std::lock_guard lock(Engine.RecordingMutex);
        if (Engine.Recording.exchange(0) == 0) {
            return; // another thread ended it first
        }
        frames = Engine.Skeleton.FrameCount;
    }
    Platform& window = Window();
    if (Settings.ReportFrameRate != 0) {
        uint32_t elapsed = window.TimeMs() - Engine.RecordStartTime;
        if (elapsed > 0 && frames > 1) {
            double rate = (frames - 1) * 1000.0 / elapsed;
            window.SetStatusText(1, Format("Average Frame rate %.3f FPS, Dropped: %u", rate,
                                           GyroGetDropped(Engine.SuitHandle)));
        }
    }
    if (Settings.RecordBeep != 0) {
        Beep(1);
        GyroClearDropped(Engine.SuitHandle);
    }
    UpdateMenuState();
}

float FramePeriod() {
    std::lock_guard lock(Engine.RecordingMutex);
    return Engine.Skeleton.FramePeriod;
}

} // namespace detail

namespace {

void StartRecording() {
    Platform& window = Window();
    if (GyroNumSuits() == 0 && GyroFindSuits() < 1) {
        window.MessageBox("No KVX suits detected", MessageButtons::Ok, MessageIcon::Exclamation);
        return;
    }
    OpenSuitIfNeeded(); // without a suit the recording starts all the same, and stays empty
    detail::StopPlayback();
    detail::CountDown("Recording");
    if (Settings.RecordBeep != 0) {
        Beep(0);
    }
    float rate = 0.0f;
    {
        std::lock_guard lock(Engine.RecordingMutex);
        GyroFreeSkeletonFrames(&Engine.Skeleton);
        rate = GyroGetFrameRate(Engine.SuitHandle);
        Engine.Skeleton.FramePeriod = 1.0f / rate;
        Engine.Skeleton.FrameCount = 0;
        Engine.RecordingFull = 0;
    }
    Engine.PlaybackIndex = 0;
    window.SetStatusText(0, detail::Format("Recording at %.2f frames per second", rate));
    GyroClearDropped(Engine.SuitHandle);
    // The start time is taken just before the flag is set rather than after, so a Stop on the
    // timeout's thread never reads it while it is written.
    if (Settings.ReportFrameRate != 0) {
        Engine.RecordStartTime = window.TimeMs();
    }
    Engine.Recording = 1;
    UpdateMenuState();
}

} // namespace

void OnRecord() {
    if (Engine.Recording != 0) {
        detail::EndRecording();
    } else {
        StartRecording();
    }
}

void OnStop() {
    if (Engine.Recording != 0) {
        detail::EndRecording();
    }
    detail::StopPlayback();
    Engine.PlaybackIndex = 0;
    {
        std::lock_guard lock(Engine.DisplayMutex);
        Engine.DisplayFrame.Flags = 0;
    }
    Platform& window = Window();
    if (window.IsWindowThread()) {
        window.SetStatusText(0, Engine.Live != 0 ? "Live" : "Ready");
    }
    UpdateMenuState();
}

uint32_t RecordedFrameCount() {
    std::lock_guard lock(Engine.RecordingMutex);
    return Engine.Skeleton.Frames != nullptr ? Engine.Skeleton.FrameCount : 0;
}

bool CopyRecordedFrameToDisplay(uint32_t index) {
    std::lock_guard recording(Engine.RecordingMutex);
    const ::Skeleton& skeleton = Engine.Skeleton;
    if (skeleton.Frames == nullptr || index >= skeleton.FrameCount) {
        return false;
    }
    std::lock_guard display(Engine.DisplayMutex);
    std::memcpy(static_cast<void*>(&Engine.DisplayFrame), &skeleton.Frames[index], sizeof(Frame));
    return true;
}

} // namespace telvo
