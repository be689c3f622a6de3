// The windows added to the program, as a Linux desktop shows a dialog: at any font size
// nothing is cut short or sticks out of the window, every caption and button has an access
// letter of its own, Tab runs from top to bottom, and Escape closes. CTest runs it once as
// it is and once with QT_SCALE_FACTOR=2.
#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPointer>
#include <QtTest>

#include "tests/support/ProgramRun.h"
#include "ui/CalibrateDialog.h"
#include "ui/EphemerisForm.h"
#include "ui/HorizonsFetchDialog.h"

namespace {

// A dim frame brightening to one corner: enough for the dialog to draw, nothing to solve.
Pelindra::Solve::Frame PlainFrame() {
    Pelindra::Solve::Frame frame;
    frame.width = 64;
    frame.height = 48;
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x) frame.pixels.push_back(float(100 + x + y));
    return frame;
}

QWidget* VisibleWindow(const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible()) return w;
    return nullptr;
}

// Opens the window as the user does, from the main window's menu. The Horizons query comes
// through the boxes the tests replace, and calibrating would start the solver on a real
// frame, so those two are made here, over the main window as the program makes them.
QWidget* Open(ProgramRun& run, const QString& name, const QString& menu) {
    MainForm* form = run.form();
    QWidget* window = nullptr;
    if (name == "HorizonsFetchDialog") {
        window = new HorizonsFetchDialog(form, run.path(""));
    } else if (name == "CalibrateDialog") {
        window = new CalibrateDialog(run.params, PlainFrame(), "frame.fits",
                                     Pelindra::Solve::PierSide::East, {}, form);
    } else if (name == "EphemerisForm") {
        // Two rows of an hour's table, now inside it.
        Pelindra::Ephemeris::Table table;
        table.target = "12P/Pons-Brooks";
        table.site = "Sierra Stars Observatory, Markleeville";
        table.step = "60 minutes";
        table.rows = {{1710036000000, 0.6, 0.8, 26.55, 30.21},
                      {1710039600000, 1.8, 2.4, 26.56, 30.22}};
        auto* ephemeris = new EphemerisForm([] { return Pelindra::Ephemeris::UtcMs(1710037800000); },
                                            form);
        ephemeris->showTable(std::move(table), "pasted text", std::nullopt);
        window = ephemeris;
    } else {
        auto* action = form->findChild<QAction*>(menu);
        if (!action) return nullptr;
        action->trigger();
    }
    if (window) window->show();
    window = VisibleWindow(name);
    if (window && !QTest::qWaitForWindowExposed(window))
        qWarning("%s not exposed", qPrintable(name));
    return window;
}

// Whether `w` is part of a composite control (a spin box's or an editable combo box's own
// line edit), which its control lays out and stands for.
bool InsideControl(QWidget* w, QWidget* window) {
    for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
        if (qobject_cast<QAbstractSpinBox*>(p) || qobject_cast<QComboBox*>(p)) return true;
    return false;
}

// The controls of `window` the user sees.
QList<QWidget*> Shown(QWidget* window) {
    QList<QWidget*> shown;
    for (QWidget* w : window->findChildren<QWidget*>())
        if (w->window() == window && w->isVisibleTo(window) && !InsideControl(w, window))
            shown << w;
    return shown;
}

QString Describe(QWidget* w) {
    QString text;
    if (auto* label = qobject_cast<QLabel*>(w)) text = label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) text = button->text();
    return QString("%1 \"%2\" (%3)").arg(w->metaObject()->className(), text, w->objectName());
}

// A caption names something; a label the user can select shows a value or a message.
bool IsCaption(QLabel* label) {
    return !label->text().isEmpty() && !(label->textInteractionFlags() & Qt::TextSelectableByMouse);
}

// The access letters of a caption: the characters after a single '&' ("&&" is an '&').
QString AccessLetters(const QString& text) {
    QString letters;
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] != '&') letters += text[i + 1].toLower();
        ++i;
    }
    return letters;
}

// Where a control sits in its window.
QRect InWindow(QWidget* w, QWidget* window) {
    return QRect(w->mapTo(window, QPoint(0, 0)), w->size());
}

// Reading a window: a control comes before another on a lower row, or on the same row
// (each one's middle within the other's height) further right.
bool ReadBefore(const QRect& a, const QRect& b) {
    const bool sameRow = (a.top() <= b.center().y() && b.center().y() <= a.bottom()) ||
                         (b.top() <= a.center().y() && a.center().y() <= b.bottom());
    return sameRow ? a.left() < b.left() : a.center().y() < b.center().y();
}

// The controls Tab stops at, in the order of the focus chain, whether enabled now or not.
QList<QWidget*> FocusChain(QWidget* window) {
    QList<QWidget*> stops;
    int guard = 0;
    for (QWidget* w = window->nextInFocusChain(); w && w != window && ++guard < 1000;
         w = w->nextInFocusChain()) {
        if (w->window() != window || !w->isVisibleTo(window) || InsideControl(w, window)) continue;
        if (!(w->focusPolicy() & Qt::TabFocus) || w->focusProxy()) continue;
        stops << w;
    }
    return stops;
}

}  // namespace

class TestDialogLayout : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanup();
    void fits_data();
    void fits();
    void accessLetters_data();
    void accessLetters();
    void tabOrder_data();
    void tabOrder();
    void escapeCloses_data();
    void escapeCloses();

  private:
    void table();
    // The main window and the window named in the row, at the row's font size.
    QWidget* openRow();

    QFont startFont_;
    std::unique_ptr<ProgramRun> run_;
};

void TestDialogLayout::initTestCase() {
    startFont_ = QApplication::font();
}

void TestDialogLayout::cleanup() {
    run_.reset();
    QApplication::setFont(startFont_);
}

void TestDialogLayout::table() {
    QTest::addColumn<QString>("window");  // its object name
    QTest::addColumn<QString>("menu");    // the action that opens it, when one does here
    QTest::addColumn<int>("points");

    const QList<std::pair<QString, QString>> windows = {
        {"ConnectionsForm", "mnu_Connections"},
        {"CameraForm", "mnu_Camera"},
        {"HorizonsFetchDialog", ""},
        {"CalibrateDialog", ""},
        {"TrackPreview", "mnu_TrackPreview"},
        {"EphemerisForm", ""},
        {"MessagesDialog", "mnu_Messages"},
    };
    for (const auto& [window, menu] : windows)
        for (int points : {9, 11, 13, 16})
            QTest::addRow("%s, %d pt", qPrintable(window), points) << window << menu << points;
}

QWidget* TestDialogLayout::openRow() {
    QFETCH(QString, window);
    QFETCH(QString, menu);
    QFETCH(int, points);
    QFont font = startFont_;
    font.setPointSize(points);
    QApplication::setFont(font);
    run_ = std::make_unique<ProgramRun>();
    run_->start();
    return Open(*run_, window, menu);
}

void TestDialogLayout::fits_data() {
    table();
}

// Each caption has the room it asks for, each box at least the least it asks for, and all
// of them lie within their group and the window.
void TestDialogLayout::fits() {
    QWidget* window = openRow();
    QVERIFY(window);

    int checked = 0;
    for (QWidget* w : Shown(window)) {
        QSize needed;
        auto* label = qobject_cast<QLabel*>(w);
        if (label && label->wordWrap()) {
            needed = QSize(0, label->heightForWidth(label->width()));
        } else if (label || qobject_cast<QAbstractButton*>(w)) {
            needed = w->sizeHint();
        } else if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
                   qobject_cast<QAbstractSpinBox*>(w)) {
            needed = w->minimumSizeHint();
        } else {
            continue;
        }
        ++checked;
        QVERIFY2(w->width() >= needed.width() && w->height() >= needed.height(),
                 qPrintable(QString("%1 is %2x%3, needs %4x%5")
                                .arg(Describe(w))
                                .arg(w->width())
                                .arg(w->height())
                                .arg(needed.width())
                                .arg(needed.height())));
        QVERIFY2(window->rect().contains(InWindow(w, window)),
                 qPrintable(Describe(w) + " reaches out of the window"));
        QVERIFY2(w->parentWidget()->rect().contains(w->geometry()),
                 qPrintable(Describe(w) + " reaches out of its group"));
    }
    QVERIFY(checked >= 2);
    // The window follows its layout, never squeezed below what the layout needs.
    QVERIFY2(window->layout(), "placed without a layout");
    const QSize least = window->layout()->totalMinimumSize();
    QVERIFY2(window->width() >= least.width() && window->height() >= least.height(),
             qPrintable(QString("%1x%2 for a layout of at least %3x%4")
                            .arg(window->width())
                            .arg(window->height())
                            .arg(least.width())
                            .arg(least.height())));
}

void TestDialogLayout::accessLetters_data() {
    table();
}

// Alt and one letter reach every caption's control and press every button, each letter
// once in the window.
void TestDialogLayout::accessLetters() {
    QWidget* window = openRow();
    QVERIFY(window);
    QMap<QChar, QString> used;
    for (QWidget* w : Shown(window)) {
        QString text;
        auto* label = qobject_cast<QLabel*>(w);
        if (label && IsCaption(label))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            text = button->text();
        if (text.isEmpty()) continue;
        const QString letters = AccessLetters(text);
        QVERIFY2(letters.size() == 1, qPrintable(Describe(w) + " has no single access letter"));
        QVERIFY2(!used.contains(letters[0]),
                 qPrintable(Describe(w) + " shares its letter with " + used.value(letters[0])));
        used.insert(letters[0], Describe(w));
        if (label) {
            QVERIFY2(label->buddy(), qPrintable(Describe(w) + " leads nowhere"));
            QVERIFY2(label->buddy()->focusPolicy() != Qt::NoFocus,
                     qPrintable(Describe(w) + " leads to a control that takes no focus"));
        }
    }
    QVERIFY(used.size() >= 2);
}

void TestDialogLayout::tabOrder_data() {
    table();
}

// Tab visits the controls as the window reads: row after row, left to right in a row.
void TestDialogLayout::tabOrder() {
    QWidget* window = openRow();
    QVERIFY(window);
    QList<QWidget*> chain = FocusChain(window);
    QVERIFY(chain.size() >= 2);
    // The chain is a ring: it is read from the control nearest the top left.
    qsizetype first = 0;
    for (qsizetype i = 1; i < chain.size(); ++i)
        if (ReadBefore(InWindow(chain[i], window), InWindow(chain[first], window))) first = i;
    std::rotate(chain.begin(), chain.begin() + first, chain.end());
    for (qsizetype i = 1; i < chain.size(); ++i) {
        QVERIFY2(
            ReadBefore(InWindow(chain[i - 1], window), InWindow(chain[i], window)),
            qPrintable(
                QString("Tab goes from %1 to %2").arg(Describe(chain[i - 1]), Describe(chain[i]))));
    }
}

void TestDialogLayout::escapeCloses_data() {
    table();
}

void TestDialogLayout::escapeCloses() {
    QPointer<QWidget> window = openRow();
    QVERIFY(window);
    QWidget* focused = QApplication::focusWidget();
    QTest::keyClick(focused && focused->window() == window ? focused : window.data(),
                    Qt::Key_Escape);
    DeleteLaterNow();
    QVERIFY(!window || !window->isVisible());
    QVERIFY(run_->form()->isVisible());
}

QTEST_MAIN(TestDialogLayout)
#include "tst_dialoglayout.moc"
