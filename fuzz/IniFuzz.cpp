// Any bytes as an INI file: parsing, every read, a write and a re-read must hold up, and what
// is saved must read back the same. The program's settings are the keys read and written
// through it; the suit library reads the same bytes as its telvoria-sim.ini.
#include "base/IniFile.h"
#include "core/Settings.h"
#include "fuzz/Fuzz.h"
#include "telvoria/sim/Config.h"

#include <cstring>
#include <string_view>

using telvo::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    telvo::sim::ParseSetup(std::string(text));
    telvo::sim::ParseServerOptions(std::string(text));

    telvo::IniFile profile;
    profile.Parse(text);

    telvo::SettingsValues values;
    telvo::LoadSettings(values, profile);
    telvo::StoreSettings(values, profile);

    std::string saved = profile.Serialize();
    telvo::IniFile again;
    again.Parse(saved);
    telvo::SettingsValues reread;
    telvo::LoadSettings(reread, again);
    // Whole records: paths, integers and floats alike, byte for byte.
    Require(std::memcmp(&values, &reread, sizeof values) == 0);
    Require(again.Serialize() == saved);
    return 0;
}
