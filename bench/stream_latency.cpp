// The frame server fed by a simulated suit at 120 frames per second, 1, 8 and 64 clients on
// 127.0.0.1, one never reading (of 8 and 64). Counters: sample time to arrival in the readers
// (median, 99th percentile, worst); NetworkSendFrame's cost on the pump's thread.
// BM_StreamNobodyListens: the process's CPU time over 2 s of frames with the server started and
// no client, against the same 2 s without a server; the frames the server encoded meanwhile.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaNet.h"
#include "telvoria/TelvoriaSim.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr auto Run = std::chrono::seconds(4); // short of the stalled client's disconnection

std::vector<double> sendNs(4096);
std::atomic<std::size_t> sends{0};

void Pump(const Frame* frame, SuitInfo*) {
    auto start = std::chrono::steady_clock::now();
    NetworkSendFrame(0, frame);
    auto ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start);
    std::size_t i = sends.fetch_add(1);
    if (i < sendNs.size()) {
        sendNs[i] = ns.count();
    }
}

int Connect(int receiveBuffer) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    at.sin_port = htons(NetworkGetServerPort());
    return ::connect(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 ? fd : -1;
}

double Quantile(std::vector<double>& v, double q) {
    auto at = v.begin() + static_cast<std::ptrdiff_t>(q * static_cast<double>(v.size() - 1));
    std::nth_element(v.begin(), at, v.end());
    return *at;
}

void BM_StreamLatency(benchmark::State& state) {
    const auto clients = static_cast<std::size_t>(state.range(0));
    std::vector<double> latencyUs;
    uint64_t gaps = 0;
    for (auto _ : state) {
        telvo::sim::Reset();
        telvo::sim::UseConfigFile(false);
        telvo::net::SetServerOptions({.port = 0, .vmcTargets = {}, .token = {}});
        GyroInit();
        static SuitDescriptorEx descriptor{};
        descriptor.FrameDivider = 1;
        if (NetworkStartServer(htonl(INADDR_LOOPBACK), 1, &descriptor, nullptr) != 0) {
            state.SkipWithError("the server did not start");
            break;
        }
        // A lone client reads; among more, one never does.
        int stalled = clients > 1 ? Connect(4096) : -1;
        std::vector<int> readers;
        for (std::size_t i = clients > 1 ? 1 : 0; i < clients; ++i) {
            readers.push_back(Connect(0));
        }
        sends = 0;
        std::atomic<bool> done{false};
        std::thread reading([&] {
            using Kind = telvo::net::StreamReader::Kind;
            std::vector<pollfd> polls;
            std::vector<telvo::net::StreamReader> streams(readers.size());
            std::vector<uint64_t> next(readers.size(), 0);
            for (int fd : readers) {
                polls.push_back({fd, POLLIN, 0});
            }
            auto greeting = std::make_unique<telvo::net::Greeting>();
            auto frame = std::make_unique<telvo::net::StreamFrame>();
            std::vector<char> buffer(1 << 16);
            while (!done) {
                if (::poll(polls.data(), polls.size(), 50) <= 0) {
                    continue;
                }
                for (std::size_t i = 0; i < polls.size(); ++i) {
                    if ((polls[i].revents & POLLIN) == 0) {
                        continue;
                    }
                    ssize_t n = ::recv(polls[i].fd, buffer.data(), buffer.size(), 0);
                    auto arrival = std::chrono::duration<double, std::nano>(
                                       std::chrono::system_clock::now().time_since_epoch())
                                       .count();
                    if (n <= 0) {
                        polls[i].fd = -1; // ignored by poll from now on
                        continue;
                    }
                    streams[i].Feed(buffer.data(), static_cast<std::size_t>(n));
                    for (Kind k; (k = streams[i].Next(*greeting, *frame)) != Kind::None;) {
                        if (k == Kind::Frame) {
                            latencyUs.push_back(
                                (arrival - static_cast<double>(frame->sampleTimeNs)) * 1e-3);
                            gaps += frame->sequence - std::exchange(next[i], frame->sequence + 1);
                        }
                    }
                }
            }
        });
        GyroHandle suit = GyroOpen(nullptr, Pump, nullptr);
        std::this_thread::sleep_for(Run);
        GyroClose(suit);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        done = true;
        reading.join();
        NetworkFinish();
        for (int fd : readers) {
            ::close(fd);
        }
        if (stalled >= 0) {
            ::close(stalled);
        }
    }
    std::vector<double> send(sendNs.begin(), sendNs.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                                  sends.load(), sendNs.size())));
    state.counters["latency_median_us"] = Quantile(latencyUs, 0.5);
    state.counters["latency_p99_us"] = Quantile(latencyUs, 0.99);
    state.counters["latency_worst_us"] = Quantile(latencyUs, 1.0);
    state.counters["send_median_us"] = Quantile(send, 0.5) * 1e-3;
    state.counters["send_p99_us"] = Quantile(send, 0.99) * 1e-3;
    state.counters["gaps_in_readers"] = static_cast<double>(gaps);
    telvo::net::ClearServerOptions();
    telvo::sim::Reset();
}

double ProcessCpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) * 1e-3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
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
        telvo::sim::Reset();
        telvo::sim::UseConfigFile(false);
        telvo::net::SetServerOptions({.port = 0, .vmcTargets = {}, .token = {}});
        GyroInit();
        static SuitDescriptorEx descriptor{};
        descriptor.FrameDivider = 1;
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
BENCHMARK(BM_StreamNobodyListens)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
