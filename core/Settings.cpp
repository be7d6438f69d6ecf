#include "core/Settings.h"

#include "core/Text.h"
#include "platform/PrivateProfile.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace telvo {

SettingsValues Settings;

bool SetPath(char (&buffer)[PathCapacity], std::string_view text) {
    if (text.size() >= PathCapacity || text.find('\0') != std::string_view::npos) {
        return false;
    }
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return true;
}

namespace {

using V = SettingsValues;

constexpr SettingKey Path(const char* name, char (V::*member)[PathCapacity]) {
    return {name, SettingKind::Path, member, nullptr, nullptr};
}
constexpr SettingKey Int(const char* name, std::atomic<int> V::*member) {
    return {name, SettingKind::Integer, nullptr, member, nullptr};
}
constexpr SettingKey Real(const char* name, std::atomic<float> V::*member) {
    return {name, SettingKind::Float, nullptr, nullptr, member};
}

} // namespace

const SettingKey SettingKeys[37] = {
    Path("CurrentActorFile", &V::CurrentActorFile),
    Path("CurrentActorFileDir", &V::CurrentActorFileDir),
    Path("CurrentFile", &V::CurrentFile),
    Path("CurrentFileDir", &V::CurrentFileDir),
    Int("CurrentFileType", &V::CurrentFileType),
    Int("ShowAxes", &V::ShowAxes),
    Int("ColorFront", &V::ColorFront),
    Int("ShowNorth", &V::ShowNorth),
    Int("ShowGrid", &V::ShowGrid),
    Int("ShowInfo", &V::ShowInfo),
    Int("ReportFrameRate", &V::ReportFrameRate),
    Int("ShowFootShadow", &V::ShowFootShadow),
    Int("ShowContactPointRadii", &V::ShowContactPointRadii),
    Int("FollowCharacter", &V::FollowCharacter),
    Int("ShowContactPoints", &V::ShowContactPoints),
    Int("ShowNodeNames", &V::ShowNodeNames),
    Int("ShowNodes", &V::ShowNodes),
    Int("Loop", &V::Loop),
    Int("RenderType", &V::RenderType),
    Real("FootLength", &V::FootLength),
    Real("HeelWidth", &V::HeelWidth),
    Real("BallWidth", &V::BallWidth),
    Real("FootShortenOutside", &V::FootShortenOutside),
    Int("RecordLimitFS", &V::RecordLimitFS),
    Int("RecordFramesOrSeconds", &V::RecordFramesOrSeconds),
    Int("RecordStop", &V::RecordStop),
    Int("RecordBeep", &V::RecordBeep),
    Int("PCBeep", &V::PCBeep),
    Int("RecordDelayEnable", &V::RecordDelayEnable),
    Int("RecordDelay", &V::RecordDelay),
    Int("Autoload", &V::Autoload),
    Int("LookForSuitOnStartup", &V::LookForSuitOnStartup),
    Int("SuitFlags", &V::SuitFlags),
    Int("ShowMarkers", &V::ShowMarkers),
    Int("ShowMarkerNames", &V::ShowMarkerNames),
    Int("UseSwitches", &V::UseSwitches),
    Int("Units", &V::Units),
};

void SettingsValues::Reset() {
    const SettingsValues initial;
    for (const SettingKey& key : SettingKeys) {
        switch (key.kind) {
        case SettingKind::Path:
            std::memcpy(this->*key.path, initial.*key.path, PathCapacity);
            break;
        case SettingKind::Integer:
            (this->*key.integer).store((initial.*key.integer).load());
            break;
        case SettingKind::Float:
            (this->*key.real).store((initial.*key.real).load());
            break;
        }
    }
    EnableTracking = initial.EnableTracking.load();
}

void LoadSettings(SettingsValues& values, const PrivateProfile& profile) {
    for (const SettingKey& key : SettingKeys) {
        switch (key.kind) {
        case SettingKind::Path: {
            std::string text = profile.Find(SettingsSection, key.name).value_or(std::string());
            if (!SetPath(values.*key.path, text)) {
                (values.*key.path)[0] = '\0';
            }
            break;
        }
        case SettingKind::Integer: {
            std::atomic<int>& v = values.*key.integer;
            v = profile.GetInt(SettingsSection, key.name, v);
            break;
        }
        case SettingKind::Float: {
            std::optional<std::string> text = profile.Find(SettingsSection, key.name);
            if (text) {
                if (std::optional<float> f = ParseFloat(*text)) {
                    (values.*key.real).store(*f);
                }
            }
            break;
        }
        }
    }
}

void StoreSettings(const SettingsValues& values, PrivateProfile& profile) {
    char text[64];
    for (const SettingKey& key : SettingKeys) {
        switch (key.kind) {
        case SettingKind::Path:
            profile.WriteString(SettingsSection, key.name, values.*key.path);
            break;
        case SettingKind::Integer:
            std::snprintf(text, sizeof text, "%d", (values.*key.integer).load());
            profile.WriteString(SettingsSection, key.name, text);
            break;
        case SettingKind::Float:
            profile.WriteString(SettingsSection, key.name,
                                Format("%f", static_cast<double>((values.*key.real).load())));
            break;
        }
        if (key.integer == &V::SuitFlags) {
            std::snprintf(text, sizeof text, "%d", values.EnableTracking.load());
            profile.WriteString(SettingsSection, "EnableTracking", text);
        }
    }
}

} // namespace telvo
