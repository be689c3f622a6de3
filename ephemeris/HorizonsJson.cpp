#include "ephemeris/HorizonsJson.h"

#include <cstdint>
#include <optional>

namespace Pelindra::Ephemeris {

namespace {

// A reader of just enough JSON for the API's reply: one object whose "result" (or "error")
// is a string. It decodes that string straight into UTF-8, which takes a fraction of the
// memory a whole document tree and its UTF-16 strings would.
class JsonScanner {
  public:
    explicit JsonScanner(std::string_view text) : text_(text) {}

    std::size_t Position() const { return pos_; }

    void SkipBlanks() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                       text_[pos_] == '\n' || text_[pos_] == '\r')) {
            ++pos_;
        }
    }

    bool Take(char c) {
        SkipBlanks();
        if (pos_ >= text_.size() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }

    bool Peek(char c) {
        SkipBlanks();
        return pos_ < text_.size() && text_[pos_] == c;
    }

    // A string at the position, decoded into `out` when given.
    bool String(std::string* out) {
        if (!Take('"')) return false;
        while (pos_ < text_.size()) {
            // Plain characters a run at a time.
            std::size_t run = pos_;
            while (run < text_.size() && text_[run] != '"' && text_[run] != '\\' &&
                   static_cast<unsigned char>(text_[run]) >= 0x20) {
                ++run;
            }
            if (out) out->append(text_.substr(pos_, run - pos_));
            pos_ = run;
            if (pos_ >= text_.size()) return false;
            const char c = text_[pos_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                if (out) out->push_back(c);
                continue;
            }
            if (pos_ >= text_.size()) return false;
            const char escaped = text_[pos_++];
            char plain = 0;
            switch (escaped) {
                case '"':
                    plain = '"';
                    break;
                case '\\':
                    plain = '\\';
                    break;
                case '/':
                    plain = '/';
                    break;
                case 'b':
                    plain = '\b';
                    break;
                case 'f':
                    plain = '\f';
                    break;
                case 'n':
                    plain = '\n';
                    break;
                case 'r':
                    plain = '\r';
                    break;
                case 't':
                    plain = '\t';
                    break;
                case 'u': {
                    std::optional<char32_t> code = Hex4();
                    if (!code) return false;
                    if (*code >= 0xD800 && *code < 0xDC00 && text_.substr(pos_, 2) == "\\u") {
                        pos_ += 2;
                        const std::optional<char32_t> low = Hex4();
                        if (!low || *low < 0xDC00 || *low >= 0xE000) return false;
                        code = 0x10000 + ((*code - 0xD800) << 10) + (*low - 0xDC00);
                    }
                    if (out) AppendUtf8(*out, *code);
                    continue;
                }
                default:
                    return false;
            }
            if (out) out->push_back(plain);
        }
        return false;
    }

    // Any value, passed over; nesting is counted, never recursed into.
    bool SkipValue() {
        SkipBlanks();
        int depth = 0;
        do {
            SkipBlanks();
            if (pos_ >= text_.size()) return false;
            const char c = text_[pos_];
            if (c == '"') {
                if (!String(nullptr)) return false;
            } else if (c == '{' || c == '[') {
                ++depth;
                ++pos_;
                continue;
            } else if (c == '}' || c == ']') {
                if (depth == 0) return false;
                --depth;
                ++pos_;
            } else if (c == ',' || c == ':') {
                if (depth == 0) return false;
                ++pos_;
                continue;
            } else {
                const std::size_t start = pos_;
                while (pos_ < text_.size() &&
                       std::string_view("{}[],: \t\r\n\"").find(text_[pos_]) ==
                           std::string_view::npos) {
                    ++pos_;
                }
                if (pos_ == start) return false;
            }
        } while (depth > 0);
        return true;
    }

  private:
    std::optional<char32_t> Hex4() {
        if (text_.size() - pos_ < 4) return std::nullopt;
        char32_t code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[pos_++];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0) return std::nullopt;
            code = code * 16 + static_cast<char32_t>(digit);
        }
        return code;
    }

    static void AppendUtf8(std::string& out, char32_t code) {
        if (code >= 0xD800 && code < 0xE000) code = 0xFFFD;  // half of a pair
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (code >> 18)));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

// Horizons' message may run over several lines; a message here takes one.
std::string OneLine(std::string_view text) {
    std::string line;
    for (const char c : text) {
        const bool blank =
            c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
        if (!blank) {
            line.push_back(c);
        } else if (!line.empty() && line.back() != ' ') {
            line.push_back(' ');
        }
    }
    if (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

}  // namespace

bool LooksLikeJson(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '{';
}

std::variant<std::string, ReadError> HorizonsJsonResult(std::string_view json) {
    JsonScanner scanner(json);
    const auto broken = [&] {
        return ReadError{"not a Horizons API reply: its JSON breaks off at byte " +
                         std::to_string(scanner.Position())};
    };
    std::optional<std::string> result, error;
    bool resultIsString = false, errorIsString = false;
    if (!scanner.Take('{')) return broken();
    if (!scanner.Take('}')) {
        do {
            std::string key;
            if (!scanner.String(&key) || !scanner.Take(':')) return broken();
            std::optional<std::string>* wanted = key == "result" && !result ? &result
                                                 : key == "error" && !error ? &error
                                                                            : nullptr;
            if (wanted && scanner.Peek('"')) {
                wanted->emplace();
                // Room for all that is left, which is no more than the table: pages are
                // taken only as the text fills them.
                (*wanted)->reserve(json.size() - scanner.Position());
                if (!scanner.String(&**wanted)) return broken();
                (wanted == &result ? resultIsString : errorIsString) = true;
            } else {
                if (wanted) wanted->emplace();
                if (!scanner.SkipValue()) return broken();
            }
        } while (scanner.Take(','));
        if (!scanner.Take('}')) return broken();
    }
    scanner.SkipBlanks();
    if (scanner.Position() != json.size()) return broken();

    if (error) {
        std::string message = errorIsString ? OneLine(*error) : std::string();
        if (message.empty()) message = "(no message)";
        return ReadError{"Horizons replied with an error: " + message};
    }
    if (!result || !resultIsString) return ReadError{std::string(kNoTableFound)};
    return std::move(*result);
}

}  // namespace Pelindra::Ephemeris
