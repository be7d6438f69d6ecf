#pragma once

// What the simulated suits are: the optional telvoria-sim.ini in TelvoView's configuration
// folder, overridden by the test controls.
//
//   [Simulation]
//   Suits=2            ; 0 to 16 suits (default 1)
//   Tracker=1          ; a marker tracker is attached (default 0)
//   TrackerSync=2      ; its external sync: 120 / 2^n frames per second, n 0 to 7; -1 none
//   TimeoutMs=1000     ; silence before a suit counts as not answering
//   [Suit1]
//   Number=1           ; suit number 0 to 65535 (default: the section's number)
//   Identity=65537     ; optional: the whole 32-bit identity, overrides Number
//   Name=Studio        ; at most 15 characters
//   FrameDivider=1     ; 120 / divider frames per second; 0 to 120, 0 counts as 1
//   [Server]           ; the frame server: keys in TelvoriaNet.h
//   [Trackers]         ; a suit of open-hardware IMU trackers (docs/trackers.md)
//   Port=6969          ; UDP port; missing or 0: no tracker suit
//   Address=0.0.0.0    ; the local IPv4 address to listen on
//   Number=90          ; the suit's number, name and divider as for [SuitN]
//   Name=Trackers
//   FrameDivider=1
//   Hips=02:00:00:00:00:01       ; a segment, by the node where it starts: a tracker's MAC
//   LeftHip=02:00:00:00:00:02/1  ; and /N for its sensor N (0 when left out)
//
// The tracker's emitters come from the coordinate file that key CoordinateFile of section
// [Vexomark] in Vexomark.ini (in the same folder) names, read when tracking is switched on.

#include "telvoria/TelvoriaNet.h"
#include "telvoria/TelvoriaSim.h"
#include "telvoria/trackers/Receiver.h"

#include <optional>
#include <string>
#include <vector>

namespace telvo::sim {

struct Controls {
    std::string configFolder; // empty: the default folder
    bool useConfigFile = true;
    std::optional<std::vector<SimSuit>> suits;
    std::optional<bool> tracker;
    std::optional<int> trackerSync;
    std::optional<int> timeoutMs;
    bool initFails = false;
    bool openFails = false;
    bool manualClock = false;
};

struct TrackerSetup {
    SimSuit suit;
    trackers::ReceiverOptions receiver;
};

struct Setup {
    std::vector<SimSuit> suits; // the tracker suit, when there is one, last
    std::optional<TrackerSetup> trackers;
    bool tracker = false;
    int trackerSync = 2;
    int timeoutMs = 1000;
};

// The program's configuration folder (base/ConfigFolder.h), made when missing; empty when
// none is known or it cannot be made.
std::string DefaultConfigFolder();

Setup ParseSetup(const std::string& iniText);
// Whether suits[index] is the suit of trackers.
bool IsTrackerSuit(const Setup& setup, std::size_t index);
Setup LoadSetup(const Controls& controls);

// The emitters the coordinate file named in Vexomark.ini places; the default layout when the
// config files are not used, none is named or it cannot be read.
std::vector<Vector> TrackerEmitters(const Controls& controls);

net::ServerOptions ParseServerOptions(const std::string& iniText);
net::ServerOptions LoadServerOptions(const Controls& controls);
// The controls in force now (Suits.cpp keeps them).
Controls CurrentControls();

} // namespace telvo::sim
