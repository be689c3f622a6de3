// The About box opened from the main window's Help menu on the offscreen platform. The box
// runs its own modal loop, so each check acts on it from a timer while that loop runs; its
// look under a dark palette is checked on a box shown without that loop.
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>

#include "core/TrackParams.h"
#include "tests/support/RecordingDialogs.h"
#include "tests/support/WindowHelpers.h"
#include "ui/MainForm.h"
#include "ui/frmAbout.h"

using namespace Pelindra::Core;
using namespace Pelindra::TrackFile;
using namespace Pelindra::Settings;

namespace {

// A click on Setup delivered as the window system delivers it, so a modal box can block it.
bool ClickSetupOpens(MainForm* form) {
    auto* setup = form->findChild<QPushButton*>("Setup");
    QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {},
                      setup->mapTo(form, setup->rect().center()));
    return VisibleSetupForm() != nullptr;
}

// What was seen of the box while it was open.
struct Seen {
    QPointer<QWidget> box;
    QString title;
    QString className;
    QStringList texts;  // lblTitle, lblDescription
    QSize picture;
    bool okFocused = false;
    bool okDefault = false;
    Qt::WindowModality modality = Qt::NonModal;
    bool hasParent = true;
    bool dialog = false;
    bool fixedSize = false;
    bool mainWindowBlocked = false;
};

// Triggers "&About Pelindra" and, once the box runs, records it and closes it with `close`.
// Returns after the About command has returned.
Seen OpenAbout(MainForm* form, const std::function<void(QWidget* box)>& close) {
    Seen seen;
    // Should the box not close, end its loop so the run fails instead of hanging.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget* w = QApplication::activeModalWidget()) w->close();
    });
    guard.start(10000);

    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box) return;
        seen.box = box;
        if (!QTest::qWaitForWindowActive(box)) qWarning("About box not active");
        seen.title = box->windowTitle();
        seen.className = box->metaObject()->className();
        auto* ok = box->findChild<QPushButton*>("cmdOK");
        seen.texts = QStringList{box->findChild<QLabel*>("lblTitle")->text(),
                                 box->findChild<QLabel*>("lblDescription")->text()};
        seen.picture = box->findChild<QLabel*>("Image1")->pixmap().size();
        seen.okFocused = ok && ok->hasFocus();
        seen.okDefault = ok && ok->isDefault();
        seen.modality = box->windowModality();
        seen.hasParent = box->parentWidget() != nullptr;
        seen.dialog = box->windowType() == Qt::Dialog;
        seen.fixedSize = box->minimumSize() == box->maximumSize();
        seen.mainWindowBlocked = !ClickSetupOpens(form);
        close(box);
    });
    form->findChild<QAction*>("mnu_About")->trigger();
    return seen;
}

}  // namespace

class TestAbout : public QObject {
    Q_OBJECT

  private slots:
    void openAndClose_data();
    void openAndClose();
    void textsStandOut_data();
    void textsStandOut();
};

void TestAbout::openAndClose_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Enter") << "Enter";
    QTest::newRow("Esc") << "Esc";
    QTest::newRow("OK clicked") << "OK";
    QTest::newRow("close box") << "close";
}

void TestAbout::openAndClose() {
    QFETCH(QString, how);

    QTemporaryDir dir;
    TrackParams params;
    RecordingDialogs dialogs;
    MainForm form(params, dialogs, dir.filePath("Pelindra.ini").toStdString());
    form.Form_Load();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    auto close = [&](QWidget* box) {
        // Keys go to the box's window and from there to its focused control.
        if (how == "Enter")
            QTest::keyClick(box->windowHandle(), Qt::Key_Return);
        else if (how == "Esc")
            QTest::keyClick(box->windowHandle(), Qt::Key_Escape);
        else if (how == "OK")
            QTest::mouseClick(box->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
        else
            box->close();
    };

    // A second opening creates a new box that shows the same.
    for (int opening = 1; opening <= 2; ++opening) {
        const Seen seen = OpenAbout(&form, close);
        QVERIFY2(!seen.title.isEmpty(), "no modal About box was open");
        QCOMPARE(seen.title, QString("About Pelindra"));
        QCOMPARE(seen.className, QString("frmAbout"));
        QCOMPARE(seen.texts, (QStringList{"Pelindra 1.0",
                                          "A utility to prepare  offset tracking files for "
                                          "camera-control software."}));
        // Empty when the linker dropped the embedded images.
        QCOMPARE(seen.picture, QSize(190, 137));
        QVERIFY(seen.okFocused);
        QVERIFY(seen.okDefault);
        QCOMPARE(seen.modality, Qt::ApplicationModal);
        QVERIFY(!seen.hasParent);
        QVERIFY(seen.dialog);
        QVERIFY(seen.fixedSize);
        QVERIFY(seen.mainWindowBlocked);

        DeleteLaterNow();
        QVERIFY(!seen.box);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }
    // The main window takes input again.
    const bool opened = ClickSetupOpens(&form);
    delete VisibleSetupForm();
    QVERIFY(opened);
    QCOMPARE(dialogs.errors, QStringList{});
}

void TestAbout::textsStandOut_data() {
    QTest::addColumn<QColor>("window");
    QTest::addColumn<QColor>("text");

    QTest::newRow("dark grey theme") << QColor(53, 53, 53) << QColor(Qt::white);
    QTest::newRow("black theme") << QColor(Qt::black) << QColor(220, 220, 220);
}

// Every text of the box, as drawn, stands out from the box's background by at least half the
// range from black to white.
void TestAbout::textsStandOut() {
    QFETCH(QColor, window);
    QFETCH(QColor, text);

    const QPalette saved = QApplication::palette();
    QPalette theme = saved;
    for (auto role : {QPalette::Window, QPalette::Button, QPalette::Base})
        theme.setColor(role, window);
    for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        theme.setColor(role, text);
    QApplication::setPalette(theme);
    struct Restore {
        QPalette palette;
        ~Restore() { QApplication::setPalette(palette); }
    } restore{saved};

    auto box = std::make_unique<frmAbout>();
    box->Form_Load();
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    for (const char* name : {"lblTitle", "lblDescription", "lblDisclaimer", "Address"}) {
        const QImage drawn = box->findChild<QLabel*>(name)->grab().toImage();
        int contrast = 0;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x)
                contrast =
                    std::max(contrast, std::abs(qGray(drawn.pixel(x, y)) - qGray(window.rgb())));
        QVERIFY2(contrast >= 128, qPrintable(QString("%1: %2").arg(name).arg(contrast)));
    }
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
