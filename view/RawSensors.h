#pragma once

#include "Surface.h"
#include "geometry/Matrix.h"
#include "geometry/Vector.h"

namespace telvo {

inline constexpr float RawCellPitch = 120.0f; // pixels between cell centres
inline constexpr float RawAxisLength = 60.0f; // pixels per unit of a sensor axis
inline constexpr int RawNoteOffset = 16;      // pixels between a label and the note below it

// The raw channels: one axis cross per gyro sensor in a fixed 5 x 4 grid, drawn from the
// front whatever the user's view.
void DrawRawSensors(Surface& surface);

// The crosses of 19 given sensor orientations.
void DrawRawCrosses(Surface& surface, const Matrix (&raw)[19]);

// A sensor direction from the front, 60 pixels per unit, relative to the drawing area's centre
// (no scale or pan of the user's view).
Point ProjectGizmo(Vector direction);

} // namespace telvo
