// The main window driven through its real widgets on the offscreen platform: load step,
// typing, pier side, save command, closing, accessibility, window kind, focus order, and
// the layout of all three windows at larger fonts.
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOption>
#include <QtTest>
#include <memory>
#include <optional>

#include "tests/support/PrivateMounts.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WindowHelpers.h"
#include "ui/MainForm.h"
#include "ui/frmAbout.h"

using namespace Pelindra::Core;
using namespace Pelindra::TrackFile;
using namespace Pelindra::Settings;

namespace {

const QString kPixelSize = "Pixel Size Must Be >0";

// '\a' selects all (Ctrl+A), '\b' is Backspace, anything else is typed as it is.
void Key(QWidget* w, QChar c) {
    if (c == '\a')
        QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
    else if (c == '\b')
        QTest::keyClick(w, Qt::Key_Backspace);
    else
        QTest::keyClicks(w, QString(c));
}

void Type(QWidget* w, const QString& keys) {
    for (QChar c : keys) Key(w, c);
}

// A run of the program with the main window's controls at hand by name.
class Session : public ProgramRun {
  public:
    bool activate() {
        form()->activateWindow();
        return QTest::qWaitForWindowActive(form());
    }

    template <typename T>
    T* get(const char* name) const {
        T* child = form() ? form()->findChild<T*>(name) : nullptr;
        if (!child) qWarning("no child %s", name);
        return child;
    }
    QLineEdit* box(const char* name) const { return get<QLineEdit>(name); }
    QString text(const char* label) const { return get<QLabel>(label)->text(); }
    QStringList captions() const { return {text("DeltaX"), text("DeltaY")}; }
    void trigger(const char* action) const { get<QAction>(action)->trigger(); }
};

// The values of the first worked examples: 12 arcsec/min at 35 degrees, 15 s, 1.8 arcsec.
const QByteArray kExample =
    Lines({"[Object]", "Motion=12", "Position Angle=35", "[Pixel Size]", "PixelSize=1.8", "[Time]",
           "Total Time=1.5", "Time Interval=15"});

}  // namespace

class TestMainForm : public QObject {
    Q_OBJECT

  private slots:
    void load_data();
    void load();

    void typedNumber_data();
    void typedNumber();
    void captionsFollowEveryKeystroke_data();
    void captionsFollowEveryKeystroke();
    void messagePerKeystroke_data();
    void messagePerKeystroke();
    void intervalRepair_data();
    void intervalRepair();
    void intervalWrittenAtOnce_data();
    void intervalWrittenAtOnce();
    void typedOverflow();

    void pierSide_data();
    void pierSide();
    void pierSideByArrowKeys();

    void save_data();
    void save();

    void close_data();
    void close();
    void closeBoxLeavesSetupOpen();
    void settingsWriteFailure_data();
    void settingsWriteFailure();
    void unusableSettingsFile();

    void accessibleNames_data();
    void accessibleNames();
    void offsetLabelsReadTheirText();
    void windowKind();
    void tabOrder_data();
    void tabOrder();
    void layoutFollowsFont_data();
    void layoutFollowsFont();
};

// ---- load step

void TestMainForm::load_data() {
    QTest::addColumn<QByteArray>("settings");  // empty: no file
    QTest::addColumn<QStringList>("texts");    // Motion, PA, TimeInterval
    QTest::addColumn<float>("motion");
    QTest::addColumn<float>("interval");
    QTest::addColumn<int>("eastWest");
    QTest::addColumn<bool>("pierSideHidden");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QStringList>("errors");

    const QStringList fresh = {"1", "0", "15"};
    QTest::newRow("no file") << QByteArray() << fresh << 1.f << 15.f << -1 << false
                             << QStringList{"-0.00", "-0.25"} << QStringList{};
    QTest::newRow("stored values, East")
        << Lines({"[Object]", "Motion=12", "Position Angle=35", "[Pixel Size]", "PixelSize=1.8",
                  "[Mount]", "EastWest=False"})
        << QStringList{"12", "35", "15"} << 12.f << 15.f << 0 << false
        << QStringList{"-0.96", "-1.37"} << QStringList{};
    QTest::newRow("fork hides pier side, East kept")
        << Lines({"[Mount]", "Mount=True", "EastWest=False"}) << fresh << 1.f << 15.f << 0 << true
        << QStringList{"-0.00", "-0.25"} << QStringList{};
    QTest::newRow("fork hides pier side, West kept")
        << Lines({"[Mount]", "Mount=True", "EastWest=True"}) << fresh << 1.f << 15.f << -1 << true
        << QStringList{"-0.00", "-0.25"} << QStringList{};
    // East_Click validates during loading, then the load step validates once more.
    QTest::newRow("pixel size 0, East")
        << Lines({"[Pixel Size]", "PixelSize=0", "[Mount]", "EastWest=False"}) << fresh << 1.f
        << 15.f << 0 << false << QStringList{"", ""} << QStringList{kPixelSize, kPixelSize};
    QTest::newRow("pixel size 0, West")
        << Lines({"[Pixel Size]", "PixelSize=0", "[Mount]", "EastWest=True"}) << fresh << 1.f
        << 15.f << -1 << false << QStringList{"", ""} << QStringList{kPixelSize};
    QTest::newRow("text shown as stored")
        << Lines({"[Object]", "Motion=2.50"}) << QStringList{"2.50", "0", "15"} << 2.5f << 15.f
        << -1 << false << QStringList{"-0.00", "-0.63"} << QStringList{};
    QTest::newRow("interval 0 repaired quietly")
        << Lines({"[Time]", "Time Interval=0"}) << QStringList{"1", "0", " 1"} << 1.f << 1.f << -1
        << false << QStringList{"-0.00", "-0.02"} << QStringList{};
    // The box starts empty, so an empty entry changes nothing there: still repaired.
    QTest::newRow("empty interval repaired quietly")
        << Lines({"[Time]", "Time Interval="}) << QStringList{"1", "0", " 1"} << 1.f << 1.f << -1
        << false << QStringList{"-0.00", "-0.02"} << QStringList{};
}

void TestMainForm::load() {
    QFETCH(QByteArray, settings);
    QFETCH(QStringList, texts);
    QFETCH(float, motion);
    QFETCH(float, interval);
    QFETCH(int, eastWest);
    QFETCH(bool, pierSideHidden);
    QFETCH(QStringList, captions);
    QFETCH(QStringList, errors);

    Session s;
    if (!settings.isEmpty()) s.writeSettings(settings);
    s.start();

    QCOMPARE(s.dialogs.errors, errors);
    QCOMPARE(
        (QStringList{s.box("Motion")->text(), s.box("PA")->text(), s.box("TimeInterval")->text()}),
        texts);
    QCOMPARE(s.params.Motion, motion);
    QCOMPARE(s.params.TimeInterval, interval);
    QCOMPARE(int(s.params.EastWest), eastWest);
    QCOMPARE(s.get<QRadioButton>("West")->isChecked(), eastWest == -1);
    QCOMPARE(s.get<QRadioButton>("East")->isChecked(), eastWest == 0);
    QCOMPARE(s.get<QGroupBox>("Telescope")->isHidden(), pierSideHidden);
    QCOMPARE(s.captions(), captions);
}

// ---- typing

void TestMainForm::typedNumber_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<float>("stored");

    QTest::newRow("trailing letters") << "Motion"
                                      << "12abc" << 12.f;
    QTest::newRow("letters only") << "Motion"
                                  << "abc" << 0.f;
    // Shown with the locale's comma, so typed with one too: never silently cut.
    QTest::newRow("decimal comma") << "Motion"
                                   << "2,35" << 2.35f;
    QTest::newRow("exponent") << "Motion"
                              << "1.5e1" << 15.f;
    QTest::newRow("blank between digits") << "Motion"
                                          << "2 5" << 25.f;
    QTest::newRow("negative angle") << "PA"
                                    << "-90" << -90.f;
    QTest::newRow("angle not reduced") << "PA"
                                       << "720" << 720.f;
}

void TestMainForm::typedNumber() {
    QFETCH(QString, box);
    QFETCH(QString, keys);
    QFETCH(float, stored);

    Session s;
    s.start();
    Type(s.box(qPrintable(box)), '\a' + keys);

    QCOMPARE(s.box(qPrintable(box))->text(), keys);
    QCOMPARE(box == "Motion" ? s.params.Motion : s.params.PA, stored);
    QCOMPARE(s.dialogs.errors, QStringList{});
}

void TestMainForm::captionsFollowEveryKeystroke_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QStringList>("deltaX");  // after each keystroke
    QTest::addColumn<QStringList>("deltaY");

    // Select all, clear, then type; the caption changes with each character.
    QTest::newRow("Motion") << "Motion"
                            << "\a\b-6" << QStringList{"-0.96", "-0.00", "-0.00", "+0.48"}
                            << QStringList{"-1.37", "-0.00", "-0.00", "+0.68"};
    QTest::newRow("PA") << "PA"
                        << "\a\b90" << QStringList{"-0.96", "-0.00", "-0.26", "-1.67"}
                        << QStringList{"-1.37", "-1.67", "-1.65", "+0.00"};
    // Clearing the interval repairs it to " 1"; the digits then follow that text.
    QTest::newRow("TimeInterval") << "TimeInterval"
                                  << "\a\b50" << QStringList{"-0.96", "-0.06", "-0.96", "-9.56"}
                                  << QStringList{"-1.37", "-0.09", "-1.37", "-13.65"};
}

void TestMainForm::captionsFollowEveryKeystroke() {
    QFETCH(QString, box);
    QFETCH(QString, keys);
    QFETCH(QStringList, deltaX);
    QFETCH(QStringList, deltaY);

    Session s;
    s.writeSettings(kExample);
    s.start();
    QStringList xs, ys;
    for (QChar c : keys) {
        Key(s.box(qPrintable(box)), c);
        xs << s.text("DeltaX");
        ys << s.text("DeltaY");
    }
    QCOMPARE(xs, deltaX);
    QCOMPARE(ys, deltaY);
    QCOMPARE(s.dialogs.errors, QStringList{});
}

void TestMainForm::messagePerKeystroke_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QList<int>>("messages");  // after each keystroke

    QTest::newRow("Motion") << "Motion"
                            << "7x\b" << QList<int>{1, 1, 1};
    QTest::newRow("PA") << "PA"
                        << "45" << QList<int>{1, 1};
    // A non-positive interval is repaired, which validates once nested and once after.
    QTest::newRow("TimeInterval digits") << "TimeInterval"
                                         << "05" << QList<int>{1, 1};
    QTest::newRow("TimeInterval cleared") << "TimeInterval"
                                          << "\a\b2" << QList<int>{0, 2, 1};
    QTest::newRow("TimeInterval typed 0") << "TimeInterval"
                                          << "\a0" << QList<int>{0, 2};
    QTest::newRow("TimeInterval typed minus") << "TimeInterval"
                                              << "\a-" << QList<int>{0, 2};
}

void TestMainForm::messagePerKeystroke() {
    QFETCH(QString, box);
    QFETCH(QString, keys);
    QFETCH(QList<int>, messages);

    Session s;
    s.writeSettings(Lines({"[Pixel Size]", "PixelSize=0"}));
    s.start();
    s.dialogs.errors.clear();
    s.dialogs.errorParents.clear();

    QList<int> counts;
    for (QChar c : keys) {
        const qsizetype before = s.dialogs.errors.size();
        Key(s.box(qPrintable(box)), c);
        counts << int(s.dialogs.errors.size() - before);
    }
    QCOMPARE(counts, messages);
    for (const QString& text : std::as_const(s.dialogs.errors)) QCOMPARE(text, kPixelSize);
    for (QWidget* parent : std::as_const(s.dialogs.errorParents))
        QCOMPARE(parent, static_cast<QWidget*>(s.form()));
}

void TestMainForm::intervalRepair_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QStringList>("texts");  // after each keystroke
    QTest::addColumn<float>("stored");

    QTest::newRow("0.5 typed") << "\a0.5" << QStringList{"15", " 1", " 1.", " 1.5"} << 1.5f;
    QTest::newRow(".5 typed") << "\a.5" << QStringList{"15", " 1", " 15"} << 15.f;
    QTest::newRow("-3 typed") << "\a-3" << QStringList{"15", " 1", " 13"} << 13.f;
    QTest::newRow("letters typed") << "\ax" << QStringList{"15", " 1"} << 1.f;
    QTest::newRow("8s typed") << "\a8s" << QStringList{"15", "8", "8s"} << 8.f;
}

void TestMainForm::intervalRepair() {
    QFETCH(QString, keys);
    QFETCH(QStringList, texts);
    QFETCH(float, stored);

    Session s;
    s.start();
    QLineEdit* interval = s.box("TimeInterval");
    QStringList seen;
    for (QChar c : keys) {
        Key(interval, c);
        seen << interval->text();
    }
    QCOMPARE(seen, texts);
    QCOMPARE(s.params.TimeInterval, stored);
    QCOMPARE(s.dialogs.errors, QStringList{});
}

void TestMainForm::intervalWrittenAtOnce_data() {
    QTest::addColumn<bool>("paste");
    QTest::newRow("pasted") << true;
    QTest::newRow("set by program") << false;
}

void TestMainForm::intervalWrittenAtOnce() {
    QFETCH(bool, paste);

    Session s;
    s.start();
    QLineEdit* interval = s.box("TimeInterval");
    if (paste) {
        QGuiApplication::clipboard()->setText(".5");
        if (QGuiApplication::clipboard()->text() != ".5") QSKIP("no clipboard on this platform");
        Key(interval, '\a');
        QTest::keyClick(interval, Qt::Key_V, Qt::ControlModifier);
    } else {
        interval->setText(".5");
    }
    QCOMPARE(interval->text(), QString(".5"));
    QCOMPARE(s.params.TimeInterval, 0.5f);
    // 1 arcsec/min at 0 degrees for half a second, 1 arcsec pixels.
    QCOMPARE(s.captions(), (QStringList{"-0.00", "-0.01"}));
}

void TestMainForm::typedOverflow() {
    Session s;
    s.writeSettings(kExample);
    s.start();
    QLineEdit* motion = s.box("Motion");

    Type(motion, "\a1e3");
    QCOMPARE(s.params.Motion, 1000.f);
    const QStringList before = s.captions();
    QCOMPARE(s.dialogs.errors, QStringList{});

    Key(motion, '9');  // 1e39 does not fit single precision
    QCOMPARE(s.dialogs.errors, QStringList{"Overflow"});
    QCOMPARE(motion->text(), QString("1e39"));
    QCOMPARE(s.params.Motion, 1000.f);
    QVERIFY(std::isfinite(s.params.DeltaX) && std::isfinite(s.params.DeltaY));
    QCOMPARE(s.captions(), before);

    // The program goes on.
    Type(motion, "\a12");
    QCOMPARE(s.params.Motion, 12.f);
    QCOMPARE(s.captions(), (QStringList{"-0.96", "-1.37"}));
    QCOMPARE(s.dialogs.errors.size(), 1);
}

// ---- pier side

void TestMainForm::pierSide_data() {
    QTest::addColumn<QByteArray>("mount");
    QTest::addColumn<QStringList>("west");
    QTest::addColumn<QStringList>("east");

    QTest::newRow("GEM, no flags")
        << Lines({"Mount=False"}) << QStringList{"-0.96", "-1.37"} << QStringList{"-0.96", "-1.37"};
    QTest::newRow("GEM, RA reversed West")
        << Lines({"Mount=False", "RA Direction West=1"}) << QStringList{"+0.96", "-1.37"}
        << QStringList{"-0.96", "-1.37"};
    QTest::newRow("GEM, Dec reversed East")
        << Lines({"Mount=False", "Dec Direction East=1"}) << QStringList{"-0.96", "-1.37"}
        << QStringList{"-0.96", "+1.37"};
    QTest::newRow("GEM, flag 2 does not reverse")
        << Lines({"Mount=False", "RA Direction West=2", "Dec Direction East=2"})
        << QStringList{"-0.96", "-1.37"} << QStringList{"-0.96", "-1.37"};
    QTest::newRow("fork, West flags on both sides")
        << Lines({"Mount=True", "RA Direction West=1", "Dec Direction West=1"})
        << QStringList{"+0.96", "+1.37"} << QStringList{"+0.96", "+1.37"};
    QTest::newRow("fork, East flags never")
        << Lines({"Mount=True", "RA Direction East=1", "Dec Direction East=1"})
        << QStringList{"-0.96", "-1.37"} << QStringList{"-0.96", "-1.37"};
}

void TestMainForm::pierSide() {
    QFETCH(QByteArray, mount);
    QFETCH(QStringList, west);
    QFETCH(QStringList, east);

    Session s;
    s.writeSettings(kExample + "[Mount]\r\n" + mount);
    s.start();
    auto* westButton = s.get<QRadioButton>("West");
    auto* eastButton = s.get<QRadioButton>("East");
    // A hidden frame cannot be clicked with the mouse; the handler must still act alike.
    auto select = [](QRadioButton* b) {
        if (b->isVisible())
            QTest::mouseClick(b, Qt::LeftButton);
        else
            b->click();
    };

    QCOMPARE(s.captions(), west);
    select(eastButton);
    QCOMPARE(int(s.params.EastWest), 0);
    QVERIFY(!westButton->isChecked());
    QCOMPARE(s.captions(), east);
    select(westButton);
    QCOMPARE(int(s.params.EastWest), -1);
    QVERIFY(!eastButton->isChecked());
    QCOMPARE(s.captions(), west);
    QCOMPARE(s.dialogs.errors, QStringList{});
}

void TestMainForm::pierSideByArrowKeys() {
    Session s;
    s.writeSettings(kExample + Lines({"[Mount]", "RA Direction West=1"}));
    s.start();
    QVERIFY(s.activate());
    auto* westButton = s.get<QRadioButton>("West");
    westButton->setFocus();
    QCOMPARE(s.captions(), (QStringList{"+0.96", "-1.37"}));

    QTest::keyClick(westButton, Qt::Key_Left);
    QVERIFY(s.get<QRadioButton>("East")->isChecked());
    QCOMPARE(int(s.params.EastWest), 0);
    QCOMPARE(s.captions(), (QStringList{"-0.96", "-1.37"}));

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    QVERIFY(westButton->isChecked());
    QCOMPARE(int(s.params.EastWest), -1);
    QCOMPARE(s.captions(), (QStringList{"+0.96", "-1.37"}));
}

// ---- save command

void TestMainForm::save_data() {
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QByteArray>("existing");  // empty: no file there yet
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QByteArray>("written");  // expected content afterwards; empty: none
    QTest::addColumn<QString>("typed");       // typed into the interval box first
    QTest::addColumn<QString>("pasted");      // pasted into the interval box first
    QTest::addColumn<bool>("fullDisk");       // the output folder has no space left
    QTest::addColumn<QStringList>("errors");  // what each message must contain

    const QByteArray track = Lines({"15 -1.0 -1.4", "15 -1.0 -1.4", "15 -0.9 -1.3", "15 -1.0 -1.4",
                                    "15 -0.9 -1.4", "15 -1.0 -1.3"});
    const QString none;
    auto row = [&](const char* name, const char* trigger, bool cancel, const QByteArray& existing,
                   bool answer, const QByteArray& written) -> QTestData& {
        return QTest::newRow(name) << trigger << cancel << existing << answer << written;
    };
    const QStringList noErrors;
    row("button", "Save", false, {}, false, track) << none << none << false << noErrors;
    row("menu", "nmu_Save", false, {}, false, track) << none << none << false << noErrors;
    row("Ctrl+S", "Ctrl+S", false, {}, false, track) << none << none << false << noErrors;
    row("button, cancelled", "Save", true, {}, false, {}) << none << none << false << noErrors;
    row("menu, cancelled", "nmu_Save", true, {}, false, {}) << none << none << false << noErrors;
    row("replace: yes", "Save", false, "old\r\n", true, track) << none << none << false << noErrors;
    row("replace: no", "nmu_Save", false, "old\r\n", false, "old\r\n")
        << none << none << false << noErrors;
    // What reaches a line is the number only, so every line keeps its three fields.
    row("interval pasted with a line break", "Save", false, {}, false, track) << none << "15\n"
                                                                              << false << noErrors;
    // The box shows a number the record could not take: no track for another interval.
    row("interval overflow", "Save", false, {}, false, {})
        << "1e39" << none << false << QStringList{"Overflow", "Overflow"};
    // The old track stays whole and the message gives the system's reason.
    const QByteArray old = QByteArray("15 -0.0 -0.2\r\n").repeated(2400);
    row("replace on a full disk", "Save", false, old, true, old)
        << none << none << true << QStringList{"No space left on device"};
}

void TestMainForm::save() {
    QFETCH(QString, trigger);
    QFETCH(bool, cancel);
    QFETCH(QByteArray, existing);
    QFETCH(bool, answer);
    QFETCH(QByteArray, written);
    QFETCH(QString, typed);
    QFETCH(QString, pasted);
    QFETCH(bool, fullDisk);
    QFETCH(QStringList, errors);

    Session s;
    const QString start = s.path("start");
    const QString out = s.path("out");
    QVERIFY(QDir().mkpath(start) && QDir().mkpath(out));
    std::optional<SmallDisk> disk;
    if (fullDisk) {
        disk.emplace(out, 128 * 1024);
        if (disk->refusal()) QSKIP(qPrintable("no small file system: " + *disk->refusal()));
    }
    const QString file = out + "/comet.trk";
    if (!existing.isEmpty()) WriteAll(file, existing);
    if (fullDisk) QVERIFY(disk->fillUpTo("filler", 0));
    s.writeSettings(kExample + Lines({"[Mount]", "Mount=False", "EastWest=False", "[Directory]"}) +
                    "Current Directory=" + start.toUtf8() + "\r\n");
    s.start();
    s.dialogs.answer = answer;
    if (!cancel) s.dialogs.chosen = file;
    if (!typed.isEmpty()) Type(s.box("TimeInterval"), '\a' + typed);
    if (!pasted.isEmpty()) {
        QGuiApplication::clipboard()->setText(pasted);
        if (QGuiApplication::clipboard()->text() != pasted) QSKIP("no clipboard on this platform");
        Key(s.box("TimeInterval"), '\a');
        QTest::keyClick(s.box("TimeInterval"), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(s.box("TimeInterval")->text(), pasted);
    }

    if (trigger == "Save") {
        QTest::mouseClick(s.get<QPushButton>("Save"), Qt::LeftButton);
    } else if (trigger.startsWith("Ctrl+")) {
        QVERIFY(s.activate());
        QTest::keySequence(QApplication::focusWidget(), QKeySequence(trigger));
    } else {
        s.trigger("nmu_Save");
    }

    const bool refused = !typed.isEmpty();
    QCOMPARE(s.dialogs.chooserFolders, refused ? QStringList() : QStringList{start});
    QCOMPARE(s.dialogs.questions, existing.isEmpty() ? 0 : 1);
    QCOMPARE(QString::fromStdString(s.params.Directory), cancel || refused ? start : out);
    QCOMPARE(QFileInfo::exists(file), !written.isEmpty());
    if (!written.isEmpty()) QCOMPARE(ReadAll(file), written);
    if (cancel || refused)
        QCOMPARE(QDir(out).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{});
    QCOMPARE(s.dialogs.errors.size(), errors.size());
    for (qsizetype i = 0; i < errors.size(); ++i)
        QVERIFY2(s.dialogs.errors[i].contains(errors[i]), qPrintable(s.dialogs.errors[i]));
    if (fullDisk)
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"comet.trk", "filler"}));
}

// ---- closing

namespace {

// Edits made before closing; the settings file must show them.
void EditAll(Session& s) {
    Type(s.box("Motion"), "\a3.25abc");
    Type(s.box("PA"), "\a-20");
    Type(s.box("TimeInterval"), "\a7.50");
    QTest::mouseClick(s.get<QRadioButton>("East"), Qt::LeftButton);
}

// Unapplied entries in an open setup dialog; closing must not store them.
QWidget* OpenSetupWithEdits(Session& s) {
    QTest::mouseClick(s.get<QPushButton>("Setup"), Qt::LeftButton);
    QWidget* setup = VisibleSetupForm();
    if (!setup) return nullptr;
    Type(setup->findChild<QLineEdit*>("PixSize"), "\a9");
    QTest::mouseClick(setup->findChild<QRadioButton*>("Fork"), Qt::LeftButton);
    return setup;
}

// Texts of Motion and PA as typed; the interval from the record, in number text.
const QByteArray kEditedSettings =
    Lines({"[Object]", "Motion=3.25abc", "Position Angle=-20", "[Pixel Size]", "PixelSize=1",
           "[Time]", "Total Time=60", "Time Interval=7.5", "[Mount]", "Mount=False",
           "EastWest=False", "RA Direction West=0", "Dec Direction West=0", "Ra Direction East=0",
           "Dec Direction East=0", "[Directory]", "Current Directory="});

}  // namespace

void TestMainForm::close_data() {
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<bool>("setupOpen");

    QTest::newRow("Close") << "Quit" << false;
    QTest::newRow("Close, setup open") << "Quit" << true;
    QTest::newRow("Exit") << "mnu_Exit" << false;
    QTest::newRow("Exit, setup open") << "mnu_Exit" << true;
    QTest::newRow("Ctrl+Q") << "Ctrl+Q" << false;
    QTest::newRow("Ctrl+Q in the setup dialog") << "Ctrl+Q" << true;
}

void TestMainForm::close() {
    QFETCH(QString, trigger);
    QFETCH(bool, setupOpen);

    Session s;
    s.start();
    EditAll(s);
    QPointer<QWidget> setup;
    if (setupOpen) {
        setup = OpenSetupWithEdits(s);
        QVERIFY(setup);
    }
    QVERIFY(!QFileInfo::exists(s.iniPath()));

    if (trigger == "Quit") {
        QTest::mouseClick(s.get<QPushButton>("Quit"), Qt::LeftButton);
    } else if (trigger.startsWith("Ctrl+")) {
        // Pressed in whichever window is in front.
        QWidget* front = setupOpen ? setup.data() : s.form();
        front->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(front));
        QTest::keySequence(QApplication::focusWidget(), QKeySequence(trigger));
    } else {
        s.trigger("mnu_Exit");
    }
    DeleteLaterNow();

    QCOMPARE(ReadAll(s.iniPath()), kEditedSettings);
    QCOMPARE(s.params.PixSize, 1.f);
    QCOMPARE(int(s.params.MountType), 0);
    QVERIFY(!setup);
    QVERIFY(!s.form());
    QCOMPARE(VisibleWindows(), QStringList{});
    QCOMPARE(s.dialogs.errors, QStringList{});
}

void TestMainForm::closeBoxLeavesSetupOpen() {
    Session s;
    s.start();
    EditAll(s);
    QPointer<QWidget> setup = OpenSetupWithEdits(s);
    QVERIFY(setup);

    s.form()->close();
    DeleteLaterNow();

    QCOMPARE(ReadAll(s.iniPath()), kEditedSettings);
    QVERIFY(!s.form());
    QVERIFY(setup);
    QCOMPARE(VisibleWindows(), QStringList{"SetupForm"});

    // The dialog still works without its main window and then is the last to go.
    QTest::mouseClick(setup->findChild<QPushButton*>("Apply"), Qt::LeftButton);
    DeleteLaterNow();
    QCOMPARE(s.params.PixSize, 9.f);
    QCOMPARE(int(s.params.MountType), -1);
    QVERIFY(!setup);
    QCOMPARE(VisibleWindows(), QStringList{});
    QCOMPARE(s.dialogs.errors, QStringList{});
}

void TestMainForm::settingsWriteFailure_data() {
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<bool>("setupOpen");
    QTest::newRow("Close") << "Quit" << false;
    QTest::newRow("Close, setup open") << "Quit" << true;
    QTest::newRow("Exit, setup open") << "mnu_Exit" << true;
    QTest::newRow("close box") << "" << false;
    QTest::newRow("close box, setup open") << "" << true;
}

// Closing on a full disk: the old settings file stays whole, the user's own lines
// included, and the message gives the system's reason. It shows after the setup dialog
// has gone for Close and Exit, while the dialog stays for the close box.
void TestMainForm::settingsWriteFailure() {
    QFETCH(QString, trigger);
    QFETCH(bool, setupOpen);

    Session s;
    SmallDisk disk(QFileInfo(s.iniPath()).absolutePath(), 64 * 1024);
    if (disk.refusal()) QSKIP(qPrintable("no small file system: " + *disk.refusal()));
    const QByteArray old = "; the observatory laptop\r\n" + kExample;
    s.writeSettings(old);
    QVERIFY(disk.fillUpTo("filler", 4096));  // room for the lock file, none for the settings
    s.start();
    if (setupOpen) QVERIFY(OpenSetupWithEdits(s));
    s.dialogs.errors.clear();
    s.dialogs.setupOpenAtError.clear();

    if (trigger == "Quit")
        s.get<QPushButton>("Quit")->click();
    else if (trigger == "mnu_Exit")
        s.trigger("mnu_Exit");
    else
        s.form()->close();
    DeleteLaterNow();

    QCOMPARE(s.dialogs.errors.size(), 1);
    QVERIFY2(s.dialogs.errors[0].contains(s.iniPath()), qPrintable(s.dialogs.errors[0]));
    QVERIFY2(s.dialogs.errors[0].contains("No space left on device"),
             qPrintable(s.dialogs.errors[0]));
    QCOMPARE(ReadAll(s.iniPath()), old);
    const bool closeBox = trigger.isEmpty();
    QCOMPARE(s.dialogs.setupOpenAtError, QList<bool>{setupOpen && closeBox});
    QVERIFY(!s.form());
    QCOMPARE(VisibleWindows(), setupOpen && closeBox ? QStringList{"SetupForm"} : QStringList{});
}

// Something that is not a settings file in its place (here a pipe nobody writes to, which
// once hung the start): the defaults, one message before the window shows, and the pipe is
// left alone at closing.
void TestMainForm::unusableSettingsFile() {
    Session s;
    QCOMPARE(mkfifo(s.iniPath().toLocal8Bit().constData(), 0600), 0);
    s.start();
    QCOMPARE(s.dialogs.errors.size(), 1);
    QVERIFY2(s.dialogs.errors[0].contains(s.iniPath()), qPrintable(s.dialogs.errors[0]));
    QCOMPARE(s.dialogs.errorParents, QList<QWidget*>{nullptr});
    QCOMPARE(s.box("TimeInterval")->text(), QString("15"));
    QCOMPARE(s.captions(), (QStringList{"-0.00", "-0.25"}));

    s.get<QPushButton>("Quit")->click();
    DeleteLaterNow();
    QCOMPARE(s.dialogs.errors.size(), 1);
    QVERIFY(QFileInfo(s.iniPath()).exists() && !QFileInfo(s.iniPath()).isFile());
}

// ---- accessibility, window kind, focus

void TestMainForm::accessibleNames_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");  // for a text box also its label's tool tip

    QTest::newRow("Motion") << "Motion"
                            << "Motion (arcsec/minute)"
                            << "The object's motion against the stars in arcseconds per minute, as "
                               "in the ephemeris";
    QTest::newRow("PA")
        << "PA"
        << "Position Angle (degrees)"
        << "Position angle of the motion in degrees: from north through east, as in "
           "the ephemeris";
    QTest::newRow("TimeInterval")
        << "TimeInterval"
        << "Time Interval (seconds)"
        << "Seconds between guide corrections; the offsets below are per interval";
    QTest::newRow("East") << "East"
                          << "East" << QString();
    QTest::newRow("West") << "West"
                          << "West" << QString();
    // The name is the caption, which is what a screen reader speaks; the description says what
    // it is.
    QTest::newRow("DeltaX") << "DeltaX"
                            << "-0.00"
                            << "X offset, pixels per guide interval";
    QTest::newRow("DeltaY") << "DeltaY"
                            << "-0.25"
                            << "Y offset, pixels per guide interval";
    QTest::newRow("Setup") << "Setup"
                           << "Setup" << QString();
    QTest::newRow("Save") << "Save"
                          << "Save" << QString();
    QTest::newRow("Quit") << "Quit"
                          << "Close" << QString();
}

void TestMainForm::accessibleNames() {
    QFETCH(QString, control);
    QFETCH(QString, name);
    QFETCH(QString, description);

    Session s;
    s.start();
    auto* w = s.get<QWidget>(qPrintable(control));
    QVERIFY(w);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), name);
    QCOMPARE(iface->text(QAccessible::Description), description);
    if (auto* box = qobject_cast<QLineEdit*>(w)) {
        QVERIFY(AnnouncedByBuddy(s.form(), box, name));
        for (QLabel* label : s.form()->findChildren<QLabel*>())
            if (label->buddy() == box) QCOMPARE(label->toolTip(), description);
    }
}

void TestMainForm::offsetLabelsReadTheirText() {
    Session s;
    s.writeSettings(kExample);
    s.start();
    for (const char* name : {"DeltaX", "DeltaY"}) {
        QLabel* label = s.get<QLabel>(name);
        QCOMPARE(label->accessibleName(), QString());
        QCOMPARE(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name),
                 label->text());
    }
    QCOMPARE(
        QAccessible::queryAccessibleInterface(s.get<QLabel>("DeltaX"))->text(QAccessible::Name),
        QString("-0.96"));
    Type(s.box("Motion"), "\a-");
    QCOMPARE(
        QAccessible::queryAccessibleInterface(s.get<QLabel>("DeltaY"))->text(QAccessible::Name),
        QString("-0.00"));
}

void TestMainForm::windowKind() {
    Session s;
    s.start();
    MainForm* form = s.form();
    QCOMPARE(form->windowTitle(), QString(" Pelindra"));
    const Qt::WindowFlags flags = form->windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QCOMPARE(form->size(), form->minimumSize());
    QVERIFY(!form->parentWidget());
}

void TestMainForm::tabOrder_data() {
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QStringList>("stops");  // after each Tab, from Motion

    QTest::newRow("West") << QByteArray() << QStringList{"PA",   "TimeInterval", "West",  "Setup",
                                                         "Save", "Quit",         "Motion"};
    QTest::newRow("East") << Lines({"[Mount]", "EastWest=False"})
                          << QStringList{"PA",   "TimeInterval", "East",  "Setup",
                                         "Save", "Quit",         "Motion"};
    QTest::newRow("fork: pier side skipped")
        << Lines({"[Mount]", "Mount=True"})
        << QStringList{"PA", "TimeInterval", "Setup", "Save", "Quit", "Motion"};
}

void TestMainForm::tabOrder() {
    QFETCH(QByteArray, settings);
    QFETCH(QStringList, stops);

    Session s;
    if (!settings.isEmpty()) s.writeSettings(settings);
    s.start();
    QVERIFY(s.activate());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(s.box("Motion")));
    QCOMPARE(TabStops(stops.size()), stops);
}

// ---- layout at larger fonts

namespace {

// A caption and the room its control gives it, in logical pixels, as the style lays it out.
struct Room {
    QString caption;
    QSize needed;
    QSize available;
};

QStyleOptionButton ButtonOption(QAbstractButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    if (auto* push = qobject_cast<QPushButton*>(button)) {
        if (push->autoDefault()) option.features |= QStyleOptionButton::AutoDefaultButton;
        if (push->isDefault()) option.features |= QStyleOptionButton::DefaultButton;
    }
    return option;
}

// A push button counts by its caption: the style's preferred width, wider than the buttons as
// drawn even at the default font, cuts nothing.
std::optional<Room> CaptionRoom(QWidget* w) {
    const QFontMetrics metrics = w->fontMetrics();
    QStyle* style = w->style();
    if (auto* label = qobject_cast<QLabel*>(w)) {
        if (label->text().isEmpty()) return std::nullopt;  // a picture
        const int margin = label->margin();
        QRect room = label->contentsRect().adjusted(margin, margin, -margin, -margin);
        int indent = label->indent();  // as QLabel works it out for a framed label
        if (indent < 0 && label->frameWidth()) indent = metrics.horizontalAdvance('x') / 2 - margin;
        if (indent > 0 && label->alignment() & Qt::AlignLeft) room.setLeft(room.left() + indent);
        if (indent > 0 && label->alignment() & Qt::AlignRight) room.setRight(room.right() - indent);
        const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        // A trailing blank ("X ") shows nothing that could be cut.
        static const QRegularExpression trailingBlanks("\\s+$");
        const QString caption = QString(label->text()).remove(trailingBlanks);
        return Room{caption, metrics.boundingRect(room, flags, caption).size(), room.size()};
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        const QStyleOptionButton option = ButtonOption(button);
        const QStyle::SubElement contents =
            qobject_cast<QRadioButton*>(w) ? QStyle::SE_RadioButtonContents
            : qobject_cast<QCheckBox*>(w)  ? QStyle::SE_CheckBoxContents
                                           : QStyle::SE_PushButtonContents;
        return Room{button->text(), metrics.size(Qt::TextShowMnemonic, button->text()),
                    style->subElementRect(contents, &option, w).size()};
    }
    if (auto* frame = qobject_cast<QGroupBox*>(w)) {
        QStyleOptionGroupBox option;
        option.initFrom(frame);
        option.text = frame->title();
        option.textAlignment = frame->alignment();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect title =
            style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, w);
        // The style sizes the title to its text; the frame's edge is what can cut it.
        return Room{frame->title(), title.size(), title.intersected(frame->rect()).size()};
    }
    if (auto* box = qobject_cast<QLineEdit*>(w)) {
        QStyleOptionFrame option;
        option.initFrom(box);
        option.lineWidth = style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, w);
        const QRect room = style->subElementRect(QStyle::SE_LineEditContents, &option, w)
                               .marginsRemoved(box->textMargins());
        // QLineEdit keeps two pixels clear on either side.
        return Room{box->text(),
                    QSize(metrics.horizontalAdvance(box->text()) + 4, metrics.height()),
                    room.size()};
    }
    return std::nullopt;
}

// Every control of a window whose caption the window cuts, or that sticks out of its container.
QStringList CutControls(QWidget* client) {
    QStringList cut;
    for (QWidget* w : client->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(client)) continue;
        if (!w->parentWidget()->rect().contains(w->geometry()))
            cut << QString("%1 sticks out of its container").arg(w->objectName());
        const std::optional<Room> room = CaptionRoom(w);
        if (room && (room->needed.width() > room->available.width() ||
                     room->needed.height() > room->available.height())) {
            cut << QString("%1 \"%2\" needs %3 x %4, has %5 x %6")
                       .arg(w->objectName(), room->caption)
                       .arg(room->needed.width())
                       .arg(room->needed.height())
                       .arg(room->available.width())
                       .arg(room->available.height());
        }
    }
    return cut;
}

// The application's font at a size for one test; 0 keeps the platform's default.
class FontSize {
  public:
    explicit FontSize(double points) : saved_(QApplication::font()) {
        if (points <= 0) return;
        QFont font = saved_;
        font.setPointSizeF(points);
        QApplication::setFont(font);
    }
    ~FontSize() { QApplication::setFont(saved_); }
    FontSize(const FontSize&) = delete;
    FontSize& operator=(const FontSize&) = delete;

  private:
    QFont saved_;
};

}  // namespace

void TestMainForm::layoutFollowsFont_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<double>("points");        // 0: the platform's default font, 9 pt
    QTest::addColumn<QSize>("clientAsDrawn");  // checked when valid
    QTest::addColumn<int>("scaleFactor");      // other than 1: every other row in a child run

    const struct {
        const char* window;
        QSize asDrawn;
    } windows[] = {
        {"main window", {249, 279}}, {"setup dialog", {231, 360}}, {"About box", {416, 309}}};
    for (const auto& w : windows) {
        QTest::addRow("%s, default font", w.window) << w.window << 0.0 << w.asDrawn << 1;
        for (double points : {11.0, 13.0, 16.0})
            QTest::addRow("%s, %g pt", w.window, points) << w.window << points << QSize() << 1;
    }
    QTest::newRow("all at QT_SCALE_FACTOR=2") << QString() << 0.0 << QSize() << 2;
}

// Every caption fits its box, and the windows keep their design layout at the default font.
void TestMainForm::layoutFollowsFont() {
    QFETCH(QString, window);
    QFETCH(double, points);
    QFETCH(QSize, clientAsDrawn);
    QFETCH(int, scaleFactor);

    if (scaleFactor != 1) {
        // Qt takes the factor only at start, so the rows run again in a process of their own.
        if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR")) QSKIP("this is the child run");
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_SCALE_FACTOR", QString::number(scaleFactor));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {"layoutFollowsFont"});
        QVERIFY(child.waitForFinished(60000));
        const QByteArray output = child.readAll();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 output.constData());
        QVERIFY2(output.contains(" 0 failed"), output.constData());
        return;
    }

    const FontSize font(points);
    Session s;
    s.start();
    std::unique_ptr<frmAbout> about;
    QWidget* shown = s.form();
    QWidget* client = s.form()->centralWidget();
    if (window == "setup dialog") {
        s.get<QPushButton>("Setup")->click();
        shown = client = VisibleSetupForm();
        QVERIFY(client);
    } else if (window == "About box") {
        about = std::make_unique<frmAbout>();
        about->Form_Load();
        about->show();
        QVERIFY(QTest::qWaitForWindowExposed(about.get()));
        shown = client = about.get();
    } else {
        // The widest offsets in practical use.
        s.get<QLabel>("DeltaX")->setText("-9848.08");
        s.get<QLabel>("DeltaY")->setText("-9848.08");
        // The window stays fixed in size, at a size that holds its client area.
        QCOMPARE(s.form()->minimumSize(), s.form()->maximumSize());
        QVERIFY(s.form()->rect().contains(client->geometry()));
    }
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
        QCOMPARE(shown->devicePixelRatio(), qEnvironmentVariable("QT_SCALE_FACTOR").toDouble());

    const QStringList cut = CutControls(client);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join("; ")));
    if (clientAsDrawn.isValid()) QCOMPARE(client->size(), clientAsDrawn);
}

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
