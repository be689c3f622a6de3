#pragma once

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace Pelindra::Links {

enum class IndiKind { Switch, Number, Text, Light, Blob, Message, Deleted };

// One whole message from an INDI server: a property vector defined (def...) or updated
// (set...), a deleted property, or a device's message.
struct IndiVector {
    IndiKind kind = IndiKind::Message;
    bool definition = false;
    QString device;
    QString name;
    QString state;  // Idle, Ok, Busy or Alert
    QString message;
    std::vector<std::pair<QString, QString>> elements;  // name, trimmed text

    [[nodiscard]] std::optional<QString> Value(const QString& element) const;
};

// An element's number: decimal, or sexagesimal ("12:30:00", "-5 30") as INDI allows.
[[nodiscard]] std::optional<double> IndiNumber(const QString& text);

// What one message may hold. No property this program reads comes near them; BLOBs, the
// only large messages, are never asked for.
inline constexpr qsizetype kIndiMessageLimitBytes = 1024 * 1024;
inline constexpr qsizetype kIndiAttributeLimitChars = 64 * 1024;
// The made-up root, a message, its elements; two more levels are tolerated.
inline constexpr int kIndiDepthLimit = 5;

// Reads the server's stream as it arrives. The stream has no root element, so the reader
// is given a made-up one first; a chunk that ends inside an element waits for the next.
class IndiStream {
  public:
    IndiStream();
    // For a new connection.
    void Reset();

    // The messages the bytes complete, or why the stream is not INDI's XML or is too large.
    [[nodiscard]] std::variant<std::vector<IndiVector>, std::string> Feed(const QByteArray& bytes);

  private:
    // One piece of at most kPieceBytes: whether a message ended in it, or why not INDI.
    [[nodiscard]] std::variant<bool, std::string> Parse(std::vector<IndiVector>& done);

    QXmlStreamReader reader_;
    int depth_ = 0;
    bool ignoring_ = false;
    // Bytes fed since the piece in which the last message ended: they belong to one
    // unfinished message, which the reader keeps whole until it ends.
    qsizetype unfinishedBytes_ = 0;
    IndiVector current_;
    QString elementName_;
    QString elementText_;
};

}  // namespace Pelindra::Links
