#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>
#include <QTimer>
#include <vector>

#include "links/Phd2Rate.h"

class QTcpSocket;

namespace Pelindra::Links {

// The longest line read from PHD2; its longest real reply is a few kilobytes.
inline constexpr qsizetype kPhd2LineLimitBytes = 1024 * 1024;

struct Phd2Timeouts {
    int connectMs = 3000;
    int replyMs = 3000;
    int totalMs = 6000;
};

// A client of PHD2's event server: JSON-RPC 2.0, one object per line. Each exchange sends
// its calls in turn and ends with succeeded() (what PHD2 read back, in words) or failed();
// nothing waits, so a window stays usable. After an exchange the connection stays open for
// PHD2's events until the server closes it or another host is asked.
class Phd2Client : public QObject {
    Q_OBJECT

  public:
    explicit Phd2Client(QObject* parent = nullptr, Phd2Timeouts timeouts = {});
    ~Phd2Client() override;

    // set_lock_shift_params, set_lock_shift_enabled [true], get_lock_shift_params.
    void SendRate(const QString& host, int port, const Phd2Rate& rate);
    // set_lock_shift_enabled [false], get_lock_shift_params.
    void StopLockShift(const QString& host, int port);
    [[nodiscard]] bool Busy() const { return !calls_.empty(); }
    // "PHD2 at HOST:PORT", the server of the latest exchange.
    [[nodiscard]] QString Where() const;

  signals:
    void connecting(const QString& where);
    void succeeded(const QString& held);
    void failed(const QString& reason);
    // PHD2 stopped shifting the lock position: it reached the edge of its frame.
    void lockShiftLimitReached(const QString& where);

  private:
    struct Call {
        QString method;
        QJsonValue params;
        QString what;  // the call in the user's words, for messages
    };
    // `expected`: what get_lock_shift_params must then read back.
    void Start(const QString& host, int port, std::vector<Call> calls, QJsonObject expected);
    void SendNext();
    void ReadLines();
    void HandleLine(const QByteArray& line);
    // The read-back of get_lock_shift_params: held, or why it is not what was sent.
    void HandleReadBack(const QJsonValue& result);
    void Fail(const QString& reason);
    void Disconnected();

    Phd2Timeouts timeouts_;
    QTcpSocket* socket_;
    QString host_;
    int port_ = 0;
    std::vector<Call> calls_;  // the current call first; empty when idle
    int nextId_ = 1;
    int pendingId_ = 0;
    QString held_;
    QJsonObject expected_;
    QByteArray partialLine_;
    QTimer connectTimer_;
    QTimer replyTimer_;
    QTimer totalTimer_;
};

// What get_lock_shift_params' result says, e.g. "lock shift on: 12.50, -3.25 pixels/hr (X/Y)".
[[nodiscard]] QString DescribeLockShift(const QJsonValue& result);

// Whether PHD2's read-back `held` holds what `expected` asks: the same state and, when on,
// the same units and axes and each rate to within 0.005.
[[nodiscard]] bool LockShiftHolds(const QJsonValue& held, const QJsonObject& expected);

}  // namespace Pelindra::Links
