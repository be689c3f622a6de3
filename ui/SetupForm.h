#pragma once

#include <QPointer>
#include <QWidget>

#include "core/Messages.h"
#include "core/TrackParams.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class Dialogs;
class MainForm;
class ReversalCheckBox;
class TwipsScale;

// The modeless dialog for the rarely changed values. It edits copies in its controls and
// stores them only on Apply; Cancel or the close box discard them.
class SetupForm : public QWidget, public Pelindra::Core::Messages {
    Q_OBJECT

  public:
    SetupForm(Pelindra::Core::TrackParams& params, MainForm* mainForm, Dialogs& dialogs);

    void Form_Load();
    void ShowError(const std::string& text) override;

  protected:
    bool focusNextPrevChild(bool next) override;

  private:
    void BuildControls(const TwipsScale& twips);
    void Fork_Click();
    void GEM_Click();
    void Apply_Click();
    void Cancel_Click();

    Pelindra::Core::TrackParams& params_;
    QPointer<MainForm> mainForm_;  // gone once the main window was closed by its close box
    Dialogs& dialogs_;

    QLabel* Label1;
    QLineEdit* PixSize;
    QLabel* Label2;
    QLineEdit* TotalTime;
    QGroupBox* MountType;
    QRadioButton* Fork;
    QRadioButton* GEM;
    QGroupBox* West;
    ReversalCheckBox* RaRevWest;
    ReversalCheckBox* DecRevWest;
    QGroupBox* East;
    ReversalCheckBox* RARevEast;
    ReversalCheckBox* DecRevEast;
    QPushButton* Cancel;
    QPushButton* Apply;
};
