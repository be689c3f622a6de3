#include <QtTest>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <utility>

#include "core/Messages.h"
#include "core/Offsets.h"
#include "core/TrackParams.h"
#include "core/Validation.h"

using namespace Pelindra::Core;

Q_DECLARE_METATYPE(TrackParams)

namespace {

constexpr int kFork = -1, kGem = 0;
constexpr int kWest = -1, kEast = 0;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Captions and message boxes in the order they happen, so both order and count are seen.
class Recorder : public OffsetDisplay, public Messages {
  public:
    QStringList events;
    void SetDeltaXCaption(const std::string& caption) override {
        events << "X " + QString::fromStdString(caption);
    }
    void SetDeltaYCaption(const std::string& caption) override {
        events << "Y " + QString::fromStdString(caption);
    }
    void ShowError(const std::string& text) override {
        events << "ERROR " + QString::fromStdString(text);
    }
};

TrackParams Make(float motion, float pa, float interval, float pixSize, int mount, int side,
                 int raWest = 0, int decWest = 0, int raEast = 0, int decEast = 0) {
    TrackParams p;
    p.Motion = motion;
    p.PA = pa;
    p.TimeInterval = interval;
    p.PixSize = pixSize;
    p.TotalTime = 60;
    p.MountType = std::int16_t(mount);
    p.EastWest = std::int16_t(side);
    p.RaRevWest = std::int16_t(raWest);
    p.DecRevWest = std::int16_t(decWest);
    p.RARevEast = std::int16_t(raEast);
    p.DecRevEast = std::int16_t(decEast);
    return p;
}

// The first worked example: 12"/min at PA 35, 15 s intervals, 1.8"/pixel.
TrackParams Example(int mount, int side, int raWest = 0, int decWest = 0, int raEast = 0,
                    int decEast = 0) {
    return Make(12, 35, 15, 1.8f, mount, side, raWest, decWest, raEast, decEast);
}

QString Msg(std::string_view text) {
    return "ERROR " + QString::fromLatin1(text.data(), qsizetype(text.size()));
}

quint32 Bits(float f) {
    return std::bit_cast<quint32>(f);
}

}  // namespace

class TestOffsets : public QObject {
    Q_OBJECT

  private slots:
    void validate_data();
    void validate();
    void update_data();
    void update();
    void storedMagnitudes();
    void forkIgnoresPierSide_data();
    void forkIgnoresPierSide();
    void cameraAngle_data();
    void cameraAngle();
    void reversalTestInCameraTerms_data();
    void reversalTestInCameraTerms();
    void overflow_data();
    void overflow();
};

void TestOffsets::validate_data() {
    QTest::addColumn<float>("pixSize");
    QTest::addColumn<float>("interval");
    QTest::addColumn<bool>("rejected");
    QTest::addColumn<QStringList>("events");

    const QString pixel = Msg(kPixelSizeMessage);
    const QString interval = Msg(kTimeIntervalMessage);
    QTest::newRow("both zero: pixel size only") << 0.0f << 0.0f << true << QStringList{pixel};
    QTest::newRow("pixel size -1.5") << -1.5f << 15.0f << true << QStringList{pixel};
    QTest::newRow("pixel size -0") << -0.0f << 15.0f << true << QStringList{pixel};
    QTest::newRow("pixel size NaN") << kNaN << 15.0f << true << QStringList{pixel};
    QTest::newRow("pixel size NaN, interval 0") << kNaN << 0.0f << true << QStringList{pixel};
    QTest::newRow("interval 0") << 1.0f << 0.0f << true << QStringList{interval};
    QTest::newRow("interval -15") << 1.0f << -15.0f << true << QStringList{interval};
    QTest::newRow("interval NaN") << 1.0f << kNaN << true << QStringList{interval};
    QTest::newRow("halves") << 0.5f << 0.5f << false << QStringList{};
    QTest::newRow("smallest positive") << 0x1p-149f << 0x1p-149f << false << QStringList{};
}

void TestOffsets::validate() {
    QFETCH(float, pixSize);
    QFETCH(float, interval);
    QFETCH(bool, rejected);
    QFETCH(QStringList, events);

    // Motion, PA, total time and flags are never checked, whatever they hold.
    TrackParams params = Make(0, -720, interval, pixSize, 7, 3, 2, -1, 2, -1);
    params.TotalTime = -5;
    Recorder recorder;
    QCOMPARE(ValidateParams(params, recorder) == ParamsCheck::Unusable, rejected);
    QCOMPARE(recorder.events, events);
}

void TestOffsets::update_data() {
    QTest::addColumn<TrackParams>("params");
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("y");

    auto row = [&](const char* name, const TrackParams& p, const char* x, const char* y,
                   const QByteArray& separator = ".") {
        QTest::newRow(name) << p << separator << QString(x) << QString(y);
    };
    // Worked examples.
    row("GEM East", Example(kGem, kEast), "-0.96", "-1.37");
    row("GEM West, RaRevWest", Example(kGem, kWest, 1), "+0.96", "-1.37");
    row("GEM East, RaRevWest", Example(kGem, kEast, 1), "-0.96", "-1.37");
    row("GEM East, DecRevEast", Example(kGem, kEast, 0, 0, 0, 1), "-0.96", "+1.37");
    row("fork East, West flags", Example(kFork, kEast, 1, 1), "+0.96", "+1.37");
    row("fork West, East flags", Example(kFork, kWest, 0, 0, 1, 1), "-0.96", "-1.37");
    row("motion -12", Make(-12, 35, 15, 1.8f, kGem, kEast), "+0.96", "+1.37");
    row("motion 0", Make(0, 35, 15, 1.8f, kGem, kEast), "-0.00", "-0.00");
    row("PA 0", Make(10, 0, 15, 1, kGem, kEast), "-0.00", "-2.50");
    row("PA 90", Make(1, 90, 15, 1, kGem, kEast), "-0.25", "+0.00");
    row("PA 180", Make(1, 180, 15, 1, kGem, kEast), "+0.00", "+0.25");
    row("PA 250", Make(25, 250, 8, 2.2f, kGem, kEast), "+1.42", "+0.52");
    row("motion 5000", Make(5000, 10, 60, 0.5f, kGem, kEast), "-1736.48", "-9848.08");
    // PA is used as given, without reduction.
    row("PA 270", Make(1, 270, 15, 1, kGem, kEast), "+0.25", "-0.00");
    row("PA 720", Make(10, 720, 15, 1, kGem, kEast), "-0.00", "-2.50");
    row("PA -90", Make(1, -90, 15, 1, kGem, kEast), "+0.25", "+0.00");
    // Only a flag of exactly 1 reverses.
    row("GEM East, flags 2", Example(kGem, kEast, 2, 2, 2, 2), "-0.96", "-1.37");
    row("GEM East, flags -1", Example(kGem, kEast, -1, -1, -1, -1), "-0.96", "-1.37");
    row("GEM West, flags 2", Example(kGem, kWest, 2, 2, 2, 2), "-0.96", "-1.37");
    row("GEM West, flags -1", Example(kGem, kWest, -1, -1, -1, -1), "-0.96", "-1.37");
    row("fork, flags 2 and -1", Example(kFork, kWest, 2, -1, 1, 1), "-0.96", "-1.37");
    // The locale's separator goes through as given.
    row("comma", Example(kGem, kEast), "-0,96", "-1,37", ",");
    row("comma, no grouping", Make(5000, 10, 60, 0.5f, kGem, kEast), "-1736,48", "-9848,08", ",");
}

void TestOffsets::update() {
    QFETCH(TrackParams, params);
    QFETCH(QByteArray, separator);
    QFETCH(QString, x);
    QFETCH(QString, y);

    Recorder recorder;
    const std::string_view sep(separator.constData(), std::size_t(separator.size()));
    QCOMPARE(UpdateOffsets(params, recorder, recorder, sep), UpdateResult::Shown);
    QCOMPARE(recorder.events, (QStringList{"X " + x, "Y " + y}));
    QCOMPARE(QString::fromStdString(params.SignX), x.left(1));
    QCOMPARE(QString::fromStdString(params.SignY), y.left(1));
    // Stored magnitudes are never negative (not even -0) and agree with the captions.
    QVERIFY(!std::signbit(params.DeltaX) && !std::signbit(params.DeltaY));
    const auto shown = [&](const QString& caption) {
        return QString(caption.mid(1)).replace(QString::fromUtf8(separator), ".").toDouble();
    };
    QVERIFY(std::fabs(params.DeltaX - shown(x)) <= 0.0050001);
    QVERIFY(std::fabs(params.DeltaY - shown(y)) <= 0.0050001);

    // Both labels are rewritten on every call, even with unchanged text.
    QCOMPARE(UpdateOffsets(params, recorder, recorder, sep), UpdateResult::Shown);
    QCOMPARE(recorder.events, (QStringList{"X " + x, "Y " + y, "X " + x, "Y " + y}));
}

// Computed in double, rounded to single once when stored.
void TestOffsets::storedMagnitudes() {
    TrackParams params = Example(kGem, kEast);
    Recorder recorder;
    QCOMPARE(UpdateOffsets(params, recorder, recorder, "."), UpdateResult::Shown);
    QCOMPARE(Bits(params.DeltaX), Bits(0.955960750579834f));
    QCOMPARE(Bits(params.DeltaY), Bits(1.3652534484863281f));
    QCOMPARE(params.SignX, std::string("-"));
    QCOMPARE(params.SignY, std::string("-"));
}

void TestOffsets::forkIgnoresPierSide_data() {
    QTest::addColumn<int>("flags");
    for (int flags = 0; flags < 16; ++flags)
        QTest::newRow(qPrintable(QString("flags %1").arg(flags, 4, 2, QChar('0')))) << flags;
}

void TestOffsets::forkIgnoresPierSide() {
    QFETCH(int, flags);
    Recorder west, east;
    TrackParams p =
        Example(kFork, kWest, flags & 1, flags >> 1 & 1, flags >> 2 & 1, flags >> 3 & 1);
    QCOMPARE(UpdateOffsets(p, west, west, "."), UpdateResult::Shown);
    p.EastWest = kEast;
    QCOMPARE(UpdateOffsets(p, east, east, "."), UpdateResult::Shown);
    QCOMPARE(east.events, west.events);
    // Only the West flags act: bit 0 reverses X, bit 1 reverses Y.
    QCOMPARE(west.events,
             (QStringList{flags & 1 ? "X +0.96" : "X -0.96", flags & 2 ? "Y +1.37" : "Y -1.37"}));
}

// A camera turned by a quarter or half turn shows what the reversal flags, and an exchange
// of the axes, would show unturned. The flags act after the turn. Angle 0 is every other
// row of this file.
void TestOffsets::cameraAngle_data() {
    QTest::addColumn<TrackParams>("turned");
    QTest::addColumn<TrackParams>("imitation");  // camera angle 0
    QTest::addColumn<bool>("swapped");           // the imitation's X and Y change places

    auto turned = [](TrackParams p, float angle) {
        p.CameraAngle = angle;
        return p;
    };
    auto row = [](const char* name, const TrackParams& turned, const TrackParams& imitation,
                  bool swapped) { QTest::newRow(name) << turned << imitation << swapped; };
    row("180, as both flags", turned(Example(kGem, kEast), 180), Example(kGem, kEast, 0, 0, 1, 1),
        false);
    row("90, as Dec reversed and swapped", turned(Example(kGem, kEast), 90),
        Example(kGem, kEast, 0, 0, 0, 1), true);
    row("270, as RA reversed and swapped", turned(Example(kGem, kEast), 270),
        Example(kGem, kEast, 0, 0, 1, 0), true);
    row("-90, as 270", turned(Example(kGem, kEast), -90), Example(kGem, kEast, 0, 0, 1, 0), true);
    row("90 with RA reversed after the turn", turned(Example(kGem, kWest, 1), 90),
        Example(kGem, kWest), true);
}

void TestOffsets::cameraAngle() {
    QFETCH(TrackParams, turned);
    QFETCH(TrackParams, imitation);
    QFETCH(bool, swapped);

    Recorder shown, imitated;
    QCOMPARE(UpdateOffsets(turned, shown, shown, "."), UpdateResult::Shown);
    QCOMPARE(UpdateOffsets(imitation, imitated, imitated, "."), UpdateResult::Shown);
    const QString x = imitated.events.value(0).mid(2), y = imitated.events.value(1).mid(2);
    const QStringList expected =
        swapped ? QStringList{"X " + y, "Y " + x} : QStringList{"X " + x, "Y " + y};
    QCOMPARE(shown.events, expected);
}

// The README's reversal test, done at the telescope on a camera whose real axes are known:
// +Y on the sky at the camera angle, +X a quarter turn east of it (west when mirrored),
// and the camera software's own sense of each axis. A test track at PA = angle must move
// the stars away from that PA, along Y only; at PA = angle + 90, along X only. The flags
// ticked from what is seen must then guide every PA the right way.
void TestOffsets::reversalTestInCameraTerms_data() {
    QTest::addColumn<float>("angle");
    QTest::addColumn<bool>("mirrored");
    QTest::addColumn<int>("ySense");  // +1: the software's +Y is the sensor's +Y

    for (float angle : {0.f, 35.f, 90.f, 180.f, 270.f, 301.5f}) {
        for (bool mirrored : {false, true}) {
            for (int ySense : {1, -1}) {
                QTest::addRow("%g%s%s", double(angle), mirrored ? " mirrored" : "",
                              ySense < 0 ? " Y turned" : "")
                    << angle << mirrored << ySense;
            }
        }
    }
}

void TestOffsets::reversalTestInCameraTerms() {
    QFETCH(float, angle);
    QFETCH(bool, mirrored);
    QFETCH(int, ySense);

    // East and north parts of the sky direction at a position angle.
    const auto toward = [](double pa) {
        const double r = pa * std::numbers::pi / 180;
        return std::pair{std::sin(r), std::cos(r)};
    };
    // Plain values, not bindings: a lambda below uses them.
    const std::pair<double, double> y = toward(angle);
    const std::pair<double, double> x = toward(angle + (mirrored ? -90.0 : 90.0));
    const double yEast = y.first, yNorth = y.second, xEast = x.first, xNorth = x.second;
    // Where the stars go on the sky when the guide point moves by an offset.
    const auto starsMove = [&](PixelOffset o) {
        return std::pair{o.x * xEast + ySense * o.y * yEast, o.x * xNorth + ySense * o.y * yNorth};
    };
    // Away from the PA: the way pressing towards it on the hand controller moves them.
    const auto goesAway = [&](PixelOffset o, double pa) {
        const auto [e, n] = starsMove(o);
        const auto [pe, pn] = toward(pa);
        return e * pe + n * pn < 0;
    };

    TrackParams p = Make(60, 0, 120, 1, kFork, kWest);
    p.CameraAngle = angle;
    const std::optional<PixelOffset> alongY = OffsetFor(p, 60, angle, 120);
    QVERIFY(alongY);
    QVERIFY(std::fabs(alongY->x) < 1e-3f * std::fabs(alongY->y));
    if (!goesAway(*alongY, angle)) p.DecRevWest = 1;
    const std::optional<PixelOffset> alongX = OffsetFor(p, 60, angle + 90, 120);
    QVERIFY(alongX);
    QVERIFY(std::fabs(alongX->y) < 1e-3f * std::fabs(alongX->x));
    if (!goesAway(*alongX, angle + 90)) p.RaRevWest = 1;

    QCOMPARE(p.RaRevWest == 1, mirrored);
    QCOMPARE(p.DecRevWest == 1, ySense < 0);
    for (int pa = 0; pa < 360; pa += 15) {
        const std::optional<PixelOffset> o = OffsetFor(p, 60, float(pa), 120);
        QVERIFY(o);
        const auto [e, n] = starsMove(*o);
        const auto [pe, pn] = toward(pa);
        // Exactly against the object's motion: 60 "/min for 2 minutes at 1 "/px.
        QVERIFY2(std::fabs(e + 120 * pe) < 1e-3 && std::fabs(n + 120 * pn) < 1e-3,
                 qPrintable(QString("PA %1: stars move %2 east, %3 north").arg(pa).arg(e).arg(n)));
    }
}

void TestOffsets::overflow_data() {
    QTest::addColumn<TrackParams>("params");

    QTest::newRow("both axes") << Make(25, 35, 15, 1e-45f, kGem, kEast);
    QTest::newRow("Y only (X is -0)") << Make(25, 0, 15, 1e-45f, kGem, kEast);
    QTest::newRow("X only (Y fits)") << Make(25, 90, 15, 1e-45f, kGem, kEast);
    QTest::newRow("huge motion and interval") << Make(3e38f, 35, 1e10f, 1, kGem, kEast);
}

// An offset beyond single range is reported once and changes nothing: no infinity is
// stored and the previous captions stay.
void TestOffsets::overflow() {
    QFETCH(TrackParams, params);

    TrackParams record = Example(kGem, kWest, 1);
    Recorder recorder;
    QCOMPARE(UpdateOffsets(record, recorder, recorder, "."), UpdateResult::Shown);
    const TrackParams before = record;

    record.Motion = params.Motion;
    record.PA = params.PA;
    record.TimeInterval = params.TimeInterval;
    record.PixSize = params.PixSize;
    record.EastWest = params.EastWest;
    recorder.events.clear();
    QCOMPARE(UpdateOffsets(record, recorder, recorder, "."), UpdateResult::Overflow);
    QCOMPARE(recorder.events, QStringList{Msg(kOverflowMessage)});
    QCOMPARE(Bits(record.DeltaX), Bits(before.DeltaX));
    QCOMPARE(Bits(record.DeltaY), Bits(before.DeltaY));
    QCOMPARE(record.SignX, before.SignX);
    QCOMPARE(record.SignY, before.SignY);
}

QTEST_APPLESS_MAIN(TestOffsets)
#include "tst_offsets.moc"
