#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace Pelindra::Ephemeris {

// Where a Horizons observer table keeps what the reader needs, found from its column header
// line: rows may carry any other quantities, in any order.
struct HorizonsColumns {
    enum class Time { Calendar, JulianDate };
    // A column the reader needs. In the plain text form its index counts the titles after the
    // time columns, and its field's words end after `after` (where the title before it ends)
    // and at or before `end` (where it ends itself): Horizons aligns each title with the right
    // of its field. Columns count with tabs stopping every eight. In CSV the index is the
    // field's.
    struct Place {
        int index = -1;
        std::size_t after = 0;
        std::size_t end = 0;
    };

    bool csv = false;
    // The time columns. In the plain text form they lead the row, in this order.
    std::vector<Time> times;
    bool clock = false;             // the calendar column has a time of day
    bool julianDate = false;        // preferred: its time is finer than the calendar's
    std::int64_t zoneOffsetMs = 0;  // the calendar column gives UT + this
    bool skyMotion = false;         // Sky_motion and Sky_mot_PA, not dRA*cosD and d(DEC)/dt
    std::string firstRateName;      // dRA*cosD or Sky_motion
    std::string secondRateName;     // d(DEC)/dt or Sky_mot_PA

    Place firstRate;
    Place secondRate;
    Place raDec;  // plain text: one title over both
    int ra = -1;  // CSV: one field each
    int dec = -1;
    bool apparentPositions = false;  // R.A._(a-app): of date, not astrometric
    int calendarField = -1;      // CSV
    std::size_t csvFields = 0;   // CSV: how many the header has, as each row does
    int julianField = -1;        // CSV
    Place lastTitle;             // plain text
    std::size_t titleCount = 0;  // plain text, after the time columns
};

// The columns of the header line (the one just above $$SOE), given the offset that the
// header block's "Time zone" line states. The message says what is wrong: a time scale
// other than UT, no rates, no date.
std::variant<HorizonsColumns, std::string> FindHorizonsColumns(
    std::string_view headerLine, std::optional<std::int64_t> statedZoneOffsetMs);

// The fields of one row the reader needs, as text.
struct HorizonsRowFields {
    std::string_view date;
    std::string_view clock;
    std::string_view julianDate;
    std::array<std::string_view, 3> ra{};
    std::array<std::string_view, 3> dec{};
    std::size_t raDecParts = 0;  // 3: sexagesimal, 1: degrees, 0: none
    std::string_view firstRate;
    std::string_view secondRate;
};

// Splits the rows of one table, keeping its buffer from row to row.
class HorizonsRowSplitter {
  public:
    explicit HorizonsRowSplitter(const HorizonsColumns& columns) : columns_(columns) {}

    // False when the row does not fit the header line. The fields point into the row.
    [[nodiscard]] bool Split(std::string_view line, HorizonsRowFields& fields);

  private:
    bool SplitText(std::string_view line, HorizonsRowFields& fields) const;
    bool SplitCsv(std::string_view line, HorizonsRowFields& fields);

    const HorizonsColumns& columns_;
    std::vector<std::string_view> fields_;
};

}  // namespace Pelindra::Ephemeris
