// The link to PHD2: the rate sent for each kind of axes, the exchange with a stand-in PHD2
// that answers line for line or fails in each way a real server can, and the window's
// commands. Also the host:port and sky-motion rules the links share.
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>
#include <cmath>

#include "links/HostPort.h"
#include "links/Phd2Client.h"
#include "links/Phd2Rate.h"
#include "links/SkyMotion.h"
#include "tests/support/FakePhd2.h"
#include "tests/support/ProgramRun.h"

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

// 2P/Encke at 21:00 UT moves 45 "/hr east and 60 "/hr south, at 22:00 90 "/hr east and
// 30 "/hr north; Dec near +2.5.
const QByteArray kHorizonsText =
    "*******************************************************************************\n"
    "Target body name: 2P/Encke                        {source: JPL#K232/1}\n"
    "Center body name: Earth (399)                     {source: DE441}\n"
    "Center-site name: GEOCENTRIC\n"
    "*******************************************************************************\n"
    "Start time      : A.D. 2026-Dec-07 21:00:00.0000 UT\n"
    "Stop  time      : A.D. 2026-Dec-07 22:00:00.0000 UT\n"
    "Step-size       : 60 minutes\n"
    "*******************************************************************************\n"
    " Date__(UT)__HR:MN     R.A._____(ICRF)_____DEC  dRA*cosD d(DEC)/dt\n"
    "******************************************************************\n"
    "$$SOE\n"
    " 2026-Dec-07 21:00     08 21 31.08 +02 30 58.7  45.00000 -60.00000\n"
    " 2026-Dec-07 22:00 *m  08 21 34.08 +02 29 58.7  90.00000  30.00000\n"
    "$$EOE\n";
constexpr Pelindra::Ephemeris::UtcMs k2100 = 1796677200000;

QByteArray Ini(std::initializer_list<QByteArray> lines) {
    QByteArray bytes;
    for (const QByteArray& line : lines) bytes += line + "\r\n";
    return bytes;
}

QString ReceivedMethod(const QByteArray& line) {
    return QJsonDocument::fromJson(line).object().value("method").toString();
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
    void rate_data();
    void rate();
    void exchange_data();
    void exchange();
    void window_data();
    void window();
    void keepUpdated();
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
        << "failed: refused set_lock_shift_params: lock shift is not allowed now (error 1)" << set;
    QTest::newRow("limit event after the answers")
        << "limit" << false << "held: lock shift on: -120.50, 60.25 pixels/hr (X/Y)" << set;
    QTest::newRow("no server") << "" << false << "failed: Connection refused" << QByteArray();
    QTest::newRow("silence") << "silent" << false
                             << "failed: did not answer set_lock_shift_params within 1 s" << set;
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

void TestPhd2::window_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("port");  // PORT: the stand-in's
    QTest::addColumn<bool>("skyAxes");
    QTest::addColumn<QString>("declination");
    QTest::addColumn<QString>("status");  // the line under the window; empty: nothing sent
    QTest::addColumn<QString>("error");   // the message box, when one shows

    QTest::newRow("camera axes") << "normal"
                                 << "PORT" << false << ""
                                 << "PHD2 at 127.0.0.1:PORT: lock shift on: -229.43, -327.66 "
                                    "pixels/hr (X/Y)"
                                 << "";
    QTest::newRow("sky axes, typed declination")
        << "normal"
        << "PORT" << true << "60"
        << "PHD2 at 127.0.0.1:PORT: lock shift on: 825.95, 589.79 arcsec/hr (RA/Dec)"
        << "";
    const QString noDec = "Cannot send the rate to PHD2: " + QString(kNoDeclination);
    QTest::newRow("sky axes, no declination") << "normal"
                                              << "PORT" << true << "" << noDec << noDec;
    const QString refused =
        "PHD2 at 127.0.0.1:PORT refused set_lock_shift_params: lock shift is not allowed now "
        "(error 1)";
    QTest::newRow("PHD2's error text") << "refuse"
                                       << "PORT" << false << ""
                                       << "Failed: " + refused << refused;
    const QString limit =
        "PHD2 at 127.0.0.1:PORT stopped moving the lock position: it reached the edge of the "
        "guide frame (LockPositionShiftLimitReached)";
    QTest::newRow("limit reached") << "limit"
                                   << "PORT" << false << "" << limit << limit;
    QTest::newRow("port 0") << "normal"
                            << "0" << false << ""
                            << ""
                            << "Port Must Be a Whole Number from 1 to 65535";
    QTest::newRow("declination beyond the pole") << "normal"
                                                 << "PORT" << true << "91"
                                                 << ""
                                                 << "Declination Must Be a Number from -90 to 90";
}

void TestPhd2::window() {
    QFETCH(QString, mode);
    QFETCH(QString, port);
    QFETCH(bool, skyAxes);
    QFETCH(QString, declination);
    QFETCH(QString, status);
    QFETCH(QString, error);
    FakePhd2 server(mode);
    QVERIFY(server.port() > 0);
    const QString portText = QString::number(server.port());
    port.replace("PORT", portText);
    status.replace("PORT", portText);
    error.replace("PORT", portText);

    ProgramRun run;
    run.writeSettings(
        Ini({"[Object]", "Motion=12", "Position Angle=35", "[Pixel Size]", "PixelSize=1.8"}));
    MainForm* form = run.start();
    // Nothing shows of the links until one is used.
    QVERIFY(!form->findChild<QLabel*>("LinkStatus"));

    form->findChild<QAction*>("mnu_Connections")->trigger();
    auto* dialog = form->findChild<QDialog*>("ConnectionsForm");
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), "CONNECTIONS");
    QCOMPARE(dialog->findChild<QLineEdit*>("Phd2Port")->text(), "4400");
    dialog->findChild<QLineEdit*>("Phd2Host")->setText("127.0.0.1");
    dialog->findChild<QLineEdit*>("Phd2Port")->setText(port);
    dialog->findChild<QRadioButton*>(skyAxes ? "Phd2SkyAxes" : "Phd2CameraAxes")->setChecked(true);
    dialog->findChild<QLineEdit*>("Declination")->setText(declination);
    dialog->findChild<QPushButton*>("Apply")->click();
    if (status.isEmpty()) {
        QCOMPARE(run.dialogs.errors, QStringList{error});
        QVERIFY(dialog->isVisible());
        QCOMPARE(form->PreferencesToSave()->connections.phd2Port, 4400);
        return;
    }
    QTRY_VERIFY(!dialog->isVisible());
    QCOMPARE(form->PreferencesToSave()->connections.phd2Port, server.port());

    form->findChild<QAction*>("mnu_SendRatePhd2")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(form->findChild<QLabel*>("LinkStatus")->text(), status, 8000);
    QVERIFY(form->findChild<QLabel*>("LinkStatus")->isVisible());
    QTRY_COMPARE(run.dialogs.errors, error.isEmpty() ? QStringList() : QStringList{error});
    const QList<QByteArray> received = server.received();
    if (status.startsWith("Cannot")) {
        QCOMPARE(received, QList<QByteArray>());
        return;
    }
    QVERIFY(!received.isEmpty());
    const QJsonObject request = QJsonDocument::fromJson(received.first()).object();
    QCOMPARE(request.value("method").toString(), "set_lock_shift_params");
    const QJsonObject sent = request.value("params").toArray().first().toObject();
    QCOMPARE(sent.value("axes").toString(), skyAxes ? "RA/Dec" : "X/Y");
    // What was sent is what PHD2 read back and the line shows, to the hundredth.
    const QJsonArray rate = sent.value("rate").toArray();
    if (status.contains("lock shift on")) {
        QVERIFY2(status.contains(QString::number(rate[0].toDouble(), 'f', 2) + ", " +
                                 QString::number(rate[1].toDouble(), 'f', 2)),
                 received.first().constData());
    }
}

// With the ephemeris followed, the rate goes again once a minute when it has changed by
// more than 0.5 %, and Stop Lock Shift ends it.
void TestPhd2::keepUpdated() {
    FakePhd2 server("normal");
    QVERIFY(server.port() > 0);
    ProgramRun run;
    WriteAll(run.path("2P.txt"), kHorizonsText);
    run.writeSettings(Ini({"[Pixel Size]", "PixelSize=1.8", "[Ephemeris]", "Follow=True", "[PHD2]",
                           "Host=127.0.0.1", "Port=" + QByteArray::number(server.port())}));
    run.now = k2100;
    MainForm* form = run.start();
    run.dialogs.ephemerisChosen = run.path("2P.txt");
    form->findChild<QAction*>("mnu_OpenEphemeris")->trigger();
    // The window reads the file on another thread.
    QTRY_VERIFY(!form->property("readingEphemeris").toBool());
    QCOMPARE(run.dialogs.errors, QStringList());
    auto* timer = form->findChild<QTimer*>("Phd2KeepTimer");
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 60 * 1000);
    timer->setInterval(20);

    auto* keep = form->findChild<QAction*>("mnu_KeepPhd2Updated");
    keep->trigger();
    QVERIFY(keep->isChecked());
    QTRY_COMPARE(server.received().size(), 3);
    QTest::qWait(200);  // ticks at the same time send nothing
    QCOMPARE(server.received().size(), 3);

    run.now = k2100 + 1000;  // 0.04 % later
    QTest::qWait(200);
    QCOMPARE(server.received().size(), 3);

    run.now = k2100 + 60 * 1000;  // 1.5 % later
    QTRY_COMPARE(server.received().size(), 6);
    QCOMPARE(ReceivedMethod(server.received()[3]), "set_lock_shift_params");
    QVERIFY(server.received()[3] != server.received()[0]);
    QCOMPARE(run.dialogs.errors, QStringList());

    form->findChild<QAction*>("mnu_StopLockShift")->trigger();
    QVERIFY(!keep->isChecked());
    QVERIFY(!timer->isActive());
    QTRY_COMPARE(server.received().size(), 8);
    QCOMPARE(server.received()[6],
             R"({"id":7,"method":"set_lock_shift_enabled","params":[false]})");
    QTRY_VERIFY(form->findChild<QLabel*>("LinkStatus")->text().contains("lock shift off"));
}

QTEST_MAIN(TestPhd2)
#include "tst_phd2.moc"
