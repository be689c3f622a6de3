// Loading and saving the settings file over arbitrary file contents: every file loads
// without complaint into usable values, and what is then saved loads back the same.
#include <QDir>
#include <QTemporaryDir>
#include <cmath>
#include <fstream>
#include <limits>

#include "fuzz/FuzzInput.h"
#include "settings/Settings.h"

using namespace Pelindra::Core;
using namespace Pelindra::Settings;

namespace {

class Boxes : public SettingsView {
  public:
    void SetMotionText(const std::string& text) override { motion = text; }
    void SetPAText(const std::string& text) override { pa = text; }
    void SetTimeIntervalText(const std::string& text) override { interval = text; }
    void SetWestValue(bool selected) override { west = selected; }
    void SetEastValue(bool selected) override { east = selected; }
    std::string MotionText() const override { return motion; }
    std::string PAText() const override { return pa; }

    std::string motion, pa, interval;
    bool west = false, east = false;
};

// The INI reader drops blanks around a value and one pair of quotes, so only a text
// without them comes back byte for byte.
bool ReadsBackAsIs(const std::string& text) {
    if (text.empty()) return true;
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (blank(text.front()) || blank(text.back())) return false;
    const bool quoted = text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
                        text.back() == text.front();
    return !quoted;
}

// Floats are written to seven significant digits.
bool SameToSevenDigits(float a, float b) {
    const double difference = std::fabs(static_cast<double>(a) - static_cast<double>(b));
    return difference <= std::fabs(static_cast<double>(a)) * 1e-6 +
                             static_cast<double>(std::numeric_limits<float>::denorm_min());
}

// The fuzzer's own folder, removed when it exits.
const std::string& SettingsPath() {
    static QTemporaryDir folder(QDir::tempPath() + "/pelindra-fuzz-XXXXXX");
    static const std::string path = folder.filePath("Pelindra.ini").toStdString();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = SettingsPath();
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        file.close();
        FUZZ_CHECK(!file.fail());
    }
    TrackParams first;
    Boxes firstBoxes;
    FUZZ_CHECK(!LoadSettings(first, firstBoxes, path));
    FUZZ_CHECK(firstBoxes.west != firstBoxes.east);
    FUZZ_CHECK(firstBoxes.west == (first.EastWest != 0));
    FUZZ_CHECK(first.TimeInterval > 0);
    FUZZ_CHECK(!SaveSettings(first, firstBoxes, path));

    TrackParams second;
    Boxes secondBoxes;
    FUZZ_CHECK(!LoadSettings(second, secondBoxes, path));
    if (ReadsBackAsIs(firstBoxes.motion)) {
        FUZZ_CHECK(secondBoxes.motion == firstBoxes.motion && second.Motion == first.Motion);
    }
    if (ReadsBackAsIs(firstBoxes.pa)) {
        FUZZ_CHECK(secondBoxes.pa == firstBoxes.pa && second.PA == first.PA);
    }
    if (ReadsBackAsIs(first.Directory)) FUZZ_CHECK(second.Directory == first.Directory);
    FUZZ_CHECK(SameToSevenDigits(first.PixSize, second.PixSize));
    FUZZ_CHECK(SameToSevenDigits(first.TotalTime, second.TotalTime));
    FUZZ_CHECK(SameToSevenDigits(first.TimeInterval, second.TimeInterval));
    FUZZ_CHECK(second.MountType == first.MountType && second.EastWest == first.EastWest);
    FUZZ_CHECK(second.RaRevWest == first.RaRevWest && second.DecRevWest == first.DecRevWest);
    FUZZ_CHECK(second.RARevEast == first.RARevEast && second.DecRevEast == first.DecRevEast);
    return 0;
}
