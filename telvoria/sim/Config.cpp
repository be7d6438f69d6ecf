#include "telvoria/sim/Config.h"

#include "telvoria/formats/CoordinateFile.h"
#include "telvoria/sim/Ini.h"
#include "telvoria/sim/Tracker.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace telvo::sim {

namespace {

constexpr long MaxSuits = 16;
constexpr const char* FileName = "telvoria-sim.ini";

Setup FromIni(const Ini& ini) {
    Setup setup;
    long count = ini.Integer("Simulation", "Suits", 1, 0, MaxSuits);
    setup.tracker = ini.Integer("Simulation", "Tracker", 0, 0, 1) != 0;
    setup.trackerSync = static_cast<int>(ini.Integer("Simulation", "TrackerSync", 2, -1, 7));
    setup.timeoutMs = static_cast<int>(ini.Integer("Simulation", "TimeoutMs", 1000, 1, 600000));
    for (long i = 1; i <= count; ++i) {
        std::string section = "Suit" + std::to_string(i);
        SimSuit desc;
        long number = ini.Integer(section, "Number", i, 0, 0xffff);
        desc.identity = static_cast<uint32_t>(
            ini.Integer(section, "Identity", number, 0, static_cast<long>(UINT32_MAX)));
        desc.name = ini.Text(section, "Name", i == 1 ? "Studio" : "Suit " + std::to_string(i));
        if (desc.name.size() > 15) {
            desc.name.resize(15);
        }
        desc.frameDivider = static_cast<uint32_t>(ini.Integer(section, "FrameDivider", 1, 0, 120));
        setup.suits.push_back(desc);
    }
    return setup;
}

net::ServerOptions ServerFromIni(const Ini& ini) {
    net::ServerOptions options;
    options.port = static_cast<uint16_t>(ini.Integer("Server", "Port", net::DefaultPort, 0, 65535));
    options.token = ini.Text("Server", "Token", "");
    std::string list = ini.Text("Server", "Vmc", "");
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

std::string ConfigPath(const Controls& controls, const char* name = FileName) {
    std::string folder =
        controls.configFolder.empty() ? DefaultConfigFolder() : controls.configFolder;
    return folder.empty() ? folder : folder + "/" + name;
}

} // namespace

std::string DefaultConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return std::string(xdg) + "/TelvoView";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return std::string(home) + "/.config/TelvoView";
    }
    return {};
}

Setup ParseSetup(const std::string& iniText) {
    return FromIni(Ini::Parse(iniText));
}

Setup LoadSetup(const Controls& controls) {
    Setup setup = FromIni(Ini{});
    if (std::string path = ConfigPath(controls); controls.useConfigFile && !path.empty()) {
        setup = FromIni(Ini::Load(path));
    }
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
    if (!controls.useConfigFile || ini.empty()) {
        return DefaultEmitters();
    }
    std::string file = Ini::Load(ini).Text("Vexomark", "CoordinateFile", "");
    if (file.empty()) {
        return DefaultEmitters();
    }
    return files::ReadCoordinateFile(file.c_str()).value_or(DefaultEmitters());
}

net::ServerOptions ParseServerOptions(const std::string& iniText) {
    return ServerFromIni(Ini::Parse(iniText));
}

net::ServerOptions LoadServerOptions(const Controls& controls) {
    std::string path = ConfigPath(controls);
    return ServerFromIni(controls.useConfigFile && !path.empty() ? Ini::Load(path) : Ini{});
}

} // namespace telvo::sim
