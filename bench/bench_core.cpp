// In-process speed of the hot paths: offsets, number reading, the largest track file
// (in memory and to disk), the settings file, and reading an ephemeris and its rate.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>

#include "core/AtomicFile.h"
#include "core/NumberReading.h"
#include "core/Offsets.h"
#include "ephemeris/Rate.h"
#include "ephemeris/Reader.h"
#include "ephemeris/UtcTime.h"
#include "settings/Settings.h"
#include "trackfile/Steps.h"
#include "trackfile/TrackWriter.h"

using namespace Pelindra::Core;
using namespace Pelindra::TrackFile;
using namespace Pelindra::Settings;
namespace Ephemeris = Pelindra::Ephemeris;

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

constexpr int kEphemerisRows = 100'000;

// "2026-Dec-07 21:30:00", as Horizons dates its rows.
std::string HorizonsDate(Ephemeris::UtcMs time) {
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::string iso = Ephemeris::FormatUtcTime(time);  // 2026-12-07T21:30:00Z
    return iso.substr(0, 5) + kMonths[std::stoi(iso.substr(5, 2)) - 1] + iso.substr(7, 3) + " " +
           iso.substr(11, 8);
}

// A night and more of one row a minute, with the quantities the Horizons fetch asks for
// (1, 3 and 47), as plain text or CSV.
std::string HorizonsTable(bool csv) {
    std::string text =
        "Target body name: 433 Eros (A898 PA)              {source: JPL#659}\n"
        "Center-site name: GEOCENTRIC\n"
        "Step-size       : 1 minutes\n";
    text += csv ? " Date__(UT)__HR:MN:SS, , , R.A._(ICRF), DEC_(ICRF), dRA*cosD, d(DEC)/dt, "
                  "Sky_motion, Sky_mot_PA,\n"
                : " Date__(UT)__HR:MN:SS     R.A._________(ICRF)_________DEC  dRA*cosD "
                  "d(DEC)/dt  Sky_motion  Sky_mot_PA\n";
    text += "$$SOE\n";
    const auto start = Ephemeris::ParseUtcTime("2026-12-07T18:00");
    char row[256];
    for (int i = 0; i < kEphemerisRows; ++i) {
        const std::string date = HorizonsDate(*start + i * std::int64_t{60'000});
        const double raRate = -45 + 0.0009 * i;  // arcsec per hour
        const double decRate = 20 - 0.0003 * i;
        const double seconds = 29.556113 + 0.0001 * i;
        const int length = std::snprintf(
            row, sizeof row,
            csv ? " %s,*,m, 08 21 %09.6f, +02 30 %08.5f, %9.5f, %9.5f, %11.7f, %11.6f,\n"
                : " %s *m  08 21 %09.6f +02 30 %08.5f %9.5f %9.5f %11.7f %11.6f\n",
            date.c_str(), seconds, 44.29204 - 0.00004 * i, raRate, decRate,
            std::hypot(raRate, decRate) / 60,
            std::fmod(std::atan2(raRate, decRate) * 180 / std::numbers::pi + 360, 360));
        text.append(row, static_cast<std::size_t>(length));
    }
    return text + "$$EOE\n";
}

void BM_ReadHorizons(benchmark::State& state, bool csv) {
    const std::string text = HorizonsTable(csv);
    for (auto _ : state) {
        const auto read = Ephemeris::ReadEphemeris(text);
        const auto* table = std::get_if<Ephemeris::Table>(&read);
        if (!table || table->rows.size() != kEphemerisRows) state.SkipWithError("not read");
        benchmark::DoNotOptimize(read);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
    state.counters["per_row"] =
        benchmark::Counter(kEphemerisRows, benchmark::Counter::kIsIterationInvariantRate |
                                               benchmark::Counter::kInvert);
}
BENCHMARK_CAPTURE(BM_ReadHorizons, text, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadHorizons, csv, true)->Unit(benchmark::kMillisecond);

void BM_RateAt(benchmark::State& state) {
    const auto read = Ephemeris::ReadEphemeris(HorizonsTable(false));
    if (!std::holds_alternative<Ephemeris::Table>(read)) {
        state.SkipWithError("not read");
        return;
    }
    const Ephemeris::Table& table = std::get<Ephemeris::Table>(read);
    const Ephemeris::UtcMs first = table.rows.front().time;
    const Ephemeris::UtcMs span = table.rows.back().time - first;
    // Moments all over the span, none on a row, so each search does its whole work.
    Ephemeris::UtcMs offset = 0;
    for (auto _ : state) {
        offset = (offset + 7'777'777) % span;
        const auto rate = Ephemeris::RateAt(table, first + offset);
        if (!std::holds_alternative<Ephemeris::Rate>(rate)) state.SkipWithError("no rate");
        benchmark::DoNotOptimize(rate);
    }
}
BENCHMARK(BM_RateAt);

// The largest track following the ephemeris, a row a minute, from a moment between rows:
// the steps integrated over each interval, then the lines.
void BM_FollowingTrackToMemory(benchmark::State& state) {
    const auto read = Ephemeris::ReadEphemeris(HorizonsTable(false));
    if (!std::holds_alternative<Ephemeris::Table>(read)) {
        state.SkipWithError("not read");
        return;
    }
    const Ephemeris::Table& table = std::get<Ephemeris::Table>(read);
    const Ephemeris::UtcMs start = table.rows.front().time + 1000 * 60'000 + 7'500;
    const TrackParams p = LargestTrack();
    for (auto _ : state) {
        const auto steps = FollowingSteps(table, start, p, kLargestTrack);
        const auto* lines = std::get_if<Steps>(&steps);
        if (!lines) {
            state.SkipWithError("not covered");
            return;
        }
        benchmark::DoNotOptimize(TrackTextFromSteps(*lines, "15", "."));
    }
    state.SetItemsProcessed(state.iterations() * kLargestTrack);
    state.counters["per_line"] = benchmark::Counter(
        kLargestTrack, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FollowingTrackToMemory)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
