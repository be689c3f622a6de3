#pragma once

#include <QDialog>
#include <QString>
#include <optional>

#include "ephemeris/HorizonsFetch.h"

class QDateTimeEdit;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

// Asks for a JPL Horizons query, fetches it with progress and a cancel button, and saves
// the reply as a file so the night can go on without the network. Errors stay in the
// dialog, which stays open for another try.
class HorizonsFetchDialog : public QDialog {
    Q_OBJECT

  public:
    // Runs the whole exchange modally; the saved file, or nullopt when the user gave up.
    static std::optional<QString> Run(QWidget* parent, const QString& folder);

    HorizonsFetchDialog(QWidget* parent, const QString& folder);

    std::optional<QString> savedPath() const { return savedPath_; }

  public slots:
    // Escape and Cancel end a fetch under way first, and close the dialog only after.
    void reject() override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildControls(const QString& folder);
    void chooseFolder();
    void fetch();
    void onProgress(qint64 receivedBytes, qint64 totalBytes);
    void onSucceeded(const QByteArray& reply);
    void onFailed(const QString& message);
    void setBusy(bool busy);
    void showStatus(const QString& text);
    Pelindra::Ephemeris::HorizonsQuery query() const;

    Pelindra::Ephemeris::HorizonsFetch fetch_;
    Pelindra::Ephemeris::HorizonsQuery sent_;
    std::optional<QString> savedPath_;

    QLineEdit* target_;
    QRadioButton* useSite_;
    QLineEdit* siteCode_;
    QRadioButton* useCoordinates_;
    QDoubleSpinBox* longitude_;
    QDoubleSpinBox* latitude_;
    QDoubleSpinBox* altitude_;
    QDateTimeEdit* start_;
    QDateTimeEdit* stop_;
    QLineEdit* step_;
    QLineEdit* folder_;
    QPushButton* browse_;
    QLabel* status_;
    QProgressBar* progress_;
    QPushButton* fetchButton_;
    QPushButton* cancelButton_;
};
