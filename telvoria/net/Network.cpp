// The eight network calls: this machine's IPv4 addresses and the frame server.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/TelvoriaNet.h"
#include "telvoria/net/Server.h"
#include "telvoria/sim/Config.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

namespace telvo::net {

namespace {

constexpr int StatusHostName = 3;
constexpr int StatusInterfaces = 4;
constexpr int StatusUnknown = 6;

struct State {
    std::mutex m;
    std::vector<uint32_t> addresses; // the list NetworkGetLocalIPs prepared
    std::optional<ServerOptions> options;
};

State& Net() {
    static State* state = new State;
    return *state;
}

// "address" or "address:port", the address an IPv4 dotted quad or "localhost"; none for
// anything else. NetworkStartServer runs on the window thread, so host names are never looked
// up: a name server that does not answer would freeze the window.
std::optional<sockaddr_in> Resolve(const std::string& target) {
    std::string host = target;
    uint16_t port = DefaultVmcPort;
    if (std::size_t colon = target.rfind(':'); colon != std::string::npos) {
        host = target.substr(0, colon);
        const char* first = target.data() + colon + 1;
        const char* last = target.data() + target.size();
        auto [end, error] = std::from_chars(first, last, port);
        if (error != std::errc() || end != last || port == 0) {
            return std::nullopt;
        }
    }
    if (::strcasecmp(host.c_str(), "localhost") == 0) {
        host = "127.0.0.1";
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    // inet_pton, unlike inet_aton, takes only the four-number form.
    if (::inet_pton(AF_INET, host.c_str(), &to.sin_addr) != 1) {
        return std::nullopt;
    }
    return to;
}

} // namespace

void SetServerOptions(const ServerOptions& options) {
    std::lock_guard lock(Net().m);
    Net().options = options;
}

void ClearServerOptions() {
    std::lock_guard lock(Net().m);
    Net().options.reset();
}

std::size_t ClientCount() {
    return RunningClients();
}

uint64_t FramesOverrun() {
    return Overruns();
}

uint64_t FramesEncoded() {
    return Encoded();
}

} // namespace telvo::net

using namespace telvo::net;

int NetworkGetLocalIPs(char* hostName, int size, uint32_t* count) {
    if (hostName == nullptr || size <= 0 || count == nullptr) {
        return StatusUnknown;
    }
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return StatusHostName;
    }
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return StatusInterfaces;
    }
    // Addresses that reach other machines first: serving to them is the point.
    std::vector<uint32_t> outward;
    std::vector<uint32_t> loopback;
    for (ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
        if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET ||
            (i->ifa_flags & IFF_UP) == 0) {
            continue;
        }
        uint32_t a = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr;
        auto& to = (i->ifa_flags & IFF_LOOPBACK) != 0 ? loopback : outward;
        if (std::find(to.begin(), to.end(), a) == to.end()) {
            to.push_back(a);
        }
    }
    ::freeifaddrs(list);
    outward.insert(outward.end(), loopback.begin(), loopback.end());
    std::snprintf(hostName, static_cast<std::size_t>(size), "%s", name);
    *count = static_cast<uint32_t>(outward.size());
    std::lock_guard lock(Net().m);
    Net().addresses = std::move(outward);
    return 0;
}

uint32_t NetworkGetLocalIP(uint32_t index) {
    std::lock_guard lock(Net().m);
    return index < Net().addresses.size() ? Net().addresses[index] : 0;
}

void NetworkToString(uint32_t address, char* text) {
    if (text == nullptr) {
        return;
    }
    // Network byte order: the first octet is the lowest byte.
    std::snprintf(text, 16, "%u.%u.%u.%u", address & 0xffu, (address >> 8) & 0xffu,
                  (address >> 16) & 0xffu, (address >> 24) & 0xffu);
}

int NetworkStartServer(uint32_t address, int mode, SuitDescriptorEx* descriptor,
                       NetworkCommandCallback command) {
    if (mode != 1 || descriptor == nullptr) {
        telvo::files::SetProblem(0, "the server takes mode 1 and a descriptor");
        return StatusBadArguments;
    }
    ServerOptions options;
    {
        std::lock_guard lock(Net().m);
        options = Net().options ? *Net().options
                                : telvo::sim::LoadServerOptions(telvo::sim::CurrentControls());
    }
    // Such a token could never arrive in one command: no client could ever command.
    if (options.token.size() > MaxTokenLength) {
        telvo::files::SetProblem(0, "the Token in telvoria-sim.ini is longer than 256 bytes");
        return StatusTokenTooLong;
    }
    StartRequest request;
    request.address = address;
    request.port = options.port;
    request.token = options.token;
    request.descriptor = descriptor;
    request.command = command;
    for (const std::string& target : options.vmcTargets) {
        if (auto to = Resolve(target)) {
            request.vmc.push_back(*to);
        }
    }
    return StartServer(request);
}

void NetworkStopServer() {
    StopServer();
}

void NetworkFinish() {
    StopServer();
}

void NetworkSendFrame(int channel, const Frame* frame) {
    if (channel == 0 && frame != nullptr) {
        SendFrame(*frame);
    }
}

uint16_t NetworkGetServerPort() {
    return RunningPort();
}
