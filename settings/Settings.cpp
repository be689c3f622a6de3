#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "core/AtomicFile.h"
#include "core/NumberReading.h"
#include "core/NumberText.h"
#include "core/Rounding.h"
#include "settings/IniDocument.h"

namespace {

constexpr const char* kFileName = "Pelindra.ini";

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

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
                 std::string* text = nullptr) const {
        std::string value = Text(section, key, fallback);
        std::optional<float> number = ToSingle(ReadNumber(value));
        if (!number) {
            value = fallback;
            number = ToSingle(ReadNumber(value));
        }
        if (text) *text = value;
        return *number;
    }

    // "True"/"False" in any case, or a number (not 0 is true); anything else gives the default.
    std::int16_t Flag(const char* section, const char* key, const char* fallback) const {
        const std::string value = Text(section, key, fallback);
        if (EqualsIgnoringCase(value, "true")) return kTrue;
        if (EqualsIgnoringCase(value, "false")) return kFalse;
        const std::string number = IsWholeNumber(value) ? value : fallback;
        return ReadNumber(number) != 0 ? kTrue : kFalse;
    }

    // Rounded half to even; outside 16 bits gives the default.
    std::int16_t Whole(const char* section, const char* key, const char* fallback) const {
        const auto value = ToInt16HalfEven(ReadNumber(Text(section, key, fallback)));
        return value ? *value : *ToInt16HalfEven(ReadNumber(fallback));
    }

  private:
    const IniDocument& ini_;
};

std::optional<std::string> ReadFile(const QString& path, std::string& bytes) {
    QFile file(path);
    if (!file.exists()) return std::nullopt;
    if (QFileInfo(path).isDir()) return "it is a folder";
    if (!file.open(QIODevice::ReadOnly)) return file.errorString().toStdString();
    bytes = file.readAll().toStdString();
    if (file.error() != QFileDevice::NoError) return file.errorString().toStdString();
    return std::nullopt;
}

const char* FlagText(std::int16_t flag) {
    return flag != 0 ? "True" : "False";
}

}  // namespace

std::string SettingsFilePath() {
    return (QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + '/' + kFileName)
        .toStdString();
}

namespace Functions {

void LoadSettings(TrackParams& params, SettingsView& view, const std::string& path) {
    std::string bytes;
    if (ReadFile(QString::fromStdString(path), bytes)) bytes.clear();
    const IniDocument ini(std::move(bytes));
    const Entries entries(ini);

    std::string text;
    params.Motion = entries.Number("Object", "Motion", "1", &text);
    view.SetMotionText(text);
    params.PA = entries.Number("Object", "Position Angle", "0", &text);
    view.SetPAText(text);
    params.PixSize = entries.Number("Pixel Size", "PixelSize", "1.0");
    params.TotalTime = entries.Number("Time", "Total Time", "60");
    params.TimeInterval = entries.Number("Time", "Time Interval", "15", &text);
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
}

std::optional<std::string> SaveSettings(const TrackParams& params, const SettingsView& view,
                                        const std::string& path) {
    const QString file = QString::fromStdString(path);
    auto failure = [&](const std::string& reason) {
        return "Cannot save the settings file \"" + path + "\": " + reason;
    };

    // Other lines of the file are kept, so a file that cannot be read is not replaced.
    std::string bytes;
    if (const auto error = ReadFile(file, bytes)) return failure(*error);
    const QString folder = QFileInfo(file).absolutePath();
    if (!QDir().mkpath(folder)) return failure("cannot create the folder " + folder.toStdString());

    IniDocument ini(std::move(bytes));
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

    if (const auto error = WriteFileAtomically(path, ini.Bytes())) return failure(*error);
    return std::nullopt;
}

}  // namespace Functions
