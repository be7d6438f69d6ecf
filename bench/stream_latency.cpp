// The frame server fed by a simulated suit at 120 frames per second, 1, 8 and 64 clients on
// 127.0.0.1, one never reading (of 8 and 64). A client's arrival is the kernel's receive
// timestamp of its bytes, so the one epoll reader draining every socket in turn adds nothing
// to the later ones. Counters: sample time to arrival (median, 99th percentile, worst); of that,
// the suit's own part (sample time to the frame callback) and the spread over the clients
// (arrival after the frame's first arrival at any client, 99th percentile); NetworkSendFrame's
// cost on the pump's thread. BM_StreamLatencyNoneStalled: 64 clients that all read, the figure
// the stalled client must not change.
// BM_StreamNobodyListens: the process's CPU time over 2 s of frames with the server started and
// no client, against the same 2 s without a server; the frames the server encoded meanwhile.
#include "bench/BenchSupport.h"
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaNet.h"
#include "telvoria/TelvoriaSim.h"
#include "tests/support/Loopback.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace {

using telvo::bench::Quantile;
using telvo::bench::SteadyNs;

constexpr auto Run = std::chrono::seconds(4); // short of the stalled client's disconnection

std::vector<double> sendNs(4096);
std::vector<double> suitNs(4096); // sample time to the callback
std::atomic<std::size_t> sends{0};

void Pump(const Frame* frame, SuitInfo*) {
    int64_t start = SteadyNs();
    NetworkSendFrame(0, frame);
    int64_t end = SteadyNs();
    std::size_t i = sends.fetch_add(1);
    if (i < sendNs.size()) {
        sendNs[i] = static_cast<double>(end - start);
        suitNs[i] = static_cast<double>(start - telvo::sim::FrameTimestampNs(*frame));
    }
}

// A frame as one client received it.
struct Arrival {
    uint64_t sequence;
    double sampleNs; // real-time clock
    double arrivalNs;
};

// Reads every socket until told to stop: one epoll, each socket drained when it is ready, its
// bytes carrying the kernel's time of receipt.
class Readers {
public:
    explicit Readers(const std::vector<int>& fds)
        : fds_(fds), streams_(fds.size()), next_(fds.size()) {
        for (std::size_t i = 0; i < fds.size(); ++i) {
            const int on = 1;
            ::setsockopt(fds[i], SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
            epoll_event e{.events = EPOLLIN, .data = {.u64 = i}};
            ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fds[i], &e);
        }
    }
    ~Readers() { ::close(epoll_); }

    std::vector<Arrival> arrivals;
    uint64_t gaps = 0;

    void Run(const std::atomic<bool>& done) {
        std::vector<epoll_event> events(fds_.size() + 1);
        while (!done) {
            int n = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 50);
            for (int k = 0; k < n; ++k) {
                Drain(static_cast<std::size_t>(events[static_cast<std::size_t>(k)].data.u64));
            }
        }
    }

private:
    void Drain(std::size_t i) {
        using Kind = telvo::net::StreamReader::Kind;
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        iovec part{buffer_.data(), buffer_.size()};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        ssize_t n = ::recvmsg(fds_[i], &message, MSG_DONTWAIT);
        if (n <= 0) {
            if (n == 0) {
                ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fds_[i], nullptr);
            }
            return;
        }
        auto arrival = static_cast<double>(std::chrono::system_clock::now().time_since_epoch() /
                                           std::chrono::nanoseconds(1));
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec t{};
                std::memcpy(&t, CMSG_DATA(c), sizeof t);
                arrival = static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
            }
        }
        streams_[i].Feed(buffer_.data(), static_cast<std::size_t>(n));
        for (Kind k; (k = streams_[i].Next(*greeting_, *frame_)) != Kind::None;) {
            if (k == Kind::Frame) {
                arrivals.push_back(
                    {frame_->sequence, static_cast<double>(frame_->sampleTimeNs), arrival});
                gaps += frame_->sequence - std::exchange(next_[i], frame_->sequence + 1);
            }
        }
    }

    int epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    std::vector<int> fds_;
    std::vector<telvo::net::StreamReader> streams_;
    std::vector<uint64_t> next_;
    std::vector<char> buffer_ = std::vector<char>(1 << 16);
    std::unique_ptr<telvo::net::Greeting> greeting_ = std::make_unique<telvo::net::Greeting>();
    std::unique_ptr<telvo::net::StreamFrame> frame_ = std::make_unique<telvo::net::StreamFrame>();
};

// The library started afresh, with a server on any free port and the descriptor it serves.
SuitDescriptorEx& FreshLibrary() {
    telvo::sim::Reset();
    telvo::sim::UseConfigFile(false);
    telvo::net::SetServerOptions({.port = 0, .vmcTargets = {}, .token = {}});
    GyroInit();
    static SuitDescriptorEx descriptor{};
    descriptor.FrameDivider = 1;
    return descriptor;
}

void StreamTo(benchmark::State& state, std::size_t clients, bool oneStalled) {
    std::vector<Arrival> arrivals;
    uint64_t gaps = 0;
    for (auto _ : state) {
        SuitDescriptorEx& descriptor = FreshLibrary();
        if (NetworkStartServer(htonl(INADDR_LOOPBACK), 1, &descriptor, nullptr) != 0) {
            state.SkipWithError("the server did not start");
            break;
        }
        std::vector<int> fds; // the first never read when one is stalled
        for (std::size_t i = 0; i < clients; ++i) {
            fds.push_back(telvo::Connect(NetworkGetServerPort(), oneStalled && i == 0 ? 4096 : 0));
        }
        sends = 0;
        std::atomic<bool> done{false};
        Readers readers(std::vector<int>(fds.begin() + (oneStalled ? 1 : 0), fds.end()));
        std::thread reading([&] { readers.Run(done); });
        GyroHandle suit = GyroOpen(nullptr, Pump, nullptr);
        std::this_thread::sleep_for(Run);
        GyroClose(suit);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        done = true;
        reading.join();
        NetworkFinish();
        for (int fd : fds) {
            ::close(fd);
        }
        arrivals = readers.arrivals;
        gaps = readers.gaps;
    }
    std::map<uint64_t, double> first; // of each frame at any client
    for (const Arrival& a : arrivals) {
        double& earliest = first.try_emplace(a.sequence, a.arrivalNs).first->second;
        earliest = std::min(earliest, a.arrivalNs);
    }
    std::vector<double> latencyUs;
    std::vector<double> spreadUs;
    for (const Arrival& a : arrivals) {
        latencyUs.push_back((a.arrivalNs - a.sampleNs) * 1e-3);
        spreadUs.push_back((a.arrivalNs - first[a.sequence]) * 1e-3);
    }
    const auto made = static_cast<std::ptrdiff_t>(std::min(sends.load(), sendNs.size()));
    std::vector<double> send(sendNs.begin(), sendNs.begin() + made);
    std::vector<double> suit(suitNs.begin(), suitNs.begin() + made);
    state.counters["latency_median_us"] = Quantile(latencyUs, 0.5);
    state.counters["latency_p99_us"] = Quantile(latencyUs, 0.99);
    state.counters["latency_worst_us"] = Quantile(latencyUs, 1.0);
    state.counters["suit_to_pump_median_us"] = Quantile(suit, 0.5) * 1e-3;
    state.counters["suit_to_pump_p99_us"] = Quantile(suit, 0.99) * 1e-3;
    state.counters["spread_p99_us"] = Quantile(spreadUs, 0.99);
    state.counters["send_median_us"] = Quantile(send, 0.5) * 1e-3;
    state.counters["send_p99_us"] = Quantile(send, 0.99) * 1e-3;
    state.counters["gaps_in_readers"] = static_cast<double>(gaps);
    telvo::net::ClearServerOptions();
    telvo::sim::Reset();
}

void BM_StreamLatency(benchmark::State& state) {
    const auto clients = static_cast<std::size_t>(state.range(0));
    StreamTo(state, clients, clients > 1); // a lone client reads; among more, one never does
}

void BM_StreamLatencyNoneStalled(benchmark::State& state) {
    StreamTo(state, static_cast<std::size_t>(state.range(0)), false);
}

// Of every thread, user and system.
double ProcessCpuMs() {
    return 1e3 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// CPU time of the process while the suit delivers for two seconds.
double CpuOverTwoSeconds() {
    double before = ProcessCpuMs();
    GyroHandle suit = GyroOpen(nullptr, Pump, nullptr);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    GyroClose(suit);
    return ProcessCpuMs() - before;
}

void BM_StreamNobodyListens(benchmark::State& state) {
    double withServer = 0;
    double without = 0;
    std::size_t frames = 0;
    uint64_t encoded = 0;
    for (auto _ : state) {
        SuitDescriptorEx& descriptor = FreshLibrary();
        without = CpuOverTwoSeconds();
        if (NetworkStartServer(htonl(INADDR_LOOPBACK), 1, &descriptor, nullptr) != 0) {
            state.SkipWithError("the server did not start");
            break;
        }
        sends = 0;
        const uint64_t encodedBefore = telvo::net::FramesEncoded();
        withServer = CpuOverTwoSeconds();
        frames = sends;
        encoded = telvo::net::FramesEncoded() - encodedBefore;
        NetworkFinish();
    }
    state.counters["cpu_ms_server_no_client"] = withServer;
    state.counters["cpu_ms_no_server"] = without;
    state.counters["frames_sent"] = static_cast<double>(frames);
    state.counters["frames_encoded"] = static_cast<double>(encoded);
    telvo::net::ClearServerOptions();
    telvo::sim::Reset();
}

BENCHMARK(BM_StreamLatency)->Arg(1)->Arg(8)->Arg(64)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_StreamLatencyNoneStalled)->Arg(64)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_StreamNobodyListens)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
