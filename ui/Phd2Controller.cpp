#include "ui/Phd2Controller.h"

#include <QTimer>

#include "links/Phd2Client.h"
#include "links/SkyMotion.h"

using Pelindra::Links::Phd2Client;
using Pelindra::Links::Phd2Rate;

Phd2Controller::Phd2Controller(Sources sources, QObject* parent)
    : QObject(parent), sources_(std::move(sources)) {
    // Once a minute: an ephemeris' rate changes slowly, and PHD2 shifts smoothly between.
    keepTimer_ = new QTimer(this);
    keepTimer_->setObjectName("Phd2KeepTimer");
    keepTimer_->setInterval(60 * 1000);
    connect(keepTimer_, &QTimer::timeout, this, &Phd2Controller::keepUpdatedTick);
}

Phd2Client& Phd2Controller::client() {
    if (client_) return *client_;
    client_ = new Phd2Client(this);
    connect(client_, &Phd2Client::connecting, this,
            [this](const QString& where) { emit said("Connecting to " + where + "..."); });
    // A stop asked for meanwhile goes once the client is free again.
    const auto stopIfPending = [this] {
        if (!stopPending_) return;
        stopPending_ = false;
        QTimer::singleShot(0, this, &Phd2Controller::stopLockShift);
    };
    connect(client_, &Phd2Client::succeeded, this, [this, stopIfPending](const QString& held) {
        if (sending_) lastSent_ = sending_;
        sending_.reset();
        emit said(client_->Where() + ": " + held);
        stopIfPending();
    });
    connect(client_, &Phd2Client::failed, this, [this, stopIfPending](const QString& reason) {
        sending_.reset();
        emit said("Failed: " + reason);
        if (asked_) emit failedAloud(reason);
        stopIfPending();
    });
    connect(client_, &Phd2Client::lockShiftLimitReached, this, [this](const QString& where) {
        fail(where + " stopped moving the lock position: it reached the edge of the guide frame",
             true);
    });
    return *client_;
}

void Phd2Controller::fail(const QString& text, bool aloud) {
    emit said(text);
    if (aloud) emit failedAloud(text);
}

bool Phd2Controller::waiting(bool asked) {
    if (!client_ || !client_->Busy()) return false;
    fail(client_->Where() + " has not yet answered the last request", asked);
    return true;
}

void Phd2Controller::sendRate(bool asked) {
    if (waiting(asked)) return;
    const auto rate = sources_.rate();
    if (const auto* problem = std::get_if<std::string>(&rate);
        problem && *problem == Pelindra::Links::kNoDeclination && sources_.links().phd2SkyAxes &&
        !afterMount_ && sources_.askMountDeclination()) {
        // The rate goes once the mount has said its declination.
        afterMount_ = asked;
        return;
    }
    if (const auto* problem = std::get_if<std::string>(&rate)) {
        fail("Cannot send the rate to PHD2: " + QString::fromStdString(*problem), asked);
        return;
    }
    asked_ = asked;
    sending_ = std::get<Phd2Rate>(rate);
    const auto& links = sources_.links();
    client().SendRate(QString::fromStdString(links.phd2Host), links.phd2Port, *sending_);
}

void Phd2Controller::mountAnswered(bool answered) {
    const auto asked = std::exchange(afterMount_, std::nullopt);
    if (answered && asked) sendRate(*asked);
}

void Phd2Controller::stopLockShift() {
    // Stopping also ends the updates, which would turn the shift on again.
    keepTimer_->stop();
    emit keepUpdatedEnded();
    if (client_ && client_->Busy()) {
        stopPending_ = true;
        emit said(client_->Where() + ": stopping lock shift once it answers");
        return;
    }
    asked_ = true;
    sending_.reset();
    lastSent_.reset();
    const auto& links = sources_.links();
    client().StopLockShift(QString::fromStdString(links.phd2Host), links.phd2Port);
}

void Phd2Controller::keepUpdated(bool on) {
    if (!on) {
        keepTimer_->stop();
        return;
    }
    keepTimer_->start();
    keepUpdatedTick();
}

void Phd2Controller::keepUpdatedTick() {
    // The exchange still running is left to finish; the next tick looks again.
    if (client_ && client_->Busy()) return;
    const auto rate = sources_.rate();
    if (const auto* next = std::get_if<Phd2Rate>(&rate);
        next && lastSent_ && !Pelindra::Links::RateChanged(*lastSent_, *next, 0.005)) {
        return;
    }
    sendRate(false);
}
