// Actor files (.ac): one line per measurement, lengths in the unit the file names.
// docs/formats.md lists the keys.
#include "base/SafeFile.h"
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "telvoria/formats/TextFile.h"
#include "telvoria/formats/TextNumbers.h"
#include "telvoria/skeleton/Actor.h"
#include "telvoria/skeleton/Body.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace telvo;
using files::InchesPer;
using files::Quoted;
using files::UnitCount;

constexpr std::string_view Signature = "TelvoViewActor";
constexpr int FormatVersion = 1;
// Far above any real actor file (about 4 KB), small enough to hold whole.
constexpr long MaxFileSize = 64 * 1024;

enum class Field {
    Bone,
    Radius,
    MarkerOffset,
    MarkerNode,
    UseTracker,
    FilterCoefficient,
    Relative
};

struct Key {
    std::string name;
    Field field;
    int node = 0;
    int numbers() const { return field == Field::Bone || field == Field::MarkerOffset ? 3 : 1; }
    bool length() const {
        return field == Field::Bone || field == Field::Radius || field == Field::MarkerOffset;
    }
};

// Every key of the file, in the order the writer puts them.
const std::vector<Key>& Keys() {
    static const std::vector<Key> keys = [] {
        std::vector<Key> k = {{"MarkerOffset", Field::MarkerOffset},
                              {"MarkerNode", Field::MarkerNode},
                              {"UseTracker", Field::UseTracker},
                              {"FilterCoefficient", Field::FilterCoefficient},
                              {"Relative", Field::Relative}};
        for (int i = 0; i < body::NodeCount; ++i) {
            k.push_back({std::string("Bone.") + body::NodeNames[i], Field::Bone, i});
        }
        for (int i = 0; i < body::NodeCount; ++i) {
            k.push_back({std::string("ContactRadius.") + body::NodeNames[i], Field::Radius, i});
        }
        return k;
    }();
    return keys;
}

struct Measurements {
    std::array<Vector, body::NodeCount> bones{};
    std::array<float, body::NodeCount> radii{};
    Vector markerOffset{};
    float markerNode = 0.0f;
    float useTracker = 0.0f;
    float filter = 0.0f;
    float relative = 0.0f;

    float* Numbers(const Key& key) {
        switch (key.field) {
        case Field::Bone:
            return &bones[key.node].x;
        case Field::Radius:
            return &radii[key.node];
        case Field::MarkerOffset:
            return &markerOffset.x;
        case Field::MarkerNode:
            return &markerNode;
        case Field::UseTracker:
            return &useTracker;
        case Field::FilterCoefficient:
            return &filter;
        case Field::Relative:
            break;
        }
        return &relative;
    }
};

static_assert(sizeof(Vector) == 3 * sizeof(float));

bool IsNodeNumber(float v) {
    return v >= 0.0f && v < static_cast<float>(body::NodeCount) && std::floor(v) == v;
}

int Failed(int line, const std::string& reason) {
    files::SetProblem(line, reason);
    return 0;
}

} // namespace

int GyroWriteActorData(const char* path, const ActorData* actor, int units) {
    if (path == nullptr || actor == nullptr) {
        return Failed(0, "no file or actor data given");
    }
    if (units < -1 || units >= UnitCount) {
        return Failed(0, "unknown unit " + std::to_string(units));
    }
    const int unit = units < 0 ? 0 : units;
    Measurements m;
    m.bones = body::ActorOffsets(*actor);
    std::memcpy(m.radii.data(), actor->ContactRadius, sizeof actor->ContactRadius);
    m.markerOffset = actor->MarkerOffset;
    m.markerNode = actor->MarkerNode;
    m.useTracker = actor->UseTracker;
    m.filter = actor->FilterCoefficient;
    m.relative = actor->Relative;
    if (!IsNodeNumber(m.markerNode)) {
        return Failed(0, "MarkerNode is not a node number");
    }

    std::string text =
        "# TelvoView actor measurements. Lengths in the unit below; each Bone is the\n"
        "# vector from the parent node in its axes, Bone.Hips the hips' standing\n"
        "# position above the floor origin.\n";
    text += Signature;
    text += " ";
    files::AppendNumber(text, FormatVersion);
    text += "\nUnit ";
    text += GyroGetUnitName(unit);
    text += "\n";
    for (const Key& key : Keys()) {
        const float* numbers = m.Numbers(key);
        text += key.name;
        for (int i = 0; i < key.numbers(); ++i) {
            if (!std::isfinite(numbers[i])) {
                return Failed(0, key.name + " is not a finite number");
            }
            text += " ";
            if (key.length() && unit != 0) {
                // Seven digits, what a float holds: 60.96 millimetres, not 60.960003.
                char digits[32];
                double v = numbers[i] / InchesPer[unit];
                auto end =
                    std::to_chars(digits, digits + sizeof digits, v, std::chars_format::general, 7);
                text.append(digits, end.ptr);
            } else {
                files::AppendNumber(text, numbers[i]);
            }
        }
        text += "\n";
    }
    SafeFile file(path);
    if (!file.IsOpen() || !file.Write(text) || !file.Commit()) {
        return Failed(0, file.Error());
    }
    files::ClearProblem();
    return 1;
}

namespace {

// Why the first line is not one this version reads; empty when it is.
std::string SignatureProblem(const std::vector<std::string_view>& tokens) {
    int version = 0;
    if (tokens[0] != Signature || tokens.size() != 2 || !files::ParseNumber(tokens[1], version)) {
        return "not an actor file";
    }
    if (version > FormatVersion) {
        return "made by a later version (format " + std::to_string(version) +
               ") that this one cannot read";
    }
    return {};
}

// The numbers of a key's line into the measurements, lengths converted to inches; the reason
// when one does not read.
std::string ReadNumbers(const Key& key, const std::vector<std::string_view>& tokens, int unit,
                        Measurements& m) {
    float* numbers = m.Numbers(key);
    for (int i = 0; i < key.numbers(); ++i) {
        std::string_view token = tokens[1 + static_cast<std::size_t>(i)];
        bool ok = false;
        if (!key.length() || unit == 0) {
            ok = files::ParseNumber(token, numbers[i]);
        } else if (double v = 0.0; files::ParseNumber(token, v)) {
            numbers[i] = static_cast<float>(v * InchesPer[unit]);
            ok = std::isfinite(numbers[i]);
        }
        if (!ok) {
            return "not a finite number" + Quoted(token);
        }
    }
    return {};
}

// The bones into the actor data; the first node whose bone it cannot hold, or -1.
int SetBones(ActorData& actor, const Measurements& m) {
    body::SetActorOffsets(actor, m.bones);
    auto kept = body::ActorOffsets(actor);
    for (int i = 0; i < body::NodeCount; ++i) {
        if (std::memcmp(&kept[i], &m.bones[i], sizeof(Vector)) != 0) {
            return i;
        }
    }
    return -1;
}

} // namespace

int GyroReadActorData(const char* path, ActorData* actor) {
    if (path == nullptr || actor == nullptr) {
        return Failed(0, "no file or actor data given");
    }
    std::string text;
    std::string error;
    if (!files::ReadSmallFile(path, MaxFileSize, "an actor file", text, error)) {
        return Failed(0, error);
    }
    const auto& keys = Keys();
    std::vector<int> seenOn(keys.size(), 0);
    Measurements m;
    int unit = -1;
    int unitLine = 0;
    bool sawSignature = false;
    files::LineReader lines(text);
    for (std::string_view row; lines.Next(row);) {
        const int line = lines.Number();
        auto tokens = files::Tokens(row);
        if (tokens.empty() || tokens[0].front() == '#') {
            continue;
        }
        std::string_view name = tokens[0];
        if (!sawSignature) {
            if (std::string why = SignatureProblem(tokens); !why.empty()) {
                return Failed(line, why);
            }
            sawSignature = true;
            continue;
        }
        if (name == "Unit") {
            if (unitLine != 0) {
                return Failed(line, "repeated key 'Unit' (first on line " +
                                        std::to_string(unitLine) + ")");
            }
            unit = tokens.size() == 2 ? files::UnitNamed(tokens[1]) : -1;
            if (unit < 0) {
                return Failed(line, "unknown unit" + (tokens.size() == 2 ? Quoted(tokens[1]) : ""));
            }
            unitLine = line;
            continue;
        }
        std::size_t k = 0;
        while (k < keys.size() && keys[k].name != name) {
            ++k;
        }
        if (k == keys.size()) {
            return Failed(line, "unknown key" + Quoted(name));
        }
        const Key& key = keys[k];
        if (seenOn[k] != 0) {
            return Failed(line, "repeated key '" + key.name + "' (first on line " +
                                    std::to_string(seenOn[k]) + ")");
        }
        seenOn[k] = line;
        if (static_cast<int>(tokens.size()) - 1 != key.numbers()) {
            return Failed(line, key.name + " takes " + std::to_string(key.numbers()) +
                                    (key.numbers() == 1 ? " number" : " numbers"));
        }
        if (key.length() && unit < 0) {
            return Failed(line, "a length before the Unit line");
        }
        if (std::string why = ReadNumbers(key, tokens, unit, m); !why.empty()) {
            return Failed(line, why);
        }
        if (key.field == Field::MarkerNode && !IsNodeNumber(m.markerNode)) {
            return Failed(line, "MarkerNode is not a node number from 0 to 29");
        }
    }
    if (!sawSignature) {
        return Failed(0, "not an actor file");
    }
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (seenOn[k] == 0) {
            return Failed(0, "missing key '" + keys[k].name + "'");
        }
    }
    ActorData read = body::DefaultActor();
    if (int bone = SetBones(read, m); bone >= 0) {
        std::size_t k = 0;
        while (keys[k].field != Field::Bone || keys[k].node != bone) {
            ++k;
        }
        return Failed(seenOn[k], keys[k].name + " is longer than any bone of a body");
    }
    std::memcpy(read.ContactRadius, m.radii.data(), sizeof read.ContactRadius);
    read.MarkerOffset = m.markerOffset;
    read.MarkerNode = m.markerNode;
    read.UseTracker = m.useTracker;
    read.FilterCoefficient = m.filter;
    read.Relative = m.relative;
    *actor = read;
    files::ClearProblem();
    return 1;
}
