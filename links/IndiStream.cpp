#include "links/IndiStream.h"

#include <QRegularExpression>
#include <QStringList>
#include <cmath>

namespace Pelindra::Links {

namespace {

// No property this program reads comes near it; a BLOB is never asked for.
constexpr qsizetype kElementTextLimit = 1024 * 1024;

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
}

std::variant<std::vector<IndiVector>, QString> IndiStream::Feed(const QByteArray& bytes) {
    reader_.addData(bytes);
    std::vector<IndiVector> done;
    while (!reader_.atEnd()) {
        switch (reader_.readNext()) {
            case QXmlStreamReader::StartElement: {
                ++depth_;
                const auto attributes = reader_.attributes();
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
                if (depth_ == kElementDepth) {
                    elementText_ += reader_.text();
                    if (elementText_.size() > kElementTextLimit) {
                        return QStringLiteral("an element of over 1 MB");
                    }
                }
                break;
            case QXmlStreamReader::EndElement:
                if (depth_ == kElementDepth) {
                    current_.elements.emplace_back(elementName_, elementText_.trimmed());
                } else if (depth_ == kMessageDepth && !ignoring_) {
                    done.push_back(std::move(current_));
                    current_ = {};
                }
                --depth_;
                break;
            default:
                break;
        }
    }
    if (reader_.hasError() && reader_.error() != QXmlStreamReader::PrematureEndOfDocumentError) {
        return QString("something that is not INDI's XML (%1, line %2)")
            .arg(reader_.errorString())
            .arg(reader_.lineNumber());
    }
    return done;
}

}  // namespace Pelindra::Links
