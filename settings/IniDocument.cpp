#include "settings/IniDocument.h"

#include <cstddef>
#include <utility>

#include "settings/AsciiCase.h"

namespace Pelindra::Settings {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kEol = "\r\n";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    return s.substr(i);
}

std::string_view Trim(std::string_view s) {
    s = TrimLeft(s);
    std::size_t n = s.size();
    while (n > 0 && IsBlank(s[n - 1])) --n;
    return s.substr(0, n);
}

// Offsets into the file: text is [begin, textEnd), its line end is [textEnd, end).
struct Line {
    std::size_t begin = 0;
    std::size_t textEnd = 0;
    std::size_t end = 0;
};

// Walks the lines of the file. CR LF, LF and a lone CR all end a line; the byte-order
// mark is stepped over so it never ends up in the first line's text.
class LineReader {
  public:
    explicit LineReader(std::string_view bytes)
        : bytes_(bytes), pos_(bytes.starts_with(kBom) ? kBom.size() : 0) {}

    bool Next(Line& line) {
        // A file that ends with a line end has no further (empty) line after it.
        if (pos_ >= bytes_.size()) return false;
        line.begin = pos_;
        std::size_t i = pos_;
        while (i < bytes_.size() && bytes_[i] != '\r' && bytes_[i] != '\n') ++i;
        line.textEnd = i;
        if (i < bytes_.size()) {
            i += (bytes_[i] == '\r' && i + 1 < bytes_.size() && bytes_[i + 1] == '\n') ? 2 : 1;
        }
        line.end = i;
        pos_ = i;
        return true;
    }

    std::string_view Text(const Line& line) const {
        return bytes_.substr(line.begin, line.textEnd - line.begin);
    }

  private:
    std::string_view bytes_;
    std::size_t pos_;
};

struct Lookup {
    bool sectionFound = false;
    Line lastFilled;  // last non-blank line of the section, its head at least
    bool entryFound = false;
    Line entry;
    std::string_view entryKey;  // trimmed, as spelled in the file
    std::string_view entryValue;
};

// One pass over the file: stops at the entry, or at the end of the first matching
// section, so later duplicate sections and keys are never looked at.
Lookup Find(std::string_view bytes, std::string_view section, std::string_view key) {
    section = Trim(section);
    key = Trim(key);
    Lookup found;
    LineReader reader(bytes);
    Line line;
    while (reader.Next(line)) {
        const std::string_view text = Trim(reader.Text(line));
        if (text.starts_with('[')) {
            if (found.sectionFound) break;
            // A head missing its "]" still names a section, up to the line end.
            const std::string_view name = text.substr(1, text.find(']') - 1);
            if (EqualsIgnoringAsciiCase(Trim(name), section)) {
                found.sectionFound = true;
                found.lastFilled = line;
            }
            continue;
        }
        if (!found.sectionFound || text.empty()) continue;
        found.lastFilled = line;
        const std::size_t eq = text.find('=');
        if (eq == std::string_view::npos || text.front() == ';') continue;
        const std::string_view lineKey = Trim(text.substr(0, eq));
        if (!EqualsIgnoringAsciiCase(lineKey, key)) continue;
        found.entryFound = true;
        found.entry = line;
        found.entryKey = lineKey;
        found.entryValue = Trim(text.substr(eq + 1));
        break;
    }
    return found;
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// A line break in a value would turn its tail into lines of its own.
std::string_view StoredValue(std::string_view value) {
    value = TrimLeft(value);
    return value.substr(0, value.find_first_of(kEol));
}

std::string EntryLine(std::string_view key, std::string_view value) {
    std::string line;
    line.reserve(key.size() + value.size() + 3);
    line.append(key).append("=").append(value).append(kEol);
    return line;
}

}  // namespace

IniDocument::IniDocument(std::string bytes) : bytes_(std::move(bytes)) {}

std::optional<std::string> IniDocument::Read(std::string_view section, std::string_view key) const {
    const Lookup found = Find(bytes_, section, key);
    if (!found.entryFound) return std::nullopt;
    return std::string(Unquote(found.entryValue));
}

void IniDocument::Write(std::string_view section, std::string_view key, std::string_view value) {
    value = StoredValue(value);
    const Lookup found = Find(bytes_, section, key);
    if (found.entryFound) {
        // Keep the file's own key spelling, so a rewrite does not churn the file.
        const std::string line = EntryLine(found.entryKey, value);
        bytes_.replace(found.entry.begin, found.entry.end - found.entry.begin, line);
        return;
    }
    std::string added;
    if (found.sectionFound) {
        // After the last non-blank line, so blank lines keep separating the sections.
        if (found.lastFilled.textEnd == found.lastFilled.end) added.append(kEol);
        added.append(EntryLine(Trim(key), value));
        bytes_.insert(found.lastFilled.end, added);
        return;
    }
    // A bare byte-order mark counts as an empty file.
    const bool open =
        !bytes_.empty() && bytes_ != kBom && bytes_.back() != '\r' && bytes_.back() != '\n';
    if (open) added.append(kEol);
    added.append("[").append(Trim(section)).append("]").append(kEol);
    added.append(EntryLine(Trim(key), value));
    bytes_.append(added);
}

const std::string& IniDocument::Bytes() const {
    return bytes_;
}

}  // namespace Pelindra::Settings
