#pragma once

#include <QObject>

class QAction;

// The README's "copy the table and press Ctrl+V" must work whichever box has the focus:
// in a box of the main window, a pasted text of more than one line, or one that reads as an
// ephemeris, is opened as an ephemeris instead of landing in the box; a one-line paste
// goes into the box as before.
class EphemerisPaste : public QObject {
    Q_OBJECT

  public:
    // `pasteEphemeris` is the command that opens the clipboard's text as an ephemeris.
    EphemerisPaste(QAction* pasteEphemeris, QObject* parent);

    static bool IsEphemeris(const QString& text);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QAction* pasteEphemeris_;
};
