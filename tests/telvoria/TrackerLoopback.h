#pragma once

// A tracker suit on 127.0.0.1 for tests: a telvoria-sim.ini in a fresh folder, a free port,
// frames collected from the suit's thread, every wait bounded.

#include "geometry/Vector.h"
#include "telvoria/TelvoriaTrackers.h"
#include "tests/support/Loopback.h"
#include "tests/support/TempDir.h"
#include "tests/telvoria/SimFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <numbers>
#include <optional>
#include <string>

namespace telvo::test {

// What the suit delivered, written by its thread.
struct Delivered {
    std::mutex m;
    Frame last{};
    uint64_t frames = 0;
    // A sequence number or sample skipped; deadlines not one period apart.
    std::atomic<bool> gap{false}, offPeriod{false};
    // Timeouts, each held as long as the program's message box would hold it.
    std::atomic<int> timeouts{0}, timeoutHoldMs{0};

    static void OnFrame(const Frame* f, SuitInfo*);
    static void OnTimeout(SuitInfo*);
    uint64_t Count() {
        std::lock_guard lock(m);
        return frames;
    }
    // The figure as the last frame poses it.
    Skeleton Posed() {
        std::lock_guard lock(m);
        return test::Posed(last);
    }
};

// Made afresh by each test before any suit delivers.
inline std::optional<Delivered> delivered;

inline void Delivered::OnFrame(const Frame* f, SuitInfo*) {
    std::lock_guard lock(delivered->m);
    const Frame& before = delivered->last;
    if (delivered->frames++ > 0) {
        const int64_t step = sim::FrameTimestampNs(*f) - sim::FrameTimestampNs(before);
        delivered->gap = delivered->gap ||
                         sim::FrameSequence(*f) != sim::FrameSequence(before) + 1 ||
                         sim::FrameSampleIndex(*f) != sim::FrameSampleIndex(before) + 1;
        delivered->offPeriod = delivered->offPeriod || step < 8'333'000 || step > 8'334'000;
    }
    delivered->last = *f;
}

inline void Delivered::OnTimeout(SuitInfo*) {
    delivered->timeouts.fetch_add(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(delivered->timeoutHoldMs.load()));
}

// The angle between two directions, in degrees.
inline float Degrees(Vector a, Vector b) {
    return std::acos(std::clamp((a * b) / (a.Length() * b.Length()), -1.0f, 1.0f)) * 180.0f /
           std::numbers::pi_v<float>;
}

// The simulation with no simulated suit and a [Trackers] section naming these keys.
struct TrackerSuitTest : ::testing::Test {
    void SetUp() override {
        sim::Reset();
        delivered.emplace();
        port_ = trackers::FreeLoopbackPort();
    }
    void TearDown() override { sim::Reset(); }

    void Configure(const std::string& keys, const std::string& simulation = "Suits=0\n") {
        WriteAll(dir_.path() / "telvoria-sim.ini", "[Simulation]\n" + simulation +
                                                       "[Trackers]\nPort=" + std::to_string(port_) +
                                                       "\nAddress=127.0.0.1\n" + keys);
        sim::SetConfigFolder(dir_.path().string());
    }
    static GyroHandle OpenSuit() {
        return GyroOpen(nullptr, Delivered::OnFrame, Delivered::OnTimeout);
    }

    TempDir dir_;
    uint16_t port_ = 0;
};

} // namespace telvo::test
