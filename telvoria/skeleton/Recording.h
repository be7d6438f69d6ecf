#pragma once

// The recording's frame array: one reserved stretch of address space per recording, committed
// as it grows, so the frames stay contiguous and an append never copies the ones before it.

#include "suitlib/SuitLib.h"

#include <cstdint>

namespace telvo::recording {

// Makes the skeleton hold exactly count frames (new ones zeroed); false when memory or the
// limit does not allow it, leaving the recording as it was.
bool Resize(Skeleton& skeleton, uint32_t count);
// Frees the frames if this library allocated them; the skeleton holds none afterwards.
void Release(Skeleton& skeleton);
// Whether the skeleton's frame array is one this library allocated and still owns.
bool Owned(const Skeleton& skeleton);

// A recording may hold at most this many frames (0: as many as memory allows).
void SetLimit(uint32_t frames);
uint32_t Limit();

} // namespace telvo::recording
