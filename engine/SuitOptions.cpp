#include "engine/SuitOptions.h"

#include "core/Settings.h"
#include "engine/Detail.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"

#include <climits>

namespace telvo {

using detail::Window;

void ApplySuitOptions(GyroHandle suit) {
    GyroSetFlags(suit, Settings.SuitFlags);
    if (GyroEnableMarkerTracking(suit, Settings.EnableTracking) == 0 &&
        Settings.EnableTracking != 0) {
        Settings.EnableTracking = 0;
        Window().MessageBox("Tracker not detected", MessageButtons::Ok, MessageIcon::Exclamation);
        // The option dialogs refresh no marks themselves; a checked item would say tracking on.
        UpdateMenuState();
    }
    GyroSetActorData(suit, &Engine.ActorData);
}

namespace {

void CloseOpenSuit() {
    // Taken once: a timeout's Cancel on the library thread closes the suit only if it gets
    // the handle first.
    const GyroHandle closing = Engine.SuitHandle.exchange(0);
    Platform& window = Window();
    window.AnswerOtherThreadsAtOnce(true);
    GyroClose(closing);
    window.AnswerOtherThreadsAtOnce(false);
}

} // namespace

SuitInfo CloseSuitForInputOptions() {
    OnStop();
    SuitInfo info{};
    const GyroHandle open = Engine.SuitHandle;
    GyroGetSuitInfo(open, &info);
    if (open != 0) {
        GyroGetActorData(open, &Engine.ActorData);
    }
    CloseOpenSuit();
    if (info.FrameDivider == 0) {
        info.FrameDivider = 1;
    }
    return info;
}

void ReopenSuit(const SuitInfo& info) {
    // A client's Record run while the dialog was open may have opened one; it would go on
    // delivering unseen beside the new one.
    CloseOpenSuit();
    const GyroHandle suit = GyroOpen(&info, FrameCallback, SuitTimeoutCallback);
    Engine.SuitHandle = suit;
    if (suit != 0) {
        ApplySuitOptions(suit);
    }
}

TrackerFields TrackerFieldsOf(const ActorData& actor) {
    TrackerFields f;
    f.offsetX = actor.MarkerOffset.x;
    f.offsetY = actor.MarkerOffset.y;
    f.offsetZ = actor.MarkerOffset.z;
    const float node = actor.MarkerNode;
    f.markerNode = node > -1.0f && node < static_cast<float>(INT_MAX) ? static_cast<int>(node) : -1;
    f.useTracker = actor.UseTracker != 0.0f ? 1 : 0;
    f.filterCoefficient = actor.FilterCoefficient;
    f.relative = actor.Relative != 0.0f ? 1 : 0;
    return f;
}

void BeginTrackerOptions() {
    OnStop();
    if (const GyroHandle suit = Engine.SuitHandle; suit != 0) {
        GyroGetActorData(suit, &Engine.ActorData);
    }
}

void EndTrackerOptions(const TrackerFields* accepted, bool coordinateFileChanged) {
    if (accepted != nullptr) {
        ActorData& a = Engine.ActorData;
        const TrackerFields& f = *accepted;
        const auto node = static_cast<float>(f.markerNode);
        const auto use = static_cast<float>(f.useTracker);
        const auto relative = static_cast<float>(f.relative);
        // Compared as floats, the way they are stored: 3.7 differs from the 3 shown.
        if (use != a.UseTracker || relative != a.Relative || a.MarkerOffset.x != f.offsetX ||
            a.MarkerOffset.y != f.offsetY || a.MarkerOffset.z != f.offsetZ ||
            node != a.MarkerNode || a.FilterCoefficient != f.filterCoefficient) {
            a.UseTracker = use;
            a.Relative = relative;
            a.MarkerOffset = Vector(f.offsetX, f.offsetY, f.offsetZ);
            a.MarkerNode = node;
            a.FilterCoefficient = f.filterCoefficient;
            Engine.ActorDataChanged = 1;
        }
        if (coordinateFileChanged) {
            GyroFinishTracking();
        }
    }
    if (const GyroHandle suit = Engine.SuitHandle; suit != 0) {
        ApplySuitOptions(suit);
    }
}

void OnEnableTracking() {
    Settings.EnableTracking = Settings.EnableTracking != 0 ? 0 : 1;
    if (const GyroHandle suit = Engine.SuitHandle; suit == 0) {
        Settings.EnableTracking = 0;
    } else {
        Platform& window = Window();
        if (Settings.EnableTracking != 0) {
            window.SetStatusText(0, "Initializing Tracker...");
        }
        if (GyroEnableMarkerTracking(suit, Settings.EnableTracking) == 0 &&
            Settings.EnableTracking != 0) {
            Settings.EnableTracking = 0;
            window.MessageBox("Tracker not detected", MessageButtons::Ok, MessageIcon::Exclamation);
        }
        window.SetStatusText(0, "");
    }
    {
        std::lock_guard lock(Engine.DisplayMutex);
        Engine.DisplayFrame.Flags = 0;
    }
    UpdateMenuState();
}

} // namespace telvo
