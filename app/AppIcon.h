#pragma once

class QIcon;

namespace telvo {

// The program's icon: a small figure in a suit, drawn at the sizes window managers ask for.
QIcon AppIcon();

} // namespace telvo
