#pragma once

#include <QDialog>

class QPlainTextEdit;
class StatusArea;

// Every message of the session, oldest first, as the status line showed or recorded it.
class MessagesDialog : public QDialog {
    Q_OBJECT

  public:
    MessagesDialog(StatusArea& status, QWidget* owner);

  private:
    QPlainTextEdit* lines_;
};
