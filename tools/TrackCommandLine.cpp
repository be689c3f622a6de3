#include "tools/TrackCommandLine.h"

#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QLocale>
#include <iostream>
#include <vector>

#include "core/AtomicFile.h"
#include "core/IntervalRepair.h"
#include "core/NumberReading.h"
#include "core/NumberText.h"
#include "core/Offsets.h"
#include "core/RegularFile.h"
#include "core/Rounding.h"
#include "core/StoreNumber.h"
#include "core/Validation.h"
#include "ephemeris/Reader.h"
#include "ephemeris/UtcTime.h"
#include "links/HostPort.h"
// pelindra-track itself is built without drawing and the links, which need the GUI and
// network libraries: its plugin, built with them, runs every command line that asks for them.
#ifndef PELINDRA_TRACK_CORE
#include "links/Phd2Client.h"
#endif
#include "links/SkyMotion.h"
#ifndef PELINDRA_TRACK_CORE
#include "preview/PathPicture.h"
#endif
#include "settings/Settings.h"
#include "tools/Console.h"
#include "tools/EphemerisRate.h"
#include "tools/IndiCommand.h"
#include "tools/SolveCommand.h"
#include "trackfile/FileExists.h"
#include "trackfile/SaveCommand.h"

using namespace Pelindra::Tools;
using namespace Pelindra::Core;
using namespace Pelindra::TrackFile;
using namespace Pelindra::Settings;
using namespace Pelindra::Ephemeris;
#ifndef PELINDRA_TRACK_CORE
using namespace Pelindra::Preview;
#endif

namespace {

// The window's boxes as loading the settings leaves them: each text is read as the box
// reads it, and an interval that is not positive is repaired.
class LoadedBoxes : public SettingsView {
  public:
    explicit LoadedBoxes(TrackParams& params) : params_(params) {}

    void SetMotionText(const std::string& text) override { motion_ = text; }
    void SetPAText(const std::string& text) override { pa_ = text; }
    void SetTimeIntervalText(const std::string& text) override {
        interval_ = text;
        if (const auto value = ToSingle(ReadTypedNumber(text))) params_.TimeInterval = *value;
        if (const auto repaired = RepairInterval(params_.TimeInterval)) interval_ = *repaired;
    }
    void SetWestValue(bool) override {}
    void SetEastValue(bool) override {}
    std::string MotionText() const override { return motion_; }
    std::string PAText() const override { return pa_; }
    const std::string& IntervalText() const { return interval_; }
    void SetPreferences(const Preferences& preferences) override { preferences_ = preferences; }
    const Preferences& LoadedPreferences() const { return preferences_; }

  private:
    TrackParams& params_;
    std::string motion_, pa_, interval_;
    Preferences preferences_;
};

// Messages go to standard error; the output file stands in for the chooser's answer.
class ConsoleUi : public SaveCommandUi {
  public:
    ConsoleUi(std::string output, bool force, std::string intervalText)
        : output_(std::move(output)), force_(force), interval_(std::move(intervalText)) {}

    void ShowError(const std::string& text) override { PrintError(text); }
    void ShowTrackNotes(const std::vector<std::string>& notes) override {
        for (const std::string& note : notes) PrintError(note);
    }
    void SetDeltaXCaption(const std::string& caption) override { x_ = caption; }
    void SetDeltaYCaption(const std::string& caption) override { y_ = caption; }
    std::optional<std::string> ChooseTrackFile(const std::string&) override { return output_; }
    bool ConfirmOverwrite() override {
        if (!force_) PrintError(output_ + " exists; use --force to replace it");
        return force_;
    }
    std::string TimeIntervalText() override { return interval_; }
    // Options are checked before anything runs, so every value given was stored.
    bool AllEntriesStored() override { return true; }
    void Follow(const Table& table, UtcMs start, std::optional<double> declination) {
        followed_ = &table;
        start_ = start;
        declination_ = declination;
    }
    std::optional<EphemerisStart> FollowedEphemeris() override {
        if (!followed_) return std::nullopt;
        return EphemerisStart{*followed_, start_, declination_};
    }
    std::string Captions() const { return x_ + ' ' + y_; }

  private:
    std::string output_;
    bool force_;
    std::string interval_;
    std::string x_, y_;
    const Table* followed_ = nullptr;
    UtcMs start_ = 0;
    std::optional<double> declination_;
};

struct UsageError {
    std::string text;
};

const QList<QCommandLineOption>& Options() {
    static const QList<QCommandLineOption> options = {
        {"motion", "Object's motion in arcsec per minute.", "RATE"},
        {"pa", "Position angle of the motion in degrees.", "DEGREES"},
        {"interval", "Guide interval in seconds, written at the start of every line.", "SECONDS"},
        {"pixel-size", "Image scale in arcsec per pixel.", "ARCSEC"},
        {"total-time", "Length of the whole track in minutes.", "MINUTES"},
        {"mount", "Mount type: fork or gem.", "TYPE"},
        {"side", "Side of the pier: east or west.", "SIDE"},
        {"ra-rev-west", "RA reversed on the West side when 1.", "N"},
        {"dec-rev-west", "Dec reversed on the West side when 1.", "N"},
        {"ra-rev-east", "RA reversed on the East side when 1.", "N"},
        {"dec-rev-east", "Dec reversed on the East side when 1.", "N"},
        {"camera-angle",
         "Position angle of the camera's +Y axis in degrees, from north through east.", "DEGREES"},
        {"settings", "Settings file to start from (default: the user's).", "FILE"},
        {{"o", "output"}, "Write the track file to FILE (- for standard output).", "FILE"},
        {"force", "Replace FILE if it exists."},
        {"offsets", "Print the X and Y offsets per interval instead of a track file."},
        {"plot",
         "Draw the guide point's path on the sensor to FILE, an SVG drawing or a PNG image by "
         "its suffix (.svg, .png), instead of writing a track file.",
         "FILE"},
        {"ephemeris",
         "Take the motion and PA from this JPL Horizons or MPC ephemeris (- for standard "
         "input) instead of --motion and --pa.",
         "FILE"},
        {"at", "UTC time for the ephemeris, e.g. 2026-12-07T21:30 (default: now).", "TIME"},
        {"rate", "Print the motion (arcsec/minute) and PA (degrees) that would be used."},
        {"follow",
         "Follow the ephemeris from --at: each line's step is the object's motion over that "
         "line's own interval."},
        {"phd2",
         "Send the rate to PHD2's lock shift at HOST[:PORT] (without a value: the settings' "
         "host and port, else localhost:4400) and print what PHD2 then holds.",
         "HOST[:PORT]"},
        {"indi",
         "Talk to the mount through the INDI server at HOST[:PORT] (without a value: the "
         "settings' host and port, else localhost:7624); with --pier-side or --indi-track.",
         "HOST[:PORT]"},
        {"device",
         "The mount's INDI device name (default: the settings', else the first telescope).",
         "NAME"},
        {"pier-side", "Print the mount's side of the pier: East or West."},
        {"indi-track",
         "Make the mount track at the object's rate (from --motion and --pa, or the ephemeris) "
         "and print what it then holds."},
        {"declination",
         "The object's declination in degrees, for --indi-track, --phd2 or --follow when the "
         "ephemeris gives none (else the mount's own, when an INDI server is set).",
         "DEGREES"},
        {"solve",
         "Plate-solve the guide frame FILE (FITS) and print PIXEL_SIZE CAMERA_ANGLE MIRRORED.",
         "FILE"},
        {"save", "With --solve: write them and the reversal flags into the settings file."},
        {{"h", "help"}, "Show this help."},
        {"version", "Show the version."},
    };
    return options;
}

std::int16_t ChoiceFlag(const QString& value, const char* option, const char* whenTrue,
                        const char* whenFalse) {
    if (value.compare(whenTrue, Qt::CaseInsensitive) == 0) return kTrue;
    if (value.compare(whenFalse, Qt::CaseInsensitive) == 0) return kFalse;
    throw UsageError{std::string("--") + option + " must be " + whenTrue + " or " + whenFalse};
}

// The whole text must be a number: a script that passes "abc" or "141 \"/hr" has made a
// mistake that must not turn into a track file.
double ExactNumber(const QCommandLineParser& parser, const char* option) {
    const std::string text = parser.value(option).toStdString();
    const std::optional<double> value = ReadExactNumber(text);
    if (!value) throw UsageError{std::string("--") + option + ": \"" + text + "\" is not a number"};
    return *value;
}

std::int16_t ReversalFlag(const QCommandLineParser& parser, const char* option) {
    const auto flag = ToInt16HalfEven(ExactNumber(parser, option));
    if (!flag) throw UsageError{std::string("--") + option + " is out of range"};
    return *flag;
}

// Applies the options given on top of the loaded settings; false after an overflow.
bool ApplyOptions(const QCommandLineParser& parser, TrackParams& params, Messages& messages) {
    const std::pair<const char*, float*> numbers[] = {
        {"motion", &params.Motion},         {"pa", &params.PA},
        {"interval", &params.TimeInterval}, {"pixel-size", &params.PixSize},
        {"total-time", &params.TotalTime},  {"camera-angle", &params.CameraAngle},
    };
    // Every option is checked for its form before any is applied.
    std::vector<std::pair<float*, double>> values;
    for (const auto& [name, field] : numbers) {
        if (parser.isSet(name)) values.emplace_back(field, ExactNumber(parser, name));
    }
    const std::pair<const char*, std::int16_t*> flags[] = {
        {"ra-rev-west", &params.RaRevWest},
        {"dec-rev-west", &params.DecRevWest},
        {"ra-rev-east", &params.RARevEast},
        {"dec-rev-east", &params.DecRevEast},
    };
    for (const auto& [name, field] : flags) {
        if (parser.isSet(name)) *field = ReversalFlag(parser, name);
    }
    if (parser.isSet("mount"))
        params.MountType = ChoiceFlag(parser.value("mount"), "mount", "fork", "gem");
    if (parser.isSet("side"))
        params.EastWest = ChoiceFlag(parser.value("side"), "side", "west", "east");
    for (const auto& [field, value] : values) {
        const std::optional<float> single = ToSingle(value);
        if (!single) {
            messages.ShowError(std::string(kOverflowMessage));
            return false;
        }
        *field = *single;
    }
    return true;
}

// Number text without the blank that stands in for a plus sign.
std::string Shown(float value) {
    const std::string text = NumberText(value);
    return text.front() == ' ' ? text.substr(1) : text;
}

std::string NothingToWrite(const TrackParams& params) {
    return "nothing to write: a total time of " + Shown(params.TotalTime) +
           " minutes gives no line at intervals of " + Shown(params.TimeInterval) + " seconds";
}

// Combinations that cannot mean anything, refused before anything is read.
void CheckEphemerisOptions(const QCommandLineParser& parser) {
    if (parser.isSet("ephemeris") && (parser.isSet("motion") || parser.isSet("pa"))) {
        throw UsageError{"--ephemeris takes the place of --motion and --pa; give one or the other"};
    }
    if (parser.isSet("at") && !parser.isSet("ephemeris")) {
        throw UsageError{"--at names a time in the ephemeris: give --ephemeris too"};
    }
}

void CheckFollowOptions(const QCommandLineParser& parser) {
    if (!parser.isSet("follow")) return;
    if (!parser.isSet("ephemeris") || !parser.isSet("at")) {
        throw UsageError{"--follow needs --ephemeris FILE and --at START"};
    }
    if (parser.isSet("rate") || parser.isSet("offsets")) {
        throw UsageError{"--follow writes a track file: it does not go with --rate or --offsets"};
    }
}

void CheckPhd2Options(const QCommandLineParser& parser) {
    if (!parser.isSet("phd2")) return;
    for (const char* other : {"follow", "rate", "offsets", "plot", "output"}) {
        if (parser.isSet(other)) {
            throw UsageError{std::string("--phd2 sends one rate: it does not go with --") + other};
        }
    }
}

#ifndef PELINDRA_TRACK_CORE
// The rate from the options (or the ephemeris at --at) to PHD2, once, with the axes the
// settings choose; the read-back goes to standard output.
int SendToPhd2(const QCommandLineParser& parser, const TrackParams& params,
               const Connections& saved, std::optional<UtcMs> at) {
    const auto address = Pelindra::Links::ParseHostPort(parser.value("phd2").toStdString(),
                                                        {saved.phd2Host, saved.phd2Port});
    if (const auto* problem = std::get_if<std::string>(&address)) {
        throw UsageError{"--phd2: " + *problem};
    }
    const Pelindra::Links::HostPort& server = std::get<Pelindra::Links::HostPort>(address);
    auto options = MotionFromOptions(parser, params, at);
    if (const auto* problem = std::get_if<std::string>(&options)) {
        PrintError(*problem);
        return kFailure;
    }
    Pelindra::Links::SkyMotion motion = std::get<Pelindra::Links::SkyMotion>(options);
    // Sky axes take dRA/dt, which needs a declination: the mount's own, when a server is set.
    if (saved.phd2SkyAxes && !motion.declinationDegrees) {
        if (const auto mount = MountDeclination(parser, saved)) {
            if (const auto* problem = std::get_if<std::string>(&*mount)) {
                PrintError("PHD2: " + std::string(Pelindra::Links::kNoDeclination) + "; " +
                           *problem);
                return kFailure;
            }
            motion.declinationDegrees = std::get<double>(*mount);
        }
    }
    const auto rate = Pelindra::Links::Phd2RateFor(
        params, motion,
        saved.phd2SkyAxes ? Pelindra::Links::Phd2Axes::Sky : Pelindra::Links::Phd2Axes::Camera);
    if (const auto* problem = std::get_if<std::string>(&rate)) {
        PrintError("PHD2: " + *problem);
        return kFailure;
    }
    Pelindra::Links::Phd2Client client;
    QEventLoop loop;
    int status = kFailure;
    QObject::connect(
        &client, &Pelindra::Links::Phd2Client::succeeded, &loop, [&](const QString& held) {
            status = WriteToStandardOutput((client.Where() + ": " + held).toStdString() + '\n');
            loop.quit();
        });
    QObject::connect(&client, &Pelindra::Links::Phd2Client::failed, &loop,
                     [&](const QString& reason) {
                         PrintError(reason.toStdString());
                         loop.quit();
                     });
    client.SendRate(QString::fromStdString(server.host), server.port,
                    std::get<Pelindra::Links::Phd2Rate>(rate));
    // A failure to connect may already have been told.
    if (client.Busy()) loop.exec();
    return status;
}

UtcMs NowToTheSecond() {
    constexpr UtcMs kSecond = 1000;
    const UtcMs now = QDateTime::currentMSecsSinceEpoch();
    return now - ((now % kSecond) + kSecond) % kSecond;
}

// The picture the window's Track Preview shows, in black on white, to a new file or, with
// --force, over an old one.
int Plot(const std::string& file, const PathSource& source, bool force) {
    const std::optional<PictureFormat> format = PictureFormatFor(QString::fromStdString(file));
    if (!format) throw UsageError{"--plot: \"" + file + "\" must end in .svg or .png"};
    if (FileExists(file) && !force) {
        PrintError(file + " exists; use --force to replace it");
        return kFailure;
    }
    auto path = PathFor(source);
    if (const auto* problem = std::get_if<std::string>(&path)) {
        PrintError(*problem);
        return kFailure;
    }
    const PathPicture picture(std::get<PathGeometry>(std::move(path)));
    QFont font("DejaVu Sans");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(14);
    const PictureStyle style{PaperPalette(), font, QLocale::system().decimalPoint().toStdString()};
    const auto bytes = PictureBytes(picture, *format, QSize(960, 720), style);
    if (const auto* problem = std::get_if<std::string>(&bytes)) {
        PrintError("cannot draw \"" + file + "\": " + *problem);
        return kFailure;
    }
    const QByteArray& data = std::get<QByteArray>(bytes);
    if (const auto error = WriteFileAtomically(
            file, std::string_view(data.constData(), static_cast<std::size_t>(data.size())))) {
        PrintError("cannot write \"" + file + "\": " + *error);
        return kFailure;
    }
    return 0;
}
#endif

std::optional<UtcMs> AtTime(const QCommandLineParser& parser) {
    if (!parser.isSet("at")) return std::nullopt;
    const std::string text = parser.value("at").toStdString();
    const std::optional<UtcMs> time = ParseUtcTime(text);
    if (!time) {
        throw UsageError{"--at: \"" + text + "\" is not a UTC time such as 2026-12-07T21:30"};
    }
    return time;
}

int Run(const QCommandLineParser& parser) {
    TrackParams params;
    LoadedBoxes boxes(params);
    const std::string settings =
        parser.isSet("settings") ? parser.value("settings").toStdString() : SettingsFilePath();
    if (const auto problem = LoadSettings(params, boxes, settings)) PrintError(*problem);

    const std::string intervalText =
        parser.isSet("interval") ? parser.value("interval").toStdString() : boxes.IntervalText();
    const std::string output = parser.value("output").toStdString();
    const bool toStandardOutput = !parser.isSet("output") || output == "-";
    ConsoleUi ui(output, parser.isSet("force"), intervalText);
    const std::optional<UtcMs> at = AtTime(parser);
    if (!ApplyOptions(parser, params, ui)) return kFailure;
    if (parser.isSet("solve")) return RunSolveCommand(parser, params, settings);
#ifndef PELINDRA_TRACK_CORE
    if (parser.isSet("phd2")) {
        return SendToPhd2(parser, params, boxes.LoadedPreferences().connections, at);
    }
    if (parser.isSet("indi")) {
        return RunIndiCommand(parser, params, boxes.LoadedPreferences().connections, at);
    }
#endif

    // A following track leaves Motion and PA as the settings have them, as the window leaves
    // its boxes: no line uses them.
    std::optional<Table> followed;
    std::optional<double> declination;
    if (parser.isSet("follow")) {
        auto read = ReadToolEphemeris(parser.value("ephemeris").toStdString());
        if (const auto* error = std::get_if<std::string>(&read)) {
            PrintError(*error);
            return kFailure;
        }
        followed = std::get<Table>(std::move(read));
        if (parser.isSet("declination")) {
            const std::string text = parser.value("declination").toStdString();
            declination = ReadExactNumber(text);
            if (!declination || !(*declination >= -90 && *declination <= 90)) {
                throw UsageError{"--declination: \"" + text +
                                 "\" is not a declination from -90 to 90 degrees"};
            }
        }
        ui.Follow(*followed, *at, declination);
    }
    std::optional<Rate> ephemerisRate;
    if (parser.isSet("ephemeris") && !followed) {
        auto rate = EphemerisRate(parser.value("ephemeris").toStdString(), at);
        if (const auto* error = std::get_if<std::string>(&rate)) {
            PrintError(*error);
            return kFailure;
        }
        ephemerisRate = std::get<Rate>(rate);
        // As the window's Use: the boxes receive the number texts, as if typed.
        const std::optional<std::string> motion = ephemerisRate->MotionText();
        if (!motion || StoreNumber(*motion, params.Motion, ui) == StoreResult::Overflow ||
            StoreNumber(ephemerisRate->PositionAngleText(), params.PA, ui) ==
                StoreResult::Overflow) {
            if (!motion) PrintError(std::string(kOverflowMessage));
            return kFailure;
        }
    }
    if (parser.isSet("rate")) {
        return WriteToStandardOutput((ephemerisRate
                                          ? RateLine(ephemerisRate->MotionArcsecPerMinute(),
                                                     ephemerisRate->PositionAngleDegrees())
                                          : RateLine(params.Motion, params.PA)) +
                                     '\n');
    }

#ifndef PELINDRA_TRACK_CORE
    if (parser.isSet("plot")) {
        PathSource source;
        source.params = params;
        if (parser.isSet("ephemeris")) source.start = at ? *at : NowToTheSecond();
        source.followed = followed ? &*followed : nullptr;
        source.typedDeclinationDegrees = declination;
        source.sensorWidthPixels = boxes.LoadedPreferences().sensorWidthPixels;
        source.sensorHeightPixels = boxes.LoadedPreferences().sensorHeightPixels;
        return Plot(parser.value("plot").toStdString(), source, parser.isSet("force"));
    }
#endif
    if (parser.isSet("offsets")) {
        // For scripts: the full stop whatever the locale.
        if (ValidateAndUpdate(params, ui, ui, ".") != UpdateResult::Shown) {
            return kFailure;
        }
        return WriteToStandardOutput(ui.Captions() + '\n');
    }
    if (ValidateParams(params, ui) == ParamsCheck::Unusable) return kFailure;
    const std::optional<int> rows = RowCount(params, ui);
    if (!rows) return kFailure;
    if (*rows < 1) {
        PrintError(NothingToWrite(params));
        return kFailure;
    }
    const std::string separator = QLocale::system().decimalPoint().toStdString();
    if (!toStandardOutput) {
        return SaveTrackFile(params, ui, separator) == SaveResult::Written ? 0 : kFailure;
    }
    const std::optional<std::string> text = ComposeTrackFile(params, ui, separator);
    if (!text) return kFailure;
    return WriteToStandardOutput(*text);
}

}  // namespace

int RunTrackCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Writes a Pelindra track file: one line per guide interval with the X and Y offsets\n"
        "in pixels. Every value not given comes from the Pelindra settings file.");
    parser.addOptions(Options());
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);

    // --phd2's value may be left out, which the parser cannot express: a bare --phd2 is given
    // an empty value, meaning the settings' host and port.
    QStringList given = arguments;
    for (qsizetype i = 1; i < given.size(); ++i) {
        if ((given[i] == "--phd2" || given[i] == "-phd2") &&
            (i + 1 == given.size() || given[i + 1].startsWith('-'))) {
            given[i] = "--phd2=";
        }
        if ((given[i] == "--indi" || given[i] == "-indi") &&
            (i + 1 == given.size() || given[i + 1].startsWith('-'))) {
            given[i] = "--indi=";
        }
    }
    if (!parser.parse(given)) {
        PrintError(parser.errorText().toStdString());
        return kUsage;
    }
    if (parser.isSet("help")) {
        std::cout << parser.helpText().toStdString();
        return 0;
    }
    if (parser.isSet("version")) {
        std::cout << "Pelindra Track File Generator "
                  << QCoreApplication::applicationVersion().toStdString() << '\n';
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        PrintError("unexpected argument: " + parser.positionalArguments().first().toStdString());
        return kUsage;
    }
    try {
        CheckEphemerisOptions(parser);
        CheckFollowOptions(parser);
        CheckPhd2Options(parser);
        if (const auto problem = SolveOptionsProblem(parser)) throw UsageError{*problem};
        for (const char* mountOption : {"pier-side", "indi-track", "device"}) {
            if (parser.isSet(mountOption) && !parser.isSet("indi")) {
                throw UsageError{std::string("--") + mountOption + " goes with --indi"};
            }
        }
        if (parser.isSet("declination") && !parser.isSet("indi") && !parser.isSet("phd2") &&
            !parser.isSet("follow")) {
            throw UsageError{"--declination goes with --indi, --phd2 or --follow"};
        }
        return Run(parser);
    } catch (const UsageError& error) {
        PrintError(error.text);
        return kUsage;
    }
}
