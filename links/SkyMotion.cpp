#include "links/SkyMotion.h"

#include <cmath>
#include <numbers>

#include "ephemeris/Rate.h"

namespace Pelindra::Links {

namespace {

constexpr double kDegToRad = std::numbers::pi / 180;

}  // namespace

std::optional<double> SkyMotion::RaArcsecPerMinute() const {
    if (!declinationDegrees) return std::nullopt;
    const double cosine = std::cos(*declinationDegrees * kDegToRad);
    // Within about 0.2 arcsec of a pole dRA/dt runs away; no mount tracks that.
    if (!(std::fabs(cosine) > 1e-6)) return std::nullopt;
    return eastArcsecPerMinute / cosine;
}

SkyMotion SkyMotionFromBoxes(float motionArcsecPerMinute, float positionAngleDegrees,
                             std::optional<double> declinationDegrees) {
    const double motion = motionArcsecPerMinute;
    const double angle = static_cast<double>(positionAngleDegrees) * kDegToRad;
    return {motion * std::sin(angle), motion * std::cos(angle), declinationDegrees};
}

std::variant<SkyMotion, std::string> SkyMotionAt(const Ephemeris::Table& table,
                                                 Ephemeris::UtcMs time) {
    auto found = Ephemeris::RateAndDeclinationAt(table, time);
    if (auto* problem = std::get_if<std::string>(&found)) return std::move(*problem);
    const Ephemeris::RateAndDeclination& at = std::get<Ephemeris::RateAndDeclination>(found);
    return SkyMotion{at.rate.eastArcsecPerMinute, at.rate.northArcsecPerMinute,
                     at.declinationDegrees};
}

std::variant<SkyMotion, std::string> ObjectMotion(const MotionSources& sources) {
    const bool haveTable = sources.table && !sources.table->rows.empty();
    std::optional<SkyMotion> fromTable;
    if (haveTable) {
        auto atTime = SkyMotionAt(*sources.table, sources.time);
        if (auto* motion = std::get_if<SkyMotion>(&atTime)) {
            fromTable = *motion;
        } else if (sources.ratesFromTable) {
            return std::move(std::get<std::string>(atTime));
        }
    }
    SkyMotion motion = sources.ratesFromTable && fromTable
                           ? *fromTable
                           : SkyMotionFromBoxes(sources.motionArcsecPerMinute,
                                                sources.positionAngleDegrees, std::nullopt);
    motion.declinationDegrees = fromTable && fromTable->declinationDegrees
                                    ? fromTable->declinationDegrees
                                    : sources.typedDeclinationDegrees;
    return motion;
}

}  // namespace Pelindra::Links
