#include "tools/IndiCommand.h"

#include <QDateTime>
#include <QEventLoop>
#include <string>

#include "core/NumberReading.h"
#include "core/RegularFile.h"
#include "ephemeris/Reader.h"
#include "links/HostPort.h"
#include "links/IndiMount.h"
#include "links/MountRate.h"
#include "links/SkyMotion.h"
#include "tools/Console.h"
#include "tools/EphemerisRate.h"

using namespace Pelindra::Tools;
using namespace Pelindra::Links;

namespace {

// The object's motion from --motion/--pa, or the ephemeris at `at`, with the declination
// the ephemeris gives unless --declination is given.
std::variant<SkyMotion, std::string> MotionFromOptions(
    const QCommandLineParser& parser, const Pelindra::Core::TrackParams& params,
    std::optional<Pelindra::Ephemeris::UtcMs> at) {
    std::optional<double> declination;
    if (parser.isSet("declination")) {
        const std::string text = parser.value("declination").toStdString();
        declination = Pelindra::Core::ReadExactNumber(text);
        if (!declination || *declination < -90 || *declination > 90) {
            return "--declination: \"" + text + "\" is not a declination from -90 to 90 degrees";
        }
    }
    if (!parser.isSet("ephemeris"))
        return SkyMotionFromBoxes(params.Motion, params.PA, declination);
    const std::string file = parser.value("ephemeris").toStdString();
    auto read = ReadToolEphemeris(file);
    if (const auto* error = std::get_if<std::string>(&read)) return *error;
    auto motion = SkyMotionAt(std::get<Pelindra::Ephemeris::Table>(read),
                              at ? *at : QDateTime::currentMSecsSinceEpoch());
    if (const auto* problem = std::get_if<std::string>(&motion)) {
        return Pelindra::Core::InputName(file) + ": " + *problem;
    }
    auto& sky = std::get<SkyMotion>(motion);
    if (declination) sky.declinationDegrees = declination;
    return sky;
}

}  // namespace

int RunIndiCommand(const QCommandLineParser& parser, const Pelindra::Core::TrackParams& params,
                   const Pelindra::Settings::Connections& saved,
                   std::optional<Pelindra::Ephemeris::UtcMs> at) {
    const bool pierSide = parser.isSet("pier-side");
    const bool track = parser.isSet("indi-track");
    if (pierSide == track) {
        PrintError("--indi needs one of --pier-side and --indi-track");
        return kUsage;
    }
    const auto address =
        ParseHostPort(parser.value("indi").toStdString(), {saved.indiHost, saved.indiPort});
    if (const auto* problem = std::get_if<std::string>(&address)) {
        PrintError("--indi: " + *problem);
        return kUsage;
    }
    const HostPort& server = std::get<HostPort>(address);
    const QString device =
        parser.isSet("device") ? parser.value("device") : QString::fromStdString(saved.indiDevice);

    MountTrackRate rate;
    if (track) {
        const auto motion = MotionFromOptions(parser, params, at);
        if (const auto* problem = std::get_if<std::string>(&motion)) {
            PrintError(*problem);
            return kFailure;
        }
        const auto forMount = MountTrackRateFor(std::get<SkyMotion>(motion));
        if (const auto* problem = std::get_if<std::string>(&forMount)) {
            PrintError("INDI: " + *problem + " (here: --declination DEGREES)");
            return kFailure;
        }
        rate = std::get<MountTrackRate>(forMount);
    }

    IndiMount mount;
    mount.SetServer(QString::fromStdString(server.host), server.port, device);
    QEventLoop loop;
    int status = kFailure;
    QObject::connect(&mount, &IndiMount::succeeded, &loop, [&](const QString& held) {
        status = WriteToStandardOutput(held.toStdString() + '\n');
        loop.quit();
    });
    QObject::connect(&mount, &IndiMount::failed, &loop, [&](const QString& reason) {
        PrintError(reason.toStdString());
        loop.quit();
    });
    if (track) {
        mount.TrackAt(rate);
    } else {
        mount.ReadPierSide();
    }
    if (mount.Busy()) loop.exec();
    return status;
}
