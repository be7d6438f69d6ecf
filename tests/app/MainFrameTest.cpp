// The real main window: keys reaching their commands, marks, title and panes following the
// program's state; and the table of menus and keys.
#include "WindowFixture.h"

#include "app/CommandTable.h"
#include "app/ViewWidget.h"
#include "core/CommandIds.h"
#include "core/Toggles.h"
#include "engine/Engine.h"

#include <QAction>
#include <QKeySequence>
#include <QLabel>

#include <functional>
#include <map>
#include <tuple>

namespace telvo::testing {
namespace {

using Window = WindowTest;

// Which key means which command is the table's (below); here the keys reach the window's
// commands, from the view too, with the characters they type.
TEST_F(Window, KeysReachTheirCommandsAndTheTitleAndPanesFollow) {
    Start();
    Key(Qt::Key_L);
    EXPECT_EQ(frame->Pane(0)->text(), QStringLiteral("Live"));
    Key(Qt::Key_L);
    EXPECT_EQ(frame->Pane(0)->text(), QStringLiteral("Ready"));
    Key(Qt::Key_Minus);
    Key(Qt::Key_Plus, Qt::ShiftModifier); // "+" typed with Shift
    EXPECT_EQ(Engine.PlaybackDivider.load(), 1);
    QTest::keyClick(frame->View(), Qt::Key_I, Qt::ControlModifier);
    EXPECT_EQ(Settings.ShowInfo.load(), 0);

    Key(Qt::Key_R, Qt::AltModifier);
    sim::Deliver(Engine.SuitHandle, 12);
    Key(Qt::Key_Escape); // stops with every frame kept
    EXPECT_TRUE(Checked(CmdStop));
    Key(Qt::Key_X, Qt::AltModifier); // the unsaved take: Cancel keeps the window
    EXPECT_FALSE(frame->Closed());
    onBox = [](const std::string&, MessageButtons) { return MessageAnswer::No; };
    Key(Qt::Key_X, Qt::AltModifier);
    EXPECT_TRUE(frame->Closed());
    EXPECT_EQ(boxes, std::vector<std::string>(
                         2, "The recording has not been saved.  Do you want to save it first?"));
}

// Every toggle flips its own setting (or its own bit of SuitFlags, keeping bits nobody knows)
// and its own check mark, once, and no other mark.
TEST_F(Window, EveryToggleFlipsItsOwnFlagAndItsOwnMark) {
    WriteSettings("[GyroSuit]\nSuitFlags=48\nLookForSuitOnStartup=0\n");
    Start();
    // Not looking for suits: none opened, nothing asked, and playback still has a period.
    ASSERT_EQ(Engine.SuitHandle.load(), 0);
    EXPECT_TRUE(boxes.empty());
    EXPECT_GT(Engine.Skeleton.FramePeriod, 0.0f);
    // The program's own tables say which flag is whose; here each flips once and alone.
    std::vector<std::pair<int, std::function<bool()>>> toggles;
    for (const SettingToggle& t : SettingToggles) {
        toggles.emplace_back(t.command, [flag = t.flag] { return (Settings.*flag).load() != 0; });
    }
    for (const SuitFlagToggle& t : SuitFlagToggles) {
        toggles.emplace_back(t.command, [bit = t.bit] { return (Settings.SuitFlags & bit) != 0; });
    }
    for (int round = 0; round < 2; ++round) {
        for (const auto& [command, on] : toggles) {
            const bool before = on();
            frame->Action(command)->trigger();
            EXPECT_NE(on(), before) << command;
            for (const auto& [other, otherOn] : toggles) {
                EXPECT_EQ(Checked(other), otherOn()) << other << " after " << command;
            }
        }
    }
    EXPECT_EQ(Settings.SuitFlags.load(), 48) << "two rounds give back every bit";

    frame->Action(CmdRenderWireframe)->trigger();
    for (int item : {CmdRenderSolid, CmdRenderWireframe, CmdRenderNothing, CmdDisplayRawChannels}) {
        EXPECT_EQ(Checked(item), item == CmdRenderWireframe);
    }
    Engine.PreviousAux = 0x41;
    frame->Action(CmdUseSwitches)->trigger();
    EXPECT_EQ(Engine.PreviousAux.load(), 0u);
}

// The label after the tab must name exactly the key the accelerator table acts on: a menu
// that shows one key and reacts to another misleads the operator.
TEST(CommandTable, EveryLabelNamesItsAccelerator) {
    std::map<int, std::string> labels;
    for (const MenuDefinition& menu : MenuBar()) {
        for (const MenuEntry& entry : menu.entries) {
            const std::string text = entry.text;
            if (entry.command != 0 && text.find('\t') != std::string::npos) {
                labels[entry.command] = text.substr(text.find('\t') + 1);
            }
        }
    }
    ASSERT_EQ(labels.size(), Accelerators().size());
    for (const Accelerator& a : Accelerators()) {
        const QKeySequence keys(QKeyCombination(a.modifiers, Qt::Key(a.key)));
        EXPECT_EQ(labels[a.command],
                  a.character != 0 ? std::string(1, a.character) : keys.toString().toStdString());
        labels.erase(a.command); // a second accelerator for one command finds no label
    }
}

TEST(CommandTable, TypedCharactersIgnoreShiftAndKeysNeedExactlyTheirModifiers) {
    // The window's test shows "+" typed with Shift.
    const std::tuple<int, Qt::KeyboardModifiers, const char*, int> presses[] = {
        {Qt::Key_Plus, Qt::ControlModifier, "", 0}, // with Ctrl or Alt no character is typed
        {Qt::Key_Equal, Qt::NoModifier, "=", 0},    // the key under "+": only the character counts
        {Qt::Key_O, Qt::ControlModifier, "\x0f", CmdOpen},
        {Qt::Key_O, Qt::ShiftModifier, "O", 0},
        {Qt::Key_R, Qt::ControlModifier | Qt::AltModifier, "", 0},
        {Qt::Key_G, Qt::NoModifier, "G", CmdShowGrid}, // Caps Lock: the key counts, not the case
    };
    for (const auto& [key, modifiers, text, command] : presses) {
        EXPECT_EQ(FindAccelerator(key, modifiers, QString::fromLatin1(text)), command)
            << "key " << key << " text '" << text << "' modifiers " << modifiers.toInt();
    }
}

} // namespace
} // namespace telvo::testing
