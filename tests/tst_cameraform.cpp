// The camera dialog driven through its real widgets on the offscreen platform, opened from
// the main window's menu as the user opens it; what it stores is seen in the main window's
// captions and in the settings file the main window writes when it closes.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QtTest>

#include "tests/support/ProgramRun.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WindowHelpers.h"
#include "ui/MainForm.h"

using namespace Pelindra::Core;
using namespace Pelindra::Settings;

namespace {

const QString kWidthRule = "the sensor width must be a whole number from 0 to 32767";
const QString kWidthMessage = "The sensor width must be a whole number from 0 to 32767.";
const QString kHeightMessage = "The sensor height must be a whole number from 0 to 32767.";
const QString kPairMessage = "Give both the sensor width and height, or leave both empty.";

// 12 arcsec/min at 35 degrees, 15 s, 1.8 arcsec pixels, East: -0.96 and -1.37 unturned.
const QByteArray kExample =
    Lines({"[Object]", "Motion=12", "Position Angle=35", "[Pixel Size]", "PixelSize=1.8", "[Time]",
           "Time Interval=15", "[Mount]", "EastWest=False"});
const QStringList kUnturned = {"-0.96", "-1.37"};

const char* const kBoxes[] = {"CameraAngle", "SensorWidth", "SensorHeight"};

QWidget* VisibleCameraForm() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "CameraForm" && w->isVisible()) return w;
    return nullptr;
}

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

QStringList Texts(QWidget* camera) {
    QStringList texts;
    for (const char* name : kBoxes) texts << Child<QLineEdit>(camera, name)->text();
    return texts;
}

void TypeAll(QWidget* camera, const QStringList& texts) {
    for (int i = 0; i < 3; ++i) Retype(Child<QLineEdit>(camera, kBoxes[i]), texts[i]);
}

class Session : public ProgramRun {
  public:
    explicit Session(const QByteArray& settings = kExample) {
        if (!settings.isEmpty()) writeSettings(settings);
        start();
    }

    QWidget* openCamera() {
        Child<QAction>(form(), "mnu_Camera")->trigger();
        QWidget* camera = VisibleCameraForm();
        if (camera && !QTest::qWaitForWindowExposed(camera)) qWarning("camera not exposed");
        return camera;
    }

    QStringList captions() const {
        return {Child<QLabel>(form(), "DeltaX")->text(), Child<QLabel>(form(), "DeltaY")->text()};
    }
    QList<int> sensor() const {
        const auto preferences = form()->PreferencesToSave();
        return {preferences->sensorWidthPixels, preferences->sensorHeightPixels};
    }

    // Closes the main window, which writes the settings file; its [Camera] section, if any.
    QByteArray cameraSectionAtClose() {
        form()->close();
        DeleteLaterNow();
        const QByteArray file = ReadAll(iniPath());
        const qsizetype at = file.indexOf("[Camera]");
        return at < 0 ? QByteArray() : file.mid(at);
    }
};

}  // namespace

class TestCameraForm : public QObject {
    Q_OBJECT

  private slots:
    void opens_data();
    void opens();
    void apply_data();
    void apply();
    void refused_data();
    void refused();
    void discarded_data();
    void discarded();
    void layoutFollowsFont_data();
    void layoutFollowsFont();
};

void TestCameraForm::opens_data() {
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("fresh start") << QByteArray() << QStringList{" 0", "", ""};
    QTest::newRow("stored values")
        << kExample + Lines({"[Camera]", "Angle=-12.50", "Sensor Width=1280", "Sensor Height=960"})
        << QStringList{"-12.5", " 1280", " 960"};
}

void TestCameraForm::opens() {
    QFETCH(QByteArray, settings);
    QFETCH(QStringList, texts);

    Session s(settings);
    // The added menus sit between Setup and Help, which stays last.
    QStringList menus;
    for (QAction* menu : s.form()->menuBar()->actions()) menus << menu->text();
    QCOMPARE(menus.mid(0, 2), (QStringList{"&File", "&Setup"}));
    QCOMPARE(menus.last(), QString("&Help"));
    QVERIFY2(menus.indexOf("&Guide") >= 2, qPrintable(menus.join(' ')));

    QWidget* camera = s.openCamera();
    QVERIFY(camera);
    QCOMPARE(camera->windowTitle(), QString("Camera"));
    QVERIFY(!camera->isModal());
    QCOMPARE(Texts(camera), texts);
    QCOMPARE(s.dialogs.errors, QStringList{});
}

void TestCameraForm::apply_data() {
    QTest::addColumn<QStringList>("typed");  // angle, width, height
    QTest::addColumn<bool>("enter");         // else a click on Apply
    QTest::addColumn<float>("angle");
    QTest::addColumn<QList<int>>("sensor");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QByteArray>("section");  // [Camera] in the settings file at closing

    const QList<int> none = {0, 0};
    QTest::newRow("half turn, as both flags")
        << QStringList{"180", "", ""} << false << 180.f << none << QStringList{"+0.96", "+1.37"}
        << Lines({"[Camera]", "Angle=180"});
    QTest::newRow("quarter turn, unit after the number, Enter")
        << QStringList{"90 degrees", "", ""} << true << 90.f << none
        << QStringList{"+1.37", "-0.96"} << Lines({"[Camera]", "Angle=90"});
    QTest::newRow("decimal comma")
        << QStringList{"-12,5", "", ""} << false << -12.5f << none << QStringList{"-1.23", "-1.13"}
        << Lines({"[Camera]", "Angle=-12.5"});
    QTest::newRow("sensor size only")
        << QStringList{" 0", "1280", "960"} << false << 0.f << QList<int>{1280, 960} << kUnturned
        << Lines({"[Camera]", "Sensor Width=1280", "Sensor Height=960"});
    QTest::newRow("largest sensor")
        << QStringList{"", "32767", "1,0"} << true << 0.f << QList<int>{32767, 1} << kUnturned
        << Lines({"[Camera]", "Sensor Width=32767", "Sensor Height=1"});
}

void TestCameraForm::apply() {
    QFETCH(QStringList, typed);
    QFETCH(bool, enter);
    QFETCH(float, angle);
    QFETCH(QList<int>, sensor);
    QFETCH(QStringList, captions);
    QFETCH(QByteArray, section);

    Session s;
    QCOMPARE(s.captions(), kUnturned);
    QPointer<QWidget> camera = s.openCamera();
    QVERIFY(camera);
    TypeAll(camera, typed);
    QCOMPARE(s.params.CameraAngle, 0.f);  // nothing stored before Apply
    if (enter)
        QTest::keyClick(Child<QLineEdit>(camera, "SensorHeight"), Qt::Key_Return);
    else
        QTest::mouseClick(Child<QPushButton>(camera, "Apply"), Qt::LeftButton);
    DeleteLaterNow();

    QVERIFY(!camera);
    QCOMPARE(s.dialogs.errors, QStringList{});
    QCOMPARE(s.params.CameraAngle, angle);
    QCOMPARE(s.sensor(), sensor);
    QCOMPARE(s.captions(), captions);
    QCOMPARE(s.cameraSectionAtClose(), section);
}

void TestCameraForm::refused_data() {
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QString>("message");

    QTest::newRow("angle beyond single") << QStringList{"1e39", "1280", "960"} << "Overflow";
    QTest::newRow("width with a fraction") << QStringList{"180", "1280.5", "960"} << kWidthMessage;
    QTest::newRow("width negative") << QStringList{"180", "-1", "960"} << kWidthMessage;
    QTest::newRow("height too large") << QStringList{"180", "1280", "32768"} << kHeightMessage;
    QTest::newRow("width without height") << QStringList{"180", "1280", ""} << kPairMessage;
    QTest::newRow("height without width") << QStringList{"180", " ", "960"} << kPairMessage;
    // Words are not taken for an empty box: the message names them.
    QTest::newRow("width not a number")
        << QStringList{"180", "abc", "960"} << "\"abc\" is not a number: " + kWidthRule + ".";
    QTest::newRow("height not a number")
        << QStringList{"180", "1280", " wide "}
        << QString(
               "\"wide\" is not a number: the sensor height must be a whole number from 0 "
               "to 32767.");
    QTest::newRow("width beyond the file's whole numbers")
        << QStringList{"180", "40000 px", "960"} << kWidthMessage;
}

// A refused entry stores nothing at all, also not the entries that were fine.
void TestCameraForm::refused() {
    QFETCH(QStringList, typed);
    QFETCH(QString, message);

    Session s;
    QPointer<QWidget> camera = s.openCamera();
    QVERIFY(camera);
    TypeAll(camera, typed);
    QTest::mouseClick(Child<QPushButton>(camera, "Apply"), Qt::LeftButton);
    DeleteLaterNow();

    QCOMPARE(s.dialogs.errors, QStringList{message});
    QCOMPARE(s.dialogs.errorParents, QList<QWidget*>{camera.data()});
    QVERIFY(camera && camera->isVisible());
    QCOMPARE(Texts(camera), typed);
    QCOMPARE(s.params.CameraAngle, 0.f);
    QCOMPARE(s.sensor(), (QList<int>{0, 0}));
    QCOMPARE(s.captions(), kUnturned);
    QCOMPARE(s.cameraSectionAtClose(), QByteArray());
}

void TestCameraForm::discarded_data() {
    QTest::addColumn<QString>("how");

    QTest::newRow("Cancel") << "Cancel";
    QTest::newRow("Escape") << "Escape";
    QTest::newRow("close box") << "close box";
    QTest::newRow("main window closed") << "main window";
}

void TestCameraForm::discarded() {
    QFETCH(QString, how);

    Session s;
    QPointer<QWidget> camera = s.openCamera();
    QVERIFY(camera);
    const QStringList typed = {"180", "1280", "960"};
    TypeAll(camera, typed);
    // Opening it again only brings it forward, with the entries not yet applied.
    QCOMPARE(s.openCamera(), camera.data());
    QCOMPARE(Texts(camera), typed);

    if (how == "main window") {
        QCOMPARE(s.cameraSectionAtClose(), QByteArray());
        QVERIFY(!camera);
        return;
    }
    if (how == "Cancel")
        QTest::mouseClick(Child<QPushButton>(camera, "Cancel"), Qt::LeftButton);
    else if (how == "Escape")
        QTest::keyClick(Child<QLineEdit>(camera, "SensorWidth"), Qt::Key_Escape);
    else
        camera->close();
    DeleteLaterNow();

    QVERIFY(!camera);
    QCOMPARE(s.params.CameraAngle, 0.f);
    QCOMPARE(s.sensor(), (QList<int>{0, 0}));
    QCOMPARE(s.captions(), kUnturned);
    camera = s.openCamera();
    QVERIFY(camera);
    QCOMPARE(Texts(camera), (QStringList{" 0", "", ""}));
    QCOMPARE(s.cameraSectionAtClose(), QByteArray());
    QCOMPARE(s.dialogs.errors, QStringList{});
}

void TestCameraForm::layoutFollowsFont_data() {
    QTest::addColumn<double>("points");  // 0: the platform's default font

    QTest::newRow("default font") << 0.0;
    QTest::newRow("16 pt") << 16.0;
}

// No caption is cut and nothing sticks out of the window, whatever the font.
void TestCameraForm::layoutFollowsFont() {
    QFETCH(double, points);

    const QFont saved = QApplication::font();
    if (points > 0) {
        QFont font = saved;
        font.setPointSizeF(points);
        QApplication::setFont(font);
    }
    Session s;
    QWidget* camera = s.openCamera();
    QApplication::setFont(saved);
    QVERIFY(camera);
    for (QWidget* w : camera->findChildren<QWidget*>()) {
        QVERIFY2(camera->rect().contains(w->geometry()), qPrintable(w->objectName()));
        const QFontMetrics metrics = w->fontMetrics();
        QSize needed, room;
        if (auto* label = qobject_cast<QLabel*>(w)) {
            needed = metrics.size(Qt::TextShowMnemonic, label->text());
            room = label->contentsRect().size();
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            needed = metrics.size(Qt::TextShowMnemonic, button->text());
            room =
                button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, w).size();
        } else {
            continue;
        }
        QVERIFY2(needed.width() <= room.width() && needed.height() <= room.height(),
                 qPrintable(w->objectName()));
    }
}

QTEST_MAIN(TestCameraForm)
#include "tst_cameraform.moc"
