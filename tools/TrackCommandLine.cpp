#include "tools/TrackCommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLocale>
#include <iostream>

#include "core/NumberReading.h"
#include "core/Offsets.h"
#include "core/Rounding.h"
#include "core/StoreNumber.h"
#include "core/Validation.h"
#include "settings/Settings.h"
#include "trackfile/SaveCommand.h"

namespace {

constexpr int kFailure = 1;
constexpr int kUsage = 2;

void PrintError(const std::string& text) {
    std::cerr << "pelindra-track: " << text << '\n';
}

// The window's boxes as loading the settings leaves them, the interval repair included.
class LoadedBoxes : public SettingsView {
  public:
    explicit LoadedBoxes(TrackParams& params) : params_(params) {}

    void SetMotionText(const std::string& text) override { motion_ = text; }
    void SetPAText(const std::string& text) override { pa_ = text; }
    void SetTimeIntervalText(const std::string& text) override {
        interval_ = text;
        if (!(params_.TimeInterval > 0)) {
            params_.TimeInterval = 1;
            interval_ = kRepairedIntervalText;
        }
    }
    void SetWestValue(bool) override {}
    void SetEastValue(bool) override {}
    std::string MotionText() const override { return motion_; }
    std::string PAText() const override { return pa_; }
    const std::string& IntervalText() const { return interval_; }

  private:
    TrackParams& params_;
    std::string motion_, pa_, interval_;
};

// Messages go to standard error; the output file stands in for the chooser's answer.
class ConsoleUi : public SaveCommandUi {
  public:
    ConsoleUi(std::string output, bool force, std::string intervalText)
        : output_(std::move(output)), force_(force), interval_(std::move(intervalText)) {}

    void ShowError(const std::string& text) override { PrintError(text); }
    void SetDeltaXCaption(const std::string& caption) override { x_ = caption; }
    void SetDeltaYCaption(const std::string& caption) override { y_ = caption; }
    std::optional<std::string> ChooseTrackFile(const std::string&) override { return output_; }
    bool ConfirmOverwrite() override {
        if (!force_) PrintError(output_ + " exists; use --force to replace it");
        return force_;
    }
    std::string TimeIntervalText() override { return interval_; }
    std::string Captions() const { return x_ + ' ' + y_; }

  private:
    std::string output_;
    bool force_;
    std::string interval_;
    std::string x_, y_;
};

struct UsageError {
    std::string text;
};

const QList<QCommandLineOption>& Options() {
    static const QList<QCommandLineOption> options = {
        {"motion", "Object's motion in arcsec per minute.", "RATE"},
        {"pa", "Position angle of the motion in degrees.", "DEGREES"},
        {"interval", "Guide interval in seconds; its text starts every line.", "SECONDS"},
        {"pixel-size", "Image scale in arcsec per pixel.", "ARCSEC"},
        {"total-time", "Length of the whole track in minutes.", "MINUTES"},
        {"mount", "Mount type: fork or gem.", "TYPE"},
        {"side", "Side of the pier: east or west.", "SIDE"},
        {"ra-rev-west", "RA reversed on the West side when 1.", "N"},
        {"dec-rev-west", "Dec reversed on the West side when 1.", "N"},
        {"ra-rev-east", "RA reversed on the East side when 1.", "N"},
        {"dec-rev-east", "Dec reversed on the East side when 1.", "N"},
        {"settings", "Settings file to start from (default: the user's).", "FILE"},
        {{"o", "output"}, "Write the track file to FILE instead of standard output.", "FILE"},
        {"force", "Replace FILE if it exists."},
        {"offsets", "Print the X and Y offsets per interval instead of a track file."},
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

std::int16_t ReversalFlag(const QString& value, const char* option) {
    const auto flag = ToInt16HalfEven(ReadNumber(value.toStdString()));
    if (!flag) throw UsageError{std::string("--") + option + " is out of range"};
    return *flag;
}

// Applies the options given on top of the loaded settings; false after an overflow.
bool ApplyOptions(const QCommandLineParser& parser, TrackParams& params, Messages& messages) {
    const std::pair<const char*, float*> numbers[] = {
        {"motion", &params.Motion},         {"pa", &params.PA},
        {"interval", &params.TimeInterval}, {"pixel-size", &params.PixSize},
        {"total-time", &params.TotalTime},
    };
    for (const auto& [name, field] : numbers) {
        if (parser.isSet(name) &&
            !StoreNumber(parser.value(name).toStdString(), *field, messages)) {
            return false;
        }
    }
    if (parser.isSet("mount"))
        params.MountType = ChoiceFlag(parser.value("mount"), "mount", "fork", "gem");
    if (parser.isSet("side"))
        params.EastWest = ChoiceFlag(parser.value("side"), "side", "west", "east");
    const std::pair<const char*, std::int16_t*> flags[] = {
        {"ra-rev-west", &params.RaRevWest},
        {"dec-rev-west", &params.DecRevWest},
        {"ra-rev-east", &params.RARevEast},
        {"dec-rev-east", &params.DecRevEast},
    };
    for (const auto& [name, field] : flags) {
        if (parser.isSet(name)) *field = ReversalFlag(parser.value(name), name);
    }
    return true;
}

int Run(const QCommandLineParser& parser) {
    TrackParams params;
    LoadedBoxes boxes(params);
    const std::string settings =
        parser.isSet("settings") ? parser.value("settings").toStdString() : SettingsFilePath();
    Functions::LoadSettings(params, boxes, settings);

    const std::string intervalText =
        parser.isSet("interval") ? parser.value("interval").toStdString() : boxes.IntervalText();
    const std::string output = parser.value("output").toStdString();
    ConsoleUi ui(output, parser.isSet("force"), intervalText);
    if (!ApplyOptions(parser, params, ui)) return kFailure;

    const std::string separator = QLocale::system().decimalPoint().toStdString();
    if (parser.isSet("offsets")) {
        if (Functions::ValidateParams(params, ui)) return kFailure;
        if (!Functions::UpdateOffsets(params, ui, ui, separator)) return kFailure;
        std::cout << ui.Captions() << '\n';
        return 0;
    }
    if (parser.isSet("output")) {
        return Functions::SaveTrackFile(params, ui, separator) ? 0 : kFailure;
    }
    if (Functions::ValidateParams(params, ui)) return kFailure;
    const std::optional<std::string> text = Functions::ComposeTrackFile(params, ui, separator);
    if (!text) return kFailure;
    std::cout.write(text->data(), static_cast<std::streamsize>(text->size()));
    std::cout.flush();
    if (!std::cout) {
        PrintError("cannot write to standard output");
        return kFailure;
    }
    return 0;
}

}  // namespace

int RunTrackCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Writes a Pelindra track file: one line per guide interval with the X and Y offsets\n"
        "in pixels. Every value not given comes from the Pelindra settings file.");
    parser.addOptions(Options());
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);

    if (!parser.parse(arguments)) {
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
        return Run(parser);
    } catch (const UsageError& error) {
        PrintError(error.text);
        return kUsage;
    }
}
