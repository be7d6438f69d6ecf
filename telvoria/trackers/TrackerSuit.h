#pragma once

// The frames of a suit made of trackers: each configured segment turns as its tracker has
// turned since the null pose, the others follow their parent (the waist halfway between the
// hips and the chest), and the figure stands on the floor.

#include "telvoria/sim/FrameSource.h"
#include "telvoria/trackers/Receiver.h"

#include <memory>

namespace telvo::trackers {

std::unique_ptr<sim::FrameSource> MakeTrackerSuit(std::shared_ptr<Receiver> receiver);

} // namespace telvo::trackers
