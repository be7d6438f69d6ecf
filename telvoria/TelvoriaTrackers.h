#pragma once

// The suit made of open-hardware IMU trackers, for tests, benchmarks and tools (the program
// never includes it): what the receiver counts and sees, the frame bytes it stamps, and an
// emulator that plays trackers on the loopback interface. docs/trackers.md has the protocol.

#include "suitlib/SuitLib.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace telvo::trackers {

// What the receiver has read since it started listening.
struct ReceiverCounts {
    uint64_t packets = 0;   // datagrams taken from the socket
    uint64_t rotations = 0; // orientations taken for an assigned sensor
    uint64_t ignored = 0;   // understood, not needed (battery, signal strength, temperature, ...)
    uint64_t shortOnes = 0; // too short for their header or type
    uint64_t oversized = 0;
    uint64_t unknown = 0;    // a type the receiver does not know, also inside a bundle
    uint64_t malformed = 0;  // a bundle whose framing is broken
    uint64_t strangers = 0;  // from a sender that never shook hands
    uint64_t refused = 0;    // hands shaken beyond the limit on trackers
    uint64_t overBudget = 0; // beyond a tracker's packets per second
    uint64_t stale = 0;      // an older packet number than one already taken
    uint64_t cpuNs = 0;      // the receiver thread's processor time
};

// One sensor the receiver has heard of.
struct SeenTracker {
    std::string mac;     // "02:00:00:00:00:01"
    int sensor = 0;      // -1 until the tracker names its sensors
    int suitSensor = -1; // the frame's sensor it drives, -1 when no key names it
    bool silent = false; // nothing heard for a second
};

// The receiver of the library's tracker suit, while telvoria-sim.ini configures one and the
// library is initialised; zeros and empty lists otherwise.
ReceiverCounts Counts();
uint16_t ListeningPort();
std::vector<SeenTracker> Seen();

// Arrival times (steady-clock ns) of the rotations a frame of the tracker suit carries for the
// first time, one per sensor.
std::vector<int64_t> FreshArrivals(const Frame& frame);

// Trackers played over loopback: each has its own socket, finds the receiver by sending its
// handshake to 127.0.0.x:port once a second, answers heartbeats and pings, and sends its
// orientation at the given rate. Unless held, an orientation follows the simulated performer's
// script (after holdSeconds of the null pose), turned by the tracker's mounting on its segment
// and the heading of its own reference frame.
class Emulator {
public:
    struct Tracker {
        std::array<uint8_t, 6> mac{};
        uint8_t sensor = 0; // the sensor number it reports
        int segment = 0;    // the frame's sensor (0-18) whose motion it plays
        // Its orientation on the segment, and where its own heading points: w, x, y, z.
        std::array<float, 4> mounting{1.0f, 0.0f, 0.0f, 0.0f};
        float headingDegrees = 0.0f;
    };
    struct Options {
        std::string address = "127.0.0.1"; // the receiver's; a loopback address only
        uint16_t port = 6969;
        double rate = 100.0;      // orientations per second per tracker
        double holdSeconds = 6.0; // the null pose before the script starts
        bool bundles = false;     // orientation inside bundle packets
        int firmwareVersion = 19;
    };

    Emulator(const Options& options, std::vector<Tracker> trackers);
    ~Emulator();
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    // False when the address is not a loopback address or a socket cannot be made.
    bool Start();
    void Stop();

    // Holds tracker i at this orientation of the segment (w, x, y, z, in the world of the
    // null pose) from now on, mounting and heading applied as ever.
    void Hold(std::size_t i, const std::array<float, 4>& segment);
    // Turns the held orientation of tracker i by degrees about the tracker's own X axis.
    void TurnAboutOwnX(std::size_t i, float degrees);
    // A silent tracker sends nothing and answers nothing.
    void Silence(std::size_t i, bool silent);
    bool Connected(std::size_t i) const;
    uint64_t RotationsSent() const;

    // The first count (1 to 19) of a standard set: hips, chest, thighs and shins (the six a
    // useful figure needs), then feet, upper arms, forearms, waist, head and the rest.
    static std::vector<Tracker> Standard(int count);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The [Trackers] section of telvoria-sim.ini that assigns these trackers on 127.0.0.1:port.
std::string TrackersSection(uint16_t port, const std::vector<Emulator::Tracker>& trackers);

// "02:00:00:00:00:n" for n = 1, 2, ...: the emulator's addresses, locally administered.
std::array<uint8_t, 6> EmulatedMac(int n);

// A UDP port nobody holds on 127.0.0.1 just now, for a tracker suit of a test or benchmark.
uint16_t FreeLoopbackPort();

} // namespace telvo::trackers
