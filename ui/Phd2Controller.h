#pragma once

#include <QObject>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "links/Phd2Rate.h"
#include "settings/Settings.h"

class QTimer;

namespace Pelindra::Links {
class Phd2Client;
}

// The main window's link to PHD2: Send Rate, Stop Lock Shift and Keep PHD2 Updated. One
// exchange at a time, so what was sent last is what PHD2 holds.
class Phd2Controller : public QObject {
    Q_OBJECT

  public:
    struct Sources {
        // The rate for PHD2 now, or why there is none.
        std::function<std::variant<Pelindra::Links::Phd2Rate, std::string>()> rate;
        std::function<const Pelindra::Settings::Connections&()> links;
        // Asks the mount for its declination when the rate lacks one; false when it cannot.
        std::function<bool()> askMountDeclination;
    };

    Phd2Controller(Sources sources, QObject* parent);

    // `asked`: the user's own command, whose failure is also shown in a message box.
    void sendRate(bool asked);
    void stopLockShift();
    void keepUpdated(bool on);
    // The mount answered the request for its declination, or failed.
    void mountAnswered(bool answered);

  signals:
    void said(const QString& text);
    // Shown in a message box as well.
    void failedAloud(const QString& text);
    // Keep PHD2 Updated ended, because lock shift was stopped.
    void keepUpdatedEnded();

  private:
    Pelindra::Links::Phd2Client& client();
    // True, after saying so, while PHD2 has not answered the exchange before.
    [[nodiscard]] bool waiting(bool asked);
    void keepUpdatedTick();
    void fail(const QString& text, bool aloud);

    Sources sources_;
    Pelindra::Links::Phd2Client* client_ = nullptr;  // made when the user first asks
    bool stopPending_ = false;  // Stop Lock Shift waits for the exchange running
    bool asked_ = false;        // the exchange running was the user's command
    std::optional<Pelindra::Links::Phd2Rate> sending_;
    std::optional<Pelindra::Links::Phd2Rate> lastSent_;
    // The rate waits for the mount's declination; whether the user asked for it.
    std::optional<bool> afterMount_;
    QTimer* keepTimer_;
};
