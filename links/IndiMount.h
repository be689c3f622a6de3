#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <optional>

#include "links/IndiStream.h"
#include "links/MountRate.h"

class QTcpSocket;

namespace Pelindra::Links {

inline constexpr int kIndiDefaultPort = 7624;

struct IndiTimeouts {
    int connectMs = 3000;
    // From the request to the mount's answer, including connecting the device.
    int answerMs = 8000;
    // A device list is complete once the server has been quiet this long.
    int quietMs = 700;
};

enum class PierSide { East, West };

// A client of an INDI server, speaking its XML over TCP. One request at a time ends with
// succeeded() (what the mount now holds, in words) or failed(); nothing waits, so a window
// stays usable. The device is connected (CONNECTION) when a request needs it. The link
// stays open afterwards, so pierSideChanged() follows the mount until the server closes.
class IndiMount : public QObject {
    Q_OBJECT

  public:
    explicit IndiMount(QObject* parent = nullptr, IndiTimeouts timeouts = {});
    ~IndiMount() override;

    // An empty device means the server's first telescope.
    void SetServer(const QString& host, int port, const QString& device);
    void ListDevices();
    void ReadPierSide();
    void TrackAt(const MountTrackRate& rate);
    void TrackSidereal();
    // While on, losing the link is told even between requests.
    void SetFollowing(bool on) { following_ = on; }
    [[nodiscard]] bool Busy() const { return request_ != Request::None; }
    [[nodiscard]] QString Where() const;
    // The side the mount last reported on this link.
    [[nodiscard]] std::optional<PierSide> LastPierSide() const { return lastSide_; }

  signals:
    void succeeded(const QString& held);
    void failed(const QString& reason);
    void devicesListed(const QStringList& devices);
    void pierSideChanged(Pelindra::Links::PierSide side);

  private:
    enum class Request { None, List, PierSide, Track, Sidereal };
    void Start(Request request);
    void Connected();
    void Read();
    void Handle(const IndiVector& vector);
    // Moves the request on as far as what the server has said allows.
    void Advance();
    void Send(IndiKind kind, const QString& name, const QList<std::pair<QString, QString>>& values);
    void Finish(const QString& held);
    void Fail(const QString& reason);
    void TimedOut();
    void Disconnected();
    [[nodiscard]] const IndiVector* Find(const QString& name) const;
    [[nodiscard]] QString TrackHeld() const;
    [[nodiscard]] QStringList Devices() const;

    IndiTimeouts timeouts_;
    QTcpSocket* socket_;
    QString host_;
    int port_ = kIndiDefaultPort;
    QString device_;
    QString chosenDevice_;  // device_, or the telescope found for an empty one
    bool linked_ = false;   // connected, and getProperties sent
    IndiStream stream_;
    QHash<QString, IndiVector> properties_;  // by device and name
    Request request_ = Request::None;
    bool requestSent_ = false;
    bool connectSent_ = false;
    bool following_ = false;
    MountTrackRate rate_;
    QSet<QString> awaited_;  // properties whose answer the request waits for
    std::optional<PierSide> lastSide_;
    QTimer connectTimer_;
    QTimer answerTimer_;
    QTimer quietTimer_;
};

// "East" or "West", as the main window's option buttons say it.
[[nodiscard]] QString PierSideName(PierSide side);

}  // namespace Pelindra::Links
