// Tracks that follow arbitrary tables of rates, with or without a declination: every line
// has its fixed form, its sign follows its step, each written step lies within 0.15 pixel of
// its exact step, and after every line the written sums stay within a tenth of the exact
// sums (of the double-precision path, when the track has one).
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <variant>

#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzMount.h"
#include "trackfile/Steps.h"

using namespace Pelindra::Core;
using namespace Pelindra::TrackFile;
using Pelindra::Ephemeris::Table;
using Pelindra::Ephemeris::UtcMs;

namespace {

// A rate in arcsec per minute from two bytes: up to about 330 either way, fine near zero.
double Rate(FuzzInput& input) {
    const auto raw = static_cast<std::int16_t>(input.Byte() << 8 | input.Byte());
    return raw / 100.0;
}

// The written step of a field such as "+1.3" or "-0.0", checked for its form.
double Step(std::string_view field) {
    FUZZ_CHECK(field.size() >= 4 && (field[0] == '+' || field[0] == '-'));
    FUZZ_CHECK(field[field.size() - 2] == '.');
    return std::strtod(std::string(field).c_str(), nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    TrackParams params;
    params.TimeInterval = 0.5f + static_cast<float>(input.Byte()) / 4;
    params.PixSize = 0.05f + static_cast<float>(input.Byte()) / 16;
    params.CameraAngle = static_cast<float>(input.Byte()) * 360 / 256;
    TakeMount(input, params);
    const int lines = 1 + input.Byte() * 4 + input.Byte() / 64;

    // Rows from a moment of 2027, at least a second apart, then one that covers the track.
    Table table;
    UtcMs time = 1'800'000'000'000;
    const UtcMs start = time + input.Byte() * 1000;
    for (int row = 0; row < 64 && input.Byte() != 0; ++row) {
        table.rows.push_back({time, Rate(input), Rate(input), {}, {}});
        time += (1 + input.Byte()) * 10'000;
    }
    const auto end =
        start + static_cast<UtcMs>(std::ceil(lines * double(params.TimeInterval))) * 1000;
    table.rows.push_back({std::max(time, end), Rate(input), Rate(input), {}, {}});
    // Some tables are followed on the sphere from a declination short of the poles.
    const int declinationByte = input.Byte();
    const std::optional<double> declination =
        declinationByte < 128 ? std::nullopt : std::optional<double>((declinationByte - 192) * 1.3);

    const auto followed = FollowEphemeris(table, start, params, lines, declination);
    if (const auto* problem = std::get_if<std::string>(&followed)) {
        // A path a right angle or more long has no place on the camera.
        if (declination && *problem == kOverflowMessage) return 0;
        // Otherwise only a table that starts after the track may fall short.
        FUZZ_CHECK(table.rows.front().time > start);
        FUZZ_CHECK(problem->starts_with("The track needs the ephemeris from "));
        return 0;
    }
    const FollowingTrack& track = std::get<FollowingTrack>(followed);
    const Steps& exact = track.steps;
    FUZZ_CHECK(exact.size() == static_cast<std::size_t>(lines));
    FUZZ_CHECK(track.path.empty() || track.path.size() == exact.size());
    const std::optional<std::string> text = TrackTextOf(track, "07.5", ".");
    FUZZ_CHECK(text.has_value());

    double exactX = 0, exactY = 0, writtenX = 0, writtenY = 0, slack = 0;
    std::size_t at = 0;
    for (const PixelOffset& step : exact) {
        const std::size_t end = text->find("\r\n", at);
        FUZZ_CHECK(end != std::string::npos);
        const std::string_view line(text->data() + at, end - at);
        at = end + 2;
        FUZZ_CHECK(line.starts_with("07.5 "));
        const std::size_t space = line.rfind(' ');
        FUZZ_CHECK(space > 5);
        const double x = Step(line.substr(5, space - 5));
        const double y = Step(line.substr(space + 1));
        // A step written as nothing keeps the sign of its exact step.
        FUZZ_CHECK((line[5] == '+') == (x > 0 || (x == 0 && step.x > 0)));
        FUZZ_CHECK((line[space + 1] == '+') == (y > 0 || (y == 0 && step.y > 0)));

        exactX += step.x;
        exactY += step.y;
        writtenX += x;
        writtenY += y;
        // The running totals are singles: each line may move them by a unit in the last
        // place of what they hold.
        slack += std::ldexp(std::fabs(exactX) + std::fabs(exactY) + std::fabs(writtenX) +
                                std::fabs(writtenY) + std::fabs(step.x) + std::fabs(step.y) + 1,
                            -22);
        const double local = std::ldexp(std::fabs(step.x) + std::fabs(step.y) + 1, -22);
        FUZZ_CHECK(std::fabs(x - step.x) <= 0.15 + local);
        FUZZ_CHECK(std::fabs(y - step.y) <= 0.15 + local);
        FUZZ_CHECK(std::fabs(writtenX - exactX) < 0.1 + slack);
        FUZZ_CHECK(std::fabs(writtenY - exactY) < 0.1 + slack);
        if (!track.path.empty()) {
            // Rounded from the path itself: within a twentieth, whatever the line count.
            const PixelPoint& on = track.path[static_cast<std::size_t>(&step - exact.data())];
            const double room = 1e-6 * (std::fabs(on.x) + std::fabs(on.y) + 1);
            FUZZ_CHECK(std::fabs(writtenX - on.x) <= 0.05 + room);
            FUZZ_CHECK(std::fabs(writtenY - on.y) <= 0.05 + room);
        }
    }
    FUZZ_CHECK(at == text->size());
    return 0;
}
