#include "links/Phd2Rate.h"

#include <cmath>

#include "core/Messages.h"
#include "core/Offsets.h"
#include "core/Validation.h"
#include "ephemeris/Rate.h"

namespace Pelindra::Links {

namespace {

class FirstMessage : public Core::Messages {
  public:
    void ShowError(const std::string& text) override {
        if (text_.empty()) text_ = text;
    }
    const std::string& Text() const { return text_; }

  private:
    std::string text_;
};

}  // namespace

const char* Phd2Rate::Units() const {
    return axes == Phd2Axes::Camera ? "pixels/hr" : "arcsec/hr";
}

const char* Phd2Rate::AxesName() const {
    return axes == Phd2Axes::Camera ? "X/Y" : "RA/Dec";
}

std::variant<Phd2Rate, std::string> Phd2RateFor(const Core::TrackParams& params,
                                                const SkyMotion& motion, Phd2Axes axes) {
    if (axes == Phd2Axes::Sky) {
        const std::optional<double> ra = motion.RaArcsecPerMinute();
        if (!ra) return std::string(kNoDeclination);
        return Phd2Rate{axes, *ra * 60, motion.northArcsecPerMinute * 60};
    }
    FirstMessage messages;
    if (Core::ValidateParams(params, messages) == Core::ParamsCheck::Unusable) {
        return messages.Text();
    }
    // Back to a motion and position angle, as the boxes hold them.
    const Ephemeris::Rate rate{motion.eastArcsecPerMinute, motion.northArcsecPerMinute};
    const std::optional<Core::PixelOffset> offset = Core::OffsetFor(
        params, static_cast<float>(rate.MotionArcsecPerMinute()),
        static_cast<float>(rate.PositionAngleDegrees()), params.TimeInterval);
    if (!offset) return std::string(Core::kOverflowMessage);
    const double perHour = 3600.0 / params.TimeInterval;
    return Phd2Rate{axes, offset->x * perHour, offset->y * perHour};
}

bool RateChanged(const Phd2Rate& last, const Phd2Rate& next, double fraction) {
    if (last.axes != next.axes) return true;
    const double size = std::hypot(last.first, last.second);
    return std::hypot(next.first - last.first, next.second - last.second) > fraction * size;
}

}  // namespace Pelindra::Links
