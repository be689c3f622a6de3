#pragma once

#include <QPointer>
#include <QWidget>

#include "core/Messages.h"
#include "core/TrackParams.h"
#include "ui/RecordView.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class Dialogs;
class ReversalCheckBox;
class TwipsScale;

// The modeless dialog for the rarely changed values. It edits copies in its controls and
// stores them only on Apply; Cancel or the close box discard them.
class SetupForm : public QWidget, public Pelindra::Core::Messages {
    Q_OBJECT

  public:
    SetupForm(Pelindra::Core::TrackParams& params, RecordView* view, Dialogs& dialogs);

    void Form_Load();
    void ShowError(const std::string& text) override;
    // The window it updates is closing: Apply then only checks and stores.
    void ViewGone() { view_ = nullptr; }

  protected:
    bool focusNextPrevChild(bool next) override;

  private:
    void BuildControls(const TwipsScale& twips);
    void Fork_Click();
    void GEM_Click();
    void Apply_Click();
    void Cancel_Click();

    Pelindra::Core::TrackParams& params_;
    RecordView* view_;  // nullptr once the main window was closed by its close box
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
