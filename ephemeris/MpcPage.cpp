#include "ephemeris/MpcPage.h"

#include <algorithm>
#include <cstdint>

#include "core/Utf8.h"

namespace Pelindra::Ephemeris {

namespace {

// Longer bold names or site sentences are not the page's own: better none than a paragraph.
constexpr std::size_t kMaxPhrase = 200;

struct Source {
    std::string_view text;
    bool utf8 = false;  // else ISO-8859-1, the charset the service declares
    bool html = false;
};

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

// The lines of [begin, end), tags dropped in HTML; a tag spanning lines joins them, as the
// browser shows it.
void AppendLines(const Source& source, std::size_t begin, std::size_t end, int firstLine,
                 std::vector<MpcLine>& lines) {
    std::string line;
    int lineNumber = firstLine;
    int current = firstLine;
    bool inTag = false;
    for (std::size_t pos = begin; pos < end;) {
        const char c = source.text[pos];
        if (c == '\n') ++current;
        if (inTag || (source.html && c == '<')) {
            inTag = c != '>';
            ++pos;
        } else if (c == '\n') {
            lines.push_back({std::move(line), lineNumber});
            line.clear();
            lineNumber = current;
            ++pos;
        } else if (c >= ' ' && c < 0x7F && c != '<' && c != '&') {
            // Most of a table is plain ASCII: copy it a run at a time.
            std::size_t run = pos + 1;
            while (run < end && source.text[run] >= ' ' && source.text[run] < 0x7F &&
                   source.text[run] != '<' && source.text[run] != '&') {
                ++run;
            }
            line.append(source.text.substr(pos, run - pos));
            pos = run;
        } else {
            Put(line, NextChar(source, pos, end));
        }
    }
    if (!line.empty()) lines.push_back({std::move(line), lineNumber});
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
    Source source{text, !ascii && Core::IsValidUtf8(text), false};
    const std::size_t firstPre = FindTag(text, "<pre");
    source.html = firstPre != std::string_view::npos ||
                  FindTag(text, "<html") != std::string_view::npos ||
                  FindTag(text, "<body") != std::string_view::npos;

    MpcPage page;
    if (!source.html) {
        AppendLines(source, 0, text.size(), 1, page.lines);
        page.site = Site(source, text.size());
        return page;
    }

    const std::size_t beforeTables = std::min(firstPre, text.size());
    page.name = Name(source, beforeTables);
    page.site = Site(source, beforeTables);
    if (firstPre == std::string_view::npos) page.notice = Notice(source);

    std::size_t countedTo = 0;
    int countedLines = 0;
    for (std::size_t pre = firstPre; pre != std::string_view::npos;) {
        const std::size_t open = text.find('>', pre);
        if (open == std::string_view::npos) break;
        const std::size_t close = std::min(FindNoCase(text, "</pre", open), text.size());
        AppendLines(source, open + 1, close, LineOf(text, open + 1, countedTo, countedLines),
                    page.lines);
        pre = close < text.size() ? FindTag(text, "<pre", close) : std::string_view::npos;
    }
    return page;
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
