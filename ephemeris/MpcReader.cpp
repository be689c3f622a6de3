#include "ephemeris/MpcReader.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "ephemeris/MpcColumns.h"
#include "ephemeris/MpcPage.h"

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
std::string Designation(const std::vector<MpcLine>& lines, std::size_t header) {
    if (header == 0) return {};
    std::string_view text = lines[header - 1].text;
    text = Trimmed(text.substr(0, text.find("[H=")));
    if (text.empty() || text.size() > 20 || text.find(' ') != std::string_view::npos) return {};
    return MpcLineToUtf8(text);
}

std::string Plural(std::int64_t count, const char* unit) {
    return std::to_string(count) + " " + unit + (count == 1 ? "" : "s");
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
    constexpr std::int64_t kSecond = 1000, kMinute = 60 * kSecond, kHour = 60 * kMinute,
                           kDay = 24 * kHour;
    if (step % kDay == 0) return Plural(step / kDay, "day");
    if (step % kHour == 0) return Plural(step / kHour, "hour");
    if (step % kMinute == 0) return Plural(step / kMinute, "minute");
    if (step % kSecond == 0) return Plural(step / kSecond, "second");
    return {};
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
    const std::vector<MpcLine>& lines = page.lines;
    std::vector<std::size_t> headers;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (IsMpcHeader(lines[i].text, lines[i + 1].text)) headers.push_back(i);
    }
    if (headers.empty()) {
        std::string message(kNoTableFound);
        if (!page.notice.empty()) {
            message += "; the Minor Planet Center's page says: " + page.notice;
        }
        return ReadError{message, 0};
    }
    if (headers.size() > 1) {
        return ReadError{
            "the text holds " + std::to_string(headers.size()) +
                " MPC ephemeris tables (from lines " + std::to_string(lines[headers[0]].number) +
                " and " + std::to_string(lines[headers[1]].number) + "): keep only the one to use",
            lines[headers[1]].number};
    }

    const std::size_t header = headers.front();
    const auto layout = ReadMpcLayout(lines[header].text, lines[header + 1].text);
    if (const auto* problem = std::get_if<std::string>(&layout)) {
        return ReadError{*problem, lines[header + 1].number};
    }

    Table table;
    table.format = Format::MpcService;
    table.target = page.name.empty() ? Designation(lines, header) : page.name;
    table.site = page.site;
    std::vector<UtcMs> times;
    for (std::size_t i = header + 2; i < lines.size(); ++i) {
        std::optional<MpcRow> row = ReadMpcRow(lines[i].text, std::get<MpcLayout>(layout));
        if (!row) continue;
        if (row->state == MpcRowState::Malformed) return ReadError{row->problem, lines[i].number};
        times.push_back(row->row.time);
        if (row->state == MpcRowState::Usable) table.rows.push_back(row->row);
    }
    if (table.rows.empty()) {
        return ReadError{times.empty() ? "the MPC table has no rows"
                                       : "no row of the MPC table has a motion: each is blank "
                                         "or an overflow mark (********)",
                         lines[header].number};
    }
    std::stable_sort(table.rows.begin(), table.rows.end(),
                     [](const Row& a, const Row& b) { return a.time < b.time; });
    table.step = Step(std::move(times));
    return table;
}

}  // namespace Pelindra::Ephemeris
