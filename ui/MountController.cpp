#include "ui/MountController.h"

using namespace Pelindra::Links;

MountController::MountController(Sources sources, QObject* parent)
    : QObject(parent), sources_(std::move(sources)) {}

IndiMount& MountController::mount() {
    if (!mount_) {
        mount_ = new IndiMount(this);
        connect(mount_, &IndiMount::connecting, this,
                [this](const QString& where) { emit said("Connecting to " + where + "..."); });
        connect(mount_, &IndiMount::succeeded, this, [this](const QString& held) {
            if (followsPierSide_) {
                if (const auto side = mount_->LastPierSide()) emit pierSide(*side);
            }
            emit said("Mount (" + mount_->Where() + "): " + held);
            emit requestEnded(true);
        });
        connect(mount_, &IndiMount::failed, this, [this](const QString& reason) {
            // Without a link the buttons are the user's again.
            followsPierSide_ = false;
            emit drivesPierSide(false);
            emit said("Failed: " + reason);
            emit failedAloud(reason);
            emit requestEnded(false);
        });
        connect(mount_, &IndiMount::pierSideChanged, this, [this](PierSide side) {
            if (followsPierSide_) emit pierSide(side);
        });
        // East and West keep what they show; the line says why they no longer follow.
        connect(mount_, &IndiMount::pierSideUnknown, this, [this](const QString& why) {
            if (!followsPierSide_) return;
            const bool east = sources_.chosenSide() == PierSide::East;
            emit said("Mount (" + mount_->Where() + "): " + why + "; " + (east ? "East" : "West") +
                      " stays as chosen");
        });
        connect(mount_, &IndiMount::motionWatched, this, [this](const QString& verdict) {
            emit said("Mount (" + mount_->Where() + "): " + verdict);
        });
    }
    const auto& links = sources_.links();
    mount_->SetServer(QString::fromStdString(links.indiHost), links.indiPort,
                      QString::fromStdString(links.indiDevice));
    return *mount_;
}

void MountController::followPierSide(bool on) {
    followsPierSide_ = on;
    emit drivesPierSide(on);
    mount().SetFollowing(on);
    if (on) mount().ReadPierSide();
}

void MountController::trackObject() {
    auto motion = sources_.motion();
    if (const auto* problem = std::get_if<std::string>(&motion)) {
        const QString text = "Cannot set the mount's rate: " + QString::fromStdString(*problem);
        emit said(text);
        emit failedAloud(text);
        return;
    }
    // Without the object's declination the mount uses its own.
    const auto& links = sources_.links();
    TrackRequest request;
    request.motion = std::get<SkyMotion>(motion);
    request.reversal = {links.decRateReversedEast, links.decRateReversedWest};
    request.assumedSide = sources_.chosenSide();
    request.watch = true;
    mount().TrackObject(request);
}

void MountController::trackStars() {
    mount().TrackSidereal();
}

bool MountController::askDeclination() {
    if (!sources_.links().IndiChosen() || (mount_ && mount_->Busy())) return false;
    mount().ReadDeclination();
    return true;
}

std::optional<double> MountController::lastDeclination() const {
    if (!mount_ || !sources_.links().IndiChosen()) return std::nullopt;
    return mount_->LastDeclination();
}

std::optional<PierSide> MountController::lastPierSide() const {
    return mount_ ? mount_->LastPierSide() : std::nullopt;
}
