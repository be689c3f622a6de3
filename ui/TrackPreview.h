#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>

#include "preview/PathGeometry.h"
#include "preview/PathPicture.h"

class QPushButton;

class Dialogs;

// Where the path is drawn, in the window's own palette and font. The path is computed
// when it changes; a repaint only draws it.
class TrackPreviewCanvas : public QWidget {
  public:
    explicit TrackPreviewCanvas(QWidget* parent);

    void showPath(Pelindra::Preview::PathGeometry path);
    void showMessage(const QString& text);

    const Pelindra::Preview::PathPicture* picture() const {
        return picture_ ? &*picture_ : nullptr;
    }
    const QString& message() const { return message_; }
    Pelindra::Preview::PictureStyle style() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::optional<Pelindra::Preview::PathPicture> picture_;
    QString message_;
};

// The modeless window with the guide point's path over the whole track, as the track file
// the main window would save now moves it. It follows every change of what the path
// depends on, and exports the picture as PNG or SVG.
class TrackPreview : public QWidget {
    Q_OBJECT

  public:
    // What the path is drawn from, read afresh at every change.
    using Source = std::function<Pelindra::Preview::PathSource()>;

    TrackPreview(Source source, Dialogs& dialogs, QWidget* owner);

    // Something the path depends on changed. It is drawn afresh once the change has run
    // its course (an Apply stores several values, a repaired interval changes twice).
    void inputsChanged();

    // nullptr while the window shows why there is no path.
    const Pelindra::Preview::PathGeometry* path() const;
    const QString& message() const { return canvas_->message(); }

  signals:
    // The picture was written to `file`.
    void exported(const QString& file);

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void refresh();
    void exportClicked();

    Source source_;
    Dialogs& dialogs_;
    QTimer refreshTimer_;
    QString exportFolder_;  // where the last picture went, in this run
    TrackPreviewCanvas* canvas_;
    QPushButton* export_;
    QPushButton* close_;
};
