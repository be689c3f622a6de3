#pragma once

#include <QDialog>

#include "core/Messages.h"
#include "core/TrackParams.h"
#include "settings/Settings.h"
#include "ui/RecordView.h"

class QLabel;
class QLineEdit;
class QPushButton;

class Dialogs;

// The modeless dialog for the guide camera: its angle on the sky and its sensor size. Like
// the setup dialog it edits copies in its controls and stores them only on Apply; Cancel,
// Escape or the close box discard them. The main window owns it.
class CameraForm : public QDialog, public Pelindra::Core::Messages {
    Q_OBJECT

  public:
    CameraForm(Pelindra::Core::TrackParams& params, Pelindra::Settings::Preferences& preferences,
               RecordView& view, QWidget* owner, Dialogs& dialogs);

    void Form_Load();
    void ShowError(const std::string& text) override;

  private:
    void BuildControls();
    void Apply_Click();

    Pelindra::Core::TrackParams& params_;
    Pelindra::Settings::Preferences& preferences_;
    RecordView& view_;  // the owner's, so it outlives this dialog
    Dialogs& dialogs_;

    QLabel* Label1;
    QLineEdit* CameraAngle;
    QLabel* Label2;
    QLineEdit* SensorWidth;
    QLabel* Label3;
    QLineEdit* SensorHeight;
    QPushButton* Cancel;
    QPushButton* Apply;
};
