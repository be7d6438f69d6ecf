#pragma once

#include <Qt>

#include <array>
#include <span>

class QString;

namespace telvo {

// One entry of a drop-down menu. A command of 0 is a separator line. The text holds the
// mnemonic (&) and, after a tab, the accelerator label.
struct MenuEntry {
    int command;
    const char* text;
    bool checkable; // its check mark follows the program's state
};

struct MenuDefinition {
    const char* title;
    std::span<const MenuEntry> entries;
};

// The menu bar, menus in order.
std::span<const MenuDefinition> MenuBar();

// A keyboard accelerator. A non-zero character matches the typed text, whatever the shift
// state that produced it; otherwise the key matches with exactly the given modifiers.
struct Accelerator {
    char character;
    int key;
    Qt::KeyboardModifiers modifiers;
    int command;
};

std::span<const Accelerator> Accelerators();

// The command of the accelerator that a key press matches, or 0.
int FindAccelerator(int key, Qt::KeyboardModifiers modifiers, const QString& text);

} // namespace telvo
