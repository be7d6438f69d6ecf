#pragma once

// Flat triangles written straight into 32-bit pixels, the same pixels the raster engine would
// write for an aliased polygon with a 1-pixel pen: the solid body's faces, without the engine's
// per-polygon set-up.

#include "view/Surface.h"

#include <cstddef>
#include <cstdint>

namespace telvo {

// Fills the triangle; its corners and one pixel round them lie in the picture.
void FillTriangle(uint32_t* pixels, std::ptrdiff_t stride, const Point (&corners)[3],
                  uint32_t colour);

// Strokes the closed outline with a 1-pixel pen; the corners lie at least two pixels inside
// the picture and no two of them coincide.
void OutlineTriangle(uint32_t* pixels, std::ptrdiff_t stride, const Point (&corners)[3],
                     uint32_t colour);

} // namespace telvo
