#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

#include "ephemeris/Rate.h"
#include "ephemeris/Table.h"

class QCheckBox;
class QDateTime;
class UtcTimeEdit;
class QLabel;
class QPushButton;

// Where "now" comes from; tests give a clock of their own.
using UtcClock = std::function<Pelindra::Ephemeris::UtcMs()>;
Pelindra::Ephemeris::UtcMs SystemUtcNow();

// The modeless window that shows an ephemeris just read: what it is for (target, observer,
// span, step), the UTC time of the exposure, and the motion at that time. Use hands the
// motion to the main window, which owns this window.
class EphemerisForm : public QDialog {
    Q_OBJECT

  public:
    EphemerisForm(UtcClock clock, QWidget* owner);

    // Shows a table read from `origin` (a file, or a description such as "pasted text").
    // The time starts at `time` when given, else at now; a time outside the rows' span is
    // shown as it is, said to be outside, and Use is disabled.
    void showTable(Pelindra::Ephemeris::Table table, const QString& origin,
                   std::optional<Pelindra::Ephemeris::UtcMs> time);
    // nullopt while the time follows now.
    std::optional<Pelindra::Ephemeris::UtcMs> chosenTime() const;
    const Pelindra::Ephemeris::Table& table() const { return table_; }
    // Where the table was read from, as the window names it.
    QString origin() const;
    // Whether Save follows the ephemeris, as remembered from an earlier run.
    void setFollow(bool follow);
    bool follows() const;
    // The one time that Use, Save, the preview, PHD2 and the mount take: the time set, or
    // now to the second, which the window then shows.
    Pelindra::Ephemeris::UtcMs timeInUse();
    // Whether the rows span `time`.
    bool covers(Pelindra::Ephemeris::UtcMs time) const;

  signals:
    // The user set a time, or went back to now.
    void timeChosen();
    // The user ticked or cleared "Follow the ephemeris when saving".
    void followChanged(bool follow);
    // `source` says which ephemeris and time the rate comes from, for the main window.
    void rateUsed(const Pelindra::Ephemeris::Rate& rate, const QString& source);

  private:
    void buildControls();
    // Moves to the time remembered from an earlier run, or to now.
    void goTo(std::optional<Pelindra::Ephemeris::UtcMs> remembered);
    // Empty when the rows span the time shown.
    QString outsideNote() const;
    void showTime();
    void showRate();
    void timeEdited(const QDateTime& edited);
    void nowClicked();
    void useClicked();

    UtcClock clock_;
    Pelindra::Ephemeris::Table table_;
    Pelindra::Ephemeris::UtcMs time_ = 0;
    bool followsNow_ = true;
    bool lastChosen_ = false;   // the time is the one remembered from an earlier run
    bool settingTime_ = false;  // the editor's change signal then comes from the program

    QLabel* target_;
    QLabel* site_;
    QLabel* span_;
    QLabel* step_;
    QLabel* origin_;
    UtcTimeEdit* timeEdit_;
    QPushButton* now_;
    QLabel* note_;
    QLabel* cutNote_;  // the text seems cut: where the table now ends
    QLabel* motionPerMinute_;
    QLabel* motionPerHour_;
    QLabel* positionAngle_;
    QLabel* eastRate_;
    QLabel* northRate_;
    QCheckBox* follow_;
    QPushButton* use_;
    QPushButton* close_;
};
