#include "ephemeris/MpcReader.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "ephemeris/MpcColumns.h"
#include "ephemeris/MpcPage.h"
#include "ephemeris/StepText.h"
#include "ephemeris/TableRules.h"

namespace Pelindra::Ephemeris {

namespace {

// The page's title and heading: it names the service even where no table follows.
constexpr std::string_view kServiceTitle = "Minor Planet Ephemeris Service: Query Results";

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
    return text;
}

// The line above the header: the packed designation, with the absolute magnitude after it
// for minor planets ("K24A00A       [H=27.41]"), or "0002P" for a comet.
std::string Designation(std::string_view text) {
    text = Trimmed(text.substr(0, text.find("[H=")));
    if (text.empty() || text.size() > 20 || text.find(' ') != std::string_view::npos) return {};
    return MpcLineToUtf8(text);
}

// Where the page's tables are: the lines of the first one's header, and the line before it.
struct Headers {
    int count = 0;
    std::size_t index = 0;  // of the names line of the first, among all lines
    MpcLine before, names, units;
    int secondLine = 0;  // of the second's names line
};

Headers FindHeaders(const MpcPage& page) {
    Headers headers;
    MpcLineReader lines(page);
    // The last three lines, the current one at `index` % 3; an empty line between two
    // parts them.
    MpcLine ring[3];
    bool joined[3] = {false, false, false};  // to the line before
    for (std::size_t index = 0; lines.Next(ring[index % 3]); ++index) {
        const MpcLine& current = ring[index % 3];
        joined[index % 3] = index > 0 && !lines.AfterEmpty();
        const MpcLine& previous = ring[(index + 2) % 3];
        if (joined[index % 3] && IsMpcHeader(previous.text, current.text)) {
            if (headers.count == 0) {
                headers.index = index - 1;
                if (index > 1 && joined[(index + 2) % 3]) headers.before = ring[(index + 1) % 3];
                headers.names = previous;
                headers.units = current;
            } else if (headers.count == 1) {
                headers.secondLine = previous.number;
            }
            ++headers.count;
        }
    }
    return headers;
}

// The table never states its step: the shortest gap between rows, when every gap is a
// whole number of it (rows the service suppressed in daylight leave longer gaps).
std::string Step(std::vector<UtcMs> times) {
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    if (times.size() < 2) return {};
    UtcMs step = times[1] - times[0];
    for (std::size_t i = 2; i < times.size(); ++i) step = std::min(step, times[i] - times[i - 1]);
    for (std::size_t i = 1; i < times.size(); ++i) {
        if ((times[i] - times[i - 1]) % step != 0) return {};
    }
    return StepText(step);
}

}  // namespace

bool LooksLikeMpc(std::string_view text) {
    if (text.find(kServiceTitle) != std::string_view::npos) return true;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        const std::string_view line = text.substr(pos, end - pos);
        if (end < text.size() && Trimmed(line).substr(0, 4) == "Date") {
            const std::size_t next = std::min(text.find('\n', end + 1), text.size());
            if (IsMpcHeader(line, text.substr(end + 1, next - end - 1))) return true;
        }
        pos = end + 1;
    }
    return false;
}

std::variant<Table, ReadError> ReadMpc(std::string_view text) {
    const MpcPage page = ReadMpcPage(text);
    const Headers headers = FindHeaders(page);
    if (headers.count == 0) {
        std::string message(kNoTableFound);
        if (!page.notice.empty()) {
            message += "; the Minor Planet Center's page says: " + page.notice;
        }
        return ReadError{message, 0};
    }
    if (headers.count > 1) {
        return ReadError{"the text holds " + std::to_string(headers.count) +
                             " MPC ephemeris tables (from lines " +
                             std::to_string(headers.names.number) + " and " +
                             std::to_string(headers.secondLine) + "): keep only the one to use",
                         headers.secondLine};
    }

    const auto layout = ReadMpcLayout(headers.names.text, headers.units.text);
    if (const auto* problem = std::get_if<std::string>(&layout)) {
        return ReadError{*problem, headers.units.number};
    }

    Table table;
    table.format = Format::MpcService;
    table.target = page.name.empty() ? Designation(headers.before.text) : page.name;
    table.site = SiteText(page.site);
    std::vector<UtcMs> times;
    // A row that stops short is a cut text when no row follows it, else a row without a rate.
    bool stoppedShort = false;
    UtcMs stoppedShortAt = 0;
    MpcLineReader lines(page);
    MpcLine line;
    for (std::size_t index = 0; lines.Next(line); ++index) {
        if (index < headers.index + 2) continue;
        std::optional<MpcRow> row = ReadMpcRow(line.text, std::get<MpcLayout>(layout));
        if (!row) continue;
        if (lines.StopsInside()) {
            // The text ends inside this row: whatever it shows may have lost its end.
            table.cutShort = true;
            break;
        }
        if (row->state == MpcRowState::Malformed) return ReadError{row->problem, line.number};
        if (stoppedShort) table.holes.push_back(stoppedShortAt);
        stoppedShort = false;
        times.push_back(row->row.time);
        if (row->state == MpcRowState::Usable) table.rows.push_back(row->row);
        if (row->state == MpcRowState::Skipped) table.holes.push_back(row->row.time);
        if (row->state == MpcRowState::Short) {
            times.pop_back();
            stoppedShort = true;
            stoppedShortAt = row->row.time;
        }
    }
    if (stoppedShort) table.cutShort = true;
    if (table.rows.empty()) {
        std::string message = times.empty() ? "the MPC table has no rows"
                                            : "no row of the MPC table has a motion: each is "
                                              "blank or an overflow mark (********)";
        if (table.cutShort) message += "; " + CutShortNote(table);
        return ReadError{message, headers.names.number};
    }
    if (auto problem = PutInTimeOrder(table)) return ReadError{std::move(*problem), 0};
    table.step = Step(std::move(times));
    return table;
}

}  // namespace Pelindra::Ephemeris
