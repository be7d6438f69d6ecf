#pragma once

// The commands that only switch a setting, each defined once: the command flips its flag (or
// selects its value) and its check mark shows it.

#include "core/CommandIds.h"
#include "core/Settings.h"
#include "suitlib/SuitLib.h"

#include <atomic>

namespace telvo {

struct SettingToggle {
    int command;
    std::atomic<int> SettingsValues::*flag;
};

inline constexpr SettingToggle SettingToggles[] = {
    {CmdReportFrameRate, &SettingsValues::ReportFrameRate},
    {CmdLookForSuitsOnStartup, &SettingsValues::LookForSuitOnStartup},
    {CmdUseSwitches, &SettingsValues::UseSwitches},
    {CmdLoopedPlayback, &SettingsValues::Loop},
    {CmdShowAxes, &SettingsValues::ShowAxes},
    {CmdShowGrid, &SettingsValues::ShowGrid},
    {CmdShowNorth, &SettingsValues::ShowNorth},
    {CmdShowContactShadows, &SettingsValues::ShowFootShadow},
    {CmdShowContactPoints, &SettingsValues::ShowContactPoints},
    {CmdShowContactRadii, &SettingsValues::ShowContactPointRadii},
    {CmdShowNodes, &SettingsValues::ShowNodes},
    {CmdShowNodeNames, &SettingsValues::ShowNodeNames},
    {CmdShowInfo, &SettingsValues::ShowInfo},
    {CmdShowMarkers, &SettingsValues::ShowMarkers},
    {CmdShowMarkerNames, &SettingsValues::ShowMarkerNames},
    {CmdColorFront, &SettingsValues::ColorFront},
    {CmdFollowCharacter, &SettingsValues::FollowCharacter},
};

// A bit of SuitFlags, handed to the suit as it changes.
struct SuitFlagToggle {
    int command;
    int bit;
};

inline constexpr SuitFlagToggle SuitFlagToggles[] = {
    {CmdEnableJumping, SuitFlagJumping},
    {CmdIgnoreFloor, SuitFlagIgnoreFloor},
    {CmdSwapSpineGyroWithHips, SuitFlagSwapSpineHips},
    {CmdUseSpineForExtraGyro, SuitFlagSpineExtraGyro},
};

struct RenderChoice {
    int command;
    RenderType type;
};

inline constexpr RenderChoice RenderChoices[] = {
    {CmdRenderSolid, RenderType::Solid},
    {CmdRenderWireframe, RenderType::Wireframe},
    {CmdRenderNothing, RenderType::Nothing},
    {CmdDisplayRawChannels, RenderType::RawChannels},
};

// The table's entry for a command, or null.
template <class Entry, std::size_t N>
constexpr const Entry* FindCommand(const Entry (&table)[N], int command) {
    for (const Entry& entry : table) {
        if (entry.command == command) {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace telvo
