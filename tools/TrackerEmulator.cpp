// telvoview-trackers: open-hardware IMU trackers played over loopback, for demonstrations and
// tests without hardware. Each tracker shakes hands with the receiver, answers its heartbeats
// and pings, and sends the orientation of its segment as the simulated performer moves.
#include "telvoria/TelvoriaTrackers.h"
#include "tools/ToolText.h"

#include <csignal>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* Tool = "telvoview-trackers";
constexpr const char* Usage =
    "usage: telvoview-trackers [--port N] [--address 127.x.x.x] [--trackers N] [--rate HZ]\n"
    "                          [--hold SECONDS] [--seconds SECONDS] [--bundles]\n"
    "       telvoview-trackers --ini [--port N] [--trackers N]\n"
    "Plays N trackers (1 to 19, default 6: hips, chest, thighs, shins) on this machine, sending\n"
    "to the receiver at 127.0.0.1:6969 unless told otherwise. They hold the null pose for\n"
    "--hold seconds (default 6; press L meanwhile), then follow the simulated performer.\n"
    "--ini prints a telvoria-sim.ini whose only suit is made of them.\n";

std::atomic<bool> stop{false};

void OnSignal(int) {
    stop.store(true);
}

struct Args {
    telvo::trackers::Emulator::Options options;
    int count = 6;
    double seconds = 0.0; // 0: until interrupted
    bool ini = false;
};

} // namespace

int main(int argc, char** argv) {
    using telvo::tool::Number;
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (telvo::tool::AskedForHelp(args, Usage)) {
        return 0;
    }
    Args a;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        bool hasValue = i + 1 < args.size();
        std::string_view value = hasValue ? args[i + 1] : std::string_view();
        bool ok = true;
        if (arg == "--bundles") {
            a.options.bundles = true;
            continue;
        }
        if (arg == "--ini") {
            a.ini = true;
            continue;
        }
        if (!hasValue) {
            return telvo::tool::UsageError(Tool, std::string(arg) + " needs a value", Usage);
        }
        if (arg == "--port") {
            ok = Number(value, a.options.port) && a.options.port != 0;
        } else if (arg == "--address") {
            a.options.address = std::string(value);
        } else if (arg == "--trackers") {
            ok = Number(value, a.count) && a.count >= 1 && a.count <= RawSensorCount;
        } else if (arg == "--rate") {
            ok = Number(value, a.options.rate) && a.options.rate >= 1.0 && a.options.rate <= 1000.0;
        } else if (arg == "--hold") {
            ok = Number(value, a.options.holdSeconds) && a.options.holdSeconds >= 0.0;
        } else if (arg == "--seconds") {
            ok = Number(value, a.seconds) && a.seconds > 0.0;
        } else {
            return telvo::tool::UsageError(Tool, "unknown option " + std::string(arg), Usage);
        }
        if (!ok) {
            return telvo::tool::UsageError(
                Tool, "bad value for " + std::string(arg) + ": " + std::string(value), Usage);
        }
        ++i;
    }
    if (a.ini) {
        std::string text = "[Simulation]\nSuits=0\n" +
                           telvo::trackers::TrackersSection(
                               a.options.port, telvo::trackers::Emulator::Standard(a.count));
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    telvo::trackers::Emulator emulator(a.options, telvo::trackers::Emulator::Standard(a.count));
    if (!emulator.Start()) {
        telvo::tool::Say(Tool, "cannot play trackers towards " + a.options.address +
                                   ": only a loopback address (127.x.x.x) will do");
        return 1;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    auto start = std::chrono::steady_clock::now();
    int connected = -1;
    while (!stop.load()) {
        int now = 0;
        for (int i = 0; i < a.count; ++i) {
            now += emulator.Connected(static_cast<std::size_t>(i)) ? 1 : 0;
        }
        if (now != connected) {
            connected = now;
            std::string line;
            telvo::tool::Append(line, now);
            line += " of ";
            telvo::tool::Append(line, a.count);
            line += " trackers connected";
            telvo::tool::Say(Tool, line);
        }
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (a.seconds > 0.0 && elapsed.count() >= a.seconds) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    emulator.Stop();
    return 0;
}
