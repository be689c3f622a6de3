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

// What the MPC's ephemeris service page says around its table. An HTML page gives the
// lines of its <pre> blocks; a copied text gives all its lines.
struct MpcPage {
    std::vector<MpcLine> lines;
    std::string name;    // the bold object name above the table, UTF-8; empty in a copied text
    std::string site;    // "the geocenter", "observatory code G37", UTF-8; empty when not said
    std::string notice;  // a page without a table: the service's first words where it would be
};

MpcPage ReadMpcPage(std::string_view text);

// A line in the one-byte form above, back to UTF-8 for display.
std::string MpcLineToUtf8(std::string_view latin1);

}  // namespace Pelindra::Ephemeris
