// SIMI text export: one line of posed node positions per frame, and a companion file that
// says what the columns hold. docs/formats.md shows both.
#include "base/SafeFile.h"
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/formats/TextNumbers.h"
#include "telvoria/skeleton/Actor.h"
#include "telvoria/skeleton/Body.h"
#include "telvoria/skeleton/Solver.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace {

using namespace telvo;

constexpr std::size_t FlushAt = std::size_t{1} << 20;
constexpr const char* Axes[3] = {".x", ".y", ".z"};

int Failed(const std::string& reason) {
    files::SetProblem(0, reason);
    return 0;
}

std::string BaseName(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Companion(const std::string& table, uint32_t frames, float period) {
    std::string text = "TelvoViewPositions 1\nTable ";
    text += BaseName(table);
    text += "\nFrames ";
    files::AppendNumber(text, frames);
    text += "\nFrameRate ";
    // Seven digits, as many as the float period holds: 60, not 59.99999761581421.
    char rate[32];
    auto written = std::to_chars(rate, rate + sizeof rate, 1.0 / static_cast<double>(period),
                                 std::chars_format::general, 7);
    text.append(rate, written.ptr);
    text += "\nFramePeriod ";
    files::AppendNumber(text, period);
    text += "\nUnit Inches\nAxes X left Y back Z up\nSeparator TAB\nColumns ";
    files::AppendNumber(text, 2 + 3 * body::NodeCount);
    text += "\nColumn 1 frame\nColumn 2 time\n";
    int column = 3;
    for (int node = 0; node < body::NodeCount; ++node) {
        for (const char* axis : Axes) {
            text += "Column ";
            files::AppendNumber(text, column++);
            text += " ";
            text += body::NodeNames[node];
            text += axis;
            text += "\n";
        }
    }
    return text;
}

} // namespace

int GyroWriteSIMI(const char* path, Skeleton* skeleton, const char* companionPath) {
    if (path == nullptr || skeleton == nullptr) {
        return Failed("no file or recording given");
    }
    uint32_t count = skeleton->Frames != nullptr ? skeleton->FrameCount : 0;
    float period = skeleton->FramePeriod;
    if (!std::isfinite(period) || period <= 0.0f) {
        return Failed("the frame period is not a positive number");
    }
    SafeFile table(path);
    if (!table.IsOpen()) {
        return Failed(table.Error());
    }
    const auto offsets = body::SkeletonOffsets(*skeleton);
    body::Pose pose;
    std::string text;
    text.reserve(FlushAt + 4096);
    for (uint32_t f = 0; f < count; ++f) {
        const Frame& frame = skeleton->Frames[f];
        Matrix sensors[body::SensorCount];
        std::memcpy(static_cast<void*>(sensors), frame.RawMatrices, sizeof sensors);
        body::Solve(offsets, sensors, frame.RootPosition, pose);
        files::AppendNumber(text, f);
        text += '\t';
        files::AppendNumber(text, static_cast<float>(f * static_cast<double>(period)));
        for (const Vector& p : pose.position) {
            for (float v : {p.x, p.y, p.z}) {
                text += '\t';
                files::AppendNumber(text, v);
            }
        }
        text += '\n';
        if (text.size() >= FlushAt) {
            table.Write(text);
            text.clear();
        }
    }
    table.Write(text);
    if (companionPath == nullptr) {
        return table.Commit() ? (files::ClearProblem(), 1) : Failed(table.Error());
    }
    SafeFile companion(companionPath);
    if (!companion.IsOpen()) {
        return Failed(companion.Error());
    }
    companion.Write(Companion(path, count, period));
    // Both files are complete on the disk before either replaces an older one.
    bool ok = table.Sync() && companion.Sync() && table.Commit() && companion.Commit();
    if (!ok) {
        return Failed(!table.Error().empty() ? table.Error() : companion.Error());
    }
    files::ClearProblem();
    return 1;
}
