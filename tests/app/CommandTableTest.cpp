#include "app/CommandTable.h"
#include "app/CommandIds.h"

#include <gtest/gtest.h>

#include <QKeySequence>
#include <QString>

#include <map>
#include <set>
#include <string>

namespace telvo {
namespace {

// The label after the tab, read back into a key and modifiers, must name exactly the key the
// accelerator table acts on: a menu that shows one key and reacts to another is a lie.
TEST(CommandTable, EveryLabelNamesItsAccelerator) {
    std::map<int, std::string> labels;
    for (const MenuDefinition& menu : MenuBar()) {
        for (const MenuEntry& entry : menu.entries) {
            const std::string text = entry.text;
            const auto tab = text.find('\t');
            if (entry.command != 0 && tab != std::string::npos) {
                EXPECT_TRUE(labels.emplace(entry.command, text.substr(tab + 1)).second)
                    << "two items for command " << entry.command;
            }
        }
    }
    ASSERT_EQ(labels.size(), Accelerators().size());

    std::set<int> commands;
    for (const Accelerator& a : Accelerators()) {
        ASSERT_TRUE(labels.count(a.command)) << "no menu label for command " << a.command;
        commands.insert(a.command);
        const std::string& label = labels[a.command];
        if (a.character != 0) {
            EXPECT_EQ(label, std::string(1, a.character));
            continue;
        }
        const QKeySequence sequence(QString::fromStdString(label == "Esc" ? "Escape" : label));
        ASSERT_EQ(sequence.count(), 1) << label;
        const QKeyCombination combination = sequence[0];
        EXPECT_EQ(combination.key(), a.key) << label;
        EXPECT_EQ(combination.keyboardModifiers(), a.modifiers) << label;
    }
    EXPECT_EQ(commands.size(), Accelerators().size()) << "a command with two accelerators";
}

TEST(CommandTable, MenusInOrderWithEveryCommandOnce) {
    const char* titles[] = {"&File", "&Options", "&View", "&Actions", "Settings"};
    ASSERT_EQ(MenuBar().size(), 5u);
    std::set<int> seen;
    int items = 0;
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_STREQ(MenuBar()[i].title, titles[i]);
        for (const MenuEntry& entry : MenuBar()[i].entries) {
            if (entry.command != 0) {
                ++items;
                EXPECT_TRUE(seen.insert(entry.command).second) << entry.text;
            }
        }
    }
    EXPECT_EQ(items, 58);
    // The five motor and LED items never show a mark.
    for (const MenuEntry& entry : MenuBar()[4].entries) {
        EXPECT_FALSE(entry.checkable) << entry.text;
    }
}

struct Press {
    int key;
    Qt::KeyboardModifiers modifiers;
    const char* text;
    int command;
};

TEST(CommandTable, TypedCharactersMatchWhateverTheShiftState) {
    const Press presses[] = {
        {Qt::Key_Plus, Qt::ShiftModifier, "+", CmdIncreasePlaybackRate},
        {Qt::Key_Plus, Qt::KeypadModifier, "+", CmdIncreasePlaybackRate},
        {Qt::Key_Plus, Qt::NoModifier, "+", CmdIncreasePlaybackRate},
        {Qt::Key_Minus, Qt::KeypadModifier, "-", CmdDecreasePlaybackRate},
        {Qt::Key_Period, Qt::NoModifier, ".", CmdNormalPlaybackRate},
        {Qt::Key_Slash, Qt::ShiftModifier, "/", CmdStepBackwards}, // a layout with "/" shifted
        // With Ctrl or Alt a key types no character.
        {Qt::Key_Plus, Qt::ControlModifier, "", 0},
        {Qt::Key_Plus, Qt::AltModifier | Qt::ShiftModifier, "+", 0},
        // "=" is the key under "+" on many keyboards: only the character counts.
        {Qt::Key_Equal, Qt::NoModifier, "=", 0},
    };
    for (const Press& p : presses) {
        EXPECT_EQ(FindAccelerator(p.key, p.modifiers, QString::fromLatin1(p.text)), p.command)
            << p.text << " with modifiers " << p.modifiers.toInt();
    }
}

TEST(CommandTable, KeysMatchWithExactlyTheirModifiers) {
    const Press presses[] = {
        {Qt::Key_O, Qt::NoModifier, "o", CmdTrackerOptions},
        {Qt::Key_O, Qt::ControlModifier, "\x0f", CmdOpen},
        {Qt::Key_O, Qt::ShiftModifier, "O", 0},
        {Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier, "", 0},
        {Qt::Key_R, Qt::NoModifier, "r", CmdRightSideView},
        {Qt::Key_R, Qt::ControlModifier, "\x12", CmdReloadLastActorFile},
        {Qt::Key_R, Qt::AltModifier, "r", CmdRecord},
        {Qt::Key_R, Qt::ControlModifier | Qt::AltModifier, "", 0},
        {Qt::Key_X, Qt::AltModifier, "x", CmdExit},
        {Qt::Key_X, Qt::NoModifier, "x", 0},
        {Qt::Key_S, Qt::NoModifier, "s", 0},
        {Qt::Key_1, Qt::NoModifier, "1", CmdRightMotor},
        {Qt::Key_1, Qt::ShiftModifier, "!", 0},
        {Qt::Key_Escape, Qt::NoModifier, "\x1b", CmdStop},
        {Qt::Key_Space, Qt::NoModifier, " ", CmdPauseStep},
        {Qt::Key_Space, Qt::ShiftModifier, " ", 0},
        // Caps Lock gives an upper-case text; the key is what counts.
        {Qt::Key_G, Qt::NoModifier, "G", CmdShowGrid},
    };
    for (const Press& p : presses) {
        EXPECT_EQ(FindAccelerator(p.key, p.modifiers, QString::fromLatin1(p.text)), p.command)
            << "key " << p.key << " with modifiers " << p.modifiers.toInt();
    }
}

} // namespace
} // namespace telvo
