// telvoview-stream: a client of TelvoView's frame server on the command line. Shows the rate,
// saves what arrives, prints posed positions, sends Record, Play and Stop.
// Data goes to standard output, talk to standard error; exit 1 when the server cannot be
// reached, closes, or does not take the command; 2 for bad usage.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/TelvoriaNet.h"
#include "tools/ToolText.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace telvo::net;

constexpr const char* Usage =
    "usage: telvoview-stream [HOST[:PORT]] [options]   (default 127.0.0.1:7240)\n"
    "  --save FILE      record what arrives into FILE (.tl, .bvh or .glb) until Ctrl-C, "
    "--frames, --seconds\n"
    "  --frames N       stop after N frames\n"
    "  --seconds S      stop after S seconds\n"
    "  --positions      print the posed node positions (inches) as CSV on standard output\n"
    "  --record, --play, --stop   send that command to the server and exit\n"
    "  --token TEXT     the server's token (at most 256 bytes), sent before a command\n"
    "  --help\n"
    "Without --save or --positions it prints a line a second: frame rate, frames, gaps in the\n"
    "sequence numbers and the age of the newest frame.\n";

volatile std::sig_atomic_t interrupted = 0;

constexpr const char* Tool = "telvoview-stream";

void Say(const std::string& line) {
    telvo::tool::Say(Tool, line);
}

using telvo::tool::Append;
using telvo::tool::Number;

void AppendFixed(std::string& out, double value, int digits) {
    Append(out, value, std::chars_format::fixed, digits);
}

struct Options {
    std::string host = "127.0.0.1";
    uint16_t port = DefaultPort;
    std::string save;
    std::optional<uint64_t> frames;
    std::optional<double> seconds;
    bool positions = false;
    uint32_t command = 0;
    std::string token;
};

// Parses the arguments; a usage error's text when they are wrong.
std::optional<std::string> Parse(const std::vector<std::string_view>& args, Options& o) {
    bool hostGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view a = args[i];
        auto value = [&](std::string_view& v) {
            if (i + 1 >= args.size()) {
                return false;
            }
            v = args[++i];
            return true;
        };
        std::string_view v;
        if (a == "--record" || a == "--play" || a == "--stop") {
            if (o.command != 0) {
                return "give one of --record, --play and --stop";
            }
            o.command = a == "--record" ? CommandRecord : a == "--play" ? CommandPlay : CommandStop;
        } else if (a == "--positions") {
            o.positions = true;
        } else if (a == "--save" || a == "--token" || a == "--frames" || a == "--seconds") {
            if (!value(v)) {
                return std::string(a) + " needs a value";
            }
            uint64_t n = 0;
            double s = 0;
            if (a == "--save") {
                o.save = v;
            } else if (a == "--token" && v.size() <= MaxTokenLength) {
                o.token = v;
            } else if (a == "--token") {
                return "--token: longer than the 256 bytes a command carries";
            } else if (a == "--frames" && Number(v, n) && n > 0) {
                o.frames = n;
            } else if (a == "--seconds" && Number(v, s) && s > 0 && s < 1e9) {
                o.seconds = s;
            } else {
                return std::string(a) + ": not a positive number: " + std::string(v);
            }
        } else if (!a.starts_with('-') && !hostGiven) {
            hostGiven = true;
            std::size_t colon = a.rfind(':');
            o.host = a.substr(0, colon);
            if (colon != std::string_view::npos && !Number(a.substr(colon + 1), o.port)) {
                return "not a port: " + std::string(a.substr(colon + 1));
            }
        } else {
            return "unknown argument: " + std::string(a);
        }
    }
    if (o.command != 0 && (!o.save.empty() || o.positions || o.frames || o.seconds)) {
        return "a command is sent on its own";
    }
    auto saves = [&o](std::string_view ext) {
        return o.save.size() > ext.size() && o.save.ends_with(ext);
    };
    if (!o.save.empty() && !saves(".tl") && !saves(".bvh") && !saves(".glb")) {
        return o.save + ": saves .tl, .bvh and .glb files";
    }
    if (o.host.empty()) {
        return "no host given";
    }
    return std::nullopt;
}

class Connection {
public:
    ~Connection() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    std::string Open(const std::string& host, uint16_t port) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        std::string service = std::to_string(port);
        if (int e = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); e != 0) {
            return std::string("cannot find the host: ") + ::gai_strerror(e);
        }
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int error = fd_ < 0 || ::connect(fd_, found->ai_addr, found->ai_addrlen) != 0 ? errno : 0;
        ::freeaddrinfo(found);
        return error != 0 ? std::string("cannot connect: ") + std::strerror(error) : "";
    }
    bool Send(const std::string& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    // Reads what arrives within timeoutMs: >0 bytes, 0 nothing yet, -1 closed or failed.
    int Read(StreamReader& reader, int timeoutMs) {
        pollfd p{fd_, POLLIN, 0};
        int n = ::poll(&p, 1, timeoutMs);
        if (n <= 0) {
            return n < 0 && errno != EINTR ? -1 : 0;
        }
        char buffer[65536];
        ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR) {
            return 0;
        }
        if (got <= 0 || !reader.Feed(buffer, static_cast<std::size_t>(got))) {
            return -1;
        }
        return static_cast<int>(got);
    }

private:
    int fd_ = -1;
};

int64_t RealNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// What arrives, gathered into a recording the library's writers take.
struct Take {
    Skeleton skeleton{};
    ActorData actor{};
    Take() { GyroInitSkeleton(&skeleton); }
    ~Take() { GyroFreeSkeletonFrames(&skeleton); }
    Take(const Take&) = delete;
    Take& operator=(const Take&) = delete;
};

std::string CsvHeader() {
    std::string text = "frame,time";
    for (int i = 0; i < SkeletonNodeCount; ++i) {
        for (const char* axis : {".x", ".y", ".z"}) {
            text += std::string(",") + GyroGetNodeName(i) + axis;
        }
    }
    return text + "\n";
}

// Why the server did not take a command, from its answer.
std::string Refusal(uint32_t result) {
    switch (result) {
    case AnswerTooMany:
        return "the server dropped the command: too many commands; try again in a moment";
    case AnswerTokenNeeded:
        return "the server takes commands only with its token (--token)";
    case AnswerWrongToken:
        return "the server refused the token";
    case AnswerBanned:
        return "the server refuses this address for a while after a wrong token; try again later";
    default:
        return "the server did not take the command (answer " + std::to_string(result) + ")";
    }
}

int SendCommand(Connection& connection, const Options& o, const std::string& where) {
    StreamReader reader;
    Greeting greeting;
    StreamFrame frame;
    bool greeted = false;
    bool closed = false;
    std::vector<CommandAnswer> answers;
    // Reads until done(), the server closes, or 5 s have passed.
    auto readUntil = [&](auto done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done() && !closed && std::chrono::steady_clock::now() < end) {
            closed = connection.Read(reader, 100) < 0;
            for (StreamReader::Kind k;
                 (k = reader.Next(greeting, frame)) != StreamReader::Kind::None;) {
                greeted = greeted || k == StreamReader::Kind::Greeting;
                if (k == StreamReader::Kind::Answer) {
                    answers.push_back(reader.LastAnswer());
                }
            }
        }
        return done();
    };
    auto refused = [&] {
        return std::find_if(answers.begin(), answers.end(), [](const CommandAnswer& a) {
            return a.result != AnswerTaken && a.result != AnswerTokenAccepted;
        });
    };
    // The greeting says whether the server wants a token; a banned address gets only an answer.
    if (!readUntil([&] { return greeted || !answers.empty(); }) || !greeted) {
        Say(where + ": " +
            (refused() != answers.end() ? Refusal(refused()->result)
                                        : std::string("no greeting from the server")));
        return 1;
    }
    if ((greeting.flags & GreetingTokenRequired) != 0 && o.token.empty()) {
        Say(where + ": " + Refusal(AnswerTokenNeeded));
        return 1;
    }
    std::string bytes = o.token.empty() ? "" : EncodeCommand(CommandToken, o.token);
    const std::size_t expected = o.token.empty() ? 1 : 2;
    if (!connection.Send(bytes + EncodeCommand(o.command))) {
        Say(where + ": the server closed the connection");
        return 1;
    }
    // One answer per command sent, in order; the server closes after a refused token.
    readUntil([&] { return answers.size() >= expected || refused() != answers.end(); });
    if (refused() != answers.end()) {
        Say(where + ": " + Refusal(refused()->result));
        return 1;
    }
    if (answers.size() < expected) {
        Say(where + (closed ? ": the server closed the connection before taking the command"
                            : ": no answer from the server"));
        return 1;
    }
    return 0;
}

// What has arrived: counts and gaps, and the take or the positions it goes to.
struct Received {
    uint64_t count = 0;
    uint64_t gaps = 0;
    uint64_t lastSequence = 0;
    uint64_t secondFrames = 0;
    int64_t firstSample = 0;
    int64_t newestSample = 0;

    // False when the take cannot grow any more.
    bool Add(const StreamFrame& frame, Take* take, std::string* positions) {
        if (count > 0 && frame.sequence > lastSequence + 1) {
            gaps += frame.sequence - lastSequence - 1;
        }
        if (count == 0) {
            firstSample = frame.sampleTimeNs;
        }
        lastSequence = frame.sequence;
        newestSample = frame.sampleTimeNs;
        ++count;
        ++secondFrames;
        if (take) {
            take->skeleton.FramePeriod = static_cast<float>(frame.divider) / 120.0f;
            if (GyroAddFrame(&take->skeleton) == 0) {
                Say("out of memory after " + std::to_string(count) + " frames");
                return false;
            }
            take->skeleton.Frames[take->skeleton.FrameCount - 1] = frame.frame;
        }
        if (positions) {
            std::string& out = *positions;
            Append(out, frame.sequence);
            out += ',';
            Append(out, static_cast<float>(static_cast<double>(newestSample - firstSample) * 1e-9));
            for (const Vector& p : frame.position) {
                for (float v : {p.x, p.y, p.z}) {
                    out += ',';
                    Append(out, v);
                }
            }
            out += '\n';
        }
        return true;
    }

    // "119.8 frames/s, 240 frames, 0 gaps, newest 1.2 ms old"
    std::string RateLine(int64_t now, int64_t secondStart) const {
        std::string line;
        AppendFixed(
            line, static_cast<double>(secondFrames) * 1e9 / static_cast<double>(now - secondStart),
            1);
        line += " frames/s, ";
        Append(line, count);
        line += " frames, ";
        Append(line, gaps);
        line += " gaps, newest ";
        AppendFixed(line, count > 0 ? static_cast<double>(now - newestSample) * 1e-6 : 0.0, 1);
        line += " ms old";
        return line;
    }
};

int Save(Take& take, const std::string& path) {
    int ok = path.ends_with(".bvh")   ? GyroWriteBVH(path.c_str(), &take.skeleton)
             : path.ends_with(".glb") ? GyroWriteGLB(path.c_str(), &take.skeleton, &take.actor)
                                      : GyroWriteTL(path.c_str(), &take.skeleton, &take.actor);
    if (ok == 0) {
        const std::string& why = telvo::files::LastProblem().reason;
        Say(path + ": " + (why.empty() ? "cannot write the file" : why));
        return 1;
    }
    return 0;
}

// Watches, saves or prints what arrives until told to stop; 1 when the server ends it.
int Receive(Connection& connection, const Options& o, const std::string& where) {
    std::signal(SIGINT, [](int) { interrupted = 1; });
    std::signal(SIGTERM, [](int) { interrupted = 1; });
    const bool watch = o.save.empty() && !o.positions;
    const bool live = watch || ::isatty(STDERR_FILENO);
    std::unique_ptr<Take> take = o.save.empty() ? nullptr : std::make_unique<Take>();
    StreamReader reader;
    auto greeting = std::make_unique<Greeting>();
    auto frame = std::make_unique<StreamFrame>();
    bool greeted = false;
    uint32_t refusal = AnswerTaken;
    Received got;
    const int64_t start = RealNs();
    int64_t secondStart = start;
    std::string out;
    if (o.positions) {
        out = CsvHeader();
    }
    int status = 0;
    while (!interrupted && !(o.frames && got.count >= *o.frames) &&
           !(o.seconds && static_cast<double>(RealNs() - start) * 1e-9 >= *o.seconds)) {
        int n = connection.Read(reader, 100);
        StreamReader::Kind kind;
        while ((kind = reader.Next(*greeting, *frame)) != StreamReader::Kind::None &&
               !(o.frames && got.count >= *o.frames)) {
            if (kind == StreamReader::Kind::Answer) {
                refusal = reader.LastAnswer().result;
                continue;
            }
            if (kind == StreamReader::Kind::Greeting) {
                greeted = greeting->version == ProtocolVersion;
                if (take) {
                    take->actor = greeting->actor;
                    GyroCopyActorToSkeleton(&take->skeleton, &take->actor);
                }
                continue;
            }
            if (!greeted) {
                continue;
            }
            if (!got.Add(*frame, take.get(), o.positions ? &out : nullptr)) {
                interrupted = 1;
                break;
            }
        }
        if (!out.empty()) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            std::fflush(stdout);
            out.clear();
        }
        if (n < 0) {
            Say(where + (refusal != AnswerTaken ? ": " + Refusal(refusal)
                         : greeted              ? ": the server closed the connection"
                                   : ": not a frame server, or it closed the connection"));
            status = 1;
            break;
        }
        int64_t now = RealNs();
        if (live && now - secondStart >= 1000000000) {
            const std::string line = got.RateLine(now, secondStart);
            if (watch) {
                std::fputs((line + "\n").c_str(), stdout);
                std::fflush(stdout);
            } else {
                std::fputs(("\r\033[K" + line).c_str(), stderr);
            }
            secondStart = now;
            got.secondFrames = 0;
        }
    }
    if (live && !watch) {
        std::fputs("\r\033[K", stderr);
    }
    if (take && take->skeleton.FrameCount == 0) {
        Say("no frame arrived; " + o.save + " not written");
        return 1;
    }
    if (take && Save(*take, o.save) != 0) {
        return 1;
    }
    if (!watch) {
        Say(std::to_string(got.count) + " frames, " + std::to_string(got.gaps) + " gaps" +
            (take ? ", saved " + o.save : std::string()));
    }
    return status;
}

int Run(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (telvo::tool::AskedForHelp(args, Usage)) {
        return 0;
    }
    Options o;
    if (auto error = Parse(args, o)) {
        return telvo::tool::UsageError(Tool, *error, Usage);
    }
    std::string where = o.host + ":" + std::to_string(o.port);
    Connection connection;
    if (std::string error = connection.Open(o.host, o.port); !error.empty()) {
        Say(where + ": " + error);
        return 1;
    }
    return o.command != 0 ? SendCommand(connection, o, where) : Receive(connection, o, where);
}

} // namespace

int main(int argc, char** argv) {
    return Run(argc, argv);
}
