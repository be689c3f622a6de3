#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QPointF>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <random>

#include "core/Rounding.h"
#include "core/StoreNumber.h"
#include "core/Validation.h"
#include "ephemeris/Rate.h"
#include "ephemeris/UtcTime.h"
#include "tests/support/ExactPath.h"
#include "tests/support/PrivateMounts.h"
#include "tests/support/TestFiles.h"
#include "trackfile/FileExists.h"
#include "trackfile/SaveCommand.h"
#include "trackfile/Steps.h"
#include "trackfile/TrackWriter.h"

using namespace Pelindra::Core;
using namespace Pelindra::TrackFile;
using Pelindra::Ephemeris::Table;
using Pelindra::Ephemeris::UtcMs;

Q_DECLARE_METATYPE(TrackParams)
Q_DECLARE_METATYPE(ExactPath::GreatCircle)

namespace {

QByteArray ToQt(const std::string& bytes) {
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

QByteArrayList Repeat(const QByteArray& line, int count) {
    QByteArrayList lines;
    for (int i = 0; i < count; ++i) lines << line;
    return lines;
}

// The main window as the save command sees it: scripted answers, every effect recorded.
class FakeUi : public SaveCommandUi {
  public:
    std::optional<std::string> choice;  // nullopt: the user cancels the chooser
    bool answer = true;
    std::string intervalText = "15";
    std::function<void()> whileChoosing;  // something the user does while the chooser is open

    QStringList messages;
    QStringList chooserFolders;
    int questions = 0;
    QString captionX, captionY;

    void ShowError(const std::string& text) override { messages << QString::fromStdString(text); }
    void SetDeltaXCaption(const std::string& c) override { captionX = QString::fromStdString(c); }
    void SetDeltaYCaption(const std::string& c) override { captionY = QString::fromStdString(c); }
    std::optional<std::string> ChooseTrackFile(const std::string& folder) override {
        chooserFolders << QString::fromStdString(folder);
        if (whileChoosing) whileChoosing();
        return choice;
    }
    bool ConfirmOverwrite() override {
        ++questions;
        return answer;
    }
    std::string TimeIntervalText() override { return intervalText; }
    bool AllEntriesStored() override { return entriesStored; }
    bool entriesStored = true;
    std::optional<EphemerisStart> FollowedEphemeris() override {
        if (!followed) return std::nullopt;
        return EphemerisStart{*followed, followedFrom, typedDeclination};
    }
    const Table* followed = nullptr;  // the user chose to follow this ephemeris
    UtcMs followedFrom = 0;
    std::optional<double> typedDeclination;
    QList<QStringList> notes;  // each time the command tells them
    void ShowTrackNotes(const std::vector<std::string>& told) override {
        QStringList list;
        for (const std::string& note : told) list << QString::fromStdString(note);
        notes << list;
    }
};

// German mount on the East side, nothing reversed, as in both worked examples.
TrackParams Params(float motion, float pa, float pixSize, float totalTime, float interval) {
    TrackParams p;
    p.Motion = motion;
    p.PA = pa;
    p.PixSize = pixSize;
    p.TotalTime = totalTime;
    p.TimeInterval = interval;
    p.MountType = kFalse;
    p.EastWest = kFalse;
    return p;
}
TrackParams Example1() {
    return Params(12, 35, 1.8f, 1.5f, 15);
}
TrackParams Example2() {
    return Params(25, 250, 2.2f, 1, 8);
}

const QByteArrayList kExample1 = {"15 -1.0 -1.4", "15 -1.0 -1.4", "15 -0.9 -1.3",
                                  "15 -1.0 -1.4", "15 -0.9 -1.4", "15 -1.0 -1.3"};

// A moment of the night the ephemerides below describe: 2026-12-07 21:00 UTC plus minutes.
UtcMs Night(double minutes) {
    return *Pelindra::Ephemeris::ParseUtcTime("2026-12-07T21:00") + std::llround(minutes * 60000);
}

// Rows as (minutes into the night, eastward and northward rates in arcsec per minute).
Table Ephemeris(const QList<double>& rows) {
    Table table;
    for (qsizetype i = 0; i + 2 < rows.size(); i += 3) {
        table.rows.push_back({Night(rows[i]), rows[i + 1], rows[i + 2], {}, {}});
    }
    return table;
}

// The X and Y columns of a track text as signed whole tenths, line by line.
QList<std::pair<qint64, qint64>> Tenths(const std::string& text) {
    QList<std::pair<qint64, qint64>> columns;
    for (const QByteArray& line : ToQt(text).split('\n')) {
        if (line.isEmpty()) continue;
        const QByteArrayList fields = line.chopped(1).split(' ');
        if (fields.size() != 3) return {};
        columns.append(
            {std::llround(fields[1].toDouble() * 10), std::llround(fields[2].toDouble() * 10)});
    }
    return columns;
}

QByteArrayList Example2Lines(const QByteArray& interval) {
    QByteArrayList lines = Repeat(interval + " +1.4 +0.5", 4);
    lines << interval + " +1.5 +0.5" << interval + " +1.4 +0.6" << interval + " +1.4 +0.5"
          << interval + " +1.4 +0.5";
    return lines;
}

}  // namespace

class TestTrackFile : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString Path(const QString& name) const {
        return name.isEmpty() || name.startsWith('/') ? name : dir_->filePath(name);
    }

  private slots:
    void init();

    void intervalText_data();
    void intervalText();
    void trackText_data();
    void trackText();
    void trackTextStaysWithinATenth_data();
    void trackTextStaysWithinATenth();
    void trackTextOverflow();
    void trackTextFromSteps_data();
    void trackTextFromSteps();
    void followingSteps_data();
    void followingSteps();
    void followingStaysWithinATenth_data();
    void followingStaysWithinATenth();

    void fileExists_data();
    void fileExists();

    void saveWritesTrack_data();
    void saveWritesTrack();
    void rowCount_data();
    void rowCount();
    void firstValidationStopsBeforeChooser_data();
    void firstValidationStopsBeforeChooser();
    void recordReadAfterChooser();
    void followingConstantRateAsTyped_data();
    void followingConstantRateAsTyped();
    void followingCoverage_data();
    void followingCoverage();
    void followingTruePath_data();
    void followingTruePath();
    void followingDoublePrecision_data();
    void followingDoublePrecision();
    void followingNotes_data();
    void followingNotes();
    void followingHoles_data();
    void followingHoles();
    void cancel_data();
    void cancel();
    void overwrite_data();
    void overwrite();
    void writeFailure_data();
    void writeFailure();
    void interruptedWriteKeepsOldFile();
};

void TestTrackFile::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestTrackFile::intervalText_data() {
    QTest::addColumn<QByteArray>("box");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("5") << QByteArray("5") << QByteArray("05");
    QTest::newRow("7.5") << QByteArray("7.5") << QByteArray("07.5");
    QTest::newRow("0.5") << QByteArray("0.5") << QByteArray("00.5");
    QTest::newRow("15") << QByteArray("15") << QByteArray("15");
    QTest::newRow("10") << QByteArray("10") << QByteArray("10");
    // Only the numeric part reaches the file: every line keeps its three fields.
    QTest::newRow("trailing text") << QByteArray("8s") << QByteArray("08");
    QTest::newRow("repaired interval") << QByteArray(" 1") << QByteArray("01");
    QTest::newRow("blank between digits") << QByteArray("1 2") << QByteArray("12");
    QTest::newRow("line break after") << QByteArray("15\n") << QByteArray("15");
    QTest::newRow("forged line") << QByteArray("15\r\nEVIL") << QByteArray("15");
    QTest::newRow("decimal comma") << QByteArray("7,5") << QByteArray("07,5");
    QTest::newRow("exponent") << QByteArray("1e1") << QByteArray("1e1");
    QTest::newRow("no number") << QByteArray("abc") << QByteArray("0");
    QTest::newRow("empty") << QByteArray("") << QByteArray("0");
}

void TestTrackFile::intervalText() {
    QFETCH(QByteArray, box);
    QFETCH(QByteArray, expected);
    QCOMPARE(ToQt(IntervalText(box.toStdString())), expected);
}

void TestTrackFile::trackText_data() {
    QTest::addColumn<float>("deltaX");
    QTest::addColumn<float>("deltaY");
    QTest::addColumn<QByteArray>("signs");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<QByteArray>("expected");

    const float x1 = float(0.955960750579834), y1 = float(1.3652534484863281);
    QTest::newRow("first example")
        << x1 << y1 << QByteArray("--") << 6 << QByteArray(".") << Lines(kExample1);
    QByteArrayList comma = kExample1;
    for (QByteArray& line : comma) line.replace('.', ',');
    QTest::newRow("locale comma") << x1 << y1 << QByteArray("--") << 6 << QByteArray(",")
                                  << Lines(comma);

    // Below 0.05 the step is 0.0 and only the corrections write anything.
    QByteArrayList column;
    for (const char* x :
         {"0.0", "0.0", "0.1", "0.0", "0.1", "0.0", "0.1", "0.0", "0.1", "0.0", "0.0", "0.1"})
        column << QByteArray("15 +") + x + " -0.0";
    QTest::newRow("0.045 column") << 0.045f << 0.0f << QByteArray("+-") << 12 << QByteArray(".")
                                  << Lines(column);
    // 0.05 steps 0.1; on the second row d is exactly the single 0.1, which counts.
    QTest::newRow("d exactly a tenth") << 0.05f << 0.05f << QByteArray("++") << 2 << QByteArray(".")
                                       << Lines({"15 +0.1 +0.1", "15 +0.0 +0.0"});
    // 0.025 steps 0.0; four of them sum to exactly the single 0.1, so d is -0.1 on row 4.
    QTest::newRow("d exactly minus a tenth")
        << 0.025f << 0.0f << QByteArray("+-") << 4 << QByteArray(".")
        << Lines({"15 +0.0 -0.0", "15 +0.0 -0.0", "15 +0.0 -0.0", "15 +0.1 -0.0"});
    QTest::newRow("zero offset") << 0.0f << 0.0f << QByteArray("--") << 3 << QByteArray(".")
                                 << Lines(Repeat("15 -0.0 -0.0", 3));
    // The step is rounded half to even, on the single-precision value.
    QTest::newRow("0.25 steps 0.2, 0.35 steps 0.3")
        << 0.25f << 0.35f << QByteArray("++") << 1 << QByteArray(".") << Lines({"15 +0.2 +0.3"});
    QTest::newRow("no rows") << x1 << y1 << QByteArray("--") << 0 << QByteArray(".")
                             << QByteArray();
}

void TestTrackFile::trackText() {
    QFETCH(float, deltaX);
    QFETCH(float, deltaY);
    QFETCH(QByteArray, signs);
    QFETCH(int, rows);
    QFETCH(QByteArray, separator);
    QFETCH(QByteArray, expected);

    TrackParams p;
    p.DeltaX = deltaX;
    p.DeltaY = deltaY;
    p.SignX = signs.left(1).toStdString();
    p.SignY = signs.mid(1).toStdString();
    const auto text = TrackText(p, rows, "15", separator.toStdString());
    QVERIFY(text.has_value());
    QCOMPARE(ToQt(*text), expected);
}

void TestTrackFile::trackTextStaysWithinATenth_data() {
    QTest::addColumn<float>("delta");
    QTest::addColumn<int>("rows");
    for (float delta : {0.045f, 0.25f, 0.37f, 0.95596075f, 2.349f})
        QTest::addRow("%g", double(delta)) << delta << (delta < 0.5f ? 500 : 100);
}

// The written steps, summed, never run a tenth or more from the true running total, and
// no line moves more than a tenth away from the rounded step.
void TestTrackFile::trackTextStaysWithinATenth() {
    QFETCH(float, delta);
    QFETCH(int, rows);

    TrackParams p;
    p.DeltaX = delta;
    p.DeltaY = delta;
    p.SignX = "+";
    p.SignY = "-";
    const auto text = TrackText(p, rows, "15", ".");
    QVERIFY(text.has_value());
    const QByteArrayList lines = ToQt(*text).split('\n');
    QCOMPARE(lines.size(), rows + 1);  // the last line ends with CR LF too
    QVERIFY(lines.last().isEmpty());

    const double step = std::nearbyint(double(delta) * 10) / 10;
    double written = 0;
    for (int i = 0; i < rows; ++i) {
        const QByteArrayList fields = lines[i].chopped(1).split(' ');
        QCOMPARE(fields.size(), 3);
        QCOMPARE(fields[0], QByteArray("15"));
        QVERIFY(fields[1].startsWith('+'));
        QCOMPARE(fields[2], "-" + fields[1].mid(1));  // same correction on both axes
        const double out = fields[1].mid(1).toDouble();
        QVERIFY2(std::fabs(out - step) < 0.1 + 1e-9, lines[i].constData());
        written += out;
        // The totals are singles: allow for their rounding over the rows.
        QVERIFY2(std::fabs(written - double(delta) * (i + 1)) < 0.1 + 1e-3,
                 qPrintable(QString("row %1").arg(i + 1)));
    }
}

void TestTrackFile::trackTextOverflow() {
    TrackParams p;
    p.DeltaX = 3e38f;  // the second row's running total no longer fits a float
    p.SignX = p.SignY = "+";
    QVERIFY(TrackText(p, 1, "15", ".").has_value());
    QVERIFY(!TrackText(p, 2, "15", ".").has_value());
}

void TestTrackFile::trackTextFromSteps_data() {
    QTest::addColumn<QList<QPointF>>("steps");
    QTest::addColumn<QByteArrayList>("expected");

    // X: written ahead by 0.12 on line 4, which writes nothing; then the steps turn back,
    // and line 8 is corrected to nothing from the other side, still signed as its step.
    // Y: a step of zero writes "-" unless it is above zero; then the signs alternate.
    const QList<double> x = {0.07, 0.07, 0.07, 0.07, -0.065, -0.065, -0.065, -0.065};
    const QList<double> y = {0.0, -0.0, 0.01, -0.01, 0.26, -0.26, 0.26, -0.26};
    QList<QPointF> steps;
    for (qsizetype i = 0; i < x.size(); ++i) steps << QPointF(x[i], y[i]);
    QTest::newRow("signs change from line to line")
        << steps << QByteArrayList{"15 +0.1 -0.0", "15 +0.1 -0.0", "15 +0.1 +0.0", "15 +0.0 -0.0",
                                   "15 -0.1 +0.3", "15 -0.1 -0.3", "15 -0.1 +0.3", "15 -0.0 -0.3"};
}

void TestTrackFile::trackTextFromSteps() {
    QFETCH(QList<QPointF>, steps);
    QFETCH(QByteArrayList, expected);

    Steps exact;
    for (const QPointF& step : steps) exact.push_back({float(step.x()), float(step.y())});
    const auto text = TrackTextFromSteps(exact, "15", ".");
    QVERIFY(text.has_value());
    QCOMPARE(ToQt(*text), Lines(expected));
}

void TestTrackFile::followingSteps_data() {
    QTest::addColumn<QList<double>>("rows");  // minutes, east and north "/min
    QTest::addColumn<double>("startMinutes");
    QTest::addColumn<float>("interval");
    QTest::addColumn<float>("pixSize");
    QTest::addColumn<float>("cameraAngle");
    QTest::addColumn<QList<QPointF>>("expected");  // pixels, worked out by hand

    // East from 0 to 1 "/min over the hour: minute k moves (2k + 1) / 120 arcsec, six times
    // less than that many 0.05" pixels, along -X.
    QList<QPointF> rising;
    for (int k = 0; k < 60; ++k) rising << QPointF(-(2 * k + 1) / 6.0, 0);
    QTest::newRow("rate rising linearly")
        << QList<double>{0, 0, 0, 60, 1, 0} << 0.0 << 60.0f << 0.05f << 0.0f << rising;
    // The camera's +Y axis points east: the same motion runs along -Y.
    QList<QPointF> risingTurned;
    for (const QPointF& step : rising) risingTurned << QPointF(0, step.x());
    QTest::newRow("rate rising linearly, camera at 90")
        << QList<double>{0, 0, 0, 60, 1, 0} << 0.0 << 60.0f << 0.05f << 90.0f << risingTurned;
    // East 0, 1, 0 "/min at 0, 30 and 60 minutes; 20-minute lines from minute 5 move 10
    // arcsec, then 4.5833 before the row at 30 and 11.25 after it.
    QTest::newRow("a row inside a line")
        << QList<double>{0, 0, 0, 30, 1, 0, 60, 0, 0} << 5.0 << 1200.0f << 1.0f << 0.0f
        << QList<QPointF>{{-10, 0}, {-15.833333, 0}};
    // North from +1 to -1 "/min, zero at 30 minutes, east 0.5 "/min throughout: 25-minute
    // lines move 14.5833 arcsec north, then 6.25 south, and 12.5 east each.
    QTest::newRow("the rate turns within a line")
        << QList<double>{0, 0.5, 1, 60, 0.5, -1} << 0.0 << 1500.0f << 1.0f << 0.0f
        << QList<QPointF>{{-12.5, -14.583333}, {-12.5, 6.25}};
}

void TestTrackFile::followingSteps() {
    QFETCH(QList<double>, rows);
    QFETCH(double, startMinutes);
    QFETCH(float, interval);
    QFETCH(float, pixSize);
    QFETCH(float, cameraAngle);
    QFETCH(QList<QPointF>, expected);

    TrackParams p = Params(0, 0, pixSize, 0, interval);
    p.CameraAngle = cameraAngle;
    const auto steps =
        FollowingSteps(Ephemeris(rows), Night(startMinutes), p, int(expected.size()));
    const auto* problem = std::get_if<std::string>(&steps);
    QVERIFY2(!problem, problem ? problem->c_str() : "");
    const Steps& actual = std::get<Steps>(steps);
    QCOMPARE(qsizetype(actual.size()), expected.size());
    for (qsizetype k = 0; k < expected.size(); ++k) {
        const auto near = [](float value, double hand) {
            return std::fabs(value - hand) <= 1e-5 * std::max(1.0, std::fabs(hand));
        };
        QVERIFY2(near(actual[k].x, expected[k].x()) && near(actual[k].y, expected[k].y()),
                 qPrintable(QString("line %1: %2 %3").arg(k).arg(actual[k].x).arg(actual[k].y)));
    }
}

void TestTrackFile::followingStaysWithinATenth_data() {
    QTest::addColumn<unsigned>("seed");
    QTest::addColumn<int>("lines");
    QTest::addColumn<float>("interval");
    QTest::addColumn<float>("pixSize");
    QTest::addColumn<double>("largestRate");  // "/min, either way along each axis

    QTest::newRow("a night of 15 s lines") << 1u << 2880 << 15.0f << 1.8f << 2.0;
    QTest::newRow("the longest track, 1 s lines, a fast flyby")
        << 2u << 32767 << 1.0f << 0.5f << 20.0;
    QTest::newRow("the longest track, 15 s lines, a slow comet")
        << 3u << 32767 << 15.0f << 2.2f << 0.3;
    QTest::newRow("7.5 s lines, fine pixels") << 4u << 10000 << 7.5f << 0.3f << 1.0;
}

// Rates drawn at random every ten minutes, each axis changing sign again and again: after
// every line the written steps, summed, stay less than a tenth from the exact steps summed,
// and each written step within 0.15 of its exact step.
void TestTrackFile::followingStaysWithinATenth() {
    QFETCH(unsigned, seed);
    QFETCH(int, lines);
    QFETCH(float, interval);
    QFETCH(float, pixSize);
    QFETCH(double, largestRate);

    std::mt19937 random(seed);
    std::uniform_real_distribution<double> rate(-largestRate, largestRate);
    QList<double> rows;
    const double minutes = lines * double(interval) / 60 + 20;
    for (double minute = 0; minute <= minutes; minute += 10)
        rows << minute << rate(random) << rate(random);
    const UtcMs start = Night(std::uniform_real_distribution<double>(0, 10)(random));
    TrackParams p = Params(0, 0, pixSize, 0, interval);
    p.EastWest = kTrue;
    p.RaRevWest = 1;

    const auto steps = FollowingSteps(Ephemeris(rows), start, p, lines);
    QVERIFY(std::holds_alternative<Steps>(steps));
    const Steps& exact = std::get<Steps>(steps);
    const auto text = TrackTextFromSteps(exact, "15", ".");
    QVERIFY(text.has_value());
    const auto written = Tenths(*text);
    QCOMPARE(written.size(), qsizetype(lines));

    // The running totals are singles: each line's roundings may move them by a unit in the
    // last place of what they hold, which the bound allows for.
    double exactX = 0, exactY = 0, slackX = 0, slackY = 0;
    qint64 writtenX = 0, writtenY = 0;
    bool turnsX = false, turnsY = false;
    for (int k = 0; k < lines; ++k) {
        const double x = exact[std::size_t(k)].x, y = exact[std::size_t(k)].y;
        exactX += x;
        exactY += y;
        writtenX += written[k].first;
        writtenY += written[k].second;
        slackX +=
            std::ldexp(std::fabs(exactX) + std::fabs(writtenX / 10.0) + std::fabs(x) + 1, -22);
        slackY +=
            std::ldexp(std::fabs(exactY) + std::fabs(writtenY / 10.0) + std::fabs(y) + 1, -22);
        const QString where = QString("line %1").arg(k + 1);
        QVERIFY2(std::fabs(writtenX / 10.0 - exactX) < 0.1 + slackX, qPrintable(where));
        QVERIFY2(std::fabs(writtenY / 10.0 - exactY) < 0.1 + slackY, qPrintable(where));
        QVERIFY2(std::fabs(written[k].first / 10.0 - x) <= 0.15 + std::ldexp(std::fabs(x) + 1, -22),
                 qPrintable(where));
        QVERIFY2(
            std::fabs(written[k].second / 10.0 - y) <= 0.15 + std::ldexp(std::fabs(y) + 1, -22),
            qPrintable(where));
        turnsX = turnsX || (k > 0 && (x > 0) != (exact[std::size_t(k) - 1].x > 0));
        turnsY = turnsY || (k > 0 && (y > 0) != (exact[std::size_t(k) - 1].y > 0));
    }
    QVERIFY(turnsX && turnsY);
}

void TestTrackFile::fileExists_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("expected");

    QTest::newRow("file") << "plain.trk" << true;
    QTest::newRow("hidden file") << ".x.trk" << true;
    QTest::newRow("link to file") << "link.trk" << true;
    QTest::newRow("device") << "/dev/null" << true;
    QTest::newRow("folder") << "sub" << false;
    QTest::newRow("link to folder") << "sublink" << false;
    QTest::newRow("missing") << "missing.trk" << false;
    QTest::newRow("empty name") << "" << false;
}

void TestTrackFile::fileExists() {
    QFETCH(QString, name);
    QFETCH(bool, expected);

    WriteAll(Path("plain.trk"), "x");
    WriteAll(Path(".x.trk"), "x");
    QVERIFY(QDir(dir_->path()).mkdir("sub"));
    QVERIFY(QFile::link(Path("plain.trk"), Path("link.trk")));
    QVERIFY(QFile::link(Path("sub"), Path("sublink")));

    QCOMPARE(FileExists(Path(name).toStdString()), expected);
}

void TestTrackFile::saveWritesTrack_data() {
    QTest::addColumn<TrackParams>("params");
    QTest::addColumn<QByteArray>("interval");
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("captionX");
    QTest::addColumn<QString>("captionY");

    QTest::newRow("first example")
        << Example1() << QByteArray("15") << QByteArray(".") << Lines(kExample1) << "-0.96"
        << "-1.37";
    QByteArrayList comma = kExample1;
    for (QByteArray& line : comma) line.replace('.', ',');
    QTest::newRow("first example, comma")
        << Example1() << QByteArray("15") << QByteArray(",") << Lines(comma) << "-0,96"
        << "-1,37";
    QTest::newRow("second example")
        << Example2() << QByteArray("8") << QByteArray(".") << Lines(Example2Lines("08")) << "+1.42"
        << "+0.52";
    QTest::newRow("text after the number") << Example2() << QByteArray("8s") << QByteArray(".")
                                           << Lines(Example2Lines("08")) << "+1.42"
                                           << "+0.52";
    // A track file is single-byte text: a separator of two bytes (U+066B) gives way to ".".
    QTest::newRow("Arabic separator") << Example1() << QByteArray("15") << QByteArray("\xd9\xab")
                                      << Lines(kExample1) << "-0\u066B96"
                                      << "-1\u066B37";

    QTest::newRow("no motion") << Params(0, 35, 1.8f, 1, 15) << QByteArray("15") << QByteArray(".")
                               << Lines(Repeat("15 -0.0 -0.0", 4)) << "-0.00"
                               << "-0.00";

    // The interval repaired by the main window: three one-second rows.
    QTest::newRow("repaired interval")
        << Params(12, 35, 1.8f, 0.05f, 1) << QByteArray(" 1") << QByteArray(".")
        << Lines({"01 -0.1 -0.1", "01 -0.1 -0.1", "01 -0.0 -0.1"}) << "-0.06"
        << "-0.09";
}

void TestTrackFile::saveWritesTrack() {
    QFETCH(TrackParams, params);
    QFETCH(QByteArray, interval);
    QFETCH(QByteArray, separator);
    QFETCH(QByteArray, expected);
    QFETCH(QString, captionX);
    QFETCH(QString, captionY);

    FakeUi ui;
    ui.choice = Path("track.trk").toStdString();
    ui.intervalText = interval.toStdString();
    QCOMPARE(SaveTrackFile(params, ui, separator.toStdString()), SaveResult::Written);

    QCOMPARE(ReadAll(Path("track.trk")), expected);
    QCOMPARE(ui.messages, QStringList());
    QCOMPARE(ui.questions, 0);
    QCOMPARE(ui.captionX, captionX);
    QCOMPARE(ui.captionY, captionY);
    QCOMPARE(QString::fromStdString(params.Directory), dir_->path());
    QCOMPARE(Listing(dir_->path()), QStringList{"track.trk"});
}

void TestTrackFile::rowCount_data() {
    QTest::addColumn<float>("totalTime");
    QTest::addColumn<float>("interval");
    QTest::addColumn<int>("lines");  // -1: too many intervals, -2: "Overflow"
    QTest::addColumn<float>("pixSize");

    auto row = [](const char* name, float totalTime, float interval, int lines,
                  float pixSize = 1.8f) {
        QTest::newRow(name) << totalTime << interval << lines << pixSize;
    };
    row("1.5 min / 15 s", 1.5f, 15.0f, 6);
    row("7.5 rounds up to 8", 1.0f, 8.0f, 8);
    row("2.5 rounds down to 2", 1.0f, 24.0f, 2);
    row("1.5 rounds up to 2", 1.0f, 40.0f, 2);
    row("zero time empties", 0.0f, 15.0f, 0);
    row("negative time empties", -5.0f, 15.0f, 0);
    row("32766.5 rounds to 32766", 65533.0f, 120.0f, 32766);
    row("exactly 32767", 32767.0f, 60.0f, 32767);
    row("32767.5 rounds to 32768", 65535.0f, 120.0f, -1);
    row("36000", 600.0f, 1.0f, -1);
    row("-36000", -600.0f, 1.0f, -2);
    // Each step fits a float, two of them summed do not.
    row("steps leave single range", 0.5f, 15.0f, -2, 8e-39f);
}

void TestTrackFile::rowCount() {
    QFETCH(float, totalTime);
    QFETCH(float, interval);
    QFETCH(int, lines);
    QFETCH(float, pixSize);

    const QByteArray old = "old content\r\n";
    WriteAll(Path("track.trk"), old);
    TrackParams p = Example1();
    p.TotalTime = totalTime;
    p.TimeInterval = interval;
    p.PixSize = pixSize;
    FakeUi ui;
    ui.choice = Path("track.trk").toStdString();
    const bool written = SaveTrackFile(p, ui, ".") == SaveResult::Written;

    QCOMPARE(ui.questions, 1);
    QCOMPARE(Listing(dir_->path()), QStringList{"track.trk"});
    const QByteArray bytes = ReadAll(Path("track.trk"));
    if (lines < 0) {
        QVERIFY(!written);
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0],
                 lines == -1 ? "Too many intervals: the track would need more than 32767 lines"
                             : "Overflow");
        QCOMPARE(bytes, old);
    } else {
        QVERIFY(written);
        QCOMPARE(ui.messages, QStringList());
        QCOMPARE(bytes.count("\r\n"), lines);
        QCOMPARE(bytes.count('\n'), lines);
        QVERIFY(lines == 0 || bytes.endsWith("\r\n"));
    }
}

void TestTrackFile::firstValidationStopsBeforeChooser_data() {
    QTest::addColumn<float>("pixSize");
    QTest::addColumn<float>("interval");
    QTest::addColumn<bool>("entriesStored");
    QTest::addColumn<QString>("message");

    QTest::newRow("pixel size 0") << 0.0f << 15.0f << true << QString(kPixelSizeMessage.data());
    QTest::newRow("interval 0") << 1.0f << 0.0f << true << QString(kTimeIntervalMessage.data());
    QTest::newRow("interval negative")
        << 1.0f << -8.0f << true << QString(kTimeIntervalMessage.data());
    // A box shows a number the record could not take (typed 1e39): no track for another value.
    QTest::newRow("a box holds an unstored number") << 1.0f << 15.0f << false << "Overflow";
}

void TestTrackFile::firstValidationStopsBeforeChooser() {
    QFETCH(float, pixSize);
    QFETCH(float, interval);
    QFETCH(bool, entriesStored);
    QFETCH(QString, message);

    TrackParams p = Example1();
    p.PixSize = pixSize;
    p.TimeInterval = interval;
    p.Directory = "/old";
    FakeUi ui;
    ui.entriesStored = entriesStored;
    ui.choice = Path("track.trk").toStdString();
    QCOMPARE(SaveTrackFile(p, ui, "."), SaveResult::NotWritten);
    QCOMPARE(ui.messages, QStringList{message});
    QCOMPARE(ui.chooserFolders, QStringList());
    QCOMPARE(QString::fromStdString(p.Directory), "/old");
    QCOMPARE(Listing(dir_->path()), QStringList());
}

// A setup applied while the chooser is open counts: the record is read after it closes.
void TestTrackFile::recordReadAfterChooser() {
    TrackParams p = Example1();
    FakeUi ui;
    ui.choice = Path("longer.trk").toStdString();
    ui.whileChoosing = [&] { p.TotalTime = 3; };
    QCOMPARE(SaveTrackFile(p, ui, "."), SaveResult::Written);
    QCOMPARE(ReadAll(Path("longer.trk")).count("\r\n"), 12);

    p = Example1();
    FakeUi invalid;
    invalid.choice = Path("invalid.trk").toStdString();
    invalid.whileChoosing = [&] { p.PixSize = 0; };
    QCOMPARE(SaveTrackFile(p, invalid, "."), SaveResult::NotWritten);
    QCOMPARE(invalid.messages, QStringList{QString(kPixelSizeMessage.data())});
    QVERIFY(!QFileInfo::exists(Path("invalid.trk")));
}

void TestTrackFile::followingConstantRateAsTyped_data() {
    QTest::addColumn<double>("east");  // "/min, the same on every row
    QTest::addColumn<double>("north");
    QTest::addColumn<QByteArray>("motion");  // what Use writes into the boxes
    QTest::addColumn<QByteArray>("pa");
    QTest::addColumn<TrackParams>("params");
    QTest::addColumn<QByteArray>("interval");

    // 2.5 "/min toward 30 degrees.
    const double east30 = 1.25, north30 = 2.1650635094610964;
    QTest::newRow("East side, 15 s") << east30 << north30 << QByteArray(" 2.5") << QByteArray(" 30")
                                     << Params(0, 0, 1.8f, 60, 15) << QByteArray("15");
    TrackParams west = Params(0, 0, 0.7f, 90, 8);
    west.EastWest = kTrue;
    west.RaRevWest = west.DecRevWest = 1;
    QTest::newRow("West side, both flags, 8 s")
        << 0.75 << -1.0 << QByteArray(" 1.25") << QByteArray(" 143.1301") << west
        << QByteArray("8");
    TrackParams fork = Params(0, 0, 2.2f, 45, 7.5f);
    fork.MountType = kTrue;
    fork.RaRevWest = 1;
    fork.CameraAngle = 30;
    QTest::newRow("fork, a camera angle, 7.5 s")
        << 0.0 << -1.5 << QByteArray(" 1.5") << QByteArray(" 180") << fork << QByteArray("7.5");
    QTest::newRow("a night of 2400 lines")
        << east30 << north30 << QByteArray(" 2.5") << QByteArray(" 30")
        << Params(0, 0, 0.37f, 600, 15) << QByteArray("15");
}

// An ephemeris whose rate never changes writes the very file its motion and PA write when
// typed, whatever the boxes hold meanwhile.
void TestTrackFile::followingConstantRateAsTyped() {
    QFETCH(double, east);
    QFETCH(double, north);
    QFETCH(QByteArray, motion);
    QFETCH(QByteArray, pa);
    QFETCH(TrackParams, params);
    QFETCH(QByteArray, interval);

    // Values that survive single precision: the texts read back as the rate's own singles.
    const Pelindra::Ephemeris::Rate rate{east, north};
    QCOMPARE(rate.MotionText().value_or(""), motion.toStdString());
    QCOMPARE(rate.PositionAngleText(), pa.toStdString());

    FakeUi typing;
    typing.choice = Path("typed.trk").toStdString();
    typing.intervalText = interval.toStdString();
    TrackParams typed = params;
    QCOMPARE(StoreNumber(motion.toStdString(), typed.Motion, typing), StoreResult::Stored);
    QCOMPARE(StoreNumber(pa.toStdString(), typed.PA, typing), StoreResult::Stored);
    QCOMPARE(typed.Motion, *ToSingle(rate.MotionArcsecPerMinute()));
    QCOMPARE(typed.PA, float(rate.PositionAngleDegrees()));
    QCOMPARE(SaveTrackFile(typed, typing, "."), SaveResult::Written);

    // Rows at uneven steps, the start between two of them and off the whole second.
    const Table table = Ephemeris({0, east, north, 7, east, north, 19, east, north, 60, east, north,
                                   181, east, north, 700, east, north});
    FakeUi following;
    following.choice = Path("followed.trk").toStdString();
    following.intervalText = interval.toStdString();
    following.followed = &table;
    following.followedFrom = Night(3.2875);
    TrackParams boxes = params;
    boxes.Motion = 12;
    boxes.PA = 35;
    QCOMPARE(SaveTrackFile(boxes, following, "."), SaveResult::Written);
    QCOMPARE(following.messages, QStringList());

    const QByteArray bytes = ReadAll(Path("typed.trk"));
    QCOMPARE(bytes.count("\r\n"), qRound(params.TotalTime * 60 / params.TimeInterval));
    QCOMPARE(ReadAll(Path("followed.trk")), bytes);
}

void TestTrackFile::followingCoverage_data() {
    QTest::addColumn<QList<double>>("rows");
    QTest::addColumn<double>("startMinutes");
    QTest::addColumn<float>("interval");
    QTest::addColumn<int>("lines");        // TotalTime 30 minutes
    QTest::addColumn<QString>("message");  // empty: written

    const QList<double> hour = {0, 0.5, -0.25, 60, 1.5, 0.5};
    const QString covers = ", but it covers 2026-12-07 21:00:00 UTC to 2026-12-07 22:00:00 UTC";
    QTest::newRow("starts before the table")
        << hour << -1.0 << 15.0f << 0
        << "The track needs the ephemeris from 2026-12-07 20:59:00 UTC to 2026-12-07 21:29:00 UTC" +
               covers;
    QTest::newRow("ends after the table")
        << hour << 30.0 + 1.0 / 60 << 15.0f << 0
        << "The track needs the ephemeris from 2026-12-07 21:30:01 UTC to 2026-12-07 22:00:01 UTC" +
               covers;
    QTest::newRow("one row covers no time")
        << QList<double>{0, 0.5, -0.25} << 0.0 << 15.0f << 0
        << "The track needs the ephemeris from 2026-12-07 21:00:00 UTC to 2026-12-07 21:30:00 UTC, but "
           "it covers 2026-12-07 21:00:00 UTC to 2026-12-07 21:00:00 UTC";
    QTest::newRow("no rows") << QList<double>{} << 0.0 << 15.0f << 0
                             << "The track needs the ephemeris from 2026-12-07 21:00:00 UTC to "
                                "2026-12-07 21:30:00 UTC, but it holds no row with a rate";
    QTest::newRow("ends on the last row") << hour << 30.0 << 15.0f << 120 << QString();
    // 18000 lines of the single 0.1 end 27 microseconds after the last row.
    QTest::newRow("ends within a millisecond of the last row")
        << hour << 30.0 << 0.1f << 18000 << QString();
}

// A table that does not cover the whole track refuses the save, naming both spans, and
// leaves the file that was there as it was.
void TestTrackFile::followingCoverage() {
    QFETCH(QList<double>, rows);
    QFETCH(double, startMinutes);
    QFETCH(float, interval);
    QFETCH(int, lines);
    QFETCH(QString, message);

    const QByteArray old = "old content\r\n";
    WriteAll(Path("track.trk"), old);
    const Table table = Ephemeris(rows);
    TrackParams p = Params(12, 35, 1.8f, 30, interval);
    FakeUi ui;
    ui.choice = Path("track.trk").toStdString();
    ui.followed = &table;
    ui.followedFrom = Night(startMinutes);
    const bool written = SaveTrackFile(p, ui, ".") == SaveResult::Written;

    // Refused before the file chooser opens.
    QCOMPARE(ui.questions, message.isEmpty() ? 1 : 0);
    QCOMPARE(Listing(dir_->path()), QStringList{"track.trk"});
    if (message.isEmpty()) {
        QVERIFY(written);
        QCOMPARE(ui.messages, QStringList());
        QCOMPARE(ReadAll(Path("track.trk")).count("\r\n"), lines);
    } else {
        QVERIFY(!written);
        QCOMPARE(ui.messages, QStringList{message});
        QCOMPARE(ReadAll(Path("track.trk")), old);
    }
}

void TestTrackFile::followingTruePath_data() {
    QTest::addColumn<ExactPath::GreatCircle>("object");
    QTest::addColumn<double>("rowMinutes");
    QTest::addColumn<double>("firstRow");  // minutes from the start, at or before 0
    QTest::addColumn<QString>("given");    // positions, declination (first row), typed
    QTest::addColumn<bool>("ofDate");      // Horizons' rates along the axes of date
    QTest::addColumn<TrackParams>("params");
    QTest::addColumn<bool>("coarse");  // the table is said to be coarse

    using ExactPath::GreatCircle;
    TrackParams west = Params(0, 0, 1.2f, 120, 15);
    west.EastWest = kTrue;
    west.RaRevWest = west.DecRevWest = 1;
    west.CameraAngle = 30;

    // The four measured cases, in one frame as the MPC gives them.
    QTest::newRow("flyby at Dec +55, 10-minute rows, 2 h")
        << GreatCircle{150, 55, 60, 0, 900, 30, 60} << 10.0 << 0.0 << "positions" << false
        << Params(0, 0, 2, 120, 15) << true;
    QTest::newRow("fast southern flyby, 5-minute rows")
        << GreatCircle{300, -50, 200, 0, 1200, 12, 40} << 5.0 << -2.5 << "positions" << false
        << Params(0, 0, 2, 80, 10) << true;
    QTest::newRow("30\"/min due east at Dec +70, 60 min")
        << GreatCircle{40, 70, 90, 30} << 10.0 << 0.0 << "positions" << false
        << Params(0, 0, 2, 60, 15) << false;
    QTest::newRow("12\"/min for 90 min at Dec +40")
        << GreatCircle{200, 40, 17, 12} << 10.0 << 0.0 << "positions" << false
        << Params(0, 0, 2, 90, 15) << false;
    // Horizons' astrometric places with rates along the axes of date.
    QTest::newRow("Horizons: 30\"/min due east at Dec +70")
        << GreatCircle{40, 70, 90, 30} << 10.0 << 0.0 << "positions" << true
        << Params(0, 0, 2, 60, 15) << false;
    QTest::newRow("Horizons: flyby at Dec +55, 10-minute rows")
        << GreatCircle{150, 55, 60, 0, 7200, 30, 60} << 10.0 << 0.0 << "positions" << true
        << Params(0, 0, 2, 120, 15) << true;
    QTest::newRow("Horizons: fast flyby at Dec -40, 5-minute rows")
        << GreatCircle{300, -40, 200, 0, 5400, 12, 40} << 5.0 << -2.5 << "positions" << true
        << Params(0, 0, 2, 80, 10) << true;
    // At the equator and far south; the West side with both flags and a camera angle.
    QTest::newRow("flyby at Dec 0") << GreatCircle{10, 0, 120, 0, 3600, 20, 50} << 5.0 << -1.0
                                    << "positions" << true << Params(0, 0, 1, 100, 5) << true;
    QTest::newRow("steady at Dec -40, West, flags, camera at 30")
        << GreatCircle{100, -40, 300, 25} << 10.0 << -4.0 << "positions" << true << west
        << false;
    QTest::newRow("flyby at Dec +40, West, flags, camera at 30")
        << GreatCircle{250, 40, 20, 0, 4000, 25, 70} << 10.0 << 0.0 << "positions" << true
        << west << true;
    QTest::newRow("flyby at Dec +70, 1 s lines")
        << GreatCircle{5, 70, 150, 0, 5000, 20, 45} << 5.0 << 0.0 << "positions" << false
        << Params(0, 0, 1.5f, 90, 1) << true;
    // Rates alone, on the sphere from the declination given or typed.
    QTest::newRow("rates alone, Dec +70 from the table")
        << GreatCircle{40, 70, 90, 30} << 10.0 << 0.0 << "declination" << false
        << Params(0, 0, 2, 60, 15) << false;
    QTest::newRow("rates alone, Dec +70 typed")
        << GreatCircle{40, 70, 90, 30} << 10.0 << 0.0 << "typed" << false
        << Params(0, 0, 2, 60, 15) << false;
    QTest::newRow("rates alone, Dec -40 typed, West, flags, camera at 30")
        << GreatCircle{100, -40, 300, 25} << 10.0 << -4.0 << "typed" << false << west << false;
}

// Objects on exact great circles: after every line the written steps, summed, lie within a
// tenth of a pixel of where a star at the object's start appears seen from the object. The
// flat sum of linearly interpolated rates, as tracks were made before, is measured beside
// it; with nothing but rates that is still what is done, and the user is told.
void TestTrackFile::followingTruePath() {
    QFETCH(ExactPath::GreatCircle, object);
    QFETCH(double, rowMinutes);
    QFETCH(double, firstRow);
    QFETCH(QString, given);
    QFETCH(bool, ofDate);
    QFETCH(TrackParams, params);
    QFETCH(bool, coarse);

    const UtcMs start = Night(0);
    const int lines = qRound(params.TotalTime * 60 / params.TimeInterval);
    const double minutes = lines * double(params.TimeInterval) / 60;
    Table table = ExactPath::Rows(object, start, firstRow, minutes + rowMinutes, rowMinutes,
                                  given == "positions", ofDate);
    std::optional<double> typed;
    if (given == "declination") table.rows.front().decDegrees = object.dec0Degrees;
    if (given == "typed") typed = object.dec0Degrees;
    if (firstRow < 0) {
        // The declination at the track's start, as the row before it gives it.
        if (given == "declination") table.rows.front().decDegrees = std::nullopt;
        if (given != "positions") typed = std::asin(object.At(0)[2]) * 180 / ExactPath::kPi;
    }

    const auto followed = FollowEphemeris(table, start, params, lines, typed);
    const auto* problem = std::get_if<std::string>(&followed);
    QVERIFY2(!problem, problem ? problem->c_str() : "");
    const FollowingTrack& track = std::get<FollowingTrack>(followed);
    const auto text = TrackTextOf(track, "15", ".");
    QVERIFY(text.has_value());
    const auto written = Tenths(*text);
    QCOMPARE(written.size(), qsizetype(lines));

    // Before: the rates alone, as the flat sum took them.
    Table ratesAlone = table;
    for (auto& row : ratesAlone.rows) row.raDegrees = row.decDegrees = std::nullopt;
    const auto flat = FollowingSteps(ratesAlone, start, params, lines);
    QVERIFY(std::holds_alternative<Steps>(flat));
    const auto flatText = TrackTextFromSteps(std::get<Steps>(flat), "15", ".");
    QVERIFY(flatText.has_value());
    const auto flatWritten = Tenths(*flatText);

    const PixelOffset flips = WithReversals(params, PixelOffset{1, 1});
    qint64 x = 0, y = 0, flatX = 0, flatY = 0;
    double worst = 0, flatEnd = 0, end = 0;
    QString first;  // the first line off by more than a tenth
    for (int k = 0; k < lines; ++k) {
        x += written[k].first;
        y += written[k].second;
        flatX += flatWritten[k].first;
        flatY += flatWritten[k].second;
        const double t = (k + 1) * double(params.TimeInterval) / 60;
        const auto exact = ExactPath::OnCamera(object.Seen(t), params.CameraAngle, params.PixSize,
                                               flips.x, flips.y);
        const double offX = std::fabs(x / 10.0 - exact[0]), offY = std::fabs(y / 10.0 - exact[1]);
        worst = std::max({worst, offX, offY});
        end = std::max(offX, offY);
        flatEnd = std::hypot(flatX / 10.0 - exact[0], flatY / 10.0 - exact[1]);
        if (first.isEmpty() && std::max(offX, offY) > 0.1 + 1e-9) {
            first = QString("line %1: written %2 %3, exact %4 %5")
                        .arg(k + 1)
                        .arg(x / 10.0)
                        .arg(y / 10.0)
                        .arg(exact[0])
                        .arg(exact[1]);
        }
    }
    qInfo("%s: at the end the flat sum is %.2f px off, this track %.3f px (at worst %.3f px)",
          QTest::currentDataTag(), flatEnd, end, worst);
    QVERIFY2(first.isEmpty(), qPrintable(first));
    QStringList notes;
    for (const std::string& note : track.notes) notes << QString::fromStdString(note);
    QCOMPARE(notes.contains(QString::fromUtf8(kCoarseTableNote.data())), coarse);
    QVERIFY(!notes.contains(QString::fromUtf8(kFlatSkyNote.data())));
}

void TestTrackFile::followingDoublePrecision_data() {
    QTest::addColumn<float>("interval");
    QTest::addColumn<int>("lines");

    QTest::newRow("the longest track at 0.1 s") << 0.1f << 32767;
    QTest::newRow("the longest track at 0.5 s") << 0.5f << 32767;
    QTest::newRow("3 s lines") << 3.0f << 20000;
}

// The eastward rate rises from 20 to 25 "/min over 20 hours: after t minutes the object has
// moved 20 t + t^2 / 480 arcsec east, 2 t + 0.25 t^2 / 1200 px at 0.5"/px along -X, and
// 3 "/min south throughout. The written sums stay within a tenth of that after every line,
// however many lines.
void TestTrackFile::followingDoublePrecision() {
    QFETCH(float, interval);
    QFETCH(int, lines);

    const Table table = Ephemeris({0, 20, -3, 1200, 25, -3});
    TrackParams p = Params(0, 0, 0.5f, 0, interval);
    const auto followed = FollowEphemeris(table, Night(0), p, lines);
    QVERIFY(std::holds_alternative<FollowingTrack>(followed));
    const auto text = TrackTextOf(std::get<FollowingTrack>(followed), "15", ".");
    QVERIFY(text.has_value());
    const auto written = Tenths(*text);
    QCOMPARE(written.size(), qsizetype(lines));
    qint64 x = 0, y = 0;
    for (int k = 0; k < lines; ++k) {
        x += written[k].first;
        y += written[k].second;
        const double t = (k + 1) * double(interval) / 60;
        const double east = 20 * t + t * t / 480, south = 3 * t;
        QVERIFY2(std::fabs(x / 10.0 + east / 0.5) <= 0.1 + 1e-9 &&
                     std::fabs(y / 10.0 - south / 0.5) <= 0.1 + 1e-9,
                 qPrintable(QString("line %1: %2 %3 against %4 %5")
                                .arg(k + 1)
                                .arg(x / 10.0)
                                .arg(y / 10.0)
                                .arg(-east / 0.5)
                                .arg(south / 0.5)));
    }
}

void TestTrackFile::followingNotes_data() {
    QTest::addColumn<QList<double>>("rows");  // minutes, east and north "/min
    QTest::addColumn<double>("declination");  // typed; NaN: none
    QTest::addColumn<QStringList>("notes");

    const QString coarse = QString::fromUtf8(kCoarseTableNote.data());
    const QString flat = QString::fromUtf8(kFlatSkyNote.data());
    const double none = std::nan("");
    QTest::newRow("3% between rows within the track")
        << QList<double>{0, 1, 0, 10, 1.03, 0, 20, 1.03, 0, 30, 1.03, 0} << 20.0
        << QStringList{coarse};
    QTest::newRow("1% between rows") << QList<double>{0, 1, 0, 10, 1.01, 0, 20, 1.02, 0, 30, 1.03, 0}
                                     << 20.0 << QStringList{};
    QTest::newRow("a turn of 2.3 degrees, the size kept")
        << QList<double>{0, 1, 0, 10, 0.9992, 0.04, 20, 0.9992, 0.04, 30, 0.9992, 0.04} << 20.0
        << QStringList{coarse};
    QTest::newRow("5% past the track's last row")
        << QList<double>{0, 1, 0, 10, 1.01, 0, 20, 1.02, 0, 30, 1.03, 0, 40, 1.2, 0} << 20.0
        << QStringList{};
    QTest::newRow("no declination, and coarse")
        << QList<double>{0, 1, 0, 10, 1.03, 0, 20, 1.03, 0, 30, 1.03, 0} << none
        << QStringList{flat, coarse};
    QTest::newRow("no declination, a steady rate")
        << QList<double>{0, 1, 0, 10, 1, 0, 20, 1, 0, 30, 1, 0} << none << QStringList{flat};
}

// A save that follows an ephemeris tells the user once what the track could not do better.
void TestTrackFile::followingNotes() {
    QFETCH(QList<double>, rows);
    QFETCH(double, declination);
    QFETCH(QStringList, notes);

    const Table table = Ephemeris(rows);
    TrackParams p = Params(12, 35, 1.8f, 30, 15);
    FakeUi ui;
    ui.choice = Path("track.trk").toStdString();
    ui.followed = &table;
    ui.followedFrom = Night(0);
    if (!std::isnan(declination)) ui.typedDeclination = declination;
    QCOMPARE(SaveTrackFile(p, ui, "."), SaveResult::Written);
    QCOMPARE(ui.messages, QStringList());
    QCOMPARE(ui.notes, QList<QStringList>{notes});
}

void TestTrackFile::followingHoles_data() {
    QTest::addColumn<QList<double>>("holes");  // minutes of rows without a rate
    QTest::addColumn<double>("startMinutes");
    QTest::addColumn<QString>("message");  // empty: written

    // Rows with a rate every 10 minutes from 0 to 120, but for those without one.
    const QString needed =
        "The track needs the ephemeris from 2026-12-07 21:%1:00 UTC to 2026-12-07 21:%2:00 UTC, ";
    QTest::newRow("a row without a rate within the track")
        << QList<double>{40} << 20.0
        << needed.arg(20).arg(50) +
               "but it gives no rate from 2026-12-07 21:30:00 UTC to 2026-12-07 21:50:00 UTC";
    QTest::newRow("two in a row, the track starting between them")
        << QList<double>{40, 50} << 45.0
        << "The track needs the ephemeris from 2026-12-07 21:45:00 UTC to 2026-12-07 22:15:00 UTC, "
           "but it gives no rate from 2026-12-07 21:30:00 UTC to 2026-12-07 22:00:00 UTC";
    QTest::newRow("ends on the row before the gap") << QList<double>{70} << 30.0 << QString();
    QTest::newRow("starts on the row after the gap") << QList<double>{70} << 80.0 << QString();
}

// A following track that crosses a row without a rate is refused, naming the span.
void TestTrackFile::followingHoles() {
    QFETCH(QList<double>, holes);
    QFETCH(double, startMinutes);
    QFETCH(QString, message);

    QList<double> rows;
    for (int minute = 0; minute <= 120; minute += 10) {
        if (!holes.contains(minute)) rows << minute << 1 + minute / 100.0 << 0.5;
    }
    Table table = Ephemeris(rows);
    for (double minute : holes) table.holes.push_back(Night(minute));
    TrackParams p = Params(12, 35, 1.8f, 30, 15);
    const auto followed = FollowEphemeris(table, Night(startMinutes), p, 120, 10.0);
    if (message.isEmpty()) {
        QVERIFY(std::holds_alternative<FollowingTrack>(followed));
    } else {
        QVERIFY(std::holds_alternative<std::string>(followed));
        QCOMPARE(QString::fromStdString(std::get<std::string>(followed)), message);
    }
}

void TestTrackFile::cancel_data() {
    QTest::addColumn<QByteArray>("remembered");
    QTest::addColumn<bool>("shown");  // the chooser opens there; else at home, with a message

    QTest::newRow("remembered folder") << QByteArray("/remembered") << true;
    // Read back from the settings file as bytes; converted, it would name another folder.
    QTest::newRow("folder not UTF-8") << QByteArray("/\xff\xfe") << false;
}

void TestTrackFile::cancel() {
    QFETCH(QByteArray, remembered);
    QFETCH(bool, shown);

    TrackParams p = Example1();
    p.Directory = dir_->path().toStdString() + remembered.toStdString();
    const std::string before = p.Directory;
    FakeUi ui;
    ui.choice = std::nullopt;
    QCOMPARE(SaveTrackFile(p, ui, "."), SaveResult::NotWritten);
    QCOMPARE(ui.chooserFolders,
             QStringList{shown ? QString::fromStdString(p.Directory) : QString()});
    QCOMPARE(ui.questions, 0);
    QCOMPARE(ui.messages.size(), shown ? 0 : 1);
    QVERIFY(p.Directory == before);
    QCOMPARE(Listing(dir_->path()), QStringList());
}

void TestTrackFile::overwrite_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("replaced");

    QTest::newRow("new file") << "new.trk" << false << false << true;
    QTest::newRow("existing, Yes") << "old.trk" << true << true << true;
    QTest::newRow("existing, No") << "old.trk" << true << false << false;
    QTest::newRow("hidden, Yes") << ".x.trk" << true << true << true;
}

void TestTrackFile::overwrite() {
    QFETCH(QString, name);
    QFETCH(bool, exists);
    QFETCH(bool, answer);
    QFETCH(bool, replaced);

    // Longer than the new track, so a partial replacement would show.
    const QByteArray old = QByteArray(4000, 'z') + "\r\n";
    if (exists) WriteAll(Path(name), old);

    TrackParams p = Example1();
    p.Directory = "/old";
    FakeUi ui;
    ui.choice = Path(name).toStdString();
    ui.answer = answer;
    QCOMPARE(SaveTrackFile(p, ui, ".") == SaveResult::Written, replaced);

    QCOMPARE(ui.questions, exists ? 1 : 0);
    QCOMPARE(ui.messages, QStringList());
    QCOMPARE(ReadAll(Path(name)), replaced ? Lines(kExample1) : old);
    // The chosen folder is remembered even when the user declines.
    QCOMPARE(QString::fromStdString(p.Directory), QFileInfo(Path(name)).absolutePath());
}

void TestTrackFile::writeFailure_data() {
    QTest::addColumn<QString>("name");

    QTest::newRow("missing folder") << "missing/x.trk";
    QTest::newRow("parent is a file") << "plain/x.trk";
    QTest::newRow("proc") << "/proc/x.trk";
    QTest::newRow("name of a folder") << "sub";
    QTest::newRow("device full") << "dev/full";
    QTest::newRow("pipe") << "pipe.trk";
}

void TestTrackFile::writeFailure() {
    QFETCH(QString, name);

    WriteAll(Path("plain"), "keep\r\n");
    QVERIFY(QDir(dir_->path()).mkdir("sub"));
    // Never the machine's own /dev/full as root: a regression would replace it. Root gets
    // a node of its own on a private file system; anyone else may not replace /dev/full.
    QVERIFY(QDir(dir_->path()).mkdir("dev"));
    std::optional<SmallDisk> devices;
    if (geteuid() == 0) {
        devices.emplace(Path("dev"), 64 * 1024);
        if (devices->refusal()) QSKIP(qPrintable("no private /dev: " + *devices->refusal()));
        const auto refusal = MakeFullDevice(Path("dev/full"));
        if (refusal) QSKIP(qPrintable(*refusal));
    } else {
        QVERIFY(QFile::link("/dev/full", Path("dev/full")));
    }
    // A reader on the pipe shows a write into it instead of waiting for ever.
    const QByteArray pipe = Path("pipe.trk").toLocal8Bit();
    QCOMPARE(mkfifo(pipe.constData(), 0600), 0);
    const int reader = open(pipe.constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    const QStringList before = Listing(dir_->path());

    TrackParams p = Example1();
    FakeUi ui;
    ui.choice = Path(name).toStdString();
    const SaveResult saved = SaveTrackFile(p, ui, ".");
    char buffer[16];
    const ssize_t piped = read(reader, buffer, sizeof buffer);
    close(reader);
    QCOMPARE(saved, SaveResult::NotWritten);
    QVERIFY2(piped <= 0, "the pipe was written to");

    QCOMPARE(ui.messages.size(), 1);
    QVERIFY2(ui.messages[0].contains(Path(name)), qPrintable(ui.messages[0]));
    QCOMPARE(Listing(dir_->path()), before);
    QCOMPARE(ReadAll(Path("plain")), QByteArray("keep\r\n"));
    QVERIFY(!QFileInfo::exists("/proc/x.trk"));
    // A device is written in place, never replaced by a regular file.
    struct stat info {};
    QCOMPARE(stat(Path("dev/full").toLocal8Bit().constData(), &info), 0);
    QVERIFY(S_ISCHR(info.st_mode));
}

// A write that stops half way (here at the file-size limit) leaves the old file whole.
void TestTrackFile::interruptedWriteKeepsOldFile() {
    const QByteArray old = "old content\r\n";
    WriteAll(Path("keep.trk"), old);
    TrackParams p = Example1();
    p.TotalTime = 32767;
    p.TimeInterval = 60;  // about 400 kB of lines
    FakeUi ui;
    ui.choice = Path("keep.trk").toStdString();

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = SaveTrackFile(p, ui, ".") == SaveResult::Written;
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previousHandler);

    QVERIFY(!written);
    QCOMPARE(ui.messages.size(), 1);
    QVERIFY2(ui.messages[0].contains(Path("keep.trk")), qPrintable(ui.messages[0]));
    QCOMPARE(ReadAll(Path("keep.trk")), old);
    QCOMPARE(Listing(dir_->path()), QStringList{"keep.trk"});
}

QTEST_GUILESS_MAIN(TestTrackFile)
#include "tst_trackfile.moc"
