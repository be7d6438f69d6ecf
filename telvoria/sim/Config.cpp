#include "telvoria/sim/Config.h"

#include "base/ConfigFolder.h"
#include "base/IniFile.h"
#include "telvoria/formats/CoordinateFile.h"
#include "telvoria/sim/Tracker.h"
#include "telvoria/skeleton/Body.h"

#include <arpa/inet.h>

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

// "MAC" or "MAC/N" with N 0 to 255.
std::optional<trackers::Slot> SlotFrom(const std::string& text) {
    trackers::Slot slot;
    std::string_view t = text;
    std::size_t slash = t.find('/');
    if (!trackers::ParseMac(t.substr(0, slash), slot.mac)) {
        return std::nullopt;
    }
    if (slash != std::string_view::npos) {
        std::string n(t.substr(slash + 1));
        char* end = nullptr;
        errno = 0;
        long v = std::strtol(n.c_str(), &end, 10);
        if (n.empty() || errno != 0 || *end != '\0' || v < 0 || v > 255) {
            return std::nullopt;
        }
        slot.sensor = static_cast<uint8_t>(v);
    }
    return slot;
}

std::optional<TrackerSetup> TrackersFromIni(const IniFile& ini) {
    constexpr const char* Section = "Trackers";
    long port = Integer(ini, Section, "Port", 0, 0, 65535);
    if (port == 0) {
        return std::nullopt;
    }
    TrackerSetup t;
    t.receiver.port = static_cast<uint16_t>(port);
    in_addr address{};
    if (::inet_pton(AF_INET, Text(ini, Section, "Address", "0.0.0.0").c_str(), &address) != 1) {
        return std::nullopt; // listening elsewhere than asked is worse than not listening
    }
    t.receiver.address = address.s_addr;
    long number = Integer(ini, Section, "Number", 90, 0, 0xffff);
    t.suit.identity = static_cast<uint32_t>(number);
    t.suit.name = Text(ini, Section, "Name", "Trackers");
    if (t.suit.name.size() > 15) {
        t.suit.name.resize(15);
    }
    t.suit.frameDivider = static_cast<uint32_t>(Integer(ini, Section, "FrameDivider", 1, 0, 120));
    // Only the segments that carry a sensor in the frame can take a tracker.
    for (int sensor = 0; sensor < body::SensorCount; ++sensor) {
        const char* node = body::NodeNames[static_cast<std::size_t>(body::NodeOfSensor[sensor])];
        if (auto text = ini.Find(Section, node)) {
            if (auto slot = SlotFrom(*text)) {
                slot->suitSensor = sensor;
                t.receiver.slots.push_back(*slot);
            }
        }
    }
    return t;
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
    setup.trackers = TrackersFromIni(ini);
    return setup;
}

// The tracker suit is listed after the simulated ones, whichever list is in force.
void ListTrackerSuit(Setup& setup) {
    if (setup.trackers) {
        setup.suits.push_back(setup.trackers->suit);
    }
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
    Setup setup = FromIni(Parsed(iniText));
    ListTrackerSuit(setup);
    return setup;
}

bool IsTrackerSuit(const Setup& setup, std::size_t index) {
    return setup.trackers && index + 1 == setup.suits.size();
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
    ListTrackerSuit(setup);
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
