#include "links/IndiMount.h"

#include <QTcpSocket>
#include <QXmlStreamWriter>
#include <algorithm>
#include <cmath>

#include "core/SecondsText.h"
#include "links/Escaped.h"

namespace Pelindra::Links {

namespace {

constexpr double kSecondsPerMinute = 60;
// DRIVER_INFO's DRIVER_INTERFACE is a bit mask; this bit is a telescope's.
constexpr int kTelescopeInterface = 1;
// What the socket holds before the stream reads it; the stream bounds each message.
constexpr qint64 kReadBufferBytes = 256 * 1024;

const QString kPierSide = "TELESCOPE_PIER_SIDE";
const QString kCoordinates = "EQUATORIAL_EOD_COORD";
const QString kTrackMode = "TELESCOPE_TRACK_MODE";
const QString kTrackRate = "TELESCOPE_TRACK_RATE";
const QString kTrackState = "TELESCOPE_TRACK_STATE";

QString Key(const QString& device, const QString& name) {
    return device + QChar(0x1f) + name;
}

QString Seconds(int ms) {
    return Pelindra::Core::SecondsText(std::chrono::milliseconds(ms));
}

QString WithMessage(const QString& text, const QString& message) {
    return message.isEmpty() ? text : text + " (" + Escaped(message) + ")";
}

// What each property the requests set is, in the user's words.
QString Described(const QString& property) {
    if (property == kTrackMode) return "the tracking mode";
    if (property == kTrackRate) return "the tracking rate";
    if (property == kTrackState) return "turning tracking on or off";
    if (property == "CONNECTION") return "connecting";
    // Never the property's own name (TELESCOPE_...): it means nothing to the user.
    return "one of its settings";
}

enum class SideReport { East, West, Both, Neither };

SideReport SideOf(const IndiVector& side) {
    const bool east = side.Value("PIER_EAST") == "On";
    const bool west = side.Value("PIER_WEST") == "On";
    if (east && west) return SideReport::Both;
    if (east) return SideReport::East;
    if (west) return SideReport::West;
    return SideReport::Neither;
}

QString Rate(double arcsecPerSecond) {
    return QString::number(arcsecPerSecond, 'f', 6);
}

// Equal as INDI's own format (%.6f) shows them.
bool SameRate(std::optional<double> held, double sent) {
    return held && std::fabs(*held - sent) <= 5e-7 + 1e-9 * std::fabs(sent);
}

}  // namespace

QString PierSideName(PierSide side) {
    return side == PierSide::East ? "East" : "West";
}

IndiMount::IndiMount(QObject* parent, IndiTimeouts timeouts)
    : QObject(parent), timeouts_(timeouts), socket_(new QTcpSocket(this)) {
    for (QTimer* timer : {&connectTimer_, &answerTimer_, &quietTimer_, &watchTimer_}) {
        timer->setSingleShot(true);
    }
    socket_->setReadBufferSize(kReadBufferBytes);
    clock_.start();
    connect(socket_, &QTcpSocket::connected, this, &IndiMount::Connected);
    connect(socket_, &QTcpSocket::readyRead, this, &IndiMount::Read);
    connect(socket_, &QTcpSocket::errorOccurred, this, [this] {
        if (socket_->error() == QAbstractSocket::RemoteHostClosedError) {
            Fail("the server closed the connection");
        } else {
            Fail(socket_->errorString());
        }
    });
    connect(&connectTimer_, &QTimer::timeout, this,
            [this] { Fail("no connection within " + Seconds(timeouts_.connectMs)); });
    connect(&answerTimer_, &QTimer::timeout, this, &IndiMount::TimedOut);
    connect(&quietTimer_, &QTimer::timeout, this, [this] {
        const QStringList devices = Devices();
        emit devicesListed(devices);
        Finish(devices.isEmpty() ? "no devices" : "devices: " + Escaped(devices.join(", ")));
    });
    connect(&watchTimer_, &QTimer::timeout, this, &IndiMount::WatchEnded);
}

IndiMount::~IndiMount() {
    // No signal from a socket that is going away.
    socket_->disconnect(this);
}

void IndiMount::SetServer(const QString& host, int port, const QString& device) {
    if (host == host_ && port == port_ && device == device_) return;
    host_ = host;
    port_ = port;
    device_ = device;
    socket_->blockSignals(true);
    socket_->abort();
    socket_->blockSignals(false);
    linked_ = false;
}

QString IndiMount::Where() const {
    const QString host = host_.contains(':') ? "[" + host_ + "]" : host_;
    return "INDI server " + Escaped(host) + ":" + QString::number(port_);
}

QString IndiMount::DeviceName() const {
    return Escaped(chosenDevice_);
}

void IndiMount::ListDevices() {
    Start(Request::List);
}
void IndiMount::ReadPierSide() {
    Start(Request::PierSide);
}
void IndiMount::ReadDeclination() {
    Start(Request::Declination);
}
void IndiMount::TrackSidereal() {
    Start(Request::Sidereal);
}

void IndiMount::TrackObject(const TrackRequest& request) {
    if (!Busy()) track_ = request;
    Start(Request::Track);
}

void IndiMount::Start(Request request) {
    if (Busy()) {
        emit failed(Where() + ": still waiting for the answer to the last request");
        return;
    }
    request_ = request;
    step_ = Step::NotSent;
    awaited_.clear();
    lastMessage_.clear();
    watchTimer_.stop();
    answerTimer_.start(timeouts_.answerMs);
    if (socket_->state() == QAbstractSocket::UnconnectedState) {
        stream_.Reset();
        properties_.clear();
        chosenDevice_.clear();
        connectSent_ = false;
        lastSide_.reset();
        sideUnknownTold_ = false;
        coordinatesFresh_ = false;
        linked_ = false;
        connectTimer_.start(timeouts_.connectMs);
        emit connecting(Where());
        socket_->connectToHost(host_, static_cast<quint16>(port_));
        return;
    }
    if (linked_ && request == Request::List) quietTimer_.start(timeouts_.quietMs);
    Advance();
}

void IndiMount::Connected() {
    connectTimer_.stop();
    linked_ = true;
    // BLOBs (images) are the only messages that grow large; this link never wants them.
    if (socket_->write(QByteArrayLiteral("<getProperties version=\"1.7\"/>\n"
                                         "<enableBLOB>Never</enableBLOB>\n")) < 0) {
        Fail(socket_->errorString());
        return;
    }
    if (request_ == Request::List) quietTimer_.start(timeouts_.quietMs);
    Advance();
}

void IndiMount::Read() {
    while (linked_ && socket_->bytesAvailable() > 0) {
        auto read = stream_.Feed(socket_->read(kReadBufferBytes));
        if (const auto* problem = std::get_if<std::string>(&read)) {
            Fail("the server sent " + QString::fromStdString(*problem));
            return;
        }
        for (const IndiVector& vector : std::get<std::vector<IndiVector>>(read)) {
            Handle(vector);
            if (!linked_) return;
        }
    }
}

void IndiMount::Handle(const IndiVector& vector) {
    if (vector.kind == IndiKind::Message) {
        if (vector.device != chosenDevice_ || chosenDevice_.isEmpty() || !Busy()) return;
        lastMessage_ = vector.message;
        // The driver's own words, as it logged them.
        if (vector.message.startsWith("[ERROR]") && request_ != Request::List) {
            Fail(DeviceName() + ": " + Escaped(vector.message));
        }
        return;
    }
    if (vector.kind == IndiKind::Deleted) {
        if (vector.name.isEmpty()) {
            properties_.removeIf(
                [&](const auto& entry) { return entry.value().device == vector.device; });
        } else {
            properties_.remove(Key(vector.device, vector.name));
        }
        return;
    }
    const QString key = Key(vector.device, vector.name);
    if (vector.definition) {
        if (properties_.size() >= kIndiPropertyLimit && !properties_.contains(key)) {
            Fail("the server defined more than " + QString::number(kIndiPropertyLimit) +
                 " properties");
            return;
        }
        properties_.insert(key, vector);
        if (request_ == Request::List) quietTimer_.start(timeouts_.quietMs);
    } else {
        const auto held = properties_.find(key);
        if (held == properties_.end()) return;
        if (!vector.state.isEmpty()) held->state = vector.state;
        held->message = vector.message;
        for (const auto& update : vector.elements) {
            const auto element =
                std::find_if(held->elements.begin(), held->elements.end(),
                             [&](const auto& e) { return e.first == update.first; });
            if (element != held->elements.end()) element->second = update.second;
        }
        if (vector.device == chosenDevice_ && vector.name == kCoordinates) {
            coordinatesFresh_ = true;
            if (watchTimer_.isActive()) {
                const auto ra = IndiNumber(held->Value("RA").value_or(""));
                const auto dec = IndiNumber(held->Value("DEC").value_or(""));
                if (ra && dec) {
                    const CoordinateSample sample{*ra, *dec, clock_.elapsed()};
                    (watchFirst_ ? watchLast_ : watchFirst_) = sample;
                }
            }
        }
    }

    if (vector.device == chosenDevice_ && !vector.definition && awaited_.contains(vector.name)) {
        if (vector.state == "Alert") {
            Fail(WithMessage(DeviceName() + " refused " + Described(vector.name), vector.message));
            return;
        }
        // Busy counts: a mount that tracks says so with a busy TELESCOPE_TRACK_STATE.
        awaited_.remove(vector.name);
    }
    Advance();
    if (!linked_) return;

    const IndiVector* side = Find(kPierSide);
    if (!side || vector.name != kPierSide || vector.device != chosenDevice_) return;
    const SideReport report = SideOf(*side);
    if (report == SideReport::East || report == SideReport::West) {
        const PierSide now = report == SideReport::East ? PierSide::East : PierSide::West;
        sideUnknownTold_ = false;
        if (now != lastSide_) {
            lastSide_ = now;
            emit pierSideChanged(now);
        }
        return;
    }
    // Neither, as a mount just connected may say before it has looked, is unknown only
    // once it has named a side.
    if (report == SideReport::Neither && !lastSide_) return;
    lastSide_.reset();
    if (!sideUnknownTold_) {
        sideUnknownTold_ = true;
        emit pierSideUnknown(DeviceName() + (report == SideReport::Both
                                                 ? " reports both East and West as its side "
                                                   "of the pier, so its side is unknown"
                                                 : " no longer reports its side of the pier"));
    }
}

const IndiVector* IndiMount::Find(const QString& name) const {
    if (chosenDevice_.isEmpty()) return nullptr;
    const auto held = properties_.find(Key(chosenDevice_, name));
    return held == properties_.end() ? nullptr : &*held;
}

std::optional<PierSide> IndiMount::ReportedSide() const {
    const IndiVector* side = Find(kPierSide);
    if (!side) return std::nullopt;
    switch (SideOf(*side)) {
        case SideReport::East:
            return PierSide::East;
        case SideReport::West:
            return PierSide::West;
        default:
            return std::nullopt;
    }
}

QStringList IndiMount::Devices() const {
    QStringList devices;
    for (const IndiVector& vector : properties_) {
        if (!devices.contains(vector.device)) devices.append(vector.device);
    }
    devices.sort();
    return devices;
}

void IndiMount::Advance() {
    if (!linked_ || request_ == Request::None || request_ == Request::List) return;
    if (chosenDevice_.isEmpty()) {
        if (!device_.isEmpty()) {
            chosenDevice_ = device_;
        } else {
            for (const IndiVector& vector : properties_) {
                if (vector.name != "DRIVER_INFO") continue;
                const auto interface = IndiNumber(vector.Value("DRIVER_INTERFACE").value_or(""));
                if (interface && (static_cast<int>(*interface) & kTelescopeInterface)) {
                    chosenDevice_ = vector.device;
                    break;
                }
            }
            if (chosenDevice_.isEmpty()) return;
        }
    }
    const IndiVector* connection = Find("CONNECTION");
    if (!connection) return;
    if (connection->Value("CONNECT") != "On") {
        if (!connectSent_) {
            connectSent_ = true;
            Send(IndiKind::Switch, "CONNECTION", {{"CONNECT", "On"}});
        } else if (connection->state == "Alert") {
            Fail(WithMessage(DeviceName() + " did not connect", connection->message));
        }
        return;
    }

    switch (request_) {
        case Request::PierSide: {
            const IndiVector* side = Find(kPierSide);
            if (!side) return;
            switch (SideOf(*side)) {
                case SideReport::East:
                    Finish(PierSideName(PierSide::East));
                    return;
                case SideReport::West:
                    Finish(PierSideName(PierSide::West));
                    return;
                case SideReport::Both:
                    Fail(DeviceName() +
                         " reports both East and West as its side of the pier, so its side is "
                         "unknown");
                    return;
                case SideReport::Neither:
                    // As a mount just connected may say before it has looked.
                    return;
            }
            return;
        }
        case Request::Declination:
            if (const auto dec = LastDeclination()) {
                Finish(DeviceName() + ": Dec " + QString::number(*dec, 'f', 4) + " degrees");
            }
            return;
        case Request::Track:
        case Request::Sidereal:
            AdvanceTrack();
            return;
        default:
            return;
    }
}

std::optional<double> IndiMount::LastDeclination() const {
    // Defined as a device connects, the coordinates may still be the driver's zeros; its
    // first update says where it points.
    if (connectSent_ && !coordinatesFresh_) return std::nullopt;
    const IndiVector* coordinates = Find(kCoordinates);
    if (!coordinates) return std::nullopt;
    const auto dec = IndiNumber(coordinates->Value("DEC").value_or(""));
    if (!dec || !(*dec >= -90 && *dec <= 90)) return std::nullopt;
    return dec;
}

void IndiMount::AdvanceTrack() {
    if (step_ == Step::RateSent) {
        if (!awaited_.isEmpty()) return;
        if (const auto differs = TrackDiffers()) {
            Fail(*differs);
            return;
        }
        const bool watch = request_ == Request::Track && track_.watch;
        Finish(TrackHeld());
        if (watch && linked_ && request_ == Request::None) {
            watchFirst_.reset();
            watchLast_.reset();
            watchTimer_.start(timeouts_.watchMs);
        }
        return;
    }
    if (step_ == Step::StoppingTracking) {
        if (!awaited_.isEmpty()) return;
        step_ = Step::NotSent;
    }
    const IndiVector* mode = Find(kTrackMode);
    const IndiVector* heldRate = Find(kTrackRate);
    if (!mode || (request_ == Request::Track && !heldRate)) return;
    const bool custom = request_ == Request::Track;
    const QString wanted = custom ? "TRACK_CUSTOM" : "TRACK_SIDEREAL";
    if (!mode->Value(wanted)) {
        Fail(DeviceName() + " has no " + (custom ? "custom" : "sidereal") + " tracking mode");
        return;
    }
    const IndiVector* state = Find(kTrackState);
    const bool tracking = state && state->Value("TRACK_ON") == "On";
    if (custom) {
        SkyMotion motion = track_.motion;
        if (!motion.declinationDegrees) {
            motion.declinationDegrees = LastDeclination();
            if (!motion.declinationDegrees) return;
        }
        const auto forMount = MountTrackRateFor(motion);
        if (const auto* problem = std::get_if<std::string>(&forMount)) {
            Fail(QString::fromStdString(*problem));
            return;
        }
        watched_ = motion;
        sent_ = std::get<MountTrackRate>(forMount);
        if (track_.reversal.On(ReportedSide().value_or(track_.assumedSide))) {
            sent_.decArcsecPerSecond = -sent_.decArcsecPerSecond;
        }
        // INDI refuses, while the mount tracks, a rate that turns an axis the other way.
        const auto held = [&](const char* element) {
            return IndiNumber(heldRate->Value(element).value_or("")).value_or(0);
        };
        if (tracking && (held("TRACK_RATE_RA") * sent_.raArcsecPerSecond < 0 ||
                         held("TRACK_RATE_DE") * sent_.decArcsecPerSecond < 0)) {
            step_ = Step::StoppingTracking;
            awaited_ = {kTrackState};
            Send(IndiKind::Switch, kTrackState, {{"TRACK_OFF", "On"}});
            return;
        }
    }
    step_ = Step::RateSent;
    awaited_ = {kTrackMode};
    Send(IndiKind::Switch, kTrackMode, {{wanted, "On"}});
    if (custom) {
        awaited_.insert(kTrackRate);
        Send(IndiKind::Number, kTrackRate,
             {{"TRACK_RATE_RA", QString::number(sent_.raArcsecPerSecond, 'g', 12)},
              {"TRACK_RATE_DE", QString::number(sent_.decArcsecPerSecond, 'g', 12)}});
        // A custom rate does nothing while the mount stands still.
        if (state && !tracking) {
            awaited_.insert(kTrackState);
            Send(IndiKind::Switch, kTrackState, {{"TRACK_ON", "On"}});
        }
    }
}

QString IndiMount::HeldText() const {
    const IndiVector* mode = Find(kTrackMode);
    QString modeName = "unknown";
    if (mode) {
        for (const auto& [name, value] : mode->elements) {
            if (value == "On") {
                modeName = Escaped(name.startsWith("TRACK_") ? name.mid(6).toLower() : name);
            }
        }
    }
    QString held = modeName + " tracking";
    if (const IndiVector* rate = Find(kTrackRate); rate && modeName == "custom") {
        const auto number = [&](const char* element) {
            const auto value = IndiNumber(rate->Value(element).value_or(""));
            return value ? Rate(*value) : QString("?");
        };
        held +=
            ", RA " + number("TRACK_RATE_RA") + " and Dec " + number("TRACK_RATE_DE") + " arcsec/s";
    }
    return held;
}

QString IndiMount::TrackHeld() const {
    return DeviceName() + ": " + HeldText();
}

std::optional<QString> IndiMount::TrackDiffers() const {
    const IndiVector* mode = Find(kTrackMode);
    if (request_ == Request::Sidereal) {
        if (mode && mode->Value("TRACK_SIDEREAL") == "On") return std::nullopt;
        return DeviceName() + " holds " + HeldText() + ", not the sidereal tracking asked for";
    }
    const IndiVector* rate = Find(kTrackRate);
    const auto held = [&](const char* element) {
        return IndiNumber(rate ? rate->Value(element).value_or("") : QString());
    };
    const bool same = mode && mode->Value("TRACK_CUSTOM") == "On" &&
                      SameRate(held("TRACK_RATE_RA"), sent_.raArcsecPerSecond) &&
                      SameRate(held("TRACK_RATE_DE"), sent_.decArcsecPerSecond);
    if (!same) {
        return DeviceName() + " holds " + HeldText() + ", not the custom tracking, RA " +
               Rate(sent_.raArcsecPerSecond) + " and Dec " + Rate(sent_.decArcsecPerSecond) +
               " arcsec/s sent";
    }
    const IndiVector* state = Find(kTrackState);
    if (state && state->Value("TRACK_ON") != "On") {
        return DeviceName() + " holds " + HeldText() + " but is not tracking";
    }
    return std::nullopt;
}

void IndiMount::Send(IndiKind kind, const QString& name,
                     const QList<std::pair<QString, QString>>& values) {
    // A write that failed has already ended the link and said why.
    if (!linked_) return;
    const bool number = kind == IndiKind::Number;
    QByteArray bytes;
    QXmlStreamWriter writer(&bytes);
    writer.writeStartElement(number ? "newNumberVector" : "newSwitchVector");
    writer.writeAttribute("device", chosenDevice_);
    writer.writeAttribute("name", name);
    for (const auto& [element, value] : values) {
        writer.writeStartElement(number ? "oneNumber" : "oneSwitch");
        writer.writeAttribute("name", element);
        writer.writeCharacters(value);
        writer.writeEndElement();
    }
    writer.writeEndElement();
    bytes.append('\n');
    if (socket_->write(bytes) < 0) Fail(socket_->errorString());
}

void IndiMount::Finish(const QString& held) {
    request_ = Request::None;
    answerTimer_.stop();
    quietTimer_.stop();
    emit succeeded(held);
}

void IndiMount::Fail(const QString& reason) {
    const bool told = following_ || request_ != Request::None;
    request_ = Request::None;
    linked_ = false;
    for (QTimer* timer : {&connectTimer_, &answerTimer_, &quietTimer_, &watchTimer_}) {
        timer->stop();
    }
    socket_->blockSignals(true);
    socket_->abort();
    socket_->blockSignals(false);
    if (told) emit failed(Where() + ": " + reason);
}

void IndiMount::TimedOut() {
    const QString waited = " within " + Seconds(timeouts_.answerMs);
    const QString said =
        lastMessage_.isEmpty() ? QString() : "; its last message: " + Escaped(lastMessage_);
    if (!linked_) {
        Fail("no connection" + waited);
    } else if (chosenDevice_.isEmpty()) {
        const QStringList devices = Devices();
        Fail("no telescope among the devices" +
             (devices.isEmpty() ? QString(" (it lists none)") : " " + Escaped(devices.join(", "))));
    } else if (!Find("CONNECTION")) {
        const QStringList devices = Devices();
        Fail("no device \"" + DeviceName() + "\"; it lists " +
             (devices.isEmpty() ? QString("none") : Escaped(devices.join(", "))));
    } else if (Find("CONNECTION")->Value("CONNECT") != "On") {
        Fail(DeviceName() + " did not connect" + waited + said);
    } else if (request_ == Request::PierSide) {
        const IndiVector* side = Find(kPierSide);
        Fail(DeviceName() + (side ? " reports neither East nor West as its side of the pier, so "
                                    "its side is unknown"
                                  : " does not report its side of the pier"));
    } else if (request_ == Request::Declination ||
               (request_ == Request::Track && step_ == Step::NotSent &&
                !track_.motion.declinationDegrees && Find(kTrackRate))) {
        Fail(DeviceName() + " did not report where it points" + waited + ", and " +
             QString(kNoDeclination));
    } else if (step_ == Step::NotSent) {
        Fail(DeviceName() +
             " cannot be set to a tracking rate: it reports no tracking mode or "
             "rate");
    } else {
        QStringList what;
        for (const QString& property : awaited_) what.append(Described(property));
        what.sort();
        Fail(DeviceName() + " did not confirm " + what.join(" and ") + waited + said);
    }
}

void IndiMount::WatchEnded() {
    CoordinateSample first = watchFirst_.value_or(CoordinateSample{});
    CoordinateSample last = watchLast_.value_or(first);
    const double ra = watched_.RaArcsecPerMinute().value_or(0) / kSecondsPerMinute;
    const double dec = watched_.northArcsecPerMinute / kSecondsPerMinute;
    const WatchedMotion motion = JudgeMotion(first, last, ra, dec);
    const PierSide side = ReportedSide().value_or(track_.assumedSide);
    emit motionWatched(
        DeviceName() + ": " +
        QString::fromStdString(DescribeWatch(
            motion, ra, dec, PierSideName(side).toStdString().c_str(), track_.reversal.On(side))));
}

}  // namespace Pelindra::Links
