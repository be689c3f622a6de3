// The ephemeris path of the window, driven through the real widgets on the offscreen
// platform: an ephemeris in each format loaded by each way in, the time chosen, Use, and
// what the main window, its captions and the settings file show afterwards.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateTimeEdit>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QUrl>
#include <QtTest>

#include "ephemeris/UtcTime.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/StatusLine.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WindowHelpers.h"
#include "trackfile/Steps.h"
#include "ui/EphemerisForm.h"
#include "ui/MainForm.h"

using namespace Pelindra::Ephemeris;
using namespace Pelindra::Settings;

namespace {

UtcMs At(const char* text) {
    const auto time = ParseUtcTime(text);
    if (!time) qFatal("bad time %s", text);
    return *time;
}

QByteArray Text(const QByteArrayList& lines) {
    return lines.join('\n') + '\n';
}

const QByteArray kStars = QByteArray(79, '*');

// The header block Horizons puts before every table, with the formats of the rows.
QByteArray HorizonsHeader(const char* target, const char* raFormat) {
    return Text(
        {kStars, "Ephemeris / API_USER Sun Mar 10 01:00:00 2024 Pasadena, USA      / Horizons",
         kStars, QByteArray("Target body name: ") + target + "            {source: JPL#K241/2}",
         "Center body name: Earth (399)                     {source: DE441}",
         "Center-site name: Sierra Stars Observatory, Markleeville", kStars,
         "Start time      : A.D. 2024-Mar-10 02:00:00.0000 UT",
         "Stop  time      : A.D. 2024-Mar-10 03:00:00.0000 UT", "Step-size       : 60 minutes",
         kStars, QByteArray("RA format       : ") + raFormat, "Time format     : CAL", kStars});
}

const QByteArray kColumnMeaning = Text({kStars, "Column meaning:", " ", "TIME", " ",
                                        "  Times PRIOR to 1962 are UT1, a mean-solar time."});

// Quantity 3 in arcsec per hour: (36, 48) at 02:00, (108, 144) at 03:00; at 02:30 the rates
// are (72, 96), 120 "/hr toward PA atan2(72, 96) = 36.8699 degrees.
const QByteArray kHorizonsText =
    HorizonsHeader("12P/Pons-Brooks  ", "HMS") +
    Text({" Date__(UT)__HR:MN     R.A._____(ICRF)_____DEC  dRA*cosD d(DEC)/dt", kStars, "$$SOE",
          " 2024-Mar-10 02:00 *   01 46 12.34 +30 12 45.6   36.0000   48.0000",
          " 2024-Mar-10 03:00 *   01 46 14.76 +30 13 33.6  108.0000  144.0000", "$$EOE"}) +
    kColumnMeaning;

// CSV, RA/Dec in degrees: (-30, 12) "/hr at 02:00, (-90, 12) at 03:00; at 02:40 (-70, 12).
const QByteArray kHorizonsCsv =
    HorizonsHeader("433 Eros (A898 PA)", "DEG") +
    Text({" Date__(UT)__HR:MN, , , R.A._(ICRF), DEC_(ICRF),  dRA*cosD, d(DEC)/dt,", kStars, "$$SOE",
          " 2024-Mar-10 02:00, , ,  26.55142,  30.21267, -30.00000,  12.00000,",
          " 2024-Mar-10 03:00, , ,  26.53000,  30.22000, -90.00000,  12.00000,", "$$EOE"}) +
    kColumnMeaning;

// Quantity 47 only, in the API's JSON reply: 3 "/min toward 350 degrees at 02:00 and toward
// 10 degrees at 03:00. At 02:15 the eastward rate is a quarter of the way from -0.521 to
// +0.521 "/min, the northward 2.954 throughout: 2.965883 "/min toward 354.9616 degrees.
QByteArray HorizonsJson() {
    const QByteArray text =
        HorizonsHeader("C/2023 A3 (Tsuchinshan-ATLAS)", "HMS") +
        Text({" Date__(UT)__HR:MN     R.A._____(ICRF)_____DEC  Sky_motion  Sky_mot_PA  "
              "RelVel-ANG  Lun_Sky_Brt  sky_SNR",
              kStars, "$$SOE",
              " 2024-Mar-10 02:00 *   01 46 12.34 +30 12 45.6   3.0000000  350.000000   "
              "-12.34567         n.a.     n.a.",
              " 2024-Mar-10 03:00 *   01 46 14.76 +30 13 33.6   3.0000000   10.000000   "
              "-12.34012         n.a.     n.a.",
              "$$EOE"}) +
        kColumnMeaning;
    const QJsonObject reply{
        {"signature", QJsonObject{{"source", "NASA/JPL Horizons API"}, {"version", "1.2"}}},
        {"result", QString::fromUtf8(text)}};
    return QJsonDocument(reply).toJson(QJsonDocument::Compact);
}

const QByteArray kMpcHeader = Text(
    {"0012P",
     "Date       UT      R.A. (J2000) Decl.    Delta     r     El.    Ph.   m1     Sky Motion"});

// The MPC service's page with total motion and P.A.: 1.5 "/min toward 120 degrees.
const QByteArray kMpcPage =
    Text({"<html>", "<head>", "<title>Minor Planet Ephemeris Service: Query Results</title>",
          "</head>", "<body>", "<h1>Minor Planet Ephemeris Service: Query Results</h1>",
          "Ephemerides are for", "observatory code G68.", "<p><hr><p>", "<b>   12P/Pons-Brooks</b>",
          "<p><pre>"}) +
    kMpcHeader +
    Text({"            h m s                                                            "
          "\"/min    P.A.",
          "2024 03 10 020000 01 46 12.3 +30 12 46   1.412   1.107  101.3  44.2   7.9   1.500    "
          "120.0",
          "2024 03 10 030000 01 46 15.3 +30 12 01   1.412   1.107  101.3  44.2   7.9   1.500    "
          "120.0",
          "</pre>", "<p><hr><p>", "</body>", "</html>"});

// The copied text of an MPC table with separate sky motions: (0.6, -0.8) "/min on both rows,
// so 1 "/min toward atan2(0.6, -0.8) = 143.1301 degrees there; their places lie 39" east and
// 45" south of each other, not the 36" and 48" the rates give.
const QByteArray kMpcCopied =
    kMpcHeader + Text({"            h m s                                                       "
                       "     \"/min    \"/min",
                       "2024 03 10 020000 01 46 12.3 +30 12 46   1.412   1.107  101.3  44.2   "
                       "7.9   +0.60    -0.80",
                       "2024 03 10 030000 01 46 15.3 +30 12 01   1.412   1.107  101.3  44.2   "
                       "7.9   +0.60    -0.80"});

// A run with the ephemeris window and the main window's new parts at hand.
class Session : public ProgramRun {
  public:
    template <typename T>
    T* get(const char* name) const {
        T* child = form() ? form()->findChild<T*>(name) : nullptr;
        if (!child) qWarning("no child %s", name);
        return child;
    }
    QLineEdit* box(const char* name) const { return get<QLineEdit>(name); }
    QStringList captions() const {
        return {get<QLabel>("DeltaX")->text(), get<QLabel>("DeltaY")->text()};
    }

    EphemerisForm* ephemeris() const {
        auto* window = form() ? form()->findChild<EphemerisForm*>() : nullptr;
        return window && window->isVisible() ? window : nullptr;
    }
    template <typename T>
    T* in(const char* name) const {
        return ephemeris() ? ephemeris()->findChild<T*>(name) : nullptr;
    }
    QString shown(const char* name) const {
        auto* label = in<QLabel>(name);
        return label ? label->text() : "<none>";
    }
    QDateTimeEdit* timeEdit() const { return in<QDateTimeEdit>("time"); }
    // Hidden or not yet made: no source line.
    QString sourceLine() const { return StatusMessage(form()); }

    // The keys a user presses in the window in front, so shortcuts apply.
    void press(const QKeySequence& keys, QWidget* focus = nullptr) {
        form()->activateWindow();
        if (!QTest::qWaitFor([this] { return QApplication::activeWindow() == form(); }, 2000)) {
            qWarning("main window not active");
        }
        if (focus) focus->setFocus();
        QTest::keySequence(QApplication::focusWidget(), keys);
    }

    void drop(QMimeData* data) {
        const QPoint point = get<QLabel>("DeltaX")->geometry().center();
        QDragEnterEvent enter(point, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form(), &enter);
        QDropEvent drop(point, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form(), &drop);
        delete data;
    }

    // Loads an ephemeris one of the ways a user can.
    void load(const QString& way, const QString& file, const QByteArray& content) {
        if (way == "open") {
            dialogs.ephemerisChosen = file;
            press(QKeySequence(Qt::CTRL | Qt::Key_O));
        } else if (way == "fetch") {
            dialogs.fetched = file;
            get<QAction>("mnu_FetchHorizons")->trigger();
        } else if (way == "drop file") {
            auto* data = new QMimeData;
            data->setUrls({QUrl::fromLocalFile(file)});
            drop(data);
        } else if (way == "drop text") {
            auto* data = new QMimeData;
            data->setText(QString::fromUtf8(content));
            drop(data);
        } else if (way == "paste") {
            QGuiApplication::clipboard()->setText(QString::fromUtf8(content));
            press(QKeySequence(Qt::CTRL | Qt::Key_V), get<QPushButton>("Setup"));
        } else if (way.startsWith("paste in ")) {
            QGuiApplication::clipboard()->setText(QString::fromUtf8(content));
            press(QKeySequence(Qt::CTRL | Qt::Key_V), box(qPrintable(way.mid(9))));
        } else {
            qWarning("no way %s", qPrintable(way));
        }
        // The window reads on another thread and shows the table when it is done.
        if (!QTest::qWaitFor([this] { return !form()->property("readingEphemeris").toBool(); },
                             20000)) {
            qWarning("the ephemeris was not read within 20 s");
        }
        // As when the table showed at once: its window has come to the front.
        if (ephemeris() &&
            !QTest::qWaitFor([this] { return QApplication::activeWindow() == ephemeris(); },
                             2000)) {
            qWarning("the ephemeris window did not come to the front");
        }
    }

    // Types a time as a user does: the year first, each section full, the editor moving on.
    void typeTime(const QString& digits) {
        QDateTimeEdit* edit = timeEdit();
        edit->setFocus();
        edit->setSelectedSection(QDateTimeEdit::YearSection);
        QTest::keyClicks(edit, digits);
    }
    void clickUse() { QTest::mouseClick(in<QPushButton>("use"), Qt::LeftButton); }
};

// A fresh start's settings file with Motion, PA and an [Ephemeris] section.
QByteArray SettingsAfter(const QString& motion, const QString& pa, const QByteArray& ephemeris) {
    return Lines({"[Object]", "Motion=" + motion.trimmed().toUtf8(),
                  "Position Angle=" + pa.trimmed().toUtf8(), "[Pixel Size]", "PixelSize=1",
                  "[Time]", "Total Time=60", "Time Interval=15", "[Mount]", "Mount=False",
                  "EastWest=True", "RA Direction West=0", "Dec Direction West=0",
                  "Ra Direction East=0", "Dec Direction East=0", "[Directory]",
                  "Current Directory="}) +
           ephemeris;
}

}  // namespace

class TestEphemerisForm : public QObject {
    Q_OBJECT

  private slots:
    void use_data();
    void use();
    void startTime_data();
    void startTime();
    void sourceLine_data();
    void sourceLine();
    void loadFailures_data();
    void loadFailures();
    void menus();
    void follow_data();
    void follow();
    void wholeTime_data();
    void wholeTime();
    void pasteOneLine_data();
    void pasteOneLine();
    void readsWhileAnswering();
    void cutTableSaid();
    void oneTime_data();
    void oneTime();
    void stateInView_data();
    void stateInView();
};

// ---- each format, each way in, Use

void TestEphemerisForm::use_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("way");
    QTest::addColumn<QString>("fileName");  // the file's name in the test's folder
    QTest::addColumn<QString>("now");       // the clock while loading
    QTest::addColumn<QString>("nowAtUse");  // the clock when Use is pressed
    QTest::addColumn<QString>("typed");     // typed into the time editor; empty: left at now
    QTest::addColumn<QString>("usedTime");  // the editor's text after Use
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("values");  // "/min, "/hr, PA, east and north "/hr
    QTest::addColumn<QString>("motion");  // as Use writes them: as typed, no blank
    QTest::addColumn<QString>("pa");
    QTest::addColumn<QStringList>("captions");  // pixel size 1, 15 s: a quarter of -E, -N
    QTest::addColumn<QString>("rememberedTime");
    QTest::addColumn<QString>("locale");  // empty: the test's own

    const QString noTyping;
    QTest::newRow("Horizons text, opened, time typed")
        << kHorizonsText << "open"
        << "pons-brooks.txt"
        << "2024-03-10T02:10:00Z"
        << "2024-03-10T02:10:00Z"
        << "20240310023000"
        << "2024-03-10 02:30:00"
        << "12P/Pons-Brooks"
        << QStringList{"2.0000 \"/min", "120.00 \"/hr", "36.87°", "72.00 \"/hr", "96.00 \"/hr"}
        << "2"
        << "36.8699" << QStringList{"-0.30", "-0.40"} << "2024-03-10T02:30:00Z" << QString();
    QTest::newRow("Horizons CSV, dropped file, now")
        << kHorizonsCsv << "drop file"
        << "eros.csv"
        << "2024-03-10T02:40:00Z"
        << "2024-03-10T02:40:00Z" << noTyping << "2024-03-10 02:40:00"
        << "433 Eros (A898 PA)"
        << QStringList{"1.1837 \"/min", "71.02 \"/hr", "279.73°", "-70.00 \"/hr", "12.00 \"/hr"}
        << "1.183685"
        << "279.7276" << QStringList{"+0.29", "-0.05"} << "" << QString();
    // Now moves on while the window is open: Use takes the rate at the moment of Use.
    QTest::newRow("Horizons JSON, fetched, now moved on")
        << HorizonsJson() << "fetch"
        << "horizons.json"
        << "2024-03-10T02:05:00Z"
        << "2024-03-10T02:15:00Z" << noTyping << "2024-03-10 02:15:00"
        << "C/2023 A3 (Tsuchinshan-ATLAS)"
        << QStringList{"2.9659 \"/min", "177.95 \"/hr", "354.96°", "-15.63 \"/hr", "177.27 \"/hr"}
        << "2.965883"
        << "354.9616" << QStringList{"+0.07", "-0.74"} << "" << QString();
    QTest::newRow("MPC page, opened, time typed")
        << kMpcPage << "open"
        << "pons-brooks.html"
        << "2024-03-10T02:10:00Z"
        << "2024-03-10T02:10:00Z"
        << "20240310022000"
        << "2024-03-10 02:20:00"
        << "12P/Pons-Brooks"
        << QStringList{"1.5000 \"/min", "90.00 \"/hr", "120.00°", "77.94 \"/hr", "-45.00 \"/hr"}
        << "1.5"
        << "120" << QStringList{"-0.32", "+0.19"} << "2024-03-10T02:20:00Z" << QString();
    QTest::newRow("MPC table, pasted, now")
        << kMpcCopied << "paste" << QString() << "2024-03-10T02:30:00Z"
        << "2024-03-10T02:30:00Z" << noTyping << "2024-03-10 02:30:00"
        << "0012P"
        // Half way between rows whose places lie 4" from where their rates lead, the rate is
        // that of the path through those places.
        << QStringList{"0.9887 \"/min", "59.32 \"/hr", "137.16°", "40.33 \"/hr", "-43.50 \"/hr"}
        << "0.9887052"
        << "137.1623" << QStringList{"-0.17", "+0.18"} << "" << QString();
    // The README's "copy the table and press Ctrl+V" at start, when Motion has the focus.
    QTest::newRow("MPC table, pasted into Motion, now")
        << kMpcCopied << "paste in Motion" << QString() << "2024-03-10T02:30:00Z"
        << "2024-03-10T02:30:00Z" << noTyping << "2024-03-10 02:30:00"
        << "0012P"
        // Half way between rows whose places lie 4" from where their rates lead, the rate is
        // that of the path through those places.
        << QStringList{"0.9887 \"/min", "59.32 \"/hr", "137.16°", "40.33 \"/hr", "-43.50 \"/hr"}
        << "0.9887052"
        << "137.1623" << QStringList{"-0.17", "+0.18"} << "" << QString();
    // One line that reads as an ephemeris: the API's reply.
    QTest::newRow("Horizons JSON, pasted into PA, now")
        << HorizonsJson() << "paste in PA" << QString() << "2024-03-10T02:15:00Z"
        << "2024-03-10T02:15:00Z" << noTyping << "2024-03-10 02:15:00"
        << "C/2023 A3 (Tsuchinshan-ATLAS)"
        << QStringList{"2.9659 \"/min", "177.95 \"/hr", "354.96°", "-15.63 \"/hr", "177.27 \"/hr"}
        << "2.965883"
        << "354.9616" << QStringList{"+0.07", "-0.74"} << "" << QString();
    // The window shows the user's decimal mark, as the offsets do; the boxes and the settings
    // file keep the program's number text.
    QTest::newRow("Horizons text, dropped as text, time typed, German decimal comma")
        << kHorizonsText << "drop text" << QString() << "2024-03-10T02:10:00Z"
        << "2024-03-10T02:10:00Z"
        << "20240310023000"
        << "2024-03-10 02:30:00"
        << "12P/Pons-Brooks"
        << QStringList{"2,0000 \"/min", "120,00 \"/hr", "36,87°", "72,00 \"/hr", "96,00 \"/hr"}
        << "2"
        << "36.8699" << QStringList{"-0,30", "-0,40"} << "2024-03-10T02:30:00Z"
        << "de_DE";
}

void TestEphemerisForm::use() {
    QFETCH(QByteArray, content);
    QFETCH(QString, way);
    QFETCH(QString, fileName);
    QFETCH(QString, now);
    QFETCH(QString, nowAtUse);
    QFETCH(QString, typed);
    QFETCH(QString, usedTime);
    QFETCH(QString, target);
    QFETCH(QStringList, values);
    QFETCH(QString, motion);
    QFETCH(QString, pa);
    QFETCH(QStringList, captions);
    QFETCH(QString, rememberedTime);
    QFETCH(QString, locale);

    const QLocale saved;
    if (!locale.isEmpty()) QLocale::setDefault(QLocale(locale));
    const auto restore = qScopeGuard([&] { QLocale::setDefault(saved); });
    Session s;
    const QString file = fileName.isEmpty() ? QString() : s.path(fileName);
    if (!file.isEmpty()) WriteAll(file, content);
    s.now = At(qPrintable(now));
    s.start();
    s.load(way, file, content);
    if (way.startsWith("paste") &&
        QGuiApplication::clipboard()->text() != QString::fromUtf8(content))
        QSKIP("no clipboard on this platform");
    QCOMPARE(s.dialogs.errors, QStringList{});
    QVERIFY(s.ephemeris());
    QCOMPARE(s.shown("target"), target);
    if (way == "fetch") QCOMPARE(s.dialogs.fetchFolders, QStringList{""});

    if (!typed.isEmpty()) s.typeTime(typed);
    s.now = At(qPrintable(nowAtUse));
    s.clickUse();

    QCOMPARE(s.timeEdit()->text(), usedTime);
    QCOMPARE((QStringList{s.shown("motionPerMinute"), s.shown("motionPerHour"),
                          s.shown("positionAngle"), s.shown("eastRate"), s.shown("northRate")}),
             values);
    QCOMPARE(s.box("Motion")->text(), motion);
    QCOMPARE(s.box("PA")->text(), pa);
    QCOMPARE(s.params.Motion, motion.toFloat());
    QCOMPARE(s.params.PA, pa.toFloat());
    QCOMPARE(s.captions(), captions);
    QVERIFY2(s.sourceLine().contains(target) && s.sourceLine().contains(usedTime),
             qPrintable(s.sourceLine()));
    QCOMPARE(s.dialogs.errors, QStringList{});

    s.get<QPushButton>("Quit")->click();
    DeleteLaterNow();
    QVERIFY(!s.form());
    QCOMPARE(ReadAll(s.iniPath()), SettingsAfter(motion, pa,
                                                 Lines({"[Ephemeris]", "File=" + file.toUtf8(),
                                                        "Time=" + rememberedTime.toUtf8()})));
}

// ---- the time the window starts at

void TestEphemerisForm::startTime_data() {
    QTest::addColumn<QByteArray>("remembered");  // the [Ephemeris] section; $FILE is the file
    QTest::addColumn<QString>("now");
    QTest::addColumn<QString>("shownTime");
    QTest::addColumn<QString>("note");  // empty: no note shown
    QTest::addColumn<QString>("chooserFolder");
    QTest::addColumn<bool>("pressNow");     // then the Now button
    QTest::addColumn<QByteArray>("saved");  // the section after closing

    const QString none;
    const QByteArray loaded = Lines({"[Ephemeris]", "File=$FILE", "Time="});
    QTest::newRow("now before the span")
        << QByteArray() << "2024-03-09T23:00:00Z"
        << "2024-03-09 23:00:00"
        << "Now (2024-03-09 23:00:00 UTC) is before this ephemeris starts at 2024-03-10 "
           "02:00:00 UTC: it gives no motion then. Set a time within it."
        << "$TRACKS" << false << loaded;
    QTest::newRow("now after the span")
        << QByteArray() << "2026-12-07T21:30:15Z"
        << "2026-12-07 21:30:15"
        << "Now (2026-12-07 21:30:15 UTC) is after this ephemeris ends at 2024-03-10 03:00:00 "
           "UTC: it gives no motion then. Set a time within it."
        << "$TRACKS" << false << loaded;
    // The same file and time as remembered: the section stays as the user's file has it.
    const QByteArray rememberedHere =
        Lines({"[Ephemeris]", "File = $FILE", "Time = 2024-03-10T02:45:00Z"});
    QTest::newRow("remembered time of this file")
        << rememberedHere << "2026-12-07T21:30:15Z"
        << "2024-03-10 02:45:00"
        << "The time chosen last time; Now goes to the current time."
        << "$HERE" << false << rememberedHere;
    QTest::newRow("remembered time, then Now")
        << rememberedHere << "2024-03-10T02:05:00Z"
        << "2024-03-10 02:05:00" << none << "$HERE" << true << loaded;
    QTest::newRow("remembered time outside the span")
        << Lines({"[Ephemeris]", "File=$FILE", "Time=2024-03-11T00:00:00Z"})
        << "2024-03-10T02:10:00Z"
        << "2024-03-11 00:00:00"
        << "The time chosen last (2024-03-11 00:00:00 UTC) is after this ephemeris ends at "
           "2024-03-10 03:00:00 UTC: it gives no motion then. Set a time within it."
        << "$HERE" << false << Lines({"[Ephemeris]", "File=$FILE", "Time=2024-03-11T00:00:00Z"});
    // A remembered file that is gone stops nothing: the chooser opens where tracks go.
    QTest::newRow("remembered file gone")
        << Lines({"[Ephemeris]", "File=/nonexistent/old.txt", "Time=2024-03-10T02:45:00Z"})
        << "2024-03-10T02:10:00Z"
        << "2024-03-10 02:10:00" << none << "$TRACKS" << false << loaded;
}

void TestEphemerisForm::startTime() {
    QFETCH(QByteArray, remembered);
    QFETCH(QString, now);
    QFETCH(QString, shownTime);
    QFETCH(QString, note);
    QFETCH(QString, chooserFolder);
    QFETCH(bool, pressNow);
    QFETCH(QByteArray, saved);

    Session s;
    const QString here = s.path("ephemerides");
    const QString tracks = s.path("tracks");
    QVERIFY(QDir().mkpath(here) && QDir().mkpath(tracks));
    const QString file = here + "/pons-brooks.txt";
    WriteAll(file, kHorizonsText);
    auto place = [&](QByteArray bytes) {
        return bytes.replace("$FILE", file.toUtf8())
            .replace("$HERE", here.toUtf8())
            .replace("$TRACKS", tracks.toUtf8());
    };
    const QByteArray before =
        Lines({"[Directory]", "Current Directory=" + tracks.toUtf8()}) + place(remembered);
    s.writeSettings(before);
    s.now = At(qPrintable(now));
    s.start();
    QCOMPARE(s.dialogs.errors, QStringList{});
    s.load("open", file, {});
    QCOMPARE(s.dialogs.ephemerisChooserFolders, QStringList{place(chooserFolder.toUtf8())});
    QVERIFY(s.ephemeris());
    if (pressNow) QTest::mouseClick(s.in<QPushButton>("now"), Qt::LeftButton);

    QCOMPARE(s.timeEdit()->text(), shownTime);
    auto* noteLabel = s.in<QLabel>("note");
    QCOMPARE(noteLabel->isVisible() ? noteLabel->text() : QString(), note);
    // A time outside the table has no motion to hand over.
    const bool outside = note.contains("no motion");
    QCOMPARE(s.in<QPushButton>("use")->isEnabled(), !outside);
    QCOMPARE(s.in<QLabel>("motionPerMinute")->text() == "none at this time", outside);

    s.get<QPushButton>("Quit")->click();
    DeleteLaterNow();
    const QByteArray after = ReadAll(s.iniPath());
    const qsizetype start = after.indexOf("[Ephemeris]");
    const qsizetype next = after.indexOf("\r\n[", start);
    QCOMPARE(after.mid(start, next < 0 ? -1 : next + 2 - start), place(saved));
}

// ---- the source line under the offsets

void TestEphemerisForm::sourceLine_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<bool>("stays");

    QTest::newRow("typing into Motion") << "Motion"
                                        << "5" << false;
    QTest::newRow("typing into PA") << "PA"
                                    << "0" << false;
    QTest::newRow("typing into Time Interval") << "TimeInterval"
                                               << "0" << true;
}

void TestEphemerisForm::sourceLine() {
    QFETCH(QString, box);
    QFETCH(QString, keys);
    QFETCH(bool, stays);

    Session s;
    WriteAll(s.path("e.txt"), kHorizonsText);
    s.now = At("2024-03-10T02:30:00Z");
    s.start();
    const QSize asDrawn = s.form()->size();
    s.load("open", s.path("e.txt"), {});
    QVERIFY(s.ephemeris());
    s.clickUse();
    const QString line = s.sourceLine();
    QCOMPARE(line, QString("Motion and PA from the ephemeris of 12P/Pons-Brooks at 2024-03-10 "
                           "02:30:00 UTC."));
    // One line inside the window, which grows downwards only, by one line; the whole text
    // is the line's tool tip, cut to the window's width where it does not fit.
    QCOMPARE(s.form()->width(), asDrawn.width());
    const QStatusBar* bar = s.form()->statusBar();
    QVERIFY(s.form()->height() > asDrawn.height());
    QVERIFY(s.form()->height() < asDrawn.height() + 3 * bar->fontMetrics().height());
    QVERIFY(s.form()->rect().contains(bar->geometry()));
    auto* status = s.form()->findChild<QLabel*>("StatusLine");
    QCOMPARE(status->toolTip(), line);
    QVERIFY(status->text().endsWith(QChar(0x2026)));
    QVERIFY(status->fontMetrics().horizontalAdvance(status->text()) <=
            status->contentsRect().width());
    const QSize withLine = s.form()->size();

    QTest::keyClicks(s.box(qPrintable(box)), keys);
    QCOMPARE(s.sourceLine(), stays ? line : QString());
    // An emptied line keeps its place, so the window does not jump while typing.
    QCOMPARE(s.form()->size(), withLine);
    QCOMPARE(s.form()->minimumSize(), s.form()->maximumSize());
}

// ---- what cannot be loaded

void TestEphemerisForm::loadFailures_data() {
    QTest::addColumn<QString>("way");
    QTest::addColumn<QByteArray>("content");  // for a file: empty means no file at all
    QTest::addColumn<QString>("error");       // what the one message must hold; empty: none
    QTest::addColumn<QString>("motionText");  // the box afterwards

    QTest::newRow("opened file missing") << "open" << QByteArray() << "table.txt\": No such file"
                                         << "1";
    QTest::newRow("dropped file that is no ephemeris")
        << "drop file" << QByteArray("12 35\n") << "table.txt\": no ephemeris table found"
        << "1";
    QTest::newRow("pasted text that is no ephemeris")
        << "paste" << QByteArray("12 35\n") << "The pasted text: no ephemeris table found"
        << "1";
    // A text box takes Ctrl+V for itself.
    QTest::newRow("Ctrl+V in Motion pastes into the box")
        << "paste into Motion" << kHorizonsText.left(20) << QString()
        << QString::fromUtf8(kHorizonsText.left(20));
}

void TestEphemerisForm::loadFailures() {
    QFETCH(QString, way);
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    QFETCH(QString, motionText);

    Session s;
    const QString file = s.path("table.txt");
    if (way != "open") WriteAll(file, content);
    s.start();
    if (way == "paste into Motion") {
        QGuiApplication::clipboard()->setText(QString::fromUtf8(content));
        s.box("Motion")->selectAll();
        s.press(QKeySequence(Qt::CTRL | Qt::Key_V), s.box("Motion"));
    } else {
        s.load(way, file, content);
    }
    if (way.startsWith("paste") &&
        QGuiApplication::clipboard()->text() != QString::fromUtf8(content))
        QSKIP("no clipboard on this platform");

    QCOMPARE(s.dialogs.errors.size(), error.isEmpty() ? 0 : 1);
    if (!error.isEmpty())
        QVERIFY2(s.dialogs.errors[0].contains(error), qPrintable(s.dialogs.errors[0]));
    QVERIFY(!s.ephemeris());
    QCOMPARE(s.box("Motion")->text(), motionText);
}

// ---- a large file is read while the window goes on answering

void TestEphemerisForm::readsWhileAnswering() {
    Session s;
    // Some 40 MiB of blank lines between the header and the rows.
    QByteArray big = kHorizonsText;
    big.insert(big.indexOf("$$SOE\n") + 6, QByteArray(40 << 20, '\n'));
    const QString file = s.path("big.txt");
    WriteAll(file, big);
    big.clear();
    big.squeeze();
    s.now = At("2024-03-10T02:30:00Z");
    s.start();
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(5);
    s.dialogs.ephemerisChosen = file;
    s.get<QAction>("mnu_OpenEphemeris")->trigger();
    // The menu command returns at once; the table comes later.
    QVERIFY(!s.ephemeris());
    QVERIFY(s.form()->property("readingEphemeris").toBool());
    QTRY_VERIFY_WITH_TIMEOUT(s.ephemeris(), 20000);
    QVERIFY2(ticks > 0, "no timer ran while the file was read");
    QCOMPARE(s.shown("target"), QString("12P/Pons-Brooks"));
    QCOMPARE(s.dialogs.errors, QStringList{});
}

// A table whose text stops inside a row says so in its window.
void TestEphemerisForm::cutTableSaid() {
    Session s;
    const QByteArray text = kHorizonsText.left(kHorizonsText.indexOf("$$EOE") - 5);
    WriteAll(s.path("cut.txt"), text);
    s.now = At("2024-03-10T02:00:00Z");
    s.start();
    s.load("open", s.path("cut.txt"), {});
    QVERIFY(s.ephemeris());
    auto* note = s.in<QLabel>("cutNote");
    QVERIFY(note && note->isVisible());
    QVERIFY2(note->text().startsWith("The text seems cut off inside a row: the table ends at its "
                                     "last complete row, 2024-03-10 02:00:00 UTC"),
             qPrintable(note->text()));
    QCOMPARE(s.shown("step"), QString("1 hour, 1 row"));

    // A whole table shows no such line.
    WriteAll(s.path("whole.txt"), kHorizonsText);
    s.load("open", s.path("whole.txt"), {});
    QVERIFY(!s.in<QLabel>("cutNote")->isVisible());
}

// ---- menus

void TestEphemerisForm::menus() {
    Session s;
    s.start();
    QStringList bar;
    for (QAction* action : s.form()->menuBar()->actions()) bar << action->text();
    // The added menus before Help, which stays last.
    QCOMPARE(bar, (QStringList{"&File", "&Setup", "&View", "&Guide", "&Help"}));

    QStringList file;
    for (QAction* action : s.get<QMenu>("mnu_File")->actions())
        file << (action->isSeparator() ? "-"
                                       : action->text() + " " + action->shortcut().toString());
    // Exit last.
    QCOMPARE(file, (QStringList{"&Save Ctrl+S", "-", "Open &Ephemeris... Ctrl+O",
                                "Fetch from JPL &Horizons... ", "&Paste Ephemeris Ctrl+V",
                                "Follo&w the Ephemeris ", "-", "Calibrate from a &Frame... ",
                                "-", "E&xit Ctrl+Q"}));
}

// ---- a track that follows the ephemeris

void TestEphemerisForm::follow_data() {
    QTest::addColumn<QByteArray>("remembered");  // the Follow entry read at start
    QTest::addColumn<bool>("click");             // on the check box
    QTest::addColumn<QString>("typed");          // the start, into the time editor
    QTest::addColumn<QString>("firstLine");      // empty: no track written
    QTest::addColumn<QPointF>("sums");           // of the exact steps
    QTest::addColumn<QString>("error");
    QTest::addColumn<QByteArray>("saved");  // the Follow entry after closing
    QTest::addColumn<QString>("told");      // the window's note on the track written

    // From 02:00 the rates rise from (36, 48) to (108, 144) "/hr over the hour: 72" east
    // and 96" north in all, at 1"/px along -X and -Y; the first 15 s move 0.150625" east and
    // 0.200833" north.
    const QPointF hour(-72, -96);
    // The rate triples over the hour: the window says a finer table would do better.
    const QString coarse = QString::fromUtf8(Pelindra::TrackFile::kCoarseTableNote.data());
    QTest::newRow("remembered, the hour followed")
        << QByteArray("Follow=True") << false << "20240310020000"
        << "15 -0.2 -0.2" << hour << QString() << QByteArray("Follow=True") << coarse;
    QTest::newRow("ticked, and remembered")
        << QByteArray() << true << "20240310020000"
        << "15 -0.2 -0.2" << hour << QString() << QByteArray("Follow=True") << coarse;
    // The boxes of a fresh start, 1 "/min toward PA 0: 0.25 px along -Y every line.
    QTest::newRow("cleared: the boxes' constant motion")
        << QByteArray("Follow=True") << true << "20240310020000"
        << "15 -0.0 -0.2" << QPointF(0, -60) << QString() << QByteArray("Follow=False")
        << QString();
    QTest::newRow("an hour from 02:30 is not covered")
        << QByteArray("Follow=True") << false << "20240310023000" << QString() << QPointF()
        << "The track needs the ephemeris from 2024-03-10 02:30:00 UTC to 2024-03-10 03:30:00 UTC, "
           "but it covers 2024-03-10 02:00:00 UTC to 2024-03-10 03:00:00 UTC"
        << QByteArray("Follow=True") << QString();
}

void TestEphemerisForm::follow() {
    QFETCH(QByteArray, remembered);
    QFETCH(bool, click);
    QFETCH(QString, typed);
    QFETCH(QString, firstLine);
    QFETCH(QPointF, sums);
    QFETCH(QString, error);
    QFETCH(QByteArray, saved);
    QFETCH(QString, told);

    Session s;
    const QString file = s.path("pons-brooks.txt");
    WriteAll(file, kHorizonsText);
    s.writeSettings(remembered.isEmpty() ? QByteArray() : Lines({"[Ephemeris]", remembered}));
    s.now = At("2024-03-10T02:10:00Z");
    s.start();
    s.load("open", file, {});
    auto* box = s.in<QCheckBox>("follow");
    QVERIFY(box);
    QCOMPARE(box->isChecked(), !remembered.isEmpty());
    if (click) QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
    s.typeTime(typed);

    const QString track = s.path("track.trk");
    s.dialogs.chosen = track;
    s.press(QKeySequence(Qt::CTRL | Qt::Key_S));
    QCOMPARE(s.dialogs.errors, error.isEmpty() ? QStringList() : QStringList{error});
    const QStringList said = StatusHistory(s.form());
    if (!told.isEmpty()) QVERIFY2(!said.filter(told).isEmpty(), qPrintable(said.join('\n')));
    // Each save says what it wrote.
    QCOMPARE(said.filter("Saved ").size(), firstLine.isEmpty() ? 0 : 1);
    if (firstLine.isEmpty()) {
        QVERIFY(!QFileInfo::exists(track));
    } else {
        const QByteArrayList lines = ReadAll(track).split('\n');
        QCOMPARE(lines.size(), 241);
        QCOMPARE(lines.first(), firstLine.toUtf8() + '\r');
        QPointF written;
        for (const QByteArray& line : lines.mid(0, 240)) {
            const QByteArrayList fields = line.chopped(1).split(' ');
            written += QPointF(fields.value(1).toDouble(), fields.value(2).toDouble());
        }
        // Within a tenth of the exact path.
        QVERIFY2(std::fabs(written.x() - sums.x()) < 0.1 + 1e-9 &&
                     std::fabs(written.y() - sums.y()) < 0.1 + 1e-9,
                 qPrintable(QString("%1 %2").arg(written.x()).arg(written.y())));
    }

    s.get<QPushButton>("Quit")->click();
    DeleteLaterNow();
    const QByteArray after = ReadAll(s.iniPath());
    QVERIFY2(after.contains("[Ephemeris]\r\n" + saved + "\r\n"), after.constData());
}

// ---- the time shown is the time every command uses

void TestEphemerisForm::oneTime_data() {
    QTest::addColumn<QString>("now");
    QTest::addColumn<QString>("typed");  // into the time editor; empty: left at now
    QTest::addColumn<bool>("follow");
    QTest::addColumn<QString>("command");  // "save", "phd2", "mount"
    QTest::addColumn<QString>("shownTime");
    // Empty: the command goes on. Else the words the refusal must hold besides the time shown.
    QTest::addColumn<QString>("refusal");

    // The table covers 2024-03-10 02:00 to 03:00; a track is an hour of 15 s lines.
    const QString after = "2026-12-07T21:30:15Z";
    QTest::newRow("now after the table, a following save")
        << after << "" << true << "save"
        << "2026-12-07 21:30:15" << "The track needs the ephemeris from";
    QTest::newRow("typed time, the hour runs past the table's end")
        << after << "20240310023000" << true << "save"
        << "2024-03-10 02:30:00" << "The track needs the ephemeris from";
    QTest::newRow("typed time, the hour within the table")
        << after << "20240310020000" << true << "save"
        << "2024-03-10 02:00:00" << "";
    QTest::newRow("now after the table, the rate to PHD2")
        << after << "" << true << "phd2"
        << "2026-12-07 21:30:15" << "Cannot send the rate to PHD2";
    QTest::newRow("typed time before the table, the rate to PHD2")
        << "2024-03-10T02:30:00Z" << "20240310013000" << true << "phd2"
        << "2024-03-10 01:30:00" << "Cannot send the rate to PHD2";
    QTest::newRow("typed time after the table, the mount's rate")
        << "2024-03-10T02:30:00Z" << "20240310040000" << true << "mount"
        << "2024-03-10 04:00:00" << "Cannot set the mount's rate";
}

// Save, PHD2 and the mount take the time the ephemeris window shows: outside the table they
// refuse, naming that time, before anything is chosen or sent.
void TestEphemerisForm::oneTime() {
    QFETCH(QString, now);
    QFETCH(QString, typed);
    QFETCH(bool, follow);
    QFETCH(QString, command);
    QFETCH(QString, shownTime);
    QFETCH(QString, refusal);

    Session s;
    const QString file = s.path("pons-brooks.txt");
    WriteAll(file, kHorizonsText);
    s.writeSettings(follow ? Lines({"[Ephemeris]", "Follow=True"}) : QByteArray());
    s.now = At(qPrintable(now));
    s.start();
    s.load("open", file, {});
    QVERIFY(s.ephemeris());
    if (!typed.isEmpty()) s.typeTime(typed);
    QCOMPARE(s.timeEdit()->text(), shownTime);
    // Use hands over a motion only for a time the table covers.
    const QDateTime shown = QDateTime::fromString(shownTime, "yyyy-MM-dd HH:mm:ss");
    const bool inside = shown >= QDateTime::fromString("2024-03-10 02:00:00", "yyyy-MM-dd HH:mm:ss") &&
                        shown <= QDateTime::fromString("2024-03-10 03:00:00", "yyyy-MM-dd HH:mm:ss");
    QCOMPARE(s.in<QPushButton>("use")->isEnabled(), inside);

    const QString track = s.path("track.trk");
    s.dialogs.chosen = track;
    if (command == "save") {
        s.press(QKeySequence(Qt::CTRL | Qt::Key_S));
    } else if (command == "phd2") {
        s.get<QAction>("mnu_SendRatePhd2")->trigger();
    } else {
        s.get<QAction>("mnu_TrackObjectRate")->trigger();
    }
    // The time shown still, whatever the clock did.
    QCOMPARE(s.timeEdit()->text(), shownTime);
    if (refusal.isEmpty()) {
        QCOMPARE(s.dialogs.errors, QStringList());
        QCOMPARE(s.dialogs.chooserFolders.size(), 1);
        QCOMPARE(ReadAll(track).count("\r\n"), 240);
        return;
    }
    QCOMPARE(s.dialogs.errors.size(), 1);
    const QString error = s.dialogs.errors.first();
    QVERIFY2(error.startsWith(refusal), qPrintable(error));
    // The time shown, in either way a time is written.
    QVERIFY2(error.contains(shownTime) || error.contains(QString(shownTime).replace(' ', 'T')),
             qPrintable(error));
    QCOMPARE(s.dialogs.chooserFolders, QStringList());
    QVERIFY(!QFileInfo::exists(track));
}

// ---- what Save will write, in view after the ephemeris window is closed

void TestEphemerisForm::stateInView_data() {
    QTest::addColumn<QString>("way");  // follow turned on: "menu" or "box"
    QTest::newRow("File > Follow the Ephemeris") << "menu";
    QTest::newRow("the ephemeris window's box") << "box";
}

void TestEphemerisForm::stateInView() {
    QFETCH(QString, way);

    Session s;
    const QString file = s.path("pons-brooks.txt");
    WriteAll(file, kHorizonsText);
    s.now = At("2024-03-10T02:00:00Z");
    s.start();
    auto* follow = s.get<QAction>("mnu_FollowEphemeris");
    auto* reopen = s.get<QAction>("mnu_Ephemeris");
    QVERIFY(follow->isCheckable() && !follow->isChecked());
    QVERIFY(!reopen->isEnabled());  // nothing to show yet
    const QSize asDrawn = s.form()->size();

    s.load("open", file, {});
    QVERIFY(s.ephemeris());
    QVERIFY(reopen->isEnabled());
    // The window loaded no status line: nothing was said yet.
    QCOMPARE(s.form()->size(), asDrawn);
    if (way == "menu") {
        follow->trigger();
        QVERIFY(s.in<QCheckBox>("follow")->isChecked());
    } else {
        s.in<QCheckBox>("follow")->click();
        QVERIFY(follow->isChecked());
    }
    QCOMPARE(s.sourceLine(), QString("Save follows 12P/Pons-Brooks from 02:00 UTC"));

    // Closed, and opened again from View.
    s.ephemeris()->close();
    QVERIFY(!s.ephemeris());
    reopen->trigger();
    QVERIFY(s.ephemeris());
    QVERIFY(s.in<QCheckBox>("follow")->isChecked());
    s.ephemeris()->close();

    s.dialogs.chosen = s.path("tonight.trk");
    s.press(QKeySequence(Qt::CTRL | Qt::Key_S));
    QCOMPARE(s.dialogs.errors, QStringList());
    // An hour of 15 s lines.
    QCOMPARE(s.sourceLine(), QString("Saved 240 lines to tonight.trk"));
    QCOMPARE(ReadAll(s.path("tonight.trk")).count("\r\n"), 240);

    // Turned off from the menu: the window's box follows, Save uses the boxes again.
    follow->trigger();
    reopen->trigger();
    QVERIFY(!s.in<QCheckBox>("follow")->isChecked());
    QCOMPARE(s.sourceLine(), QString("Save uses the Motion and PA above"));

    // View > Messages: every message of the session, oldest first, with its time.
    s.get<QAction>("mnu_Messages")->trigger();
    auto* messages = s.form()->findChild<QDialog*>("MessagesDialog");
    QVERIFY(messages && messages->isVisible());
    const QStringList lines =
        messages->findChild<QPlainTextEdit*>("messages")->toPlainText().split('\n');
    // The rate triples over the hour: the save also said a finer table would do better.
    const QString coarse = QString::fromUtf8(Pelindra::TrackFile::kCoarseTableNote.data());
    QCOMPARE(lines, (QStringList{"02:00:00 UTC  Save follows 12P/Pons-Brooks from 02:00 UTC",
                                 "02:00:00 UTC  " + coarse,
                                 "02:00:00 UTC  Saved 240 lines to tonight.trk",
                                 "02:00:00 UTC  Save uses the Motion and PA above"}));
    QTest::keyClick(messages, Qt::Key_Escape);
    QVERIFY(!messages->isVisible());
}

// ---- a whole time typed over the box or pasted into it

void TestEphemerisForm::wholeTime_data() {
    QTest::addColumn<QString>("way");  // "type" over the whole text, "paste", "minutes" only
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shownTime");
    QTest::addColumn<QString>("note");

    const QString none;
    QTest::newRow("typed, with a space") << "type" << "2024-03-10 02:15:00"
                                         << "2024-03-10 02:15:00" << none;
    QTest::newRow("typed, T and Z, no seconds") << "type" << "2024-03-10T02:40Z"
                                                << "2024-03-10 02:40:00" << none;
    QTest::newRow("typed as the windows write it")
        << "type" << "2024-03-10 02:45:30 UTC" << "2024-03-10 02:45:30" << none;
    QTest::newRow("pasted, with T") << "paste" << "2024-03-10T02:50:00"
                                    << "2024-03-10 02:50:00" << none;
    QTest::newRow("pasted as the windows write it")
        << "paste" << "2024-03-10 02:05:00 UTC" << "2024-03-10 02:05:00" << none;
    QTest::newRow("typed, not a time")
        << "type" << "2024-03-10 2:15" << "2024-03-10 02:10:00"
        << "\"2024-03-10 2:15\" is not a time; write it as 2026-12-07 21:30:00.";
    // One part at a time still works: the minutes alone.
    QTest::newRow("minutes only") << "minutes" << "45" << "2024-03-10 02:45:00" << none;
}

void TestEphemerisForm::wholeTime() {
    QFETCH(QString, way);
    QFETCH(QString, text);
    QFETCH(QString, shownTime);
    QFETCH(QString, note);

    Session s;
    const QString file = s.path("pons-brooks.txt");
    WriteAll(file, kHorizonsText);
    s.now = At("2024-03-10T02:10:00Z");
    s.start();
    s.load("open", file, {});
    QVERIFY(s.ephemeris());
    QDateTimeEdit* edit = s.timeEdit();
    // The window in front, as after a click into it.
    QApplication::setActiveWindow(s.ephemeris());
    edit->setFocus();
    QCOMPARE(QApplication::focusWidget(), edit);
    QCOMPARE(edit->text(), QString("2024-03-10 02:10:00"));

    if (way == "minutes") {
        edit->setSelectedSection(QDateTimeEdit::MinuteSection);
        QTest::keyClicks(edit, text);
    } else if (way == "paste") {
        QGuiApplication::clipboard()->setText(text);
        QTest::keySequence(edit, QKeySequence::Paste);
    } else {
        QTest::keySequence(edit, QKeySequence::SelectAll);
        QTest::keyClicks(edit, text);
    }
    // One Tab leaves the box, whichever part of it was being edited.
    QTest::keyClick(edit, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), s.in<QPushButton>("now"));
    QCOMPARE(edit->text(), shownTime);
    QCOMPARE(edit->dateTime().toUTC(), QDateTime::fromString(shownTime, "yyyy-MM-dd HH:mm:ss").toUTC());
    auto* noteLabel = s.in<QLabel>("note");
    QCOMPARE(noteLabel->isVisible() ? noteLabel->text() : QString(), note);
}

// ---- a one-line paste into a box of the main window stays there

void TestEphemerisForm::pasteOneLine_data() {
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("motion");  // the box's text after Ctrl+A, Ctrl+V

    QTest::newRow("a number") << "12.5" << "12.5";
    // As before: the box keeps the line end, which the number reading passes over.
    QTest::newRow("a copied line with its line end") << "7.25\n" << "7.25\n";
    QTest::newRow("a word") << "fast" << "fast";
}

void TestEphemerisForm::pasteOneLine() {
    QFETCH(QString, clipboard);
    QFETCH(QString, motion);

    Session s;
    s.start();
    QGuiApplication::clipboard()->setText(clipboard);
    if (QGuiApplication::clipboard()->text() != clipboard) QSKIP("no clipboard on this platform");
    s.box("Motion")->selectAll();
    s.press(QKeySequence::Paste, s.box("Motion"));
    QCOMPARE(s.box("Motion")->text(), motion);
    QVERIFY(!s.ephemeris());
    QCOMPARE(s.dialogs.errors, QStringList{});
}

QTEST_MAIN(TestEphemerisForm)
#include "tst_ephemerisform.moc"
