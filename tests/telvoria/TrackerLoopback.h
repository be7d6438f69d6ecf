#pragma once

// A tracker suit on 127.0.0.1 for tests: a telvoria-sim.ini in a fresh folder, a free port,
// frames collected from the suit's thread, every wait bounded.

#include "telvoria/TelvoriaSim.h"
#include "telvoria/TelvoriaTrackers.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace telvo::test {

// Polls every 5 ms for at most the given time.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(6000)) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

// What the suit delivered, written by its thread.
struct Delivered {
    std::mutex m;
    Frame last{};
    uint64_t frames = 0;
    uint64_t nextSequence = 0;
    uint64_t nextSample = 0;
    int64_t lastStampNs = 0;
    bool gap = false;       // a sequence number or sample skipped
    bool offPeriod = false; // deadlines not one period apart
    std::atomic<int> timeouts{0};

    static Delivered& Get() {
        static Delivered d;
        return d;
    }
    void Reset() {
        std::lock_guard lock(m);
        frames = nextSequence = nextSample = 0;
        lastStampNs = 0;
        gap = offPeriod = false;
        timeouts = 0;
        timeoutHoldMs = 0;
    }
    static void OnFrame(const Frame* f, SuitInfo*) {
        Delivered& d = Get();
        std::lock_guard lock(d.m);
        uint64_t sequence = sim::FrameSequence(*f);
        uint64_t sample = sim::FrameSampleIndex(*f);
        int64_t stamp = sim::FrameTimestampNs(*f);
        if (d.frames > 0) {
            d.gap |= sequence != d.nextSequence || sample != d.nextSample;
            int64_t step = stamp - d.lastStampNs;
            d.offPeriod |= step < 8'333'000 || step > 8'334'000;
        }
        d.nextSequence = sequence + 1;
        d.nextSample = sample + 1;
        d.lastStampNs = stamp;
        d.last = *f;
        ++d.frames;
    }
    // Holds the thread as long as the program's message box would.
    std::atomic<int> timeoutHoldMs{0};
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
        std::ofstream ini(dir_.path() / "telvoria-sim.ini");
        ini << "[Simulation]\n"
            << simulation << "[Trackers]\nPort=" << port_ << "\nAddress=127.0.0.1\n"
            << keys;
        ini.close();
        sim::SetConfigFolder(dir_.path().string());
    }

    trackers::Emulator::Options EmulatorOptions() const {
        trackers::Emulator::Options o;
        o.port = port_;
        o.holdSeconds = 3600.0;
        return o;
    }

    TempDir dir_;
    uint16_t port_ = 0;
};

} // namespace telvo::test
