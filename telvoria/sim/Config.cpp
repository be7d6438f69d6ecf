#include "telvoria/sim/Config.h"

#include "telvoria/sim/Ini.h"

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
    if (controls.useConfigFile) {
        std::string folder =
            controls.configFolder.empty() ? DefaultConfigFolder() : controls.configFolder;
        if (!folder.empty()) {
            setup = FromIni(Ini::Load(folder + "/" + FileName));
        }
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
    if (controls.timeoutMs) {
        setup.timeoutMs = *controls.timeoutMs;
    }
    return setup;
}

} // namespace telvo::sim
