#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "ephemeris/Reader.h"
#include "settings/Settings.h"
#include "ui/EphemerisForm.h"

// The ephemeris of this run: reading it off the window's thread, the window that shows
// it, the one time every command takes from it, whether Save follows it, and what the
// settings file remembers of it. A closed window keeps its table until another is read.
class EphemerisSession : public QObject {
    Q_OBJECT

  public:
    EphemerisSession(UtcClock clock, QWidget* owner);

    void loadFile(const QString& path);
    // Text pasted or dropped; `origin` names it in the window and in messages.
    void loadText(const QString& text, const QString& origin);
    bool reading() const { return reading_; }

    // nullptr before a table was read.
    const Pelindra::Ephemeris::Table* table() const;
    // The target, else where the table came from.
    QString name() const;
    // Opens the window of the table read last.
    void showWindow();
    void closeWindow();

    // The time shown in the window, which Use, Save, the preview, PHD2 and the mount all
    // take; nullopt before a table was read.
    std::optional<Pelindra::Ephemeris::UtcMs> timeInUse();
    // RA and Dec in degrees of the row nearest timeInUse() that gives them.
    std::optional<std::pair<double, double>> positionInUse();
    // nullopt while the window's time follows now.
    std::optional<Pelindra::Ephemeris::UtcMs> chosenTime() const;

    // Whether Save writes a track that follows the table.
    bool follows() const { return follows_; }
    void setFollows(bool follows);
    // The start of a following track, when Save follows a table that was read.
    std::optional<Pelindra::Ephemeris::UtcMs> followedStart();

    // The [Ephemeris] section read at start; the file reopens at the time chosen for it.
    void setRemembered(const Pelindra::Settings::EphemerisMemory& memory);
    // The ephemeris used last, in this run or an earlier one.
    std::optional<Pelindra::Settings::EphemerisMemory> last() const;
    // nullopt while nothing new was chosen, so the section stays as the user's file has it.
    std::optional<Pelindra::Settings::EphemerisMemory> memoryToSave() const;

  signals:
    void failed(const QString& message);
    void readingChanged(bool reading);
    // A table was read, its time chosen, or following turned on or off.
    void changed();
    void rateUsed(const Pelindra::Ephemeris::Rate& rate, const QString& source);

  private:
    using ReadResult = std::variant<Pelindra::Ephemeris::Table, Pelindra::Ephemeris::ReadError>;
    // Only the latest read is shown.
    void readInBackground(std::function<ReadResult()> read, std::function<void(ReadResult)> show);
    void show(Pelindra::Ephemeris::Table table, const QString& origin, const std::string& file);
    void timeChosen();

    UtcClock clock_;
    QWidget* owner_;
    QPointer<EphemerisForm> form_;
    bool follows_ = false;
    bool reading_ = false;
    int reads_ = 0;  // reads started, to know the latest
    std::optional<Pelindra::Settings::EphemerisMemory> remembered_;  // as read at start
    std::optional<Pelindra::Settings::EphemerisMemory> memory_;      // chosen in this run
};
