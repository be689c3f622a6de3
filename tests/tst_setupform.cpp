// The setup dialog driven through its real widgets on the offscreen platform, opened from
// a loaded main window as the user opens it.
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "tests/support/ProgramRun.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WindowHelpers.h"
#include "ui/MainForm.h"

using namespace Pelindra::Core;
using namespace Pelindra::TrackFile;
using namespace Pelindra::Settings;

namespace {

const QString kPixelSize = "Pixel Size Must Be >0";

template <typename T>
T* Child(QWidget* parent, const QString& name) {
    T* child = parent ? parent->findChild<T*>(name) : nullptr;
    if (!child) qWarning("no child %s", qPrintable(name));
    return child;
}

void Retype(QWidget* box, const QString& text) {
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}

void Click(QWidget* parent, const QString& name) {
    QTest::mouseClick(Child<QWidget>(parent, name), Qt::LeftButton);
}

// A run of the program with a settings file of its own; the main window is loaded and
// shown, and the dialog is opened from it.
class Session : public ProgramRun {
  public:
    explicit Session(const QByteArray& settings = {}) {
        if (!settings.isEmpty()) writeSettings(settings);
        start();
    }

    QWidget* openSetup(const char* trigger = "Setup") {
        if (QByteArray(trigger) == "nmu_Setup")
            Child<QAction>(form(), "nmu_Setup")->trigger();
        else
            QTest::mouseClick(Child<QPushButton>(form(), "Setup"), Qt::LeftButton);
        QWidget* setup = VisibleSetupForm();
        if (setup && !QTest::qWaitForWindowExposed(setup)) qWarning("setup not exposed");
        return setup;
    }

    QStringList captions() const {
        return {Child<QLabel>(form(), "DeltaX")->text(), Child<QLabel>(form(), "DeltaY")->text()};
    }
};

// 12 arcsec/min at 35 degrees, 15 s, 1.8 arcsec pixels; the pier side is East.
const QByteArray kExample =
    Lines({"[Object]", "Motion=12", "Position Angle=35", "[Pixel Size]", "PixelSize=1.8", "[Time]",
           "Time Interval=15", "[Mount]", "EastWest=False"});

const char* const kFlagBoxes[] = {"RaRevWest", "DecRevWest", "RARevEast", "DecRevEast"};

QList<int> FlagStates(QWidget* setup) {
    QList<int> states;
    for (const char* name : kFlagBoxes) states << Child<QCheckBox>(setup, name)->checkState();
    return states;
}

}  // namespace

class TestSetupForm : public QObject {
    Q_OBJECT

  private slots:
    void opens_data();
    void opens();
    void mountLayout_data();
    void mountLayout();
    void applyMount_data();
    void applyMount();
    void applyTexts_data();
    void applyTexts();
    void applyBadPixelSize_data();
    void applyBadPixelSize();
    void applyOverflow_data();
    void applyOverflow();
    void reversalFlags_data();
    void reversalFlags();
    void openAgainBringsForward();
    void keys();
    void tabOrder_data();
    void tabOrder();
    void accessibleNames_data();
    void accessibleNames();
    void windowKind();
};

void TestSetupForm::opens_data() {
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QStringList>("texts");  // PixSize, TotalTime
    QTest::addColumn<bool>("fork");
    QTest::addColumn<QString>("westTitle");
    QTest::addColumn<bool>("eastShown");
    QTest::addColumn<QList<int>>("flags");

    const QList<int> none = {0, 0, 0, 0};
    QTest::newRow("fresh start, button") << QByteArray() << "Setup" << QStringList{" 1", " 60"}
                                         << false << "Telescope West" << true << none;
    QTest::newRow("fresh start, menu") << QByteArray() << "nmu_Setup" << QStringList{" 1", " 60"}
                                       << false << "Telescope West" << true << none;
    QTest::newRow("fork") << Lines({"[Mount]", "Mount=True"}) << "Setup" << QStringList{" 1", " 60"}
                          << true << "Telescope" << false << none;
    QTest::newRow("stored values")
        << Lines({"[Pixel Size]", "PixelSize=1.10", "[Time]", "Total Time=90", "[Mount]",
                  "RA Direction West=1", "Dec Direction West=2", "Dec Direction East=1"})
        << "nmu_Setup" << QStringList{" 1.1", " 90"} << false << "Telescope West" << true
        << QList<int>{Qt::Checked, Qt::PartiallyChecked, Qt::Unchecked, Qt::Checked};
}

void TestSetupForm::opens() {
    QFETCH(QByteArray, settings);
    QFETCH(QString, trigger);
    QFETCH(QStringList, texts);
    QFETCH(bool, fork);
    QFETCH(QString, westTitle);
    QFETCH(bool, eastShown);
    QFETCH(QList<int>, flags);

    Session s(settings);
    QWidget* setup = s.openSetup(qPrintable(trigger));
    QVERIFY(setup);
    QCOMPARE(setup->windowTitle(), QString("SETUP"));
    QCOMPARE((QStringList{Child<QLineEdit>(setup, "PixSize")->text(),
                          Child<QLineEdit>(setup, "TotalTime")->text()}),
             texts);
    QCOMPARE(Child<QRadioButton>(setup, "Fork")->isChecked(), fork);
    QCOMPARE(Child<QRadioButton>(setup, "GEM")->isChecked(), !fork);
    QCOMPARE(Child<QGroupBox>(setup, "West")->title(), westTitle);
    QVERIFY(Child<QGroupBox>(setup, "West")->isVisible());
    QCOMPARE(Child<QGroupBox>(setup, "East")->title(), QString("Telescope East"));
    QCOMPARE(Child<QGroupBox>(setup, "East")->isVisible(), eastShown);
    QCOMPARE(FlagStates(setup), flags);
    QCOMPARE(s.dialogs.errors, QStringList{});
}

void TestSetupForm::mountLayout_data() {
    QTest::addColumn<bool>("storedFork");
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<bool>("closeBox");  // else Cancel

    QTest::newRow("GEM, Fork, Cancel") << false << QStringList{"Fork"} << false;
    QTest::newRow("GEM, Fork, GEM, Fork, close box")
        << false << QStringList{"Fork", "GEM", "Fork"} << true;
    QTest::newRow("fork, GEM, Cancel") << true << QStringList{"GEM"} << false;
    QTest::newRow("fork, GEM, Fork, GEM, close box")
        << true << QStringList{"GEM", "Fork", "GEM"} << true;
}

void TestSetupForm::mountLayout() {
    QFETCH(bool, storedFork);
    QFETCH(QStringList, clicks);
    QFETCH(bool, closeBox);

    Session s(storedFork ? Lines({"[Mount]", "Mount=True"}) : QByteArray());
    const int mount = s.params.MountType;
    QPointer<QWidget> setup = s.openSetup();
    QVERIFY(setup);
    for (const QString& button : clicks) {
        Click(setup, button);
        const bool fork = button == "Fork";
        QCOMPARE(Child<QGroupBox>(setup, "West")->title(),
                 QString(fork ? "Telescope" : "Telescope West"));
        QCOMPARE(Child<QGroupBox>(setup, "East")->isVisible(), !fork);
        QCOMPARE(int(s.params.MountType), mount);
    }

    if (closeBox)
        setup->close();
    else
        Click(setup, "Cancel");
    DeleteLaterNow();
    QVERIFY(!setup);
    QCOMPARE(int(s.params.MountType), mount);
    QCOMPARE(Child<QGroupBox>(s.form(), "Telescope")->isHidden(), storedFork);

    setup = s.openSetup();
    QVERIFY(setup);
    QCOMPARE(Child<QRadioButton>(setup, "Fork")->isChecked(), storedFork);
    QCOMPARE(Child<QGroupBox>(setup, "East")->isVisible(), !storedFork);
}

void TestSetupForm::applyMount_data() {
    QTest::addColumn<QByteArray>("mount");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");

    // RA reversal on the West side: applies on the East side only with a fork mount.
    QTest::newRow("to fork") << QByteArray("Mount=False\r\n") << "Fork"
                             << QStringList{"-0.96", "-1.37"} << QStringList{"+0.96", "-1.37"};
    QTest::newRow("to GEM") << QByteArray("Mount=True\r\n") << "GEM"
                            << QStringList{"+0.96", "-1.37"} << QStringList{"-0.96", "-1.37"};
}

void TestSetupForm::applyMount() {
    QFETCH(QByteArray, mount);
    QFETCH(QString, button);
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);

    Session s(kExample + "RA Direction West=1\r\n" + mount);
    QCOMPARE(s.captions(), before);
    QPointer<QWidget> setup = s.openSetup();
    QVERIFY(setup);
    Click(setup, button);
    Click(setup, "Apply");
    DeleteLaterNow();

    const bool fork = button == "Fork";
    QVERIFY(!setup);
    QCOMPARE(int(s.params.MountType), fork ? -1 : 0);
    QCOMPARE(Child<QGroupBox>(s.form(), "Telescope")->isHidden(), fork);
    QCOMPARE(int(s.params.EastWest), 0);
    QVERIFY(Child<QRadioButton>(s.form(), "East")->isChecked());
    QCOMPARE(s.captions(), after);
    QCOMPARE(s.dialogs.errors, QStringList{});
}

void TestSetupForm::applyTexts_data() {
    QTest::addColumn<QString>("pixSize");
    QTest::addColumn<QString>("totalTime");
    QTest::addColumn<float>("storedPixSize");
    QTest::addColumn<float>("storedTotalTime");

    QTest::newRow("unit after the number") << "2.5 arcsec"
                                           << "90" << 2.5f << 90.f;
    QTest::newRow("empty total time") << "1.8"
                                      << "" << 1.8f << 0.f;
    QTest::newRow("negative total time") << "1.1"
                                         << "-5" << 1.1f << -5.f;
    QTest::newRow("decimal commas") << "1,23"
                                    << "90,5" << 1.23f << 90.5f;
}

void TestSetupForm::applyTexts() {
    QFETCH(QString, pixSize);
    QFETCH(QString, totalTime);
    QFETCH(float, storedPixSize);
    QFETCH(float, storedTotalTime);

    Session s(kExample);
    QPointer<QWidget> setup = s.openSetup();
    QVERIFY(setup);
    Retype(Child<QLineEdit>(setup, "PixSize"), pixSize);
    Retype(Child<QLineEdit>(setup, "TotalTime"), totalTime);
    QCOMPARE(s.params.PixSize, 1.8f);  // nothing stored before Apply
    Click(setup, "Apply");
    DeleteLaterNow();

    QVERIFY(!setup);
    QCOMPARE(s.params.PixSize, storedPixSize);
    QCOMPARE(s.params.TotalTime, storedTotalTime);
    QCOMPARE(s.dialogs.errors, QStringList{});
}

void TestSetupForm::applyBadPixelSize_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<float>("stored");

    QTest::newRow("0") << "0" << 0.f;
    QTest::newRow("-2") << "-2" << -2.f;
    QTest::newRow("abc") << "abc" << 0.f;
}

void TestSetupForm::applyBadPixelSize() {
    QFETCH(QString, text);
    QFETCH(float, stored);

    Session s(kExample);
    const QStringList captions = s.captions();
    QPointer<QWidget> setup = s.openSetup();
    QVERIFY(setup);
    Retype(Child<QLineEdit>(setup, "PixSize"), text);
    Retype(Child<QLineEdit>(setup, "TotalTime"), "30");
    Click(setup, "Fork");
    Click(setup, "Apply");
    DeleteLaterNow();

    QCOMPARE(s.dialogs.errors, QStringList{kPixelSize});
    QCOMPARE(s.dialogs.errorParents, QList<QWidget*>{setup.data()});
    QVERIFY(setup && setup->isVisible());
    QCOMPARE(Child<QLineEdit>(setup, "PixSize")->text(), text);
    // Everything was stored before the check, and stays stored.
    QCOMPARE(s.params.PixSize, stored);
    QCOMPARE(s.params.TotalTime, 30.f);
    QCOMPARE(int(s.params.MountType), -1);
    QCOMPARE(s.captions(), captions);

    Click(setup, "Cancel");
    DeleteLaterNow();
    QVERIFY(!setup);
    QCOMPARE(s.params.PixSize, stored);

    // The main window reports it again at its next validation.
    QTest::keyClicks(Child<QLineEdit>(s.form(), "Motion"), "5");
    QCOMPARE(s.dialogs.errors, (QStringList{kPixelSize, kPixelSize}));
}

void TestSetupForm::applyOverflow_data() {
    QTest::addColumn<QString>("pixSize");
    QTest::addColumn<QString>("totalTime");

    QTest::newRow("pixel size") << "1e39"
                                << "5";
    QTest::newRow("total time") << "2"
                                << "-1e40";
}

void TestSetupForm::applyOverflow() {
    QFETCH(QString, pixSize);
    QFETCH(QString, totalTime);

    Session s;
    QPointer<QWidget> setup = s.openSetup();
    QVERIFY(setup);
    Retype(Child<QLineEdit>(setup, "PixSize"), pixSize);
    Retype(Child<QLineEdit>(setup, "TotalTime"), totalTime);
    Click(setup, "Fork");
    QTest::mouseClick(Child<QCheckBox>(setup, "RaRevWest"), Qt::LeftButton);
    Click(setup, "Apply");
    DeleteLaterNow();

    QCOMPARE(s.dialogs.errors, QStringList{"Overflow"});
    QVERIFY(setup && setup->isVisible());
    QCOMPARE(s.params.PixSize, 1.f);
    QCOMPARE(s.params.TotalTime, 60.f);
    QCOMPARE(int(s.params.MountType), 0);
    QCOMPARE(int(s.params.RaRevWest), 0);
    QVERIFY(!Child<QGroupBox>(s.form(), "Telescope")->isHidden());

    // The dialog goes on working.
    Retype(Child<QLineEdit>(setup, "PixSize"), "2");
    Retype(Child<QLineEdit>(setup, "TotalTime"), "5");
    Click(setup, "Apply");
    DeleteLaterNow();
    QVERIFY(!setup);
    QCOMPARE(s.params.PixSize, 2.f);
    QCOMPARE(int(s.params.MountType), -1);
}

void TestSetupForm::reversalFlags_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QByteArray>("entry");  // the stored flag, 2
    QTest::addColumn<int>("clicks");
    QTest::addColumn<int>("flag");  // stored by Apply

    const struct {
        const char* box;
        const char* entry;
    } boxes[] = {{"RaRevWest", "RA Direction West=2"},
                 {"DecRevWest", "Dec Direction West=2"},
                 {"RARevEast", "RA Direction East=2"},
                 {"DecRevEast", "Dec Direction East=2"}};
    for (const auto& b : boxes) {
        QTest::addRow("%s untouched", b.box) << b.box << QByteArray(b.entry) << 0 << 2;
        QTest::addRow("%s clicked", b.box) << b.box << QByteArray(b.entry) << 1 << 1;
    }
    QTest::newRow("RaRevWest clicked twice") << "RaRevWest" << QByteArray(boxes[0].entry) << 2 << 0;
    QTest::newRow("RaRevWest clicked 3 times")
        << "RaRevWest" << QByteArray(boxes[0].entry) << 3 << 1;

    QTest::newRow("unset flag clicked") << "DecRevEast" << QByteArray() << 1 << 1;
}

void TestSetupForm::reversalFlags() {
    QFETCH(QString, box);
    QFETCH(QByteArray, entry);
    QFETCH(int, clicks);
    QFETCH(int, flag);

    Session s("[Mount]\r\n" + entry + "\r\n");
    QPointer<QWidget> setup = s.openSetup();
    QVERIFY(setup);
    auto* check = Child<QCheckBox>(setup, box);
    QCOMPARE(check->checkState(), entry.isEmpty() ? Qt::Unchecked : Qt::PartiallyChecked);
    for (int i = 1; i <= clicks; ++i) {
        QTest::mouseClick(check, Qt::LeftButton);
        // A click never brings back the grayed state.
        QCOMPARE(check->checkState(), i % 2 ? Qt::Checked : Qt::Unchecked);
    }
    Click(setup, "Apply");
    DeleteLaterNow();

    QVERIFY(!setup);
    const std::int16_t stored[] = {s.params.RaRevWest, s.params.DecRevWest, s.params.RARevEast,
                                   s.params.DecRevEast};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(int(stored[i]), box == kFlagBoxes[i] ? flag : 0);
    }
}

void TestSetupForm::openAgainBringsForward() {
    Session s;
    QPointer<QWidget> setup = s.openSetup();
    QVERIFY(setup);
    Retype(Child<QLineEdit>(setup, "PixSize"), "3");
    Retype(Child<QLineEdit>(setup, "TotalTime"), "45");
    Click(setup, "Fork");
    QTest::mouseClick(Child<QCheckBox>(setup, "DecRevWest"), Qt::LeftButton);

    s.form()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(s.form()));
    QTest::mouseClick(Child<QPushButton>(s.form(), "Setup"), Qt::LeftButton);
    QVERIFY(QTest::qWaitForWindowActive(setup));

    QCOMPARE(VisibleSetupForm(), setup.data());
    int dialogs = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) dialogs += w->objectName() == "SetupForm";
    QCOMPARE(dialogs, 1);
    QCOMPARE(Child<QLineEdit>(setup, "PixSize")->text(), QString("3"));
    QCOMPARE(Child<QLineEdit>(setup, "TotalTime")->text(), QString("45"));
    QVERIFY(Child<QRadioButton>(setup, "Fork")->isChecked());
    QCOMPARE(FlagStates(setup), (QList<int>{0, Qt::Checked, 0, 0}));
    QCOMPARE(s.params.PixSize, 1.f);
    QCOMPARE(int(s.params.MountType), 0);
}

void TestSetupForm::keys() {
    Session s;
    QPointer<QWidget> setup = s.openSetup();
    QVERIFY(setup);
    QVERIFY(QTest::qWaitForWindowActive(setup));
    auto* apply = Child<QPushButton>(setup, "Apply");
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(apply));

    auto* pixSize = Child<QLineEdit>(setup, "PixSize");
    Retype(pixSize, "7");
    // Neither Enter in a text box nor Escape presses a button.
    QTest::keyClick(pixSize, Qt::Key_Return);
    QTest::keyClick(pixSize, Qt::Key_Escape);
    QTest::keyClick(setup, Qt::Key_Escape);
    DeleteLaterNow();
    QVERIFY(setup && setup->isVisible());
    QCOMPARE(pixSize->text(), QString("7"));
    QCOMPARE(s.params.PixSize, 1.f);

    apply->setFocus();
    QTest::keyClick(apply, Qt::Key_Escape);
    DeleteLaterNow();
    QVERIFY(setup && setup->isVisible());

    // Enter presses the button that has the focus.
    QTest::keyClick(apply, Qt::Key_Return);
    DeleteLaterNow();
    QVERIFY(!setup);
    QCOMPARE(s.params.PixSize, 7.f);
}

void TestSetupForm::tabOrder_data() {
    QTest::addColumn<bool>("fork");
    QTest::addColumn<QStringList>("stops");  // after each Tab, from Apply

    QTest::newRow("GEM") << false << QStringList{"Cancel",    "PixSize",    "TotalTime",
                                                 "GEM",       "RaRevWest",  "DecRevWest",
                                                 "RARevEast", "DecRevEast", "Apply"};
    QTest::newRow("fork: East frame skipped")
        << true << QStringList{"Cancel",    "PixSize",    "TotalTime", "Fork",
                               "RaRevWest", "DecRevWest", "Apply"};
}

void TestSetupForm::tabOrder() {
    QFETCH(bool, fork);
    QFETCH(QStringList, stops);

    Session s(fork ? Lines({"[Mount]", "Mount=True"}) : QByteArray());
    QWidget* setup = s.openSetup();
    QVERIFY(setup);
    QVERIFY(QTest::qWaitForWindowActive(setup));
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("Apply"));
    QCOMPARE(TabStops(stops.size()), stops);
}

void TestSetupForm::accessibleNames_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");  // for a text box also its label's tool tip

    QTest::newRow("PixSize") << "PixSize"
                             << "Pixel Size (arcsec)"
                             << "The size of one guide-camera pixel on the sky, in arcseconds";
    QTest::newRow("TotalTime") << "TotalTime"
                               << "Total Time (minutes)"
                               << "How long to track, in minutes; the track file has one line per "
                                  "guide interval over this time";
    QTest::newRow("Fork") << "Fork"
                          << "Fork" << QString();
    QTest::newRow("GEM") << "GEM"
                         << "GEM" << QString();
    // The captions repeat in both frames; the names tell the sides apart.
    QTest::newRow("RaRevWest") << "RaRevWest"
                               << "RA Motion Reversed, West" << QString();
    QTest::newRow("DecRevWest") << "DecRevWest"
                                << "Dec Motion Reversed, West" << QString();
    QTest::newRow("RARevEast") << "RARevEast"
                               << "RA Motion Reversed, East" << QString();
    QTest::newRow("DecRevEast") << "DecRevEast"
                                << "Dec Motion Reversed, East" << QString();
    QTest::newRow("Apply") << "Apply"
                           << "Apply" << QString();
    QTest::newRow("Cancel") << "Cancel"
                            << "Cancel" << QString();
}

void TestSetupForm::accessibleNames() {
    QFETCH(QString, control);
    QFETCH(QString, name);
    QFETCH(QString, description);

    Session s;
    QWidget* setup = s.openSetup();
    QVERIFY(setup);
    auto* w = Child<QWidget>(setup, control);
    QVERIFY(w);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), name);
    QCOMPARE(iface->text(QAccessible::Description), description);
    if (auto* box = qobject_cast<QLineEdit*>(w)) {
        QVERIFY(AnnouncedByBuddy(setup, box, name));
        for (QLabel* label : setup->findChildren<QLabel*>())
            if (label->buddy() == box) QCOMPARE(label->toolTip(), description);
    }
}

void TestSetupForm::windowKind() {
    Session s;
    QWidget* setup = s.openSetup();
    QVERIFY(setup);
    QVERIFY(!setup->parentWidget());
    QVERIFY(setup->isWindow());
    QVERIFY(!setup->isModal());
    const Qt::WindowFlags flags = setup->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowMaximizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(setup->minimumSize() != setup->maximumSize());
    // Screen readers announce a dialog, not a filler.
    QCOMPARE(QAccessible::queryAccessibleInterface(setup)->role(), QAccessible::Dialog);

    // Resizing moves nothing.
    auto* apply = Child<QPushButton>(setup, "Apply");
    const QRect before = apply->geometry();
    setup->resize(setup->size() * 2);
    QCOMPARE(apply->geometry(), before);

    // The main window stays usable beside it.
    QTest::keyClicks(Child<QLineEdit>(s.form(), "Motion"), "2");
    QCOMPARE(s.params.Motion, 12.f);
}

QTEST_MAIN(TestSetupForm)
#include "tst_setupform.moc"
