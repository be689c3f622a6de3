// The preview of the guide point's path: its geometry worked out by hand (end point,
// ticks, hour labels, the sensor's frame, sky north and east), one picture checked pixel
// by pixel, and the window: it follows the main window, exports, and Night Mode.
#include <QApplication>
#include <QDateTimeEdit>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QVBoxLayout>
#include <QSvgRenderer>
#include <QtTest>
#include <cmath>

#include "ephemeris/UtcTime.h"
#include "preview/PathGeometry.h"
#include "preview/PathPicture.h"
#include "tests/support/ExactPath.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/StatusLine.h"
#include "tests/support/TestFiles.h"
#include "ui/ReadableStyle.h"
#include "ui/TrackPreview.h"

using namespace Pelindra::Core;
using namespace Pelindra::Preview;
using Pelindra::Ephemeris::ParseUtcTime;
using Pelindra::Ephemeris::UtcMs;
using Pelindra::TrackFile::Steps;

namespace {

using Points = QList<QPointF>;

Steps Repeated(int count, QPointF step) {
    return Steps(static_cast<std::size_t>(count),
                 PixelOffset{static_cast<float>(step.x()), static_cast<float>(step.y())});
}

Steps FromPoints(const Points& steps) {
    Steps result;
    for (const QPointF& step : steps) {
        result.push_back({static_cast<float>(step.x()), static_cast<float>(step.y())});
    }
    return result;
}

UtcMs At(const char* text) {
    const auto time = ParseUtcTime(text);
    if (!time) qFatal("bad time %s", text);
    return *time;
}

bool Near(QPointF a, QPointF b, double tolerance = 1e-6) {
    return std::abs(a.x() - b.x()) <= tolerance && std::abs(a.y() - b.y()) <= tolerance;
}

QString Shown(QPointF p) {
    return QString("(%1, %2)").arg(p.x(), 0, 'g', 10).arg(p.y(), 0, 'g', 10);
}

QPointF AsPoint(const SensorPoint& p) {
    return {p.x, p.y};
}

// 12 "/min at PA 35, 15 s lines, 1.8 "/px, 1.5 minutes (6 lines), on the West side.
const QByteArray kExample = Lines({"[Object]", "Motion=12", "Position Angle=35", "[Pixel Size]",
                                   "PixelSize=1.8", "[Time]", "Total Time=1.5", "Time Interval=15",
                                   "[Mount]", "EastWest=True", "Ra Direction East=1"});
// Its offset per line, -k sin 35 and -k cos 35 with k = 12 * 15 / 60 / 1.8, and 6 of them.
const QPointF kExampleEnd(6 * -0.9559613, 6 * -1.3652535);

// 2P/Encke, 45 "/hr east and 60 "/hr south at 21:00, 90 east and 30 north at 23:00.
const QByteArray kEphemeris =
    "Target body name: 2P/Encke                        {source: JPL#K232/1}\n"
    "Center-site name: GEOCENTRIC\n"
    " Date__(UT)__HR:MN     R.A._____(ICRF)_____DEC  dRA*cosD d(DEC)/dt\n"
    "$$SOE\n"
    " 2026-Dec-07 21:00     08 21 31.08 +02 30 58.7  45.00000 -60.00000\n"
    " 2026-Dec-07 23:00     08 21 37.08 +02 29 58.7  90.00000  30.00000\n"
    "$$EOE\n";

}  // namespace

class TestPreview : public QObject {
    Q_OBJECT

  private slots:
    void ticks_data();
    void ticks();
    void frame_data();
    void frame();
    void skyDirections_data();
    void skyDirections();
    void pathFor_data();
    void pathFor();
    void followedPath_data();
    void followedPath();
    void endMarkDrawn();

    void windowFollows_data();
    void windowFollows();
    void windowTellsUtc();
    void escapeCloses();
    void outlinesReadable_data();
    void outlinesReadable();
    void lightPaletteUnchanged();
    void picturesRedAtNight();
    void exportPicture_data();
    void exportPicture();
    void nightMode_data();
    void nightMode();
};

// ---- geometry

void TestPreview::ticks_data() {
    QTest::addColumn<Points>("steps");
    QTest::addColumn<double>("intervalSeconds");
    QTest::addColumn<QString>("start");  // UTC; empty: none
    QTest::addColumn<QList<double>>("minutes");
    QTest::addColumn<Points>("at");  // of the ticks listed; the rest are only counted
    QTest::addColumn<QStringList>("labels");

    const Points seven(100, QPointF(1, -2));
    // 10 minutes are 85 5/7 lines of 7 seconds.
    QTest::newRow("between two line ends") << seven << 7.0 << QString() << QList<double>{10}
                                           << Points{{600.0 / 7, -1200.0 / 7}} << QStringList{""};
    // 4-minute lines that speed up: 10 minutes are half way through the third.
    QTest::newRow("changing steps")
        << Points{{0, 1}, {2, 1}, {4, 1}, {6, 1}, {8, 1}} << 240.0 << QString()
        << QList<double>{10, 20} << Points{{4, 2.5}, {20, 5}} << QStringList{"", ""};
    QTest::newRow("elapsed hours")
        << Points(520, QPointF(1, 0)) << 15.0 << QString()
        << QList<double>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130}
        << Points{{40, 0}, {80, 0}, {120, 0}, {160, 0}, {200, 0}, {240, 0}}
        << QStringList{"", "", "", "", "", "60 min", "", "", "", "", "", "120 min", ""};
    // From 21:37 the ticks fall on the clock's tens, the labels on its hours.
    QTest::newRow("UTC on the clock")
        << Points(360, QPointF(0, 1)) << 15.0 << QString("2026-12-07T21:37:00")
        << QList<double>{3, 13, 23, 33, 43, 53, 63, 73, 83} << Points{{0, 12}, {0, 52}, {0, 92}}
        << QStringList{"", "", "22:00", "", "", "", "", "", "23:00"};
}

void TestPreview::ticks() {
    QFETCH(Points, steps);
    QFETCH(double, intervalSeconds);
    QFETCH(QString, start);
    QFETCH(QList<double>, minutes);
    QFETCH(Points, at);
    QFETCH(QStringList, labels);

    PathSetup setup;
    setup.intervalSeconds = intervalSeconds;
    setup.arcsecPerPixel = 2;
    if (!start.isEmpty()) setup.startUtc = At(start.toUtf8().constData());
    const PathGeometry path = ComputePath(FromPoints(steps), setup);

    // The end is the sum of all the steps.
    QPointF sum;
    for (const QPointF& step : steps) sum += QPointF(float(step.x()), float(step.y()));
    QVERIFY2(Near(AsPoint(path.end()), sum), qPrintable(Shown(AsPoint(path.end()))));
    QCOMPARE(path.points.size(), std::size_t(steps.size() + 1));
    QVERIFY(Near(AsPoint(path.start()), {0, 0}));

    QList<double> tickMinutes;
    QStringList tickLabels;
    for (const Tick& tick : path.ticks) {
        tickMinutes << tick.minutes;
        tickLabels << QString::fromStdString(tick.label);
    }
    QCOMPARE(tickMinutes, minutes);
    QCOMPARE(tickLabels, labels);
    for (qsizetype i = 0; i < at.size(); ++i) {
        QVERIFY2(Near(AsPoint(path.ticks[std::size_t(i)].at), at[i], 1e-4),
                 qPrintable(Shown(AsPoint(path.ticks[std::size_t(i)].at))));
    }
}

void TestPreview::frame_data() {
    QTest::addColumn<Points>("steps");
    QTest::addColumn<QSize>("sensor");
    QTest::addColumn<double>("exitMinutes");  // -1: stays on it
    QTest::addColumn<QString>("text");

    // One-minute lines; the sensor is centred on the start.
    QTest::newRow("leaves through a side, within a line")
        << Points(10, QPointF(30, 0)) << QSize(100, 80) << 50.0 / 30
        << "The guide point leaves a 100 x 80 sensor after 1 minute.";
    QTest::newRow("leaves through the top at a line end")
        << Points(10, QPointF(10, -25)) << QSize(1000, 100) << 2.0
        << "The guide point leaves a 1000 x 100 sensor after 2 minutes.";
    QTest::newRow("after 47 minutes")
        << Points(90, QPointF(0, 10.2)) << QSize(1280, 960) << 480 / 10.2
        << "The guide point leaves a 1280 x 960 sensor after 47 "
           "minutes.";
    QTest::newRow("within the first minute")
        << Points(5, QPointF(-100, 0)) << QSize(100, 100) << 0.5
        << "The guide point leaves a 100 x 100 sensor within the first minute.";
    QTest::newRow("stays on") << Points(90, QPointF(1, 1)) << QSize(1280, 960) << -1.0
                              << "The guide point stays on a 1280 x 960 sensor for all 90 min.";
    QTest::newRow("no size set") << Points(90, QPointF(100, 0)) << QSize(0, 0) << -1.0 << QString();
}

void TestPreview::frame() {
    QFETCH(Points, steps);
    QFETCH(QSize, sensor);
    QFETCH(double, exitMinutes);
    QFETCH(QString, text);

    PathSetup setup;
    setup.intervalSeconds = 60;
    setup.arcsecPerPixel = 1;
    setup.sensorWidthPixels = sensor.width();
    setup.sensorHeightPixels = sensor.height();
    const PathGeometry path = ComputePath(FromPoints(steps), setup);

    QCOMPARE(QString::fromStdString(FrameText(path, ".")), text);
    QCOMPARE(path.frame.has_value(), !sensor.isEmpty());
    if (!path.frame) return;
    QCOMPARE(path.frame->exitMinutes.has_value(), exitMinutes >= 0);
    if (exitMinutes >= 0) QVERIFY(std::abs(*path.frame->exitMinutes - exitMinutes) < 1e-6);
    // The picture holds the whole sensor, wherever the path goes.
    QVERIFY(path.boundsMin.x <= -sensor.width() / 2.0 && path.boundsMax.y >= sensor.height() / 2.0);
}

void TestPreview::skyDirections_data() {
    QTest::addColumn<float>("cameraAngle");
    QTest::addColumn<std::int16_t>("raReversed");  // on the East side, where the example is
    QTest::addColumn<QPointF>("north");
    QTest::addColumn<QPointF>("east");

    // The camera's +Y axis points to the position angle given: north at 0, east at 90.
    QTest::newRow("0") << 0.0f << std::int16_t(0) << QPointF(0, 1) << QPointF(1, 0);
    QTest::newRow("90") << 90.0f << std::int16_t(0) << QPointF(-1, 0) << QPointF(0, 1);
    QTest::newRow("180") << 180.0f << std::int16_t(0) << QPointF(0, -1) << QPointF(-1, 0);
    // The RA flag mirrors east alone.
    QTest::newRow("0, RA reversed") << 0.0f << std::int16_t(1) << QPointF(0, 1) << QPointF(-1, 0);
}

void TestPreview::skyDirections() {
    QFETCH(float, cameraAngle);
    QFETCH(std::int16_t, raReversed);
    QFETCH(QPointF, north);
    QFETCH(QPointF, east);

    TrackParams params;
    params.PixSize = 1.8f;
    params.TimeInterval = 15;
    params.CameraAngle = cameraAngle;
    params.RARevEast = raReversed;
    const auto sky = SkyDirectionsFor(params);
    QVERIFY(sky);
    QVERIFY2(Near(AsPoint(sky->north), north), qPrintable(Shown(AsPoint(sky->north))));
    QVERIFY2(Near(AsPoint(sky->east), east), qPrintable(Shown(AsPoint(sky->east))));
}

void TestPreview::pathFor_data() {
    QTest::addColumn<QStringList>("changes");  // field=value
    QTest::addColumn<QString>("message");      // empty: a path
    QTest::addColumn<QPointF>("end");

    QTest::newRow("the example") << QStringList{} << QString() << kExampleEnd;
    QTest::newRow("pixel size 0") << QStringList{"PixSize=0"} << "Pixel Size Must Be >0"
                                  << QPointF();
    QTest::newRow("too many lines") << QStringList{"TotalTime=600", "TimeInterval=1"}
                                    << "Too many intervals: the track would need more than "
                                       "32767 lines"
                                    << QPointF();
    QTest::newRow("no line") << QStringList{"TotalTime=0"}
                             << "no path to draw: a total time of 0 minutes gives no line at "
                                "intervals of 15 seconds"
                             << QPointF();
}

void TestPreview::pathFor() {
    QFETCH(QStringList, changes);
    QFETCH(QString, message);
    QFETCH(QPointF, end);

    PathSource source;
    source.params.Motion = 12;
    source.params.PA = 35;
    source.params.TimeInterval = 15;
    source.params.PixSize = 1.8f;
    source.params.TotalTime = 1.5f;
    for (const QString& change : changes) {
        const QStringList parts = change.split('=');
        const float value = parts[1].toFloat();
        if (parts[0] == "PixSize") source.params.PixSize = value;
        if (parts[0] == "TotalTime") source.params.TotalTime = value;
        if (parts[0] == "TimeInterval") source.params.TimeInterval = value;
    }
    const auto path = PathFor(source);
    if (!message.isEmpty()) {
        QVERIFY(std::holds_alternative<std::string>(path));
        QCOMPARE(QString::fromStdString(std::get<std::string>(path)), message);
        return;
    }
    QVERIFY(std::holds_alternative<PathGeometry>(path));
    const PathGeometry& geometry = std::get<PathGeometry>(path);
    QVERIFY2(Near(AsPoint(geometry.end()), end, 1e-4), qPrintable(Shown(AsPoint(geometry.end()))));
    QCOMPARE(QString::fromStdString(TotalsText(geometry, ".")),
             QString("Constant rate over 1.5 min: X -5.7 px, Y -8.2 px, 10 px in all (18\")"));
}

void TestPreview::followedPath_data() {
    QTest::addColumn<double>("dec");
    QTest::addColumn<double>("flybyArcsec");  // 0: steady 30 "/min
    QTest::addColumn<bool>("positions");      // else rates alone, the declination typed

    QTest::newRow("30\"/min due east at Dec +70") << 70.0 << 0.0 << true;
    QTest::newRow("flyby at Dec -40") << -40.0 << 1800.0 << true;
    QTest::newRow("rates alone at Dec +70, declination typed") << 70.0 << 0.0 << false;
}

// The preview of a track that follows an object on a great circle draws where a star at the
// object's start appears from the object after every line, within a tenth of a pixel.
void TestPreview::followedPath() {
    QFETCH(double, dec);
    QFETCH(double, flybyArcsec);
    QFETCH(bool, positions);

    const UtcMs start = *ParseUtcTime("2026-12-07T21:00");
    ExactPath::GreatCircle object{40, dec, 70, 30};
    if (flybyArcsec > 0) object = {40, dec, 70, 0, flybyArcsec, 20, 30};
    const auto table = ExactPath::Rows(object, start, -10, 80, 5, positions, false);
    PathSource source;
    source.params.TimeInterval = 15;
    source.params.PixSize = 2;
    source.params.TotalTime = 60;
    source.params.CameraAngle = 20;
    source.start = start;
    source.followed = &table;
    if (!positions) source.typedDeclinationDegrees = dec;
    const auto path = PathFor(source);
    QVERIFY(std::holds_alternative<PathGeometry>(path));
    const PathGeometry& geometry = std::get<PathGeometry>(path);
    QCOMPARE(geometry.points.size(), std::size_t(241));
    for (std::size_t k = 1; k < geometry.points.size(); ++k) {
        const auto exact =
            ExactPath::OnCamera(object.Seen(double(k) / 4), source.params.CameraAngle, 2, 1, 1);
        const SensorPoint& drawn = geometry.points[k];
        QVERIFY2(std::fabs(drawn.x - exact[0]) <= 0.1 && std::fabs(drawn.y - exact[1]) <= 0.1,
                 qPrintable(QString("line %1: %2 %3 against %4 %5")
                                .arg(k)
                                .arg(drawn.x)
                                .arg(drawn.y)
                                .arg(exact[0])
                                .arg(exact[1])));
    }
}

// The end mark where the path ends, the path running right and down at its true slope.
void TestPreview::endMarkDrawn() {
    PathSetup setup;
    setup.intervalSeconds = 60;
    setup.arcsecPerPixel = 1;
    const PathPicture picture(ComputePath(Repeated(50, {2, 1}), setup));
    QPalette palette;
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Highlight, Qt::red);
    palette.setColor(QPalette::PlaceholderText, Qt::gray);
    QFont font("DejaVu Sans");
    font.setPixelSize(12);
    QImage image(640, 480, QImage::Format_RGB32);
    QPainter painter(&image);
    picture.paint(painter, image.rect(), {palette, font, "."});
    painter.end();

    const QPointF start = picture.sensorToDevice().map(QPointF(0, 0));
    const QPointF end = picture.sensorToDevice().map(QPointF(100, 50));
    QVERIFY(image.rect().contains(start.toPoint()) && image.rect().contains(end.toPoint()));
    // +X to the right, +Y down, one scale on both axes.
    const QPointF travel = end - start;
    QVERIFY2(travel.x() > 100 && std::abs(travel.x() - 2 * travel.y()) < 1e-6,
             qPrintable(Shown(travel)));
    // The disc over the end, across the path too, and the path itself half way.
    const QPoint across = (QPointF(-1, 2) / std::sqrt(5.0) * 3).toPoint();
    QCOMPARE(image.pixelColor(end.toPoint()), QColor(Qt::black));
    QCOMPARE(image.pixelColor(end.toPoint() + across), QColor(Qt::black));
    QCOMPARE(image.pixelColor(((start + end) / 2).toPoint()), QColor(Qt::red));
}

// ---- the window

namespace {

class Session : public ProgramRun {
  public:
    TrackPreview* preview() const {
        return form() ? form()->findChild<TrackPreview*>("TrackPreview") : nullptr;
    }
    TrackPreview* openPreview() {
        trigger("mnu_TrackPreview");
        return preview();
    }
    void trigger(const char* action) const {
        auto* a = form()->findChild<QAction*>(action);
        if (!a) qFatal("no action %s", action);
        a->trigger();
    }
    std::optional<QPointF> end() const {
        const PathGeometry* path = preview() ? preview()->path() : nullptr;
        if (!path) return std::nullopt;
        return AsPoint(path->end());
    }
};

bool EndNear(const Session& s, QPointF expected) {
    const auto end = s.end();
    return end && Near(*end, expected, 1e-4);
}


// A desktop's dark palette, as dark themes set it.
QPalette DarkPalette() {
    QPalette palette(Qt::white, QColor(53, 53, 53), QColor(90, 90, 90), QColor(35, 35, 35),
                     QColor(60, 60, 60), Qt::white, Qt::white, QColor(35, 35, 35),
                     QColor(53, 53, 53));
    palette.setColor(QPalette::ButtonText, Qt::white);
    return palette;
}

// One control of each kind with nothing ticked or typed, in `palette`, drawn in `style`.
struct Controls {
    QWidget window;
    QCheckBox* check = new QCheckBox("&Tick");
    QRadioButton* radio = new QRadioButton("&Choose");
    QLineEdit* text = new QLineEdit;
    QPushButton* button = new QPushButton("&Press");

    Controls(const QPalette& palette, QStyle* style) {
        auto* layout = new QVBoxLayout(&window);
        for (QWidget* control : {static_cast<QWidget*>(check), static_cast<QWidget*>(radio),
                                 static_cast<QWidget*>(text), static_cast<QWidget*>(button)}) {
            layout->addWidget(control);
            control->setStyle(style);
        }
        window.setStyle(style);
        window.setPalette(palette);
        window.resize(200, 160);
    }
    // Where the control draws the part that must be seen: the box or circle of a check box
    // or radio button, the frame of a text box or button.
    QRect part(const QString& kind) const {
        QStyleOptionButton option;
        if (kind == "check box") {
            option.initFrom(check);
            return check->style()
                ->subElementRect(QStyle::SE_CheckBoxIndicator, &option, check)
                .translated(check->pos());
        }
        if (kind == "radio button") {
            option.initFrom(radio);
            return radio->style()
                ->subElementRect(QStyle::SE_RadioButtonIndicator, &option, radio)
                .translated(radio->pos());
        }
        return kind == "text box" ? text->geometry() : button->geometry();
    }
};

// The strongest contrast any pixel of the part's edge (its outer two pixels) reaches
// against the window behind it.
double EdgeContrast(const QImage& image, const QRect& part, const QColor& window) {
    double best = 1;
    for (int y = part.top(); y <= part.bottom(); ++y) {
        for (int x = part.left(); x <= part.right(); ++x) {
            const bool edge = x - part.left() < 2 || part.right() - x < 2 ||
                              y - part.top() < 2 || part.bottom() - y < 2;
            if (edge) best = std::max(best, ContrastRatio(image.pixelColor(x, y), window));
        }
    }
    return best;
}
}  // namespace

void TestPreview::windowFollows_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<QPointF>("end");

    QTest::newRow("motion typed") << "motion" << kExampleEnd * 2;
    // The example reverses RA on the East side only.
    QTest::newRow("pier side") << "east" << QPointF(-kExampleEnd.x(), kExampleEnd.y());
    QTest::newRow("setup applied") << "setup" << kExampleEnd * 2;
}

void TestPreview::windowFollows() {
    QFETCH(QString, change);
    QFETCH(QPointF, end);

    Session s;
    s.writeSettings(kExample);
    s.start();
    QVERIFY(s.openPreview());
    QVERIFY(QTest::qWaitForWindowExposed(s.preview()));
    QVERIFY2(EndNear(s, kExampleEnd), qPrintable(s.preview()->message()));

    if (change == "motion") {
        QLineEdit* motion = s.form()->findChild<QLineEdit*>("Motion");
        motion->selectAll();
        QTest::keyClicks(motion, "24");
    } else if (change == "east") {
        QTest::mouseClick(s.form()->findChild<QRadioButton*>("East"), Qt::LeftButton);
    } else {
        s.trigger("nmu_Setup");
        QWidget* setup = VisibleSetupForm();
        QVERIFY(setup);
        setup->findChild<QLineEdit*>("TotalTime")->setText("3");
        setup->findChild<QPushButton*>("Apply")->click();
    }
    QTRY_VERIFY2(EndNear(s, end), qPrintable(s.end() ? Shown(*s.end()) : s.preview()->message()));
    // The picture was drawn without a fault.
    QVERIFY(!s.preview()->grab().isNull());
}

// Escape closes the window from whichever of its controls has the focus.
void TestPreview::escapeCloses() {
    Session s;
    s.writeSettings(kExample);
    s.start();
    QVERIFY(s.openPreview());
    QVERIFY(QTest::qWaitForWindowExposed(s.preview()));
    QTest::keyClick(s.preview()->findChild<QPushButton*>("export"), Qt::Key_Escape);
    QVERIFY(!s.preview()->isVisible());
    // The main window stays.
    QVERIFY(s.form()->isVisible());
}


// Unticked boxes, text boxes and buttons stay visible on a dark window: their edges reach
// 3:1 against it, measured on the drawn picture. Qt's own style alone does not get there.
void TestPreview::outlinesReadable_data() {
    QTest::addColumn<QPalette>("palette");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("readable");  // false: the plain style, to show what is mended

    for (const char* kind : {"check box", "radio button", "text box", "button"}) {
        QTest::addRow("Night Mode, %s", kind) << NightPalette() << kind << true;
        QTest::addRow("dark palette, %s", kind) << DarkPalette() << kind << true;
    }
    QTest::newRow("Night Mode, check box, plain style") << NightPalette() << "check box" << false;
}

void TestPreview::outlinesReadable() {
    QFETCH(QPalette, palette);
    QFETCH(QString, kind);
    QFETCH(bool, readable);

    ReadableStyle mended;
    std::unique_ptr<QStyle> plain(QStyleFactory::create(QApplication::style()->name()));
    Controls controls(palette, readable ? static_cast<QStyle*>(&mended) : plain.get());
    controls.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&controls.window));
    const QImage image = controls.window.grab().toImage();
    const double contrast =
        EdgeContrast(image, controls.part(kind), palette.color(QPalette::Window));
    QVERIFY2((contrast >= 3) == readable, qPrintable(QString("contrast %1:1").arg(contrast)));
}

// On a light palette the windows look exactly as they did.
void TestPreview::lightPaletteUnchanged() {
    ReadableStyle mended;
    std::unique_ptr<QStyle> plain(QStyleFactory::create(QApplication::style()->name()));
    Controls before(PaperPalette(), plain.get());
    Controls after(PaperPalette(), &mended);
    QCOMPARE(after.window.grab().toImage(), before.window.grab().toImage());
}

// In Night Mode a picture and an icon are red: no lit pixel has more than half as much
// green or blue as red. Off again, the picture has its own colours back.
void TestPreview::picturesRedAtNight() {
    // How many lit pixels there are, and how many of them are red only.
    const auto count = [](const QImage& image) {
        QPair<int, int> lit;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (std::max({c.red(), c.green(), c.blue()}) <= 40) continue;
                ++lit.first;
                lit.second += 2 * c.green() <= c.red() && 2 * c.blue() <= c.red();
            }
        }
        return lit;
    };
    ReadableStyle style;
    style.setNightMode(true);
    QLabel picture;
    picture.setStyle(&style);
    picture.setPixmap(QPixmap(":/images/comet.png"));
    picture.adjustSize();
    const QImage icon = style.standardIcon(QStyle::SP_DirIcon).pixmap(32).toImage();
    for (const QImage& image : {picture.grab().toImage(), icon}) {
        const auto [lit, red] = count(image);
        QVERIFY(lit > 0);
        QCOMPARE(red, lit);
    }
    style.setNightMode(false);
    const auto [lit, red] = count(picture.grab().toImage());
    QVERIFY(red < lit);
}

// With an ephemeris loaded the ticks tell UTC from the time chosen in it.
void TestPreview::windowTellsUtc() {
    Session s;
    s.writeSettings(kExample);
    s.now = At("2026-12-07T21:30:00");
    WriteAll(s.path("2P.txt"), kEphemeris);
    s.dialogs.ephemerisChosen = s.path("2P.txt");
    s.start();
    s.openPreview();
    QVERIFY(s.preview()->path() && !s.preview()->path()->startUtc);

    s.trigger("mnu_OpenEphemeris");
    QTRY_VERIFY(s.preview()->path() && s.preview()->path()->startUtc);
    QCOMPARE(*s.preview()->path()->startUtc, At("2026-12-07T21:30:00"));

    QWidget* ephemeris = s.form()->findChild<QWidget*>("EphemerisForm");
    QVERIFY(ephemeris);
    ephemeris->findChild<QDateTimeEdit*>("time")->setDateTime(
        QDateTime::fromMSecsSinceEpoch(At("2026-12-07T22:10:00"), Qt::UTC));
    QTRY_COMPARE(*s.preview()->path()->startUtc, At("2026-12-07T22:10:00"));
    QCOMPARE(QString::fromStdString(StartText(*s.preview()->path())), "start 22:10 UTC");
}

void TestPreview::exportPicture_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("error");  // empty: written

    QTest::newRow("PNG") << "path.png" << QString();
    QTest::newRow("SVG, capital suffix") << "path.SVG" << QString();
    QTest::newRow("other suffix") << "path.jpg"
                                  << "Cannot save the picture \"%1\": its name must end in .png "
                                     "or .svg";
    QTest::newRow("no such folder") << "missing/path.png"
                                    << "Cannot write the picture \"%1\": No such file or directory";
}

void TestPreview::exportPicture() {
    QFETCH(QString, name);
    QFETCH(QString, error);

    Session s;
    s.writeSettings(kExample);
    s.start();
    s.openPreview();
    QVERIFY(QTest::qWaitForWindowExposed(s.preview()));
    const QString file = s.path(name);
    s.dialogs.imageChosen = file;
    s.preview()->findChild<QPushButton*>("export")->click();

    if (!error.isEmpty()) {
        QCOMPARE(s.dialogs.errors, QStringList{error.arg(file)});
        QVERIFY(!QFileInfo::exists(file));
        QCOMPARE(StatusMessage(s.form()), QString());
        return;
    }
    QCOMPARE(s.dialogs.errors, QStringList());
    // The main window says what was written.
    QCOMPARE(StatusMessage(s.form()), "Exported the track preview to " + QFileInfo(name).fileName());
    const QByteArray bytes = ReadAll(file);
    const QSize shown = s.preview()->findChild<QWidget*>("canvas")->size();
    if (name.endsWith(".png")) {
        QCOMPARE(QImage::fromData(bytes, "PNG").size(), shown);
    } else {
        const QSvgRenderer drawing(bytes);
        QVERIFY(drawing.isValid());
        QCOMPARE(drawing.viewBox().size(), shown);
    }
    // Nothing else is left beside it.
    QCOMPARE(Listing(QFileInfo(file).absolutePath()), (QStringList{"Pelindra.ini", name}));
}

void TestPreview::nightMode_data() {
    QTest::addColumn<QByteArray>("settings");  // besides the example
    QTest::addColumn<bool>("toggle");
    QTest::addColumn<bool>("nightAtStart");
    QTest::addColumn<QByteArray>("saved");  // the [View] section written, if any

    QTest::newRow("never used") << QByteArray() << false << false << QByteArray();
    QTest::newRow("turned on") << QByteArray() << true << false
                               << Lines({"[View]", "Night Mode=True"});
    QTest::newRow("remembered, turned off") << Lines({"[View]", "Night Mode=True"}) << true << true
                                            << Lines({"[View]", "Night Mode=False"});
}

void TestPreview::nightMode() {
    QFETCH(QByteArray, settings);
    QFETCH(bool, toggle);
    QFETCH(bool, nightAtStart);
    QFETCH(QByteArray, saved);

    const QColor night = NightPalette().color(QPalette::Window);
    const QColor day = QApplication::palette().color(QPalette::Window);
    QVERIFY(day != night);
    {
        Session s;
        s.writeSettings(kExample + settings);
        s.start();
        s.openPreview();
        QCOMPARE(QApplication::palette().color(QPalette::Window), nightAtStart ? night : day);
        QCOMPARE(s.preview()->palette().color(QPalette::Base),
                 nightAtStart ? NightPalette().color(QPalette::Base)
                              : QApplication::palette().color(QPalette::Base));
        if (toggle) s.trigger("mnu_NightMode");
        const bool nightNow = nightAtStart != toggle;
        QCOMPARE(QApplication::palette().color(QPalette::Window), nightNow ? night : day);
        // Open windows take the application's palette as its change event reaches them.
        QTRY_COMPARE(s.preview()->palette().color(QPalette::Window), nightNow ? night : day);
        QCOMPARE(s.form()->findChild<QAction*>("mnu_NightMode")->isChecked(), nightNow);
        s.form()->close();
        DeleteLaterNow();
        const QByteArray file = ReadAll(s.iniPath());
        QCOMPARE(file.contains("[View]"), !saved.isEmpty());
        if (!saved.isEmpty()) QVERIFY2(file.contains(saved), file.constData());
    }
    // The program's palette goes back with its window.
    QCOMPARE(QApplication::palette().color(QPalette::Window), day);
}

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"
