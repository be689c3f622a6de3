#pragma once

#include <QDialog>
#include <optional>

#include "settings/Settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace Pelindra::Links {
class IndiMount;
}  // namespace Pelindra::Links

class Dialogs;

// Where the guider and the mount are reached, and the axes PHD2 takes the rate along. Edits
// copies and stores them on Apply, as the camera dialog does; opening it connects nothing.
class ConnectionsForm : public QDialog {
    Q_OBJECT

  public:
    // `declinationDegrees`: the object's declination typed for this run, used when no
    // ephemeris gives one.
    ConnectionsForm(Pelindra::Settings::Connections& connections,
                    std::optional<double>& declinationDegrees, QWidget* parent, Dialogs& dialogs);

    void Form_Load();

  private:
    void BuildControls();
    void Apply_Click();
    // Fills the device list from the INDI server typed above.
    void ListDevices_Click();
    void ShowError(const QString& text);

    Pelindra::Settings::Connections& connections_;
    std::optional<double>& declinationDegrees_;
    Dialogs& dialogs_;

    QLineEdit* Phd2Host;
    QLineEdit* Phd2Port;
    QRadioButton* Phd2CameraAxes;
    QRadioButton* Phd2SkyAxes;
    QLineEdit* Declination;
    QLineEdit* IndiHost;
    QLineEdit* IndiPort;
    QComboBox* IndiDevice;
    QPushButton* ListDevices;
    QCheckBox* DecReversedEast;
    QCheckBox* DecReversedWest;
    Pelindra::Links::IndiMount* indi_ = nullptr;
    QPushButton* Cancel;
    QPushButton* Apply;
};
