#include "ephemeris/TableRules.h"

#include <algorithm>

#include "ephemeris/UtcTime.h"

namespace Pelindra::Ephemeris {

namespace {

constexpr std::size_t kMaxQuoted = 40;

std::string TwoRatesAt(UtcMs time) {
    return "the table gives two different rates for " + UtcTimeText(time) +
           ": keep one of those rows";
}

}  // namespace

std::string Quoted(std::string_view text) {
    // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on "\"" + std::string.
    std::size_t cut = std::min(text.size(), kMaxQuoted);
    // Never half of a UTF-8 character.
    while (cut > 0 && cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    std::string quoted(1, '"');
    quoted.append(text.substr(0, cut));
    quoted.append(text.size() > kMaxQuoted ? "...\"" : "\"");
    return quoted;
}

std::string SiteText(std::string_view named) {
    constexpr std::string_view kGeocentre[] = {"geocentric", "geocenter", "geocentre",
                                               "the geocenter", "the geocentre"};
    for (const std::string_view word : kGeocentre) {
        if (named.size() != word.size()) continue;
        std::size_t i = 0;
        while (i < word.size() && (named[i] | 0x20) == word[i]) ++i;
        if (i == word.size()) return "the geocentre";
    }
    return std::string(named);
}

std::optional<std::string> PutInTimeOrder(Table& table) {
    std::vector<Row>& rows = table.rows;
    const auto byTime = [](const Row& a, const Row& b) { return a.time < b.time; };
    if (!std::is_sorted(rows.begin(), rows.end(), byTime)) {
        std::stable_sort(rows.begin(), rows.end(), byTime);
    }
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const Row& a = rows[i - 1];
        const Row& b = rows[i];
        if (a.time == b.time && (a.eastArcsecPerMinute != b.eastArcsecPerMinute ||
                                 a.northArcsecPerMinute != b.northArcsecPerMinute)) {
            return TwoRatesAt(a.time);
        }
    }
    std::vector<UtcMs>& holes = table.holes;
    std::sort(holes.begin(), holes.end());
    holes.erase(std::unique(holes.begin(), holes.end()), holes.end());
    for (const UtcMs hole : holes) {
        const auto at = std::lower_bound(rows.begin(), rows.end(), hole,
                                         [](const Row& row, UtcMs t) { return row.time < t; });
        if (at != rows.end() && at->time == hole) return TwoRatesAt(hole);
    }
    return std::nullopt;
}

std::string CutShortNote(const Table& table) {
    std::string note = "the text seems cut off inside a row";
    if (table.rows.empty()) return note;
    UtcMs last = table.rows.back().time;
    if (!table.holes.empty()) last = std::max(last, table.holes.back());
    return note + ": the table ends at its last complete row, " + UtcTimeText(last);
}

}  // namespace Pelindra::Ephemeris
