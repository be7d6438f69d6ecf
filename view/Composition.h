#pragma once

#include <cstdint>
#include <string>

namespace telvo {

class Platform;
class Surface;

// Where a paint draws: a picture that the window shows only once it is finished, in one piece.
class PaintTarget {
public:
    virtual ~PaintTarget() = default;
    // A picture of the drawing area's size, valid until Present.
    virtual Surface& BeginPicture(int width, int height) = 0;
    // Finishes the picture; the window shows it whole.
    virtual void Present() = 0;
};

// The view's paint: measures the drawing area, composes the picture (grey, scene, status
// lines), presents it, updates the frame counter (pane 1) and the display rate (pane 2), and
// clears Engine.PaintPending as its very last step.
void OnPaint(Platform& platform, PaintTarget& target);

// The frame counter of pane 1 for the current modes.
std::string FrameCounterText();
// "Jumping" and the info lines over the scene, for a frame with these flags.
void DrawStatusLines(Surface& surface, uint32_t frameFlags);
// Counts one paint at `now` (milliseconds) into the display rate.
void CountPaint(uint32_t now);
// Pane 2 for the display rate measured so far.
std::string DisplayRateText();

} // namespace telvo
