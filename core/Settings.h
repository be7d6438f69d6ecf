#pragma once

#include <atomic>
#include <cstddef>
#include <string_view>

namespace telvo {

class IniFile;
using PrivateProfile = IniFile;

// A path setting: 259 characters and a terminator, as the INI values are.
constexpr std::size_t PathCapacity = 260;

// Copies text into a path buffer. A text that does not fit is refused (the buffer is left as
// it was): a path cut short names some other file.
bool SetPath(char (&buffer)[PathCapacity], std::string_view text);

// What the view draws: the values of the RenderType setting.
enum class RenderType : int { Nothing = 0, Wireframe = 1, Solid = 2, RawChannels = 3 };

// The user's settings, one member per key of section GyroSuit of "Telvoria.ini", named after
// its key. Integers are atomic because the frame pump and the timers read them on their own
// threads while commands change them on the window thread. Paths are touched on the window
// thread only.
struct SettingsValues {
    char CurrentActorFile[PathCapacity] = {};
    char CurrentActorFileDir[PathCapacity] = {};
    char CurrentFile[PathCapacity] = {};
    char CurrentFileDir[PathCapacity] = {};
    std::atomic<int> CurrentFileType{2};
    std::atomic<int> ShowAxes{1};
    std::atomic<int> ColorFront{1};
    std::atomic<int> ShowNorth{1};
    std::atomic<int> ShowGrid{1};
    std::atomic<int> ShowInfo{1};
    std::atomic<int> ReportFrameRate{0};
    std::atomic<int> ShowFootShadow{1};
    std::atomic<int> ShowContactPointRadii{1};
    std::atomic<int> FollowCharacter{0};
    std::atomic<int> ShowContactPoints{1};
    std::atomic<int> ShowNodeNames{0};
    std::atomic<int> ShowNodes{0};
    std::atomic<int> Loop{1};
    std::atomic<int> RenderType{2}; // telvo::RenderType::Solid
    std::atomic<float> FootLength{0.0f};
    std::atomic<float> HeelWidth{0.0f};
    std::atomic<float> BallWidth{0.0f};
    std::atomic<float> FootShortenOutside{0.0f};
    std::atomic<int> RecordLimitFS{5};
    std::atomic<int> RecordFramesOrSeconds{0};
    std::atomic<int> RecordStop{0};
    std::atomic<int> RecordBeep{1};
    std::atomic<int> PCBeep{0};
    std::atomic<int> RecordDelayEnable{0};
    std::atomic<int> RecordDelay{3};
    std::atomic<int> Autoload{1};
    std::atomic<int> LookForSuitOnStartup{1};
    std::atomic<int> SuitFlags{0};
    std::atomic<int> ShowMarkers{1};
    std::atomic<int> ShowMarkerNames{1};
    std::atomic<int> UseSwitches{0};
    std::atomic<int> Units{-1};
    // Marker tracking: written at close, never read, so it starts off at every start.
    std::atomic<int> EnableTracking{0};

    // Back to the values that hold at process start.
    void Reset();
};

extern SettingsValues Settings;

// The RenderType setting as what it means; any thread.
inline RenderType CurrentRender() {
    return static_cast<RenderType>(Settings.RenderType.load(std::memory_order_relaxed));
}

enum class SettingKind { Path, Integer, Float };

// One key of the table, in the order in which the keys are read.
struct SettingKey {
    const char* name;
    SettingKind kind;
    char (SettingsValues::*path)[PathCapacity];
    std::atomic<int> SettingsValues::*integer;
    std::atomic<float> SettingsValues::*real;
};

// The 37 keys read at start, in table order.
extern const SettingKey SettingKeys[37];

constexpr const char* SettingsFileName = "Telvoria.ini";
constexpr const char* SettingsSection = "GyroSuit";

// Reads every key into `values`. Integers default to their current value; floats keep their
// current value when missing or not a finite number; paths default to the empty text.
void LoadSettings(SettingsValues& values, const PrivateProfile& profile);
// Writes all 38 keys in table order (EnableTracking right after SuitFlags) into the profile.
void StoreSettings(const SettingsValues& values, PrivateProfile& profile);

} // namespace telvo
