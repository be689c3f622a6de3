#include "links/IndiStream.h"

#include <QRegularExpression>
#include <QStringList>
#include <cmath>

namespace Pelindra::Links {

namespace {

// The reader is given the stream in pieces of this size, so that at most one piece lies
// beyond the message bound before it is noticed.
constexpr qsizetype kPieceBytes = 64 * 1024;

// Depth of a message's own element below the made-up root, and of its elements.
constexpr int kMessageDepth = 2;
constexpr int kElementDepth = 3;

std::optional<IndiKind> KindOf(QStringView tag, bool& definition) {
    definition = tag.startsWith(u"def");
    if (tag == u"delProperty") return IndiKind::Deleted;
    if (tag == u"message") return IndiKind::Message;
    if (!definition && !tag.startsWith(u"set")) return std::nullopt;
    const QStringView kind = tag.mid(3);
    if (kind == u"SwitchVector") return IndiKind::Switch;
    if (kind == u"NumberVector") return IndiKind::Number;
    if (kind == u"TextVector") return IndiKind::Text;
    if (kind == u"LightVector") return IndiKind::Light;
    if (kind == u"BLOBVector") return IndiKind::Blob;
    return std::nullopt;
}

}  // namespace

std::optional<QString> IndiVector::Value(const QString& element) const {
    for (const auto& [name, value] : elements) {
        if (name == element) return value;
    }
    return std::nullopt;
}

std::optional<double> IndiNumber(const QString& text) {
    const QStringList parts = text.trimmed().split(QRegularExpression("[: ]+"));
    if (parts.isEmpty() || parts.size() > 3) return std::nullopt;
    double value = 0;
    double scale = 1;
    bool negative = false;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const double part = parts[i].toDouble(&ok);
        if (!ok || !std::isfinite(part)) return std::nullopt;
        if (i == 0) negative = parts[i].startsWith('-');
        value += std::fabs(part) / scale;
        scale *= 60;
    }
    return negative ? -value : value;
}

IndiStream::IndiStream() {
    Reset();
}

void IndiStream::Reset() {
    reader_.clear();
    reader_.addData(QByteArrayLiteral("<indi>"));
    depth_ = 0;
    ignoring_ = false;
    unfinishedBytes_ = 0;
}

std::variant<std::vector<IndiVector>, std::string> IndiStream::Feed(const QByteArray& bytes) {
    std::vector<IndiVector> done;
    for (qsizetype from = 0; from < bytes.size(); from += kPieceBytes) {
        const QByteArray piece = bytes.mid(from, kPieceBytes);
        reader_.addData(piece);
        auto parsed = Parse(done);
        if (auto* problem = std::get_if<std::string>(&parsed)) return std::move(*problem);
        unfinishedBytes_ = std::get<bool>(parsed) ? 0 : unfinishedBytes_ + piece.size();
        if (unfinishedBytes_ > kIndiMessageLimitBytes) {
            return std::string("a message of over 1 MiB");
        }
    }
    return done;
}

std::variant<bool, std::string> IndiStream::Parse(std::vector<IndiVector>& done) {
    bool ended = false;
    while (!reader_.atEnd()) {
        switch (reader_.readNext()) {
            case QXmlStreamReader::StartElement: {
                if (++depth_ > kIndiDepthLimit) {
                    return "elements nested more than " + std::to_string(kIndiDepthLimit) + " deep";
                }
                const auto attributes = reader_.attributes();
                for (const auto& attribute : attributes) {
                    if (attribute.value().size() > kIndiAttributeLimitChars) {
                        return std::string("an attribute of over 64 KiB");
                    }
                }
                if (depth_ == kMessageDepth) {
                    bool definition = false;
                    const auto kind = KindOf(reader_.name(), definition);
                    // A later protocol's message (pingRequest, ...) is left unread.
                    ignoring_ = !kind;
                    current_ = IndiVector{kind.value_or(IndiKind::Message),
                                          definition,
                                          attributes.value("device").toString(),
                                          attributes.value("name").toString(),
                                          attributes.value("state").toString(),
                                          attributes.value("message").toString(),
                                          {}};
                } else if (depth_ == kElementDepth) {
                    elementName_ = attributes.value("name").toString();
                    elementText_.clear();
                }
                break;
            }
            case QXmlStreamReader::Characters:
                if (depth_ == kElementDepth) elementText_ += reader_.text();
                break;
            case QXmlStreamReader::EndElement:
                if (depth_ == kElementDepth) {
                    current_.elements.emplace_back(elementName_, elementText_.trimmed());
                } else if (depth_ == kMessageDepth) {
                    ended = true;
                    if (!ignoring_) done.push_back(std::move(current_));
                    current_ = {};
                }
                --depth_;
                break;
            // Declarations would let the server define entities that expand without end.
            case QXmlStreamReader::DTD:
                return std::string("a document type declaration, which INDI never sends");
            case QXmlStreamReader::EntityReference:
                return std::string("an entity that is not XML's own, which INDI never sends");
            default:
                break;
        }
    }
    if (reader_.hasError() && reader_.error() != QXmlStreamReader::PrematureEndOfDocumentError) {
        return "something that is not INDI's XML (" + reader_.errorString().toStdString() +
               ", line " + std::to_string(reader_.lineNumber()) + ")";
    }
    return ended;
}

}  // namespace Pelindra::Links
