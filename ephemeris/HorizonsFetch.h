#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <optional>
#include <variant>

class QNetworkAccessManager;
class QNetworkReply;

namespace Pelindra::Ephemeris {

inline constexpr char kHorizonsApiUrl[] = "https://ssd.jpl.nasa.gov/api/horizons.api";

// An observer given by position: what Horizons' SITE_COORD takes for COORD_TYPE=GEODETIC.
struct GeodeticSite {
    double eastLongitudeDegrees = 0;
    double latitudeDegrees = 0;
    double altitudeKm = 0;  // above the reference ellipsoid
};

// One observer table to ask Horizons for.
struct HorizonsQuery {
    QString target;  // COMMAND as Horizons reads it: "C/2025 N1", "433", "DES=2P; CAP;"
    std::variant<QString, GeodeticSite> observer;  // an MPC site code ("G37", "500") or a place
    QDateTime start;                               // UTC; sent to the minute
    QDateTime stop;
    QString step;  // STEP_SIZE: "10 m", "1 h"
};

// Why the query cannot be sent as it stands; nullopt when it can.
[[nodiscard]] std::optional<QString> QueryProblem(const HorizonsQuery& query);

// PELINDRA_HORIZONS_URL when it is set, else kHorizonsApiUrl.
QString HorizonsBaseUrl();

// The GET request for an observer table with quantities 1, 3 and 47 as JSON: every value
// but `format` in single quotes, all of it percent-encoded.
QUrl HorizonsRequestUrl(const QString& baseUrl, const HorizonsQuery& query);

// A file name for the saved reply, from the target and the start time:
// "C_2025_N1_2025-11-12_2130UTC.json".
QString HorizonsReplyFileName(const HorizonsQuery& query);

struct FetchFailure {
    QString message;
};

// A body Horizons answered with HTTP 200, checked: the bytes when they hold an ephemeris
// the reader takes, else what Horizons said instead (its error, the list of objects an
// ambiguous target matches, ...).
[[nodiscard]] std::variant<QByteArray, FetchFailure> CheckHorizonsReply(const QByteArray& body,
                                                                        const QString& host);

// A fetch gives up after `total`, or once nothing has arrived for `stall` (Horizons sends
// nothing while it computes, so that covers its thinking time too).
struct FetchTimeouts {
    std::chrono::milliseconds total{60000};
    std::chrono::milliseconds stall{20000};
};

// One request to the Horizons API at a time, asynchronous: each start that returns no
// problem ends in exactly one succeeded or failed.
class HorizonsFetch : public QObject {
    Q_OBJECT

  public:
    explicit HorizonsFetch(QString baseUrl = HorizonsBaseUrl(), FetchTimeouts timeouts = {},
                           QObject* parent = nullptr);
    ~HorizonsFetch() override;

    // Sends the query, cancelling one under way; the query's problem when it cannot be sent.
    [[nodiscard]] std::optional<QString> start(const HorizonsQuery& query);
    // Ends the fetch under way with failed("... cancelled").
    void cancel();
    bool isRunning() const { return reply_ != nullptr || checking_; }
    QString host() const;

  signals:
    void progress(qint64 receivedBytes, qint64 totalBytes);  // total is -1 while unknown
    void succeeded(const QByteArray& reply);
    void failed(const QString& message);

  private:
    void onFinished();
    void onReadyRead();
    void onProgress(qint64 received, qint64 total);
    void onHeaders();
    void fail(const QString& message);
    void stop();

    QString baseUrl_;
    FetchTimeouts timeouts_;
    QNetworkAccessManager* network_;
    QNetworkReply* reply_ = nullptr;
    QByteArray body_;        // what has come of a 200 reply
    bool checking_ = false;  // the reply is being checked on another thread
    int checks_ = 0;         // checks begun, to know the latest
    QTimer totalTimer_;
    QTimer stallTimer_;
};

}  // namespace Pelindra::Ephemeris
