#pragma once

// Control of the simulated suits, for tests and tools only (the program never includes it).
// Every call is safe from any thread. Settings take effect at the next GyroInit / GyroOpen
// unless a line says otherwise; Reset() restores all defaults.

#include "suitlib/SuitLib.h"

#include <cstdint>
#include <string>
#include <vector>

namespace telvo::sim {

// One simulated suit as GyroEnumerateSuitInfo lists it.
struct SimSuit {
    uint32_t identity = 1;       // low 16 bits: the suit number
    std::string name = "Studio"; // at most 15 characters are kept
    uint32_t frameDivider = 1;   // 0 counts as 1
};

// Back to the defaults: one suit "Studio" number 1 at divider 1, real clock, the config file in
// the default folder, no tracker, no failures, no limit, no scripted words.
void Reset();

// Read telvoria-sim.ini from this folder at the next GyroInit ("" = the default folder).
void SetConfigFolder(const std::string& folder);
// false: ignore telvoria-sim.ini entirely (the suits set here or by default are used).
void UseConfigFile(bool use);
// The suits the next GyroInit / GyroFindSuits finds (an empty list: no suit).
void SetSuits(const std::vector<SimSuit>& suits);
// Whether a marker tracker is attached (GyroEnableMarkerTracking fails without one); at once.
void SetTrackerPresent(bool present);
// The tracker's external sync: 120 / 2^exponent frames per second (0 to 7), -1 none; takes
// effect when tracking is next switched on. Default 2.
void SetTrackerSync(int exponent);
// The next GyroInit (or every GyroOpen) fails while set.
void SetInitFails(bool fails);
void SetOpenFails(bool fails);

// Manual clock: suits opened while it is on start no thread; frames come only from Deliver.
void SetManualClock(bool manual);
// Delivers up to n samples of the suit on the calling thread, in order, and returns the frames
// delivered: dropped samples use up their turn; a silent suit calls its timeout callback (once
// per silence) and stops the delivery; so does a suit closed from its callback.
int Deliver(GyroHandle suit, int n);

// Per open suit, at once. The aux word GyroGetAux returns from now on, verbatim; its switch bits
// 0-5 also show in the frame flags (bits 16-21, with 0x400000 when aux bit 0x40 is set). Default
// 0x40.
void SetAux(GyroHandle suit, uint32_t aux);
// Extra flag bits set in, and bits cleared from, every frame from now on.
void SetFrameFlags(GyroHandle suit, uint32_t set, uint32_t clear);
// The next n samples of the suit are lost on the way: not delivered, counted by GyroGetDropped.
void DropFrames(GyroHandle suit, uint32_t n);
// A silent suit delivers nothing; the timeout callback runs once per silence.
void SetSilent(GyroHandle suit, bool silent);
// Real clock: how long a silence lasts before the timeout callback runs (default 1000 ms);
// applies to the open suits too. On the manual clock a silent suit times out at once.
void SetTimeoutMs(int ms);
// GyroAddFrame fails once the recording holds this many frames (0 = memory is the limit).
void SetRecordingLimit(uint32_t frames);

// What the simulation recorded about the calls it received.
uint8_t MotorLedBits(); // last byte given to GyroSetMotorLEDs
int OpenSuitCount();    // suits open now

// The library's own bytes of a frame: the delivery sequence number per suit (0, 1, 2, ...;
// dropped samples take none) and the frame's deadline in steady-clock nanoseconds (manual
// clock: sample index times the frame period, from 0).
uint64_t FrameSequence(const Frame& frame);
int64_t FrameTimestampNs(const Frame& frame);
// The suit's sample clock since it was opened: counts dropped samples too, and on the real
// clock the samples a silent or blocked suit let pass.
uint64_t FrameSampleIndex(const Frame& frame);

} // namespace telvo::sim
