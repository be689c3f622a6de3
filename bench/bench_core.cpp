// In-process speed of the hot paths: offsets, number reading, the largest track file
// (in memory and to disk) and the settings file.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdlib>

#include "core/AtomicFile.h"
#include "core/NumberReading.h"
#include "core/Offsets.h"
#include "settings/Settings.h"
#include "trackfile/TrackWriter.h"

using namespace Pelindra::Core;
using namespace Pelindra::TrackFile;
using namespace Pelindra::Settings;

namespace {

constexpr int kLargestTrack = 32767;

class NullDisplay : public OffsetDisplay, public Messages {
  public:
    void SetDeltaXCaption(const std::string& caption) override {
        benchmark::DoNotOptimize(caption);
    }
    void SetDeltaYCaption(const std::string& caption) override {
        benchmark::DoNotOptimize(caption);
    }
    void ShowError(const std::string&) override {}
};

class Boxes : public SettingsView {
  public:
    void SetMotionText(const std::string& text) override { motion_ = text; }
    void SetPAText(const std::string& text) override { pa_ = text; }
    void SetTimeIntervalText(const std::string&) override {}
    void SetWestValue(bool) override {}
    void SetEastValue(bool) override {}
    std::string MotionText() const override { return motion_; }
    std::string PAText() const override { return pa_; }

  private:
    std::string motion_ = "12", pa_ = "35";
};

TrackParams WorkedExample() {
    TrackParams p;
    p.Motion = 12;
    p.PA = 35;
    p.TimeInterval = 15;
    p.PixSize = 1.8f;
    p.TotalTime = 1.5f;
    return p;
}

void BM_UpdateOffsets(benchmark::State& state) {
    TrackParams p = WorkedExample();
    NullDisplay display;
    for (auto _ : state) {
        if (UpdateOffsets(p, display, display, ".") != UpdateResult::Shown) {
            state.SkipWithError("no offsets");
        }
        benchmark::DoNotOptimize(p.DeltaX);
    }
}
BENCHMARK(BM_UpdateOffsets);

void BM_ReadNumber(benchmark::State& state) {
    const std::string text = " 12.3456e1 arcsec";
    for (auto _ : state) benchmark::DoNotOptimize(ReadNumber(text));
}
BENCHMARK(BM_ReadNumber);

TrackParams LargestTrack() {
    TrackParams p = WorkedExample();
    NullDisplay display;
    if (UpdateOffsets(p, display, display, ".") != UpdateResult::Shown) std::abort();
    return p;
}

void BM_TrackToMemory(benchmark::State& state) {
    const TrackParams p = LargestTrack();
    for (auto _ : state) benchmark::DoNotOptimize(TrackText(p, kLargestTrack, "15", "."));
    state.SetItemsProcessed(state.iterations() * kLargestTrack);
    // Seconds per line, shown with an SI prefix (n = nanoseconds).
    state.counters["per_line"] = benchmark::Counter(
        kLargestTrack, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TrackToMemory)->Unit(benchmark::kMillisecond);

void BM_TrackToFile(benchmark::State& state) {
    const TrackParams p = LargestTrack();
    QTemporaryDir dir;
    const std::string path = dir.filePath("largest.trk").toStdString();
    for (auto _ : state) {
        const auto text = TrackText(p, kLargestTrack, "15", ".");
        if (WriteFileAtomically(path, *text)) state.SkipWithError("write failed");
    }
}
BENCHMARK(BM_TrackToFile)->Unit(benchmark::kMillisecond);

void BM_LoadSettings(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("Pelindra.ini").toStdString();
    TrackParams p = WorkedExample();
    Boxes boxes;
    if (SaveSettings(p, boxes, path)) state.SkipWithError("save failed");
    for (auto _ : state) {
        if (LoadSettings(p, boxes, path)) state.SkipWithError("load failed");
    }
}
BENCHMARK(BM_LoadSettings)->Unit(benchmark::kMicrosecond);

void BM_SaveSettings(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("Pelindra.ini").toStdString();
    const TrackParams p = WorkedExample();
    const Boxes boxes;
    for (auto _ : state) {
        if (SaveSettings(p, boxes, path)) state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_SaveSettings)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
