// The windows' links to the guider and the mount: Guide > Connections..., the PHD2 commands
// against a stand-in PHD2, and the pier side and tracking commands against a real INDI
// server running the telescope simulator or a stand-in.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <cmath>
#include <memory>

#include "links/SkyMotion.h"
#include "tests/support/FakeIndi.h"
#include "tests/support/FakePhd2.h"
#include "tests/support/IndiServer.h"
#include "tests/support/IndiStandIn.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/StatusLine.h"

using namespace Pelindra::Links;

namespace {

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

}  // namespace

class TestLinksWindow : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();
    void windowFollowsPierSide();
    void windowListsDevicesAndTracks();
    void windowLosesMount_data();
    void windowLosesMount();
    void windowPierSideUnknown();
    void windowDecReversal();
    void windowMountDeclination();
    void window_data();
    void window();
    void connectionsRefused_data();
    void connectionsRefused();
    void keepUpdated();

  private:
    std::unique_ptr<IndiServer> server_;
};

void TestLinksWindow::initTestCase() {
    server_ = std::make_unique<IndiServer>();
    QVERIFY2(!server_->get("CONNECTION", "CONNECT").isEmpty(), "the INDI simulator is not running");
}

void TestLinksWindow::cleanupTestCase() {
    server_.reset();
}

// The mount moves to the other side of the pier; East and West follow it as a click would,
// captions included, and are the user's again once the entry is off.
void TestLinksWindow::windowFollowsPierSide() {
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
    QTRY_VERIFY_WITH_TIMEOUT(!StatusMessage(form).isEmpty(), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(StatusMessage(form).right(4),
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
void TestLinksWindow::windowListsDevicesAndTracks() {
    ProgramRun run;
    run.writeSettings(Lines({"[Object]", "Motion=60", "Position Angle=90"}));
    MainForm* form = run.start();
    form->findChild<QAction*>("mnu_Connections")->trigger();
    auto* dialog = form->findChild<QDialog*>("ConnectionsForm");
    QVERIFY(dialog);
    dialog->findChild<QLineEdit*>("IndiHost")->setText("127.0.0.1");
    dialog->findChild<QLineEdit*>("IndiPort")->setText(QString::number(server_->port()));
    auto* devices = dialog->findChild<QComboBox*>("IndiDevice");
    auto* listDevices = dialog->findChild<QPushButton*>("ListDevices");
    listDevices->click();
    // It says it is asking while the server has not answered.
    QCOMPARE(listDevices->text(), QString("Asking..."));
    QVERIFY(!listDevices->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(devices->count(), 1, 10000);
    QTRY_COMPARE(listDevices->text(), QString("&List Devices"));
    QVERIFY(listDevices->isEnabled());
    QCOMPARE(devices->itemText(0), kSimulator);
    QCOMPARE(devices->currentText(), kSimulator);
    dialog->findChild<QLineEdit*>("Declination")->setText("60");
    dialog->findChild<QPushButton*>("Apply")->click();
    QTRY_VERIFY(!dialog->isVisible());

    form->findChild<QAction*>("mnu_TrackObjectRate")->trigger();
    // Said at once, as for PHD2, while the connection is made.
    QVERIFY(!StatusMessage(form).isEmpty());
    QCOMPARE(StatusMessage(form),
             "Connecting to INDI server 127.0.0.1:" + QString::number(server_->port()) + "...");
    QTRY_VERIFY_WITH_TIMEOUT(
        StatusMessage(form)
            .endsWith("custom tracking, RA 13.041067 and Dec 0.000000 arcsec/s"),
        10000);
    QCOMPARE(server_->get("TELESCOPE_TRACK_RATE", "TRACK_RATE_RA").toDouble(), 13.041067);
    form->findChild<QAction*>("mnu_StopTrackingObject")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(
        StatusMessage(form).endsWith(kSimulator + ": sidereal tracking"),
        10000);
    QCOMPARE(server_->get("TELESCOPE_TRACK_MODE", "TRACK_SIDEREAL"), "On");
    QVERIFY(run.dialogs.errors.isEmpty());
}

void TestLinksWindow::windowLosesMount_data() {
    QTest::addColumn<bool>("serverThere");
    QTest::addColumn<QString>("eastOn");  // PIER_EAST as the stand-in reports it
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("side");  // the side shown afterwards

    QTest::newRow("no server") << false << "Off"
                               << "Connection refused"
                               << "East";
    QTest::newRow("closes after reporting West") << true << "Off"
                                                 << "the server closed the connection"
                                                 << "West";
    QTest::newRow("both sides: the user's choice stays")
        << true << "On"
        << "M reports both East and West as its side of the pier, so its side is unknown"
        << "East";
}

// Without the mount, or with a mount that cannot say its side, the buttons are the user's
// again and the reason is told.
void TestLinksWindow::windowLosesMount() {
    QFETCH(bool, serverThere);
    QFETCH(QString, eastOn);
    QFETCH(QString, reason);
    QFETCH(QString, side);
    const QByteArray online =
        "<defSwitchVector device=\"M\" name=\"CONNECTION\"><defSwitch name=\"CONNECT\">On"
        "</defSwitch></defSwitchVector><defSwitchVector device=\"M\" "
        "name=\"TELESCOPE_PIER_SIDE\"><defSwitch name=\"PIER_EAST\">" +
        eastOn.toUtf8() +
        "</defSwitch><defSwitch name=\"PIER_WEST\">On</defSwitch></defSwitchVector>\n";
    StandIn standIn(online, {}, eastOn == "Off");
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
    QCOMPARE(StatusMessage(form), "Failed: " + expected);
}

// A mount followed that then reports both sides leaves East and West as they are, and the
// line under the window says why.
void TestLinksWindow::windowPierSideUnknown() {
    const QByteArray westThenBoth =
        "<defSwitchVector device=\"M\" name=\"CONNECTION\"><defSwitch name=\"CONNECT\">On"
        "</defSwitch></defSwitchVector><defSwitchVector device=\"M\" "
        "name=\"TELESCOPE_PIER_SIDE\"><defSwitch name=\"PIER_EAST\">Off</defSwitch><defSwitch "
        "name=\"PIER_WEST\">On</defSwitch></defSwitchVector>\n";
    const QByteArray both =
        "<setSwitchVector device=\"M\" name=\"TELESCOPE_PIER_SIDE\"><oneSwitch "
        "name=\"PIER_EAST\">On</oneSwitch></setSwitchVector>\n";
    StandIn standIn(westThenBoth, {}, false);
    ProgramRun run;
    run.writeSettings(Lines({"[Mount]", "EastWest=0", "[INDI]", "Host=127.0.0.1",
                             "Port=" + QByteArray::number(standIn.port()), "Device=M"}));
    MainForm* form = run.start();
    auto* west = form->findChild<QRadioButton*>("West");
    form->findChild<QAction*>("mnu_PierSideFromMount")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(west->isChecked(), 10000);
    standIn.sendToAll(both);
    QTRY_VERIFY_WITH_TIMEOUT(
        StatusMessage(form)
            .endsWith("M reports both East and West as its side of the pier, so its "
                      "side is unknown; West stays as chosen"),
        10000);
    QVERIFY(west->isChecked());
    QVERIFY(run.dialogs.errors.isEmpty());
}

// The mount on the West side turns its Dec axis by the rate: with "Dec rate reversed" for
// that side, the rate goes with the other sign, and the coordinates watched afterwards move
// as the object does.
void TestLinksWindow::windowDecReversal() {
    FakeIndi mount({"--side", "west", "--dec-axis"});
    QVERIFY(mount.port() > 0);
    ProgramRun run;
    run.writeSettings(
        Lines({"[Object]", "Motion=600", "Position Angle=45", "[INDI]", "Host=127.0.0.1",
               "Port=" + QByteArray::number(mount.port()), "Device=" + kStandInMount.toUtf8()}));
    MainForm* form = run.start();
    form->findChild<QAction*>("mnu_Connections")->trigger();
    auto* dialog = form->findChild<QDialog*>("ConnectionsForm");
    QVERIFY(dialog);
    auto* east = dialog->findChild<QCheckBox*>("DecReversedEast");
    auto* west = dialog->findChild<QCheckBox*>("DecReversedWest");
    QVERIFY(east && west && !east->isChecked() && !west->isChecked());
    west->setChecked(true);
    dialog->findChild<QPushButton*>("Apply")->click();
    QTRY_VERIFY(!dialog->isVisible());
    QVERIFY(form->PreferencesToSave()->connections.decRateReversedWest);
    QVERIFY(!form->PreferencesToSave()->connections.decRateReversedEast);

    // 600"/min at PA 45, the mount's Dec +20: 7.525 arcsec/s of RA (the axis at 15.041067
    // less that) and 7.071 of Dec.
    form->findChild<QAction*>("mnu_TrackObjectRate")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!StatusMessage(form).isEmpty(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(
        StatusMessage(form).endsWith("custom tracking, RA 7.516194 and Dec -7.071068 arcsec/s"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(StatusMessage(form).contains("RA moved as the object does"), 25000);
    QVERIFY2(StatusMessage(form).contains("Dec moved as the object does (+7.0"),
             qPrintable(StatusMessage(form)));
    QVERIFY(run.dialogs.errors.isEmpty());
}

// PHD2 on sky axes with no declination known takes the mount's own (Dec +20): 6.8829 "/min
// east is 439.48 "/hr of RA.
void TestLinksWindow::windowMountDeclination() {
    FakePhd2 phd2("normal");
    FakeIndi mount;
    QVERIFY(phd2.port() > 0 && mount.port() > 0);
    ProgramRun run;
    run.writeSettings(Ini({"[Object]", "Motion=12", "Position Angle=35", "[PHD2]", "Host=127.0.0.1",
                           "Port=" + QByteArray::number(phd2.port()), "Axes=RA/Dec", "[INDI]",
                           "Host=127.0.0.1", "Port=" + QByteArray::number(mount.port())}));
    MainForm* form = run.start();
    form->findChild<QAction*>("mnu_SendRatePhd2")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!StatusMessage(form).isEmpty(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(StatusMessage(form),
                              QString("PHD2 at 127.0.0.1:%1: lock shift on: 439.48, 589.79 "
                                      "arcsec/hr (RA/Dec)")
                                  .arg(phd2.port()),
                              10000);
    QVERIFY(run.dialogs.errors.isEmpty());
}

void TestLinksWindow::window_data() {
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
        "PHD2 at 127.0.0.1:PORT refused the lock shift rate: lock shift is not allowed now "
        "(error 1)";
    QTest::newRow("PHD2's error text") << "refuse"
                                       << "PORT" << false << ""
                                       << "Failed: " + refused << refused;
    const QString limit =
        "PHD2 at 127.0.0.1:PORT stopped moving the lock position: it reached the edge of the "
        "guide frame";
    QTest::newRow("limit reached") << "limit"
                                   << "PORT" << false << "" << limit << limit;
    QTest::newRow("port 0") << "normal"
                            << "0" << false << ""
                            << ""
                            << "The PHD2 port must be a whole number from 1 to 65535.";
    QTest::newRow("declination beyond the pole")
        << "normal"
        << "PORT" << true << "91"
        << ""
        << "The declination must be a number from -90 to 90.";
}

void TestLinksWindow::window() {
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
    QVERIFY(StatusMessage(form).isEmpty());

    form->findChild<QAction*>("mnu_Connections")->trigger();
    auto* dialog = form->findChild<QDialog*>("ConnectionsForm");
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), "Connections");
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
    QTRY_COMPARE_WITH_TIMEOUT(StatusMessage(form), status, 8000);
    QVERIFY(form->statusBar()->isVisible());
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

void TestLinksWindow::connectionsRefused_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("button");  // Apply, or List Devices, which asks the INDI server
    QTest::addColumn<QString>("message");

    // Each rule as it ends a sentence, after "The" or "... is not a number: the".
    const QString phd2Port = "PHD2 port must be a whole number from 1 to 65535";
    const QString indiPort = "INDI server's port must be a whole number from 1 to 65535";
    const QString declination = "declination must be a number from -90 to 90";
    QTest::newRow("no PHD2 host") << "Phd2Host"
                                  << ""
                                  << "Apply"
                                  << "Give the PHD2 computer's host name.";
    QTest::newRow("INDI host blank") << "IndiHost"
                                     << "  "
                                     << "Apply"
                                     << "Give the INDI server's host name.";
    QTest::newRow("PHD2 port 0") << "Phd2Port"
                                 << "0"
                                 << "Apply"
                                 << "The " + phd2Port + ".";
    QTest::newRow("PHD2 port 65536") << "Phd2Port"
                                     << "65536"
                                     << "Apply"
                                     << "The " + phd2Port + ".";
    QTest::newRow("PHD2 port not a number") << "Phd2Port"
                                            << "abc"
                                            << "Apply"
                                            << "\"abc\" is not a number: the " + phd2Port + ".";
    QTest::newRow("INDI port with a fraction") << "IndiPort"
                                               << "7624.5"
                                               << "Apply"
                                               << "The " + indiPort + ".";
    QTest::newRow("INDI port not a number") << "IndiPort"
                                            << " seven "
                                            << "Apply"
                                            << "\"seven\" is not a number: the " + indiPort + ".";
    QTest::newRow("declination beyond the south pole") << "Declination"
                                                       << "-90.5"
                                                       << "Apply"
                                                       << "The " + declination + ".";
    QTest::newRow("declination not a number")
        << "Declination"
        << "north"
        << "Apply"
        << "\"north\" is not a number: the " + declination + ".";
    QTest::newRow("devices listed without a host") << "IndiHost"
                                                   << ""
                                                   << "ListDevices"
                                                   << "Give the INDI server's host name.";
    QTest::newRow("devices listed, port not a number")
        << "IndiPort"
        << "abc"
        << "ListDevices"
        << "\"abc\" is not a number: the " + indiPort + ".";
}

// Each refused entry says which one it is and what it must be; nothing is stored and the
// dialog stays open.
void TestLinksWindow::connectionsRefused() {
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(QString, button);
    QFETCH(QString, message);

    ProgramRun run;
    MainForm* form = run.start();
    form->findChild<QAction*>("mnu_Connections")->trigger();
    auto* dialog = form->findChild<QDialog*>("ConnectionsForm");
    QVERIFY(dialog && dialog->isVisible());
    auto* entry = dialog->findChild<QLineEdit*>(box);
    QVERIFY(entry);
    entry->selectAll();
    QTest::keyClick(entry, Qt::Key_Backspace);
    QTest::keyClicks(entry, typed);
    QTest::mouseClick(dialog->findChild<QPushButton*>(button), Qt::LeftButton);

    QCOMPARE(run.dialogs.errors, QStringList{message});
    QVERIFY(dialog->isVisible());
    const Pelindra::Settings::Connections stored = form->PreferencesToSave()->connections;
    QCOMPARE(stored.phd2Port, 4400);
    QCOMPARE(stored.indiPort, 7624);
    QCOMPARE(QString::fromStdString(stored.phd2Host), QString("localhost"));
}

// With the ephemeris followed, the rate goes again once a minute when it has changed by
// more than 0.5 %, and Stop Lock Shift ends it.
void TestLinksWindow::keepUpdated() {
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
    QTRY_VERIFY(StatusMessage(form).contains("lock shift off"));
}

QTEST_MAIN(TestLinksWindow)
#include "tst_linkswindow.moc"
