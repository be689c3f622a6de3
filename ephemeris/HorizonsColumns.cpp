#include "ephemeris/HorizonsColumns.h"

#include <algorithm>
#include <span>

#include "ephemeris/HorizonsFields.h"

namespace Pelindra::Ephemeris {

namespace {

using Place = HorizonsColumns::Place;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// A blank-separated word and the columns it spans.
struct Word {
    std::string_view text;
    std::size_t begin = 0;
    std::size_t end = 0;
};

// The words of a line one after another, counting columns with tabs stopping every eight.
// Nothing is kept: a line of any length costs no memory.
class WordCursor {
  public:
    explicit WordCursor(std::string_view line) : line_(line) {}

    bool Next(Word& word) {
        while (pos_ < line_.size() && IsBlank(line_[pos_])) {
            column_ = line_[pos_] == '\t' ? (column_ / 8 + 1) * 8 : column_ + 1;
            ++pos_;
        }
        if (pos_ == line_.size()) return false;
        const std::size_t start = pos_;
        const std::size_t begin = column_;
        while (pos_ < line_.size() && !IsBlank(line_[pos_])) ++pos_;
        column_ += pos_ - start;
        word = {line_.substr(start, pos_ - start), begin, column_};
        return true;
    }

  private:
    std::string_view line_;
    std::size_t pos_ = 0;
    std::size_t column_ = 0;
};

bool IsDateTitle(std::string_view title) {
    return title.starts_with("Date_");
}

bool IsJulianTitle(std::string_view title) {
    return IsDateTitle(title) && title.find("JD") != std::string_view::npos;
}

bool IsRaRate(std::string_view title) {
    return title == "dRA*cosD" || title == "I_dRA*cosD";
}

bool IsDecRate(std::string_view title) {
    return title == "d(DEC)/dt" || title == "I_d(DEC)/dt";
}

// The time scale a date title names: "UT" of "Date__(UT)__HR:MN", "TT" of "Date_________JDTT".
std::string_view TimeScale(std::string_view title) {
    if (IsJulianTitle(title)) {
        std::string_view scale = title.substr(title.find("JD") + 2);
        while (scale.starts_with('_')) scale.remove_prefix(1);
        return scale;
    }
    const std::size_t open = title.find('(');
    const std::size_t close = title.find(')', open);
    if (close == std::string_view::npos) return {};
    return title.substr(open + 1, close - open - 1);
}

std::string NotUt(std::string_view scale) {
    const std::string named = scale.empty() ? "a time scale it does not name" : std::string(scale);
    return "the table's times are in " + named +
           ", not UT: ask Horizons for UT times (or a time zone)";
}

// Takes in one of the time columns, checking its time scale.
std::optional<std::string> TakeTimeColumn(std::string_view title,
                                          std::optional<std::int64_t> statedZoneOffsetMs,
                                          HorizonsColumns& columns) {
    const std::string_view scale = TimeScale(title);
    if (IsJulianTitle(title)) {
        if (scale != "UT") return NotUt(scale);
        if (columns.julianDate) return "two Julian date columns";
        columns.julianDate = true;
        columns.times.push_back(HorizonsColumns::Time::JulianDate);
        return std::nullopt;
    }
    if (std::ranges::find(columns.times, HorizonsColumns::Time::Calendar) != columns.times.end()) {
        return "two calendar date columns";
    }
    if (scale == "ZONE") {
        if (!statedZoneOffsetMs) {
            return std::string("the table's times are in a time zone its header does not state ") +
                   "(no \"Time zone : UT+hh:mm\" line)";
        }
        columns.zoneOffsetMs = *statedZoneOffsetMs;
    } else if (const auto offset = ReadZoneOffsetMs(scale); offset && scale.starts_with("UT")) {
        columns.zoneOffsetMs = *offset;
    } else {
        return NotUt(scale);
    }
    columns.clock = title.find("HR:MN") != std::string_view::npos;
    columns.times.push_back(HorizonsColumns::Time::Calendar);
    return std::nullopt;
}

// The first title of each kind the reader may need, noted as the titles go by.
struct Candidates {
    Place raRate, decRate, motion, angle;
    std::string_view raRateName, decRateName;

    void Note(std::string_view title, const Place& place) {
        const auto note = [&](Place& kind, bool is) {
            if (is && kind.index < 0) kind = place;
        };
        if (IsRaRate(title) && raRate.index < 0) raRateName = title;
        if (IsDecRate(title) && decRate.index < 0) decRateName = title;
        note(raRate, IsRaRate(title));
        note(decRate, IsDecRate(title));
        note(motion, title == "Sky_motion");
        note(angle, title == "Sky_mot_PA");
    }

    // Quantity 3 when both of its columns are there: it has more digits than quantity 47.
    std::optional<std::string> Choose(HorizonsColumns& columns) const {
        if (raRate.index >= 0 && decRate.index >= 0) {
            columns.firstRate = raRate;
            columns.secondRate = decRate;
            columns.firstRateName = raRateName;
            columns.secondRateName = decRateName;
        } else if (motion.index >= 0 && angle.index >= 0) {
            columns.skyMotion = true;
            columns.firstRate = motion;
            columns.secondRate = angle;
            columns.firstRateName = "Sky_motion";
            columns.secondRateName = "Sky_mot_PA";
        } else {
            return std::string("the table has no rate columns (dRA*cosD and d(DEC)/dt, or ") +
                   "Sky_motion and Sky_mot_PA): ask Horizons for quantity 3 or 47";
        }
        return std::nullopt;
    }
};

std::optional<std::string> FindTextColumns(std::string_view headerLine,
                                           std::optional<std::int64_t> statedZoneOffsetMs,
                                           HorizonsColumns& columns) {
    WordCursor words(headerLine);
    Word title;
    bool more = words.Next(title);
    for (; more && IsDateTitle(title.text); more = words.Next(title)) {
        if (auto error = TakeTimeColumn(title.text, statedZoneOffsetMs, columns)) return error;
    }
    if (columns.times.empty()) {
        return std::string("the column header line does not start with a date column ") +
               "(Date__(UT)__HR:MN or Date_________JDUT)";
    }
    Candidates candidates;
    std::size_t after = 0;
    for (; more; more = words.Next(title)) {
        const Place place{static_cast<int>(columns.titleCount), after, title.end};
        candidates.Note(title.text, place);
        if (columns.raDec.index < 0 && title.text.starts_with("R.A.") &&
            title.text.find("DEC") != std::string_view::npos) {
            columns.raDec = place;
            columns.apparentPositions = title.text.find("app") != std::string_view::npos;
        }
        columns.lastTitle = place;
        ++columns.titleCount;
        after = title.end;
    }
    return candidates.Choose(columns);
}

std::optional<std::string> FindCsvColumns(std::string_view headerLine,
                                          std::optional<std::int64_t> statedZoneOffsetMs,
                                          HorizonsColumns& columns) {
    Candidates candidates;
    std::size_t start = 0;
    for (int index = 0;; ++index) {
        const std::size_t comma = std::min(headerLine.find(',', start), headerLine.size());
        const std::string_view title = TrimBlanks(headerLine.substr(start, comma - start));
        if (IsDateTitle(title)) {
            if (auto error = TakeTimeColumn(title, statedZoneOffsetMs, columns)) return error;
            (IsJulianTitle(title) ? columns.julianField : columns.calendarField) = index;
        }
        candidates.Note(title, Place{index});
        if (columns.ra < 0 && title.starts_with("R.A.")) {
            columns.ra = index;
            columns.apparentPositions = title.find("app") != std::string_view::npos;
        }
        if (columns.dec < 0 && title.starts_with("DEC")) columns.dec = index;
        if (comma == headerLine.size()) {
            columns.csvFields = static_cast<std::size_t>(index) + 1;
            break;
        }
        start = comma + 1;
    }
    if (columns.times.empty()) {
        return std::string("the column header line has no date column ") +
               "(Date__(UT)__HR:MN or Date_________JDUT)";
    }
    return candidates.Choose(columns);
}

// Horizons' marks after the time: solar presence (*, C, N, A) then lunar presence or a
// rise, transit or set event (m, r, e, t, s); either may be blank.
bool IsPresenceMarks(std::string_view text) {
    const auto solar = [](char c) { return c == '*' || c == 'C' || c == 'N' || c == 'A'; };
    const auto lunar = [](char c) {
        return c == 'm' || c == 'r' || c == 'e' || c == 't' || c == 's';
    };
    std::size_t i = 0;
    if (i < text.size() && solar(text[i])) ++i;
    if (i < text.size() && lunar(text[i])) ++i;
    return i > 0 && i == text.size();
}

// Six words (sexagesimal) or two (degrees), half for each.
void TakeRaDec(std::span<const Word> words, HorizonsRowFields& fields) {
    if (words.size() != 6 && words.size() != 2) return;
    const std::size_t half = words.size() / 2;
    for (std::size_t i = 0; i < half; ++i) {
        fields.ra[i] = words[i].text;
        fields.dec[i] = words[half + i].text;
    }
    fields.raDecParts = half;
}

// The time columns and the presence marks lead a row; the cursor is left after them.
bool TakeLeading(const HorizonsColumns& columns, WordCursor& words, HorizonsRowFields& fields) {
    Word word;
    for (HorizonsColumns::Time time : columns.times) {
        if (time == HorizonsColumns::Time::JulianDate) {
            if (!words.Next(word)) return false;
            fields.julianDate = word.text;
            continue;
        }
        if (!words.Next(word)) return false;
        fields.date = word.text;
        if (columns.clock) {
            if (!words.Next(word)) return false;
            fields.clock = word.text;
        }
    }
    WordCursor peek = words;
    if (peek.Next(word) && IsPresenceMarks(word.text)) words = peek;
    return true;
}

// A word belongs to the first title that ends at or after it. A row that runs past the last
// title, or stops short of it (its blanks collapsed), is out of line.
bool ByPosition(const HorizonsColumns& columns, WordCursor words, HorizonsRowFields& fields) {
    const auto within = [](const Place& place, const Word& word) {
        return place.index >= 0 && place.after < word.end && word.end <= place.end;
    };
    std::array<Word, 7> raDec;
    std::size_t raDecCount = 0;
    Word first, second;
    int firstCount = 0, secondCount = 0;
    Word word;
    while (words.Next(word)) {
        if (word.end > columns.lastTitle.end) return false;
        if (within(columns.raDec, word) && raDecCount < raDec.size()) raDec[raDecCount++] = word;
        if (within(columns.firstRate, word) && firstCount++ == 0) first = word;
        if (within(columns.secondRate, word) && secondCount++ == 0) second = word;
    }
    if (!within(columns.lastTitle, word) || firstCount != 1 || secondCount != 1) return false;
    fields.firstRate = first.text;
    fields.secondRate = second.text;
    TakeRaDec(std::span(raDec).first(raDecCount), fields);
    return true;
}

// One word to a title, six (sexagesimal) or two (degrees) to the R.A./DEC title.
bool InOrder(const HorizonsColumns& columns, WordCursor words, HorizonsRowFields& fields) {
    std::array<Word, 6> raDec;
    std::size_t raDecCount = 0;
    std::string_view first, second;
    Word word;
    for (std::size_t t = 0; t < columns.titleCount; ++t) {
        if (!words.Next(word)) return false;
        if (static_cast<int>(t) == columns.raDec.index) {
            // Sexagesimal hours are whole ("08"); degrees have a fraction.
            raDecCount = word.text.find('.') == std::string_view::npos ? 6 : 2;
            raDec[0] = word;
            for (std::size_t i = 1; i < raDecCount; ++i) {
                if (!words.Next(raDec[i])) return false;
            }
        }
        if (static_cast<int>(t) == columns.firstRate.index) first = word.text;
        if (static_cast<int>(t) == columns.secondRate.index) second = word.text;
    }
    if (words.Next(word)) return false;
    fields.firstRate = first;
    fields.secondRate = second;
    TakeRaDec(std::span(raDec).first(raDecCount), fields);
    return true;
}

// Up to three blank-separated parts; 0 for more.
std::size_t SplitParts(std::string_view text, std::array<std::string_view, 3>& parts) {
    WordCursor words(text);
    Word word;
    std::size_t count = 0;
    while (words.Next(word)) {
        if (count == parts.size()) return 0;
        parts[count++] = word.text;
    }
    return count;
}

}  // namespace

std::variant<HorizonsColumns, std::string> FindHorizonsColumns(
    std::string_view headerLine, std::optional<std::int64_t> statedZoneOffsetMs) {
    HorizonsColumns columns;
    columns.csv = headerLine.find(',') != std::string_view::npos;
    const auto error = columns.csv ? FindCsvColumns(headerLine, statedZoneOffsetMs, columns)
                                   : FindTextColumns(headerLine, statedZoneOffsetMs, columns);
    if (error) return *error;
    return columns;
}

bool HorizonsRowSplitter::Split(std::string_view line, HorizonsRowFields& fields) {
    fields = HorizonsRowFields{};
    return columns_.csv ? SplitCsv(line, fields) : SplitText(line, fields);
}

bool HorizonsRowSplitter::SplitText(std::string_view line, HorizonsRowFields& fields) const {
    WordCursor words(line);
    if (!TakeLeading(columns_, words, fields)) return false;
    // A row whose blanks became tabs has likely lost its alignment; one still aligned reads
    // by position, whatever number of words a field has.
    if (line.find('\t') != std::string_view::npos) {
        return InOrder(columns_, words, fields) || ByPosition(columns_, words, fields);
    }
    return ByPosition(columns_, words, fields) || InOrder(columns_, words, fields);
}

bool HorizonsRowSplitter::SplitCsv(std::string_view line, HorizonsRowFields& fields) {
    // A row with fewer fields than the header has lost its end.
    if (static_cast<std::size_t>(std::count(line.begin(), line.end(), ',')) + 1 <
        columns_.csvFields) {
        return false;
    }
    // The fields up to the last one needed; the buffer keeps its size from row to row.
    const auto needed = static_cast<std::size_t>(
        std::max({columns_.calendarField, columns_.julianField, columns_.ra, columns_.dec,
                  columns_.firstRate.index, columns_.secondRate.index}));
    if (fields_.size() <= needed) fields_.resize(needed + 1);
    std::size_t start = 0;
    for (std::size_t i = 0; i <= needed; ++i) {
        if (start > line.size()) return false;
        const std::size_t comma = std::min(line.find(',', start), line.size());
        fields_[i] = line.substr(start, comma - start);
        start = comma + 1;
    }
    const auto field = [&](int index) { return TrimBlanks(fields_[index]); };
    if (columns_.calendarField >= 0) {
        const std::string_view calendar = field(columns_.calendarField);
        const std::size_t blank = calendar.find_first_of(" \t");
        fields.date = calendar.substr(0, blank);
        if (blank != std::string_view::npos) fields.clock = TrimBlanks(calendar.substr(blank));
        if (columns_.clock == fields.clock.empty()) return false;
    }
    if (columns_.julianField >= 0) fields.julianDate = field(columns_.julianField);
    if (columns_.ra >= 0 && columns_.dec >= 0) {
        const std::size_t raParts = SplitParts(field(columns_.ra), fields.ra);
        const std::size_t decParts = SplitParts(field(columns_.dec), fields.dec);
        if (raParts == decParts && (raParts == 1 || raParts == 3)) fields.raDecParts = raParts;
    }
    fields.firstRate = field(columns_.firstRate.index);
    fields.secondRate = field(columns_.secondRate.index);
    return true;
}

}  // namespace Pelindra::Ephemeris
