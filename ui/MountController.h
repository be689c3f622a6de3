#pragma once

#include <QObject>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "links/IndiMount.h"
#include "links/SkyMotion.h"
#include "settings/Settings.h"

// The main window's link to the mount over INDI: the pier side read from it, and tracking at
// the object's rate or the stars'.
class MountController : public QObject {
    Q_OBJECT

  public:
    struct Sources {
        // The object's motion now, or why there is none.
        std::function<std::variant<Pelindra::Links::SkyMotion, std::string>()> motion;
        std::function<const Pelindra::Settings::Connections&()> links;
        // The side the user chose, which the mount's own answer may replace.
        std::function<Pelindra::Links::PierSide()> chosenSide;
    };

    MountController(Sources sources, QObject* parent);

    // Pier Side from the Mount, on or off.
    void followPierSide(bool on);
    bool followsPierSide() const { return followsPierSide_; }
    void trackObject();
    void trackStars();
    // Asks for the declination the mount points at; false when no mount is chosen or it is
    // answering another request.
    [[nodiscard]] bool askDeclination();

    // What the link last heard; nullopt before it was asked.
    std::optional<double> lastDeclination() const;
    std::optional<Pelindra::Links::PierSide> lastPierSide() const;

  signals:
    void said(const QString& text);
    void failedAloud(const QString& text);
    // The mount answered a request; `answered` false when it failed.
    void requestEnded(bool answered);
    // The mount's side of the pier, while it is followed.
    void pierSide(Pelindra::Links::PierSide side);
    // The mount now sets the side of the pier, or no longer.
    void drivesPierSide(bool driven);

  private:
    Pelindra::Links::IndiMount& mount();

    Sources sources_;
    Pelindra::Links::IndiMount* mount_ = nullptr;  // made when the user first asks
    bool followsPierSide_ = false;
};
