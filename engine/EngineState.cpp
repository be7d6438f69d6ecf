#include "EngineState.h"

#include <cstring>

namespace telvo {

EngineState Engine;

void EngineState::Reset() {
    SuitHandle = 0;
    MainWindow = nullptr;
    Live = 0;
    Recording = 0;
    Paused = 0;
    Playback = 0;
    StartPaused = 0;
    PreviousAux = 0;
    DisplayAccumulator = 0;
    PaintPending = 0;
    {
        std::lock_guard lock(DisplayMutex);
        std::memset(&DisplayFrame, 0, sizeof DisplayFrame);
    }
    MotorLEDBits = 0;
    TimeoutBusy = false;
    CountingDown = 0;
    {
        std::lock_guard lock(RecordingMutex);
        std::memset(&Skeleton, 0, sizeof Skeleton);
    }
    RecordStartTime = 0;
    RecordingFull = 0;
    TakeUnsaved = 0;
    PlaybackIndex = 0;
    PlaybackDivider = 1;
    PlaybackTickCount = 0;
    PlaybackTimerId = 0;
    std::memset(&ActorData, 0, sizeof ActorData);
    ActorDataChanged = 0;
    ContactPointIndices = nullptr;
    ContactPointCount = 0;
}

} // namespace telvo
