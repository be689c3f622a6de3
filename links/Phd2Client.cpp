#include "links/Phd2Client.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <cmath>

#include "core/SecondsText.h"
#include "links/Escaped.h"

namespace Pelindra::Links {

namespace {

constexpr qsizetype kQuotedBytes = 60;

QString Seconds(int milliseconds) {
    return Pelindra::Core::SecondsText(std::chrono::milliseconds(milliseconds));
}

// The start of a line as it can be shown, its control characters escaped.
QString Quoted(const QByteArray& line) {
    QString text = Escaped(QString::fromUtf8(line.left(kQuotedBytes)));
    if (line.size() > kQuotedBytes) text += "...";
    return "\"" + text + "\"";
}

QString Number(double value) {
    return QString::number(value, 'f', 2);
}

}  // namespace

QString DescribeLockShift(const QJsonValue& result) {
    const QJsonObject held = result.toObject();
    const QJsonArray rate = held.value("rate").toArray();
    if (!held.value("enabled").isBool() || rate.size() != 2) {
        return "lock shift parameters " +
               QString::fromUtf8(QJsonDocument(QJsonArray{result}).toJson(QJsonDocument::Compact))
                   .mid(1)
                   .chopped(1);
    }
    return QString("lock shift %1: %2, %3 %4 (%5)")
        .arg(held.value("enabled").toBool() ? "on" : "off", Number(rate[0].toDouble()),
             Number(rate[1].toDouble()), Escaped(held.value("units").toString()),
             Escaped(held.value("axes").toString()));
}

bool LockShiftHolds(const QJsonValue& held, const QJsonObject& expected) {
    const QJsonObject object = held.toObject();
    if (object.value("enabled") != expected.value("enabled")) return false;
    if (!expected.value("enabled").toBool()) return true;
    const QJsonArray rate = object.value("rate").toArray();
    const QJsonArray sent = expected.value("rate").toArray();
    if (rate.size() != 2 || object.value("units") != expected.value("units") ||
        object.value("axes") != expected.value("axes")) {
        return false;
    }
    for (qsizetype i = 0; i < 2; ++i) {
        if (!rate[i].isDouble() || !(std::fabs(rate[i].toDouble() - sent[i].toDouble()) <= 0.005)) {
            return false;
        }
    }
    return true;
}

Phd2Client::Phd2Client(QObject* parent, Phd2Timeouts timeouts)
    : QObject(parent), timeouts_(timeouts), socket_(new QTcpSocket(this)) {
    for (QTimer* timer : {&connectTimer_, &replyTimer_, &totalTimer_}) timer->setSingleShot(true);
    connect(&connectTimer_, &QTimer::timeout, this, [this] {
        Fail(Where() + " did not accept the connection within " + Seconds(timeouts_.connectMs));
    });
    connect(&replyTimer_, &QTimer::timeout, this,
            [this] { Fail(Where() + " did not answer within " + Seconds(timeouts_.replyMs)); });
    connect(&totalTimer_, &QTimer::timeout, this,
            [this] { Fail(Where() + " did not finish within " + Seconds(timeouts_.totalMs)); });
    connect(socket_, &QTcpSocket::connected, this, [this] {
        connectTimer_.stop();
        SendNext();
    });
    connect(socket_, &QTcpSocket::readyRead, this, &Phd2Client::ReadLines);
    connect(socket_, &QTcpSocket::disconnected, this, &Phd2Client::Disconnected);
    connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // A close is told by Disconnected, which knows what was missing.
        if (error == QAbstractSocket::RemoteHostClosedError) return;
        Fail(Where() + " cannot be reached: " + socket_->errorString());
    });
}

Phd2Client::~Phd2Client() {
    calls_.clear();
    socket_->abort();
}

QString Phd2Client::Where() const {
    return "PHD2 at " + Escaped(host_) + ":" + QString::number(port_);
}

void Phd2Client::SendRate(const QString& host, int port, const Phd2Rate& rate) {
    const QJsonObject lockShift{{"rate", QJsonArray{rate.first, rate.second}},
                                {"units", rate.Units()},
                                {"axes", rate.AxesName()}};
    QJsonObject expected = lockShift;
    expected.insert("enabled", true);
    Start(host, port,
          {{"set_lock_shift_params", QJsonArray{lockShift}, "the lock shift rate"},
           {"set_lock_shift_enabled", QJsonArray{true}, "turning lock shift on"},
           {"get_lock_shift_params", QJsonArray{}, "the request for its lock shift"}},
          expected);
}

void Phd2Client::StopLockShift(const QString& host, int port) {
    Start(host, port,
          {{"set_lock_shift_enabled", QJsonArray{false}, "turning lock shift off"},
           {"get_lock_shift_params", QJsonArray{}, "the request for its lock shift"}},
          QJsonObject{{"enabled", false}});
}

void Phd2Client::Start(const QString& host, int port, std::vector<Call> calls,
                       QJsonObject expected) {
    if (Busy()) {
        emit failed(Where() + " has not yet answered the request before");
        return;
    }
    const bool sameServer =
        host == host_ && port == port_ && socket_->state() == QAbstractSocket::ConnectedState;
    host_ = host;
    port_ = port;
    calls_ = std::move(calls);
    expected_ = std::move(expected);
    held_.clear();
    totalTimer_.start(timeouts_.totalMs);
    if (sameServer) {
        SendNext();
        return;
    }
    socket_->abort();
    partialLine_.clear();
    emit connecting(Where());
    connectTimer_.start(timeouts_.connectMs);
    socket_->connectToHost(host, static_cast<quint16>(port));
}

void Phd2Client::SendNext() {
    if (calls_.empty()) return;
    pendingId_ = nextId_++;
    const QJsonObject request{
        {"method", calls_.front().method}, {"params", calls_.front().params}, {"id", pendingId_}};
    const QByteArray line = QJsonDocument(request).toJson(QJsonDocument::Compact) + "\r\n";
    if (socket_->write(line) != line.size()) {
        Fail(Where() + " cannot be written to: " + socket_->errorString());
        return;
    }
    replyTimer_.start(timeouts_.replyMs);
}

void Phd2Client::ReadLines() {
    // Read in pieces, keeping at most one line's worth: a server that never ends its line
    // cannot fill the memory.
    while (socket_->bytesAvailable() > 0) {
        const QByteArray piece = socket_->read(64 * 1024);
        qsizetype from = 0;
        while (from < piece.size()) {
            const qsizetype end = piece.indexOf('\n', from);
            const qsizetype stop = end < 0 ? piece.size() : end;
            partialLine_.append(piece.constData() + from, stop - from);
            if (partialLine_.size() > kPhd2LineLimitBytes) {
                partialLine_.clear();
                Fail(Where() + " sent a line longer than " +
                     QString::number(kPhd2LineLimitBytes / (1024 * 1024)) + " MiB");
                return;
            }
            if (end < 0) break;
            from = end + 1;
            QByteArray line = std::move(partialLine_);
            partialLine_.clear();
            HandleLine(line);
            // A failed exchange has closed the connection; what follows is not read.
            if (socket_->state() != QAbstractSocket::ConnectedState) return;
        }
    }
}

void Phd2Client::HandleLine(const QByteArray& line) {
    const QByteArray trimmed = line.trimmed();
    if (trimmed.isEmpty()) return;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(trimmed, &error);
    if (!document.isObject()) {
        Fail(Where() + " sent a line that is not JSON: " + Quoted(trimmed));
        return;
    }
    const QJsonObject message = document.object();
    if (message.contains("Event")) {
        if (message.value("Event").toString() == "LockPositionShiftLimitReached") {
            emit lockShiftLimitReached(Where());
        }
        return;
    }
    if (calls_.empty() || !message.contains("id") || message.value("id").toInt() != pendingId_) {
        return;
    }
    replyTimer_.stop();
    const Call& call = calls_.front();
    if (message.contains("error")) {
        const QJsonObject problem = message.value("error").toObject();
        QString text = Escaped(problem.value("message").toString());
        if (text.isEmpty()) text = "no reason given";
        if (problem.contains("code"))
            text += " (error " + QString::number(problem.value("code").toInt()) + ")";
        Fail(Where() + " refused " + call.what + ": " + text);
        return;
    }
    if (!message.contains("result")) {
        Fail(Where() + " answered " + call.what + " with neither a result nor an error");
        return;
    }
    if (call.method == "get_lock_shift_params") {
        HandleReadBack(message.value("result"));
        return;
    }
    calls_.erase(calls_.begin());
    SendNext();
}

void Phd2Client::HandleReadBack(const QJsonValue& result) {
    held_ = DescribeLockShift(result);
    if (!LockShiftHolds(result, expected_)) {
        const QString sent = expected_.value("enabled").toBool() ? DescribeLockShift(expected_)
                                                                 : QString("lock shift off");
        Fail(Where() + " holds " + held_ + ", not the " + sent + " sent");
        return;
    }
    calls_.clear();
    for (QTimer* timer : {&replyTimer_, &totalTimer_}) timer->stop();
    emit succeeded(held_);
}

void Phd2Client::Fail(const QString& reason) {
    const bool exchanging = Busy();
    calls_.clear();
    for (QTimer* timer : {&connectTimer_, &replyTimer_, &totalTimer_}) timer->stop();
    partialLine_.clear();
    socket_->abort();
    // Between exchanges a fault only ends the connection; the next request opens a new one.
    if (exchanging) emit failed(reason);
}

void Phd2Client::Disconnected() {
    if (!Busy()) {
        partialLine_.clear();
        return;
    }
    if (!partialLine_.isEmpty()) {
        Fail(Where() + " closed the connection in the middle of a line");
    } else {
        Fail(Where() + " closed the connection before answering " + calls_.front().what);
    }
}

}  // namespace Pelindra::Links
