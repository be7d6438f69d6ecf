#include "telvoria/sim/Config.h"

#include "base/ConfigFolder.h"
#include "base/IniFile.h"
#include "telvoria/formats/CoordinateFile.h"
#include "telvoria/sim/Tracker.h"

#include <cerrno>
#include <cstdlib>

namespace telvo::sim {

namespace {

constexpr long MaxSuits = 16;
constexpr const char* FileName = "telvoria-sim.ini";

// The whole value as an integer in [min, max]; fallback when missing, not a number or out of
// range. Stricter than the program's integer read: half a number in the simulation's own file
// is a mistake to ignore, not to guess at.
long Integer(const IniFile& ini, std::string_view section, std::string_view key, long fallback,
             long min, long max) {
    std::optional<std::string> text = ini.Find(section, key);
    if (!text || text->empty()) {
        return fallback;
    }
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text->c_str(), &end, 10);
    if (errno != 0 || end == text->c_str() || *end != '\0' || v < min || v > max) {
        return fallback;
    }
    return v;
}

std::string Text(const IniFile& ini, std::string_view section, std::string_view key,
                 const std::string& fallback) {
    return ini.Find(section, key).value_or(fallback);
}

IniFile Parsed(std::string_view text) {
    IniFile ini;
    ini.Parse(text);
    return ini;
}

// Unreadable counts as missing.
IniFile Loaded(const std::string& path) {
    IniFile ini(path);
    ini.Load();
    return ini;
}

Setup FromIni(const IniFile& ini) {
    Setup setup;
    long count = Integer(ini, "Simulation", "Suits", 1, 0, MaxSuits);
    setup.tracker = Integer(ini, "Simulation", "Tracker", 0, 0, 1) != 0;
    setup.trackerSync = static_cast<int>(Integer(ini, "Simulation", "TrackerSync", 2, -1, 7));
    setup.timeoutMs = static_cast<int>(Integer(ini, "Simulation", "TimeoutMs", 1000, 1, 600000));
    for (long i = 1; i <= count; ++i) {
        std::string section = "Suit" + std::to_string(i);
        SimSuit desc;
        long number = Integer(ini, section, "Number", i, 0, 0xffff);
        desc.identity = static_cast<uint32_t>(
            Integer(ini, section, "Identity", number, 0, static_cast<long>(UINT32_MAX)));
        desc.name = Text(ini, section, "Name", i == 1 ? "Studio" : "Suit " + std::to_string(i));
        if (desc.name.size() > 15) {
            desc.name.resize(15);
        }
        desc.frameDivider = static_cast<uint32_t>(Integer(ini, section, "FrameDivider", 1, 0, 120));
        setup.suits.push_back(desc);
    }
    return setup;
}

net::ServerOptions ServerFromIni(const IniFile& ini) {
    net::ServerOptions options;
    options.port =
        static_cast<uint16_t>(Integer(ini, "Server", "Port", net::DefaultPort, 0, 65535));
    options.token = Text(ini, "Server", "Token", "");
    std::string list = Text(ini, "Server", "Vmc", "");
    std::size_t at = 0;
    while (at < list.size()) {
        std::size_t end = list.find_first_of(", \t", at);
        end = end == std::string::npos ? list.size() : end;
        if (end > at) {
            options.vmcTargets.push_back(list.substr(at, end - at));
        }
        at = end + 1;
    }
    return options;
}

// Empty when the config files are not used or no folder is known.
std::string ConfigPath(const Controls& controls, const char* name = FileName) {
    if (!controls.useConfigFile) {
        return {};
    }
    std::string folder =
        controls.configFolder.empty() ? DefaultConfigFolder() : controls.configFolder;
    return folder.empty() ? folder : folder + "/" + name;
}

} // namespace

std::string DefaultConfigFolder() {
    return ConfigFolder().string();
}

Setup ParseSetup(const std::string& iniText) {
    return FromIni(Parsed(iniText));
}

Setup LoadSetup(const Controls& controls) {
    std::string path = ConfigPath(controls);
    Setup setup = FromIni(path.empty() ? IniFile() : Loaded(path));
    if (controls.suits) {
        setup.suits = *controls.suits;
        for (auto& s : setup.suits) {
            if (s.name.size() > 15) {
                s.name.resize(15);
            }
        }
    }
    if (controls.tracker) {
        setup.tracker = *controls.tracker;
    }
    if (controls.trackerSync) {
        setup.trackerSync = *controls.trackerSync;
    }
    if (controls.timeoutMs) {
        setup.timeoutMs = *controls.timeoutMs;
    }
    return setup;
}

std::vector<Vector> TrackerEmitters(const Controls& controls) {
    std::string ini = ConfigPath(controls, "Vexomark.ini");
    if (ini.empty()) {
        return DefaultEmitters();
    }
    std::string file = Text(Loaded(ini), "Vexomark", "CoordinateFile", "");
    if (file.empty()) {
        return DefaultEmitters();
    }
    return files::ReadCoordinateFile(file.c_str()).value_or(DefaultEmitters());
}

net::ServerOptions ParseServerOptions(const std::string& iniText) {
    return ServerFromIni(Parsed(iniText));
}

net::ServerOptions LoadServerOptions(const Controls& controls) {
    std::string path = ConfigPath(controls);
    return ServerFromIni(path.empty() ? IniFile() : Loaded(path));
}

} // namespace telvo::sim
