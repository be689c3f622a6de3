// The link to the mount against a real INDI server running the telescope simulator: the
// pier side followed by the window, the object's tracking rate as the server then holds
// it, pelindra-track's --indi, and the faults of a server that misbehaves.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <cmath>
#include <memory>

#include "links/IndiMount.h"
#include "links/MountRate.h"
#include "tests/support/IndiServer.h"
#include "tests/support/ProgramRun.h"

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

// A stand-in INDI server: `greeting` on connecting, `answer` to the first request it
// reads, and closed after the greeting when `close` says so.
class StandIn : public QObject {
  public:
    StandIn(QByteArray greeting, QByteArray answer, bool close)
        : greeting_(std::move(greeting)), answer_(std::move(answer)), close_(close) {
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* client = server_.nextPendingConnection();
            client->write(greeting_);
            client->flush();
            if (close_) {
                client->disconnectFromHost();
                return;
            }
            connect(client, &QTcpSocket::readyRead, client, [this, client] {
                if (client->readAll().contains("<new") && !answer_.isEmpty()) {
                    client->write(std::exchange(answer_, {}));
                }
            });
        });
    }
    int port() const { return server_.serverPort(); }

  private:
    QTcpServer server_;
    QByteArray greeting_;
    QByteArray answer_;
    bool close_;
};

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
    void windowFollowsPierSide();
    void windowListsDevicesAndTracks();
    void windowLosesMount_data();
    void windowLosesMount();
    void trackRate_data();
    void trackRate();
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

// The mount moves to the other side of the pier; East and West follow it as a click would,
// captions included, and are the user's again once the entry is off.
void TestIndi::windowFollowsPierSide() {
    ProgramRun run;
    run.writeSettings(
        Lines({"[Object]", "Motion=12", "Position Angle=35", "[Pixel Size]", "PixelSize=1.8",
               "[Time]", "Total Time=1.5", "Time Interval=15", "[Mount]", "RA Direction East=1",
               "[INDI]", "Host=127.0.0.1", "Port=" + QByteArray::number(server_->port()),
               "Device=" + kSimulator.toUtf8()}));
    MainForm* form = run.start();
    auto* east = form->findChild<QRadioButton*>("East");
    auto* west = form->findChild<QRadioButton*>("West");
    const auto captions = [form] {
        return form->findChild<QLabel*>("DeltaX")->text() + " " +
               form->findChild<QLabel*>("DeltaY")->text();
    };
    QMap<QString, QString> captionsFor;
    for (QRadioButton* option : {east, west}) {
        QTest::mouseClick(option, Qt::LeftButton);
        captionsFor[option->objectName()] = captions();
    }
    QVERIFY(captionsFor["East"] != captionsFor["West"]);

    form->findChild<QAction*>("mnu_PierSideFromMount")->trigger();
    QVERIFY(!east->isEnabled() && !west->isEnabled());
    QVERIFY(!west->accessibleDescription().isEmpty());
    const auto mountSide = [this] {
        return server_->get("TELESCOPE_PIER_SIDE", "PIER_EAST") == "On" ? "East" : "West";
    };
    QTRY_VERIFY_WITH_TIMEOUT(form->findChild<QLabel*>("LinkStatus"), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(form->findChild<QLabel*>("LinkStatus")->text().right(4),
                              QString(mountSide()).right(4), 15000);
    const QString before = mountSide();
    QCOMPARE((east->isChecked() ? "East" : "West"), before);
    QCOMPARE(captions(), captionsFor[before]);

    // Two hours east of the meridian the telescope is on the West side, and the other way.
    const double hourAngle = before == "East" ? -2 : 2;
    const double ra = std::fmod(SiderealHoursAtGreenwich() - hourAngle + 24, 24);
    QVERIFY(server_->set(QString("EQUATORIAL_EOD_COORD.RA;DEC=%1;10").arg(ra)));
    const QString after = before == "East" ? "West" : "East";
    QTRY_COMPARE_WITH_TIMEOUT(QString(mountSide()), after, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(QString(east->isChecked() ? "East" : "West"), after, 5000);
    QCOMPARE(captions(), captionsFor[after]);

    form->findChild<QAction*>("mnu_PierSideFromMount")->trigger();
    QVERIFY(east->isEnabled() && west->isEnabled());
    QVERIFY(run.dialogs.errors.isEmpty());
}

// The device list comes from the server typed in Guide > Connections...; the object's rate
// (due east at 60"/min, the declination typed there) reaches the mount, and Stop undoes it.
void TestIndi::windowListsDevicesAndTracks() {
    ProgramRun run;
    run.writeSettings(Lines({"[Object]", "Motion=60", "Position Angle=90"}));
    MainForm* form = run.start();
    form->findChild<QAction*>("mnu_Connections")->trigger();
    auto* dialog = form->findChild<QDialog*>("ConnectionsForm");
    QVERIFY(dialog);
    dialog->findChild<QLineEdit*>("IndiHost")->setText("127.0.0.1");
    dialog->findChild<QLineEdit*>("IndiPort")->setText(QString::number(server_->port()));
    auto* devices = dialog->findChild<QComboBox*>("IndiDevice");
    dialog->findChild<QPushButton*>("ListDevices")->click();
    QTRY_COMPARE_WITH_TIMEOUT(devices->count(), 1, 10000);
    QCOMPARE(devices->itemText(0), kSimulator);
    QCOMPARE(devices->currentText(), kSimulator);
    dialog->findChild<QLineEdit*>("Declination")->setText("60");
    dialog->findChild<QPushButton*>("Apply")->click();
    QTRY_VERIFY(!dialog->isVisible());

    form->findChild<QAction*>("mnu_TrackObjectRate")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(form->findChild<QLabel*>("LinkStatus"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(
        form->findChild<QLabel*>("LinkStatus")
            ->text()
            .endsWith("custom tracking, RA 13.041067 and Dec 0.000000 arcsec/s"),
        10000);
    QCOMPARE(server_->get("TELESCOPE_TRACK_RATE", "TRACK_RATE_RA").toDouble(), 13.041067);
    form->findChild<QAction*>("mnu_StopTrackingObject")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(
        form->findChild<QLabel*>("LinkStatus")->text().endsWith(kSimulator + ": sidereal tracking"),
        10000);
    QCOMPARE(server_->get("TELESCOPE_TRACK_MODE", "TRACK_SIDEREAL"), "On");
    QVERIFY(run.dialogs.errors.isEmpty());
}

void TestIndi::windowLosesMount_data() {
    QTest::addColumn<bool>("serverThere");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("side");  // the side shown afterwards

    QTest::newRow("no server") << false << "Connection refused"
                               << "East";
    QTest::newRow("closes after reporting West") << true << "the server closed the connection"
                                                 << "West";
}

// Without the mount, the buttons are the user's again and the reason is told.
void TestIndi::windowLosesMount() {
    QFETCH(bool, serverThere);
    QFETCH(QString, reason);
    QFETCH(QString, side);
    const QByteArray onlineOnTheWest =
        "<defSwitchVector device=\"M\" name=\"CONNECTION\"><defSwitch name=\"CONNECT\">On"
        "</defSwitch></defSwitchVector><defSwitchVector device=\"M\" "
        "name=\"TELESCOPE_PIER_SIDE\"><defSwitch name=\"PIER_EAST\">Off</defSwitch><defSwitch "
        "name=\"PIER_WEST\">On</defSwitch></defSwitchVector>\n";
    StandIn standIn(onlineOnTheWest, {}, true);
    const int port = serverThere ? standIn.port() : FreePort();
    ProgramRun run;
    run.writeSettings(Lines({"[Mount]", "EastWest=0", "[INDI]", "Host=127.0.0.1",
                             "Port=" + QByteArray::number(port), "Device=M"}));
    MainForm* form = run.start();
    auto* follow = form->findChild<QAction*>("mnu_PierSideFromMount");
    follow->trigger();
    const QString expected = QString("INDI server 127.0.0.1:%1: %2").arg(port).arg(reason);
    QTRY_COMPARE_WITH_TIMEOUT(run.dialogs.errors, QStringList{expected}, 10000);
    QVERIFY(!follow->isChecked());
    auto* shown = form->findChild<QRadioButton*>(side);
    QVERIFY(shown->isChecked() && shown->isEnabled() && shown->toolTip().isEmpty());
    QCOMPARE(form->findChild<QLabel*>("LinkStatus")->text(), "Failed: " + expected);
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
    const auto rate = MountTrackRateFor(SkyMotionFromBoxes(
        motion, pa, std::isnan(declination) ? std::nullopt : std::optional(declination)));
    if (std::isnan(declination)) {
        QCOMPARE(std::get<std::string>(rate), std::string(kNoDeclination));
        return;
    }
    IndiMount mount;
    mount.SetServer("127.0.0.1", server_->port(), kSimulator);
    const Outcome set = Await(mount, [&] { mount.TrackAt(std::get<MountTrackRate>(rate)); });
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
    QTest::addColumn<QString>("output");  // %SIDE: the side the server reports
    QTest::addColumn<QString>("error");   // %PORT: the server's port, %FREE: an unused one

    const QStringList server = {"--indi", "127.0.0.1:%PORT", "--device", kSimulator};
    QTest::newRow("pier side") << (server + QStringList{"--pier-side"}) << 0 << "%SIDE\n"
                               << "";
    QTest::newRow("bare --indi: the settings' server, its first telescope")
        << QStringList{"--settings", "%INI", "--indi", "--pier-side"} << 0 << "%SIDE\n"
        << "";
    QTest::newRow("track at the object's rate")
        << (server +
            QStringList{"--indi-track", "--motion", "60", "--pa", "90", "--declination", "0"})
        << 0 << kSimulator + ": custom tracking, RA 14.041067 and Dec 0.000000 arcsec/s\n"
        << "";
    QTest::newRow("track at the ephemeris' rate and declination")
        << (server + QStringList{"--indi-track", "--ephemeris", "%EPH", "--at", "2026-12-07T21:30"})
        << 0 << kSimulator + ": custom tracking, RA 13.041067 and Dec 0.000000 arcsec/s\n"
        << "";
    QTest::newRow("no declination")
        << (server + QStringList{"--indi-track", "--motion", "60", "--pa", "90"}) << 1 << ""
        << "pelindra-track: INDI: " + QString(kNoDeclination) + " (here: --declination DEGREES)\n";
    QTest::newRow("no server") << QStringList{"--indi", "127.0.0.1:%FREE", "--pier-side"} << 1 << ""
                               << "pelindra-track: INDI server 127.0.0.1:%FREE: Connection "
                                  "refused\n";
    QTest::newRow("no such device")
        << QStringList{"--indi", "127.0.0.1:%PORT", "--device", "Nope", "--pier-side"} << 1 << ""
        << "pelindra-track: INDI server 127.0.0.1:%PORT: no device \"Nope\"; it lists " +
               kSimulator + "\n";
    QTest::newRow("neither request") << QStringList{"--indi"} << 2 << ""
                                     << "pelindra-track: --indi needs one of --pier-side and "
                                        "--indi-track\n";
}

void TestIndi::commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, output);
    QFETCH(QString, error);
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
