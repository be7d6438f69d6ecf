#include "RawSensors.h"

#include "Camera.h"
#include "ViewMath.h"
#include "ViewState.h"
#include "engine/EngineState.h"
#include "suitlib/SuitLib.h"

#include <string>

namespace telvo {

namespace {

inline constexpr Pen FacingPen{2, Yellow};
inline constexpr Pen AwayPen{2, Blue};

} // namespace

Point ProjectGizmo(Vector d) {
    Matrix front = FrontViewRotation;
    float a = RawAxisLength * (front.RowX() * d);
    float b = -RawAxisLength * (front.RowY() * d);
    return {(View.ViewWidth >> 1) + RoundPixel(a), (View.ViewHeight >> 1) + RoundPixel(b)};
}

void DrawRawCrosses(Surface& surface, const Matrix (&raw)[19]) {
    static const char* const letters[3] = {"X", "Y", "Z"};
    Vector towardsViewer = Matrix(FrontViewRotation).RowZ();
    for (int i = 0; i < RawSensorCount; ++i) {
        float cx = static_cast<float>(-2 + i % 5);
        float cy = 1.5f - static_cast<float>(i / 5);
        int offX = static_cast<int>(cx * static_cast<double>(RawCellPitch));
        int offY = static_cast<int>(cy * static_cast<double>(RawCellPitch));
        surface.SetPen(FacingPen);
        Point centre = ProjectGizmo({0.0f, 0.0f, 0.0f});
        centre = {centre.x + offX, centre.y + offY};
        surface.SetTextColor(Green);
        surface.Text(centre.x, centre.y, "Gyro " + std::to_string(i));
        surface.SetTextColor(Red);
        for (int k = 0; k < 3; ++k) {
            Matrix sensor = raw[i];
            Vector d = k == 0 ? sensor.ColX() : k == 1 ? sensor.ColY() : sensor.ColZ();
            surface.SetPen(towardsViewer * d >= 0.0f ? FacingPen : AwayPen);
            Point tip = ProjectGizmo(d);
            tip = {tip.x + offX, tip.y + offY};
            surface.Line(centre, tip);
            surface.Text(tip.x, tip.y, letters[k]);
        }
    }
}

// What a suit of trackers adds: its silent sensors marked under their labels, and the trackers
// no key assigns listed from the bottom left, so that their MAC can be copied into the set-up.
void DrawTrackerNotes(Surface& surface, GyroHandle suit) {
    uint32_t silent = GyroGetSilentSensors(suit);
    surface.SetTextColor(Red);
    for (int i = 0; i < RawSensorCount; ++i) {
        if ((silent & (1u << i)) != 0) {
            float cx = static_cast<float>(-2 + i % 5);
            float cy = 1.5f - static_cast<float>(i / 5);
            Point centre = ProjectGizmo({0.0f, 0.0f, 0.0f});
            surface.Text(centre.x + static_cast<int>(cx * static_cast<double>(RawCellPitch)),
                         centre.y + static_cast<int>(cy * static_cast<double>(RawCellPitch)) +
                             RawNoteOffset,
                         "silent");
        }
    }
    surface.SetTextColor(Green);
    char name[64];
    int y = View.ViewHeight - RawNoteOffset;
    for (int k = 0; GyroGetUnassignedTracker(suit, k, name, sizeof name) != 0; ++k) {
        surface.Text(2, y, std::string("Unassigned tracker ") + name);
        y -= RawNoteOffset;
    }
}

void DrawRawSensors(Surface& surface) {
    Matrix raw[RawSensorCount];
    for (Matrix& m : raw) {
        m = MatrixIdentity;
    }
    if (Engine.Playback.load() != 0) {
        if (PreparePose() == 0) {
            return;
        }
        for (int i = 0; i < RawSensorCount; ++i) {
            raw[i] = View.ShownFrame.RawMatrices[i];
        }
    } else if (GyroHandle suit = Engine.SuitHandle.load(); suit != 0) {
        // A failed read would leave the matrices undefined: the crosses stay upright instead.
        if (GyroGetRaw(suit, raw, 1) == 0) {
            for (Matrix& m : raw) {
                m = MatrixIdentity;
            }
        }
    }
    surface.Save();
    DrawRawCrosses(surface, raw);
    if (GyroHandle suit = Engine.SuitHandle.load(); suit != 0 && Engine.Playback.load() == 0) {
        DrawTrackerNotes(surface, suit);
    }
    surface.Restore();
}

} // namespace telvo
