#include "telvoria/formats/CoordinateFile.h"

#include "telvoria/TelvoriaFiles.h"
#include "telvoria/formats/TextFile.h"
#include "telvoria/formats/TextNumbers.h"

#include <cmath>
#include <string>
#include <string_view>

namespace telvo::files {

namespace {

constexpr std::string_view Signature = "TelvoViewCoordinates";
constexpr int FormatVersion = 1;
constexpr long MaxFileSize = 16 * 1024;

std::nullopt_t Failed(int line, const std::string& reason) {
    SetProblem(line, reason);
    return std::nullopt;
}

} // namespace

std::optional<std::vector<Vector>> ReadCoordinateFile(const char* path) {
    if (path == nullptr) {
        return Failed(0, "no file given");
    }
    std::string text;
    std::string error;
    if (!ReadSmallFile(path, MaxFileSize, "a coordinate file", text, error)) {
        return Failed(0, error);
    }
    std::vector<Vector> emitters;
    bool sawSignature = false;
    int unit = -1;
    LineReader lines(text);
    for (std::string_view row; lines.Next(row);) {
        const int line = lines.Number();
        auto tokens = Tokens(row);
        if (tokens.empty() || tokens[0].front() == '#') {
            continue;
        }
        std::string_view key = tokens[0];
        if (!sawSignature) {
            int version = 0;
            if (key != Signature || tokens.size() != 2 || !ParseNumber(tokens[1], version)) {
                return Failed(line, "not a coordinate file");
            }
            if (version > FormatVersion) {
                return Failed(line, "made by a later version (format " + std::to_string(version) +
                                        ") that this one cannot read");
            }
            sawSignature = true;
        } else if (key == "Unit") {
            if (unit >= 0) {
                return Failed(line, "repeated key 'Unit'");
            }
            unit = tokens.size() == 2 ? UnitNamed(tokens[1]) : -1;
            if (unit < 0) {
                return Failed(line, "unknown unit" + (tokens.size() == 2 ? Quoted(tokens[1]) : ""));
            }
        } else if (key == "Emitter") {
            if (unit < 0) {
                return Failed(line, "an emitter before the Unit line");
            }
            if (emitters.size() == MaxEmitters) {
                return Failed(line, "more than 3 emitters");
            }
            if (tokens.size() != 4) {
                return Failed(line, "Emitter takes 3 numbers");
            }
            float at[3] = {};
            for (int i = 0; i < 3; ++i) {
                double v = 0.0;
                if (!ParseNumber(tokens[1 + i], v)) {
                    return Failed(line, "not a finite number" + Quoted(tokens[1 + i]));
                }
                v *= InchesPer[unit];
                if (!(std::fabs(v) <= MaxEmitterDistance)) {
                    return Failed(line, "an emitter more than 100 feet from the origin");
                }
                at[i] = static_cast<float>(v);
            }
            emitters.push_back({at[0], at[1], at[2]});
        } else {
            return Failed(line, "unknown key" + Quoted(key));
        }
    }
    if (!sawSignature) {
        return Failed(0, "not a coordinate file");
    }
    if (emitters.empty()) {
        return Failed(0, "no emitter");
    }
    ClearProblem();
    return emitters;
}

} // namespace telvo::files
