#include "settings/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <algorithm>
#include <memory>
#include <variant>

#include "core/AtomicFile.h"
#include "core/IntervalRepair.h"
#include "core/NumberReading.h"
#include "core/NumberText.h"
#include "core/RegularFile.h"
#include "core/Rounding.h"
#include "settings/AsciiCase.h"
#include "settings/IniDocument.h"

namespace Pelindra::Settings {

using namespace Core;

namespace {

constexpr const char* kFileName = "Pelindra.ini";
// A settings file larger than this is not one: reading it would only cost memory.
constexpr std::size_t kSettingsSizeLimit = 16 * 1024 * 1024;
// Long enough for another copy to finish writing a settings file; its lock is taken over
// at once should that copy have died holding it.
constexpr int kLockWaitMs = 10000;

// Reads the entries; an absent file reads as an empty one.
class Entries {
  public:
    explicit Entries(const IniDocument& ini) : ini_(ini) {}

    std::string Text(const char* section, const char* key, const char* fallback) const {
        return ini_.Read(section, key).value_or(fallback);
    }

    // A number read into a 32-bit field; the text that gave it is returned in `text`.
    // A value beyond single range is unusable and gives the default.
    float Number(const char* section, const char* key, const char* fallback,
                 std::string* text = nullptr, double (*read)(std::string_view) = ReadNumber) const {
        std::string value = Text(section, key, fallback);
        std::optional<float> number = ToSingle(read(value));
        if (!number) {
            value = fallback;
            number = ToSingle(read(value));
        }
        if (text) *text = value;
        return *number;
    }

    // "True"/"False" in any case, or a number (not 0 is true); anything else gives the default.
    std::int16_t Flag(const char* section, const char* key, const char* fallback) const {
        const std::string value = Text(section, key, fallback);
        if (EqualsIgnoringAsciiCase(value, "true")) return kTrue;
        if (EqualsIgnoringAsciiCase(value, "false")) return kFalse;
        const std::string number = IsWholeNumber(value) ? value : fallback;
        return ReadNumber(number) != 0 ? kTrue : kFalse;
    }

    // Rounded half to even; outside 16 bits gives the default.
    std::int16_t Whole(const char* section, const char* key, const char* fallback) const {
        const auto value = ToInt16HalfEven(ReadNumber(Text(section, key, fallback)));
        return value ? *value : *ToInt16HalfEven(ReadNumber(fallback));
    }

    // A TCP port, 1 to 65535; anything else gives the default.
    int Port(const char* section, const char* key, int fallback) const {
        const std::string value = Text(section, key, "");
        if (!IsWholeNumber(value)) return fallback;
        const double port = ReadNumber(value);
        return port >= 1 && port <= 65535 ? static_cast<int>(port) : fallback;
    }

  private:
    const IniDocument& ini_;
};

const char* FlagText(std::int16_t flag) {
    return flag != 0 ? "True" : "False";
}

}  // namespace

std::string SettingsFilePath() {
    return (QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + '/' + kFileName)
        .toStdString();
}

std::optional<std::string> LoadSettings(TrackParams& params, SettingsView& view,
                                        const std::string& path) {
    FileContent file = ReadRegularFile(path, kSettingsSizeLimit);
    std::optional<std::string> problem;
    if (file.state == FileContent::State::Unusable) {
        problem = "The settings file \"" + path + "\" cannot be used: " + file.reason +
                  ". Pelindra starts with its default settings and leaves that file as it is.";
    }
    const IniDocument ini(std::move(file.bytes));
    const Entries entries(ini);

    // Motion and Position Angle hold the boxes' texts, so they are read as the boxes read.
    std::string text;
    params.Motion = entries.Number("Object", "Motion", "1", &text, ReadTypedNumber);
    view.SetMotionText(text);
    params.PA = entries.Number("Object", "Position Angle", "0", &text, ReadTypedNumber);
    view.SetPAText(text);
    params.PixSize = entries.Number("Pixel Size", "PixelSize", "1.0");
    params.TotalTime = entries.Number("Time", "Total Time", "60");
    params.TimeInterval = entries.Number("Time", "Time Interval", "15", &text);
    // Repaired here and not only by the box, which sees no change when the text it is
    // given is the empty text it already holds.
    if (const auto repaired = RepairInterval(params.TimeInterval)) text = *repaired;
    view.SetTimeIntervalText(text);

    params.MountType = entries.Flag("Mount", "Mount", "0");
    params.EastWest = entries.Flag("Mount", "EastWest", "1");
    if (params.EastWest != 0) {
        view.SetWestValue(true);
        view.SetEastValue(false);
    } else {
        view.SetWestValue(false);
        view.SetEastValue(true);
    }

    params.RaRevWest = entries.Whole("Mount", "RA Direction West", "0");
    params.DecRevWest = entries.Whole("Mount", "Dec Direction West", "0");
    params.RARevEast = entries.Whole("Mount", "RA Direction East", "0");
    params.DecRevEast = entries.Whole("Mount", "Dec Direction East", "0");
    params.Directory = entries.Text("Directory", "Current Directory", "");

    const auto ephemerisFile = ini.Read("Ephemeris", "File");
    const auto ephemerisTime = ini.Read("Ephemeris", "Time");
    params.CameraAngle = entries.Number("Camera", "Angle", "0");
    Preferences preferences;
    preferences.followEphemeris = entries.Flag("Ephemeris", "Follow", "0") != 0;
    preferences.sensorWidthPixels = std::max<int>(0, entries.Whole("Camera", "Sensor Width", "0"));
    preferences.sensorHeightPixels =
        std::max<int>(0, entries.Whole("Camera", "Sensor Height", "0"));
    preferences.nightMode = entries.Flag("View", "Night Mode", "0") != 0;
    Connections& links = preferences.connections;
    const Connections defaults;
    links.phd2Host = entries.Text("PHD2", "Host", defaults.phd2Host.c_str());
    links.phd2Port = entries.Port("PHD2", "Port", defaults.phd2Port);
    links.phd2SkyAxes = EqualsIgnoringAsciiCase(entries.Text("PHD2", "Axes", "X/Y"), "RA/Dec");
    links.indiHost = entries.Text("INDI", "Host", defaults.indiHost.c_str());
    links.indiPort = entries.Port("INDI", "Port", defaults.indiPort);
    links.indiDevice = entries.Text("INDI", "Device", "");
    links.decRateReversedEast = entries.Flag("INDI", "Dec Rate Reversed East", "0") != 0;
    links.decRateReversedWest = entries.Flag("INDI", "Dec Rate Reversed West", "0") != 0;
    view.SetPreferences(preferences);

    if (ephemerisFile || ephemerisTime) {
        view.SetEphemerisMemory({ephemerisFile.value_or(""), ephemerisTime.value_or("")});
    }
    return problem;
}

namespace {

std::string SaveFailure(const std::string& path, const std::string& reason) {
    return "Cannot save the settings file \"" + path + "\": " + reason;
}

// The lock file beside the settings file, taken; or why not.
std::variant<std::unique_ptr<QLockFile>, std::string> Lock(const std::string& path) {
    const QString folder = QFileInfo(QString::fromStdString(path)).absolutePath();
    if (!QDir().mkpath(folder)) {
        return SaveFailure(path, "cannot create the folder " + folder.toStdString());
    }
    auto lock = std::make_unique<QLockFile>(QString::fromStdString(path) + ".lock");
    if (!lock->tryLock(kLockWaitMs)) {
        return SaveFailure(path, lock->error() == QLockFile::LockFailedError
                                     ? "another copy of Pelindra kept it locked"
                                     : "cannot create its lock file beside it");
    }
    return lock;
}

// The boxes' texts as the file holds them, written back unchanged.
class KeptTexts : public SettingsView {
  public:
    void SetMotionText(const std::string& text) override { motion_ = text; }
    void SetPAText(const std::string& text) override { pa_ = text; }
    void SetTimeIntervalText(const std::string&) override {}
    void SetWestValue(bool) override {}
    void SetEastValue(bool) override {}
    std::string MotionText() const override { return motion_; }
    std::string PAText() const override { return pa_; }

  private:
    std::string motion_, pa_;
};

std::optional<std::string> SaveLocked(const TrackParams& params, const SettingsView& view,
                                      const std::string& path);

}  // namespace

std::optional<std::string> SaveSettings(const TrackParams& params, const SettingsView& view,
                                        const std::string& path) {
    auto lock = Lock(path);
    if (const auto* problem = std::get_if<std::string>(&lock)) return *problem;
    return SaveLocked(params, view, path);
}

std::optional<std::string> UpdateSettings(const std::string& path,
                                          const std::function<void(TrackParams&)>& change) {
    auto lock = Lock(path);
    if (const auto* problem = std::get_if<std::string>(&lock)) return *problem;
    TrackParams params;
    KeptTexts texts;
    if (const auto problem = LoadSettings(params, texts, path)) return problem;
    change(params);
    return SaveLocked(params, texts, path);
}

namespace {

std::optional<std::string> SaveLocked(const TrackParams& params, const SettingsView& view,
                                      const std::string& path) {
    auto failure = [&](const std::string& reason) { return SaveFailure(path, reason); };
    // Other lines of the file are kept, so a file that cannot be read is not replaced.
    FileContent file = ReadRegularFile(path, kSettingsSizeLimit);
    if (file.state == FileContent::State::Unusable) return failure(file.reason);
    IniDocument ini(std::move(file.bytes));
    ini.Write("Object", "Motion", view.MotionText());
    ini.Write("Object", "Position Angle", view.PAText());
    ini.Write("Pixel Size", "PixelSize", NumberText(params.PixSize));
    ini.Write("Time", "Total Time", NumberText(params.TotalTime));
    ini.Write("Time", "Time Interval", NumberText(params.TimeInterval));
    ini.Write("Mount", "Mount", FlagText(params.MountType));
    ini.Write("Mount", "EastWest", FlagText(params.EastWest));
    ini.Write("Mount", "RA Direction West", NumberText(params.RaRevWest));
    ini.Write("Mount", "Dec Direction West", NumberText(params.DecRevWest));
    ini.Write("Mount", "Ra Direction East", NumberText(params.RARevEast));
    ini.Write("Mount", "Dec Direction East", NumberText(params.DecRevEast));
    ini.Write("Directory", "Current Directory", params.Directory);
    // Entries past the classic twelve appear only once they mean something.
    auto writeAdded = [&](const char* section, const char* key, const std::string& value,
                          bool isDefault) {
        if (!isDefault || ini.Read(section, key)) ini.Write(section, key, value);
    };
    writeAdded("Camera", "Angle", NumberText(params.CameraAngle), params.CameraAngle == 0);
    if (const auto preferences = view.PreferencesToSave()) {
        writeAdded("Ephemeris", "Follow", FlagText(preferences->followEphemeris ? kTrue : kFalse),
                   !preferences->followEphemeris);
        writeAdded("Camera", "Sensor Width",
                   NumberText(static_cast<std::int16_t>(preferences->sensorWidthPixels)),
                   preferences->sensorWidthPixels == 0);
        writeAdded("Camera", "Sensor Height",
                   NumberText(static_cast<std::int16_t>(preferences->sensorHeightPixels)),
                   preferences->sensorHeightPixels == 0);
        writeAdded("View", "Night Mode", FlagText(preferences->nightMode ? kTrue : kFalse),
                   !preferences->nightMode);
        const Connections& links = preferences->connections;
        const Connections defaults;
        writeAdded("PHD2", "Host", links.phd2Host, links.phd2Host == defaults.phd2Host);
        writeAdded("PHD2", "Port", std::to_string(links.phd2Port),
                   links.phd2Port == defaults.phd2Port);
        writeAdded("PHD2", "Axes", links.phd2SkyAxes ? "RA/Dec" : "X/Y", !links.phd2SkyAxes);
        writeAdded("INDI", "Host", links.indiHost, links.indiHost == defaults.indiHost);
        writeAdded("INDI", "Port", std::to_string(links.indiPort),
                   links.indiPort == defaults.indiPort);
        writeAdded("INDI", "Device", links.indiDevice, links.indiDevice.empty());
        writeAdded("INDI", "Dec Rate Reversed East",
                   FlagText(links.decRateReversedEast ? kTrue : kFalse),
                   !links.decRateReversedEast);
        writeAdded("INDI", "Dec Rate Reversed West",
                   FlagText(links.decRateReversedWest ? kTrue : kFalse),
                   !links.decRateReversedWest);
    }
    if (const auto memory = view.EphemerisMemoryToSave()) {
        ini.Write("Ephemeris", "File", memory->file);
        ini.Write("Ephemeris", "Time", memory->time);
    }

    if (const auto error = WriteFileAtomically(path, ini.Bytes())) return failure(*error);
    return std::nullopt;
}

}  // namespace

}  // namespace Pelindra::Settings
