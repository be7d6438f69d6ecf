// What tests and tools read of the tracker suit (TelvoriaTrackers.h).
#include "telvoria/TelvoriaTrackers.h"

#include "telvoria/sim/FrameBytes.h"
#include "telvoria/sim/SuitList.h"
#include "telvoria/skeleton/Body.h"
#include "telvoria/trackers/Protocol.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace telvo::trackers {

namespace {

std::shared_ptr<Receiver> Current() {
    sim::Library& lib = sim::Lib();
    std::lock_guard lock(lib.m);
    return lib.receiver;
}

} // namespace

ReceiverCounts Counts() {
    auto r = Current();
    return r ? r->Counts() : ReceiverCounts{};
}

uint16_t ListeningPort() {
    auto r = Current();
    return r ? r->Port() : 0;
}

std::vector<SeenTracker> Seen() {
    auto r = Current();
    return r ? r->Seen(sim::Now()) : std::vector<SeenTracker>{};
}

std::vector<int64_t> FreshArrivals(const Frame& frame) {
    auto count = sim::bytes::Take<uint32_t>(frame.Reserved712 + sim::bytes::ArrivalCountAt);
    std::vector<int64_t> arrivals;
    for (uint32_t i = 0; i < count && i < RawSensorCount; ++i) {
        arrivals.push_back(
            sim::bytes::Take<int64_t>(frame.Reserved712 + sim::bytes::ArrivalsAt + 8 * i));
    }
    return arrivals;
}

std::string TrackersSection(uint16_t port, const std::vector<Emulator::Tracker>& trackers) {
    std::string text = "[Trackers]\nPort=" + std::to_string(port) +
                       "\nAddress=127.0.0.1\nNumber=90\nName=Trackers\n";
    for (const auto& t : trackers) {
        if (t.segment < 0 || t.segment >= body::SensorCount) {
            continue;
        }
        text += body::NodeNames[static_cast<std::size_t>(body::NodeOfSensor[t.segment])];
        text += "=" + MacText(t.mac);
        text += t.sensor != 0 ? "/" + std::to_string(t.sensor) + "\n" : "\n";
    }
    return text;
}

std::array<uint8_t, 6> EmulatedMac(int n) {
    return {0x02, 0x00, 0x00, 0x00, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
}

uint16_t FreeLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    ::bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &size);
    ::close(fd);
    return ntohs(at.sin_port);
}

} // namespace telvo::trackers
