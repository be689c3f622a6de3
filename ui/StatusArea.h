#pragma once

#include <QLabel>
#include <QStringList>
#include <functional>

#include "ephemeris/Table.h"

// The one line at the bottom of the main window: the latest message, cut to the window's
// width with the whole text as its tool tip. Each message replaces the one before; every
// message of the session is kept, with its time, for View > Messages.
class StatusArea : public QLabel {
    Q_OBJECT

  public:
    using Clock = std::function<Pelindra::Ephemeris::UtcMs()>;
    explicit StatusArea(Clock clock, QWidget* parent = nullptr);

    // Shows `text` on the line and keeps it.
    void say(const QString& text);
    // Keeps `text` without showing it on the line: what a message box already says.
    void record(const QString& text);
    // The whole message on the line; empty before the first.
    QString message() const { return message_; }
    // "21:30:15 UTC  Saved 240 lines to tonight.trk", oldest first.
    const QStringList& history() const { return history_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  signals:
    void recorded(const QString& line);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void showElided();

    Clock clock_;
    QString message_;
    QStringList history_;
};
