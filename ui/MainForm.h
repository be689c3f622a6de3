#pragma once

#include <QMainWindow>
#include <QPalette>
#include <QPointer>
#include <QSet>
#include <functional>
#include <string>
#include <variant>

#include "core/TrackParams.h"
#include "links/Phd2Rate.h"
#include "preview/PathGeometry.h"
#include "settings/Settings.h"
#include "trackfile/SaveCommand.h"
#include "ui/EphemerisForm.h"
#include "ui/RecordView.h"

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace Pelindra::Links {
struct SkyMotion;
enum class PierSide;
}  // namespace Pelindra::Links

class CameraForm;
class ConnectionsForm;
class Dialogs;
class EphemerisSession;
class FrameCalibration;
class MessagesDialog;
class MountController;
class Phd2Controller;
class SetupForm;
class StatusArea;
class TrackPreview;

// The start-up window: the three often-changed inputs, the pier side, the offsets, and
// the commands. Its load step reads the settings file and its unload step writes it.
class MainForm : public QMainWindow,
                 public Pelindra::TrackFile::SaveCommandUi,
                 public Pelindra::Settings::SettingsView,
                 public RecordView {
    Q_OBJECT

  public:
    MainForm(Pelindra::Core::TrackParams& params, Dialogs& dialogs, std::string settingsPath,
             UtcClock clock = SystemUtcNow);
    ~MainForm() override;

    void Form_Load();

    // Shows or hides the pier-side frame; hidden for a fork mount.
    void ShowPierSideFor(std::int16_t mountType) override;
    Pelindra::Core::OffsetDisplay& OffsetsShown() override { return *this; }
    // Validate and, when the record is usable, recompute and show the offsets.
    void ValidateAndUpdate();
    // Something the track's path depends on changed; an open preview follows.
    void PreviewInputsChanged();
    // The line at the window's bottom; hidden until the first message.
    void Say(const QString& text);

    // Pelindra::Core::Messages, Pelindra::Core::OffsetDisplay, Pelindra::TrackFile::SaveCommandUi
    void ShowError(const std::string& text) override;
    void SetDeltaXCaption(const std::string& caption) override;
    void SetDeltaYCaption(const std::string& caption) override;
    std::optional<std::string> ChooseTrackFile(const std::string& folder) override;
    bool ConfirmOverwrite() override;
    std::string TimeIntervalText() override;
    bool AllEntriesStored() override;
    std::optional<Pelindra::TrackFile::EphemerisStart> FollowedEphemeris() override;
    void ShowTrackNotes(const std::vector<std::string>& notes) override;
    void TrackWritten(const std::string& file, int lines) override;

    // Pelindra::Settings::SettingsView
    void SetMotionText(const std::string& text) override;
    void SetPAText(const std::string& text) override;
    void SetTimeIntervalText(const std::string& text) override;
    void SetWestValue(bool selected) override;
    void SetEastValue(bool selected) override;
    std::string MotionText() const override;
    std::string PAText() const override;
    void SetEphemerisMemory(const Pelindra::Settings::EphemerisMemory& memory) override;
    std::optional<Pelindra::Settings::EphemerisMemory> EphemerisMemoryToSave() const override;
    void SetPreferences(const Pelindra::Settings::Preferences& preferences) override;
    std::optional<Pelindra::Settings::Preferences> PreferencesToSave() const override;

  protected:
    bool focusNextPrevChild(bool next) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void BuildControls();
    void BuildMenu();
    // Stores a box's number in its field; false (after "Overflow") when it does not fit.
    bool StoreBox(QLineEdit* box, float& field);
    void Motion_Change();
    void PA_Change();
    void TimeInterval_Change();
    void West_Click();
    void East_Click();
    void Setup_Click();
    void Save_Click();
    void Quit_Click();
    void nmu_Setup_Click();
    void nmu_Save_Click();
    void mnu_Exit_Click();
    void mnu_About_Click();
    void mnu_TrackPreview_Click();
    void mnu_NightMode_Click(bool on);
    // The red palette for every window, or the one the program started with.
    void ApplyNightMode(bool on);
    Pelindra::Preview::PathSource PreviewSource() const;
    void mnu_Camera_Click();
    void mnu_Connections_Click();
    void mnu_SendRatePhd2_Click();
    void mnu_StopLockShift_Click();
    void mnu_KeepPhd2Updated_Click(bool on);
    // The rate for PHD2 now: the ephemeris at the time it shows, else the boxes.
    [[nodiscard]] std::variant<Pelindra::Links::Phd2Rate, std::string> CurrentPhd2Rate() const;
    void mnu_PierSideFromMount_Click(bool on);
    void mnu_TrackObjectRate_Click();
    void mnu_StopTrackingObject_Click();
    // Disables East and West while the mount sets them, saying why.
    void ShowMountDrivesPierSide(bool driven);
    // The object's motion for PHD2 and the mount: the followed ephemeris now, else the boxes
    // with the ephemeris' declination or the one typed.
    [[nodiscard]] std::variant<Pelindra::Links::SkyMotion, std::string> CurrentSkyMotion() const;
    // The guider and mount links, wired to the menus and the status line.
    void BuildLinks();
    void mnu_OpenEphemeris_Click();
    void mnu_FetchHorizons_Click();
    void mnu_PasteEphemeris_Click();
    void mnu_FollowEphemeris_Click(bool on);
    void mnu_Ephemeris_Click();
    void mnu_Messages_Click();
    // The ephemeris was read, its time chosen or following changed: the menus, the preview
    // and the status line say what Save will write.
    void EphemerisChanged();
    void mnu_CalibrateFromFrame_Click();
    void mnu_CalibrateFromPhd2_Click();
    void UseEphemerisRate(const Pelindra::Ephemeris::Rate& rate, const QString& source);
    void Form_Unload();
    QWidget* MessageParent();

    Pelindra::Core::TrackParams& params_;
    Dialogs& dialogs_;
    std::string settingsPath_;
    bool formLoaded_ = false;
    bool settingsUsable_ = true;            // false: the file in its place is left alone at closing
    QSet<const QLineEdit*> unstoredBoxes_;  // boxes showing a number the record lacks
    QPointer<SetupForm> setup_;
    QPointer<TrackPreview> preview_;
    std::optional<QPalette> dayPalette_;  // the application's palette while Night Mode is on
    QAction* mnu_NightMode = nullptr;
    QPointer<CameraForm> camera_;
    UtcClock clock_;
    EphemerisSession* ephemeris_ = nullptr;
    Pelindra::Settings::Preferences preferences_;  // as read at start, then as chosen
    StatusArea* status_ = nullptr;
    QString ephemerisSource_;  // the status line's message after Use, until the boxes are typed in
    QPointer<MessagesDialog> messages_;
    QString followSaid_;  // what the status line last said Save follows; empty: the boxes
    QAction* mnu_FollowEphemeris = nullptr;
    QAction* mnu_Ephemeris = nullptr;
    QPointer<ConnectionsForm> connections_;
    std::optional<double> typedDeclination_;  // for this run only
    Phd2Controller* phd2_ = nullptr;
    MountController* mount_ = nullptr;
    FrameCalibration* calibration_ = nullptr;
    QAction* mnu_KeepPhd2Updated = nullptr;
    QAction* mnu_PierSideFromMount = nullptr;

    QLabel* Label1;
    QLineEdit* Motion;
    QLabel* Label2;
    QLineEdit* PA;
    QLabel* Label5;
    QLineEdit* TimeInterval;
    QGroupBox* Telescope;
    QRadioButton* East;
    QRadioButton* West;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* DeltaX;
    QLabel* DeltaY;
    QPushButton* Setup;
    QPushButton* Save;
    QPushButton* Quit;
};
