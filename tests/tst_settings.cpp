#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QLockFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <chrono>
#include <csignal>
#include <thread>

#include "settings/Settings.h"
#include "tests/support/TestFiles.h"

using namespace Pelindra::Core;
using namespace Pelindra::Settings;

namespace {

QByteArray ToQt(const std::string& bytes) {
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

// The main window's controls. Each call is logged with the record field it belongs to,
// as it stands at that moment, so both the order and "field first, then control" show.
class FakeView : public SettingsView {
  public:
    explicit FakeView(const TrackParams& params) : params_(params) {}

    QStringList calls;
    std::string motion, pa, interval;

    void SetMotionText(const std::string& text) override {
        motion = text;
        Log("Motion", text, params_.Motion);
    }
    void SetPAText(const std::string& text) override {
        pa = text;
        Log("PA", text, params_.PA);
    }
    void SetTimeIntervalText(const std::string& text) override {
        interval = text;
        Log("TimeInterval", text, params_.TimeInterval);
    }
    void SetWestValue(bool selected) override {
        Log("West", selected ? "true" : "false", params_.EastWest);
    }
    void SetEastValue(bool selected) override {
        Log("East", selected ? "true" : "false", params_.EastWest);
    }
    std::string MotionText() const override { return motion; }
    std::string PAText() const override { return pa; }
    void SetEphemerisMemory(const EphemerisMemory& memory) override { loaded = memory; }
    std::optional<EphemerisMemory> EphemerisMemoryToSave() const override { return toSave; }

    void SetPreferences(const Preferences& p) override { preferences = p; }
    std::optional<Preferences> PreferencesToSave() const override { return preferencesToSave; }

    std::optional<EphemerisMemory> loaded, toSave;
    Preferences preferences;
    std::optional<Preferences> preferencesToSave;

  private:
    void Log(const char* control, const std::string& value, double field) {
        calls << QString("%1=%2 (%3)").arg(control, QString::fromStdString(value)).arg(field);
    }
    const TrackParams& params_;
};

double Field(const TrackParams& p, const QString& name) {
    if (name == "Motion") return p.Motion;
    if (name == "PA") return p.PA;
    if (name == "PixSize") return p.PixSize;
    if (name == "TotalTime") return p.TotalTime;
    if (name == "TimeInterval") return p.TimeInterval;
    if (name == "MountType") return p.MountType;
    if (name == "EastWest") return p.EastWest;
    if (name == "RaRevWest") return p.RaRevWest;
    if (name == "DecRevWest") return p.DecRevWest;
    if (name == "RARevEast") return p.RARevEast;
    if (name == "DecRevEast") return p.DecRevEast;
    qFatal("unknown field %s", qPrintable(name));
}

void SetField(TrackParams& p, FakeView& view, const QString& name, const QString& value) {
    const double number = value.toDouble();
    if (name == "MotionText")
        view.motion = value.toStdString();
    else if (name == "PAText")
        view.pa = value.toStdString();
    else if (name == "Directory")
        p.Directory = value.toStdString();
    else if (name == "PixSize")
        p.PixSize = float(number);
    else if (name == "TotalTime")
        p.TotalTime = float(number);
    else if (name == "TimeInterval")
        p.TimeInterval = float(number);
    else if (name == "MountType")
        p.MountType = std::int16_t(number);
    else if (name == "EastWest")
        p.EastWest = std::int16_t(number);
    else if (name == "RaRevWest")
        p.RaRevWest = std::int16_t(number);
    else if (name == "DecRevWest")
        p.DecRevWest = std::int16_t(number);
    else if (name == "RARevEast")
        p.RARevEast = std::int16_t(number);
    else if (name == "DecRevEast")
        p.DecRevEast = std::int16_t(number);
    else
        qFatal("unknown field %s", qPrintable(name));
}

// What the first close writes when no settings file existed.
const QByteArray kSample =
    "[Object]\r\n"
    "Motion=1\r\n"
    "Position Angle=0\r\n"
    "[Pixel Size]\r\n"
    "PixelSize=1\r\n"
    "[Time]\r\n"
    "Total Time=60\r\n"
    "Time Interval=15\r\n"
    "[Mount]\r\n"
    "Mount=False\r\n"
    "EastWest=True\r\n"
    "RA Direction West=0\r\n"
    "Dec Direction West=0\r\n"
    "Ra Direction East=0\r\n"
    "Dec Direction East=0\r\n"
    "[Directory]\r\n"
    "Current Directory=\r\n";

// A hand-kept file: comments, a foreign section, blank lines, entry 10 in its other
// spelling, every value already in the form a save writes.
const QByteArray kHandKept =
    "; observatory laptop\r\n"
    "[Object]\r\n"
    "Motion=2.50\r\n"
    "Position Angle=-35\r\n"
    "\r\n"
    "[Observer]\r\n"
    "Name=Ada\r\n"
    "\r\n"
    "[Pixel Size]\r\n"
    "PixelSize=2.2\r\n"
    "[Time]\r\n"
    "Total Time=90\r\n"
    "Time Interval=7.5\r\n"
    "[Mount]\r\n"
    "; fork on the roof\r\n"
    "Mount=True\r\n"
    "EastWest=False\r\n"
    "RA Direction West=2\r\n"
    "Dec Direction West=1\r\n"
    "RA Direction East=1\r\n"
    "Dec Direction East=0\r\n"
    "[Directory]\r\n"
    "Current Directory=/home/obs/tracks\r\n"
    "[Trailer]\r\n";

}  // namespace

// Saving is expected to succeed; on failure its message is the diagnostic.
#define SAVE_OK(params, view, path)                          \
    do {                                                     \
        const auto error = SaveSettings(params, view, path); \
        QVERIFY2(!error, error ? error->c_str() : "");       \
    } while (false)

class TestSettings : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString Path(const QString& name = "Pelindra.ini") const { return dir_->filePath(name); }
    // Loads `bytes` (a missing file when null) into a record that starts out dirty.
    TrackParams Load(const QByteArray& bytes);
    TrackParams params_;
    std::optional<std::string> problem_;  // what loading said about the file
    std::unique_ptr<FakeView> view_;

  private slots:
    void initTestCase();
    void init();

    void defaults_data();
    void defaults();
    void loadOrder();
    void loadEntry_data();
    void loadEntry();
    void loadText_data();
    void loadText();
    void loadLongDirectory();

    void sampleAfterFirstStart();
    void savedEntry_data();
    void savedEntry();
    void otherLinesKept_data();
    void otherLinesKept();
    void utf8Directory();
    void saveCreatesFolder();
    void saveFailure_data();
    void saveFailure();
    void interruptedSaveKeepsOldFile();
    void unusableFile_data();
    void unusableFile();
    void saveWaitsForAnotherCopy();
    void updateReadsUnderTheLock();
    void ephemerisMemory();
    void addedEntries_data();
    void addedEntries();
    void connections_data();
    void connections();
    void filePath();
};

TrackParams TestSettings::Load(const QByteArray& bytes) {
    if (!bytes.isNull()) WriteAll(Path(), bytes);
    params_ = TrackParams{};
    params_.Motion = params_.PA = params_.PixSize = params_.TotalTime = params_.TimeInterval = 99;
    params_.MountType = params_.EastWest = 5;
    params_.RaRevWest = params_.DecRevWest = params_.RARevEast = params_.DecRevEast = 5;
    params_.Directory = "stale";
    view_ = std::make_unique<FakeView>(params_);
    problem_ = LoadSettings(params_, *view_, Path().toStdString());
    return params_;
}

void TestSettings::initTestCase() {
    QCoreApplication::setApplicationName("Pelindra");
    QStandardPaths::setTestModeEnabled(true);
}

void TestSettings::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestSettings::defaults_data() {
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("no file") << QByteArray();
    QTest::newRow("empty file") << QByteArray("");
    QTest::newRow("only other sections") << QByteArray("[Other]\r\nMotion=5\r\n");
    QTest::newRow("keys in the wrong section")
        << QByteArray("[Time]\r\nMotion=5\r\n[Object]\r\nTotal Time=5\r\n");
}

void TestSettings::defaults() {
    QFETCH(QByteArray, bytes);
    const TrackParams p = Load(bytes);

    QCOMPARE(p.Motion, 1.0f);
    QCOMPARE(p.PA, 0.0f);
    QCOMPARE(p.PixSize, 1.0f);
    QCOMPARE(p.TotalTime, 60.0f);
    QCOMPARE(p.TimeInterval, 15.0f);
    QCOMPARE(p.MountType, kFalse);
    QCOMPARE(p.EastWest, kTrue);
    QCOMPARE(p.RaRevWest, std::int16_t(0));
    QCOMPARE(p.DecRevWest, std::int16_t(0));
    QCOMPARE(p.RARevEast, std::int16_t(0));
    QCOMPARE(p.DecRevEast, std::int16_t(0));
    QCOMPARE(QString::fromStdString(p.Directory), QString());
    QCOMPARE(view_->calls, (QStringList{"Motion=1 (1)", "PA=0 (0)", "TimeInterval=15 (15)",
                                        "West=true (-1)", "East=false (-1)"}));
}

// Each control is written after its field is loaded, in the order of the entries.
void TestSettings::loadOrder() {
    Load(
        "[Mount]\r\nEastWest=False\r\n[Time]\r\nTime Interval=8\r\n"
        "[Object]\r\nPosition Angle=250\r\nMotion=2.50\r\n");
    QCOMPARE(view_->calls, (QStringList{"Motion=2.50 (2.5)", "PA=250 (250)", "TimeInterval=8 (8)",
                                        "West=false (0)", "East=true (0)"}));
}

void TestSettings::loadEntry_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("expected");

    auto mount = [](const char* line, const char* field, double value) {
        QTest::newRow(line) << "[Mount]\r\n" + QByteArray(line) + "\r\n" << QString(field) << value;
    };
    // Entry 10 under either spelling, names in any case.
    mount("RA Direction East=1", "RARevEast", 1);
    mount("Ra Direction East=1", "RARevEast", 1);
    mount("ra direction east=1", "RARevEast", 1);
    QTest::newRow("section in lower case")
        << QByteArray("[mount]\r\nDEC DIRECTION EAST=1\r\n") << "DecRevEast" << 1.0;
    // Flags: the words in any case, or any number.
    mount("Mount=True", "MountType", -1);
    mount("Mount=true", "MountType", -1);
    mount("Mount=-1", "MountType", -1);
    mount("Mount=1", "MountType", -1);
    mount("Mount=7", "MountType", -1);
    mount("Mount=False", "MountType", 0);
    mount("Mount=0", "MountType", 0);
    mount("Mount=banana", "MountType", 0);
    mount("Mount=", "MountType", 0);
    mount("Mount='1\t'", "MountType", -1);
    mount("EastWest=False", "EastWest", 0);
    mount("EastWest=banana", "EastWest", -1);
    mount("EastWest=", "EastWest", -1);
    // Whole numbers: half to even, outside 16 bits the default.
    mount("RA Direction West=1.5", "RaRevWest", 2);
    mount("RA Direction West=0.5", "RaRevWest", 0);
    mount("RA Direction West=2", "RaRevWest", 2);
    mount("Dec Direction West=-1", "DecRevWest", -1);
    mount("RA Direction West=40000", "RaRevWest", 0);
    mount("RA Direction West=32767.5", "RaRevWest", 0);
    // Numbers: the numeric prefix, or 0; beyond single range the default.
    QTest::newRow("PixelSize=abc")
        << QByteArray("[Pixel Size]\r\nPixelSize=abc\r\n") << "PixSize" << 0.0;
    QTest::newRow("PixelSize=1.1")
        << QByteArray("[Pixel Size]\r\nPixelSize=1.1\r\n") << "PixSize" << double(1.1f);
    QTest::newRow("PixelSize=1,5")
        << QByteArray("[Pixel Size]\r\nPixelSize=1,5\r\n") << "PixSize" << 1.0;
    QTest::newRow("Total Time=1e39")
        << QByteArray("[Time]\r\nTotal Time=1e39\r\n") << "TotalTime" << 60.0;
}

void TestSettings::loadEntry() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, field);
    QFETCH(double, expected);
    QCOMPARE(Field(Load(bytes), field), expected);
}

void TestSettings::loadText_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("expected");
    QTest::addColumn<QByteArray>("text");

    auto object = [](const char* line, double value, const char* text) {
        QTest::newRow(line) << "[Object]\r\n" + QByteArray(line) + "\r\n"
                            << "Motion" << value << QByteArray(text);
    };
    object("Motion=abc", 0, "abc");
    object("Motion=", 0, "");
    object("Position Angle=3", 1, "1");  // no Motion entry
    object("Motion=2.50", 2.5, "2.50");
    object("Motion=1e39", 1, "1");
    object("Motion=1e400", 1, "1");
    object("Motion=0.0123456789", double(0.0123456789f), "0.0123456789");
    // Motion and Position Angle hold what was typed, so a decimal comma counts there.
    object("Motion=2,35", double(2.35f), "2,35");
    QTest::newRow("PA=-720") << QByteArray("[Object]\r\nPosition Angle=-720\r\n") << "PA" << -720.0
                             << QByteArray("-720");
    QTest::newRow("Time Interval=8s") << QByteArray("[Time]\r\nTime Interval=8s\r\n")
                                      << "TimeInterval" << 8.0 << QByteArray("8s");
    QTest::newRow("Time Interval=2e39") << QByteArray("[Time]\r\nTime Interval=2e39\r\n")
                                        << "TimeInterval" << 15.0 << QByteArray("15");
    // Repaired as the box would repair it, also when the box sees no change.
    QTest::newRow("Time Interval=")
        << QByteArray("[Time]\r\nTime Interval=\r\n") << "TimeInterval" << 1.0 << QByteArray(" 1");
    QTest::newRow("Time Interval=-3") << QByteArray("[Time]\r\nTime Interval=-3\r\n")
                                      << "TimeInterval" << 1.0 << QByteArray(" 1");
}

void TestSettings::loadText() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, field);
    QFETCH(double, expected);
    QFETCH(QByteArray, text);

    const TrackParams p = Load(bytes);
    QCOMPARE(Field(p, field), expected);
    const std::string& shown = field == "Motion" ? view_->motion
                               : field == "PA"   ? view_->pa
                                                 : view_->interval;
    QCOMPARE(ToQt(shown), text);
}

void TestSettings::loadLongDirectory() {
    QByteArray folder = "/data";
    while (folder.size() < 120) folder += "/observations";
    folder.truncate(120);
    const TrackParams p = Load("[Directory]\r\nCurrent Directory=" + folder + "\r\n");
    QCOMPARE(ToQt(p.Directory), folder);
}

void TestSettings::sampleAfterFirstStart() {
    const TrackParams p = Load(QByteArray());
    SAVE_OK(p, *view_, Path().toStdString());
    QCOMPARE(ReadAll(Path()), kSample);
    // Written in one step: nothing left beside it.
    QCOMPARE(QDir(dir_->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"Pelindra.ini"});
}

void TestSettings::savedEntry_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("PixSize 1.1") << "PixSize"
                                 << "1.1" << QByteArray("PixelSize=1.1");
    QTest::newRow("PixSize 0.5") << "PixSize"
                                 << "0.5" << QByteArray("PixelSize=0.5");
    QTest::newRow("PixSize 12345678") << "PixSize"
                                      << "12345678" << QByteArray("PixelSize=1.234568E+07");
    QTest::newRow("PixSize 1e-5") << "PixSize"
                                  << "1e-5" << QByteArray("PixelSize=1E-05");
    QTest::newRow("TotalTime 90") << "TotalTime"
                                  << "90" << QByteArray("Total Time=90");
    QTest::newRow("TotalTime -2.5") << "TotalTime"
                                    << "-2.5" << QByteArray("Total Time=-2.5");
    QTest::newRow("TimeInterval 7.5") << "TimeInterval"
                                      << "7.5" << QByteArray("Time Interval=7.5");
    QTest::newRow("Mount fork") << "MountType"
                                << "-1" << QByteArray("Mount=True");
    QTest::newRow("East side") << "EastWest"
                               << "0" << QByteArray("EastWest=False");
    QTest::newRow("grayed stays 2") << "RaRevWest"
                                    << "2" << QByteArray("RA Direction West=2");
    QTest::newRow("Dec West -1") << "DecRevWest"
                                 << "-1" << QByteArray("Dec Direction West=-1");
    QTest::newRow("entry 10 spelling") << "RARevEast"
                                       << "1" << QByteArray("Ra Direction East=1");
    QTest::newRow("Motion text as typed") << "MotionText"
                                          << "1e-3" << QByteArray("Motion=1e-3");
    QTest::newRow("Directory") << "Directory"
                               << "/home/obs/tracks"
                               << QByteArray("Current Directory=/home/obs/tracks");
}

void TestSettings::savedEntry() {
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QByteArray, line);

    TrackParams p = Load(QByteArray());
    SetField(p, *view_, field, value);
    SAVE_OK(p, *view_, Path().toStdString());
    const QByteArray bytes = ReadAll(Path());
    QVERIFY2(bytes.contains("\r\n" + line + "\r\n"), bytes.constData());
    QCOMPARE(bytes.count("\r\n"), 17);
}

void TestSettings::otherLinesKept_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("nothing changed") << "PixSize"
                                     << "2.2" << kHandKept;
    QByteArray pix = kHandKept;
    pix.replace("PixelSize=2.2", "PixelSize=1.1");
    QTest::newRow("pixel size") << "PixSize"
                                << "1.1" << pix;
    QByteArray east = kHandKept;
    east.replace("RA Direction East=1", "RA Direction East=0");
    QTest::newRow("entry 10 keeps its spelling") << "RARevEast"
                                                 << "0" << east;
}

// Only the values of the twelve entries change; every other byte stays.
void TestSettings::otherLinesKept() {
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QByteArray, expected);

    TrackParams p = Load(kHandKept);
    QCOMPARE(p.RaRevWest, std::int16_t(2));
    QCOMPARE(p.MountType, kTrue);
    SetField(p, *view_, field, value);
    SAVE_OK(p, *view_, Path().toStdString());
    QCOMPARE(ReadAll(Path()), expected);
}

void TestSettings::utf8Directory() {
    TrackParams p = Load(QByteArray());
    const QByteArray folder = "/tmp/\xC3\x85lesund \xE6\x98\x9F";  // "/tmp/Ålesund 星"
    p.Directory = folder.toStdString();
    SAVE_OK(p, *view_, Path().toStdString());
    QCOMPARE(ToQt(Load(QByteArray()).Directory), folder);
}

void TestSettings::saveCreatesFolder() {
    const TrackParams p = Load(QByteArray());
    const QString path = Path("config/Pelindra/Pelindra.ini");
    SAVE_OK(p, *view_, path.toStdString());
    QCOMPARE(ReadAll(path), kSample);
}

void TestSettings::saveFailure_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("target is a folder") << "Pelindra.ini";
    QTest::newRow("parent is a file") << "plain/Pelindra.ini";
}

void TestSettings::saveFailure() {
    QFETCH(QString, name);

    const TrackParams p = Load(QByteArray());
    QVERIFY(QDir(dir_->path()).mkpath("Pelindra.ini"));
    WriteAll(Path("Pelindra.ini/inside"), "keep");
    WriteAll(Path("plain"), "keep");

    const auto error = SaveSettings(p, *view_, Path(name).toStdString());
    QVERIFY(error.has_value());
    QVERIFY2(QString::fromStdString(*error).contains(Path(name)), error->c_str());
    QVERIFY(QFileInfo(Path("Pelindra.ini")).isDir());
    QCOMPARE(ReadAll(Path("Pelindra.ini/inside")), QByteArray("keep"));
    QCOMPARE(ReadAll(Path("plain")), QByteArray("keep"));
}

// A save that stops half way (here at the file-size limit) leaves the old file whole and
// reports the failure.
void TestSettings::interruptedSaveKeepsOldFile() {
    const QByteArray old =
        "; notes\r\n" + QByteArray(100 * 1024, 'x') + "\r\n[Object]\r\nMotion=3\r\n";
    WriteAll(Path("Pelindra.ini"), old);
    const TrackParams p = Load(QByteArray());

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto error = SaveSettings(p, *view_, Path("Pelindra.ini").toStdString());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(error.has_value());
    QVERIFY2(QString::fromStdString(*error).contains(Path("Pelindra.ini")), error->c_str());
    QCOMPARE(ReadAll(Path("Pelindra.ini")), old);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Pelindra.ini"});
}

void TestSettings::unusableFile_data() {
    QTest::addColumn<QString>("kind");

    QTest::newRow("folder") << "folder";
    QTest::newRow("pipe that never delivers") << "pipe";
    QTest::newRow("link to an endless device") << "device";
    QTest::newRow("larger than 16 MiB") << "large";
    QTest::newRow("write-only") << "write-only";
}

// Whatever stands in the settings file's place loads the defaults at once (no hang, no
// exhausted memory), is reported, and is never replaced.
void TestSettings::unusableFile() {
    QFETCH(QString, kind);

    const QByteArray path = Path().toLocal8Bit();
    if (kind == "folder") {
        QVERIFY(QDir().mkpath(Path()));
    } else if (kind == "pipe") {
        QCOMPARE(mkfifo(path.constData(), 0600), 0);
    } else if (kind == "device") {
        QVERIFY(QFile::link("/dev/zero", Path()));
    } else if (kind == "large") {
        WriteAll(Path(), "[Object]\r\nMotion=5\r\n");
        QVERIFY(QFile::resize(Path(), 16 * 1024 * 1024 + 1));
    } else {
        if (geteuid() == 0) QSKIP("root may read a write-only file");
        WriteAll(Path(), "[Object]\r\nMotion=5\r\n");
        QVERIFY(QFile::setPermissions(Path(), QFile::WriteOwner));
    }
    auto fingerprint = [&] {
        struct stat info {};
        lstat(path.constData(), &info);
        return QList<qint64>{qint64(info.st_mode), qint64(info.st_ino), qint64(info.st_size),
                             qint64(info.st_mtim.tv_nsec)};
    };
    const auto before = fingerprint();

    const TrackParams p = Load(QByteArray());
    QVERIFY(problem_.has_value());
    QVERIFY2(QString::fromStdString(*problem_).contains(Path()), problem_->c_str());
    QCOMPARE(p.Motion, 1.0f);
    QCOMPARE(p.TimeInterval, 15.0f);

    const auto error = SaveSettings(p, *view_, Path().toStdString());
    QVERIFY(error.has_value());
    QCOMPARE(fingerprint(), before);
    QCOMPARE(Listing(dir_->path()), QStringList{"Pelindra.ini"});
}

// Two copies closing at once: the second waits for the first to finish its read and
// write, so neither works from a file the other is replacing.
void TestSettings::saveWaitsForAnotherCopy() {
    const TrackParams p = Load(QByteArray());
    QLockFile otherCopy(Path() + ".lock");
    QVERIFY(otherCopy.tryLock(0));

    std::optional<std::string> error = "did not run";
    std::thread closing([&] { error = SaveSettings(p, *view_, Path().toStdString()); });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const bool waited = !QFileInfo::exists(Path());
    otherCopy.unlock();
    closing.join();

    QVERIFY(waited);
    QVERIFY2(!error, error ? error->c_str() : "");
    QCOMPARE(ReadAll(Path()), kSample);
}

// A change of a few entries (pelindra-track --solve --save) reads the file only once it
// holds the lock: what another copy saved meanwhile stays, with the change on top.
void TestSettings::updateReadsUnderTheLock() {
    WriteAll(Path(), "[Object]\r\nMotion= 3\r\n");
    QLockFile otherCopy(Path() + ".lock");
    QVERIFY(otherCopy.tryLock(0));

    std::optional<std::string> error = "did not run";
    std::thread update([&] {
        error = UpdateSettings(Path().toStdString(), [](TrackParams& p) { p.PixSize = 2.5f; });
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // The other copy closes, writing its own file.
    WriteAll(Path(), "[Object]\r\nMotion= 7\r\n[Extra]\r\nKey=kept\r\n");
    otherCopy.unlock();
    update.join();

    QVERIFY2(!error, error ? error->c_str() : "");
    const QByteArray after = ReadAll(Path());
    for (const char* line : {"Motion=7\r\n", "[Extra]\r\nKey=kept\r\n", "PixelSize=2.5\r\n"}) {
        QVERIFY2(after.contains(line), after.constData());
    }
}

// The ephemeris section is read back as written and appears only once one was used.
void TestSettings::ephemerisMemory() {
    TrackParams p = Load(kHandKept);
    QVERIFY(!view_->loaded);
    SAVE_OK(p, *view_, Path().toStdString());
    QCOMPARE(ReadAll(Path()), kHandKept);

    view_->toSave = EphemerisMemory{"/home/obs/2P.txt", "2026-12-07T21:30:00Z"};
    SAVE_OK(p, *view_, Path().toStdString());
    QCOMPARE(ReadAll(Path()), kHandKept +
                                  "[Ephemeris]\r\nFile=/home/obs/2P.txt\r\n"
                                  "Time=2026-12-07T21:30:00Z\r\n");
    p = Load(QByteArray());
    QVERIFY(view_->loaded);
    QCOMPARE(QString::fromStdString(view_->loaded->file), "/home/obs/2P.txt");
    QCOMPARE(QString::fromStdString(view_->loaded->time), "2026-12-07T21:30:00Z");
}

void TestSettings::addedEntries_data() {
    QTest::addColumn<float>("cameraAngle");
    QTest::addColumn<bool>("nightMode");
    QTest::addColumn<QByteArray>("appended");  // to the hand-kept file

    // Defaults add nothing: the file stays byte for byte.
    QTest::newRow("defaults") << 0.f << false << QByteArray();
    QTest::newRow("camera turned") << -12.5f << false << QByteArray("[Camera]\r\nAngle=-12.5\r\n");
    QTest::newRow("night mode") << 0.f << true << QByteArray("[View]\r\nNight Mode=True\r\n");
}

// Entries past the classic twelve appear only once they differ from their defaults, and
// then stay, also when set back.
void TestSettings::addedEntries() {
    QFETCH(float, cameraAngle);
    QFETCH(bool, nightMode);
    QFETCH(QByteArray, appended);

    TrackParams p = Load(kHandKept);
    QCOMPARE(p.CameraAngle, 0.f);
    p.CameraAngle = cameraAngle;
    view_->preferencesToSave = Preferences{};
    view_->preferencesToSave->nightMode = nightMode;
    SAVE_OK(p, *view_, Path().toStdString());
    QCOMPARE(ReadAll(Path()), kHandKept + appended);

    p = Load(QByteArray());
    QCOMPARE(p.CameraAngle, cameraAngle);
    QCOMPARE(view_->preferences.nightMode, nightMode);
    p.CameraAngle = 0;
    view_->preferencesToSave = Preferences{};
    SAVE_OK(p, *view_, Path().toStdString());
    QByteArray back = appended;
    back.replace("-12.5", " 0").replace("True", "False");
    QCOMPARE(ReadAll(Path()), kHandKept + back.replace("= 0", "=0"));
}

void TestSettings::connections_data() {
    QTest::addColumn<QByteArray>("section");  // appended to the hand-kept file
    // PHD2 host, port, axes; INDI host, port, device, Dec rate reversed East and West
    QTest::addColumn<QStringList>("read");
    QTest::addColumn<QByteArray>("saved");  // the section after saving what was read

    const QByteArray elsewhere =
        "[PHD2]\r\nHost=guider.local\r\nPort=4401\r\nAxes=RA/Dec\r\n[INDI]\r\nHost=10.0.0.5\r\n"
        "Port=40000\r\nDevice=Telescope Simulator\r\n";
    QTest::newRow("elsewhere")
        << elsewhere << QStringList{"guider.local",        "4401", "RA/Dec", "10.0.0.5", "40000",
                                    "Telescope Simulator", "0",    "0"}
        << elsewhere;
    QTest::newRow("ports out of range or not numbers")
        << QByteArray("[PHD2]\r\nPort=70000\r\nAxes=sideways\r\n[INDI]\r\nPort=76 24\r\n")
        << QStringList{"localhost", "4400", "X/Y", "localhost", "7624", "", "0", "0"}
        << QByteArray("[PHD2]\r\nPort=4400\r\nAxes=X/Y\r\n[INDI]\r\nPort=7624\r\n");
    QTest::newRow("Dec rate reversed on the West side")
        << QByteArray("[INDI]\r\nDec Rate Reversed West=True\r\n")
        << QStringList{"localhost", "4400", "X/Y", "localhost", "7624", "", "0", "1"}
        << QByteArray("[INDI]\r\nDec Rate Reversed West=True\r\n");
}

// Where PHD2 and the INDI server are reached is read back as written; a value that cannot be
// a host's port is the default.
void TestSettings::connections() {
    QFETCH(QByteArray, section);
    QFETCH(QStringList, read);
    QFETCH(QByteArray, saved);

    TrackParams p = Load(kHandKept + section);
    const Connections& links = view_->preferences.connections;
    QCOMPARE(
        (QStringList{QString::fromStdString(links.phd2Host), QString::number(links.phd2Port),
                     links.phd2SkyAxes ? "RA/Dec" : "X/Y", QString::fromStdString(links.indiHost),
                     QString::number(links.indiPort), QString::fromStdString(links.indiDevice),
                     links.decRateReversedEast ? "1" : "0", links.decRateReversedWest ? "1" : "0"}),
        read);
    view_->preferencesToSave = view_->preferences;
    SAVE_OK(p, *view_, Path().toStdString());
    QCOMPARE(ReadAll(Path()), kHandKept + saved);
}

void TestSettings::filePath() {
    const QString path = QString::fromStdString(SettingsFilePath());
    QVERIFY2(path.endsWith("Pelindra/Pelindra.ini"), qPrintable(path));
    QVERIFY(QFileInfo(path).isAbsolute());
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
