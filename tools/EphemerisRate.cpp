#include "tools/EphemerisRate.h"

#include <QDateTime>
#include <charconv>

#include "ephemeris/Reader.h"

using namespace Pelindra::Ephemeris;

namespace {

std::string Fixed(double value, int decimals) {
    char text[64];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, end.ptr);
}

}  // namespace

std::variant<Rate, std::string> EphemerisRate(const std::string& file, std::optional<UtcMs> time) {
    std::variant<Table, ReadError> read = ReadEphemerisFile(file);
    if (const auto* error = std::get_if<ReadError>(&read)) return error->message;
    const UtcMs at = time ? *time : QDateTime::currentMSecsSinceEpoch();
    std::variant<Rate, std::string> rate = RateAt(std::get<Table>(read), at);
    if (auto* error = std::get_if<std::string>(&rate)) {
        *error = (file == "-" ? "standard input" : "\"" + file + "\"") + ": " + *error;
    }
    return rate;
}

std::string RateLine(double motionArcsecPerMinute, double positionAngleDegrees) {
    std::string angle = Fixed(positionAngleDegrees, 4);
    // Just below 360 rounds up to it; north is 0.
    if (angle == "360.0000") angle = "0.0000";
    return Fixed(motionArcsecPerMinute, 6) + ' ' + angle;
}
