#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>

class QTcpSocket;

namespace Pelindra::Links {

// The camera angle (position angle of +Y, [0, 360)) that PHD2's calibration implies, from
// get_calibration_data's result; nullopt when PHD2 is not calibrated or an axis' parity
// is unknown. PHD2's xAngle is the direction on its frame in which a star moves when the
// mount moves east, its yAngle when it moves north (in degrees, rows down), when the
// parity is "+"; "-" says the guide command moved the mount the other way.
[[nodiscard]] std::optional<double> Phd2ImpliedCameraAngle(const QJsonObject& calibration);

struct Phd2FrameTimeouts {
    int connectMs = 3000;
    int replyMs = 5000;
    int exposureMs = 60000;  // a single frame taken when PHD2 is not looping
};

// Asks PHD2 for the frame it shows, as a file: when PHD2 is neither looping nor guiding it
// takes one frame first (capture_single_frame, then its SingleFrameComplete event), then
// save_image writes the frame and names the file. The file is on PHD2's computer: only a
// PHD2 on this one gives a name that can be opened here. Ends with gotFrame() or failed();
// nothing waits. A subframe (PHD2's "PHDSUBF" files) is refused: it is not the whole field.
class Phd2Frame : public QObject {
    Q_OBJECT

  public:
    explicit Phd2Frame(QObject* parent = nullptr, Phd2FrameTimeouts timeouts = {});
    ~Phd2Frame() override;

    void Fetch(const QString& host, int port);
    [[nodiscard]] bool Busy() const { return step_ != Step::Idle; }
    // After gotFrame(): the camera angle PHD2's calibration implies, when it has one.
    [[nodiscard]] std::optional<double> ImpliedCameraAngle() const { return impliedAngle_; }

  signals:
    void gotFrame(const QString& path);
    void failed(const QString& reason);

  private:
    enum class Step { Idle, AppState, Capture, Exposing, SaveImage, Calibration };
    void Send(Step step, const QString& method, const QJsonObject& params = {});
    void ReadLines();
    void HandleLine(const QByteArray& line);
    void Fail(const QString& reason);
    void Finish(const QString& path);
    [[nodiscard]] QString Where() const;

    Phd2FrameTimeouts timeouts_;
    QTcpSocket* socket_;
    QString host_;
    int port_ = 0;
    Step step_ = Step::Idle;
    int nextId_ = 1;
    int pendingId_ = 0;
    QByteArray partialLine_;
    QTimer timer_;
    QString frame_;
    std::optional<double> impliedAngle_;
};

}  // namespace Pelindra::Links
