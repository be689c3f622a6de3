#include "ui/FrameCalibration.h"

#include <QFileInfo>

#include "links/Phd2Frame.h"
#include "solve/FitsFrame.h"
#include "ui/CalibrateDialog.h"

using Pelindra::Links::Phd2Frame;

FrameCalibration::FrameCalibration(Pelindra::Core::TrackParams& params, Sources sources,
                                   QWidget* window)
    : QObject(window), params_(params), sources_(std::move(sources)), window_(window) {}

void FrameCalibration::fromPhd2() {
    // The fetch goes once it has ended.
    if (fetching_) return;
    fetching_ = true;
    auto* fetch = new Phd2Frame(this);
    const Pelindra::Settings::Connections& at = sources_.links();
    const QString where =
        QString("PHD2 at %1:%2").arg(QString::fromStdString(at.phd2Host)).arg(at.phd2Port);
    emit said(where + ": getting its frame");
    connect(fetch, &Phd2Frame::gotFrame, this, [this, fetch, where](const QString& path) {
        fetch->deleteLater();
        fetching_ = false;
        emit said(where + ": frame " + QFileInfo(path).fileName());
        calibrate(path, fetch->ImpliedCameraAngle());
    });
    connect(fetch, &Phd2Frame::failed, this, [this, fetch](const QString& reason) {
        fetch->deleteLater();
        fetching_ = false;
        emit said(reason);
        emit failed(reason);
    });
    fetch->Fetch(QString::fromStdString(at.phd2Host), at.phd2Port);
}

void FrameCalibration::calibrate(const QString& path, std::optional<double> guiderAngle) {
    auto read = Pelindra::Solve::ReadFitsFrame(path.toStdString());
    if (const auto* problem = std::get_if<std::string>(&read)) {
        emit failed(QString::fromStdString(*problem));
        return;
    }
    auto* dialog =
        new CalibrateDialog(params_, std::get<Pelindra::Solve::Frame>(std::move(read)),
                            QFileInfo(path).fileName(), sources_.side(), sources_.applied, window_);
    if (guiderAngle) dialog->SetGuiderCameraAngle(*guiderAngle);
    if (const auto position = sources_.knownPosition()) {
        dialog->SetKnownPosition(position->first, position->second);
    }
    dialog->show();
    dialog->Start();
}
