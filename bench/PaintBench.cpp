// One paint of the 3D view on QPainter: the simulated performer, solid, every overlay on, in
// the front view, the top view and a view turned 30 degrees about both screen axes, drawn into
// a window-sized image as the widget draws into its backing store. BM_PaintFloor fills and
// copies an empty picture of the same size, the old off-screen paint with nothing in it;
// BM_Paint measures that floor beside itself and reports its median paint against it
// (x_floor). BM_PaintWhileTurning turns the camera a little before every paint, as a drag does,
// so nothing the camera decides can be kept.
#include "bench/BenchSupport.h"
#include "bench/EnginePlatform.h"
#include "core/Settings.h"
#include "engine/EngineState.h"
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaSim.h"
#include "view/Camera.h"
#include "view/Composition.h"
#include "view/ViewState.h"
#include "view/qt/QtSurface.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdlib>
#include <cstring>
#include <vector>

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

// Fill and copy of an empty picture: the least a paint of that size can cost.
void PaintFloorOnce(QImage& image, QImage& window) {
    QPainter(&image).fillRect(image.rect(), QColor(128, 128, 128));
    QPainter(&window).drawImage(0, 0, image);
    benchmark::DoNotOptimize(window.constBits());
}

double FloorMs(int w, int h) {
    QImage window(w, h, QImage::Format_ARGB32_Premultiplied);
    QImage image(w, h, QImage::Format_RGB32);
    std::vector<double> ms;
    for (int i = 0; i < 100; ++i) {
        ms.push_back(bench::MsOf([&] { PaintFloorOnce(image, window); }));
    }
    return bench::Quantile(ms, 0.5);
}

// Paints of the view into a window-sized image, each timed; while turning, the camera turns a
// little before each.
std::vector<double> Paints(benchmark::State& state, int kind, int w, int h, bool turning) {
    Prepare();
    bench::EnginePlatform platform;
    platform.area = {w, h};
    kind == Top ? OnTopView(platform) : OnFrontView(platform);
    if (kind == Turned) {
        const float angle = 0.5235988f; // 30 degrees
        View.ViewRotation = Matrix::RotX(angle) * Matrix::RotY(angle) * FrontViewRotation;
    }
    OnCenterView(platform); // as the window does at start, sizing the view to the area
    const Matrix start = View.ViewRotation;
    QImage window(w, h, QImage::Format_ARGB32_Premultiplied); // the widget's backing store
    QtPicture picture(window);
    std::vector<double> ms;
    for (auto _ : state) {
        if (turning) {
            View.ViewRotation =
                Matrix::RotY(0.001f * static_cast<float>((ms.size() + 1) % 100)) * start;
        }
        ms.push_back(bench::MsOf([&] {
            Engine.PaintPending = 1;
            OnPaint(platform, picture);
            benchmark::DoNotOptimize(window.constBits());
        }));
    }
    return ms;
}

void BM_Paint(benchmark::State& state) {
    const int w = static_cast<int>(state.range(1));
    const int h = static_cast<int>(state.range(2));
    std::vector<double> ms = Paints(state, static_cast<int>(state.range(0)), w, h, false);
    const double floor = FloorMs(w, h);
    state.counters["floor_ms"] = floor;
    state.counters["x_floor"] = bench::Quantile(ms, 0.5) / floor;
    static const char* const names[] = {"front", "top", "turned 30/30"};
    state.SetLabel(names[state.range(0)]);
}

void BM_PaintWhileTurning(benchmark::State& state) {
    Paints(state, Turned, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), true);
}

void BM_PaintFloor(benchmark::State& state) {
    Prepare();
    const int w = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    QImage window(w, h, QImage::Format_ARGB32_Premultiplied);
    QImage image(w, h, QImage::Format_RGB32); // kept between paints, as the view kept it
    for (auto _ : state) {
        PaintFloorOnce(image, window);
    }
}

// Five repetitions in milliseconds of each size; the medians are the figures to read.
void Sized(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
}
void PaintSizes(benchmark::internal::Benchmark* b) {
    for (auto [w, h] : {std::pair{1280, 720}, std::pair{1920, 1080}}) {
        for (int kind : {Front, Top, Turned}) {
            b->Args({kind, w, h});
        }
    }
    Sized(b->ArgNames({"view", "w", "h"}));
}
BENCHMARK(BM_Paint)->Apply(PaintSizes);
BENCHMARK(BM_PaintWhileTurning)->Args({1920, 1080})->ArgNames({"w", "h"})->Apply(Sized);
BENCHMARK(BM_PaintFloor)->Args({1280, 720})->Args({1920, 1080})->ArgNames({"w", "h"})->Apply(Sized);

} // namespace
} // namespace telvo
