#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <optional>

#include "links/IndiStream.h"
#include "links/MountMotion.h"
#include "links/MountRate.h"
#include "links/SkyMotion.h"

class QTcpSocket;

namespace Pelindra::Links {

inline constexpr int kIndiDefaultPort = 7624;

struct IndiTimeouts {
    int connectMs = 3000;
    // From the request to the mount's answer, including connecting the device.
    int answerMs = 8000;
    // A device list is complete once the server has been quiet this long.
    int quietMs = 700;
    // How long the mount's coordinates are watched after it is set to track the object.
    int watchMs = 20000;
};

// The properties kept from one server; a server that defines more is not a mount's.
inline constexpr qsizetype kIndiPropertyLimit = 10000;

// Whether a positive Dec rate moves the mount south on each side of the pier: drivers that
// apply it to the Dec axis (INDI's simulator, EQMod) reverse its sense after a flip.
struct DecRateReversal {
    bool east = false;
    bool west = false;

    [[nodiscard]] bool On(PierSide side) const { return side == PierSide::East ? east : west; }
};

// The object's motion for the mount. Without a declination the mount's own is used.
struct TrackRequest {
    SkyMotion motion;
    DecRateReversal reversal;
    // The side assumed when the mount does not say which it is on.
    PierSide assumedSide = PierSide::West;
    // Watch the coordinates afterwards and tell motionWatched().
    bool watch = false;
};

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
    // The declination the mount points at, from its coordinates.
    void ReadDeclination();
    void TrackObject(const TrackRequest& request);
    void TrackSidereal();
    // While on, losing the link is told even between requests.
    void SetFollowing(bool on) { following_ = on; }
    [[nodiscard]] bool Busy() const { return request_ != Request::None; }
    [[nodiscard]] QString Where() const;
    // The side the mount last reported on this link.
    [[nodiscard]] std::optional<PierSide> LastPierSide() const { return lastSide_; }
    // The declination the mount last reported on this link, once its coordinates can be
    // trusted.
    [[nodiscard]] std::optional<double> LastDeclination() const;
    // The rate last sent for the object, after any reversal.
    [[nodiscard]] const MountTrackRate& SentRate() const { return sent_; }

  signals:
    // A request began by opening the connection to the server `where`.
    void connecting(const QString& where);
    void succeeded(const QString& held);
    void failed(const QString& reason);
    void devicesListed(const QStringList& devices);
    void pierSideChanged(Pelindra::Links::PierSide side);
    // The mount reports both sides of the pier or neither; why, in words.
    void pierSideUnknown(const QString& why);
    // After a watch: whether RA and Dec moved as the object does, in words.
    void motionWatched(const QString& verdict);

  private:
    enum class Request { None, List, PierSide, Declination, Track, Sidereal };
    // The steps of setting a rate: tracking off first when the new rate reverses an axis
    // the mount turns, which INDI refuses while it tracks.
    enum class Step { NotSent, StoppingTracking, RateSent };
    void Start(Request request);
    void Connected();
    void Read();
    void Handle(const IndiVector& vector);
    // Moves the request on as far as what the server has said allows.
    void Advance();
    void AdvanceTrack();
    void Send(IndiKind kind, const QString& name, const QList<std::pair<QString, QString>>& values);
    void Finish(const QString& held);
    void Fail(const QString& reason);
    void TimedOut();
    void WatchEnded();
    [[nodiscard]] const IndiVector* Find(const QString& name) const;
    // The side the mount's property names now, if exactly one.
    [[nodiscard]] std::optional<PierSide> ReportedSide() const;
    [[nodiscard]] QString HeldText() const;
    [[nodiscard]] QString TrackHeld() const;
    // Why the mount does not hold what was sent, naming both; nullopt when it does.
    [[nodiscard]] std::optional<QString> TrackDiffers() const;
    [[nodiscard]] QStringList Devices() const;
    [[nodiscard]] QString DeviceName() const;

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
    Step step_ = Step::NotSent;
    bool connectSent_ = false;
    bool following_ = false;
    TrackRequest track_;
    SkyMotion watched_;  // the object's motion sent, with the declination used
    MountTrackRate sent_;
    QSet<QString> awaited_;  // properties whose answer the request waits for
    QString lastMessage_;    // the device's latest message during the request
    std::optional<PierSide> lastSide_;
    bool sideUnknownTold_ = false;
    bool coordinatesFresh_ = false;  // the device has updated its coordinates on this link
    QElapsedTimer clock_;
    // Coordinates that arrived while watching: the first and the latest.
    std::optional<CoordinateSample> watchFirst_;
    std::optional<CoordinateSample> watchLast_;
    QTimer connectTimer_;
    QTimer answerTimer_;
    QTimer quietTimer_;
    QTimer watchTimer_;
};

// "East" or "West", as the main window's option buttons say it.
[[nodiscard]] QString PierSideName(PierSide side);

}  // namespace Pelindra::Links
