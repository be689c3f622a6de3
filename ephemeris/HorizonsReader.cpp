#include "ephemeris/HorizonsReader.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <span>
#include <string>

#include "ephemeris/HorizonsColumns.h"
#include "ephemeris/HorizonsFields.h"
#include "ephemeris/HorizonsJson.h"
#include "ephemeris/StepText.h"
#include "ephemeris/TableRules.h"
#include "ephemeris/UtcTime.h"

namespace Pelindra::Ephemeris {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kStart = "$$SOE";
constexpr std::string_view kEnd = "$$EOE";

// Beyond this no column of a row (arcseconds per hour or per minute, degrees) is a motion on
// the sky, only a damaged number; it also keeps interpolation clear of overflow.
constexpr double kLargestValue = 1e10;

// The lines of a text from a given offset, without their line feeds and carriage returns.
class LineReader {
  public:
    LineReader(std::string_view text, std::size_t offset, int number)
        : text_(text), pos_(offset), number_(number) {}

    bool Next(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        line = text_.substr(pos_, end - pos_);
        if (line.ends_with('\r')) line.remove_suffix(1);
        ended_ = end < text_.size();
        pos_ = end + 1;
        ++number_;
        return true;
    }
    // The 1-based number of the line Next() gave last.
    int Number() const { return number_; }
    // Whether that line ended with a line feed.
    bool Ended() const { return ended_; }
    // Whether only blank lines follow it.
    bool AtLast() const {
        return pos_ >= text_.size() ||
               text_.find_first_not_of(" \t\r\n", pos_) == std::string_view::npos;
    }

  private:
    std::string_view text_;
    std::size_t pos_;
    int number_;
    bool ended_ = false;
};

bool IsRule(std::string_view trimmed) {
    return !trimmed.empty() && trimmed.find_first_not_of('*') == std::string_view::npos;
}

// The offset of the line that holds only `marker` (blanks aside), or npos.
std::size_t FindMarkerLine(std::string_view text, std::string_view marker) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    for (std::size_t at = text.find(marker); at != std::string_view::npos;
         at = text.find(marker, at + marker.size())) {
        // Only blanks may stand around it, so these walks never pass another candidate.
        std::size_t start = at;
        while (start > 0 && blank(text[start - 1])) --start;
        std::size_t end = at + marker.size();
        while (end < text.size() && blank(text[end])) ++end;
        if ((start == 0 || text[start - 1] == '\n') && (end == text.size() || text[end] == '\n')) {
            return start;
        }
    }
    return std::string_view::npos;
}

// The line before the one at offset `start`, which moves to that line's offset.
bool PreviousLine(std::string_view text, std::size_t& start, std::string_view& line) {
    if (start == 0) return false;
    const std::size_t end = start - 1;  // its line feed
    const std::size_t before = end == 0 ? std::string_view::npos : text.rfind('\n', end - 1);
    start = before == std::string_view::npos ? 0 : before + 1;
    line = text.substr(start, end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    return true;
}

// What the header block (its "Key : value" lines) tells about the table.
struct HeaderBlock {
    std::string target;
    std::string site;
    std::string step;
    std::optional<std::int64_t> zoneOffsetMs;
    HorizonsCalendar calendar = HorizonsCalendar::Mixed;
};

HeaderBlock ReadHeaderBlock(std::string_view text) {
    HeaderBlock block;
    LineReader lines(text, 0, 0);
    std::string_view line;
    while (lines.Next(line)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view key = TrimBlanks(line.substr(0, colon));
        const std::string_view value = TrimBlanks(line.substr(colon + 1));
        if (key == "Target body name" && block.target.empty()) {
            block.target = TrimBlanks(value.substr(0, value.find("{source:")));
        } else if (key == "Center-site name" && block.site.empty()) {
            block.site = value;
        } else if (key == "Step-size" && block.step.empty()) {
            block.step = value;
        } else if (key == "Time zone" && !block.zoneOffsetMs) {
            block.zoneOffsetMs = ReadZoneOffsetMs(value);
        } else if (key == "Calendar mode" && value.find("Mixed") == std::string_view::npos &&
                   value.find("Gregorian") != std::string_view::npos) {
            block.calendar = HorizonsCalendar::Gregorian;
        }
    }
    return block;
}

bool MentionsMatch(std::string_view line) {
    constexpr std::string_view kWord = "match";
    for (std::size_t i = 0; i + kWord.size() <= line.size(); ++i) {
        std::size_t k = 0;
        while (k < kWord.size() && (line[i + k] | 0x20) == kWord[k]) ++k;
        if (k == kWord.size()) return true;
    }
    return false;
}

// Horizons' reply to an ambiguous or unknown target lists what matched, then ends with one
// line saying so ("Number of matches =  2. Use ID# to make unique selection.").
std::string NoTableMessage(std::string_view text) {
    std::string message(kNoTableFound);
    std::string_view said;
    LineReader lines(text, 0, 0);
    std::string_view line;
    while (lines.Next(line)) {
        if (line.size() <= 200 && MentionsMatch(line)) said = TrimBlanks(line);
    }
    if (said.empty()) return message;
    message += "; Horizons says: ";
    for (std::size_t i = 0; i < said.size(); ++i) {
        if (said[i] == ' ' && i > 0 && said[i - 1] == ' ') continue;
        message += said[i] == '\t' ? ' ' : said[i];
    }
    return message;
}

// A number within reason, or Horizons' mark for none.
bool Usable(const HorizonsField& field) {
    return field.kind != HorizonsField::Kind::Unreadable && std::fabs(field.value) <= kLargestValue;
}

// Where a line ends, in columns, counting with tabs stopping every eight.
std::size_t EndColumn(std::string_view line) {
    std::size_t column = 0, end = 0;
    for (const char c : line) {
        column = c == '\t' ? (column / 8 + 1) * 8 : column + 1;
        if (c != ' ' && c != '\t' && c != '\r') end = column;
    }
    return end;
}

// A table of plain text or CSV, from the header block to $$EOE.
std::variant<Table, ReadError> ReadTable(std::string_view text) {
    const std::size_t start = FindMarkerLine(text, kStart);
    if (start == std::string_view::npos) return ReadError{NoTableMessage(text), 0};
    const int startLine =
        1 + static_cast<int>(std::count(text.begin(), text.begin() + start, '\n'));

    std::size_t headerStart = start;
    std::string_view header;
    int headerLine = startLine;
    bool found = false;
    while (!found && PreviousLine(text, headerStart, header)) {
        --headerLine;
        const std::string_view trimmed = TrimBlanks(header);
        found = !trimmed.empty() && !IsRule(trimmed);
    }
    if (!found) return ReadError{"no column header line above the table's start marker", startLine};

    const HeaderBlock block = ReadHeaderBlock(text.substr(0, headerStart));
    auto columnsFound = FindHorizonsColumns(header, block.zoneOffsetMs);
    if (auto* message = std::get_if<std::string>(&columnsFound)) {
        return ReadError{std::move(*message), headerLine};
    }
    const HorizonsColumns& columns = std::get<HorizonsColumns>(columnsFound);

    Table table;
    table.format = columns.csv ? Format::HorizonsCsv : Format::HorizonsText;
    table.target = block.target;
    table.site = SiteText(block.site);
    table.step = StatedStepText(block.step);
    table.apparentPositions = columns.apparentPositions;

    // Room for every row at once: growing by doubling would copy and touch each page anew.
    // Even the shortest row takes some sixteen bytes.
    const std::string_view rest = text.substr(start);
    table.rows.reserve(std::min<std::size_t>(
        static_cast<std::size_t>(std::count(rest.begin(), rest.end(), '\n')), rest.size() / 16));

    HorizonsRowSplitter splitter(columns);
    HorizonsRowFields fields;
    const std::size_t startEnd = text.find('\n', start);
    LineReader lines(text, startEnd == std::string_view::npos ? text.size() : startEnd + 1,
                     startLine);
    std::string_view line;
    int rowCount = 0;
    // Without its end marker the text was cut: a last row without its line end, or one
    // too short for the header, may have lost its end, and is no row.
    const bool ended = FindMarkerLine(text.substr(start), kEnd) != std::string_view::npos;
    // Horizons ends every row of plain text where the header's last title ends: a last row
    // of such a table that stops before has lost its end even when a line end follows.
    bool aligned = !columns.csv;
    while (lines.Next(line)) {
        const std::string_view trimmed = TrimBlanks(line);
        if (trimmed == kEnd) break;
        if (trimmed.empty() || IsRule(trimmed)) continue;
        if (!ended && !lines.Ended()) {
            table.cutShort = true;
            break;
        }
        ++rowCount;
        if (!splitter.Split(line, fields)) {
            if (!ended && lines.AtLast()) {
                --rowCount;
                table.cutShort = true;
                break;
            }
            return ReadError{
                "the row does not fit the column header line " + std::to_string(headerLine),
                lines.Number()};
        }
        if (aligned) {
            const bool endsAligned = EndColumn(line) == columns.lastTitle.end;
            if (!ended && rowCount > 1 && !endsAligned && lines.AtLast()) {
                --rowCount;
                table.cutShort = true;
                break;
            }
            aligned = endsAligned;
        }

        std::optional<UtcMs> time;
        if (columns.julianDate) {
            const HorizonsField jd = ReadHorizonsField(fields.julianDate);
            if (jd.kind == HorizonsField::Kind::Number) time = FromJulianDate(jd.value);
            if (!time)
                return ReadError{"malformed Julian date " + Quoted(fields.julianDate),
                                 lines.Number()};
        } else {
            time = ReadHorizonsDate(fields.date, fields.clock, block.calendar);
            if (!time) {
                const std::string date(fields.clock.empty() ? fields.date
                                                            : std::string(fields.date) + " " +
                                                                  std::string(fields.clock));
                return ReadError{"malformed date " + Quoted(date), lines.Number()};
            }
            *time -= columns.zoneOffsetMs;
        }

        const HorizonsField first = ReadHorizonsField(fields.firstRate);
        const HorizonsField second = ReadHorizonsField(fields.secondRate);
        if (!Usable(first)) {
            return ReadError{
                "cannot read " + columns.firstRateName + " " + Quoted(fields.firstRate),
                lines.Number()};
        }
        if (!Usable(second)) {
            return ReadError{
                "cannot read " + columns.secondRateName + " " + Quoted(fields.secondRate),
                lines.Number()};
        }
        if (first.kind == HorizonsField::Kind::Missing ||
            second.kind == HorizonsField::Kind::Missing) {
            table.holes.push_back(*time);
            continue;
        }

        Row row;
        row.time = *time;
        if (columns.skyMotion) {
            const double angle = second.value * std::numbers::pi / 180;
            row.eastArcsecPerMinute = first.value * std::sin(angle);
            row.northArcsecPerMinute = first.value * std::cos(angle);
        } else {
            // Quantity 3 is in arcseconds per hour, its RA rate already times cos(Dec).
            row.eastArcsecPerMinute = first.value / 60;
            row.northArcsecPerMinute = second.value / 60;
        }
        if (fields.raDecParts > 0) {
            const std::span<const std::string_view> ra(fields.ra.data(), fields.raDecParts);
            const std::span<const std::string_view> dec(fields.dec.data(), fields.raDecParts);
            if (const std::optional<RaDec> position = ReadRaDec(ra, dec)) {
                row.raDegrees = position->raDegrees;
                row.decDegrees = position->decDegrees;
            }
        }
        table.rows.push_back(row);
    }

    const std::string cut = table.cutShort ? "; " + CutShortNote(table) : std::string();
    if (rowCount == 0) {
        return ReadError{"the table has no rows between its start and end markers" + cut,
                         startLine};
    }
    if (table.rows.empty()) {
        return ReadError{"none of the table's " + std::to_string(rowCount) + " rows has a rate: " +
                             columns.firstRateName + " or " + columns.secondRateName +
                             " is n.a. or overflows its column in each" + cut,
                         startLine};
    }
    if (auto problem = PutInTimeOrder(table)) return ReadError{std::move(*problem), 0};
    return table;
}

}  // namespace

bool LooksLikeHorizons(std::string_view text) {
    if (text.starts_with(kBom)) text.remove_prefix(kBom.size());
    // The last three head Horizons' replies that hold no table (an ambiguous target).
    return LooksLikeJson(text) || text.find(kStart) != std::string_view::npos ||
           text.find("NASA/JPL Horizons") != std::string_view::npos ||
           text.find("JPL/HORIZONS") != std::string_view::npos ||
           text.find("JPL/DASTCOM") != std::string_view::npos;
}

std::variant<Table, ReadError> ReadHorizons(std::string_view text) {
    if (text.starts_with(kBom)) text.remove_prefix(kBom.size());
    if (!LooksLikeJson(text)) return ReadTable(text);

    std::variant<std::string, ReadError> result = HorizonsJsonResult(text);
    if (auto* error = std::get_if<ReadError>(&result)) return std::move(*error);
    std::variant<Table, ReadError> table = ReadTable(std::get<std::string>(result));
    if (auto* read = std::get_if<Table>(&table)) {
        read->format = Format::HorizonsJson;
    } else if (auto* error = std::get_if<ReadError>(&table); error->line > 0) {
        // The reply is one line of JSON: the line is one of the table it holds.
        error->message =
            "line " + std::to_string(error->line) + " of the reply's \"result\": " + error->message;
        error->line = 0;
    }
    return table;
}

}  // namespace Pelindra::Ephemeris
