// The link to PHD2: the rate sent for each kind of axes and the exchange with a stand-in PHD2
// that answers line for line or fails in each way a real server can. Also the host:port,
// sky-motion and message rules the links share.
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>
#include <cmath>

#include "links/Escaped.h"
#include "links/HostPort.h"
#include "links/Phd2Client.h"
#include "links/Phd2Rate.h"
#include "links/SkyMotion.h"
#include "ephemeris/Rate.h"
#include "tests/support/ExactPath.h"
#include "tests/support/FakePhd2.h"

using namespace Pelindra::Links;

namespace {

constexpr Phd2Timeouts kShortTimeouts{1000, 1000, 2500};

// The first worked example: 12 "/min at PA 35, 15 s, 1.8 "/px, West: -0.956 and -1.365 px
// per interval.
Pelindra::Core::TrackParams FirstExample() {
    Pelindra::Core::TrackParams params;
    params.Motion = 12;
    params.PA = 35;
    params.TimeInterval = 15;
    params.PixSize = 1.8f;
    params.TotalTime = 1.5f;
    params.EastWest = Pelindra::Core::kTrue;
    return params;
}

// A port on 127.0.0.1 where nothing listens.
int ClosedPort() {
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost)) return 0;
    return server.serverPort();
}

}  // namespace

class TestPhd2 : public QObject {
    Q_OBJECT

  private slots:
    void hostPort_data();
    void hostPort();
    void skyMotionAt_data();
    void skyMotionAt();
    void skyMotionOnThePath_data();
    void skyMotionOnThePath();
    void objectMotion_data();
    void objectMotion();
    void escaped_data();
    void escaped();
    void rate_data();
    void cameraRateDueNorth_data();
    void cameraRateDueNorth();
    void rate();
    void exchange_data();
    void exchange();
};

void TestPhd2::hostPort_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");  // host:port, or the start of the message

    QTest::newRow("empty: the defaults") << ""
                                         << "localhost:4400";
    QTest::newRow("host alone") << "guider"
                                << "guider:4400";
    QTest::newRow("host and port") << "guider.local:4401"
                                   << "guider.local:4401";
    QTest::newRow("port alone") << ":4402"
                                << "localhost:4402";
    QTest::newRow("IPv6 in brackets") << "[::1]:4403"
                                      << "::1:4403";
    QTest::newRow("IPv6 without port") << "fe80::1"
                                       << "fe80::1:4400";
    QTest::newRow("port 0") << "guider:0"
                            << "\"guider:0\": the port must be";
    QTest::newRow("port too large") << "guider:65536"
                                    << "\"guider:65536\": the port must be";
    QTest::newRow("port not a number") << "guider:44x"
                                       << "\"guider:44x\": the port must be";
    QTest::newRow("colon, no port") << "guider:"
                                    << "\"guider:\": the port must be";
    QTest::newRow("unclosed bracket") << "[::1:4400"
                                      << "\"[::1:4400\": no ] after [";
}

void TestPhd2::hostPort() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const auto parsed = ParseHostPort(text.toStdString(), HostPort{"localhost", 4400});
    const QString shown = std::holds_alternative<HostPort>(parsed)
                              ? QString::fromStdString(std::get<HostPort>(parsed).host) + ":" +
                                    QString::number(std::get<HostPort>(parsed).port)
                              : QString::fromStdString(std::get<std::string>(parsed));
    QVERIFY2(shown.startsWith(expected), qPrintable(shown));
}

void TestPhd2::skyMotionAt_data() {
    QTest::addColumn<qint64>("minutes");  // after the first row
    QTest::addColumn<double>("east");
    QTest::addColumn<double>("north");
    QTest::addColumn<double>("dec");  // NaN: none known
    QTest::addColumn<QString>("error");

    const double none = std::nan("");
    QTest::newRow("on a row") << qint64(0) << 1.0 << -2.0 << 10.0 << "";
    QTest::newRow("between rows, Dec interpolated") << qint64(15) << 1.5 << -1.0 << 10.5 << "";
    QTest::newRow("last row") << qint64(60) << 3.0 << 2.0 << 12.0 << "";
    QTest::newRow("rows without Dec") << qint64(90) << 3.5 << 2.5 << none << "";
    QTest::newRow("after the table") << qint64(200) << 0.0 << 0.0 << none << "2026-12-07";
}

void TestPhd2::skyMotionAt() {
    QFETCH(qint64, minutes);
    QFETCH(double, east);
    QFETCH(double, north);
    QFETCH(double, dec);
    QFETCH(QString, error);
    using Pelindra::Ephemeris::Row;
    constexpr qint64 kStart = 1796677200000;  // 2026-12-07 21:00 UTC
    constexpr qint64 kMinute = 60000;
    Pelindra::Ephemeris::Table table;
    table.rows = {Row{kStart, 1, -2, std::nullopt, 10}, Row{kStart + 30 * kMinute, 2, 0, {}, 11},
                  Row{kStart + 60 * kMinute, 3, 2, {}, 12},
                  Row{kStart + 80 * kMinute, 3, 2, {}, std::nullopt},
                  Row{kStart + 100 * kMinute, 4, 3, {}, std::nullopt}};
    const auto motion = SkyMotionAt(table, kStart + minutes * kMinute);
    if (!error.isEmpty()) {
        QVERIFY(std::holds_alternative<std::string>(motion));
        QVERIFY2(QString::fromStdString(std::get<std::string>(motion)).contains(error),
                 std::get<std::string>(motion).c_str());
        return;
    }
    QVERIFY(std::holds_alternative<SkyMotion>(motion));
    const SkyMotion& m = std::get<SkyMotion>(motion);
    QCOMPARE(m.eastArcsecPerMinute, east);
    QCOMPARE(m.northArcsecPerMinute, north);
    QCOMPARE(m.declinationDegrees.has_value(), !std::isnan(dec));
    if (m.declinationDegrees) QCOMPARE(*m.declinationDegrees, dec);
}

void TestPhd2::skyMotionOnThePath_data() {
    QTest::addColumn<bool>("ofDate");  // Horizons: rates along the axes of date
    QTest::addColumn<double>("minutes");

    QTest::newRow("MPC, a third of the way to the next row") << false << 43.3;
    QTest::newRow("MPC, half way, closest approach near") << false << 55.0;
    QTest::newRow("Horizons, half way") << true << 35.0;
    QTest::newRow("Horizons, just after a row") << true << 70.5;
}

// Between rows of a flyby on a great circle, the guider and the mount are given the rate of
// the path the following track takes, and the declination there, not a straight line
// between rows.
void TestPhd2::skyMotionOnThePath() {
    QFETCH(bool, ofDate);
    QFETCH(double, minutes);
    constexpr qint64 kStart = 1796677200000;  // 2026-12-07 21:00 UTC
    const ExactPath::GreatCircle object{150, 55, 60, 0, 3600, 25, 60};
    const auto table = ExactPath::Rows(object, kStart, 0, 120, 10, true, ofDate);
    const qint64 time = kStart + qRound64(minutes * 60000);

    const auto motion = SkyMotionAt(table, time);
    QVERIFY(std::holds_alternative<SkyMotion>(motion));
    const SkyMotion& m = std::get<SkyMotion>(motion);
    const auto rate = Pelindra::Ephemeris::RateAt(table, time);
    QVERIFY(std::holds_alternative<Pelindra::Ephemeris::Rate>(rate));
    QCOMPARE(m.eastArcsecPerMinute, std::get<Pelindra::Ephemeris::Rate>(rate).eastArcsecPerMinute);
    QCOMPARE(m.northArcsecPerMinute,
             std::get<Pelindra::Ephemeris::Rate>(rate).northArcsecPerMinute);

    const double centuries = (kStart / 86'400'000.0 + 2440587.5 - 2451545.0) / 36525;
    const auto exact = object.Rate(minutes, ofDate ? ExactPath::PoleOfDate(centuries)
                                                   : ExactPath::Vec{0, 0, 1});
    const double size = std::hypot(exact[0], exact[1]);
    QVERIFY2(std::hypot(m.eastArcsecPerMinute - exact[0], m.northArcsecPerMinute - exact[1]) <
                 1e-3 * size,
             qPrintable(QString("%1 %2 against %3 %4")
                            .arg(m.eastArcsecPerMinute)
                            .arg(m.northArcsecPerMinute)
                            .arg(exact[0])
                            .arg(exact[1])));
    QVERIFY(m.declinationDegrees.has_value());
    const double dec = std::asin(object.At(minutes)[2]) * 180 / ExactPath::kPi;
    QVERIFY2(std::fabs(*m.declinationDegrees - dec) < 1e-5,
             qPrintable(QString::number(*m.declinationDegrees - dec)));
}

void TestPhd2::cameraRateDueNorth_data() {
    QTest::addColumn<double>("east");  // "/min, north 1.5 "/min

    QTest::newRow("east -0") << -0.0;
    QTest::newRow("east a hair west of north") << -1e-18;
    QTest::newRow("east +0") << 0.0;
}

// A motion due north gives PHD2 the camera rate the boxes give for PA 0, however the
// eastward part's zero is signed: no angle of 360 slips in.
void TestPhd2::cameraRateDueNorth() {
    QFETCH(double, east);
    Pelindra::Core::TrackParams params = FirstExample();
    params.CameraAngle = 0;
    const auto typed = Phd2RateFor(params, SkyMotionFromBoxes(1.5f, 0, std::nullopt),
                                   Phd2Axes::Camera);
    const auto rate = Phd2RateFor(params, SkyMotion{east, 1.5, std::nullopt}, Phd2Axes::Camera);
    QVERIFY(std::holds_alternative<Phd2Rate>(typed) && std::holds_alternative<Phd2Rate>(rate));
    QCOMPARE(std::get<Phd2Rate>(rate).first, std::get<Phd2Rate>(typed).first);
    QCOMPARE(std::signbit(std::get<Phd2Rate>(rate).first),
             std::signbit(std::get<Phd2Rate>(typed).first));
    QCOMPARE(std::get<Phd2Rate>(rate).second, std::get<Phd2Rate>(typed).second);
}

void TestPhd2::objectMotion_data() {
    QTest::addColumn<bool>("table");      // an ephemeris is loaded
    QTest::addColumn<bool>("followed");   // its rates are used, not only its declination
    QTest::addColumn<qint64>("minutes");  // the time in it, after its first row
    QTest::addColumn<double>("typed");    // NaN: none typed
    QTest::addColumn<double>("east");
    QTest::addColumn<double>("north");
    QTest::addColumn<double>("dec");  // NaN: none known
    QTest::addColumn<QString>("error");

    const double none = std::nan("");
    // The boxes: 10"/min at PA 90 is due east.
    QTest::newRow("boxes, typed declination")
        << false << false << qint64(0) << 30.0 << 10.0 << 0.0 << 30.0 << "";
    QTest::newRow("boxes, nothing known")
        << false << false << qint64(0) << none << 10.0 << 0.0 << none << "";
    QTest::newRow("boxes, the table's declination before the one typed")
        << true << false << qint64(30) << 30.0 << 10.0 << 0.0 << 11.0 << "";
    QTest::newRow("followed: the table's rates and declination")
        << true << true << qint64(30) << 30.0 << 2.0 << 0.0 << 11.0 << "";
    QTest::newRow("followed, rows without Dec: the one typed")
        << true << true << qint64(90) << 30.0 << 3.5 << 2.5 << 30.0 << "";
    QTest::newRow("followed, after the table")
        << true << true << qint64(200) << 30.0 << 0.0 << 0.0 << none << "2026-12-07";
    QTest::newRow("boxes, time after the table: the one typed")
        << true << false << qint64(200) << 30.0 << 10.0 << 0.0 << 30.0 << "";
}

// One rule for the object's motion and declination, whoever asks.
void TestPhd2::objectMotion() {
    QFETCH(bool, table);
    QFETCH(bool, followed);
    QFETCH(qint64, minutes);
    QFETCH(double, typed);
    QFETCH(double, east);
    QFETCH(double, north);
    QFETCH(double, dec);
    QFETCH(QString, error);
    using Pelindra::Ephemeris::Row;
    constexpr qint64 kStart = 1796677200000;  // 2026-12-07 21:00 UTC
    constexpr qint64 kMinute = 60000;
    Pelindra::Ephemeris::Table rows;
    rows.rows = {Row{kStart, 1, -2, std::nullopt, 10}, Row{kStart + 30 * kMinute, 2, 0, {}, 11},
                 Row{kStart + 60 * kMinute, 3, 2, {}, 12},
                 Row{kStart + 80 * kMinute, 3, 2, {}, std::nullopt},
                 Row{kStart + 100 * kMinute, 4, 3, {}, std::nullopt}};
    MotionSources sources;
    sources.motionArcsecPerMinute = 10;
    sources.positionAngleDegrees = 90;
    sources.table = table ? &rows : nullptr;
    sources.ratesFromTable = followed;
    sources.time = kStart + minutes * kMinute;
    if (!std::isnan(typed)) sources.typedDeclinationDegrees = typed;
    const auto motion = ObjectMotion(sources);
    if (!error.isEmpty()) {
        QVERIFY(std::holds_alternative<std::string>(motion));
        QVERIFY(QString::fromStdString(std::get<std::string>(motion)).contains(error));
        return;
    }
    const SkyMotion& m = std::get<SkyMotion>(motion);
    QVERIFY(std::fabs(m.eastArcsecPerMinute - east) < 1e-6);
    QVERIFY(std::fabs(m.northArcsecPerMinute - north) < 1e-6);
    QCOMPARE(m.declinationDegrees.has_value(), !std::isnan(dec));
    if (m.declinationDegrees) QCOMPARE(*m.declinationDegrees, dec);
}

void TestPhd2::escaped_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    QTest::newRow("plain, accents kept") << QString("Télescope 1") << QString("Télescope 1");
    QTest::newRow("escape sequence") << QString("a\x1b[2Jb") << QString("a\\x1B[2Jb");
    QTest::newRow("line break and tab") << QString("a\nb\tc") << QString("a\\x0Ab\\x09c");
    QTest::newRow("delete and C1") << QString("a\x7f\u0085") << QString("a\\x7F\\x85");
    QTest::newRow("direction override") << QString("a\u202Eb") << QString("a\\u202Eb");
    QTest::newRow("line separator") << QString("a\u2028b") << QString("a\\u2028b");
}

void TestPhd2::escaped() {
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(Escaped(text), shown);
}

void TestPhd2::rate_data() {
    QTest::addColumn<bool>("skyAxes");
    QTest::addColumn<int>("raRevWest");
    QTest::addColumn<float>("pixelSize");
    QTest::addColumn<double>("dec");  // NaN: none known
    QTest::addColumn<double>("first");
    QTest::addColumn<double>("second");
    QTest::addColumn<QString>("error");

    const double none = std::nan("");
    // -0.95596 and -1.36527 px per 15 s interval, 240 intervals an hour.
    QTest::newRow("camera axes, the captions' signs")
        << false << 0 << 1.8f << none << -229.43 << -327.66 << "";
    QTest::newRow("camera axes, RA reversed")
        << false << 1 << 1.8f << none << 229.43 << -327.66 << "";
    QTest::newRow("camera axes, no pixel size")
        << false << 0 << 0.0f << none << 0.0 << 0.0 << "Pixel Size Must Be >0";
    // East 6.8829 "/min is 13.7658 "/min of RA at Dec 60; north 9.8298 "/min.
    QTest::newRow("sky axes, dRA/dt at Dec 60")
        << true << 0 << 1.8f << 60.0 << 825.95 << 589.79 << "";
    QTest::newRow("sky axes, south of the equator")
        << true << 0 << 1.8f << -60.0 << 825.95 << 589.79 << "";
    QTest::newRow("sky axes, flags do not apply")
        << true << 1 << 0.0f << 60.0 << 825.95 << 589.79 << "";
    QTest::newRow("sky axes, no declination")
        << true << 0 << 1.8f << none << 0.0 << 0.0 << QString(kNoDeclination);
    QTest::newRow("sky axes, at the pole")
        << true << 0 << 1.8f << 90.0 << 0.0 << 0.0 << QString(kNoDeclination);
}

void TestPhd2::rate() {
    QFETCH(bool, skyAxes);
    QFETCH(int, raRevWest);
    QFETCH(float, pixelSize);
    QFETCH(double, dec);
    QFETCH(double, first);
    QFETCH(double, second);
    QFETCH(QString, error);
    Pelindra::Core::TrackParams params = FirstExample();
    params.RaRevWest = static_cast<std::int16_t>(raRevWest);
    params.PixSize = pixelSize;
    const SkyMotion motion = SkyMotionFromBoxes(
        params.Motion, params.PA, std::isnan(dec) ? std::nullopt : std::optional<double>(dec));
    const auto rate = Phd2RateFor(params, motion, skyAxes ? Phd2Axes::Sky : Phd2Axes::Camera);
    if (!error.isEmpty()) {
        QVERIFY(std::holds_alternative<std::string>(rate));
        QCOMPARE(QString::fromStdString(std::get<std::string>(rate)), error);
        return;
    }
    QVERIFY(std::holds_alternative<Phd2Rate>(rate));
    const Phd2Rate& r = std::get<Phd2Rate>(rate);
    QCOMPARE(QString(r.Units()), skyAxes ? "arcsec/hr" : "pixels/hr");
    QVERIFY2(std::fabs(r.first - first) < 0.01, qPrintable(QString::number(r.first)));
    QVERIFY2(std::fabs(r.second - second) < 0.01, qPrintable(QString::number(r.second)));
}

void TestPhd2::exchange_data() {
    QTest::addColumn<QString>("mode");  // empty: no server at all
    QTest::addColumn<bool>("stop");
    QTest::addColumn<QString>("outcome");  // "held: ..." or "failed: " and the message's end
    QTest::addColumn<QByteArray>("firstLine");

    const QByteArray set =
        R"({"id":1,"method":"set_lock_shift_params","params":[{"axes":"X/Y","rate":[-120.5,60.25],"units":"pixels/hr"}]})";
    QTest::newRow("sent and read back")
        << "normal" << false << "held: lock shift on: -120.50, 60.25 pixels/hr (X/Y)" << set;
    QTest::newRow("stopped")
        << "normal" << true << "held: lock shift off: 0.00, 0.00 pixels/hr (X/Y)"
        << QByteArray(R"({"id":1,"method":"set_lock_shift_enabled","params":[false]})");
    QTest::newRow("PHD2's error text")
        << "refuse" << false
        << "failed: refused the lock shift rate: lock shift is not allowed now (error 1)" << set;
    QTest::newRow("PHD2's error text, control characters escaped")
        << "escape" << false
        << "failed: refused the lock shift rate: not now\\x1B[2J\\x0Areally (error 1)" << set;
    QTest::newRow("lock shift stays off")
        << "off" << false
        << "failed: holds lock shift off: -120.50, 60.25 pixels/hr (X/Y), not the lock shift on: "
           "-120.50, 60.25 pixels/hr (X/Y) sent"
        << set;
    QTest::newRow("another rate held")
        << "doubled" << false
        << "failed: holds lock shift on: -241.00, 120.50 pixels/hr (X/Y), not the lock shift on: "
           "-120.50, 60.25 pixels/hr (X/Y) sent"
        << set;
    QTest::newRow("limit event after the answers")
        << "limit" << false << "held: lock shift on: -120.50, 60.25 pixels/hr (X/Y)" << set;
    QTest::newRow("no server") << "" << false << "failed: Connection refused" << QByteArray();
    QTest::newRow("silence") << "silent" << false << "failed: did not answer within 1 s" << set;
    QTest::newRow("garbage") << "garbage" << false
                             << "failed: sent a line that is not JSON: \"<html>not json</html>\""
                             << set;
    QTest::newRow("half a line, then closed")
        << "half" << false << "failed: closed the connection in the middle of a line" << set;
    QTest::newRow("a line over 1 MiB")
        << "huge" << false << "failed: sent a line longer than 1 MiB" << set;
}

void TestPhd2::exchange() {
    QFETCH(QString, mode);
    QFETCH(bool, stop);
    QFETCH(QString, outcome);
    QFETCH(QByteArray, firstLine);
    std::optional<FakePhd2> server;
    if (!mode.isEmpty()) server.emplace(mode);
    const int port = server ? server->port() : ClosedPort();
    QVERIFY(port > 0);

    Phd2Client client(nullptr, kShortTimeouts);
    QString seen;
    connect(&client, &Phd2Client::succeeded, this,
            [&](const QString& held) { seen = "held: " + held; });
    connect(&client, &Phd2Client::failed, this,
            [&](const QString& why) { seen = "failed: " + why; });
    QSignalSpy limits(&client, &Phd2Client::lockShiftLimitReached);
    QElapsedTimer clock;
    clock.start();
    if (stop) {
        client.StopLockShift("127.0.0.1", port);
    } else {
        client.SendRate("127.0.0.1", port, Phd2Rate{Phd2Axes::Camera, -120.5, 60.25});
    }
    QTRY_VERIFY_WITH_TIMEOUT(!seen.isEmpty(), 5000);
    QVERIFY2(clock.elapsed() < kShortTimeouts.totalMs + 500, qPrintable(seen));
    const QString where = "PHD2 at 127.0.0.1:" + QString::number(port);
    if (outcome.startsWith("failed: ")) {
        QVERIFY2(
            seen.startsWith("failed: ") && seen.contains(where) && seen.endsWith(outcome.mid(8)),
            qPrintable(seen));
    } else {
        QCOMPARE(seen, outcome);
    }
    QCOMPARE(client.Busy(), false);
    if (mode == "limit") QTRY_COMPARE(limits.count(), 1);
    if (!server) return;
    const QList<QByteArray> received = server->received();
    QVERIFY(!received.isEmpty());
    QCOMPARE(received.first(), firstLine);
    if (!outcome.startsWith("held: ")) return;
    // Every call followed in one connection, each with a new id.
    QCOMPARE(received.size(), stop ? 2 : 3);
    QCOMPARE(QJsonDocument::fromJson(received.last()).object().value("method").toString(),
             "get_lock_shift_params");
    QCOMPARE(QJsonDocument::fromJson(received.last()).object().value("id").toInt(),
             received.size());
}

QTEST_MAIN(TestPhd2)
#include "tst_phd2.moc"
