#pragma once

#include <QDateTimeEdit>
#include <optional>

// The ephemeris window's time box. Its parts can still be edited one at a time, but a
// whole time typed over the selected text, or pasted, is taken as written ("2022-09-01
// 02:15:00", "2022-09-01T02:15Z", "2022-09-01 02:15:00 UTC") instead of being spread over
// the parts, which kept the old minutes and put the typed ones into the seconds. Tab
// leaves the box at once rather than stopping at each of its six parts.
class UtcTimeEdit : public QDateTimeEdit {
    Q_OBJECT

  public:
    explicit UtcTimeEdit(QWidget* parent = nullptr);

  signals:
    // A whole time was typed that is not one; the box went back to the time it held.
    void wholeTimeRefused(const QString& text);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    QValidator::State validate(QString& input, int& pos) const override;

  private:
    // Sets the time written in `text`; false when it is not a time.
    bool takeWhole(const QString& text);
    // Ends typing a whole time: takes it when it reads as one, else goes back and says so.
    void finishTyping();
    void showTyped();

    std::optional<QString> typed_;  // a whole time being typed, as typed so far
};
