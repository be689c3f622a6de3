// Runs the built pelindra-track binary and checks what a script would see: standard
// output, standard error, exit status and the files left behind, byte for byte.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "tests/support/FakeIndi.h"
#include "tests/support/Sanitized.h"

#include "tests/support/FakePhd2.h"
#include "trackfile/Steps.h"
#include "tests/support/PrivateMounts.h"

namespace {

struct Result {
    int code = -1;
    QByteArray out, err;
};

const QByteArray kFirstExample =
    "15 -1.0 -1.4\r\n15 -1.0 -1.4\r\n15 -0.9 -1.3\r\n"
    "15 -1.0 -1.4\r\n15 -0.9 -1.4\r\n15 -1.0 -1.3\r\n";
const QByteArray kSecondExample =
    "08 +1.4 +0.5\r\n08 +1.4 +0.5\r\n08 +1.4 +0.5\r\n08 +1.4 +0.5\r\n"
    "08 +1.5 +0.5\r\n08 +1.4 +0.6\r\n08 +1.4 +0.5\r\n08 +1.4 +0.5\r\n";

// One comet, 2P/Encke on a night of 2026, in each kind of ephemeris: at 21:00 UT it moves
// 45 "/hr east and 60 "/hr south, at 22:00 90 "/hr east and 30 "/hr north.
const QByteArray kHorizonsText =
    "*******************************************************************************\n"
    "Target body name: 2P/Encke                        {source: JPL#K232/1}\n"
    "Center body name: Earth (399)                     {source: DE441}\n"
    "Center-site name: GEOCENTRIC\n"
    "*******************************************************************************\n"
    "Start time      : A.D. 2026-Dec-07 21:00:00.0000 UT\n"
    "Stop  time      : A.D. 2026-Dec-07 22:00:00.0000 UT\n"
    "Step-size       : 60 minutes\n"
    "*******************************************************************************\n"
    " Date__(UT)__HR:MN     R.A._____(ICRF)_____DEC  dRA*cosD d(DEC)/dt\n"
    "******************************************************************\n"
    "$$SOE\n"
    " 2026-Dec-07 21:00     08 21 31.08 +02 30 58.7  45.00000 -60.00000\n"
    " 2026-Dec-07 22:00 *m  08 21 34.08 +02 29 58.7  90.00000  30.00000\n"
    "$$EOE\n"
    "******************************************************************\n"
    "Column meaning:\n";
const QByteArray kHorizonsCsv =
    "Target body name: 2P/Encke                        {source: JPL#K232/1}\r\n"
    "Center-site name: GEOCENTRIC\r\n"
    "*******************************************************************************\r\n"
    " Date__(UT)__HR:MN, Date_________JDUT, , , R.A._(ICRF), DEC_(ICRF),  dRA*cosD, "
    "d(DEC)/dt,\r\n"
    "**************************************************************************\r\n"
    "$$SOE\r\n"
    " 2026-Dec-07 21:00, 2461382.375000000, , ,   125.37950,   2.51631,  45.00000, -60.00000,\r\n"
    " 2026-Dec-07 22:00, 2461382.416666667, *, m,   125.39200,   2.49964,  90.00000,  "
    "30.00000,\r\n"
    "$$EOE\r\n";
// The MPC gives the total motion and its P.A. to fewer digits.
const QByteArray kMpcTable =
    "2P/Encke\n"
    "Date       UT      R.A. (J2000) Decl.    Delta     r     El.    Ph.   m1     Sky Motion\n"
    "            h m s                                                            \"/min    "
    "P.A.\n"
    "2026 12 07 210000 08 21 31.1 +02 30 59   3.181   4.026  141.6   9.0  22.6    1.25    143.1\n"
    "2026 12 07 220000 08 21 34.1 +02 29 59   3.181   4.026  141.6   9.0  22.6    1.58     71.6\n";

QByteArray AsHorizonsJson(QByteArray text) {
    text.replace("\\", "\\\\").replace("\"", "\\\"").replace("\n", "\\n");
    return "{\"signature\":{\"source\":\"NASA/JPL Horizons API\",\"version\":\"1.2\"},"
           "\"result\":\"" +
           text + "\"}\n";
}

QStringList FirstExample(const QStringList& extra = {}) {
    return QStringList{"--motion", "12",           "--pa",   "35",           "--interval",
                       "15",       "--pixel-size", "1.8",    "--total-time", "1.5",
                       "--mount",  "gem",          "--side", "east"} +
           extra;
}

QStringList SecondExample(const QString& interval = "8") {
    return {"--motion", "25",           "--pa", "250",     "--interval", interval, "--pixel-size",
            "2.2",      "--total-time", "1",    "--mount", "gem",        "--side", "east"};
}

QByteArray Replaced(QByteArray text, const char* before, const char* after) {
    return text.replace(before, after);
}

QByteArray Ini(std::initializer_list<const char*> lines) {
    QByteArray bytes;
    for (const char* line : lines) bytes += QByteArray(line) + "\r\n";
    return bytes;
}

// The first example's settings; extra lines go to the end of [Time] and of [Mount].
QByteArray FirstExampleIni(std::initializer_list<const char*> time = {},
                           std::initializer_list<const char*> mount = {}) {
    return Ini({"[Object]", "Motion=12", "Position Angle=35", "[Pixel Size]", "PixelSize=1.8",
                "[Time]", "Total Time=1.5"}) +
           Ini(time) + Ini({"[Mount]", "EastWest=False"}) + Ini(mount);
}

const QByteArray kFirstExampleIni = FirstExampleIni();

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace

class TestCli : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString Path(const QString& name) const { return dir_->filePath(name); }
    // A settings path that does not exist: the fresh-start defaults, whatever the user has.
    QStringList Fresh() const { return {"--settings", Path("none.ini")}; }
    Result Run(const QStringList& args, const QByteArray& locale = "C.UTF-8",
               const QString& stdoutFile = {}) const;
    // Runs the tool through `sh -c script`, the tool's path as $0 and `args` after it: for
    // what QProcess cannot do (a closed standard output, bytes that are not UTF-8).
    Result RunInShell(const QString& script, const QStringList& args) const;
    Result Start(const QString& program, const QStringList& args, const QByteArray& locale,
                 const QString& stdoutFile, const QByteArray& input = {}) const;

  private slots:
    void init();
    void workedExamples_data();
    void workedExamples();
    void offsets_data();
    void offsets();
    void settingsDefaults_data();
    void settingsDefaults();
    void freshStartDefaults();
    void settingsFileIsAPipe();
    void userSettingsFile();
    void errors_data();
    void errors();
    void existingFileNeedsForce();
    void writeFailures();
    void fileNameNotUtf8();
    void fullDisk();
    void offsetsWriteNoFile();
    void versionAndHelp();
    void plot_data();
    void plot();
    void ephemerisRate_data();
    void ephemerisRate();
    void ephemerisTrackAsTyped();
    void follow_data();
    void phd2_data();
    void phd2();
    void follow();
    void librariesLoaded_data();
    void librariesLoaded();
    void followTellsOnce_data();
    void followTellsOnce();
    void cutEphemeris_data();
    void cutEphemeris();
    void pipeAsTarget_data();
    void pipeAsTarget();
    void largeEphemeris_data();
    void largeEphemeris();
};

Result TestCli::Run(const QStringList& args, const QByteArray& locale,
                    const QString& stdoutFile) const {
    return Start(PELINDRA_TRACK, args, locale, stdoutFile);
}

Result TestCli::RunInShell(const QString& script, const QStringList& args) const {
    return Start("/bin/sh", QStringList{"-c", script, PELINDRA_TRACK} + args, "C.UTF-8", {});
}

Result TestCli::Start(const QString& program, const QStringList& args, const QByteArray& locale,
                      const QString& stdoutFile, const QByteArray& input) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", locale);
    env.insert("LANG", locale);
    env.remove("LANGUAGE");
    // The user's own configuration must never be read or touched by a test.
    env.insert("XDG_CONFIG_HOME", Path("config"));
    env.insert("HOME", Path("home"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir_->path());
    if (!stdoutFile.isEmpty()) process.setStandardOutputFile(stdoutFile);
    process.start(program, args);
    process.write(input);
    process.closeWriteChannel();
    Result result;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit) {
        result.err = "did not run to its end: " + process.errorString().toUtf8();
        return result;
    }
    result.code = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

void TestCli::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    QVERIFY(QDir(dir_->path()).mkpath("config") && QDir(dir_->path()).mkpath("home"));
}

void TestCli::workedExamples_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("first example") << FirstExample() << QByteArray("C.UTF-8") << kFirstExample;
    QTest::newRow("second example, 08 prefix")
        << SecondExample() << QByteArray("C.UTF-8") << kSecondExample;
    // Blanks around a number are allowed; a line break never reaches the file.
    QTest::newRow("interval with a line break")
        << FirstExample({"--interval", "15\n"}) << QByteArray("C.UTF-8") << kFirstExample;
    QTest::newRow("decimal comma in an option")
        << FirstExample({"--pixel-size", "1,8"}) << QByteArray("C.UTF-8") << kFirstExample;
    QTest::newRow("decimal comma")
        << FirstExample() << QByteArray("de_DE.UTF-8") << Replaced(kFirstExample, ".", ",");
    QTest::newRow("Turkish comma")
        << FirstExample() << QByteArray("tr_TR.UTF-8") << Replaced(kFirstExample, ".", ",");
    // U+066B takes two bytes; a track file is single-byte text.
    QTest::newRow("Arabic separator")
        << FirstExample() << QByteArray("ar_EG.UTF-8") << kFirstExample;
    QTest::newRow("Persian separator")
        << FirstExample() << QByteArray("fa_IR.UTF-8") << kFirstExample;
    QTest::newRow("fork reverses both on east side")
        << FirstExample({"--mount", "fork", "--ra-rev-west", "1", "--dec-rev-west", "1"})
        << QByteArray("C.UTF-8") << Replaced(kFirstExample, "-", "+");
    QTest::newRow("camera turned half round, as both flags")
        << FirstExample({"--camera-angle", "180"}) << QByteArray("C.UTF-8")
        << Replaced(kFirstExample, "-", "+");
    QTest::newRow("motion 0") << FirstExample({"--motion", "0", "--total-time", "1"})
                              << QByteArray("C.UTF-8")
                              << QByteArray("15 -0.0 -0.0\r\n").repeated(4);
}

void TestCli::workedExamples() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, locale);
    QFETCH(QByteArray, expected);

    const Result toStdout = Run(Fresh() + args, locale);
    QCOMPARE(toStdout.err, QByteArray());
    QCOMPARE(toStdout.code, 0);
    QCOMPARE(toStdout.out, expected);

    const QString file = Path("out.trk");
    const Result toFile = Run(Fresh() + args + QStringList{"-o", file}, locale);
    QCOMPARE(toFile.err, QByteArray());
    QCOMPARE(toFile.code, 0);
    QCOMPARE(toFile.out, QByteArray());
    QVERIFY(QFileInfo::exists(file));
    QCOMPARE(ReadAll(file), expected);

    const Result dash = Run(Fresh() + args + QStringList{"-o", "-"}, locale);
    QCOMPARE(dash.code, 0);
    QCOMPARE(dash.out, expected);
    QVERIFY(!QFileInfo::exists("-") && !QFileInfo::exists(Path("-")));
}

void TestCli::offsets_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray c = "C.UTF-8";
    auto row = [&](const char* name, const QStringList& args, const char* expected) {
        QTest::newRow(name) << args << c << QByteArray(expected);
    };
    row("gem east", FirstExample(), "-0.96 -1.37");
    row("gem west, ra west", FirstExample({"--side", "west", "--ra-rev-west", "1"}), "+0.96 -1.37");
    row("gem east ignores west flag", FirstExample({"--ra-rev-west", "1"}), "-0.96 -1.37");
    row("gem east, dec east", FirstExample({"--dec-rev-east", "1"}), "-0.96 +1.37");
    row("gem east, ra east", FirstExample({"--ra-rev-east", "1"}), "+0.96 -1.37");
    row("fork east uses west flags",
        FirstExample({"--mount", "fork", "--ra-rev-west", "1", "--dec-rev-west", "1"}),
        "+0.96 +1.37");
    row("fork west ignores east flags",
        FirstExample(
            {"--mount", "fork", "--side", "west", "--ra-rev-east", "1", "--dec-rev-east", "1"}),
        "-0.96 -1.37");
    row("flag 2 does not reverse", FirstExample({"--ra-rev-east", "2", "--dec-rev-east", "-1"}),
        "-0.96 -1.37");
    row("negative motion", FirstExample({"--motion", "-12"}), "+0.96 +1.37");
    row("motion 0", FirstExample({"--motion", "0"}), "-0.00 -0.00");
    row("pa 0", FirstExample({"--motion", "10", "--pa", "0", "--pixel-size", "1"}), "-0.00 -2.50");
    row("pa 90", FirstExample({"--motion", "1", "--pa", "90", "--pixel-size", "1"}), "-0.25 +0.00");
    row("pa 180", FirstExample({"--motion", "1", "--pa", "180", "--pixel-size", "1"}),
        "+0.00 +0.25");
    row("second example", SecondExample(), "+1.42 +0.52");
    row("large",
        FirstExample({"--motion", "5000", "--pa", "10", "--interval", "60", "--pixel-size", "0.5"}),
        "-1736.48 -9848.08");
    // A camera turned half round sees the motion as both reversal flags show it.
    row("camera angle 180", FirstExample({"--camera-angle", "180"}), "+0.96 +1.37");
    // For scripts: the full stop whatever the locale.
    QTest::newRow("German locale")
        << FirstExample() << QByteArray("de_DE.UTF-8") << QByteArray("-0.96 -1.37");
    QTest::newRow("German locale, large")
        << FirstExample(
               {"--motion", "5000", "--pa", "10", "--interval", "60", "--pixel-size", "0.5"})
        << QByteArray("de_DE.UTF-8") << QByteArray("-1736.48 -9848.08");
}

void TestCli::offsets() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, locale);
    QFETCH(QByteArray, expected);

    const Result result = Run(Fresh() + args + QStringList{"--offsets"}, locale);
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.code, 0);
    QCOMPARE(result.out, expected + '\n');
}

void TestCli::settingsDefaults_data() {
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("first example from file") << kFirstExampleIni << QStringList() << kFirstExample;
    QTest::newRow("second example from file, interval 8")
        << Ini({"[Object]", "Motion=25", "Position Angle=250", "[Pixel Size]", "PixelSize=2.2",
                "[Time]", "Total Time=1", "Time Interval=8", "[Mount]", "EastWest=False"})
        << QStringList() << kSecondExample;
    QTest::newRow("option beats file")
        << kFirstExampleIni << QStringList{"--offsets", "--pa", "0"} << QByteArray("-0.00 -1.67\n");
    QTest::newRow("interval option beats file text")
        << FirstExampleIni({"Time Interval=8"}) << QStringList{"--interval", "15"} << kFirstExample;
    // The window repairs a non-positive interval to the text " 1"; the lines copy it.
    QTest::newRow("interval 0 repaired")
        << Ini({"[Object]", "Motion=0", "[Time]", "Total Time=0.1", "Time Interval=0"})
        << QStringList() << QByteArray("01 -0.0 -0.0\r\n").repeated(6);
    QTest::newRow("empty interval repaired")
        << Ini({"[Object]", "Motion=0", "[Time]", "Total Time=0.1", "Time Interval="})
        << QStringList() << QByteArray("01 -0.0 -0.0\r\n").repeated(6);
    QTest::newRow("fork and west flags from file")
        << FirstExampleIni({}, {"Mount=True", "RA Direction West=1", "Dec Direction West=1"})
        << QStringList{"--offsets"} << QByteArray("+0.96 +1.37\n");
    QTest::newRow("camera angle from file")
        << kFirstExampleIni + Ini({"[Camera]", "Angle=180"}) << QStringList{"--offsets"}
        << QByteArray("+0.96 +1.37\n");
    QTest::newRow("names in any case")
        << Ini({"[object]", "MOTION=12", "position angle=35", "[PIXEL SIZE]", "pixelsize=1.8",
                "[mount]", "mount=false", "eastwest=false", "ra direction east=1"})
        << QStringList{"--offsets"} << QByteArray("+0.96 -1.37\n");
}

void TestCli::settingsDefaults() {
    QFETCH(QByteArray, settings);
    QFETCH(QStringList, args);
    QFETCH(QByteArray, expected);

    const QString file = Path("settings.ini");
    QVERIFY(WriteAll(file, settings));
    const Result result = Run(QStringList{"--settings", file} + args);
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.code, 0);
    QCOMPARE(result.out, expected);
    // Reading only: the settings file belongs to the window, which saves it when it closes.
    QCOMPARE(ReadAll(file), settings);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{"settings.ini"});
}

void TestCli::freshStartDefaults() {
    // Motion 1, PA 0, interval 15, pixel 1, 60 minutes: a quarter pixel per line in Y,
    // written as 0.2 with a correction to 0.3 on nearly every second line.
    const Result result = Run(Fresh());
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.code, 0);
    QCOMPARE(result.out.count('\n'), 240);
    QCOMPARE(result.out.left(20 * 14),
             QByteArray("15 -0.0 -0.2\r\n15 -0.0 -0.2\r\n15 -0.0 -0.3\r\n15 -0.0 -0.2\r\n"
                        "15 -0.0 -0.3\r\n15 -0.0 -0.2\r\n15 -0.0 -0.3\r\n15 -0.0 -0.2\r\n"
                        "15 -0.0 -0.3\r\n15 -0.0 -0.2\r\n15 -0.0 -0.3\r\n15 -0.0 -0.2\r\n"
                        "15 -0.0 -0.3\r\n15 -0.0 -0.2\r\n15 -0.0 -0.3\r\n15 -0.0 -0.2\r\n"
                        "15 -0.0 -0.3\r\n15 -0.0 -0.3\r\n15 -0.0 -0.2\r\n15 -0.0 -0.3\r\n"));
    // Every line one of the two; 60 pixels in all, written as 121 x 0.2 + 119 x 0.3 = 59.9.
    QCOMPARE(result.out.count("15 -0.0 -0.3\r\n"), 119);
    QCOMPARE(result.out.count("15 -0.0 -0.2\r\n"), 121);
    QVERIFY(!QFileInfo::exists(Path("none.ini")));
}

// A pipe in the settings file's place once blocked the tool for ever: now the defaults
// are used and the reason is said once.
void TestCli::settingsFileIsAPipe() {
    const QString pipe = Path("settings.ini");
    QCOMPARE(mkfifo(pipe.toLocal8Bit().constData(), 0600), 0);
    const Result result = Run({"--settings", pipe, "--offsets"});
    QCOMPARE(result.code, 0);
    QCOMPARE(result.out, QByteArray("-0.00 -0.25\n"));
    QCOMPARE(result.err.count("cannot be used"), 1);
    QVERIFY(QFileInfo(pipe).exists() && !QFileInfo(pipe).isFile());
}

void TestCli::userSettingsFile() {
    const QDir config(Path("config"));
    const QByteArray fresh = Run(Fresh()).out;
    QCOMPARE(fresh.count('\n'), 240);

    // No file in the user's folder: fresh-start defaults, and still nothing written there.
    Result result = Run({});
    QCOMPARE(result.code, 0);
    QCOMPARE(result.out, fresh);
    QCOMPARE(config.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());

    const QString user = config.filePath("Pelindra/Pelindra.ini");
    QVERIFY(config.mkpath("Pelindra") && WriteAll(user, kFirstExampleIni));
    result = Run({});
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.code, 0);
    QCOMPARE(result.out, kFirstExample);

    // --settings replaces the user's file entirely, a missing one included.
    result = Run(Fresh());
    QCOMPARE(result.out, fresh);
    QCOMPARE(ReadAll(user), kFirstExampleIni);
    QCOMPARE(QDir(Path("config/Pelindra")).entryList(QDir::Files | QDir::Hidden),
             QStringList{"Pelindra.ini"});
}

void TestCli::errors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("message");

    auto row = [](const char* name, const QStringList& args, int code, const char* message) {
        QTest::newRow(name) << args << code << QByteArray(message);
    };
    row("interval 0", {"--interval", "0"}, 1, "Time Interval Must Be >0");
    row("interval negative", {"--interval", "-3"}, 1, "Time Interval Must Be >0");
    row("interval not a number", {"--interval", "abc"}, 2, "--interval: \"abc\" is not a number");
    row("interval with a unit", {"--interval", "8s"}, 2, "--interval: \"8s\" is not a number");
    row("motion not a number", {"--motion", "abc"}, 2, "--motion: \"abc\" is not a number");
    row("motion per hour", {"--motion", "141 \"/hr"}, 2, "is not a number");
    row("blank inside", {"--pa", "3 5"}, 2, "--pa: \"3 5\" is not a number");
    row("empty pixel size", {"--pixel-size", ""}, 2, "--pixel-size: \"\" is not a number");
    row("hexadecimal", {"--total-time", "&H10"}, 2, "is not a number");
    row("camera angle with a unit", {"--camera-angle", "90deg"}, 2,
        "--camera-angle: \"90deg\" is not a number");
    row("reversal flag word", {"--ra-rev-west", "yes"}, 2, "--ra-rev-west: \"yes\"");
    row("total time 0", {"--total-time", "0"}, 1, "nothing to write: ");
    row("ephemeris and motion", {"--ephemeris", "e.txt", "--motion", "3"}, 2,
        "--ephemeris takes the place of --motion and --pa");
    row("time without ephemeris", {"--at", "2026-12-07T21:30"}, 2, "--at names a time");
    row("time not a time", {"--ephemeris", "e.txt", "--at", "tonight"}, 2,
        "--at: \"tonight\" is not a UTC time");
    row("no such ephemeris", {"--ephemeris", "none.txt", "--at", "2026-12-07T21:30"}, 1,
        "cannot read \"none.txt\": No such file or directory");
    row("total time negative", {"--total-time", "-5"}, 1, "nothing to write: ");
    row("pixel size 0", {"--pixel-size", "0"}, 1, "Pixel Size Must Be >0");
    row("pixel size negative", {"--pixel-size", "-1.5"}, 1, "Pixel Size Must Be >0");
    row("too many intervals", {"--total-time", "600", "--interval", "1"}, 1, "Too many intervals");
    row("motion beyond single", {"--motion", "1e39"}, 1, "Overflow");
    row("offset beyond single", {"--motion", "25", "--pixel-size", "1e-45"}, 1, "Overflow");
    row("unknown option", {"--bogus"}, 2, "bogus");
    row("mount banana", {"--mount", "banana"}, 2, "--mount");
    row("side up", {"--side", "up"}, 2, "--side");
    row("stray argument", {"extra"}, 2, "extra");
    row("missing value", {"--motion"}, 2, "--motion");
}

void TestCli::errors() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QByteArray, message);

    const Result toStdout = Run(Fresh() + args);
    QCOMPARE(toStdout.code, code);
    QCOMPARE(toStdout.out, QByteArray());
    QVERIFY2(toStdout.err.contains(message), toStdout.err.constData());

    const QString created = Path("new.trk");
    Result toFile = Run(Fresh() + QStringList{"-o", created} + args);
    QCOMPARE(toFile.code, code);
    QVERIFY2(toFile.err.contains(message), toFile.err.constData());
    QVERIFY(!QFileInfo::exists(created));

    // Even with --force a failed run leaves an existing file as it was.
    const QString existing = Path("old.trk");
    QVERIFY(WriteAll(existing, "old track\r\n"));
    toFile = Run(Fresh() + QStringList{"-o", existing, "--force"} + args);
    QCOMPARE(toFile.code, code);
    QCOMPARE(ReadAll(existing), QByteArray("old track\r\n"));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.trk"});
}

void TestCli::existingFileNeedsForce() {
    const QString file = Path("track.trk");
    QVERIFY(WriteAll(file, "old track\r\n"));
    Result result = Run(Fresh() + FirstExample({"-o", file}));
    QCOMPARE(result.code, 1);
    QCOMPARE(result.out, QByteArray());
    QVERIFY2(result.err.contains("--force"), result.err.constData());
    QCOMPARE(ReadAll(file), QByteArray("old track\r\n"));

    result = Run(Fresh() + FirstExample({"-o", file, "--force"}));
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.code, 0);
    QCOMPARE(ReadAll(file), kFirstExample);
}

void TestCli::writeFailures() {
    // Each failure names the file and the system's reason, and creates nothing.
    QString file = Path("missing/track.trk");
    Result result = Run(Fresh() + FirstExample({"-o", file}));
    QCOMPARE(result.code, 1);
    QCOMPARE(result.out, QByteArray());
    QVERIFY2(result.err.contains(file.toUtf8()), result.err.constData());
    QVERIFY(!QFileInfo::exists(Path("missing")));

    file = Path("config");
    result = Run(Fresh() + FirstExample({"-o", file, "--force"}));
    QCOMPARE(result.code, 1);
    QVERIFY2(result.err.contains(file.toUtf8()), result.err.constData());
    QVERIFY(QFileInfo(file).isDir());

    // A full disk behind standard output is an error too, not a silent short track, and
    // so is a stream that was closed; the offsets alike.
    for (const QStringList& extra : {QStringList(), QStringList{"--offsets"}}) {
        result = Run(Fresh() + FirstExample(extra), "C.UTF-8", "/dev/full");
        QCOMPARE(result.code, 1);
        QVERIFY2(result.err.contains("No space left on device"), result.err.constData());
        result = RunInShell("exec \"$0\" \"$@\" >&-", Fresh() + FirstExample(extra));
        QCOMPARE(result.code, 1);
        QVERIFY2(result.err.contains("standard output"), result.err.constData());
    }
}

// A name that is not UTF-8 would turn into another name (U+FFFD for each byte) and
// replace an unrelated file of that name: it is refused.
void TestCli::fileNameNotUtf8() {
    const QString unrelated = Path("\uFFFD\uFFFD.trk");
    QVERIFY(WriteAll(unrelated, "unrelated\r\n"));
    const Result result =
        RunInShell("exec \"$0\" \"$@\" -o \"$(printf '\\377\\376.trk')\" --force", Fresh());
    QCOMPARE(result.code, 2);
    QVERIFY2(result.err.contains("UTF-8"), result.err.constData());
    QCOMPARE(ReadAll(unrelated), QByteArray("unrelated\r\n"));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{"\uFFFD\uFFFD.trk"});
}

// On a nearly full file system the old track file stays whole and the reason is given.
void TestCli::fullDisk() {
    QVERIFY(QDir(dir_->path()).mkdir("disk"));
    SmallDisk disk(Path("disk"), 256 * 1024);
    if (disk.refusal()) QSKIP(qPrintable("no small file system: " + *disk.refusal()));
    const QString track = Path("disk/old.trk");
    // 2400 lines of 14 bytes, the size that once came back empty or cut at 4096 bytes.
    const QStringList longTrack = {"--total-time", "600"};
    QCOMPARE(Run(Fresh() + longTrack + QStringList{"-o", track}).code, 0);
    const QByteArray old = ReadAll(track);
    QCOMPARE(old.size(), 33600);
    QVERIFY(disk.fillUpTo("filler", 4096));

    const Result result =
        Run(Fresh() + longTrack + QStringList{"--motion", "2", "--force", "-o", track});
    QCOMPARE(result.code, 1);
    QVERIFY2(result.err.contains("No space left on device"), result.err.constData());
    QVERIFY2(result.err.contains(track.toUtf8()), result.err.constData());
    QCOMPARE(ReadAll(track), old);
    QCOMPARE(QDir(Path("disk")).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"filler", "old.trk"}));
}

void TestCli::offsetsWriteNoFile() {
    const QString file = Path("track.trk");
    const Result result = Run(Fresh() + FirstExample({"--offsets", "-o", file}));
    QCOMPARE(result.code, 0);
    QCOMPARE(result.out, QByteArray("-0.96 -1.37\n"));
    QVERIFY(!QFileInfo::exists(file));
}

void TestCli::versionAndHelp() {
    Result result = Run({"--version"});
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.code, 0);
    QCOMPARE(result.out, QByteArray("Pelindra Track File Generator 1.0\n"));

    result = Run({"--help"});
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.code, 0);
    QVERIFY2(result.out.contains("--offsets"), result.out.constData());
}

// --plot draws the window's preview to a file, written whole or not at all.
void TestCli::plot_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("existing");  // a file there before; empty: none
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("expected");  // the file's start, or a part of standard error
    QTest::addColumn<QByteArray>("inside");    // a text the drawing holds

    const QStringList ephemeris = {"--ephemeris", "2P.txt", "--at",         "2026-12-07T21:30",
                                   "--interval",  "15",     "--pixel-size", "1.8"};
    // The signature, then the header: 960 x 720 pixels.
    QTest::newRow("PNG") << FirstExample() << "path.png" << QByteArray() << 0
                         << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x03\xc0\0\0\x02\xd0", 24)
                         << QByteArray();
    QTest::newRow("SVG, times from the ephemeris")
        << ephemeris << "path.svg" << QByteArray() << 0 << QByteArray("<?xml")
        << QByteArray("start 21:30 UTC");
    QTest::newRow("replaced with --force")
        << FirstExample({"--force"}) << "old.svg" << QByteArray("old") << 0 << QByteArray("<?xml")
        << QByteArray("Constant rate over 1.5 min");
    QTest::newRow("kept without --force")
        << FirstExample() << "old.svg" << QByteArray("old") << 1
        << QByteArray("old.svg exists; use --force to replace it") << QByteArray();
    QTest::newRow("other suffix") << FirstExample() << "path.jpg" << QByteArray() << 2
                                  << QByteArray("--plot: \"path.jpg\" must end in .svg or .png")
                                  << QByteArray();
    QTest::newRow("pixel size 0") << FirstExample({"--pixel-size", "0"}) << "path.png"
                                  << QByteArray() << 1 << QByteArray("Pixel Size Must Be >0")
                                  << QByteArray();
    QTest::newRow("no such folder")
        << FirstExample() << "missing/path.png" << QByteArray() << 1
        << QByteArray("cannot write \"missing/path.png\": No such file or directory")
        << QByteArray();
}

void TestCli::plot() {
    QFETCH(QStringList, args);
    QFETCH(QString, file);
    QFETCH(QByteArray, existing);
    QFETCH(int, code);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArray, inside);

    QVERIFY(WriteAll(Path("2P.txt"), kHorizonsText));
    if (!existing.isEmpty()) QVERIFY(WriteAll(Path(file), existing));
    const Result result = Run(Fresh() + args + QStringList{"--plot", file});
    QCOMPARE(result.code, code);
    QCOMPARE(result.out, QByteArray());
    QStringList left = QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden);
    left.removeOne("2P.txt");
    if (code != 0) {
        QVERIFY2(result.err.contains(expected), result.err.constData());
        QCOMPARE(ReadAll(Path(file)), existing.isEmpty() ? QByteArray("<unreadable>") : existing);
        QCOMPARE(left, existing.isEmpty() ? QStringList() : QStringList{file});
        return;
    }
    QCOMPARE(result.err, QByteArray());
    const QByteArray drawing = ReadAll(Path(file));
    QVERIFY2(drawing.startsWith(expected), drawing.left(64).toHex().constData());
    if (file.endsWith(".svg")) QVERIFY(drawing.endsWith("</svg>\n"));
    QVERIFY2(drawing.contains(inside), drawing.constData());
    QCOMPARE(left, QStringList{file});
}

void TestCli::ephemerisRate_data() {
    QTest::addColumn<QByteArray>("ephemeris");
    QTest::addColumn<QString>("at");
    QTest::addColumn<bool>("fromStandardInput");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("output");  // standard output, or a part of standard error

    // Between the rows the eastward and northward rates are interpolated, never the angle.
    QTest::newRow("Horizons text, half way")
        << kHorizonsText << "2026-12-07T21:30" << false << 0 << QByteArray("1.152443 102.5288\n");
    QTest::newRow("Horizons text, at a row") << kHorizonsText << "2026-12-07 21:00:00" << false << 0
                                             << QByteArray("1.250000 143.1301\n");
    // A time as the messages write it, pasted back.
    QTest::newRow("Horizons text, a time from a message")
        << kHorizonsText << "2026-12-07 21:00:00 UTC" << false << 0
        << QByteArray("1.250000 143.1301\n");
    QTest::newRow("Horizons CSV, a quarter") << kHorizonsCsv << "2026-12-07T21:15:00.000Z" << false
                                             << 0 << QByteArray("1.126735 123.6901\n");
    QTest::newRow("Horizons JSON") << AsHorizonsJson(kHorizonsText) << "2026-12-07T21:30" << false
                                   << 0 << QByteArray("1.152443 102.5288\n");
    QTest::newRow("MPC table") << kMpcTable << "2026-12-07T21:30" << false << 0
                               << QByteArray("1.152416 102.5515\n");
    QTest::newRow("standard input")
        << kHorizonsText << "2026-12-07T21:30" << true << 0 << QByteArray("1.152443 102.5288\n");
    QTest::newRow("before the table")
        << kHorizonsText << "2026-12-07T20:59" << false << 1
        << QByteArray(
               "no rate for 2026-12-07 20:59:00 UTC: the ephemeris covers "
               "2026-12-07 21:00:00 UTC to 2026-12-07 22:00:00 UTC");
    QTest::newRow("no table") << QByteArray("Dear observer,\nno table today.\n")
                              << "2026-12-07T21:30" << false << 1
                              << QByteArray("no ephemeris table found");
}

void TestCli::ephemerisRate() {
    QFETCH(QByteArray, ephemeris);
    QFETCH(QString, at);
    QFETCH(bool, fromStandardInput);
    QFETCH(int, code);
    QFETCH(QByteArray, output);

    QVERIFY(WriteAll(Path("2P.txt"), ephemeris));
    const QStringList args =
        Fresh() +
        QStringList{"--ephemeris", fromStandardInput ? "-" : "2P.txt", "--at", at, "--rate"};
    const Result result = Start(PELINDRA_TRACK, args, "de_DE.UTF-8", {},
                                fromStandardInput ? ephemeris : QByteArray());
    QCOMPARE(result.code, code);
    if (code == 0) {
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.out, output);
    } else {
        QCOMPARE(result.out, QByteArray());
        QVERIFY2(result.err.contains(output), result.err.constData());
        QVERIFY2(result.err.contains("2P.txt"), result.err.constData());
    }
}

// The ephemeris fills Motion and PA as if their number texts had been typed.
void TestCli::ephemerisTrackAsTyped() {
    QVERIFY(WriteAll(Path("2P.txt"), kHorizonsText));
    const QStringList rest = {"--interval", "15", "--pixel-size", "1.8", "--total-time", "1.5"};
    const Result fromEphemeris =
        Run(Fresh() + QStringList{"--ephemeris", "2P.txt", "--at", "2026-12-07T21:30"} + rest);
    QCOMPARE(fromEphemeris.code, 0);
    // The number texts of the single-precision values: 1.152443 and 102.5288.
    const Result typed =
        Run(Fresh() + QStringList{"--motion", " 1.152443", "--pa", " 102.5288"} + rest);
    QCOMPARE(typed.code, 0);
    QCOMPARE(fromEphemeris.out, typed.out);
    QCOMPARE(fromEphemeris.out.count("\r\n"), 6);
}

void TestCli::follow_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("firstLine");  // or the start of the message
    QTest::addColumn<QPointF>("sums");          // of the written X and Y steps

    // The rates go from (45, -60) to (90, 30) "/hr over the hour: minute k moves
    // 0.75 + 0.75 (k + 0.5) / 60 east and -1 + 1.5 (k + 0.5) / 60 north, 67.5" east and 15"
    // south in all; the north rate turns at minute 40, and with it the sign of Y.
    const QStringList hour = {"--ephemeris",  "2P.txt", "--interval",   "60",
                              "--pixel-size", "1",      "--total-time", "60"};
    QTest::newRow("the hour, minute by minute")
        << hour + QStringList{"--follow", "--at", "2026-12-07T21:00"} << 0
        << QByteArray("60 -0.8 +1.0") << QPointF(-67.5, 15);
    QTest::newRow("the West side reverses both")
        << hour + QStringList{"--follow",      "--at", "2026-12-07T21:00", "--side", "west",
                              "--ra-rev-west", "1",    "--dec-rev-west",   "1"}
        << 0 << QByteArray("60 +0.8 -1.0") << QPointF(67.5, -15);
    QTest::newRow("past the table")
        << hour + QStringList{"--follow", "--at", "2026-12-07T21:30"} << 1
        << QByteArray(
               "The track needs the ephemeris from 2026-12-07 21:30:00 UTC to "
               "2026-12-07 22:30:00 UTC, but it covers 2026-12-07 21:00:00 UTC to "
               "2026-12-07 22:00:00 UTC")
        << QPointF();
    QTest::newRow("no start") << hour + QStringList{"--follow"} << 2
                              << QByteArray("--follow needs --ephemeris FILE and --at START")
                              << QPointF();
}

// --follow writes each line's own step, signs turning with the rate.
void TestCli::follow() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QByteArray, firstLine);
    QFETCH(QPointF, sums);

    QVERIFY(WriteAll(Path("2P.txt"), kHorizonsText));
    const Result result = Run(Fresh() + args);
    QCOMPARE(result.code, code);
    if (code != 0) {
        QVERIFY2(result.err.contains(firstLine), result.err.constData());
        QCOMPARE(result.out, QByteArray());
        return;
    }
    const QByteArrayList lines = result.out.split('\n');
    QCOMPARE(lines.size(), 61);
    QCOMPARE(lines.first(), firstLine + '\r');
    qint64 tenthsX = 0, tenthsY = 0;
    for (const QByteArray& line : lines.mid(0, 60)) {
        const QByteArrayList fields = line.chopped(1).split(' ');
        tenthsX += qRound64(fields.value(1).toDouble() * 10);
        tenthsY += qRound64(fields.value(2).toDouble() * 10);
    }
    QCOMPARE(QPointF(tenthsX / 10.0, tenthsY / 10.0), sums);
}

void TestCli::followTellsOnce_data() {
    QTest::addColumn<bool>("positions");  // the table gives R.A. and Dec.
    QTest::addColumn<QStringList>("more");
    QTest::addColumn<QStringList>("notes");  // on standard error, each once

    const QString coarse = QString::fromUtf8(Pelindra::TrackFile::kCoarseTableNote.data());
    const QString flat = QString::fromUtf8(Pelindra::TrackFile::kFlatSkyNote.data());
    QTest::newRow("positions") << true << QStringList{} << QStringList{coarse};
    QTest::newRow("rates alone") << false << QStringList{} << QStringList{flat, coarse};
    QTest::newRow("rates alone, the declination given")
        << false << QStringList{"--declination", "2.5"} << QStringList{coarse};
}

// --follow says once on standard error how the track falls short of the true path, and
// still writes it.
void TestCli::followTellsOnce() {
    QFETCH(bool, positions);
    QFETCH(QStringList, more);
    QFETCH(QStringList, notes);

    const QByteArray ratesAlone =
        "Target body name: 2P/Encke                        {source: JPL#K232/1}\n"
        "Center-site name: GEOCENTRIC\n"
        " Date__(UT)__HR:MN  dRA*cosD d(DEC)/dt\n"
        "**************************************\n"
        "$$SOE\n"
        " 2026-Dec-07 21:00  45.00000 -60.00000\n"
        " 2026-Dec-07 22:00  90.00000  30.00000\n"
        "$$EOE\n";
    QVERIFY(WriteAll(Path("2P.txt"), positions ? kHorizonsText : ratesAlone));
    const Result result =
        Run(Fresh() + QStringList{"--ephemeris", "2P.txt", "--interval", "60", "--pixel-size", "1",
                                  "--total-time", "60", "--follow", "--at", "2026-12-07T21:00"} +
            more);
    QCOMPARE(result.code, 0);
    QCOMPARE(result.out.count("\r\n"), 60);
    const QString err = QString::fromUtf8(result.err);
    for (const QString& note : notes) QCOMPARE(err.count(note), 1);
    QCOMPARE(err.count('\n'), notes.size());
}

void TestCli::phd2_data() {
    QTest::addColumn<QString>("mode");  // of the stand-in PHD2; empty: nothing listens
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("args");  // PORT stands for the stand-in's port
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("output");  // standard output, or a part of standard error

    const QStringList boxes = {"--motion", "12",           "--pa", "35",     "--interval",
                               "15",       "--pixel-size", "1.8",  "--side", "west"};
    const QByteArray skyAxes = Ini({"[PHD2]", "Host=127.0.0.1", "Port=PORT", "Axes=RA/Dec"});
    QTest::newRow("camera axes")
        << "normal" << QByteArray() << boxes + QStringList{"--phd2", "127.0.0.1:PORT"} << 0
        << QByteArray("PHD2 at 127.0.0.1:PORT: lock shift on: -229.43, -327.66 pixels/hr (X/Y)\n");
    // At 21:30 67.5 "/hr east at Dec 2.508: 67.565 "/hr of RA.
    QTest::newRow("sky axes from the ephemeris, settings' host and port")
        << "normal" << skyAxes
        << QStringList{"--ephemeris", "2P.txt", "--at", "2026-12-07T21:30", "--phd2"} << 0
        << QByteArray("PHD2 at 127.0.0.1:PORT: lock shift on: 67.56, -15.00 arcsec/hr (RA/Dec)\n");
    QTest::newRow("sky axes without a declination")
        << "normal" << skyAxes << boxes + QStringList{"--phd2"} << 1
        << QByteArray("this needs the object's declination");
    QTest::newRow("PHD2 refuses") << "refuse" << QByteArray()
                                  << boxes + QStringList{"--phd2", "127.0.0.1:PORT"} << 1
                                  << QByteArray(
                                         "refused the lock shift rate: lock shift is not "
                                         "allowed now (error 1)");
    QTest::newRow("sky axes, --declination")
        << "normal" << skyAxes << boxes + QStringList{"--phd2", "--declination", "60"} << 0
        << QByteArray("PHD2 at 127.0.0.1:PORT: lock shift on: 825.95, 589.79 arcsec/hr (RA/Dec)\n");
    // 6.8829 "/min east at the mount's Dec +20 is 439.48 "/hr of RA.
    QTest::newRow("sky axes, the mount's declination")
        << "normal"
        << Ini({"[PHD2]", "Host=127.0.0.1", "Port=PORT", "Axes=RA/Dec", "[INDI]", "Host=127.0.0.1",
                "Port=INDIPORT"})
        << boxes + QStringList{"--phd2"} << 0
        << QByteArray("PHD2 at 127.0.0.1:PORT: lock shift on: 439.48, 589.79 arcsec/hr (RA/Dec)\n");
    QTest::newRow("PHD2 keeps lock shift off")
        << "off" << QByteArray() << boxes + QStringList{"--phd2", "127.0.0.1:PORT"} << 1
        << QByteArray(
               "holds lock shift off: -229.43, -327.66 pixels/hr (X/Y), not the lock "
               "shift on: -229.43, -327.66 pixels/hr (X/Y) sent");
    QTest::newRow("PHD2 holds another rate")
        << "doubled" << QByteArray() << boxes + QStringList{"--phd2", "127.0.0.1:PORT"} << 1
        << QByteArray("not the lock shift on: -229.43, -327.66 pixels/hr (X/Y) sent");
    QTest::newRow("--declination alone")
        << "normal" << QByteArray() << boxes + QStringList{"--declination", "60"} << 2
        << QByteArray("--declination goes with --indi, --phd2 or --follow");
    QTest::newRow("nothing listens")
        << "" << QByteArray() << boxes + QStringList{"--phd2", "127.0.0.1:PORT"} << 1
        << QByteArray(
               "PHD2 at 127.0.0.1:PORT cannot be reached: Connection refused");
}

void TestCli::phd2() {
    QFETCH(QString, mode);
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QByteArray, output);
    std::optional<FakePhd2> server;
    int port = 0;
    if (mode.isEmpty()) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        port = closed.serverPort();
    } else {
        server.emplace(mode);
        port = server->port();
    }
    QVERIFY(port > 0);
    const QByteArray portText = QByteArray::number(port);
    std::optional<FakeIndi> mount;
    if (ini.contains("INDIPORT")) {
        mount.emplace();
        QVERIFY(mount->port() > 0);
        ini.replace("INDIPORT", QByteArray::number(mount->port()));
    }
    QVERIFY(WriteAll(Path("2P.txt"), kHorizonsText));
    QVERIFY(WriteAll(Path("phd2.ini"), ini.replace("PORT", portText)));
    args.replaceInStrings("PORT", portText);
    output.replace("PORT", portText);

    const Result result = Run(QStringList{"--settings", Path("phd2.ini")} + args);
    QCOMPARE(result.code, code);
    if (code == 0) {
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.out, output);
    } else {
        QCOMPARE(result.out, QByteArray());
        QVERIFY2(result.err.contains(output), result.err.constData());
    }
}

// Only drawing and the links load the GUI and network libraries (through the plugin); every
// other run starts with Qt Core alone. The dynamic loader's own record names every library
// a run maps, linked or loaded later.
void TestCli::librariesLoaded_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("output");  // standard output
    QTest::addColumn<QStringList>("loaded");
    QTest::addColumn<QStringList>("notLoaded");

    const QStringList coreOnly = {"libQt6Core.so"};
    // cfitsio brings curl and TLS with it: loaded when a frame is read, not at start.
    const QStringList drawingAndLinks = {"libQt6Gui.so",     "libQt6Svg.so",
                                         "libQt6Network.so", "libQt6DBus.so",
                                         "libcfitsio.so",    "libcurl",
                                         "libgnutls.so",     "pelindra-track-plugin.so"};
    const QStringList drawingAndLinksOnly = {"libQt6Gui.so", "libQt6Svg.so", "libQt6Network.so",
                                             "libQt6DBus.so", "pelindra-track-plugin.so"};
    const QStringList ephemeris = {"--ephemeris", "2P.txt", "--at", "2026-12-07T21:30"};
    QTest::newRow("version") << QStringList{"--version"} << 0
                             << QByteArray("Pelindra Track File Generator 1.0\n") << coreOnly
                             << drawingAndLinks;
    QTest::newRow("track file") << FirstExample() << 0 << kFirstExample << coreOnly
                                << drawingAndLinks;
    QTest::newRow("offsets") << FirstExample({"--offsets"}) << 0 << QByteArray("-0.96 -1.37\n")
                             << coreOnly << drawingAndLinks;
    // At 21:30 67.5 "/hr east and 15 "/hr south: 69.146 "/hr, toward 102.53 degrees.
    QTest::newRow("rate") << ephemeris + QStringList{"--rate"} << 0
                          << QByteArray("1.152443 102.5288\n") << coreOnly << drawingAndLinks;
    // In those 15 s it moves 0.28" east and 0.06" south: at 1" a pixel, X -0.3 and Y +0.1.
    QTest::newRow("following track")
        << ephemeris + QStringList{"--follow", "--total-time", "0.25"} << 0
        << QByteArray("15 -0.3 +0.1\r\n") << coreOnly << drawingAndLinks;
    // Solving reads the frame with cfitsio and runs the solver as a program of its own; a
    // frame that is not there needs no cfitsio to say so.
    QTest::newRow("solve, no frame") << QStringList{"--solve", "missing.fits"} << 1 << QByteArray()
                                     << coreOnly << drawingAndLinks;
    QTest::newRow("solve, a frame that is no FITS")
        << QStringList{"--solve", "2P.txt"} << 1 << QByteArray()
        << QStringList{"libQt6Core.so", "libcfitsio.so"} << drawingAndLinksOnly;
    // After "--" an option's name is an argument like any other.
    QTest::newRow("--plot after --")
        << QStringList{"--", "--plot"} << 2 << QByteArray() << coreOnly << drawingAndLinks;
    // The single-dash form, which the parser reads too.
    QTest::newRow("plot") << FirstExample({"-plot=path.svg"}) << 0 << QByteArray()
                          << QStringList{"libQt6Gui.so", "libQt6Svg.so", "pelindra-track-plugin.so"}
                          << QStringList();
    QTest::newRow("mount, wrong usage")
        << QStringList{"--indi"} << 2 << QByteArray()
        << QStringList{"libQt6Network.so", "pelindra-track-plugin.so"} << QStringList();
    // A file named like the option: the plugin runs the same command line, to the same end.
    QTest::newRow("file named --plot") << FirstExample({"-o", "--plot"}) << 0 << QByteArray()
                                       << QStringList{"pelindra-track-plugin.so"} << QStringList();
}

void TestCli::librariesLoaded() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QByteArray, output);
    QFETCH(QStringList, loaded);
    QFETCH(QStringList, notLoaded);

    QVERIFY(WriteAll(Path("2P.txt"), kHorizonsText));
    QVERIFY(QDir(dir_->path()).mkpath("ld"));
    qputenv("LD_DEBUG", "files");
    qputenv("LD_DEBUG_OUTPUT", Path("ld/record").toLocal8Bit());
    const Result result = Run(Fresh() + args);
    qunsetenv("LD_DEBUG");
    qunsetenv("LD_DEBUG_OUTPUT");
    QCOMPARE(result.code, code);
    QCOMPARE(result.out, output);
    if (args.contains("--plot") && args.contains("-o")) {
        QCOMPARE(ReadAll(Path("--plot")), kFirstExample);
    }

    QByteArray record;
    const QDir ld(Path("ld"));
    for (const QString& name : ld.entryList(QDir::Files)) record += ReadAll(ld.filePath(name));
    QVERIFY2(record.contains("file="), "the dynamic loader kept no record");
    for (const QString& name : loaded) {
        QVERIFY2(record.contains(name.toUtf8()), qPrintable(name + " was not loaded"));
    }
    for (const QString& name : notLoaded) {
        QVERIFY2(!record.contains(name.toUtf8()), qPrintable(name + " was loaded"));
    }
}

void TestCli::cutEphemeris_data() {
    QTest::addColumn<QByteArray>("ephemeris");
    QTest::addColumn<QString>("at");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("output");

    // The text stops inside the 22:00 row: the table ends at 21:00, and says so.
    const QByteArray csv = kHorizonsCsv.left(kHorizonsCsv.indexOf("90.00000,  30") + 11);
    const QByteArray mpc = kMpcTable.left(kMpcTable.size() - 4);
    QTest::newRow("Horizons CSV cut inside its last rate")
        << csv << "2026-12-07T21:00" << 0 << QByteArray("1.250000 143.1301\n");
    QTest::newRow("MPC table cut three characters short")
        << mpc << "2026-12-07T21:00" << 0 << QByteArray("1.250000 143.1000\n");
    QTest::newRow("a time the cut row held")
        << mpc << "2026-12-07T21:30" << 1
        << QByteArray("the ephemeris covers 2026-12-07 21:00:00 UTC to 2026-12-07 21:00:00 UTC");
}

void TestCli::cutEphemeris() {
    QFETCH(QByteArray, ephemeris);
    QFETCH(QString, at);
    QFETCH(int, code);
    QFETCH(QByteArray, output);

    QVERIFY(WriteAll(Path("2P.txt"), ephemeris));
    const Result result = Run(Fresh() + QStringList{"--ephemeris", "2P.txt", "--at", at, "--rate"});
    QCOMPARE(result.code, code);
    QVERIFY2(result.err.contains("\"2P.txt\": the text seems cut off inside a row: the table "
                                 "ends at its last complete row, 2026-12-07 21:00:00 UTC\n"),
             result.err.constData());
    if (code == 0) {
        QCOMPARE(result.out, output);
    } else {
        QVERIFY2(result.err.contains(output), result.err.constData());
    }
}

void TestCli::pipeAsTarget_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("file");

    QTest::newRow("track") << FirstExample({"--force", "-o", "pipe.trk"}) << "pipe.trk";
    QTest::newRow("plot") << FirstExample({"--force", "--plot", "pipe.svg"}) << "pipe.svg";
}

// A pipe in the target's place is refused at once; the test keeps a reader on it so that
// a write into it would be seen rather than wait for ever.
void TestCli::pipeAsTarget() {
    QFETCH(QStringList, args);
    QFETCH(QString, file);

    const QByteArray pipe = Path(file).toLocal8Bit();
    QCOMPARE(mkfifo(pipe.constData(), 0600), 0);
    const int reader = open(pipe.constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    const Result result = Run(Fresh() + args);
    char buffer[16];
    const ssize_t got = read(reader, buffer, sizeof buffer);
    close(reader);
    QCOMPARE(result.code, 1);
    QVERIFY2(result.err.contains(file.toUtf8() + "\": it is not a regular file"),
             result.err.constData());
    QVERIFY2(got <= 0, "the pipe was written to");
    struct stat info {};
    QCOMPARE(lstat(pipe.constData(), &info), 0);
    QVERIFY(S_ISFIFO(info.st_mode));
}

namespace {

constexpr qint64 kLargeInput = 64 * 1024 * 1024;

// A Horizons table of one row a minute from 2026-01-01, as many as `size` bytes hold.
QByteArray LargeHorizonsTable(qint64 size = kLargeInput) {
    QByteArray text =
        "Target body name: 2P/Encke\n"
        " Date__(UT)__HR:MN     R.A._____(ICRF)_____DEC  dRA*cosD d(DEC)/dt\n"
        "******************************************************************\n$$SOE\n";
    const QByteArray end = "$$EOE\n";
    text.reserve(size);
    for (QDate day(2026, 1, 1);; day = day.addDays(1)) {
        const QByteArray date = " " + QLocale::c().toString(day, "yyyy-MMM-dd").toLatin1();
        for (int minute = 0; minute < 24 * 60; ++minute) {
            char row[96];
            const int length = std::snprintf(row, sizeof row,
                                             "%s %02d:%02d     08 21 31.08 +02 30 58.7  45.00000 "
                                             "-60.00000\n",
                                             date.constData(), minute / 60, minute % 60);
            if (text.size() + length + end.size() > size) return text + end;
            text.append(row, length);
        }
    }
}

}  // namespace

void TestCli::largeEphemeris_data() {
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<int>("code");

    QTest::newRow("line ends after an MPC page's title") << QByteArray("newlines") << 1;
    QTest::newRow("tabs after an MPC page's title") << QByteArray("tabs") << 1;
    QTest::newRow("one long line") << QByteArray("long") << 1;
    QTest::newRow("Horizons table") << QByteArray("horizons") << 0;
    QTest::newRow("Horizons API reply") << QByteArray("json") << 0;
}

// Any ephemeris of up to 64 MiB is read in under 2 s of processor time, within four times
// its size and 64 MiB more.
void TestCli::largeEphemeris() {
    QFETCH(QByteArray, kind);
    QFETCH(int, code);

    const QByteArray title = "Minor Planet Ephemeris Service: Query Results\n";
    QByteArray text;
    if (kind == "newlines") text = title + QByteArray(kLargeInput - title.size(), '\n');
    if (kind == "tabs") text = title + QByteArray(kLargeInput - title.size(), '\t');
    if (kind == "long") text = QByteArray(kLargeInput, 'x');
    if (kind == "horizons") text = LargeHorizonsTable();
    if (kind == "json") {
        // Escaping makes it longer: a table that much shorter.
        for (qint64 size = kLargeInput; text.isEmpty() || text.size() > kLargeInput;) {
            text = AsHorizonsJson(LargeHorizonsTable(size));
            size -= text.size() - kLargeInput + 128;
        }
    }
    QVERIFY(text.size() <= kLargeInput && text.size() > kLargeInput / 100 * 99);
    QVERIFY(WriteAll(Path("large.txt"), text));
    text.clear();
    text.squeeze();

    const QByteArray program = QByteArray(PELINDRA_TRACK);
    const QByteArray settings = Path("none.ini").toLocal8Bit();
    const QByteArray input = Path("large.txt").toLocal8Bit();
    const QByteArray output = Path("out.txt").toLocal8Bit();
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        const int out = open(output.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        execl(program.constData(), program.constData(), "--settings", settings.constData(),
              "--ephemeris", input.constData(), "--at", "2026-01-01T00:30", "--rate", nullptr);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    QCOMPARE(wait4(child, &status, 0, &usage), child);
    QVERIFY(WIFEXITED(status));
    const QByteArray said = ReadAll(Path("out.txt"));
    QVERIFY2(WEXITSTATUS(status) == code, said.constData());
    if (code == 0) QCOMPARE(said, QByteArray("1.250000 143.1301\n"));
    const double seconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    const qint64 peak = qint64(usage.ru_maxrss) * 1024;
    qint64 limit = 4 * kLargeInput + 64 * 1024 * 1024;
#ifdef PELINDRA_SANITIZED
    // The address sanitizer's shadow and quarantine take memory of their own, and its checks
    // time: the plain builds hold the figures.
    limit *= 3;
#endif
    QVERIFY2(peak <= limit, qPrintable(QString("%1 MiB at most").arg(peak >> 20)));
#ifndef PELINDRA_SANITIZED
    QVERIFY2(seconds < 2, qPrintable(QString("%1 s").arg(seconds)));
#endif
    qInfo("%s: %lld MiB, %.2f s", kind.constData(), peak >> 20, seconds);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
