#include "tools/EphemerisRate.h"

#include <QDateTime>
#include <charconv>

#include "core/RegularFile.h"
#include "ephemeris/Reader.h"
#include "ephemeris/TableRules.h"
#include "tools/Console.h"

using namespace Pelindra::Ephemeris;

namespace {

std::string Fixed(double value, int decimals) {
    char text[64];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, end.ptr);
}

}  // namespace

std::variant<Table, std::string> ReadToolEphemeris(const std::string& file) {
    std::variant<Table, ReadError> read = ReadEphemerisFile(file);
    if (const auto* error = std::get_if<ReadError>(&read)) return error->message;
    Table& table = std::get<Table>(read);
    if (table.cutShort) {
        Pelindra::Tools::PrintError(Pelindra::Core::InputName(file) + ": " + CutShortNote(table));
    }
    return std::move(table);
}

std::variant<Rate, std::string> EphemerisRate(const std::string& file, std::optional<UtcMs> time) {
    std::variant<Table, std::string> read = ReadToolEphemeris(file);
    if (const auto* error = std::get_if<std::string>(&read)) return *error;
    const UtcMs at = time ? *time : QDateTime::currentMSecsSinceEpoch();
    std::variant<Rate, std::string> rate = RateAt(std::get<Table>(read), at);
    if (auto* error = std::get_if<std::string>(&rate)) {
        *error = Pelindra::Core::InputName(file) + ": " + *error;
    }
    return rate;
}

std::string RateLine(double motionArcsecPerMinute, double positionAngleDegrees) {
    std::string angle = Fixed(positionAngleDegrees, 4);
    // Just below 360 rounds up to it; north is 0.
    if (angle == "360.0000") angle = "0.0000";
    return Fixed(motionArcsecPerMinute, 6) + ' ' + angle;
}
