#include "ephemeris/Reader.h"

#include <unistd.h>

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <cerrno>
#include <cstring>
#include <optional>

#include "core/RegularFile.h"
#include "ephemeris/HorizonsReader.h"
#include "ephemeris/MpcReader.h"

namespace Pelindra::Ephemeris {

namespace {

// Windows' "Unicode" text: a byte order mark, or (without one) the zero byte that every
// ASCII character of it carries, all on the same side.
std::optional<QStringConverter::Encoding> Utf16Encoding(std::string_view text) {
    if (text.starts_with("\xFF\xFE")) return QStringConverter::Utf16LE;
    if (text.starts_with("\xFE\xFF")) return QStringConverter::Utf16BE;
    const std::size_t sample = std::min<std::size_t>(text.size(), 512) & ~std::size_t(1);
    if (sample < 4) return std::nullopt;
    std::size_t evenZeros = 0, oddZeros = 0;
    for (std::size_t i = 0; i < sample; i += 2) {
        evenZeros += text[i] == '\0';
        oddZeros += text[i + 1] == '\0';
    }
    if (oddZeros == sample / 2 && evenZeros == 0) return QStringConverter::Utf16LE;
    if (evenZeros == sample / 2 && oddZeros == 0) return QStringConverter::Utf16BE;
    return std::nullopt;
}

// A carriage return not followed by a line feed ends a line too (old Macintosh text).
bool HasLoneCarriageReturn(std::string_view text) {
    for (std::size_t at = text.find('\r'); at != std::string_view::npos;
         at = text.find('\r', at + 1)) {
        if (at + 1 == text.size() || text[at + 1] != '\n') return true;
    }
    return false;
}

std::string WithLineFeeds(std::string_view text) {
    std::string converted(text);
    for (std::size_t i = 0; i < converted.size(); ++i) {
        if (converted[i] == '\r' && (i + 1 == converted.size() || converted[i + 1] != '\n')) {
            converted[i] = '\n';
        }
    }
    return converted;
}

}  // namespace

std::variant<Table, ReadError> ReadEphemeris(std::string_view text) {
    std::string utf8;
    if (const auto encoding = Utf16Encoding(text)) {
        QStringDecoder decoder(*encoding, QStringDecoder::Flag::Stateless);
        utf8 = QString(decoder(QByteArrayView(text.data(), static_cast<qsizetype>(text.size()))))
                   .toStdString();
        std::variant<Table, ReadError> result = ReadEphemeris(utf8);
        if (auto* error = std::get_if<ReadError>(&result)) {
            error->message += " (in the text, read as UTF-16)";
        }
        return result;
    }
    std::string lineFeeds;
    if (HasLoneCarriageReturn(text)) {
        lineFeeds = WithLineFeeds(text);
        text = lineFeeds;
    }
    if (LooksLikeHorizons(text)) return ReadHorizons(text);
    if (LooksLikeMpc(text)) return ReadMpc(text);
    return ReadError{std::string(kNoTableFound), 0};
}

std::variant<Table, ReadError> ReadEphemerisFile(const std::string& path) {
    const std::string name = Core::InputName(path);
    std::string bytes;
    if (path == "-") {
        // Standard input may be a pipe of any length.
        if (const auto error = Core::ReadAllFrom(STDIN_FILENO, kEphemerisSizeLimit, bytes)) {
            return ReadError{"cannot read " + name + ": " + *error};
        }
    } else {
        Core::FileContent file = Core::ReadRegularFile(path, kEphemerisSizeLimit);
        if (file.state == Core::FileContent::State::Missing) {
            return ReadError{"cannot read " + name + ": " + std::strerror(ENOENT)};
        }
        if (file.state == Core::FileContent::State::Unusable) {
            return ReadError{"cannot read " + name + ": " + file.reason};
        }
        bytes = std::move(file.bytes);
    }
    std::variant<Table, ReadError> result = ReadEphemeris(bytes);
    if (auto* error = std::get_if<ReadError>(&result)) {
        std::string where = name;
        if (error->line > 0) where += ", line " + std::to_string(error->line);
        error->message = where + ": " + error->message;
    }
    return result;
}

}  // namespace Pelindra::Ephemeris
