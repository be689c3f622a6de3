// Calibration from the sky: reading guide frames, the real solver (Debian's astrometry.net
// with its Tycho-2 index files) on frames of the real sky made with a known geometry, the
// rule that turns a solution into the settings, and pelindra-track --solve.
#include <QComboBox>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "core/Offsets.h"
#include "links/Phd2Frame.h"
#include "solve/Calibration.h"
#include "solve/FitsFrame.h"
#include "solve/PlateSolver.h"
#include "tests/support/FakePhd2.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/SkyFrame.h"
#include "ui/CalibrateDialog.h"

using namespace Pelindra::Core;
using namespace Pelindra::Solve;

Q_DECLARE_METATYPE(PierSide)

namespace {

// The difference of two angles, in degrees, the short way round.
double AngleGap(double a, double b) {
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return std::min(d, 360 - d);
}

// The pixels a star moves on the sensor in one interval while the telescope follows an
// object moving `arcsecPerInterval` at `pa`: against the motion, taken into pixels by the
// inverse of the camera's CD matrix (degrees per pixel; rows east, north).
QPointF StarDrift(const double cd[2][2], double arcsecPerInterval, double pa) {
    const double east = -arcsecPerInterval * std::sin(pa * std::numbers::pi / 180) / 3600;
    const double north = -arcsecPerInterval * std::cos(pa * std::numbers::pi / 180) / 3600;
    const double det = cd[0][0] * cd[1][1] - cd[0][1] * cd[1][0];
    return {(cd[1][1] * east - cd[0][1] * north) / det,
            (-cd[1][0] * east + cd[0][0] * north) / det};
}

// The processes of a process group that still run; killed ones that no parent has reaped
// yet (a container's first process may never reap them) are dead and not counted.
QStringList RunningInGroup(qint64 group) {
    QStringList running;
    const QStringList pids = QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        QFile stat("/proc/" + pid + "/stat");
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.readAll();
        // pid (comm) state ppid pgrp ...: the name may hold blanks, so count from its end.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields[2].toLongLong() == group && fields[0] != "Z") {
            running << pid + " " +
                           line.mid(line.indexOf('('),
                                    line.lastIndexOf(')') - line.indexOf('(') + 1);
        }
    }
    return running;
}

struct SolveOutcome {
    std::optional<Calibration> calibration;
    QString reason;
    qint64 elapsedMs = 0;
    QString folder;
    qint64 pid = 0;
};

SolveOutcome Solve(const Frame& frame, const SolveHints& hints, std::chrono::milliseconds limit) {
    PlateSolver solver;
    SolveOutcome outcome;
    QEventLoop loop;
    QObject::connect(&solver, &PlateSolver::solved, &loop, [&](const Calibration& c) {
        outcome.calibration = c;
        loop.quit();
    });
    QObject::connect(&solver, &PlateSolver::failed, &loop, [&](const QString& reason) {
        outcome.reason = reason;
        loop.quit();
    });
    QElapsedTimer timer;
    timer.start();
    solver.Start(frame, hints, limit);
    outcome.folder = solver.WorkFolder();
    QTimer::singleShot(300, &loop, [&] { outcome.pid = solver.ProcessId(); });
    if (solver.Busy()) loop.exec();
    outcome.elapsedMs = timer.elapsed();
    return outcome;
}

}  // namespace

class TestSolve : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void calibrationRule_data();
    void calibrationRule();
    void readFrame_data();
    void readFrame();
    void solveFrames_data();
    void solveFrames();
    void noiseRefused();
    void timeLimitStopsSolver();
    void commandLine();
    void skyDirections_data();
    void skyDirections();
    void dialogShowsAndApplies();
    void dialogCancels_data();
    void dialogCancels();
    void phd2Frame_data();
    void phd2Frame();
    void phd2ImpliedAngle_data();
    void phd2ImpliedAngle();
    void mainWindow_data();
    void mainWindow();

  private:
    QTemporaryDir dir_;
};

void TestSolve::initTestCase() {
    QVERIFY(dir_.isValid());
    QVERIFY2(!PlateSolver::SolverProgram().isEmpty(),
             "solve-field is missing: scripts/install-deps --test installs astrometry.net");
    QVERIFY2(!QDir("/usr/share/astrometry").entryList({"index-tycho2-1*.fits"}).isEmpty(),
             "the Tycho-2 index files are missing: scripts/install-deps --test installs them");
}

// Both mirror states, the angle in each quadrant, both sides of a German mount and a fork.
// The flags are written out by hand from the geometry: on the frame's side, RA reversed
// when mirrored and Dec never; a German mount's other side sees the camera turned 180
// degrees, both flags over; a fork has only the West flags and keeps the East ones.
void TestSolve::calibrationRule_data() {
    QTest::addColumn<double>("angle");
    QTest::addColumn<bool>("mirrored");
    QTest::addColumn<bool>("fork");
    QTest::addColumn<PierSide>("side");
    QTest::addColumn<QList<int>>("flags");  // RA West, Dec West, RA East, Dec East

    for (double angle : {30.0, 135.0, 200.5, 315.25}) {
        const QByteArray a = QByteArray::number(angle);
        QTest::newRow(a + " plain, GEM west")
            << angle << false << false << PierSide::West << QList<int>{0, 0, 1, 1};
        QTest::newRow(a + " mirrored, GEM west")
            << angle << true << false << PierSide::West << QList<int>{1, 0, 0, 1};
        QTest::newRow(a + " plain, GEM east")
            << angle << false << false << PierSide::East << QList<int>{1, 1, 0, 0};
        QTest::newRow(a + " mirrored, GEM east")
            << angle << true << false << PierSide::East << QList<int>{0, 1, 1, 0};
        QTest::newRow(a + " plain, fork")
            << angle << false << true << PierSide::East << QList<int>{0, 0, 1, 1};
        QTest::newRow(a + " mirrored, fork")
            << angle << true << true << PierSide::West << QList<int>{1, 0, 1, 1};
    }
}

void TestSolve::calibrationRule() {
    QFETCH(double, angle);
    QFETCH(bool, mirrored);
    QFETCH(bool, fork);
    QFETCH(PierSide, side);
    QFETCH(QList<int>, flags);

    SkyFrameRecipe recipe;
    recipe.arcsecPerPixel = 4.37;
    recipe.cameraAngle = angle;
    recipe.mirrored = mirrored;
    double cd[2][2];
    RecipeCd(recipe, cd);
    const Calibration c =
        CalibrationFromCd({cd[0][0], cd[0][1], cd[1][0], cd[1][1]}, 120, 30, 1280, 960);
    QCOMPARE(c.mirrored, mirrored);
    QVERIFY(std::fabs(c.arcsecPerPixel - 4.37) < 1e-9);
    QVERIFY(AngleGap(c.cameraAngleDegrees, angle) < 1e-9);

    TrackParams params;
    params.MountType = fork ? kTrue : kFalse;
    // A fork's East flags are left as they were: all set beforehand.
    params.RARevEast = params.DecRevEast = fork ? 1 : 0;
    params.RaRevWest = params.DecRevWest = 1;
    ApplyCalibration(params, c, side);
    QCOMPARE(params.PixSize, 4.37f);
    QCOMPARE(params.CameraAngle, static_cast<float>(angle));
    QCOMPARE((QList<int>{params.RaRevWest, params.DecRevWest, params.RARevEast, params.DecRevEast}),
             flags);

    // What the flags are for: on either side, every offset moves the guide point as the
    // stars drift across this camera. A German mount's flip turns the camera 180 degrees.
    params.Motion = 90;
    params.TimeInterval = 20;
    for (PierSide now : {PierSide::West, PierSide::East}) {
        params.EastWest = now == PierSide::West ? kTrue : kFalse;
        const double sign = !fork && now != side ? -1 : 1;
        const double turned[2][2] = {{sign * cd[0][0], sign * cd[0][1]},
                                     {sign * cd[1][0], sign * cd[1][1]}};
        for (double pa : {0.0, 37.0, 90.0, 181.0, 270.0, 333.0}) {
            const auto offset = OffsetFor(params, params.Motion, static_cast<float>(pa), 20);
            QVERIFY(offset);
            const QPointF drift = StarDrift(turned, 90.0 * 20 / 60, pa);
            QVERIFY2(
                std::fabs(offset->x - drift.x()) < 0.01 && std::fabs(offset->y - drift.y()) < 0.01,
                qPrintable(QString("PA %1 on the %2 side: offset %3 %4, stars drift %5 %6")
                               .arg(pa)
                               .arg(now == PierSide::West ? "West" : "East")
                               .arg(offset->x)
                               .arg(offset->y)
                               .arg(drift.x())
                               .arg(drift.y())));
        }
    }
}

void TestSolve::readFrame_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("refusal");  // empty: read

    QTest::newRow("16-bit") << "ushort"
                            << "";
    QTest::newRow("float") << "float"
                           << "";
    QTest::newRow("cube, first plane") << "cube"
                                       << "";
    QTest::newRow("8-bit") << "byte"
                           << "8-bit integers";
    QTest::newRow("64-bit float") << "double"
                                  << "64-bit floating-point";
    QTest::newRow("one dimension") << "line"
                                   << "1 dimensions";
    QTest::newRow("text") << "text"
                          << "is not a FITS file";
    QTest::newRow("missing") << "missing"
                             << "does not exist";
    QTest::newRow("folder") << "folder"
                            << "is not a file";
    QTest::newRow("pipe") << "pipe"
                          << "is not a file";
}

void TestSolve::readFrame() {
    QFETCH(QString, kind);
    QFETCH(QString, refusal);
    const QString path = dir_.filePath("read-" + kind + ".fits");
    QFile::remove(path);
    if (kind == "ushort" || kind == "float" || kind == "cube") {
        SkyFrameRecipe recipe;
        recipe.noStars = true;
        recipe.width = 64;
        recipe.height = 48;
        recipe.floatPixels = kind == "float";
        recipe.cube = kind == "cube";
        recipe.pixscaleKeyword = 6.5;
        recipe.positionKeywords = true;
        recipe.ra = 201.25;
        recipe.dec = -12.5;
        recipe.pierSide = "West";
        QVERIFY(WriteSkyFrame(path, recipe));
    } else if (kind == "byte" || kind == "double" || kind == "line") {
        fitsfile* file = nullptr;
        int status = 0;
        long size[2] = {32, 32};
        const int type = kind == "byte" ? BYTE_IMG : kind == "double" ? DOUBLE_IMG : SHORT_IMG;
        fits_create_diskfile(&file, path.toLocal8Bit().constData(), &status);
        fits_create_img(file, type, kind == "line" ? 1 : 2, size, &status);
        std::vector<double> zeros(32 * 32);
        fits_write_img(file, TDOUBLE, 1, kind == "line" ? 32 : 32 * 32, zeros.data(), &status);
        fits_close_file(file, &status);
        QCOMPARE(status, 0);
    } else if (kind == "text") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("SIMPLE? no, a note\n");
    } else if (kind == "folder") {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == "pipe") {
        QCOMPARE(QProcess::execute("mkfifo", {path}), 0);
    }

    QElapsedTimer timer;
    timer.start();
    const auto read = ReadFitsFrame(path.toStdString());
    QVERIFY(timer.elapsed() < 5000);
    if (!refusal.isEmpty()) {
        const auto* reason = std::get_if<std::string>(&read);
        QVERIFY(reason);
        QVERIFY2(QString::fromStdString(*reason).contains(refusal), reason->c_str());
        QVERIFY2(QString::fromStdString(*reason).contains(path), reason->c_str());
        return;
    }
    const auto* frame = std::get_if<Frame>(&read);
    QVERIFY(frame);
    QCOMPARE(frame->width, 64);
    QCOMPARE(frame->height, 48);
    QCOMPARE(frame->pixels.size(), std::size_t(64 * 48));
    QCOMPARE(frame->arcsecPerPixel, std::optional<double>(6.5));
    QCOMPARE(frame->raDegrees, std::optional<double>(201.25));
    QCOMPARE(frame->decDegrees, std::optional<double>(-12.5));
    QCOMPARE(frame->pierSide, std::optional<PierSide>(PierSide::West));
    // The first plane, not the noise after it: the generator's background is about 1000.
    double sum = 0;
    for (float v : frame->pixels) sum += v;
    QVERIFY(std::fabs(sum / frame->pixels.size() - 1000) < 5);
}

// Frames of the real sky in both mirror states with the camera angle in every quadrant,
// 16-bit and float, hinted by their own keywords or by the current pixel size alone.
void TestSolve::solveFrames_data() {
    QTest::addColumn<double>("ra");
    QTest::addColumn<double>("dec");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("angle");
    QTest::addColumn<bool>("mirrored");
    QTest::addColumn<bool>("floatPixels");
    QTest::addColumn<bool>("keywords");
    QTest::addColumn<QSize>("size");  // under 700 pixels high, its stars are found unhalved

    QTest::newRow("Lynx, 16-bit, 12 deg")
        << 120.0 << 30.0 << 6.0 << 12.0 << false << false << true << QSize(1024, 768);
    QTest::newRow("Lynx, float, mirrored, 101 deg")
        << 120.0 << 30.0 << 6.0 << 101.0 << true << true << true << QSize(1024, 768);
    QTest::newRow("Auriga, 16-bit, 197 deg")
        << 80.0 << 42.0 << 5.5 << 197.0 << false << false << false << QSize(1024, 768);
    QTest::newRow("Auriga, float, mirrored, 284 deg")
        << 80.0 << 42.0 << 6.5 << 284.0 << true << true << true << QSize(1024, 768);
    QTest::newRow("Virgo, float, 333 deg")
        << 190.0 << -3.0 << 6.0 << 333.0 << false << true << true << QSize(1024, 768);
    QTest::newRow("Virgo, 16-bit, mirrored, 47 deg")
        << 190.0 << -3.0 << 6.0 << 47.0 << true << false << false << QSize(1024, 768);
    QTest::newRow("Cepheus, 16-bit, 160 deg")
        << 330.0 << 70.0 << 7.0 << 160.0 << false << false << true << QSize(720, 540);
    QTest::newRow("Cepheus, 16-bit, mirrored, 250 deg")
        << 330.0 << 70.0 << 7.0 << 250.0 << true << false << true << QSize(720, 540);
}

void TestSolve::solveFrames() {
    QFETCH(double, ra);
    QFETCH(double, dec);
    QFETCH(double, scale);
    QFETCH(double, angle);
    QFETCH(bool, mirrored);
    QFETCH(bool, floatPixels);
    QFETCH(bool, keywords);
    QFETCH(QSize, size);

    SkyFrameRecipe recipe;
    recipe.ra = ra;
    recipe.dec = dec;
    recipe.arcsecPerPixel = scale;
    recipe.cameraAngle = angle;
    recipe.mirrored = mirrored;
    recipe.floatPixels = floatPixels;
    recipe.width = size.width();
    recipe.height = size.height();
    recipe.seed = static_cast<unsigned>(angle);
    if (keywords) {
        recipe.pixscaleKeyword = scale * 1.1;  // a rough figure from the capture program
        recipe.positionKeywords = true;
    }
    const QString path = dir_.filePath(QString("sky-%1.fits").arg(angle));
    int stars = 0;
    QString why;
    QVERIFY2(WriteSkyFrame(path, recipe, &why, &stars), qPrintable(why));
    QVERIFY2(stars >= 15, qPrintable(QString("only %1 catalogue stars in the field").arg(stars)));

    const auto read = ReadFitsFrame(path.toStdString());
    QVERIFY(std::holds_alternative<Frame>(read));
    const Frame& frame = std::get<Frame>(read);
    // Without keywords, the current pixel size guides the search, a little off as typed.
    const SolveHints hints = HintsFor(frame, scale * 0.92, ra + 1.5, dec - 1);
    const SolveOutcome outcome = Solve(frame, hints, std::chrono::seconds(60));
    qInfo("solved in %.1f s", outcome.elapsedMs / 1000.0);
    QVERIFY2(outcome.calibration, qPrintable(outcome.reason));
    const Calibration& c = *outcome.calibration;
    QVERIFY2(std::fabs(c.arcsecPerPixel / scale - 1) < 0.003,
             qPrintable(QString("scale %1").arg(c.arcsecPerPixel)));
    QVERIFY2(AngleGap(c.cameraAngleDegrees, angle) < 0.2,
             qPrintable(QString("angle %1").arg(c.cameraAngleDegrees)));
    QCOMPARE(c.mirrored, mirrored);
    QVERIFY(c.cameraAngleDegrees >= 0 && c.cameraAngleDegrees < 360);
    QVERIFY2(std::fabs(c.centreDecDegrees - dec) < 0.01 &&
                 AngleGap(c.centreRaDegrees, ra) * std::cos(dec * std::numbers::pi / 180) < 0.01,
             qPrintable(QString("centre %1 %2").arg(c.centreRaDegrees).arg(c.centreDecDegrees)));
    QVERIFY(std::fabs(c.fieldWidthDegrees - size.width() * scale / 3600) < 0.01);
    QVERIFY(!outcome.folder.isEmpty());
    QVERIFY(!QFileInfo::exists(outcome.folder));
}

void TestSolve::noiseRefused() {
    SkyFrameRecipe recipe;
    recipe.noStars = true;
    recipe.width = 1024;
    recipe.height = 768;
    const QString path = dir_.filePath("noise.fits");
    QVERIFY(WriteSkyFrame(path, recipe));
    const auto read = ReadFitsFrame(path.toStdString());
    QVERIFY(std::holds_alternative<Frame>(read));
    const SolveOutcome outcome =
        Solve(std::get<Frame>(read), HintsFor(std::get<Frame>(read), 6.0, 120, 30),
              std::chrono::seconds(60));
    QVERIFY(!outcome.calibration);
    QVERIFY2(outcome.elapsedMs < 62000, qPrintable(QString::number(outcome.elapsedMs)));
    qInfo("refused in %.1f s: %s", outcome.elapsedMs / 1000.0, qPrintable(outcome.reason));
    QVERIFY2(outcome.reason.contains("could not be solved"), qPrintable(outcome.reason));
    QVERIFY(!QFileInfo::exists(outcome.folder));
}

// Unhinted, the solver searches the whole sky for far longer than this limit: it and every
// program it started are stopped when the limit comes, and its folder removed.
void TestSolve::timeLimitStopsSolver() {
    SkyFrameRecipe recipe;
    recipe.noStars = true;
    // Unhinted, a 1024 x 768 frame of noise is given up in about 2.8 s here, too close to a
    // limit of 3 s; four times the pixels and one second leave room on a faster machine.
    recipe.width = 2048;
    recipe.height = 1536;
    const QString path = dir_.filePath("unhinted.fits");
    QVERIFY(WriteSkyFrame(path, recipe));
    const auto read = ReadFitsFrame(path.toStdString());
    QVERIFY(std::holds_alternative<Frame>(read));
    const SolveOutcome outcome = Solve(std::get<Frame>(read), {}, std::chrono::seconds(1));
    QVERIFY(!outcome.calibration);
    QCOMPARE(outcome.reason, QString("The frame could not be solved within 1 second."));
    QVERIFY2(outcome.elapsedMs >= 900 && outcome.elapsedMs < 6000,
             qPrintable(QString::number(outcome.elapsedMs)));
    QVERIFY(outcome.pid > 0);
    // Every process of the solver's group was sent SIGKILL; one busy reading the disk dies
    // as soon as that read ends.
    QTRY_COMPARE_WITH_TIMEOUT(RunningInGroup(outcome.pid), QStringList(), 3000);
    QVERIFY(!QFileInfo::exists(outcome.folder));
}

void TestSolve::commandLine() {
    SkyFrameRecipe recipe;
    recipe.ra = 120;
    recipe.dec = 30;
    recipe.arcsecPerPixel = 6;
    recipe.cameraAngle = 250;
    recipe.mirrored = true;
    recipe.width = 1024;
    recipe.height = 768;
    recipe.positionKeywords = true;
    recipe.pierSide = "EAST";
    const QString frame = dir_.filePath("cli.fits");
    QVERIFY(WriteSkyFrame(frame, recipe));
    const QString settings = dir_.filePath("Pelindra.ini");
    QFile::remove(settings);
    {
        QFile file(settings);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Pixel Size]\r\nPixelSize=5.7\r\n[Mount]\r\nEastWest=True\r\n");
    }
    auto run = [&](const QStringList& args) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir_.filePath("config"));
        process.setProcessEnvironment(env);
        process.start(PELINDRA_TRACK, args);
        process.waitForFinished(120000);
        return std::tuple{process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                          QString::fromUtf8(process.readAllStandardError())};
    };

    auto [code, out, err] = run({"--settings", settings, "--solve", frame, "--save"});
    QCOMPARE(code, 0);
    const QRegularExpression line("^(\\d+\\.\\d{4}) (\\d+\\.\\d{2}) ([01])\n$");
    const auto match = line.match(out);
    QVERIFY2(match.hasMatch(), qPrintable(out + err));
    QVERIFY(std::fabs(match.captured(1).toDouble() / 6 - 1) < 0.003);
    QVERIFY(AngleGap(match.captured(2).toDouble(), 250) < 0.2);
    QCOMPARE(match.captured(3), QString("1"));
    // Saved as Apply saves: the frame's side (East) gets RA reversed for the mirror, the
    // West side both turned over; the side chosen in the file stays West.
    QFile file(settings);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString saved = QString::fromUtf8(file.readAll());
    QVERIFY2(saved.contains("PixelSize=" + match.captured(1).remove(QRegularExpression("0+$"))),
             qPrintable(saved));
    QVERIFY2(saved.contains("[Camera]\r\nAngle=" +
                            match.captured(2).remove(QRegularExpression("\\.?0+$"))),
             qPrintable(saved));
    QVERIFY2(saved.contains("Ra Direction East=1") && saved.contains("Dec Direction East=0") &&
                 saved.contains("RA Direction West=0") && saved.contains("Dec Direction West=1") &&
                 saved.contains("EastWest=True"),
             qPrintable(saved));

    std::tie(code, out, err) = run({"--settings", settings, "--solve", settings});
    QCOMPARE(code, 1);
    QVERIFY(out.isEmpty());
    QVERIFY2(err.contains("is not a FITS file"), qPrintable(err));

    std::tie(code, out, err) = run({"--settings", settings, "--save"});
    QCOMPARE(code, 2);
    QVERIFY2(err.contains("--save goes with --solve"), qPrintable(err));
}

// North and east in pixels, worked out by hand: +Y points at the camera angle, +X 90
// degrees east of it (west when mirrored).
void TestSolve::skyDirections_data() {
    QTest::addColumn<double>("angle");
    QTest::addColumn<bool>("mirrored");
    QTest::addColumn<QPointF>("north");
    QTest::addColumn<QPointF>("east");
    QTest::newRow("+Y north") << 0.0 << false << QPointF(0, 1) << QPointF(1, 0);
    QTest::newRow("+Y north, mirrored") << 0.0 << true << QPointF(0, 1) << QPointF(-1, 0);
    QTest::newRow("+Y east") << 90.0 << false << QPointF(-1, 0) << QPointF(0, 1);
    QTest::newRow("+Y east, mirrored") << 90.0 << true << QPointF(1, 0) << QPointF(0, 1);
    QTest::newRow("+Y south") << 180.0 << false << QPointF(0, -1) << QPointF(-1, 0);
    QTest::newRow("+Y west, mirrored") << 270.0 << true << QPointF(-1, 0) << QPointF(0, -1);
}

void TestSolve::skyDirections() {
    QFETCH(double, angle);
    QFETCH(bool, mirrored);
    QFETCH(QPointF, north);
    QFETCH(QPointF, east);
    SkyFrameRecipe recipe;
    recipe.cameraAngle = angle;
    recipe.mirrored = mirrored;
    double cd[2][2];
    RecipeCd(recipe, cd);
    const SkyDirections d =
        NorthAndEast(CalibrationFromCd({cd[0][0], cd[0][1], cd[1][0], cd[1][1]}, 0, 0, 100, 100));
    QVERIFY(std::hypot(d.northX - north.x(), d.northY - north.y()) < 1e-9);
    QVERIFY(std::hypot(d.eastX - east.x(), d.eastY - east.y()) < 1e-9);
}

// The window's dialog on a frame of the real sky: it solves without blocking, shows what it
// found with the arrows drawn where north and east lie, and Apply writes the rule's values.
void TestSolve::dialogShowsAndApplies() {
    SkyFrameRecipe recipe;
    recipe.cameraAngle = 100;
    recipe.mirrored = true;
    recipe.width = 1024;
    recipe.height = 768;
    recipe.positionKeywords = true;
    const QString path = dir_.filePath("dialog.fits");
    QVERIFY(WriteSkyFrame(path, recipe));
    auto read = ReadFitsFrame(path.toStdString());
    QVERIFY(std::holds_alternative<Frame>(read));

    TrackParams params;
    params.PixSize = 5.5f;  // the hint, within 25 %
    params.EastWest = kTrue;
    int applied = 0;
    QPointer<CalibrateDialog> dialog =
        new CalibrateDialog(params, std::get<Frame>(std::move(read)), "dialog.fits", PierSide::West,
                            [&] { ++applied; });
    QSignalSpy finished(dialog.data(), &CalibrateDialog::finished);
    dialog->show();
    auto* apply = dialog->findChild<QPushButton*>("Apply");
    QVERIFY(apply);
    dialog->Start();
    QVERIFY(!apply->isEnabled());
    QVERIFY(finished.wait(60000));
    QVERIFY2(dialog->Solution(), qPrintable(dialog->findChild<QLabel*>("Status")->text()));
    QVERIFY(apply->isEnabled());
    const QString shownAngle = dialog->findChild<QLabel*>("CameraAngle")->text();
    QVERIFY2(shownAngle.startsWith("99.9") || shownAngle.startsWith("100.0"),
             qPrintable(shownAngle));
    QVERIFY(dialog->findChild<QLabel*>("Mirrored")->text().startsWith("Yes"));
    QVERIFY(dialog->findChild<QLabel*>("Field")->text().contains("102.4 x 76.8"));

    // The arrows are sampled where the geometry puts north and east in the picture.
    const QPixmap picture = dialog->findChild<QLabel*>("Picture")->pixmap();
    const QImage image = picture.toImage();
    const double a = 100 * std::numbers::pi / 180;
    // Mirrored: +X at PA a - 90. North in pixels solves x(sin(a-90)) + y sin a = 0 and
    // x cos(a-90) + y cos a = 1: north = (sin a, cos a), east = (-cos a, sin a).
    const QPointF northStep(std::sin(a), std::cos(a));
    const QPointF eastStep(-std::cos(a), std::sin(a));
    const QPointF centre(image.width() / 2.0, image.height() / 2.0);
    const double length = std::min(image.width(), image.height()) * 0.3;
    auto colourAlong = [&](QPointF step) {
        int red = 0, blue = 0;
        for (double f = 0.3; f <= 0.9; f += 0.05) {
            const QColor c = image.pixelColor((centre + step * length * f).toPoint());
            if (c.red() > c.blue() + 60) ++red;
            if (c.blue() > c.red() + 60) ++blue;
        }
        return std::pair{red, blue};
    };
    QVERIFY(colourAlong(northStep).first >= 8);
    QVERIFY(colourAlong(eastStep).second >= 8);

    dialog->findChild<QComboBox*>("FrameSide")->setCurrentIndex(0);  // East
    apply->click();
    QCOMPARE(applied, 1);
    QVERIFY(std::fabs(params.PixSize - 6.0f) < 0.02f);
    QVERIFY(AngleGap(params.CameraAngle, 100) < 0.2);
    // Mirrored, taken on the East side: RA reversed there, the West side both turned over.
    QCOMPARE((QList<int>{params.RaRevWest, params.DecRevWest, params.RARevEast, params.DecRevEast}),
             (QList<int>{0, 1, 1, 0}));
    QTRY_VERIFY(!dialog);
}

void TestSolve::dialogCancels_data() {
    QTest::addColumn<QString>("how");

    QTest::newRow("Cancel") << "Cancel";
    QTest::newRow("Escape") << "Escape";
}

// Cancel and Escape stop the solve under way, its processes and files, and close the dialog.
void TestSolve::dialogCancels() {
    QFETCH(QString, how);
    SkyFrameRecipe recipe;
    recipe.noStars = true;
    recipe.width = 800;
    recipe.height = 600;
    const QString path = dir_.filePath("dialog-noise.fits");
    QVERIFY(WriteSkyFrame(path, recipe));
    auto read = ReadFitsFrame(path.toStdString());
    QVERIFY(std::holds_alternative<Frame>(read));
    TrackParams params;
    params.PixSize = 0;  // no hint: a whole-sky search, long enough to cancel
    const TrackParams before = params;
    int applied = 0;
    QPointer<CalibrateDialog> dialog = new CalibrateDialog(
        params, std::get<Frame>(std::move(read)), "noise.fits", PierSide::East, [&] { ++applied; });
    dialog->show();
    dialog->Start();
    // Soon after the solver started, while it runs: the noise is refused within seconds.
    auto* solver = dialog->findChild<PlateSolver*>();
    QTRY_VERIFY_WITH_TIMEOUT(solver->ProcessId() > 0, 5000);
    QTest::qWait(200);
    const QString folder = solver->WorkFolder();
    QVERIFY2(QFileInfo(folder).isDir(), qPrintable(dialog->findChild<QLabel*>("Status")->text()));
    const qint64 group = solver->ProcessId();
    QVERIFY(group > 0);
    QElapsedTimer timer;
    timer.start();
    if (how == "Escape") {
        QWidget* focused = QApplication::focusWidget();
        QTest::keyClick(focused && focused->window() == dialog ? focused : dialog.data(),
                        Qt::Key_Escape);
    } else {
        dialog->findChild<QPushButton*>("Cancel")->click();
    }
    QTRY_VERIFY(!dialog);
    QVERIFY(timer.elapsed() < 3000);
    QCOMPARE(applied, 0);
    QCOMPARE(params.PixSize, before.PixSize);
    QVERIFY(!QFileInfo::exists(folder));
    QTRY_COMPARE_WITH_TIMEOUT(RunningInGroup(group), QStringList(), 3000);
}

// PHD2's frame through its event server: saved where PHD2 is looping or guiding, taken
// first where it is stopped, refused when it is only a subframe; the frame then solves.
void TestSolve::phd2Frame_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QStringList>("methods");
    QTest::addColumn<QString>("refusal");  // empty: the frame is got and solved

    QTest::newRow("guiding") << "normal"
                             << QStringList{"get_app_state", "save_image", "get_calibration_data"}
                             << "";
    QTest::newRow("stopped") << "stopped"
                             << QStringList{"get_app_state", "capture_single_frame", "save_image",
                                            "get_calibration_data"}
                             << "";
    QTest::newRow("subframe") << "subframe" << QStringList{"get_app_state", "save_image"}
                              << "holds only a part of its frame";
}

void TestSolve::phd2Frame() {
    QFETCH(QString, mode);
    QFETCH(QStringList, methods);
    QFETCH(QString, refusal);

    const QString frame = dir_.filePath("phd2-" + mode + ".fits");
    SkyFrameRecipe recipe;
    recipe.cameraAngle = 290;
    recipe.width = 1024;
    recipe.height = 768;
    recipe.positionKeywords = true;
    QVERIFY(WriteSkyFrame(frame, recipe));
    FakePhd2 phd2(mode, frame);
    QVERIFY(phd2.port() > 0);

    Pelindra::Links::Phd2Frame fetch;
    QSignalSpy got(&fetch, &Pelindra::Links::Phd2Frame::gotFrame);
    QSignalSpy failed(&fetch, &Pelindra::Links::Phd2Frame::failed);
    fetch.Fetch("127.0.0.1", phd2.port());
    QTRY_VERIFY_WITH_TIMEOUT(!fetch.Busy(), 10000);
    QStringList asked;
    for (const QByteArray& line : phd2.received()) {
        asked << QJsonDocument::fromJson(line).object().value("method").toString();
    }
    QCOMPARE(asked, methods);
    if (!refusal.isEmpty()) {
        QCOMPARE(got.count(), 0);
        QCOMPARE(failed.count(), 1);
        QVERIFY2(failed[0][0].toString().contains(refusal), qPrintable(failed[0][0].toString()));
        return;
    }
    QCOMPARE(failed.count(), 0);
    QCOMPARE(got.count(), 1);
    QCOMPARE(got[0][0].toString(), frame);

    const auto read = ReadFitsFrame(got[0][0].toString().toStdString());
    QVERIFY(std::holds_alternative<Frame>(read));
    const SolveOutcome outcome = Solve(std::get<Frame>(read), HintsFor(std::get<Frame>(read), 6.3),
                                       std::chrono::seconds(60));
    QVERIFY2(outcome.calibration, qPrintable(outcome.reason));
    QVERIFY(AngleGap(outcome.calibration->cameraAngleDegrees, 290) < 0.2);
    QVERIFY(!outcome.calibration->mirrored);
    // The stand-in's calibration was made for this camera: both say the same angle.
    QVERIFY(fetch.ImpliedCameraAngle());
    QVERIFY2(AngleGap(*fetch.ImpliedCameraAngle(), outcome.calibration->cameraAngleDegrees) < 0.3,
             qPrintable(QString::number(*fetch.ImpliedCameraAngle())));
}

// PHD2's calibration as it would be for cameras worked out by hand: the star moves west on
// the frame for a move east (xAngle), south for a move north (yAngle), with parity "+";
// with "-" the mount moved the other way, so the angles point the other way too.
void TestSolve::phd2ImpliedAngle_data() {
    QTest::addColumn<QString>("calibration");  // JSON
    QTest::addColumn<double>("expected");      // -1: none

    QTest::newRow("+Y north") << R"({"calibrated":true,"xAngle":180.0,"xParity":"+",
        "yAngle":-90.0,"yParity":"+"})"
                              << 0.0;
    QTest::newRow("+Y north, parities -") << R"({"calibrated":true,"xAngle":0.0,"xParity":"-",
        "yAngle":90.0,"yParity":"-"})" << 0.0;
    QTest::newRow("+Y east") << R"({"calibrated":true,"xAngle":-90.0,"xParity":"+",
        "yAngle":0.0,"yParity":"+"})"
                             << 90.0;
    QTest::newRow("+Y north, mirrored") << R"({"calibrated":true,"xAngle":0.0,"xParity":"+",
        "yAngle":-90.0,"yParity":"+"})" << 0.0;
    QTest::newRow("+Y south") << R"({"calibrated":true,"xAngle":0.0,"xParity":"+",
        "yAngle":90.0,"yParity":"+"})"
                              << 180.0;
    QTest::newRow("not calibrated") << R"({"calibrated":false})" << -1.0;
    QTest::newRow("parity unknown") << R"({"calibrated":true,"xAngle":0.0,"xParity":"?",
        "yAngle":90.0,"yParity":"+"})"
                                    << -1.0;
}

void TestSolve::phd2ImpliedAngle() {
    QFETCH(QString, calibration);
    QFETCH(double, expected);
    const auto angle = Pelindra::Links::Phd2ImpliedCameraAngle(
        QJsonDocument::fromJson(calibration.toUtf8()).object());
    if (expected < 0) {
        QVERIFY(!angle);
        return;
    }
    QVERIFY(angle);
    QVERIFY2(AngleGap(*angle, expected) < 1e-9, qPrintable(QString::number(*angle)));
}

// The main window's ways to a frame: a FITS file dropped on it, Guide > Calibrate from
// PHD2's Frame, and a dropped file that is no frame. Apply then changes the record and the
// offsets shown; the side is the window's West.
void TestSolve::mainWindow_data() {
    QTest::addColumn<QString>("way");
    QTest::newRow("dropped frame") << "drop";
    QTest::newRow("PHD2's frame") << "phd2";
    QTest::newRow("dropped frame that is not one") << "bad drop";
}

void TestSolve::mainWindow() {
    QFETCH(QString, way);
    const QString frame = dir_.filePath("window-" + way + ".fits");
    SkyFrameRecipe recipe;
    recipe.cameraAngle = 45;
    recipe.width = 1024;
    recipe.height = 768;
    recipe.positionKeywords = true;
    recipe.pixscaleKeyword = 6.0;
    QVERIFY(WriteSkyFrame(frame, recipe));
    if (way == "bad drop") WriteAll(frame, "not a frame");
    FakePhd2 phd2("normal", frame);
    QVERIFY(phd2.port() > 0);

    ProgramRun run;
    run.writeSettings(Lines({"[Mount]", "EastWest=True", "[PHD2]", "Host=127.0.0.1",
                             "Port=" + QByteArray::number(phd2.port())}));
    MainForm* form = run.start();
    if (way == "phd2") {
        form->findChild<QAction*>("mnu_CalibrateFromPhd2")->trigger();
    } else {
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(frame)});
        const QPoint point = form->rect().center();
        QDragEnterEvent enter(point, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form, &enter);
        QDropEvent drop(point, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form, &drop);
        delete data;
    }
    if (way == "bad drop") {
        QCOMPARE(run.dialogs.errors.size(), 1);
        QVERIFY2(run.dialogs.errors[0].contains("is not a FITS file"),
                 qPrintable(run.dialogs.errors[0]));
        QVERIFY(!form->findChild<CalibrateDialog*>());
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(form->findChild<CalibrateDialog*>(), 10000);
    CalibrateDialog* dialog = form->findChild<CalibrateDialog*>();
    QSignalSpy finished(dialog, &CalibrateDialog::finished);
    QVERIFY(finished.wait(60000));
    QVERIFY(dialog->Solution());
    QCOMPARE(dialog->findChild<QComboBox*>("FrameSide")->currentText(), QString("West"));
    // The stand-in PHD2 was calibrated for a camera at 290 degrees, this frame is at 45.
    const QString status = dialog->findChild<QLabel*>("Status")->text();
    QCOMPARE(status.contains("PHD2's calibration implies a camera angle of 290.0"), way == "phd2");
    const QString before = form->findChild<QLabel*>("DeltaX")->text();
    dialog->findChild<QPushButton*>("Apply")->click();
    QVERIFY(AngleGap(run.params.CameraAngle, 45) < 0.2);
    QVERIFY(std::fabs(run.params.PixSize - 6.0f) < 0.02f);
    QCOMPARE((QList<int>{run.params.RaRevWest, run.params.DecRevWest, run.params.RARevEast,
                         run.params.DecRevEast}),
             (QList<int>{0, 0, 1, 1}));
    // The default motion (1 "/min at PA 0) over 15 s, now at 6 "/px and turned 45 degrees.
    QVERIFY(form->findChild<QLabel*>("DeltaX")->text() != before);
    QVERIFY(run.dialogs.errors.isEmpty());
}

QTEST_MAIN(TestSolve)
#include "tst_solve.moc"
