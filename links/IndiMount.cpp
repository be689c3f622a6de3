#include "links/IndiMount.h"

#include <QTcpSocket>
#include <QXmlStreamWriter>
#include <algorithm>

namespace Pelindra::Links {

namespace {

constexpr int kMsPerSecond = 1000;
// DRIVER_INFO's DRIVER_INTERFACE is a bit mask; this bit is a telescope's.
constexpr int kTelescopeInterface = 1;

QString Key(const QString& device, const QString& name) {
    return device + QChar(0x1f) + name;
}

QString Seconds(int ms) {
    return QString::number(ms / kMsPerSecond) + " s";
}

QString WithMessage(const QString& text, const QString& message) {
    return message.isEmpty() ? text : text + " (" + message + ")";
}

}  // namespace

QString PierSideName(PierSide side) {
    return side == PierSide::East ? "East" : "West";
}

IndiMount::IndiMount(QObject* parent, IndiTimeouts timeouts)
    : QObject(parent), timeouts_(timeouts), socket_(new QTcpSocket(this)) {
    for (QTimer* timer : {&connectTimer_, &answerTimer_, &quietTimer_}) timer->setSingleShot(true);
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
        Finish(devices.isEmpty() ? "no devices" : "devices: " + devices.join(", "));
    });
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
    return "INDI server " + host + ":" + QString::number(port_);
}

void IndiMount::ListDevices() {
    Start(Request::List);
}
void IndiMount::ReadPierSide() {
    Start(Request::PierSide);
}
void IndiMount::TrackSidereal() {
    Start(Request::Sidereal);
}

void IndiMount::TrackAt(const MountTrackRate& rate) {
    rate_ = rate;
    Start(Request::Track);
}

void IndiMount::Start(Request request) {
    if (Busy()) {
        emit failed(Where() + ": still waiting for the answer to the last request");
        return;
    }
    request_ = request;
    requestSent_ = false;
    awaited_.clear();
    answerTimer_.start(timeouts_.answerMs);
    if (socket_->state() == QAbstractSocket::UnconnectedState) {
        stream_.Reset();
        properties_.clear();
        chosenDevice_.clear();
        connectSent_ = false;
        lastSide_.reset();
        linked_ = false;
        connectTimer_.start(timeouts_.connectMs);
        socket_->connectToHost(host_, static_cast<quint16>(port_));
        return;
    }
    if (linked_ && request == Request::List) quietTimer_.start(timeouts_.quietMs);
    Advance();
}

void IndiMount::Connected() {
    connectTimer_.stop();
    linked_ = true;
    if (socket_->write(QByteArrayLiteral("<getProperties version=\"1.7\"/>\n")) < 0) {
        Fail(socket_->errorString());
        return;
    }
    if (request_ == Request::List) quietTimer_.start(timeouts_.quietMs);
    Advance();
}

void IndiMount::Read() {
    auto read = stream_.Feed(socket_->readAll());
    if (const auto* problem = std::get_if<QString>(&read)) {
        Fail("the server sent " + *problem);
        return;
    }
    for (const IndiVector& vector : std::get<std::vector<IndiVector>>(read)) {
        Handle(vector);
        if (!linked_) return;
    }
}

void IndiMount::Handle(const IndiVector& vector) {
    if (vector.kind == IndiKind::Message) return;
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
    }

    if (vector.device == chosenDevice_ && !vector.definition && awaited_.contains(vector.name)) {
        if (vector.state == "Alert") {
            Fail(WithMessage(chosenDevice_ + " refused " + vector.name, vector.message));
            return;
        }
        // Busy counts: a mount that tracks says so with a busy TELESCOPE_TRACK_STATE.
        awaited_.remove(vector.name);
    }
    Advance();
    if (!linked_) return;

    if (const IndiVector* side = Find("TELESCOPE_PIER_SIDE")) {
        std::optional<PierSide> now;
        if (side->Value("PIER_EAST") == "On") now = PierSide::East;
        if (side->Value("PIER_WEST") == "On") now = PierSide::West;
        if (now && now != lastSide_) {
            lastSide_ = now;
            emit pierSideChanged(*now);
        }
    }
}

const IndiVector* IndiMount::Find(const QString& name) const {
    if (chosenDevice_.isEmpty()) return nullptr;
    const auto held = properties_.find(Key(chosenDevice_, name));
    return held == properties_.end() ? nullptr : &*held;
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
            Fail(WithMessage(chosenDevice_ + " did not connect", connection->message));
        }
        return;
    }

    switch (request_) {
        case Request::PierSide: {
            const IndiVector* side = Find("TELESCOPE_PIER_SIDE");
            if (!side) return;
            if (side->Value("PIER_EAST") == "On") {
                Finish(PierSideName(PierSide::East));
            } else if (side->Value("PIER_WEST") == "On") {
                Finish(PierSideName(PierSide::West));
            }
            // Neither, as a mount just connected may say before it has looked.
            return;
        }
        case Request::Track:
        case Request::Sidereal: {
            if (requestSent_) {
                if (awaited_.isEmpty()) Finish(TrackHeld());
                return;
            }
            const IndiVector* mode = Find("TELESCOPE_TRACK_MODE");
            const IndiVector* rate = Find("TELESCOPE_TRACK_RATE");
            if (!mode || (request_ == Request::Track && !rate)) return;
            const QString wanted = request_ == Request::Track ? "TRACK_CUSTOM" : "TRACK_SIDEREAL";
            if (!mode->Value(wanted)) {
                Fail(chosenDevice_ + " has no " + wanted + " tracking mode");
                return;
            }
            requestSent_ = true;
            awaited_ = {"TELESCOPE_TRACK_MODE"};
            Send(IndiKind::Switch, "TELESCOPE_TRACK_MODE", {{wanted, "On"}});
            if (request_ == Request::Track) {
                awaited_.insert("TELESCOPE_TRACK_RATE");
                Send(IndiKind::Number, "TELESCOPE_TRACK_RATE",
                     {{"TRACK_RATE_RA", QString::number(rate_.raArcsecPerSecond, 'g', 12)},
                      {"TRACK_RATE_DE", QString::number(rate_.decArcsecPerSecond, 'g', 12)}});
            }
            // A custom rate does nothing while the mount stands still.
            const IndiVector* state = Find("TELESCOPE_TRACK_STATE");
            if (request_ == Request::Track && state && state->Value("TRACK_ON") != "On") {
                awaited_.insert("TELESCOPE_TRACK_STATE");
                Send(IndiKind::Switch, "TELESCOPE_TRACK_STATE", {{"TRACK_ON", "On"}});
            }
            return;
        }
        default:
            return;
    }
}

QString IndiMount::TrackHeld() const {
    const IndiVector* mode = Find("TELESCOPE_TRACK_MODE");
    QString held = chosenDevice_ + ": ";
    QString modeName = "unknown";
    if (mode) {
        for (const auto& [name, value] : mode->elements) {
            if (value == "On") modeName = name.startsWith("TRACK_") ? name.mid(6).toLower() : name;
        }
    }
    held += modeName + " tracking";
    if (const IndiVector* rate = Find("TELESCOPE_TRACK_RATE"); rate && modeName == "custom") {
        const auto number = [&](const char* element) {
            const auto value = IndiNumber(rate->Value(element).value_or(""));
            return value ? QString::number(*value, 'f', 6) : QString("?");
        };
        held +=
            ", RA " + number("TRACK_RATE_RA") + " and Dec " + number("TRACK_RATE_DE") + " arcsec/s";
    }
    return held;
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
    for (QTimer* timer : {&connectTimer_, &answerTimer_, &quietTimer_}) timer->stop();
    socket_->blockSignals(true);
    socket_->abort();
    socket_->blockSignals(false);
    if (told) emit failed(Where() + ": " + reason);
}

void IndiMount::TimedOut() {
    const QString waited = " within " + Seconds(timeouts_.answerMs);
    if (!linked_) {
        Fail("no connection" + waited);
    } else if (chosenDevice_.isEmpty()) {
        const QStringList devices = Devices();
        Fail("no telescope among the devices" +
             (devices.isEmpty() ? QString(" (it lists none)") : " " + devices.join(", ")));
    } else if (!Find("CONNECTION")) {
        const QStringList devices = Devices();
        Fail("no device \"" + chosenDevice_ + "\"; it lists " +
             (devices.isEmpty() ? QString("none") : devices.join(", ")));
    } else if (Find("CONNECTION")->Value("CONNECT") != "On") {
        Fail(chosenDevice_ + " did not connect" + waited);
    } else if (request_ == Request::PierSide) {
        Fail(chosenDevice_ + " does not report its side of the pier (TELESCOPE_PIER_SIDE)");
    } else if (!requestSent_) {
        Fail(chosenDevice_ +
             " has no tracking mode or rate (TELESCOPE_TRACK_MODE, TELESCOPE_TRACK_RATE)");
    } else {
        Fail(chosenDevice_ + " did not answer " + QStringList(awaited_.values()).join(", ") +
             waited);
    }
}

}  // namespace Pelindra::Links
