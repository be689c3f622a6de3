#include "ephemeris/HorizonsJson.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

namespace Pelindra::Ephemeris {

bool LooksLikeJson(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '{';
}

std::variant<std::string, ReadError> HorizonsJsonResult(std::string_view json) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(json.data(), static_cast<qsizetype>(json.size())), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return ReadError{"not a Horizons API reply: its JSON breaks off at byte " +
                         std::to_string(parseError.offset) + " (" +
                         parseError.errorString().toStdString() + ")"};
    }
    const QJsonObject reply = document.object();
    if (reply.contains(QLatin1String("error"))) {
        // Horizons' message may run over several lines; a message here takes one.
        QString message = reply.value(QLatin1String("error")).toString().simplified();
        if (message.isEmpty()) message = QStringLiteral("(no message)");
        return ReadError{"Horizons replied with an error: " + message.toStdString()};
    }
    const QJsonValue result = reply.value(QLatin1String("result"));
    if (!result.isString()) return ReadError{std::string(kNoTableFound)};
    return result.toString().toStdString();
}

}  // namespace Pelindra::Ephemeris
