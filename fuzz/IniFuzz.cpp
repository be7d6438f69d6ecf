// Any bytes as an INI file: parsing, every read, a write and a re-read must hold up, and what
// is saved must read back the same. The program's settings are the keys read and written
// through it; the suit library reads the same bytes as its telvoria-sim.ini.
#include "base/IniFile.h"
#include "core/Settings.h"
#include "fuzz/Fuzz.h"
#include "telvoria/sim/Config.h"

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
    using telvo::SettingKind;
    for (const telvo::SettingKey& key : telvo::SettingKeys) {
        Require(key.kind == SettingKind::Path
                    ? std::string_view(values.*key.path) == std::string_view(reread.*key.path)
                : key.kind == SettingKind::Integer
                    ? (values.*key.integer).load() == (reread.*key.integer).load()
                    : (values.*key.real).load() == (reread.*key.real).load());
    }
    Require(again.Serialize() == saved);
    return 0;
}
