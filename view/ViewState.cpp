#include "ViewState.h"

namespace telvo {

ViewState View;

void ViewState::Reset() {
    *this = ViewState{};
}

} // namespace telvo
