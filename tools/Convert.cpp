// telvoview-convert: motion files without the window. Converts between BVH and recording
// files, exports SIMI tables, tells what a file holds and writes the posed node positions.
// Data goes to standard output, talk to standard error; exit 1 for bad input, 2 for bad usage.
#include "base/SafeFile.h"
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "tools/ToolText.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

constexpr const char* Usage =
    "usage: telvoview-convert IN OUT                convert by extension: .bvh, .tl; OUT may be "
    ".txt (SIMI) or .glb (glTF)\n"
    "       telvoview-convert --info IN             frames, timing, joints, and how a BVH figure "
    "maps\n"
    "       telvoview-convert --positions OUT.csv IN  posed node positions in inches (OUT - "
    "for standard output)\n"
    "       telvoview-convert --help\n";

enum class Kind { Unknown, Bvh, Tl, Simi, Glb };

Kind KindOf(std::string_view path) {
    std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || path.find('/', dot) != std::string_view::npos) {
        return Kind::Unknown;
    }
    std::string ext(path.substr(dot + 1));
    for (char& c : ext) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    return ext == "bvh"   ? Kind::Bvh
           : ext == "tl"  ? Kind::Tl
           : ext == "txt" ? Kind::Simi
           : ext == "glb" ? Kind::Glb
                          : Kind::Unknown;
}

constexpr const char* Tool = "telvoview-convert";

void Say(const std::string& line) {
    telvo::tool::Say(Tool, line);
}

int UsageError(const std::string& why) {
    return telvo::tool::UsageError(Tool, why, Usage);
}

// One line naming the file, the line where it applies and the reason.
int FileError(const std::string& path, const char* fallback) {
    const auto& problem = telvo::files::LastProblem();
    std::string where = path;
    if (problem.line > 0) {
        where += ":" + std::to_string(problem.line);
    }
    Say(where + ": " + (problem.reason.empty() ? fallback : problem.reason));
    return 1;
}

using telvo::tool::Append;

void AppendDigits(std::string& out, double value, int digits) {
    Append(out, value, std::chars_format::general, digits);
}

// A line on the terminal that says what is going on, once the work has taken a while.
class Progress {
public:
    Progress() {
        if (::isatty(STDERR_FILENO)) {
            thread_ = std::thread([this] { Run(); });
        }
    }
    ~Progress() {
        if (thread_.joinable()) {
            {
                std::lock_guard lock(mutex_);
                stop_ = true;
            }
            wake_.notify_one();
            thread_.join();
        }
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void Stage(std::string what, uint32_t total = 0) {
        std::lock_guard lock(mutex_);
        stage_ = std::move(what);
        total_ = total;
        done_ = 0;
    }
    void Done(uint32_t count) { done_.store(count, std::memory_order_relaxed); }

private:
    void Run() {
        const auto start = std::chrono::steady_clock::now();
        bool shown = false;
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, std::chrono::milliseconds(250), [this] { return stop_; })) {
            auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                               std::chrono::steady_clock::now() - start)
                               .count();
            if (seconds < 2) {
                continue;
            }
            std::string line = "\r\033[Ktelvoview-convert: " + stage_;
            if (total_ > 0) {
                line += " " + std::to_string(done_.load(std::memory_order_relaxed)) + " of " +
                        std::to_string(total_) + " frames";
            }
            line += ", " + std::to_string(seconds) + " s";
            std::fputs(line.c_str(), stderr);
            shown = true;
        }
        if (shown) {
            std::fputs("\r\033[K", stderr);
        }
    }

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::string stage_;
    uint32_t total_ = 0;
    std::atomic<uint32_t> done_{0};
};

struct Motion {
    Skeleton skeleton{};
    ActorData actor{};
    Kind kind = Kind::Unknown;
    Motion() { GyroInitSkeleton(&skeleton); }
    ~Motion() { GyroFreeSkeletonFrames(&skeleton); }
    Motion(const Motion&) = delete;
    Motion& operator=(const Motion&) = delete;
};

bool Read(const std::string& path, Motion& motion) {
    motion.kind = KindOf(path);
    if (motion.kind == Kind::Bvh) {
        if (GyroReadBVH(path.c_str(), &motion.skeleton) == 0) {
            return false;
        }
        GyroGetActorData(0, &motion.actor);
        GyroUpdateActorFromSkeleton(&motion.skeleton, &motion.actor);
        return true;
    }
    return GyroReadTL(path.c_str(), &motion.skeleton, &motion.actor) != 0;
}

// The companion of a SIMI table: the same name with ".imp".
std::string CompanionOf(const std::string& table) {
    std::size_t dot = table.rfind('.');
    std::size_t slash = table.rfind('/');
    bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? table.substr(0, dot) : table) + ".imp";
}

bool Write(const std::string& path, Kind kind, Motion& motion) {
    switch (kind) {
    case Kind::Bvh:
        return GyroWriteBVH(path.c_str(), &motion.skeleton) != 0;
    case Kind::Tl:
        return GyroWriteTL(path.c_str(), &motion.skeleton, &motion.actor) != 0;
    case Kind::Simi:
        return GyroWriteSIMI(path.c_str(), &motion.skeleton, CompanionOf(path).c_str()) != 0;
    case Kind::Glb:
        return GyroWriteGLB(path.c_str(), &motion.skeleton, &motion.actor) != 0;
    case Kind::Unknown:
        break;
    }
    return false;
}

std::string Timing(uint32_t frames, double period) {
    std::string text = "\nframes: ";
    Append(text, frames);
    text += "\nframe time: ";
    Append(text, static_cast<float>(period));
    text += " s (";
    AppendDigits(text, 1.0 / period, 7);
    text += " frames per second)\nduration: ";
    AppendDigits(text, frames * period, 7);
    return text + " s\n";
}

std::string RecordingInfo(const std::string& path, const Motion& motion) {
    const Skeleton& s = motion.skeleton;
    return "file: " + path + "\nformat: recording (.tl)" +
           Timing(s.FrameCount, static_cast<double>(s.FramePeriod)) + "unit: inches\n";
}

// Everything a BVH file holds; for a figure that is not human, why it cannot be mapped.
std::string BvhInfo(const std::string& path, const telvo::files::BvhOutline& outline) {
    std::string text =
        "file: " + path + "\nformat: BVH" + Timing(outline.frames, outline.frameTime);
    text += "channels: ";
    Append(text, outline.channels);
    text += "\njoints: ";
    Append(text, outline.joints);
    text += " and ";
    Append(text, outline.endSites);
    text += " end sites, ";
    Append(text, outline.depth);
    text += " levels below the root\nhierarchy:\n";
    for (const std::string& line : outline.levels) {
        text += "  " + line + "\n";
    }
    if (!outline.human) {
        return text + "cannot be mapped: " + outline.refusal + "\n";
    }
    const auto& source = outline.source;
    text += "unit: " + source.unit + "\ninches per file unit: ";
    AppendDigits(text, source.inchesPerUnit, 7);
    text += "\nnode <- file joint:\n";
    for (int i = 0; i < SkeletonNodeCount; ++i) {
        const auto n = static_cast<std::size_t>(i);
        const std::string& joint = source.joint[n];
        text += "  " + std::string(GyroGetNodeName(i)) + " <- " +
                (joint.empty() ? "(made up, moves with " + source.carrier[n] + ")" : joint) + "\n";
    }
    return text;
}

int Print(const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
}

// Writes all of text to fd; false on any failure.
bool WriteFd(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The posed positions as CSV: through a safe write to OUT, or to standard output.
int Positions(const std::string& out, Motion& motion, Progress& progress) {
    const bool toStdout = out == "-";
    std::optional<telvo::SafeFile> file;
    if (!toStdout) {
        file.emplace(out);
        if (!file->IsOpen()) {
            Say(out + ": " + file->Error());
            return 1;
        }
    }
    auto emit = [&](const std::string& text) {
        return toStdout ? WriteFd(STDOUT_FILENO, text) : file->Write(text);
    };
    std::string text = "frame,time";
    for (int i = 0; i < SkeletonNodeCount; ++i) {
        for (const char* axis : {".x", ".y", ".z"}) {
            text += std::string(",") + GyroGetNodeName(i) + axis;
        }
    }
    text += "\n";
    Skeleton& s = motion.skeleton;
    progress.Stage("writing positions", s.FrameCount);
    bool ok = true;
    for (uint32_t f = 0; f < s.FrameCount && ok; ++f) {
        GyroApplyFrame(&s, &s.Frames[f]);
        Append(text, f);
        text += ',';
        Append(text, static_cast<float>(f * static_cast<double>(s.FramePeriod)));
        for (const SkeletonNode& node : s.Nodes) {
            for (float v : {node.Position.x, node.Position.y, node.Position.z}) {
                text += ',';
                Append(text, v);
            }
        }
        text += '\n';
        if (text.size() > (1u << 20)) {
            ok = emit(text);
            text.clear();
            progress.Done(f + 1);
        }
    }
    ok = ok && emit(text) && (toStdout || file->Commit());
    if (!ok) {
        Say(out + ": " +
            (toStdout ? "cannot write: " + std::string(std::strerror(errno)) : file->Error()));
        return 1;
    }
    return 0;
}

int Run(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (telvo::tool::AskedForHelp(args, Usage)) {
        return 0;
    }
    const bool info = !args.empty() && args[0] == "--info";
    const bool positions = !args.empty() && args[0] == "--positions";
    if (args.size() != (positions ? 3u : 2u) ||
        (!info && !positions && (args[0].starts_with('-') || args[1].starts_with('-')))) {
        return UsageError(args.empty() ? "no files given" : "wrong arguments");
    }
    const std::string in(info || positions ? args.back() : args[0]);
    const std::string out(info ? "" : args[1]);
    if (KindOf(in) != Kind::Bvh && KindOf(in) != Kind::Tl) {
        return UsageError(in + ": reads .bvh and .tl files");
    }
    const Kind outKind = KindOf(out);
    if (!info && !positions && outKind == Kind::Unknown) {
        return UsageError(out + ": writes .bvh, .tl, .txt and .glb files");
    }

    Progress progress;
    progress.Stage("reading " + in);
    if (info && KindOf(in) == Kind::Bvh) {
        telvo::files::BvhOutline outline;
        if (!telvo::files::DescribeBvh(in.c_str(), outline)) {
            return FileError(in, "not a file this program can read");
        }
        return Print(BvhInfo(in, outline));
    }
    Motion motion;
    if (!Read(in, motion)) {
        return FileError(in, "not a file this program can read");
    }
    if (info) {
        return Print(RecordingInfo(in, motion));
    }
    if (positions) {
        return Positions(out, motion, progress);
    }
    progress.Stage("writing " + out);
    if (!Write(out, outKind, motion)) {
        return FileError(out, "cannot write the file");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return Run(argc, argv);
}
