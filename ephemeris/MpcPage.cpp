#include "ephemeris/MpcPage.h"

#include <algorithm>
#include <cstdint>

#include "core/Utf8.h"

namespace Pelindra::Ephemeris {

namespace {

// Longer bold names or site sentences are not the page's own: better none than a paragraph.
constexpr std::size_t kMaxPhrase = 200;

// A table's line is some 150 columns; the rest of a longer line is no table's and is
// dropped, so that a line of millions of tabs does not take eight times its bytes.
constexpr std::size_t kMaxLineColumns = 4096;

using Source = MpcPage::Source;

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// `needle` (a tag: '<' and lower-case letters) where ASCII letters of `text` match either
// case; memchr finds each '<' quickly in a page of any size.
std::size_t FindNoCase(std::string_view text, std::string_view needle, std::size_t from = 0) {
    for (std::size_t i = text.find(needle.front(), from);
         i != std::string_view::npos && i + needle.size() <= text.size();
         i = text.find(needle.front(), i + 1)) {
        std::size_t k = 1;
        while (k < needle.size() && Lower(text[i + k]) == needle[k]) ++k;
        if (k == needle.size()) return i;
    }
    return std::string_view::npos;
}

// The opening tag `<name>` or `<name ...>`, not a longer name starting the same way.
std::size_t FindTag(std::string_view text, std::string_view name, std::size_t from = 0) {
    for (std::size_t at = FindNoCase(text, name, from); at != std::string_view::npos;
         at = FindNoCase(text, name, at + 1)) {
        const std::size_t next = at + name.size();
        if (next >= text.size() || text[next] == '>' || text[next] == ' ' || text[next] == '\t' ||
            text[next] == '\n' || text[next] == '\r') {
            return at;
        }
    }
    return std::string_view::npos;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// An entity at `pos` (which holds '&'), read no further than `end`; 0 when there is none,
// and then the '&' stands for itself.
char32_t Entity(std::string_view text, std::size_t& pos, std::size_t end) {
    const std::size_t found = text.substr(pos, std::min<std::size_t>(12, end - pos)).find(';');
    if (found == std::string_view::npos) return 0;
    const std::size_t semicolon = pos + found;
    const std::string_view name = text.substr(pos + 1, semicolon - pos - 1);
    char32_t code = 0;
    if (name.size() >= 2 && name[0] == '#') {
        const bool hex = name[1] == 'x' || name[1] == 'X';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty()) return 0;
        for (const char c : digits) {
            if (hex ? !IsHexDigit(c) : !(c >= '0' && c <= '9')) return 0;
            const int digit = c <= '9' ? c - '0' : Lower(c) - 'a' + 10;
            code = code * (hex ? 16 : 10) + static_cast<char32_t>(digit);
            if (code > 0x10FFFF) return 0;
        }
    } else {
        static constexpr std::pair<std::string_view, char32_t> kNamed[] = {
            {"amp", '&'},   {"lt", '<'},     {"gt", '>'},    {"quot", '"'},
            {"apos", '\''}, {"nbsp", 0xA0u}, {"deg", 0xB0u},
        };
        for (const auto& [known, value] : kNamed) {
            if (name == known) code = value;
        }
    }
    if (code == 0) return 0;
    pos = semicolon + 1;
    return code;
}

// The character at `pos`, which moves past it; never reads at or past `end`.
char32_t NextChar(const Source& source, std::size_t& pos, std::size_t end) {
    const std::string_view text = source.text;
    const auto lead = static_cast<std::uint8_t>(text[pos]);
    if (source.html && lead == '&') {
        if (const char32_t code = Entity(text, pos, end)) return code;
    }
    std::size_t length = 1;
    if (source.utf8) length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length == 1 || end - pos < length) {
        ++pos;
        return lead;
    }
    char32_t code = lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
        code = (code << 6) | (static_cast<std::uint8_t>(text[pos + k]) & 0x3Fu);
    }
    pos += length;
    return code;
}

// Appends one character as the screen shows it: tabs to the next multiple of eight, every
// control character (a CR before LF among them) and the no-break space as a blank.
void Put(std::string& line, char32_t code) {
    if (code == '\t') {
        do line.push_back(' ');
        while (line.size() % 8 != 0);
    } else if (code < 0x20 || code == 0x7F || code == 0xA0) {
        line.push_back(' ');
    } else if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
        line.push_back(static_cast<char>(code));
    } else {
        line.push_back('?');
    }
}

// One line from `pos` (which moves past its line feed) up to `end`, as the screen shows it:
// tags dropped in HTML, where a tag spanning lines joins them, as the browser shows it.
// `lineFeeds` counts every line feed passed. True when the line ended with a line feed.
bool ScanLine(const Source& source, std::size_t& pos, std::size_t end, bool& inTag, int& lineFeeds,
              std::string& line) {
    line.clear();
    while (pos < end) {
        const char c = source.text[pos];
        if (c == '\n') ++lineFeeds;
        if (inTag || (source.html && c == '<')) {
            inTag = c != '>';
            ++pos;
        } else if (c == '\n') {
            ++pos;
            return true;
        } else if (c >= ' ' && c < 0x7F && c != '<' && c != '&') {
            // Most of a table is plain ASCII: copy it a run at a time.
            std::size_t run = pos + 1;
            while (run < end && source.text[run] >= ' ' && source.text[run] < 0x7F &&
                   source.text[run] != '<' && source.text[run] != '&') {
                ++run;
            }
            if (line.size() < kMaxLineColumns) {
                line.append(
                    source.text.substr(pos, std::min(run - pos, kMaxLineColumns - line.size())));
            }
            pos = run;
        } else {
            const char32_t code = NextChar(source, pos, end);
            if (line.size() < kMaxLineColumns) Put(line, code);
        }
    }
    return false;
}

// The lines of [begin, end), for a phrase of the page.
void AppendLines(const Source& source, std::size_t begin, std::size_t end, int firstLine,
                 std::vector<MpcLine>& lines) {
    bool inTag = false;
    int lineFeeds = 0;
    for (std::size_t pos = begin; pos < end;) {
        MpcLine line;
        line.number = firstLine + lineFeeds;
        if (ScanLine(source, pos, end, inTag, lineFeeds, line.text) || !line.text.empty()) {
            lines.push_back(std::move(line));
        }
    }
}

// The visible text of [begin, end) on one line, blanks collapsed, at most kMaxPhrase bytes.
std::string Phrase(const Source& source, std::size_t begin, std::size_t end) {
    std::vector<MpcLine> lines;
    AppendLines(source, begin, std::min(end, source.text.size()), 1, lines);
    std::string phrase;
    for (const MpcLine& line : lines) {
        for (const char c : line.text) {
            if (c != ' ') {
                phrase.push_back(c);
            } else if (!phrase.empty() && phrase.back() != ' ') {
                phrase.push_back(' ');
            }
        }
        if (!phrase.empty() && phrase.back() != ' ') phrase.push_back(' ');
    }
    if (!phrase.empty() && phrase.back() == ' ') phrase.pop_back();
    if (phrase.size() > kMaxPhrase) return {};
    return MpcLineToUtf8(phrase);
}

int LineOf(std::string_view text, std::size_t pos, std::size_t& countedTo, int& countedLines) {
    countedLines +=
        static_cast<int>(std::count(text.begin() + static_cast<std::ptrdiff_t>(countedTo),
                                    text.begin() + static_cast<std::ptrdiff_t>(pos), '\n'));
    countedTo = pos;
    return countedLines + 1;
}

// "Ephemerides are for the geocenter." or "... observatory code G37.": up to the tag or line
// end that closes the sentence; a full stop inside a line ("E. long.") does not end it.
std::string Site(const Source& source, std::size_t end) {
    constexpr std::string_view kLead = "Ephemerides are for";
    const std::size_t at = source.text.substr(0, end).find(kLead);
    if (at == std::string_view::npos) return {};
    const std::size_t begin = at + kLead.size();
    const std::size_t limit = std::min(end, begin + kMaxPhrase);
    std::size_t stop = begin;
    bool sawText = false;
    for (; stop < limit; ++stop) {
        const char c = source.text[stop];
        if (source.html && c == '<') break;
        if (c == '\n' && sawText) {
            std::size_t back = stop;
            while (back > begin &&
                   (source.text[back - 1] == '\r' || source.text[back - 1] == ' ')) {
                --back;
            }
            if (back > begin && source.text[back - 1] == '.') break;
        }
        sawText = sawText || (c != ' ' && c != '\n' && c != '\r' && c != '\t');
    }
    std::string site = Phrase(source, begin, stop);
    if (!site.empty() && site.back() == '.') site.pop_back();
    return site;
}

// The service's own words where a table would be ("No current elements found for ..."): the
// first sentence after the page's first rule.
std::string Notice(const Source& source) {
    const std::string_view text = source.text;
    std::size_t pos = FindTag(text, "<hr");
    if (pos == std::string_view::npos) return {};
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '<') {
            const std::size_t close = text.find('>', pos);
            if (close == std::string_view::npos) return {};
            pos = close + 1;
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            ++pos;
        } else {
            break;
        }
    }
    const std::size_t tag = std::min(text.find('<', pos), text.size());
    const std::size_t sentence = text.substr(0, tag).find(". ", pos);
    const std::size_t stop = sentence == std::string_view::npos ? tag : sentence + 1;
    return Phrase(source, pos, std::min(stop, pos + kMaxPhrase));
}

// The last bold text before the first table: the object's name.
std::string Name(const Source& source, std::size_t end) {
    std::size_t found = std::string_view::npos;
    for (std::size_t at = FindTag(source.text, "<b"); at != std::string_view::npos && at < end;
         at = FindTag(source.text, "<b", at + 1)) {
        found = at;
    }
    if (found == std::string_view::npos) return {};
    const std::size_t open = source.text.find('>', found);
    if (open == std::string_view::npos) return {};
    const std::size_t close = FindNoCase(source.text, "</b", open);
    if (close == std::string_view::npos || close > end || close - open > kMaxPhrase) return {};
    return Phrase(source, open + 1, close);
}

}  // namespace

MpcPage ReadMpcPage(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    MpcPage page;
    Source& source = page.source;
    source = Source{text, !ascii && Core::IsValidUtf8(text), false};
    page.firstPre = FindTag(text, "<pre");
    source.html = page.firstPre != std::string_view::npos ||
                  FindTag(text, "<html") != std::string_view::npos ||
                  FindTag(text, "<body") != std::string_view::npos;
    if (!source.html) {
        page.site = Site(source, text.size());
        return page;
    }
    const std::size_t beforeTables = std::min(page.firstPre, text.size());
    page.name = Name(source, beforeTables);
    page.site = Site(source, beforeTables);
    if (page.firstPre == std::string_view::npos) page.notice = Notice(source);
    return page;
}

MpcLineReader::MpcLineReader(const MpcPage& page)
    : source_(page.source), nextBlock_(page.source.html ? page.firstPre : 0) {}

bool MpcLineReader::OpenBlock() {
    const std::string_view text = source_.text;
    if (nextBlock_ == std::string_view::npos) return false;
    if (!source_.html) {
        pos_ = 0;
        end_ = text.size();
        closed_ = false;
        lineNumber_ = 1;
        nextBlock_ = std::string_view::npos;
        return true;
    }
    const std::size_t open = text.find('>', nextBlock_);
    if (open == std::string_view::npos) return false;
    const std::size_t close = std::min(FindNoCase(text, "</pre", open), text.size());
    pos_ = open + 1;
    end_ = close;
    closed_ = close < text.size();
    inTag_ = false;
    lineNumber_ = LineOf(text, open + 1, countedTo_, countedLines_);
    nextBlock_ = closed_ ? FindTag(text, "<pre", close) : std::string_view::npos;
    return true;
}

bool MpcLineReader::Next(MpcLine& line) {
    for (;;) {
        if (!inBlock_) {
            if (!OpenBlock()) return false;
            inBlock_ = true;
            afterEmpty_ = true;
        }
        if (pos_ >= end_) {
            inBlock_ = false;
            continue;
        }
        // Empty lines are passed over in one go: a page of millions of them reads quickly.
        const std::string_view text = source_.text;
        afterEmpty_ = false;
        while (pos_ < end_ && !inTag_ &&
               (text[pos_] == '\n' ||
                (text[pos_] == '\r' && pos_ + 1 < end_ && text[pos_ + 1] == '\n'))) {
            if (text[pos_] == '\n') {
                ++lineNumber_;
                afterEmpty_ = true;
            }
            ++pos_;
        }
        if (pos_ >= end_) continue;
        line.number = lineNumber_;
        int lineFeeds = 0;
        const bool ended = ScanLine(source_, pos_, end_, inTag_, lineFeeds, line.text);
        lineNumber_ += lineFeeds;
        stopsInside_ = !ended && !closed_;
        if (ended || !line.text.empty()) return true;
    }
}

std::string MpcLineToUtf8(std::string_view latin1) {
    std::string utf8;
    utf8.reserve(latin1.size());
    for (const char c : latin1) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte < 0x80) {
            utf8.push_back(c);
        } else {
            utf8.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return utf8;
}

}  // namespace Pelindra::Ephemeris
