#pragma once

// What Input Options, Tracker Options and Enable Tracking do with the suit around their
// dialogs. Window thread.

#include "suitlib/SuitLib.h"

namespace telvo {

// SuitFlags, tracking and the actor data to an open suit, as every open does. A tracker that
// does not answer while EnableTracking is on switches tracking off with "Tracker not detected".
void ApplySuitOptions(GyroHandle suit);

// Input Options before its dialog: Stop; the open suit's record (or whatever the library
// reports for no suit), a divider of 0 made 1; its measurements into ActorData; the suit
// closed. A box a library thread waits for is answered first: the close waits for that thread.
SuitInfo CloseSuitForInputOptions();
// After the dialog, OK or Cancel: opens the suit of the record (closing one a command opened
// meanwhile) and applies the options.
void ReopenSuit(const SuitInfo& info);

// The seven tracker fields of ActorData as the Tracker Options dialog holds them.
struct TrackerFields {
    float offsetX = 0.0f;
    float offsetY = 0.0f;
    float offsetZ = 0.0f;
    int markerNode = 0; // -1 when the stored value names no whole number an int holds
    int useTracker = 0;
    float filterCoefficient = 0.0f;
    int relative = 0;
};
TrackerFields TrackerFieldsOf(const ActorData& actor);

// Tracker Options before its dialog: Stop, and the open suit's measurements into ActorData.
void BeginTrackerOptions();
// After it. OK: when any field differs from ActorData, all seven are written back (switches
// as 0.0 or 1.0) and ActorDataChanged is set; a coordinate file chosen in the dialog ends
// tracking (GyroFinishTracking). OK or Cancel: the options are applied to the open suit again.
void EndTrackerOptions(const TrackerFields* accepted, bool coordinateFileChanged);

// Enable Tracking (32882).
void OnEnableTracking();

} // namespace telvo
