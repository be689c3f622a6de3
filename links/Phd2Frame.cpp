#include "links/Phd2Frame.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpSocket>
#include <cmath>
#include <numbers>

#include "links/Phd2Client.h"

namespace Pelindra::Links {

std::optional<double> Phd2ImpliedCameraAngle(const QJsonObject& calibration) {
    if (!calibration.value("calibrated").toBool()) return std::nullopt;
    const QJsonValue xAngle = calibration.value("xAngle");
    const QJsonValue yAngle = calibration.value("yAngle");
    const QString xParity = calibration.value("xParity").toString();
    const QString yParity = calibration.value("yParity").toString();
    if (!xAngle.isDouble() || !yAngle.isDouble()) return std::nullopt;
    if ((xParity != "+" && xParity != "-") || (yParity != "+" && yParity != "-")) {
        return std::nullopt;
    }
    constexpr double kRad = std::numbers::pi / 180;
    // A move east shifts the stars west on the frame, a move north shifts them south.
    const double east = (xAngle.toDouble() + (xParity == "+" ? 180 : 0)) * kRad;
    const double north = (yAngle.toDouble() + (yParity == "+" ? 180 : 0)) * kRad;
    // The +Y axis (0, 1) in sky terms: its east part along the east direction, its north
    // part along the north one.
    double angle = std::atan2(std::sin(east), std::sin(north)) / kRad;
    if (angle < 0) angle += 360;
    return angle >= 360 ? angle - 360 : angle;
}

Phd2Frame::Phd2Frame(QObject* parent, Phd2FrameTimeouts timeouts)
    : QObject(parent), timeouts_(timeouts), socket_(new QTcpSocket(this)) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
        switch (step_) {
            case Step::Idle:
                return;
            case Step::AppState:
                if (socket_->state() != QAbstractSocket::ConnectedState) {
                    Fail(Where() + " did not accept the connection");
                    return;
                }
                break;
            case Step::Exposing:
                Fail(Where() + " did not finish taking a frame");
                return;
            case Step::Calibration:
                Finish(frame_);
                return;
            default:
                break;
        }
        Fail(Where() + " did not answer in time");
    });
    connect(socket_, &QTcpSocket::connected, this,
            [this] { Send(Step::AppState, "get_app_state"); });
    connect(socket_, &QTcpSocket::readyRead, this, &Phd2Frame::ReadLines);
    connect(socket_, &QTcpSocket::disconnected, this, [this] {
        if (step_ == Step::Calibration) {
            Finish(frame_);
        } else if (Busy()) {
            Fail(Where() + " closed the connection before the frame was saved");
        }
    });
    connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError) return;
        Fail(Where() + " cannot be reached: " + socket_->errorString());
    });
}

Phd2Frame::~Phd2Frame() {
    step_ = Step::Idle;
    socket_->abort();
}

QString Phd2Frame::Where() const {
    return "PHD2 at " + host_ + ":" + QString::number(port_);
}

void Phd2Frame::Fetch(const QString& host, int port) {
    if (Busy()) return;
    host_ = host;
    port_ = port;
    frame_.clear();
    impliedAngle_.reset();
    step_ = Step::AppState;
    partialLine_.clear();
    socket_->abort();
    timer_.start(timeouts_.connectMs);
    socket_->connectToHost(host, static_cast<quint16>(port));
}

void Phd2Frame::Send(Step step, const QString& method, const QJsonObject& params) {
    step_ = step;
    pendingId_ = nextId_++;
    QJsonObject request{{"method", method}, {"id", pendingId_}};
    if (!params.isEmpty()) request.insert("params", params);
    const QByteArray line = QJsonDocument(request).toJson(QJsonDocument::Compact) + "\r\n";
    if (socket_->write(line) != line.size()) {
        Fail(Where() + " cannot be written to: " + socket_->errorString());
        return;
    }
    timer_.start(timeouts_.replyMs);
}

void Phd2Frame::ReadLines() {
    // At most one line is kept, so a server that never ends its line cannot fill the memory.
    while (Busy() && socket_->bytesAvailable() > 0) {
        const QByteArray piece = socket_->read(64 * 1024);
        qsizetype from = 0;
        while (Busy() && from < piece.size()) {
            const qsizetype end = piece.indexOf('\n', from);
            partialLine_.append(piece.constData() + from, (end < 0 ? piece.size() : end) - from);
            if (partialLine_.size() > kPhd2LineLimitBytes) {
                Fail(Where() + " sent a line longer than 1 MiB");
                return;
            }
            if (end < 0) break;
            from = end + 1;
            const QByteArray line = partialLine_.trimmed();
            partialLine_.clear();
            if (!line.isEmpty()) HandleLine(line);
        }
    }
}

void Phd2Frame::HandleLine(const QByteArray& line) {
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject()) {
        Fail(Where() + " sent something that is not PHD2's answer");
        return;
    }
    const QJsonObject message = document.object();
    if (message.contains("Event")) {
        if (step_ == Step::Exposing && message.value("Event").toString() == "SingleFrameComplete") {
            if (!message.value("Success").toBool()) {
                const QString reason = message.value("Error").toString();
                Fail(Where() + " could not take a frame" + (reason.isEmpty() ? "" : ": " + reason));
                return;
            }
            Send(Step::SaveImage, "save_image");
        }
        return;
    }
    if (message.value("id").toInt() != pendingId_ || step_ == Step::Exposing) return;
    if (step_ == Step::Calibration) {
        // Only for a comparison: a PHD2 that cannot say is no failure.
        impliedAngle_ = Phd2ImpliedCameraAngle(message.value("result").toObject());
        Finish(frame_);
        return;
    }
    if (message.contains("error")) {
        QString reason = message.value("error").toObject().value("message").toString();
        if (reason.isEmpty()) reason = "no reason given";
        Fail(Where() + " refused: " + reason);
        return;
    }
    const QJsonValue result = message.value("result");
    switch (step_) {
        case Step::AppState: {
            // Looping or guiding, PHD2 holds a frame of now; stopped, it takes one.
            const QString state = result.toString();
            if (state == "Stopped") {
                Send(Step::Capture, "capture_single_frame");
            } else {
                Send(Step::SaveImage, "save_image");
            }
            return;
        }
        case Step::Capture:
            step_ = Step::Exposing;
            timer_.start(timeouts_.exposureMs);
            return;
        case Step::SaveImage: {
            const QString file = result.toObject().value("filename").toString();
            if (file.isEmpty()) {
                Fail(Where() + " saved its frame but did not name the file");
                return;
            }
            if (QFileInfo(file).fileName().startsWith("PHDSUBF")) {
                Fail(Where() +
                     " holds only a part of its frame (a subframe). Turn off Use "
                     "Subframes in PHD2's camera settings and try again.");
                return;
            }
            if (!QFileInfo::exists(file)) {
                Fail(Where() + " saved its frame as \"" + file +
                     "\", which is not on this computer: a PHD2 on another computer keeps the "
                     "file there. Copy it here and use File > Calibrate from a Frame.");
                return;
            }
            frame_ = file;
            Send(Step::Calibration, "get_calibration_data", {{"which", "Mount"}});
            return;
        }
        default:
            return;
    }
}

void Phd2Frame::Finish(const QString& path) {
    step_ = Step::Idle;
    timer_.stop();
    socket_->abort();
    emit gotFrame(path);
}

void Phd2Frame::Fail(const QString& reason) {
    if (!Busy()) return;
    step_ = Step::Idle;
    timer_.stop();
    partialLine_.clear();
    socket_->abort();
    emit failed(reason);
}

}  // namespace Pelindra::Links
