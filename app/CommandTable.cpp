#include "CommandTable.h"

#include "core/CommandIds.h"

#include <QString>

namespace telvo {

namespace {

constexpr MenuEntry Item(int command, const char* text, bool checkable = false) {
    return {command, text, checkable};
}
constexpr MenuEntry Check(int command, const char* text) {
    return {command, text, true};
}
constexpr MenuEntry Separator() {
    return {0, "", false};
}

constexpr MenuEntry FileMenu[] = {
    Item(CmdOpen, "&Open...\tCtrl+O"),
    Item(CmdSaveAs, "Save &As...\tCtrl+A"),
    Item(CmdLoadActorFile, "&Load Actor File...\tCtrl+L"),
    Item(CmdStoreActorFile, "Store Actor &File..."),
    Item(CmdReloadLastActorFile, "&Reload Last Actor File\tCtrl+R"),
    Item(CmdLoadDefaultActorData, "Load &Default Actor Data\tCtrl+D"),
    Separator(),
    Item(CmdAbout, "A&bout TelvoView..."),
    Item(CmdExit, "E&xit\tAlt+X"),
};

constexpr MenuEntry OptionsMenu[] = {
    Check(CmdReportFrameRate, "&Report Frame Rate"),
    Check(CmdLookForSuitsOnStartup, "&Look For Suits On Startup"),
    Check(CmdSwapSpineGyroWithHips, "Swap Spine Gyro with Hips"),
    Check(CmdUseSpineForExtraGyro, "Use Spine for Extra Gyro"),
    Check(CmdUseSwitches, "Use Switches for Commands"),
    Check(CmdEnableJumping, "Enable &Jumping\tJ"),
    Check(CmdIgnoreFloor, "Ignore Floor"),
    Check(CmdEnableTracking, "Enable &Tracking\tCtrl+T"),
    Separator(),
    Check(CmdRenderSolid, "Render S&olid"),
    Check(CmdRenderWireframe, "Render &Wireframe"),
    Check(CmdRenderNothing, "Render Nothing"),
    Check(CmdDisplayRawChannels, "Display Raw Channels"),
    Separator(),
    Item(CmdInputOptions, "&Input Options...\tI"),
    Item(CmdTrackerOptions, "Tracker Options...\tO"),
    Item(CmdBvhFileOptions, "&BVH File Options..."),
    Separator(),
    Check(CmdLoopedPlayback, "Looped &Playback"),
    Check(CmdEnableServer, "Enable Server\tAlt+S"),
};

constexpr MenuEntry ViewMenu[] = {
    Check(CmdShowAxes, "Show &Axes"),
    Check(CmdShowGrid, "Show &Grid\tG"),
    Check(CmdShowNorth, "Show North\tCtrl+N"),
    Check(CmdShowContactShadows, "Show Contact Sha&dows\tCtrl+S"),
    Check(CmdShowContactPoints, "Show &Contact Points\tCtrl+P"),
    Check(CmdShowContactRadii, "Show Contact Radii\tCtrl+C"),
    Check(CmdShowNodes, "&Show Nodes"),
    Check(CmdShowNodeNames, "Show &Node Names"),
    Check(CmdShowInfo, "Show Info\tCtrl+I"),
    Check(CmdShowMarkers, "Show &Markers\tM"),
    Check(CmdShowMarkerNames, "Show Marker Names"),
    Check(CmdColorFront, "Color Front"),
    Check(CmdFollowCharacter, "Follow C&haracter\tCtrl+F"),
    Separator(),
    Item(CmdFrontView, "&Front View\tF"),
    Item(CmdRightSideView, "Right Side View\tR"),
    Item(CmdTopView, "Top View\tT"),
    Item(CmdCenterView, "Center &View\tC"),
    Item(CmdCenterSequence, "Center Se&quence\tQ"),
};

constexpr MenuEntry ActionsMenu[] = {
    Check(CmdStop, "&Stop\tEsc"),
    Check(CmdPlay, "&Play\tP"),
    Check(CmdPauseStep, "Pause/Step\tSpace"),
    Item(CmdStepBackwards, "Step Back&wards\t/"),
    Check(CmdRecord, "&Record\tAlt+R"),
    Item(CmdDecreasePlaybackRate, "Decrease Playback Rate\t-"),
    Item(CmdIncreasePlaybackRate, "Increase Playback Rate\t+"),
    Item(CmdNormalPlaybackRate, "Normal Playback Rate\t."),
    Separator(),
    Check(CmdLive, "&Live\tL"),
    Item(CmdSetNorth, "Set &North\tN"),
};

// Motors and LEDs show no check mark: the byte handed to the suit is not read back.
constexpr MenuEntry SettingsMenu[] = {
    Item(CmdRightMotor, "Right Motor\t1"), Item(CmdRightLed, "Right LED\t2"),
    Item(CmdLeftMotor, "Left Motor\t3"),   Item(CmdLeftLed, "Left LED\t4"),
    Item(CmdChestMotor, "Chest Motor\t5"),
};

constexpr MenuDefinition Menus[] = {
    {"&File", FileMenu},       {"&Options", OptionsMenu},  {"&View", ViewMenu},
    {"&Actions", ActionsMenu}, {"Settings", SettingsMenu},
};

constexpr Qt::KeyboardModifiers None = Qt::NoModifier;
constexpr Qt::KeyboardModifiers Ctrl = Qt::ControlModifier;
constexpr Qt::KeyboardModifiers Alt = Qt::AltModifier;

constexpr Accelerator Typed(char c, int command) {
    return {c, 0, None, command};
}
constexpr Accelerator Key(int key, Qt::KeyboardModifiers modifiers, int command) {
    return {0, key, modifiers, command};
}

constexpr Accelerator AcceleratorTable[] = {
    Typed('+', CmdIncreasePlaybackRate),
    Typed('-', CmdDecreasePlaybackRate),
    Typed('.', CmdNormalPlaybackRate),
    Typed('/', CmdStepBackwards),
    Key(Qt::Key_1, None, CmdRightMotor),
    Key(Qt::Key_2, None, CmdRightLed),
    Key(Qt::Key_3, None, CmdLeftMotor),
    Key(Qt::Key_4, None, CmdLeftLed),
    Key(Qt::Key_5, None, CmdChestMotor),
    Key(Qt::Key_A, Ctrl, CmdSaveAs),
    Key(Qt::Key_C, None, CmdCenterView),
    Key(Qt::Key_C, Ctrl, CmdShowContactRadii),
    Key(Qt::Key_D, Ctrl, CmdLoadDefaultActorData),
    Key(Qt::Key_F, None, CmdFrontView),
    Key(Qt::Key_F, Ctrl, CmdFollowCharacter),
    Key(Qt::Key_G, None, CmdShowGrid),
    Key(Qt::Key_I, None, CmdInputOptions),
    Key(Qt::Key_I, Ctrl, CmdShowInfo),
    Key(Qt::Key_J, None, CmdEnableJumping),
    Key(Qt::Key_L, None, CmdLive),
    Key(Qt::Key_L, Ctrl, CmdLoadActorFile),
    Key(Qt::Key_M, None, CmdShowMarkers),
    Key(Qt::Key_N, None, CmdSetNorth),
    Key(Qt::Key_N, Ctrl, CmdShowNorth),
    Key(Qt::Key_O, None, CmdTrackerOptions),
    Key(Qt::Key_O, Ctrl, CmdOpen),
    Key(Qt::Key_P, None, CmdPlay),
    Key(Qt::Key_P, Ctrl, CmdShowContactPoints),
    Key(Qt::Key_Q, None, CmdCenterSequence),
    Key(Qt::Key_R, None, CmdRightSideView),
    Key(Qt::Key_R, Ctrl, CmdReloadLastActorFile),
    Key(Qt::Key_R, Alt, CmdRecord),
    Key(Qt::Key_S, Ctrl, CmdShowContactShadows),
    Key(Qt::Key_S, Alt, CmdEnableServer),
    Key(Qt::Key_T, None, CmdTopView),
    Key(Qt::Key_T, Ctrl, CmdEnableTracking),
    Key(Qt::Key_Escape, None, CmdStop),
    Key(Qt::Key_Space, None, CmdPauseStep),
    Key(Qt::Key_X, Alt, CmdExit),
};
static_assert(std::size(AcceleratorTable) == 39);

// The modifiers a key entry compares; the keypad flag only tells where a key sits.
constexpr Qt::KeyboardModifiers Compared =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

} // namespace

std::span<const MenuDefinition> MenuBar() {
    return Menus;
}

std::span<const Accelerator> Accelerators() {
    return AcceleratorTable;
}

int FindAccelerator(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
    // A typed character comes without Ctrl and Alt; with them the key makes no character.
    const bool typing = !(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (typing && text.size() == 1) {
        for (const Accelerator& a : AcceleratorTable) {
            if (a.character != 0 && text.at(0) == QLatin1Char(a.character)) {
                return a.command;
            }
        }
    }
    for (const Accelerator& a : AcceleratorTable) {
        if (a.character == 0 && a.key == key && (modifiers & Compared) == a.modifiers) {
            return a.command;
        }
    }
    return 0;
}

} // namespace telvo
