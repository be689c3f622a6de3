// Speed of the track preview for the largest track (32767 lines): a repaint, which only
// draws the path computed before, and a change, which computes the path afresh and draws.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <numbers>

#include "preview/PathGeometry.h"
#include "preview/PathPicture.h"

using namespace Pelindra::Core;
using namespace Pelindra::Preview;

namespace {

constexpr int kLargestTrack = 32767;

// 12 "/min at PA 35 in 15-second lines at 1.8 "/px: 32767 lines, a straight path.
PathSource LargestTrack() {
    PathSource source;
    source.params.Motion = 12;
    source.params.PA = 35;
    source.params.TimeInterval = 15;
    source.params.PixSize = 1.8f;
    source.params.TotalTime = 8191.75f;
    source.sensorWidthPixels = 1280;
    source.sensorHeightPixels = 960;
    return source;
}

PathGeometry Straight() {
    auto path = PathFor(LargestTrack());
    if (!std::holds_alternative<PathGeometry>(path)) std::abort();
    return std::get<PathGeometry>(std::move(path));
}

// A path that turns through three quarters of a circle: each line's step points a little
// further round, as a close flyby's does, so few points lie within a pixel of the last.
PathGeometry Curved() {
    Pelindra::TrackFile::Steps steps;
    for (int k = 0; k < kLargestTrack; ++k) {
        const double angle = 1.5 * std::numbers::pi * k / kLargestTrack;
        steps.push_back(
            {static_cast<float>(0.2 * std::cos(angle)), static_cast<float>(0.2 * std::sin(angle))});
    }
    PathSetup setup;
    setup.intervalSeconds = 15;
    setup.arcsecPerPixel = 1.8;
    setup.sensorWidthPixels = 1280;
    setup.sensorHeightPixels = 960;
    return ComputePath(steps, setup);
}

PictureStyle Style() {
    QFont font("DejaVu Sans");
    font.setPixelSize(14);
    return {PaperPalette(), font, "."};
}

void Repaint(benchmark::State& state, PathGeometry (*make)()) {
    const PathPicture picture(make());
    const PictureStyle style = Style();
    QImage image(960, 720, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        picture.paint(painter, image.rect(), style);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK_CAPTURE(Repaint, straight, Straight)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Repaint, curved, Curved)->Unit(benchmark::kMillisecond);

// What a keystroke costs the preview: the steps, the path, its ticks and frame, and the
// first paint, which also thins the path to the screen's pixels.
void BM_PreviewChange(benchmark::State& state) {
    const PathSource source = LargestTrack();
    const PictureStyle style = Style();
    QImage image(960, 720, QImage::Format_RGB32);
    for (auto _ : state) {
        auto path = PathFor(source);
        const PathPicture picture(std::get<PathGeometry>(std::move(path)));
        QPainter painter(&image);
        picture.paint(painter, image.rect(), style);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_PreviewChange)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // Drawing text needs the GUI library, not a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
