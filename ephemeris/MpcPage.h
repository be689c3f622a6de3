#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Pelindra::Ephemeris {

// One line of an MPC reply as it shows on screen: tags dropped, entities decoded and tabs
// expanded, one Latin-1 byte per character (a character beyond Latin-1 becomes '?'), so
// that a row's columns line up with the header above it whatever the page's charset.
struct MpcLine {
    std::string text;
    int number = 0;  // 1-based line of the input where it starts
};

// What the MPC's ephemeris service page says around its table.
struct MpcPage {
    struct Source {
        std::string_view text;
        bool utf8 = false;  // else ISO-8859-1, the charset the service declares
        bool html = false;
    };
    Source source;
    std::size_t firstPre = std::string_view::npos;  // HTML: where its tables start
    std::string name;    // the bold object name above the table, UTF-8; empty in a copied text
    std::string site;    // as the page says it: "the geocenter", "observatory code G37", UTF-8;
                         // empty when not said
    std::string notice;  // a page without a table: the service's first words where it would be
};

// Refers to `text`, which must outlive it.
MpcPage ReadMpcPage(std::string_view text);

// The lines of a page one at a time, so that a text of any number of lines costs no more
// than its longest: an HTML page gives the lines of its <pre> blocks, a copied text all of
// its lines.
class MpcLineReader {
  public:
    explicit MpcLineReader(const MpcPage& page);

    // The next line that is not empty into `line`, whose buffer is reused; false after the
    // last.
    bool Next(MpcLine& line);
    // Whether an empty line (or the start of a block) stands before the line Next gave.
    bool AfterEmpty() const { return afterEmpty_; }
    // The line Next gave last has no line end and nothing closes its block: the text
    // stops inside it.
    bool StopsInside() const { return stopsInside_; }

  private:
    bool OpenBlock();

    MpcPage::Source source_;
    std::size_t nextBlock_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool inBlock_ = false;
    bool closed_ = false;
    bool inTag_ = false;
    bool stopsInside_ = false;
    bool afterEmpty_ = false;
    int lineNumber_ = 1;
    std::size_t countedTo_ = 0;
    int countedLines_ = 0;
};

// A line in the one-byte form above, back to UTF-8 for display.
std::string MpcLineToUtf8(std::string_view latin1);

}  // namespace Pelindra::Ephemeris
