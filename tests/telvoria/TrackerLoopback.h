#pragma once

// A tracker suit on 127.0.0.1 for tests: a telvoria-sim.ini in a fresh folder, a free port,
// frames collected from the suit's thread, every wait bounded.

#include "telvoria/TelvoriaSim.h"
#include "telvoria/TelvoriaTrackers.h"
#include "tests/support/Loopback.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>

namespace telvo::test {

// What the suit delivered, written by its thread.
struct Delivered {
    std::mutex m;
    Frame last{};
    uint64_t frames = 0;
    int64_t lastStampNs = 0;
    uint64_t next[2] = {};  // sequence number, sample
    bool gap = false;       // a sequence number or sample skipped
    bool offPeriod = false; // deadlines not one period apart
    std::atomic<int> timeouts{0};
    std::atomic<int> timeoutHoldMs{0}; // as long as the program's message box would hold it

    static Delivered& Get() {
        static Delivered d;
        return d;
    }
    void Reset() {
        std::lock_guard lock(m);
        frames = 0;
        gap = offPeriod = false;
        timeouts = timeoutHoldMs = 0;
    }
    static void OnFrame(const Frame* f, SuitInfo*) {
        Delivered& d = Get();
        std::lock_guard lock(d.m);
        const uint64_t now[2] = {sim::FrameSequence(*f), sim::FrameSampleIndex(*f)};
        const int64_t step = sim::FrameTimestampNs(*f) - d.lastStampNs;
        if (d.frames++ > 0) {
            d.gap |= now[0] != d.next[0] || now[1] != d.next[1];
            d.offPeriod |= step < 8'333'000 || step > 8'334'000;
        }
        d.next[0] = now[0] + 1;
        d.next[1] = now[1] + 1;
        d.lastStampNs += step;
        d.last = *f;
    }
    static void OnTimeout(SuitInfo*) {
        Get().timeouts.fetch_add(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(Get().timeoutHoldMs.load()));
    }
    Frame Last() {
        std::lock_guard lock(m);
        return last;
    }
    uint64_t Count() {
        std::lock_guard lock(m);
        return frames;
    }
};

// The simulation with no simulated suit and a [Trackers] section naming these keys.
class TrackerSuitTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        Delivered::Get().Reset();
        port_ = trackers::FreeLoopbackPort();
    }
    void TearDown() override { sim::Reset(); }

    void Configure(const std::string& keys, const std::string& simulation = "Suits=0\n") {
        WriteAll(dir_.path() / "telvoria-sim.ini", "[Simulation]\n" + simulation +
                                                       "[Trackers]\nPort=" + std::to_string(port_) +
                                                       "\nAddress=127.0.0.1\n" + keys);
        sim::SetConfigFolder(dir_.path().string());
    }
    trackers::Emulator::Options EmulatorOptions() const {
        trackers::Emulator::Options o;
        o.port = port_;
        o.holdSeconds = 3600.0;
        return o;
    }
    static GyroHandle OpenSuit() {
        return GyroOpen(nullptr, Delivered::OnFrame, Delivered::OnTimeout);
    }

    TempDir dir_;
    uint16_t port_ = 0;
};

} // namespace telvo::test
