#include "tools/IndiCommand.h"

#include <QDateTime>
#include <QEventLoop>
#include <string>

#include "core/NumberReading.h"
#include "core/RegularFile.h"
#include "ephemeris/Reader.h"
#include "links/HostPort.h"
#include "links/IndiMount.h"
#include "tools/Console.h"
#include "tools/EphemerisRate.h"

using namespace Pelindra::Tools;
using namespace Pelindra::Links;

namespace {

// The server of --indi, else the settings'; why not when --indi is not HOST[:PORT].
std::variant<HostPort, std::string> IndiServer(const QCommandLineParser& parser,
                                               const Pelindra::Settings::Connections& saved) {
    auto address =
        ParseHostPort(parser.value("indi").toStdString(), {saved.indiHost, saved.indiPort});
    if (auto* problem = std::get_if<std::string>(&address)) return "--indi: " + *problem;
    return address;
}

QString Device(const QCommandLineParser& parser, const Pelindra::Settings::Connections& saved) {
    return parser.isSet("device") ? parser.value("device")
                                  : QString::fromStdString(saved.indiDevice);
}

// Runs the mount's request to its end; `held` gets what it then holds, else why not.
template <typename Request>
bool Await(IndiMount& mount, Request request, QString& held) {
    QEventLoop loop;
    bool done = false;
    QObject::connect(&mount, &IndiMount::succeeded, &loop, [&](const QString& text) {
        held = text;
        done = true;
        loop.quit();
    });
    QObject::connect(&mount, &IndiMount::failed, &loop, [&](const QString& reason) {
        held = reason;
        loop.quit();
    });
    request();
    // A failure to connect may already have been told.
    if (mount.Busy()) loop.exec();
    return done;
}

}  // namespace

std::variant<SkyMotion, std::string> MotionFromOptions(
    const QCommandLineParser& parser, const Pelindra::Core::TrackParams& params,
    std::optional<Pelindra::Ephemeris::UtcMs> at) {
    MotionSources sources;
    sources.motionArcsecPerMinute = params.Motion;
    sources.positionAngleDegrees = params.PA;
    if (parser.isSet("declination")) {
        const std::string text = parser.value("declination").toStdString();
        sources.typedDeclinationDegrees = Pelindra::Core::ReadExactNumber(text);
        const auto& dec = sources.typedDeclinationDegrees;
        if (!dec || !(*dec >= -90 && *dec <= 90)) {
            return "--declination: \"" + text + "\" is not a declination from -90 to 90 degrees";
        }
    }
    if (!parser.isSet("ephemeris")) return ObjectMotion(sources);
    const std::string file = parser.value("ephemeris").toStdString();
    auto read = ReadToolEphemeris(file);
    if (const auto* error = std::get_if<std::string>(&read)) return *error;
    sources.table = &std::get<Pelindra::Ephemeris::Table>(read);
    sources.ratesFromTable = true;
    sources.time = at ? *at : QDateTime::currentMSecsSinceEpoch();
    auto motion = ObjectMotion(sources);
    if (const auto* problem = std::get_if<std::string>(&motion)) {
        return Pelindra::Core::InputName(file) + ": " + *problem;
    }
    return motion;
}

std::optional<std::variant<double, std::string>> MountDeclination(
    const QCommandLineParser& parser, const Pelindra::Settings::Connections& saved) {
    if (!parser.isSet("indi") && !saved.IndiChosen()) return std::nullopt;
    const auto address = IndiServer(parser, saved);
    if (const auto* problem = std::get_if<std::string>(&address)) return *problem;
    const HostPort& server = std::get<HostPort>(address);
    IndiMount mount;
    mount.SetServer(QString::fromStdString(server.host), server.port, Device(parser, saved));
    QString held;
    if (!Await(
            mount, [&] { mount.ReadDeclination(); }, held))
        return held.toStdString();
    return *mount.LastDeclination();
}

int RunIndiCommand(const QCommandLineParser& parser, const Pelindra::Core::TrackParams& params,
                   const Pelindra::Settings::Connections& saved,
                   std::optional<Pelindra::Ephemeris::UtcMs> at) {
    const bool pierSide = parser.isSet("pier-side");
    const bool track = parser.isSet("indi-track");
    if (pierSide == track) {
        PrintError("--indi needs one of --pier-side and --indi-track");
        return kUsage;
    }
    const auto address = IndiServer(parser, saved);
    if (const auto* problem = std::get_if<std::string>(&address)) {
        PrintError(*problem);
        return kUsage;
    }
    const HostPort& server = std::get<HostPort>(address);

    TrackRequest request;
    if (track) {
        auto motion = MotionFromOptions(parser, params, at);
        if (const auto* problem = std::get_if<std::string>(&motion)) {
            PrintError(*problem);
            return kFailure;
        }
        // Without a declination the mount's own is used.
        request.motion = std::get<SkyMotion>(motion);
        request.reversal = {saved.decRateReversedEast, saved.decRateReversedWest};
        request.assumedSide = params.EastWest != 0 ? PierSide::West : PierSide::East;
    }

    IndiMount mount;
    mount.SetServer(QString::fromStdString(server.host), server.port, Device(parser, saved));
    QString held;
    const bool done = Await(
        mount,
        [&] {
            if (track) {
                mount.TrackObject(request);
            } else {
                mount.ReadPierSide();
            }
        },
        held);
    if (!done) {
        PrintError(held.toStdString());
        return kFailure;
    }
    return WriteToStandardOutput(held.toStdString() + '\n');
}
