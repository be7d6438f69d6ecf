#include "app/CommandTable.h"
#include "core/CommandIds.h"

#include <gtest/gtest.h>

#include <QKeySequence>
#include <QString>

#include <map>
#include <string>

namespace telvo {
namespace {

// The label after the tab, read back into a key, must name exactly the key the accelerator
// table acts on: a menu that shows one key and reacts to another misleads the operator.
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
        ASSERT_TRUE(labels.count(a.command)) << "no menu label for command " << a.command;
        const std::string label = labels[a.command];
        labels.erase(a.command); // a second accelerator for one command fails above
        if (a.character != 0) {
            EXPECT_EQ(label, std::string(1, a.character));
            continue;
        }
        const QKeySequence keys(QString::fromStdString(label == "Esc" ? "Escape" : label));
        ASSERT_EQ(keys.count(), 1) << label;
        EXPECT_EQ(keys[0].key(), a.key) << label;
        EXPECT_EQ(keys[0].keyboardModifiers(), a.modifiers) << label;
    }
}

TEST(CommandTable, TypedCharactersIgnoreShiftAndKeysNeedExactlyTheirModifiers) {
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        const char* text;
        int command;
    } presses[] = {
        {Qt::Key_Plus, Qt::ShiftModifier, "+", CmdIncreasePlaybackRate},
        {Qt::Key_Plus, Qt::KeypadModifier, "+", CmdIncreasePlaybackRate},
        {Qt::Key_Slash, Qt::ShiftModifier, "/", CmdStepBackwards}, // a layout with "/" shifted
        {Qt::Key_Period, Qt::NoModifier, ".", CmdNormalPlaybackRate},
        {Qt::Key_Plus, Qt::ControlModifier, "", 0}, // with Ctrl or Alt no character is typed
        {Qt::Key_Equal, Qt::NoModifier, "=", 0},    // the key under "+": only the character counts
        {Qt::Key_O, Qt::NoModifier, "o", CmdTrackerOptions},
        {Qt::Key_O, Qt::ControlModifier, "\x0f", CmdOpen},
        {Qt::Key_O, Qt::ShiftModifier, "O", 0},
        {Qt::Key_R, Qt::AltModifier, "r", CmdRecord},
        {Qt::Key_R, Qt::ControlModifier | Qt::AltModifier, "", 0},
        {Qt::Key_1, Qt::ShiftModifier, "!", 0},
        {Qt::Key_G, Qt::NoModifier, "G", CmdShowGrid}, // Caps Lock: the key counts, not the case
    };
    for (const auto& p : presses) {
        EXPECT_EQ(FindAccelerator(p.key, p.modifiers, QString::fromLatin1(p.text)), p.command)
            << "key " << p.key << " text '" << p.text << "' modifiers " << p.modifiers.toInt();
    }
}

} // namespace
} // namespace telvo
