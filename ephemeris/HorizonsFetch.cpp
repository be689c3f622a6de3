#include "ephemeris/HorizonsFetch.h"

#include <QFutureWatcher>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QStringList>
#include <QtConcurrent/QtConcurrentRun>
#include <cmath>
#include <string_view>

#include "core/SecondsText.h"
#include "ephemeris/Reader.h"

namespace Pelindra::Ephemeris {

namespace {

constexpr qint64 kMiB = 1024 * 1024;
constexpr qint64 kReadBuffer = 1024 * 1024;
constexpr qint64 kRefusalKept = 64 * 1024;

// Horizons reads a quoted value up to the next quote; none can be escaped.
bool HasQuote(const QString& text) {
    return text.contains(u'\'');
}

QString Quoted(const QString& value) {
    return "'" + value + "'";
}

// Plain decimals: Horizons does not read exponents in SITE_COORD.
QString Decimal(double value) {
    QString text = QString::number(value, 'f', 6);
    while (text.endsWith(u'0')) text.chop(1);
    if (text.endsWith(u'.')) text.chop(1);
    return text == "-0" ? "0" : text;
}

QString UtcMinute(const QDateTime& time) {
    return time.toUTC().toString("yyyy-MM-dd HH:mm");
}

QString TrimmedEnd(QString line) {
    while (!line.isEmpty() && line.back().isSpace()) line.chop(1);
    return line;
}

// Blank lines and Horizons' rows of asterisks carry nothing to show.
bool IsFiller(const QString& line) {
    const QString trimmed = line.trimmed();
    return trimmed.isEmpty() || trimmed.count(u'*') == trimmed.size();
}

// Up to `count` lines worth showing from `from` on, and "..." when more follow.
QString ShownLines(const QStringList& lines, qsizetype from, qsizetype count) {
    QStringList shown;
    for (qsizetype i = from; i < lines.size(); ++i) {
        if (IsFiller(lines[i])) continue;
        if (shown.size() == count) {
            shown << "...";
            break;
        }
        shown << TrimmedEnd(lines[i]);
    }
    return shown.join(u'\n');
}

qsizetype FirstLineWith(const QStringList& lines, const QRegularExpression& pattern,
                        qsizetype from = 0) {
    for (qsizetype i = from; i < lines.size(); ++i)
        if (lines[i].contains(pattern)) return i;
    return -1;
}

// Horizons' reply to a name that fits several objects: a list of them, and no table.
std::optional<QString> MatchList(const QStringList& lines) {
    static const QRegularExpression marker(
        "Multiple major-bodies match|Matching small-bodies|To SELECT, enter record");
    static const QRegularExpression header("ID#|Record #");
    const qsizetype at = FirstLineWith(lines, marker);
    if (at < 0) return std::nullopt;
    const qsizetype from = FirstLineWith(lines, header, at);
    return ShownLines(lines, from < 0 ? at : from, 12);
}

QString JsonString(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString().trimmed() : QString();
}

// Horizons explains a refused request in its JSON body, under "error" or "message".
QString ErrorDetail(const QByteArray& body) {
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject()) return {};
    const QString error = JsonString(document.object(), "error");
    return error.isEmpty() ? JsonString(document.object(), "message") : error;
}

// The start of a body that is not what was expected, as a hint of what answered instead
// (a captive portal's page, a proxy's message).
QString Beginning(const QByteArray& body) {
    QString text = QString::fromUtf8(body.left(200)).simplified();
    if (text.size() > 60) text = text.left(60) + "...";
    return text;
}

// Errors QNetworkReply derives from an HTTP status (the content, protocol and server
// groups), as opposed to a failed connection or proxy; the status tells more than they do.
bool IsHttpStatusError(QNetworkReply::NetworkError error) {
    return error >= QNetworkReply::ContentAccessDenied;
}

// What went wrong with the transfer itself, in words; Qt's own texts name protocols and
// are sometimes empty ("Decompression failed: .").
QString TransferProblem(QNetworkReply::NetworkError error, const QString& qtText) {
    switch (error) {
        case QNetworkReply::ConnectionRefusedError:
            return "nothing there accepts the connection (it was refused)";
        case QNetworkReply::RemoteHostClosedError:
            return "the server closed the connection before the whole reply had come";
        case QNetworkReply::HostNotFoundError:
            return "no server of that name was found: check the network connection";
        case QNetworkReply::SslHandshakeFailedError:
            return "a secure connection could not be set up: the server's certificate was not "
                   "accepted";
        case QNetworkReply::TemporaryNetworkFailureError:
        case QNetworkReply::NetworkSessionFailedError:
        case QNetworkReply::BackgroundRequestNotAllowedError:
            return "the network is not available";
        case QNetworkReply::TooManyRedirectsError:
        case QNetworkReply::InsecureRedirectError:
            return "it sent the request on to another server, which is not followed";
        case QNetworkReply::ProxyConnectionRefusedError:
        case QNetworkReply::ProxyConnectionClosedError:
        case QNetworkReply::ProxyNotFoundError:
        case QNetworkReply::ProxyTimeoutError:
        case QNetworkReply::ProxyAuthenticationRequiredError:
        case QNetworkReply::UnknownProxyError:
            return "the proxy server in between did not pass the request on";
        case QNetworkReply::ProtocolFailure:
        case QNetworkReply::ProtocolUnknownError:
        case QNetworkReply::ProtocolInvalidOperationError:
        case QNetworkReply::UnknownContentError:
            return "the reply came damaged and could not be read (its packed data or the way "
                   "it was sent was broken)";
        default:
            break;
    }
    const QString said = qtText.trimmed();
    return said.isEmpty() || said.endsWith(": .") ? QString("the transfer failed")
                                                  : "the transfer failed (" + said + ")";
}

}  // namespace

std::optional<QString> QueryProblem(const HorizonsQuery& query) {
    const QString target = query.target.trimmed();
    if (target.isEmpty()) return QString("Enter the target's designation, number or name.");
    if (HasQuote(target)) return QString("The target cannot contain a single quote (').");
    if (const auto* code = std::get_if<QString>(&query.observer)) {
        static const QRegularExpression siteCode("^[A-Za-z0-9]{3}$");
        if (!siteCode.match(code->trimmed()).hasMatch()) {
            return QString("An MPC site code has three letters or digits (\"G37\", \"500\").");
        }
    } else {
        const GeodeticSite& site = std::get<GeodeticSite>(query.observer);
        if (!(std::abs(site.latitudeDegrees) <= 90)) {
            return QString("The latitude must lie between -90 and 90 degrees.");
        }
        if (!(std::abs(site.eastLongitudeDegrees) <= 360)) {
            return QString("The longitude must lie between -360 and 360 degrees.");
        }
    }
    if (!query.start.isValid() || !query.stop.isValid()) {
        return QString("Enter a start and a stop time.");
    }
    if (UtcMinute(query.stop) <= UtcMinute(query.start)) {
        return QString("The stop time must come after the start time.");
    }
    const QString step = query.step.trimmed();
    if (step.isEmpty() || HasQuote(step)) {
        return QString("Enter a step such as \"10 m\" or \"1 h\".");
    }
    return std::nullopt;
}

QString HorizonsBaseUrl() {
    const QString fromEnvironment = qEnvironmentVariable("PELINDRA_HORIZONS_URL");
    return fromEnvironment.isEmpty() ? QString(kHorizonsApiUrl) : fromEnvironment;
}

QUrl HorizonsRequestUrl(const QString& baseUrl, const HorizonsQuery& query) {
    QByteArray parameters;
    const auto add = [&](const char* key, const QString& value) {
        if (!parameters.isEmpty()) parameters += '&';
        parameters += key;
        parameters += '=';
        // Everything but letters, digits and -._~, so '+', ';' and '&' in a designation
        // reach Horizons as typed.
        parameters += QUrl::toPercentEncoding(value);
    };
    add("format", "json");
    add("COMMAND", Quoted(query.target.trimmed()));
    add("OBJ_DATA", Quoted("NO"));
    add("MAKE_EPHEM", Quoted("YES"));
    add("EPHEM_TYPE", Quoted("OBSERVER"));
    if (const auto* code = std::get_if<QString>(&query.observer)) {
        add("CENTER", Quoted(code->trimmed().toUpper() + "@399"));
    } else {
        const GeodeticSite& site = std::get<GeodeticSite>(query.observer);
        add("CENTER", Quoted("coord@399"));
        add("COORD_TYPE", Quoted("GEODETIC"));
        add("SITE_COORD", Quoted(Decimal(site.eastLongitudeDegrees) + "," +
                                 Decimal(site.latitudeDegrees) + "," + Decimal(site.altitudeKm)));
    }
    add("START_TIME", Quoted(UtcMinute(query.start)));
    add("STOP_TIME", Quoted(UtcMinute(query.stop)));
    add("STEP_SIZE", Quoted(query.step.trimmed()));
    add("QUANTITIES", Quoted("1,3,47"));
    QUrl url(baseUrl);
    url.setQuery(QString::fromLatin1(parameters), QUrl::StrictMode);
    return url;
}

QString HorizonsReplyFileName(const HorizonsQuery& query) {
    QString name;
    for (const QChar c : query.target.trimmed()) {
        const bool kept = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
                          (c >= u'0' && c <= u'9') || c == u'-';
        if (kept) {
            name += c;
        } else if (!name.isEmpty() && !name.endsWith(u'_')) {
            name += u'_';
        }
    }
    if (name.endsWith(u'_')) name.chop(1);
    if (name.isEmpty()) name = "horizons";
    return name + "_" + query.start.toUTC().toString("yyyy-MM-dd_HHmm") + "UTC.json";
}

std::variant<QByteArray, FetchFailure> CheckHorizonsReply(const QByteArray& body,
                                                          const QString& host) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        const QString reason = parseError.error != QJsonParseError::NoError
                                   ? parseError.errorString()
                                   : QString("no JSON object");
        return FetchFailure{QString("The reply from %1 is not JSON (%2); it begins \"%3\".")
                                .arg(host, reason, Beginning(body))};
    }
    const QJsonObject reply = document.object();
    if (reply.contains("error")) {
        const QString error = JsonString(reply, "error");
        return FetchFailure{"Horizons refused the query: " +
                            (error.isEmpty() ? QString("it gave no reason.") : error)};
    }
    if (!reply.value("result").isString()) {
        return FetchFailure{QString("The reply from %1 holds no result.").arg(host)};
    }
    const QString result = reply.value("result").toString();
    if (!result.contains("$$SOE")) {
        QStringList lines = result.split(u'\n');
        for (QString& line : lines) line.remove(u'\r');
        if (const auto matches = MatchList(lines)) {
            return FetchFailure{
                "Horizons knows several objects by that target; enter one of their numbers "
                "(ID# or Record #) as the target:\n" +
                *matches};
        }
        return FetchFailure{"Horizons sent no ephemeris table:\n" + ShownLines(lines, 0, 8)};
    }
    const std::variant<Table, ReadError> table =
        ReadEphemeris(std::string_view(body.constData(), static_cast<std::size_t>(body.size())));
    if (const auto* error = std::get_if<ReadError>(&table)) {
        return FetchFailure{"Horizons' reply cannot be used: " +
                            QString::fromStdString(error->message)};
    }
    return body;
}

HorizonsFetch::HorizonsFetch(QString baseUrl, FetchTimeouts timeouts, QObject* parent)
    : QObject(parent),
      baseUrl_(std::move(baseUrl)),
      timeouts_(timeouts),
      network_(new QNetworkAccessManager(this)) {
    totalTimer_.setSingleShot(true);
    stallTimer_.setSingleShot(true);
    connect(&totalTimer_, &QTimer::timeout, this, [this] {
        fail(QString("%1 did not send the whole table within %2; try a shorter span or a "
                     "longer step.")
                 .arg(host(), Pelindra::Core::SecondsText(timeouts_.total)));
    });
    connect(&stallTimer_, &QTimer::timeout, this, [this] {
        const bool answering =
            reply_ && reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
        fail(answering
                 ? QString("%1 stopped sending for %2.").arg(host(), Pelindra::Core::SecondsText(timeouts_.stall))
                 : QString("%1 did not answer within %2.").arg(host(), Pelindra::Core::SecondsText(timeouts_.stall)));
    });
}

HorizonsFetch::~HorizonsFetch() {
    stop();
}

QString HorizonsFetch::host() const {
    return QUrl(baseUrl_).host();
}

std::optional<QString> HorizonsFetch::start(const HorizonsQuery& query) {
    if (auto problem = QueryProblem(query)) return problem;
    const QUrl base(baseUrl_);
    if (!base.isValid() || (base.scheme() != "https" && base.scheme() != "http") ||
        base.host().isEmpty()) {
        return QString("\"%1\" is not a web address for Horizons (PELINDRA_HORIZONS_URL).")
            .arg(baseUrl_);
    }
    if (isRunning()) cancel();
    QNetworkRequest request(HorizonsRequestUrl(baseUrl_, query));
    request.setHeader(QNetworkRequest::UserAgentHeader, "Pelindra/" PELINDRA_VERSION);
    // Only to the same server: a redirect to another host or port would send the query, and
    // take the reply, from a server the user never named.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::SameOriginRedirectPolicy);
    body_.clear();
    reply_ = network_->get(request);
    // Qt keeps no more than this in its buffer: the rest waits until readyRead takes it,
    // which counts it against the limit, however the reply is sent (in chunks, packed).
    reply_->setReadBufferSize(kReadBuffer);
    connect(reply_, &QNetworkReply::readyRead, this, &HorizonsFetch::onReadyRead);
    connect(reply_, &QNetworkReply::finished, this, &HorizonsFetch::onFinished);
    connect(reply_, &QNetworkReply::metaDataChanged, this, &HorizonsFetch::onHeaders);
    connect(reply_, &QNetworkReply::downloadProgress, this, &HorizonsFetch::onProgress);
    totalTimer_.start(timeouts_.total);
    stallTimer_.start(timeouts_.stall);
    return std::nullopt;
}

void HorizonsFetch::cancel() {
    if (reply_ || checking_) fail(QString("The fetch from %1 was cancelled.").arg(host()));
}

void HorizonsFetch::onHeaders() {
    stallTimer_.start(timeouts_.stall);
    const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > static_cast<qint64>(kEphemerisSizeLimit)) {
        fail(QString("%1 is sending %2 MiB; an ephemeris may have at most %3 MiB.")
                 .arg(host())
                 .arg(length.toLongLong() / kMiB)
                 .arg(static_cast<qint64>(kEphemerisSizeLimit) / kMiB));
    }
}

void HorizonsFetch::onProgress(qint64 received, qint64 total) {
    stallTimer_.start(timeouts_.stall);
    if (received > static_cast<qint64>(kEphemerisSizeLimit)) {
        fail(QString("%1 sent more than %2 MiB; an ephemeris may have no more.")
                 .arg(host())
                 .arg(static_cast<qint64>(kEphemerisSizeLimit) / kMiB));
        return;
    }
    emit progress(received, total);
}

void HorizonsFetch::onReadyRead() {
    stallTimer_.start(timeouts_.stall);
    const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool table = status == 0 || status == 200;
    // Of a refusal only its start is kept, for the reason it may give.
    const qint64 keep = table ? static_cast<qint64>(kEphemerisSizeLimit) + 1 : kRefusalKept;
    if (body_.size() < keep) body_ += reply_->read(keep - body_.size());
    if (!table) {
        reply_->skip(reply_->bytesAvailable());
        return;
    }
    if (body_.size() > static_cast<qsizetype>(kEphemerisSizeLimit)) {
        fail(QString("%1 sent more than %2 MiB; an ephemeris may have no more.")
                 .arg(host())
                 .arg(static_cast<qint64>(kEphemerisSizeLimit) / kMiB));
    }
}

void HorizonsFetch::onFinished() {
    const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = reply_->error();
    if (status != 0 && status != 200 &&
        (error == QNetworkReply::NoError || IsHttpStatusError(error))) {
        const QString reason =
            reply_->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
        onReadyRead();
        const QString detail = ErrorDetail(body_);
        QString message = QString("%1 answered HTTP %2").arg(host()).arg(status);
        if (!reason.isEmpty()) message += " " + reason;
        fail(detail.isEmpty() ? message + "." : message + ": " + detail);
        return;
    }
    if (error != QNetworkReply::NoError) {
        fail(QString("Cannot fetch from %1: %2.")
                 .arg(host(), TransferProblem(error, reply_->errorString())));
        return;
    }
    onReadyRead();
    if (!reply_) return;
    const QByteArray body = std::move(body_);
    body_.clear();
    stop();

    // Parsing a large reply takes a while: on another thread, so a window stays answering.
    checking_ = true;
    const int generation = ++checks_;
    auto* watcher = new QFutureWatcher<std::variant<QByteArray, FetchFailure>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        if (generation != checks_) return;  // cancelled, or another fetch began
        checking_ = false;
        std::variant<QByteArray, FetchFailure> checked = watcher->future().takeResult();
        if (auto* failure = std::get_if<FetchFailure>(&checked)) {
            emit failed(failure->message);
        } else {
            emit succeeded(std::get<QByteArray>(checked));
        }
    });
    watcher->setFuture(
        QtConcurrent::run([body, host = host()] { return CheckHorizonsReply(body, host); }));
}

void HorizonsFetch::fail(const QString& message) {
    stop();
    emit failed(message);
}

void HorizonsFetch::stop() {
    body_.clear();
    if (checking_) {
        checking_ = false;
        ++checks_;  // its result is no longer wanted
    }
    totalTimer_.stop();
    stallTimer_.stop();
    if (!reply_) return;
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    disconnect(reply, nullptr, this, nullptr);
    reply->abort();
    reply->deleteLater();
}

}  // namespace Pelindra::Ephemeris
