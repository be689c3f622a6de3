// The link to the mount against a real INDI server running the telescope simulator and a
// stand-in mount: the object's tracking rate as the server then holds it, the pier side,
// the coordinates watched afterwards, pelindra-track's --indi, and the faults of a server
// that misbehaves.
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <cmath>
#include <memory>

#include "links/IndiMount.h"
#include "links/MountMotion.h"
#include "links/MountRate.h"
#include "tests/support/FakeIndi.h"
#include "tests/support/IndiServer.h"
#include "tests/support/IndiStandIn.h"
#include "tests/support/TestFiles.h"

using namespace Pelindra::Links;

namespace {

struct Outcome {
    bool succeeded = false;
    QString text;  // what the mount holds, or why not
};

// Runs one request to its end, as the window's event loop would.
template <typename Request>
Outcome Await(IndiMount& mount, Request request) {
    QSignalSpy done(&mount, &IndiMount::succeeded);
    QSignalSpy failed(&mount, &IndiMount::failed);
    request();
    QDeadlineTimer deadline(20000);
    while (done.isEmpty() && failed.isEmpty() && !deadline.hasExpired()) QTest::qWait(20);
    if (!done.isEmpty()) return {true, done.first().first().toString()};
    if (!failed.isEmpty()) return {false, failed.first().first().toString()};
    return {false, "no answer at all"};
}

// The object's motion for the mount, with no reversal and no watch.
TrackRequest Track(const SkyMotion& motion) {
    TrackRequest request;
    request.motion = motion;
    return request;
}

const QByteArray kMountOffline =
    "<defSwitchVector device=\"M\" name=\"CONNECTION\" state=\"Idle\" perm=\"rw\" "
    "rule=\"OneOfMany\">"
    "<defSwitch name=\"CONNECT\">Off</defSwitch><defSwitch name=\"DISCONNECT\">On</defSwitch>"
    "</defSwitchVector>\n";

}  // namespace

class TestIndi : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();
    void faults_data();
    void faults();
    void stream_data();
    void stream();
    void hostile_data();
    void hostile();
    void pierSide_data();
    void pierSide();
    void trackRate_data();
    void trackRate();
    void standInTrack_data();
    void standInTrack();
    void watch_data();
    void watch();
    void watchSimulator();
    void judgeMotion_data();
    void judgeMotion();
    void commandLine_data();
    void commandLine();

  private:
    std::unique_ptr<IndiServer> server_;
};

void TestIndi::initTestCase() {
    server_ = std::make_unique<IndiServer>();
    QVERIFY2(!server_->get("CONNECTION", "CONNECT").isEmpty(), "the INDI simulator is not running");
}

void TestIndi::cleanupTestCase() {
    server_.reset();
}

void TestIndi::faults_data() {
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("close");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("reason");

    QTest::newRow("garbage")
        << QByteArray("<defSwitchVector device=\"M\"><<>>") << QByteArray() << false << "M"
        << "the server sent something that is not INDI's XML (Unexpected '<'., line 1)";
    QTest::newRow("closes at once") << QByteArray() << QByteArray() << true << "M"
                                    << "the server closed the connection";
    QTest::newRow("closes inside a message")
        << kMountOffline.left(120) << QByteArray() << true << "M"
        << "the server closed the connection";
    QTest::newRow("never answers") << QByteArray() << QByteArray() << false << "M"
                                   << "no device \"M\"; it lists none";
    QTest::newRow("no telescope among the devices")
        << QByteArray(
               "<defTextVector device=\"CCD\" name=\"DRIVER_INFO\"><defText "
               "name=\"DRIVER_INTERFACE\">2</defText></defTextVector>")
        << QByteArray() << false << ""
        << "no telescope among the devices CCD";
    QTest::newRow("device cannot connect")
        << kMountOffline
        << QByteArray(
               "<setSwitchVector device=\"M\" name=\"CONNECTION\" state=\"Alert\" "
               "message=\"no serial port\"><oneSwitch name=\"CONNECT\">Off</oneSwitch>"
               "</setSwitchVector>")
        << false << "M"
        << "M did not connect (no serial port)";
}

void TestIndi::faults() {
    QFETCH(QByteArray, greeting);
    QFETCH(QByteArray, answer);
    QFETCH(bool, close);
    QFETCH(QString, device);
    QFETCH(QString, reason);
    StandIn standIn(greeting, answer, close);
    IndiMount mount(nullptr, {1000, 1500, 300});
    mount.SetServer("127.0.0.1", standIn.port(), device);
    const Outcome outcome = Await(mount, [&] { mount.ReadPierSide(); });
    QVERIFY(!outcome.succeeded);
    QCOMPARE(outcome.text, QString("INDI server 127.0.0.1:%1: %2").arg(standIn.port()).arg(reason));
    QVERIFY(!mount.Busy());
}

void TestIndi::stream_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("chunk");     // bytes fed at a time
    QTest::addColumn<int>("messages");  // read before the end or the error
    QTest::addColumn<QString>("error");

    const QByteArray message = kMountOffline;
    QTest::newRow("a message a byte at a time") << message << 1 << 1 << "";
    QByteArray many;
    while (many.size() < 3 * kIndiMessageLimitBytes) many += message;
    QTest::newRow("3 MiB of small messages")
        << many << 100000 << int(many.size() / message.size()) << "";
    const QByteArray text = "<defTextVector device=\"M\" name=\"T\"><defText name=\"E\">";
    QTest::newRow("an element of almost 1 MiB")
        << text + QByteArray(kIndiMessageLimitBytes - 200, 'x') + "</defText></defTextVector>"
        << 65536 << 1 << "";
    QTest::newRow("an element of over 1 MiB")
        << text + QByteArray(kIndiMessageLimitBytes + 70000, 'x') << 65536 << 0
        << "a message of over 1 MiB";
    QTest::newRow("all at once, over 1 MiB")
        << text + QByteArray(kIndiMessageLimitBytes + 70000, 'x') << 8 * 1024 * 1024 << 0
        << "a message of over 1 MiB";
    QTest::newRow("nested as deep as allowed")
        << QByteArray("<message device=\"M\"><a><b><c></c></b></a></message>") << 7 << 1 << "";
    QTest::newRow("nested deeper") << QByteArray("<message device=\"M\"><a><b><c><d>") << 7 << 0
                                   << "elements nested more than 5 deep";
    const auto withAttribute = [](qsizetype size) {
        return "<message device=\"M\" message=\"" + QByteArray(size, 'x') + "\"/>";
    };
    QTest::newRow("an attribute of 64 KiB")
        << withAttribute(kIndiAttributeLimitChars) << 4096 << 1 << "";
    QTest::newRow("an attribute of over 64 KiB") << withAttribute(kIndiAttributeLimitChars + 1)
                                                 << 4096 << 0 << "an attribute of over 64 KiB";
    QTest::newRow("a document type") << QByteArray("<!DOCTYPE indi><message device=\"M\"/>") << 5
                                     << 0 << "a document type declaration, which INDI never sends";
    QTest::newRow("an entity declared")
        << QByteArray("<!DOCTYPE indi [<!ENTITY e \"x\">]><message device=\"M\" message=\"&e;\"/>")
        << 4096 << 0 << "a document type declaration, which INDI never sends";
}

// The stream read as the socket delivers it, each message bounded.
void TestIndi::stream() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, chunk);
    QFETCH(int, messages);
    QFETCH(QString, error);
    IndiStream stream;
    int read = 0;
    QString problem;
    for (qsizetype from = 0; from < bytes.size() && problem.isEmpty(); from += chunk) {
        auto fed = stream.Feed(bytes.mid(from, chunk));
        if (const auto* why = std::get_if<std::string>(&fed)) {
            problem = QString::fromStdString(*why);
        } else {
            read += int(std::get<std::vector<IndiVector>>(fed).size());
        }
    }
    QCOMPARE(problem, error);
    QCOMPARE(read, messages);
}

void TestIndi::hostile_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("reason");

    QTest::newRow("nested 100000 deep") << "deep"
                                        << "the server sent elements nested more than 5 deep";
    QTest::newRow("an attribute of 100 MB") << "attribute"
                                            << "the server sent a message of over 1 MiB";
    QTest::newRow("an element that never ends") << "endless"
                                                << "the server sent a message of over 1 MiB";
    QTest::newRow("a document type")
        << "doctype"
        << "the server sent a document type declaration, which INDI never sends";
    QTest::newRow("a billion laughs")
        << "laughs"
        << "the server sent a document type declaration, which INDI never sends";
}

namespace {

// Peak memory of this process since the last reset, in kB (Linux's VmHWM).
qint64 PeakKilobytes() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

}  // namespace

// A server that sends what no INDI server sends is left at once, and why is told; the
// link never holds more than about one message of it.
void TestIndi::hostile() {
    QFETCH(QString, mode);
    QFETCH(QString, reason);
    FakeIndi standIn({"--mode", mode});
    QVERIFY(standIn.port() > 0);
    QFile clear("/proc/self/clear_refs");
    QVERIFY(clear.open(QIODevice::WriteOnly) && clear.write("5") == 1);
    clear.close();
    const qint64 before = PeakKilobytes();
    IndiMount mount(nullptr, {1000, 5000, 300, 1000});
    mount.SetServer("127.0.0.1", standIn.port(), "M");
    mount.SetFollowing(true);
    QElapsedTimer clock;
    clock.start();
    const Outcome outcome = Await(mount, [&] { mount.ReadPierSide(); });
    QCOMPARE(outcome.text, QString("INDI server 127.0.0.1:%1: %2").arg(standIn.port()).arg(reason));
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    const qint64 grown = PeakKilobytes() - before;
    QVERIFY2(grown < 48 * 1024, qPrintable(QString::number(grown) + " kB"));
}

void TestIndi::pierSide_data() {
    QTest::addColumn<QString>("side");  // as the stand-in reports it
    QTest::addColumn<QString>("outcome");

    QTest::newRow("east") << "east"
                          << "East";
    QTest::newRow("west") << "west"
                          << "West";
    QTest::newRow("both: unknown")
        << "both"
        << "failed: Stand-in Mount reports both East and West as its side of the pier, so its "
           "side is unknown";
    QTest::newRow("neither: unknown")
        << "neither"
        << "failed: Stand-in Mount reports neither East nor West as its side of the pier, so "
           "its side is unknown";
}

void TestIndi::pierSide() {
    QFETCH(QString, side);
    QFETCH(QString, outcome);
    FakeIndi standIn({"--side", side});
    QVERIFY(standIn.port() > 0);
    IndiMount mount(nullptr, {1000, 1500, 300, 1000});
    mount.SetServer("127.0.0.1", standIn.port(), kStandInMount);
    const Outcome read = Await(mount, [&] { mount.ReadPierSide(); });
    const QString where = QString("INDI server 127.0.0.1:%1: ").arg(standIn.port());
    QCOMPARE(read.succeeded ? read.text : "failed: " + read.text.mid(where.size()), outcome);
    QCOMPARE(mount.LastPierSide().has_value(), read.succeeded);
}

void TestIndi::standInTrack_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<float>("firstPa");   // at 60"/min, Dec from the mount (+20)
    QTest::addColumn<float>("secondPa");  // NaN: no second request
    QTest::addColumn<bool>("stopsFirst");
    QTest::addColumn<QString>("outcome");  // of the last request

    // 60"/min north is +1 arcsec/s of Dec; east at Dec 20 is 1.064178 arcsec/s of RA.
    QTest::newRow("south after north: off, rate, on")
        << "normal" << 0.f << 180.f << true
        << "Stand-in Mount: custom tracking, RA 15.041067 and Dec -1.000000 arcsec/s";
    QTest::newRow("north-east after north: no stop")
        << "normal" << 0.f << 90.f << false
        << "Stand-in Mount: custom tracking, RA 13.976889 and Dec 0.000000 arcsec/s";
    QTest::newRow("the mount holds another Dec rate")
        << "clamp" << 0.f << float(qQNaN()) << false
        << "failed: Stand-in Mount holds custom tracking, RA 15.041067 and Dec 0.500000 "
           "arcsec/s, not the custom tracking, RA 15.041067 and Dec 1.000000 arcsec/s sent";
    QTest::newRow("the driver's error, escaped")
        << "refuse" << 0.f << float(qQNaN()) << false
        << "failed: Stand-in Mount: [ERROR] Rate\\x0Aout of range.";
}

// A rate that turns an axis the other way while the mount tracks: tracking goes off, the
// rate is set, tracking goes on again. What the mount then holds must be what was sent.
void TestIndi::standInTrack() {
    QFETCH(QString, mode);
    QFETCH(float, firstPa);
    QFETCH(float, secondPa);
    QFETCH(bool, stopsFirst);
    QFETCH(QString, outcome);
    FakeIndi standIn({"--mode", mode});
    QVERIFY(standIn.port() > 0);
    IndiMount mount(nullptr, {1000, 3000, 300, 1000});
    mount.SetServer("127.0.0.1", standIn.port(), kStandInMount);
    QElapsedTimer clock;
    clock.start();
    Outcome last =
        Await(mount, [&] { mount.TrackObject(Track(SkyMotionFromBoxes(60, firstPa, {}))); });
    if (!std::isnan(secondPa)) {
        QVERIFY2(last.succeeded, qPrintable(last.text));
        last =
            Await(mount, [&] { mount.TrackObject(Track(SkyMotionFromBoxes(60, secondPa, {}))); });
    }
    QVERIFY2(clock.elapsed() < 2900, "an answer, not a timeout");
    const QString where = QString("INDI server 127.0.0.1:%1: ").arg(standIn.port());
    QCOMPARE(last.succeeded ? last.text : "failed: " + last.text.mid(where.size()), outcome);
    const QStringList received = standIn.received();
    const auto count = [&](const char* text) {
        return std::count_if(received.begin(), received.end(),
                             [&](const QString& line) { return line.contains(text); });
    };
    QCOMPARE(count("TRACK_OFF\">On"), stopsFirst ? 1 : 0);
    if (stopsFirst) {
        // Off before the second rate, on after it.
        const auto at = [&](const char* text, int from) {
            for (int i = from; i < received.size(); ++i)
                if (received[i].contains(text)) return i;
            return -1;
        };
        const int off = at("TRACK_OFF\">On", 0);
        const int rate = at("TELESCOPE_TRACK_RATE", off);
        QVERIFY(off > 0 && rate > off && at("TRACK_ON\">On", rate) > rate);
    }
}

void TestIndi::watch_data() {
    QTest::addColumn<QString>("side");
    QTest::addColumn<bool>("decAxis");   // the mount turns its Dec axis by the rate
    QTest::addColumn<bool>("reversed");  // "Dec rate reversed" for that side
    QTest::addColumn<QString>("dec");    // what the verdict says of Dec

    const QString asObject = "Dec moved as the object does";
    QTest::newRow("east, Dec on the sky") << "east" << false << false << asObject;
    QTest::newRow("west, Dec on the sky") << "west" << false << false << asObject;
    QTest::newRow("east, Dec on the axis") << "east" << true << false << asObject;
    QTest::newRow("west, Dec on the axis")
        << "west" << true << false
        << "Dec moved the other way; Turn on \"Dec rate reversed\" for the West side";
    QTest::newRow("west, Dec on the axis, reversed there") << "west" << true << true << asObject;
    QTest::newRow("east, Dec on the sky, reversed there")
        << "east" << false << true
        << "Dec moved the other way; Turn off \"Dec rate reversed\" for the East side";
}

// After tracking at the object's rate, the coordinates the mount reports say whether RA and
// Dec move as the object does; a stand-in moves them by the rate it holds.
void TestIndi::watch() {
    QFETCH(QString, side);
    QFETCH(bool, decAxis);
    QFETCH(bool, reversed);
    QFETCH(QString, dec);
    FakeIndi standIn(decAxis ? QStringList{"--side", side, "--dec-axis"}
                             : QStringList{"--side", side});
    QVERIFY(standIn.port() > 0);
    IndiMount mount(nullptr, {1000, 3000, 300, 2500});
    mount.SetServer("127.0.0.1", standIn.port(), kStandInMount);
    QSignalSpy watched(&mount, &IndiMount::motionWatched);
    // 600"/min at PA 45: 7.071 arcsec/s north and, at the mount's Dec +20, 7.525 of RA.
    TrackRequest request{
        SkyMotionFromBoxes(600, 45, {}), {reversed, reversed}, PierSide::East, true};
    const Outcome set = Await(mount, [&] { mount.TrackObject(request); });
    QVERIFY2(set.succeeded, qPrintable(set.text));
    const bool decSentNegative = mount.SentRate().decArcsecPerSecond < 0;
    QCOMPARE(decSentNegative, reversed);
    QTRY_COMPARE_WITH_TIMEOUT(watched.count(), 1, 6000);
    const QString verdict = watched.first().first().toString();
    QVERIFY2(verdict.startsWith("Stand-in Mount: over 3 s RA moved as the object does (+7.") ||
                 verdict.startsWith("Stand-in Mount: over 2 s RA moved as the object does (+7."),
             qPrintable(verdict));
    QVERIFY2(verdict.contains("the object +7.525)"), qPrintable(verdict));
    const QStringList parts = dec.split("; ");
    QVERIFY2(verdict.contains(" and " + parts.first() + " ("), qPrintable(verdict));
    if (parts.size() > 1) {
        QVERIFY2(verdict.endsWith(parts.last() + " in Guide > Connections..., then track again"),
                 qPrintable(verdict));
    } else {
        QVERIFY2(verdict.endsWith("the object +7.071)"), qPrintable(verdict));
    }
}

// INDI's own simulator holds a custom rate but keeps tracking the stars, so its coordinates
// stand still; the watch says so rather than that the mount follows the object.
void TestIndi::watchSimulator() {
    IndiMount mount(nullptr, {3000, 8000, 700, 2500});
    mount.SetServer("127.0.0.1", server_->port(), kSimulator);
    QSignalSpy watched(&mount, &IndiMount::motionWatched);
    TrackRequest request = Track(SkyMotionFromBoxes(600, 45, 20.0));
    request.watch = true;
    const Outcome set = Await(mount, [&] { mount.TrackObject(request); });
    QVERIFY2(set.succeeded, qPrintable(set.text));
    QTRY_COMPARE_WITH_TIMEOUT(watched.count(), 1, 6000);
    QCOMPARE(watched.first().first().toString(),
             kSimulator +
                 ": the mount's coordinates did not change while watched, though the object "
                 "moves: it does not follow its custom rate, or does not report where it points");
    const Outcome stop = Await(mount, [&] { mount.TrackSidereal(); });
    QVERIFY2(stop.succeeded, qPrintable(stop.text));
}

void TestIndi::judgeMotion_data() {
    QTest::addColumn<double>("raHours");  // moved in 20 s
    QTest::addColumn<double>("decDegrees");
    QTest::addColumn<int>("ra");  // AxisMotion
    QTest::addColumn<int>("dec");

    // The object: +1.5 arcsec/s of RA (30" in 20 s), -0.5 of Dec (-10").
    const double raStep = 30.0 / (15 * 3600);
    const double decStep = -10.0 / 3600;
    const auto as = int(AxisMotion::AsObject);
    QTest::newRow("as the object") << raStep << decStep << as << as;
    QTest::newRow("Dec the other way") << raStep << -decStep << as << int(AxisMotion::Reversed);
    QTest::newRow("still") << 0.0 << 0.0 << int(AxisMotion::Still) << int(AxisMotion::Still);
    QTest::newRow("across 0h") << raStep << decStep << as << as;
    QTest::newRow("twice as fast") << 2 * raStep << decStep << int(AxisMotion::Other) << as;
}

void TestIndi::judgeMotion() {
    QFETCH(double, raHours);
    QFETCH(double, decDegrees);
    QFETCH(int, ra);
    QFETCH(int, dec);
    const double start = QTest::currentDataTag() == QString("across 0h") ? 23.99995 : 5;
    const CoordinateSample first{start, 20, 1000};
    const CoordinateSample last{std::fmod(start + raHours, 24.0), 20 + decDegrees, 21000};
    const WatchedMotion motion = JudgeMotion(first, last, 1.5, -0.5);
    QCOMPARE(int(motion.ra), ra);
    QCOMPARE(int(motion.dec), dec);
    QCOMPARE(motion.seconds, 20.0);
}

void TestIndi::trackRate_data() {
    QTest::addColumn<float>("motion");
    QTest::addColumn<float>("pa");
    QTest::addColumn<double>("declination");  // NaN: none known
    QTest::addColumn<double>("ra");
    QTest::addColumn<double>("de");

    // Moving east, the object gains RA: the axis turns slower than the stars.
    QTest::newRow("east at the equator") << 60.f << 90.f << 0.0 << 14.041067 << 0.0;
    QTest::newRow("east at +60 needs twice the RA") << 30.f << 90.f << 60.0 << 14.041067 << 0.0;
    QTest::newRow("north-west south of the equator")
        << 120.f << 315.f << -45.0 << 17.041067 << 1.414214;
    // INDI refuses a Dec rate of the other sign while the mount tracks at a custom rate.
    QTest::newRow("south after north: tracking stops first")
        << 120.f << 225.f << -45.0 << 17.041067 << -1.414214;
    QTest::newRow("no declination") << 60.f << 90.f << qQNaN() << 0.0 << 0.0;
}

// The rate as the server holds it afterwards, read with INDI's own tool; Stop restores the
// sidereal rate.
void TestIndi::trackRate() {
    QFETCH(float, motion);
    QFETCH(float, pa);
    QFETCH(double, declination);
    QFETCH(double, ra);
    QFETCH(double, de);
    const SkyMotion sky = SkyMotionFromBoxes(
        motion, pa, std::isnan(declination) ? std::nullopt : std::optional(declination));
    if (std::isnan(declination)) {
        QCOMPARE(std::get<std::string>(MountTrackRateFor(sky)), std::string(kNoDeclination));
        return;
    }
    IndiMount mount;
    mount.SetServer("127.0.0.1", server_->port(), kSimulator);
    const Outcome set = Await(mount, [&] { mount.TrackObject(Track(sky)); });
    QVERIFY2(set.succeeded, qPrintable(set.text));
    QCOMPARE(server_->get("TELESCOPE_TRACK_MODE", "TRACK_CUSTOM"), "On");
    QCOMPARE(server_->get("TELESCOPE_TRACK_STATE", "TRACK_ON"), "On");
    QVERIFY(std::fabs(server_->get("TELESCOPE_TRACK_RATE", "TRACK_RATE_RA").toDouble() - ra) <
            1e-6);
    QVERIFY(std::fabs(server_->get("TELESCOPE_TRACK_RATE", "TRACK_RATE_DE").toDouble() - de) <
            1e-6);

    const Outcome stop = Await(mount, [&] { mount.TrackSidereal(); });
    QVERIFY2(stop.succeeded, qPrintable(stop.text));
    QCOMPARE(stop.text, kSimulator + ": sidereal tracking");
    QCOMPARE(server_->get("TELESCOPE_TRACK_MODE", "TRACK_SIDEREAL"), "On");
}

void TestIndi::commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");       // %SIDE: the side the server reports
    QTest::addColumn<QString>("error");        // %PORT: the server's port, %FREE: an unused one
    QTest::addColumn<QStringList>("standIn");  // its options; %FAKE: its port

    const QStringList server = {"--indi", "127.0.0.1:%PORT", "--device", kSimulator};
    QTest::newRow("pier side") << (server + QStringList{"--pier-side"}) << 0 << "%SIDE\n"
                               << "" << QStringList();
    QTest::newRow("bare --indi: the settings' server, its first telescope")
        << QStringList{"--settings", "%INI", "--indi", "--pier-side"} << 0 << "%SIDE\n"
        << "" << QStringList();
    QTest::newRow("track at the object's rate")
        << (server +
            QStringList{"--indi-track", "--motion", "60", "--pa", "90", "--declination", "0"})
        << 0 << kSimulator + ": custom tracking, RA 14.041067 and Dec 0.000000 arcsec/s\n"
        << "" << QStringList();
    QTest::newRow("track at the ephemeris' rate and declination")
        << (server + QStringList{"--indi-track", "--ephemeris", "%EPH", "--at", "2026-12-07T21:30"})
        << 0 << kSimulator + ": custom tracking, RA 13.041067 and Dec 0.000000 arcsec/s\n"
        << "" << QStringList();
    QTest::newRow("the ephemeris' declination before --declination")
        << (server + QStringList{"--indi-track", "--ephemeris", "%EPH", "--at", "2026-12-07T21:30",
                                 "--declination", "0"})
        << 0 << kSimulator + ": custom tracking, RA 13.041067 and Dec 0.000000 arcsec/s\n"
        << "" << QStringList();
    // 1/cos(20) = 1.064178 arcsec/s of RA at the stand-in's Dec +20.
    QTest::newRow("no declination: the mount's own")
        << QStringList{"--indi", "127.0.0.1:%FAKE", "--indi-track", "--motion", "60", "--pa", "90"}
        << 0 << "Stand-in Mount: custom tracking, RA 13.976889 and Dec 0.000000 arcsec/s\n"
        << "" << QStringList{"--side", "east"};
    QTest::newRow("both sides of the pier: unknown")
        << QStringList{"--indi", "127.0.0.1:%FAKE", "--pier-side"} << 1 << ""
        << "pelindra-track: INDI server 127.0.0.1:%FAKE: Stand-in Mount reports both East and "
           "West as its side of the pier, so its side is unknown\n"
        << QStringList{"--side", "both"};
    QTest::newRow("the mount holds another rate")
        << QStringList{"--indi",
                       "127.0.0.1:%FAKE",
                       "--indi-track",
                       "--motion",
                       "60",
                       "--pa",
                       "0",
                       "--declination",
                       "0"}
        << 1 << ""
        << "pelindra-track: INDI server 127.0.0.1:%FAKE: Stand-in Mount holds custom tracking, "
           "RA 15.041067 and Dec 0.500000 arcsec/s, not the custom tracking, RA 15.041067 and "
           "Dec 1.000000 arcsec/s sent\n"
        << QStringList{"--mode", "clamp"};
    QTest::newRow("no server") << QStringList{"--indi", "127.0.0.1:%FREE", "--pier-side"} << 1 << ""
                               << "pelindra-track: INDI server 127.0.0.1:%FREE: Connection "
                                  "refused\n"
                               << QStringList();
    QTest::newRow("no such device")
        << QStringList{"--indi", "127.0.0.1:%PORT", "--device", "Nope", "--pier-side"} << 1 << ""
        << "pelindra-track: INDI server 127.0.0.1:%PORT: no device \"Nope\"; it lists " +
               kSimulator + "\n"
        << QStringList();
    QTest::newRow("neither request") << QStringList{"--indi"} << 2 << ""
                                     << "pelindra-track: --indi needs one of --pier-side and "
                                        "--indi-track\n"
                                     << QStringList();
}

void TestIndi::commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, output);
    QFETCH(QString, error);
    QFETCH(QStringList, standIn);
    std::optional<FakeIndi> fake;
    if (!standIn.isEmpty()) {
        fake.emplace(standIn);
        QVERIFY(fake->port() > 0);
    }
    QTemporaryDir dir;
    const QString ini = dir.filePath("Pelindra.ini");
    WriteAll(ini,
             Lines({"[INDI]", "Host=127.0.0.1", "Port=" + QByteArray::number(server_->port())}));
    // Due east at 60"/min, at Dec +60.
    const QString ephemeris = dir.filePath("east.txt");
    WriteAll(
        ephemeris,
        Lines({"Target body name: Test object", "Center-site name: GEOCENTRIC",
               "********************************************************************",
               " Date__(UT)__HR:MN     R.A._____(ICRF)_____DEC  dRA*cosD d(DEC)/dt",
               "********************************************************************", "$$SOE",
               " 2026-Dec-07 21:00     08 21 31.08 +60 00 00.0  3600.00000 0.00000",
               " 2026-Dec-07 22:00     08 21 41.08 +60 00 00.0  3600.00000 0.00000", "$$EOE"}));
    const QString freePort = QString::number(FreePort());
    const auto fill = [&](QString text) {
        return text.replace("%PORT", QString::number(server_->port()))
            .replace("%FREE", freePort)
            .replace("%FAKE", QString::number(fake ? fake->port() : 0))
            .replace("%INI", ini)
            .replace("%EPH", ephemeris);
    };
    for (QString& argument : arguments) argument = fill(argument);

    QProcess track;
    track.start(PELINDRA_TRACK, arguments);
    QVERIFY(track.waitForFinished(30000));
    if (output.contains("%SIDE")) {
        const bool east = server_->get("TELESCOPE_PIER_SIDE", "PIER_EAST") == "On";
        output.replace("%SIDE", east ? "East" : "West");
    }
    QCOMPARE(QString::fromUtf8(track.readAllStandardError()), fill(error));
    QCOMPARE(QString::fromUtf8(track.readAllStandardOutput()), output);
    QCOMPARE(track.exitCode(), status);
}

QTEST_MAIN(TestIndi)
#include "tst_indi.moc"
