// One paint of the 3D view on QPainter: the simulated performer, solid, every overlay on, in
// the front view, the top view and a view turned 30 degrees about both screen axes, copied to
// a window-sized image as the widget does. BM_PaintFloor fills and copies an empty picture
// of the same size: no renderer can be faster than that.
#include "bench/EnginePlatform.h"
#include "core/Settings.h"
#include "engine/EngineState.h"
#include "view/qt/QtSurface.h"
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaSim.h"
#include "view/Camera.h"
#include "view/Composition.h"
#include "view/ViewState.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdlib>
#include <cstring>

namespace telvo {
namespace {

void KeepFrame(const Frame* frame, SuitInfo*) {
    std::lock_guard lock(Engine.DisplayMutex);
    std::memcpy(static_cast<void*>(&Engine.DisplayFrame), frame, sizeof(Frame));
}

// An application for Qt's painting, and the simulated performer in mid-stride, live, with
// three markers and every info line; once for the whole program.
void Prepare() {
    static const bool done = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "paint_bench";
        static char* argv[] = {name, nullptr};
        new QGuiApplication(argc, argv); // lives to the end of the process
        sim::Reset();
        sim::UseConfigFile(false);
        sim::SetManualClock(true);
        sim::SetTrackerPresent(true);
        GyroInit();
        GyroHandle suit = GyroOpen(nullptr, KeepFrame, nullptr);
        Engine.SuitHandle = suit;
        sim::SetFrameFlags(suit,
                           FrameMarker0 | FrameMarker1 | FrameMarker2 | FrameThirdMarkerInUse |
                               FrameExternalSync | (2u << FrameSyncExponentShift) |
                               FrameMechanicalSuit,
                           0);
        sim::Deliver(suit, 150);
        GyroInitSkeleton(&Engine.Skeleton);
        GyroGetActorData(suit, &Engine.ActorData);
        GyroCopyActorToSkeleton(&Engine.Skeleton, &Engine.ActorData);
        Engine.ContactPointIndices = GyroGetContactPointIndexArray(&Engine.ContactPointCount);
        Engine.Live = 1;
        for (std::atomic<int>* on :
             {&Settings.ShowGrid, &Settings.ShowAxes, &Settings.ShowNorth, &Settings.ShowFootShadow,
              &Settings.ShowNodes, &Settings.ShowNodeNames, &Settings.ShowContactPointRadii,
              &Settings.ShowContactPoints, &Settings.ShowMarkers, &Settings.ShowMarkerNames,
              &Settings.ShowInfo, &Settings.ColorFront, &Settings.EnableTracking}) {
            *on = 1;
        }
        Settings.RenderType = static_cast<int>(RenderType::Solid);
        return true;
    }();
    benchmark::DoNotOptimize(done);
}

enum ViewKind { Front, Top, Turned };

void BM_Paint(benchmark::State& state) {
    Prepare();
    bench::EnginePlatform platform;
    platform.area = {static_cast<int>(state.range(1)), static_cast<int>(state.range(2))};
    state.range(0) == Top ? OnTopView(platform) : OnFrontView(platform);
    if (state.range(0) == Turned) {
        const float angle = 0.5235988f; // 30 degrees
        View.ViewRotation = Matrix::RotX(angle) * Matrix::RotY(angle) * FrontViewRotation;
    }
    View.ViewWidth = platform.area.width;
    View.ViewHeight = platform.area.height;
    OnCenterView(platform); // as the window does at start
    QImage window(platform.area.width, platform.area.height, QImage::Format_ARGB32_Premultiplied);
    QtPicture picture([&window](const QImage& image) { QPainter(&window).drawImage(0, 0, image); });
    for (auto _ : state) {
        Engine.PaintPending = 1;
        OnPaint(platform, picture);
        benchmark::DoNotOptimize(window.constBits());
    }
    static const char* const names[] = {"front", "top", "turned 30/30"};
    state.SetLabel(names[state.range(0)]);
}

void BM_PaintFloor(benchmark::State& state) {
    Prepare();
    const int w = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    QImage window(w, h, QImage::Format_ARGB32_Premultiplied);
    QImage image(w, h, QImage::Format_RGB32); // kept between paints, as the view keeps it
    for (auto _ : state) {
        QPainter(&image).fillRect(QRect(0, 0, w, h), QColor(128, 128, 128));
        QPainter(&window).drawImage(0, 0, image);
        benchmark::DoNotOptimize(window.constBits());
    }
}

void PaintSizes(benchmark::internal::Benchmark* b) {
    for (auto [w, h] : {std::pair{1280, 720}, std::pair{1920, 1080}}) {
        for (int kind : {Front, Top, Turned}) {
            b->Args({kind, w, h});
        }
    }
    b->ArgNames({"view", "w", "h"})->Unit(benchmark::kMillisecond);
    b->Repetitions(5)->ReportAggregatesOnly(true);
}
BENCHMARK(BM_Paint)->Apply(PaintSizes);
BENCHMARK(BM_PaintFloor)
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->ArgNames({"w", "h"})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace
} // namespace telvo
