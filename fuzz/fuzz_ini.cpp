// The INI reader and writer over arbitrary files: after a write the entry reads back
// as written, other entries read as before, and every untouched line keeps its bytes.
#include <optional>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "settings/IniDocument.h"

using namespace Pelindra::Settings;

namespace {

// Names and values that read back unchanged: no blanks at their ends, no quotes around
// them, nothing that would end or start a line or a section.
std::string Clean(std::string text, bool isName) {
    std::string out;
    for (char c : text) {
        const bool banned = c == '\r' || c == '\n' || c == '"' || c == '\'' ||
                            (isName && (c == '[' || c == ']' || c == '=' || c == ';'));
        if (!banned) out += c;
    }
    while (!out.empty() && (out.front() == ' ' || out.front() == '\t')) out.erase(0, 1);
    while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
    return out;
}

std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' ||
            (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n'))) {
            lines.push_back(bytes.substr(start, i + 1 - start));
            start = i + 1;
        }
    }
    if (start < bytes.size()) lines.push_back(bytes.substr(start));
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::string file = input.Next();
    const std::string section = Clean(input.Next(), true);
    const std::string key = Clean(input.Next(), true);
    const std::string value = Clean(input.Next(), false);
    const std::string otherSection = input.Next();
    const std::string otherKey = input.Next();
    if (section.empty() || key.empty()) return 0;

    IniDocument ini(file);
    const std::optional<std::string> otherBefore = ini.Read(otherSection, otherKey);
    ini.Write(section, key, value);

    FUZZ_CHECK(ini.Read(section, key) == value);
    // Written twice, the file does not change any further.
    IniDocument again(ini.Bytes());
    again.Write(section, key, value);
    FUZZ_CHECK(again.Bytes() == ini.Bytes());

    // Another entry is unaffected unless its names match the written one's.
    const bool otherIsWritten = IniDocument("[" + section + "]\r\n" + key + "=v\r\n")
                                    .Read(otherSection, otherKey)
                                    .has_value();
    if (!otherIsWritten) {
        FUZZ_CHECK(ini.Read(otherSection, otherKey) == otherBefore);
    }

    // Untouched lines keep their bytes: the old and new files differ in one place only,
    // by at most one old line (replaced, or given a line end) and three new ones.
    const std::vector<std::string> before = Lines(file);
    const std::vector<std::string> after = Lines(ini.Bytes());
    std::size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) {
        ++prefix;
    }
    std::size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
        ++suffix;
    }
    FUZZ_CHECK(before.size() - prefix - suffix <= 1);
    FUZZ_CHECK(after.size() - prefix - suffix <= 3);
    return 0;
}
