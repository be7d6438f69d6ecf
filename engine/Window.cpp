#include "engine/Detail.h"
#include "engine/EngineState.h"
#include "engine/SilentPlatform.h"

namespace telvo::detail {

Platform& Window() {
    static SilentPlatform silent;
    Platform* window = Engine.MainWindow.load();
    return window != nullptr ? *window : silent;
}

} // namespace telvo::detail
