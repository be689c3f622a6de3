// The ephemeris reader over arbitrary text: it always answers, and a table it reads has its
// rows in time order with finite rates, and a rate at every moment of its span but where
// rows without a rate leave none.
#include <cmath>
#include <string_view>

#include "ephemeris/Rate.h"
#include "ephemeris/Reader.h"
#include "fuzz/FuzzInput.h"

using namespace Pelindra::Ephemeris;

namespace {

void CheckRateAt(const Table& table, UtcMs time) {
    const auto found = RateAt(table, time);
    const Rate* rate = std::get_if<Rate>(&found);
    // Rows without a rate leave spans that have none; everywhere else there is one.
    if (!rate) {
        FUZZ_CHECK(!table.holes.empty() && !std::get<std::string>(found).empty());
        return;
    }
    FUZZ_CHECK(std::isfinite(rate->eastArcsecPerMinute));
    FUZZ_CHECK(std::isfinite(rate->northArcsecPerMinute));
    FUZZ_CHECK(std::isfinite(rate->MotionArcsecPerMinute()));
    const double angle = rate->PositionAngleDegrees();
    FUZZ_CHECK(angle >= 0 && angle < 360);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto read = ReadEphemeris(text);
    if (const auto* error = std::get_if<ReadError>(&read)) {
        FUZZ_CHECK(!error->message.empty() && error->line >= 0);
        return 0;
    }
    const Table& table = std::get<Table>(read);
    const std::vector<Row>& rows = table.rows;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        FUZZ_CHECK(i == 0 || rows[i - 1].time <= row.time);
        FUZZ_CHECK(std::isfinite(row.eastArcsecPerMinute));
        FUZZ_CHECK(std::isfinite(row.northArcsecPerMinute));
        FUZZ_CHECK(row.raDegrees.has_value() == row.decDegrees.has_value());
        if (row.raDegrees) {
            FUZZ_CHECK(*row.raDegrees >= 0 && *row.raDegrees < 360);
            FUZZ_CHECK(*row.decDegrees >= -90 && *row.decDegrees <= 90);
        }
    }
    if (rows.empty()) return 0;

    const UtcMs first = rows.front().time;
    const UtcMs last = rows.back().time;
    CheckRateAt(table, first);
    CheckRateAt(table, last);
    CheckRateAt(table, first + (last - first) / 2);
    // Just after each row: the interpolation from it to the next.
    for (std::size_t i = 0; i + 1 < rows.size() && i < 64; ++i) {
        if (rows[i].time < rows[i + 1].time) CheckRateAt(table, rows[i].time + 1);
    }
    // Never extrapolated.
    FUZZ_CHECK(std::holds_alternative<std::string>(RateAt(table, first - 1)));
    FUZZ_CHECK(std::holds_alternative<std::string>(RateAt(table, last + 1)));
    return 0;
}
