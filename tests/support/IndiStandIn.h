#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <utility>

// A stand-in INDI server: `greeting` on connecting, `answer` to the first request it
// reads, and closed after the greeting when `close` says so.
class StandIn : public QObject {
  public:
    StandIn(QByteArray greeting, QByteArray answer, bool close)
        : greeting_(std::move(greeting)), answer_(std::move(answer)), close_(close) {
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* client = server_.nextPendingConnection();
            client->write(greeting_);
            client->flush();
            if (close_) {
                client->disconnectFromHost();
                return;
            }
            connect(client, &QTcpSocket::readyRead, client, [this, client] {
                if (client->readAll().contains("<new") && !answer_.isEmpty()) {
                    client->write(std::exchange(answer_, {}));
                }
            });
        });
    }
    int port() const { return server_.serverPort(); }
    // More from the server, to every client still connected.
    void sendToAll(const QByteArray& bytes) {
        for (QTcpSocket* client : server_.findChildren<QTcpSocket*>()) client->write(bytes);
    }

  private:
    QTcpServer server_;
    QByteArray greeting_;
    QByteArray answer_;
    bool close_;
};
