#pragma once

#include "suitlib/SuitLib.h"

#include <string>
#include <string_view>

namespace telvo {

// The engine's entry points. Command handlers run on the window thread unless noted; they
// reach the window only through Engine.MainWindow (the Platform port), which the window's
// creation publishes once the suit library has started.

// Suit library callbacks (library threads).
void FrameCallback(const Frame* frame, SuitInfo* suit);
void SuitTimeoutCallback(SuitInfo* suit);

// Live mode, north, motors and LEDs, beeps.
void OnLive();
void OnSetNorth();
void OnMotorLed(int command); // one of the five motor and LED command ids
void Beep(int kind);          // 0 start of a recording, 1 its end, 2 start of live mode

// Recording.
void OnRecord();
void OnStop();
// The record limit in frames: RecordLimitFS frames, or RecordLimitFS seconds at the suit's
// 120 / divider frames per second rounded to the nearest frame (a divider of 0 counts as 1).
uint32_t RecordLimitFrames(uint32_t divider);

// Playback.
void OnPlay();
void OnPauseStep();
void OnStepBackwards();
void OnPlaybackRate(int command); // decrease, increase or normal playback rate
void PlaybackTimerCallback();     // the periodic timer's thread

// Check marks, title and repaint from the flags.
void UpdateMenuState();

// Motion and actor files. Open, Save As, Load and Store Actor File stop first; Reload Last
// Actor File and Load Default Actor Data do not.
void OnOpen();
void OnSaveAs();
void OnLoadActorFile();
// Writes the actor data (the suit's current measurements when a suit is open). The
// save-changes prompt runs it on Yes.
void OnStoreActorFile();
void OnReloadLastActorFile();
void OnLoadDefaultActorData();
// The operations the window's creation shares with the commands.
void ReadCurrentMotionFile();
void ReadCurrentActorFile();
// Asks whether changed actor data shall be stored; false when the user said Yes and the store
// failed, so the caller replaces nothing.
bool SaveActorChangesPrompt();
// Asks whether a take recorded since the last save or open shall be saved first (Yes saves
// through Save As); false when the caller must stop: Cancel, or Yes without a written file.
bool SaveTakePrompt();
// A file dropped on the window: an actor file (".ac") is loaded, anything else is opened as a
// file named on the command line is, by its extension.
void OpenDroppedFile(std::string_view path);
// The companion a SIMI table is written with: its file name with the extension ".imp".
std::string SimiCompanionPath(std::string_view table);

// The recording, for readers on any thread. Both take Engine.RecordingMutex; the copy takes
// Engine.DisplayMutex inside it (always in that order).
uint32_t RecordedFrameCount();

// Opens a suit with the program's callbacks when none is open, and applies SuitFlags,
// tracking and actor data to it. Returns the handle (0 when none could be opened). Live and
// Record use it; the window's creation opens its own way, as it takes the actor data from the
// suit instead of giving it.
GyroHandle OpenSuitIfNeeded();

} // namespace telvo
