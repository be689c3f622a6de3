#include "ui/MainForm.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QUrl>
#include <cstdlib>

#include "core/IntervalRepair.h"
#include "core/Offsets.h"
#include "core/StoreNumber.h"
#include "ephemeris/Reader.h"
#include "ephemeris/UtcTime.h"
#include "links/IndiMount.h"
#include "links/MountRate.h"
#include "links/Phd2Client.h"
#include "links/SkyMotion.h"
#include "preview/PathPicture.h"
#include "ui/CameraForm.h"
#include "ui/ConnectionsForm.h"
#include "ui/Dialogs.h"
#include "ui/EphemerisPaste.h"
#include "ui/EphemerisSession.h"
#include "ui/FrameCalibration.h"
#include "ui/MessagesDialog.h"
#include "ui/MountController.h"
#include "ui/OptionButtons.h"
#include "ui/Phd2Controller.h"
#include "ui/Placement.h"
#include "ui/ReadableStyle.h"
#include "ui/SetupForm.h"
#include "ui/StatusArea.h"
#include "ui/TrackPreview.h"
#include "ui/Twips.h"
#include "ui/frmAbout.h"

using namespace Pelindra::Core;
using namespace Pelindra::TrackFile;
using namespace Pelindra::Settings;
using namespace Pelindra::Ephemeris;

namespace {

std::string DecimalSeparator() {
    return QLocale().decimalPoint().toStdString();
}

QPushButton* PlaceButton(QWidget* parent, const char* name, const char* caption, QRect geometry) {
    auto* button = PlaceCaptioned<QPushButton>(parent, name, caption, geometry);
    button->setAutoDefault(false);  // Enter presses nothing in this window
    return button;
}

QLabel* PlaceOffsetLabel(QWidget* parent, const char* name, QRect geometry) {
    auto* label = Place<QLabel>(parent, name, geometry);
    label->setAutoFillBackground(true);
    label->setBackgroundRole(QPalette::Base);
    label->setFrameStyle(QFrame::Box | QFrame::Plain);
    label->setLineWidth(1);
    return label;
}

// A dropped file, when the drop holds one on this machine.
// A guide frame rather than an ephemeris, by its name.
bool IsFitsName(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == "fits" || suffix == "fit" || suffix == "fts";
}

std::optional<QString> DroppedFile(const QMimeData* data) {
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) return url.toLocalFile();
    }
    return std::nullopt;
}

}  // namespace

MainForm::MainForm(TrackParams& params, Dialogs& dialogs, std::string settingsPath, UtcClock clock)
    : params_(params),
      dialogs_(dialogs),
      settingsPath_(std::move(settingsPath)),
      clock_(std::move(clock)) {
    setObjectName("MainForm");
    setWindowTitle(" Pelindra");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    ephemeris_ = new EphemerisSession(clock_, this);
    connect(ephemeris_, &EphemerisSession::failed, this,
            [this](const QString& message) { ShowError(message.toStdString()); });
    connect(ephemeris_, &EphemerisSession::readingChanged, this,
            [this](bool reading) { setProperty("readingEphemeris", reading); });
    connect(ephemeris_, &EphemerisSession::changed, this, &MainForm::EphemerisChanged);
    connect(ephemeris_, &EphemerisSession::rateUsed, this, &MainForm::UseEphemerisRate);
    BuildControls();
    BuildMenu();
    BuildLinks();
    // Inside the window's bottom edge, one line high; hidden until the first message, so
    // the window keeps its size until then.
    status_ = new StatusArea(clock_);
    const TwipsScale twips(this);
    status_->setContentsMargins(twips(120), 0, twips(120), 0);
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(status_, 1);
    statusBar()->hide();
    setFixedSize(sizeHint());
    setAcceptDrops(true);  // an ephemeris file or table dropped anywhere but in a text box
}

MainForm::~MainForm() {
    // The palette this window chose goes with it.
    if (dayPalette_) QApplication::setPalette(*dayPalette_);
    if (setup_) setup_->ViewGone();
}

void MainForm::BuildControls() {
    const TwipsScale twips(this);
    auto* client = new QWidget(this);
    client->setFixedSize(twips(2988), twips(3348));
    setCentralWidget(client);

    Label1 = PlaceCaptioned<QLabel>(client, "Label1", "Motion (arcsec/minute)",
                                    twips(120, 120, 1812, 252));
    Motion = PlaceTextBox(client, "Motion", Label1, twips(2040, 120, 852, 288),
                          "The object's motion against the stars in arcseconds per minute, as in "
                          "the ephemeris");
    Label2 = PlaceCaptioned<QLabel>(client, "Label2", "Position Angle (degrees)",
                                    twips(120, 480, 1812, 252));
    PA = PlaceTextBox(client, "PA", Label2, twips(2040, 480, 852, 288),
                      "Position angle of the motion in degrees: from north through east, as in "
                      "the ephemeris");
    Label5 = PlaceCaptioned<QLabel>(client, "Label5", "Time Interval (seconds)",
                                    twips(120, 840, 1812, 252));
    TimeInterval = PlaceTextBox(client, "TimeInterval", Label5, twips(2040, 840, 852, 288),
                                "Seconds between guide corrections; the offsets below are per "
                                "interval");

    Telescope = Place<QGroupBox>(client, "Telescope", twips(0, 1320, 2892, 612));
    Telescope->setTitle("Telescope Position");
    East = PlaceCaptioned<QRadioButton>(Telescope, "East", "East", twips(720, 240, 732, 252));
    West = PlaceCaptioned<QRadioButton>(Telescope, "West", "West", twips(1680, 240, 732, 252));
    West->setChecked(true);

    Label6 = PlaceCaptioned<QLabel>(client, "Label6", "X ", twips(840, 2040, 132, 252));
    Label7 = PlaceCaptioned<QLabel>(client, "Label7", "Y", twips(1920, 2040, 132, 252));
    DeltaX = PlaceOffsetLabel(client, "DeltaX", twips(480, 2280, 852, 252));
    DeltaY = PlaceOffsetLabel(client, "DeltaY", twips(1560, 2280, 852, 252));
    // A description, not a name: the name is the caption, the value a screen reader speaks.
    DeltaX->setAccessibleDescription("X offset, pixels per guide interval");
    DeltaY->setAccessibleDescription("Y offset, pixels per guide interval");

    Setup = PlaceButton(client, "Setup", "Setup", twips(120, 2760, 852, 372));
    Save = PlaceButton(client, "Save", "Save", twips(1080, 2760, 852, 372));
    Quit = PlaceButton(client, "Quit", "Close", twips(2040, 2760, 852, 372));

    SetTabOrder({Motion, PA, TimeInterval, East, West, Setup, Save, Quit});
    Motion->setFocus();

    connect(Motion, &QLineEdit::textChanged, this, &MainForm::Motion_Change);
    connect(PA, &QLineEdit::textChanged, this, &MainForm::PA_Change);
    connect(TimeInterval, &QLineEdit::textChanged, this, &MainForm::TimeInterval_Change);
    // Only the user's own typing: Use writes the boxes through setText.
    for (QLineEdit* box : {Motion, PA}) {
        connect(box, &QLineEdit::textEdited, this, [this] {
            if (!ephemerisSource_.isEmpty() && status_ && status_->message() == ephemerisSource_) {
                Say({});
            }
            ephemerisSource_.clear();
        });
    }
    OnSelected(West, this, [this] { West_Click(); });
    OnSelected(East, this, [this] { East_Click(); });
    connect(Setup, &QPushButton::clicked, this, &MainForm::Setup_Click);
    connect(Save, &QPushButton::clicked, this, &MainForm::Save_Click);
    connect(Quit, &QPushButton::clicked, this, &MainForm::Quit_Click);
}

void MainForm::BuildMenu() {
    QMenu* mnu_File = menuBar()->addMenu("&File");
    mnu_File->setObjectName("mnu_File");
    QAction* nmu_Save = mnu_File->addAction("&Save");
    nmu_Save->setObjectName("nmu_Save");
    QAction* mnu_Exit = mnu_File->addAction("E&xit");
    mnu_Exit->setObjectName("mnu_Exit");
    QAction* nmu_Setup = menuBar()->addAction("&Setup");
    nmu_Setup->setObjectName("nmu_Setup");
    QMenu* nmu_Help = menuBar()->addMenu("&Help");
    nmu_Help->setObjectName("nmu_Help");
    QAction* mnu_About = nmu_Help->addAction("&About Pelindra");
    mnu_About->setObjectName("mnu_About");

    // Beyond the menus as drawn: the keys users of every desktop program expect. Ctrl+Q
    // quits from the setup dialog too, as Close does from here.
    nmu_Save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    mnu_Exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    mnu_Exit->setShortcutContext(Qt::ApplicationShortcut);

    // The added commands go between Save and Exit, which stays last as in every desktop
    // program; the added menus go before Help, which stays last.
    auto addToFile = [&](const QString& text) {
        auto* action = new QAction(text, mnu_File);
        mnu_File->insertAction(mnu_Exit, action);
        return action;
    };
    mnu_File->insertSeparator(mnu_Exit);
    QAction* mnu_OpenEphemeris = addToFile("Open &Ephemeris...");
    mnu_OpenEphemeris->setObjectName("mnu_OpenEphemeris");
    mnu_OpenEphemeris->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    QAction* mnu_FetchHorizons = addToFile("Fetch from JPL &Horizons...");
    mnu_FetchHorizons->setObjectName("mnu_FetchHorizons");
    QAction* mnu_PasteEphemeris = addToFile("&Paste Ephemeris");
    mnu_PasteEphemeris->setObjectName("mnu_PasteEphemeris");
    mnu_PasteEphemeris->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    auto* pasteInBoxes = new EphemerisPaste(mnu_PasteEphemeris, this);
    for (QLineEdit* box : {Motion, PA, TimeInterval}) box->installEventFilter(pasteInBoxes);
    mnu_FollowEphemeris = addToFile("Follo&w the Ephemeris");
    mnu_FollowEphemeris->setObjectName("mnu_FollowEphemeris");
    mnu_FollowEphemeris->setCheckable(true);
    mnu_FollowEphemeris->setToolTip(
        "Save writes a track whose steps follow the ephemeris' changing rate from the time it "
        "shows, instead of the Motion and PA above");
    connect(mnu_FollowEphemeris, &QAction::triggered, this, &MainForm::mnu_FollowEphemeris_Click);
    mnu_File->insertSeparator(mnu_Exit);
    QAction* mnu_CalibrateFromFrame = addToFile("Calibrate from a &Frame...");
    mnu_CalibrateFromFrame->setObjectName("mnu_CalibrateFromFrame");
    connect(mnu_CalibrateFromFrame, &QAction::triggered, this,
            &MainForm::mnu_CalibrateFromFrame_Click);
    mnu_File->insertSeparator(mnu_Exit);
    auto addMenu = [&](const QString& title) {
        auto* menu = new QMenu(title, this);
        menuBar()->insertMenu(nmu_Help->menuAction(), menu);
        return menu;
    };

    connect(nmu_Save, &QAction::triggered, this, &MainForm::nmu_Save_Click);
    connect(mnu_Exit, &QAction::triggered, this, &MainForm::mnu_Exit_Click);
    connect(nmu_Setup, &QAction::triggered, this, &MainForm::nmu_Setup_Click);
    connect(mnu_About, &QAction::triggered, this, &MainForm::mnu_About_Click);
    connect(mnu_OpenEphemeris, &QAction::triggered, this, &MainForm::mnu_OpenEphemeris_Click);
    connect(mnu_FetchHorizons, &QAction::triggered, this, &MainForm::mnu_FetchHorizons_Click);
    connect(mnu_PasteEphemeris, &QAction::triggered, this, &MainForm::mnu_PasteEphemeris_Click);

    QMenu* mnu_View = addMenu("&View");
    mnu_View->setObjectName("mnu_View");
    QAction* mnu_TrackPreview = mnu_View->addAction("Track &Preview");
    mnu_TrackPreview->setObjectName("mnu_TrackPreview");
    mnu_Ephemeris = mnu_View->addAction("&Ephemeris");
    mnu_Ephemeris->setObjectName("mnu_Ephemeris");
    mnu_Ephemeris->setEnabled(false);  // until a table is read
    QAction* mnu_Messages = mnu_View->addAction("&Messages");
    mnu_Messages->setObjectName("mnu_Messages");
    mnu_View->addSeparator();
    mnu_NightMode = mnu_View->addAction("&Night Mode");
    mnu_NightMode->setObjectName("mnu_NightMode");
    mnu_NightMode->setCheckable(true);
    connect(mnu_Ephemeris, &QAction::triggered, this, &MainForm::mnu_Ephemeris_Click);
    connect(mnu_Messages, &QAction::triggered, this, &MainForm::mnu_Messages_Click);
    connect(mnu_TrackPreview, &QAction::triggered, this, &MainForm::mnu_TrackPreview_Click);
    connect(mnu_NightMode, &QAction::triggered, this, &MainForm::mnu_NightMode_Click);

    QMenu* mnu_Guide = addMenu("&Guide");
    mnu_Guide->setObjectName("mnu_Guide");
    QAction* mnu_Camera = mnu_Guide->addAction("&Camera...");
    mnu_Camera->setObjectName("mnu_Camera");
    connect(mnu_Camera, &QAction::triggered, this, &MainForm::mnu_Camera_Click);
    QAction* mnu_CalibrateFromPhd2 = mnu_Guide->addAction("Calibrate from PHD2's &Frame");
    mnu_CalibrateFromPhd2->setObjectName("mnu_CalibrateFromPhd2");
    mnu_CalibrateFromPhd2->setToolTip(
        "Plate-solve the frame PHD2 shows for the pixel size, camera angle and reversals; "
        "PHD2 must run on this computer");
    connect(mnu_CalibrateFromPhd2, &QAction::triggered, this,
            &MainForm::mnu_CalibrateFromPhd2_Click);

    QAction* mnu_Connections = mnu_Guide->addAction("Co&nnections...");
    mnu_Connections->setObjectName("mnu_Connections");
    mnu_Guide->addSeparator();
    QAction* mnu_SendRatePhd2 = mnu_Guide->addAction("Send Rate to &PHD2");
    mnu_SendRatePhd2->setObjectName("mnu_SendRatePhd2");
    QAction* mnu_StopLockShift = mnu_Guide->addAction("S&top Lock Shift");
    mnu_StopLockShift->setObjectName("mnu_StopLockShift");
    mnu_KeepPhd2Updated = mnu_Guide->addAction("Keep PHD2 &Updated");
    mnu_KeepPhd2Updated->setObjectName("mnu_KeepPhd2Updated");
    mnu_KeepPhd2Updated->setCheckable(true);
    connect(mnu_Connections, &QAction::triggered, this, &MainForm::mnu_Connections_Click);
    connect(mnu_SendRatePhd2, &QAction::triggered, this, &MainForm::mnu_SendRatePhd2_Click);
    connect(mnu_StopLockShift, &QAction::triggered, this, &MainForm::mnu_StopLockShift_Click);
    connect(mnu_KeepPhd2Updated, &QAction::triggered, this, &MainForm::mnu_KeepPhd2Updated_Click);

    mnu_Guide->addSeparator();
    mnu_PierSideFromMount = mnu_Guide->addAction("Pier &Side from the Mount");
    mnu_PierSideFromMount->setObjectName("mnu_PierSideFromMount");
    mnu_PierSideFromMount->setCheckable(true);
    QAction* mnu_TrackObjectRate = mnu_Guide->addAction("Track at the &Object's Rate");
    mnu_TrackObjectRate->setObjectName("mnu_TrackObjectRate");
    QAction* mnu_StopTrackingObject = mnu_Guide->addAction("Stop Trac&king the Object");
    mnu_StopTrackingObject->setObjectName("mnu_StopTrackingObject");
    mnu_StopTrackingObject->setToolTip("The mount tracks the stars again (sidereal rate)");
    connect(mnu_PierSideFromMount, &QAction::triggered, this,
            &MainForm::mnu_PierSideFromMount_Click);
    connect(mnu_TrackObjectRate, &QAction::triggered, this, &MainForm::mnu_TrackObjectRate_Click);
    connect(mnu_StopTrackingObject, &QAction::triggered, this,
            &MainForm::mnu_StopTrackingObject_Click);
}

void MainForm::BuildLinks() {
    using Pelindra::Links::PierSide;
    MountController::Sources mountSources;
    mountSources.motion = [this] { return CurrentSkyMotion(); };
    mountSources.links = [this]() -> const Connections& { return preferences_.connections; };
    mountSources.chosenSide = [this] {
        return params_.EastWest != 0 ? PierSide::West : PierSide::East;
    };
    mount_ = new MountController(std::move(mountSources), this);
    connect(mount_, &MountController::said, this, &MainForm::Say);
    connect(mount_, &MountController::failedAloud, this,
            [this](const QString& text) { dialogs_.ShowError(MessageParent(), text); });
    // The click handlers run from the buttons' change, as for the user's click.
    connect(mount_, &MountController::pierSide, this,
            [this](PierSide side) { (side == PierSide::East ? East : West)->setChecked(true); });
    connect(mount_, &MountController::drivesPierSide, this, [this](bool driven) {
        mnu_PierSideFromMount->setChecked(driven);
        ShowMountDrivesPierSide(driven);
    });

    Phd2Controller::Sources phd2Sources;
    phd2Sources.rate = [this] { return CurrentPhd2Rate(); };
    phd2Sources.links = [this]() -> const Connections& { return preferences_.connections; };
    phd2Sources.askMountDeclination = [this] { return mount_->askDeclination(); };
    phd2_ = new Phd2Controller(std::move(phd2Sources), this);
    connect(phd2_, &Phd2Controller::said, this, &MainForm::Say);
    connect(phd2_, &Phd2Controller::failedAloud, this,
            [this](const QString& text) { dialogs_.ShowError(MessageParent(), text); });
    connect(phd2_, &Phd2Controller::keepUpdatedEnded, this,
            [this] { mnu_KeepPhd2Updated->setChecked(false); });
    connect(mount_, &MountController::requestEnded, phd2_, &Phd2Controller::mountAnswered);

    FrameCalibration::Sources frameSources;
    // Where the frame was taken, when its header does not say: the mount, else East/West.
    frameSources.side = [this] {
        if (const auto side = mount_->lastPierSide()) {
            return *side == PierSide::East ? Pelindra::Solve::PierSide::East
                                           : Pelindra::Solve::PierSide::West;
        }
        return Pelindra::Solve::RecordPierSide(params_);
    };
    frameSources.knownPosition = [this] { return ephemeris_->positionInUse(); };
    frameSources.links = [this]() -> const Connections& { return preferences_.connections; };
    frameSources.applied = [this] { ValidateAndUpdate(); };
    calibration_ = new FrameCalibration(params_, std::move(frameSources), this);
    connect(calibration_, &FrameCalibration::said, this, &MainForm::Say);
    connect(calibration_, &FrameCalibration::failed, this,
            [this](const QString& text) { ShowError(text.toStdString()); });
}

void MainForm::Form_Load() {
    formLoaded_ = false;
    if (const auto problem = Pelindra::Settings::LoadSettings(params_, *this, settingsPath_)) {
        // Told once; what stands in the settings file's place is never replaced.
        settingsUsable_ = false;
        ShowError(*problem);
    }
    ShowPierSideFor(params_.MountType);
    formLoaded_ = true;
    ValidateAndUpdate();
}

void MainForm::ShowPierSideFor(std::int16_t mountType) {
    Telescope->setHidden(mountType == -1);
    // The setup dialog's Apply, which stores the flags after this.
    PreviewInputsChanged();
}

void MainForm::ValidateAndUpdate() {
    // Any message has been shown; the handlers go on the same way whatever the outcome.
    static_cast<void>(Pelindra::Core::ValidateAndUpdate(params_, *this, *this, DecimalSeparator()));
    PreviewInputsChanged();
}

bool MainForm::StoreBox(QLineEdit* box, float& field) {
    if (StoreNumber(box->text().toStdString(), field, *this) == StoreResult::Overflow) {
        unstoredBoxes_.insert(box);
        return false;
    }
    unstoredBoxes_.remove(box);
    return true;
}

void MainForm::Motion_Change() {
    if (!StoreBox(Motion, params_.Motion)) return;
    if (formLoaded_) ValidateAndUpdate();
}

void MainForm::PA_Change() {
    if (!StoreBox(PA, params_.PA)) return;
    if (formLoaded_) ValidateAndUpdate();
}

void MainForm::TimeInterval_Change() {
    if (!StoreBox(TimeInterval, params_.TimeInterval)) return;
    if (const auto repaired = RepairInterval(params_.TimeInterval)) {
        // Runs this handler again, nested, before the validation below.
        TimeInterval->setText(QString::fromUtf8(repaired->data(), qsizetype(repaired->size())));
    }
    if (formLoaded_) ValidateAndUpdate();
}

void MainForm::West_Click() {
    params_.EastWest = kTrue;
    ValidateAndUpdate();
}

void MainForm::East_Click() {
    params_.EastWest = kFalse;
    ValidateAndUpdate();
}

void MainForm::Setup_Click() {
    // One instance: an open dialog is only brought forward, keeping unapplied entries.
    if (!setup_) {
        setup_ = new SetupForm(params_, this, dialogs_);
        setup_->Form_Load();
    }
    setup_->show();
    setup_->raise();
    setup_->activateWindow();
}

void MainForm::nmu_Setup_Click() {
    Setup_Click();
}

void MainForm::Save_Click() {
    Pelindra::TrackFile::SaveTrackFile(params_, *this, DecimalSeparator());
}

void MainForm::nmu_Save_Click() {
    Save_Click();
}

void MainForm::Quit_Click() {
    // The setup dialog goes first, discarding what was not applied; the main window last.
    if (setup_) setup_->close();
    ephemeris_->closeWindow();
    if (preview_) preview_->close();
    close();
}

void MainForm::mnu_Exit_Click() {
    Quit_Click();
}

void MainForm::mnu_About_Click() {
    frmAbout::Open();
}

void MainForm::mnu_TrackPreview_Click() {
    if (!preview_) {
        preview_ = new TrackPreview([this] { return PreviewSource(); }, dialogs_, this);
        connect(preview_, &TrackPreview::exported, this, [this](const QString& file) {
            Say("Exported the track preview to " + QFileInfo(file).fileName());
        });
    }
    preview_->show();
    preview_->raise();
    preview_->activateWindow();
}

void MainForm::PreviewInputsChanged() {
    if (preview_) preview_->inputsChanged();
}

Pelindra::Preview::PathSource MainForm::PreviewSource() const {
    Pelindra::Preview::PathSource source;
    source.params = params_;
    source.sensorWidthPixels = preferences_.sensorWidthPixels;
    source.sensorHeightPixels = preferences_.sensorHeightPixels;
    if (const Table* table = ephemeris_->table(); table && !table->rows.empty()) {
        // The time the ephemeris window shows, as a following track starts.
        source.start = *ephemeris_->timeInUse();
        if (ephemeris_->follows()) source.followed = table;
        source.typedDeclinationDegrees = typedDeclination_;
    }
    return source;
}

void MainForm::mnu_NightMode_Click(bool on) {
    preferences_.nightMode = on;
    ApplyNightMode(on);
}

void MainForm::ApplyNightMode(bool on) {
    if (mnu_NightMode) mnu_NightMode->setChecked(on);
    if (on) {
        ReadableStyle::Installed()->setNightMode(true);
    } else if (auto* style = qobject_cast<ReadableStyle*>(QApplication::style())) {
        style->setNightMode(false);
    }
    if (on && !dayPalette_) {
        dayPalette_ = QApplication::palette();
        QApplication::setPalette(Pelindra::Preview::NightPalette());
    } else if (!on && dayPalette_) {
        QApplication::setPalette(*dayPalette_);
        dayPalette_.reset();
    }
}

void MainForm::mnu_Camera_Click() {
    // One instance, as the setup dialog: an open one is only brought forward.
    if (!camera_) {
        camera_ = new CameraForm(params_, preferences_, *this, this, dialogs_);
        camera_->Form_Load();
    }
    camera_->show();
    camera_->raise();
    camera_->activateWindow();
}

// ---- links to the guider and the mount

void MainForm::mnu_Connections_Click() {
    if (!connections_) {
        connections_ =
            new ConnectionsForm(preferences_.connections, typedDeclination_, this, dialogs_);
        connections_->Form_Load();
    }
    connections_->show();
    connections_->raise();
    connections_->activateWindow();
}

std::variant<Pelindra::Links::Phd2Rate, std::string> MainForm::CurrentPhd2Rate() const {
    using namespace Pelindra::Links;
    const Phd2Axes axes = preferences_.connections.phd2SkyAxes ? Phd2Axes::Sky : Phd2Axes::Camera;
    auto motion = CurrentSkyMotion();
    if (auto* problem = std::get_if<std::string>(&motion)) return std::move(*problem);
    return Phd2RateFor(params_, std::get<SkyMotion>(motion), axes);
}

void MainForm::mnu_SendRatePhd2_Click() {
    phd2_->sendRate(true);
}

void MainForm::mnu_StopLockShift_Click() {
    phd2_->stopLockShift();
}

void MainForm::mnu_KeepPhd2Updated_Click(bool on) {
    phd2_->keepUpdated(on);
}

void MainForm::mnu_PierSideFromMount_Click(bool on) {
    mount_->followPierSide(on);
}

void MainForm::ShowMountDrivesPierSide(bool driven) {
    const QString why =
        driven ? "The mount sets the side of the pier (Guide > Pier Side from the Mount)" : "";
    for (QRadioButton* option : {East, West}) {
        option->setEnabled(!driven);
        option->setToolTip(why);
        option->setAccessibleDescription(why);
    }
}

std::variant<Pelindra::Links::SkyMotion, std::string> MainForm::CurrentSkyMotion() const {
    Pelindra::Links::MotionSources sources;
    sources.motionArcsecPerMinute = params_.Motion;
    sources.positionAngleDegrees = params_.PA;
    sources.typedDeclinationDegrees = typedDeclination_;
    if (const Table* table = ephemeris_->table()) {
        sources.table = table;
        sources.ratesFromTable = ephemeris_->follows();
        sources.time = *ephemeris_->timeInUse();
    }
    auto motion = Pelindra::Links::ObjectMotion(sources);
    // Else the mount's own, as the link last heard it.
    if (auto* sky = std::get_if<Pelindra::Links::SkyMotion>(&motion);
        sky && !sky->declinationDegrees) {
        sky->declinationDegrees = mount_->lastDeclination();
    }
    return motion;
}

void MainForm::mnu_TrackObjectRate_Click() {
    mount_->trackObject();
}

void MainForm::mnu_StopTrackingObject_Click() {
    mount_->trackStars();
}

void MainForm::Say(const QString& text) {
    const bool wasShown = statusBar()->isVisible();
    if (!wasShown && text.isEmpty()) return;
    status_->say(text);
    if (!wasShown) {
        statusBar()->setVisible(true);
        layout()->activate();
        setFixedSize(sizeHint());
    }
}

void MainForm::closeEvent(QCloseEvent* event) {
    Form_Unload();
    if (connections_) connections_->close();
    ephemeris_->closeWindow();
    if (preview_) preview_->close();
    if (camera_) camera_->close();
    event->accept();
}

// ---- ephemeris

void MainForm::mnu_OpenEphemeris_Click() {
    // Where the last ephemeris was, else where the track files go.
    QString folder = QString::fromStdString(params_.Directory);
    if (const auto last = ephemeris_->last(); last && !last->file.empty()) {
        const QString lastFolder = QFileInfo(QString::fromStdString(last->file)).absolutePath();
        if (QDir(lastFolder).exists()) folder = lastFolder;
    }
    if (const auto file = dialogs_.ChooseEphemerisFile(this, folder)) ephemeris_->loadFile(*file);
}

void MainForm::mnu_FetchHorizons_Click() {
    const auto file = dialogs_.FetchFromHorizons(this, QString::fromStdString(params_.Directory));
    if (file) ephemeris_->loadFile(*file);
}

void MainForm::mnu_PasteEphemeris_Click() {
    ephemeris_->loadText(QGuiApplication::clipboard()->text(), "pasted text");
}

void MainForm::mnu_FollowEphemeris_Click(bool on) {
    ephemeris_->setFollows(on);
}

void MainForm::mnu_Ephemeris_Click() {
    ephemeris_->showWindow();
}

void MainForm::mnu_Messages_Click() {
    if (!messages_) {
        messages_ = new MessagesDialog(*status_, this);
        messages_->setAttribute(Qt::WA_DeleteOnClose);
    }
    messages_->show();
    messages_->raise();
    messages_->activateWindow();
}

void MainForm::EphemerisChanged() {
    const Table* table = ephemeris_->table();
    mnu_Ephemeris->setEnabled(table != nullptr);
    mnu_FollowEphemeris->setChecked(ephemeris_->follows());
    preferences_.followEphemeris = ephemeris_->follows();
    PreviewInputsChanged();
    const bool follows = table && ephemeris_->follows();
    if (follows) {
        const QString text = "Save follows " + ephemeris_->name() + " from " +
                             QString::fromStdString(UtcClockText(*ephemeris_->timeInUse()));
        if (text != followSaid_) Say(text);
        followSaid_ = text;
    } else if (!followSaid_.isEmpty()) {
        Say("Save uses the Motion and PA above");
        followSaid_.clear();
    }
}

void MainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (DroppedFile(event->mimeData()) || event->mimeData()->hasText()) {
        event->acceptProposedAction();
    }
}

void MainForm::dropEvent(QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    if (const auto file = DroppedFile(data)) {
        event->acceptProposedAction();
        if (IsFitsName(*file)) {
            calibration_->calibrate(*file);
            return;
        }
        ephemeris_->loadFile(*file);
    } else if (data->hasText()) {
        event->acceptProposedAction();
        ephemeris_->loadText(data->text(), "dropped text");
    }
}

void MainForm::mnu_CalibrateFromFrame_Click() {
    const auto file = dialogs_.ChooseFrameFile(this, QString::fromStdString(params_.Directory));
    if (file) calibration_->calibrate(*file);
}

void MainForm::mnu_CalibrateFromPhd2_Click() {
    calibration_->fromPhd2();
}

void MainForm::UseEphemerisRate(const Rate& rate, const QString& source) {
    const std::optional<std::string> motion = rate.MotionText();
    if (!motion) {
        ShowError(std::string(kOverflowMessage));
        return;
    }
    // As if typed, so each write runs the box's own change handling; and as a user types
    // a number, without the blank the number text puts in place of a plus sign.
    const auto typed = [](std::string text) {
        if (!text.empty() && text.front() == ' ') text.erase(0, 1);
        return text;
    };
    SetMotionText(typed(*motion));
    SetPAText(typed(rate.PositionAngleText()));
    Say(source);
    ephemerisSource_ = source;
}

void MainForm::SetPreferences(const Preferences& preferences) {
    preferences_ = preferences;
    ApplyNightMode(preferences_.nightMode);
    const QSignalBlocker quiet(ephemeris_);
    ephemeris_->setFollows(preferences_.followEphemeris);
    mnu_FollowEphemeris->setChecked(preferences_.followEphemeris);
}

std::optional<Preferences> MainForm::PreferencesToSave() const {
    return preferences_;
}

void MainForm::SetEphemerisMemory(const EphemerisMemory& memory) {
    ephemeris_->setRemembered(memory);
}

std::optional<EphemerisMemory> MainForm::EphemerisMemoryToSave() const {
    return ephemeris_->memoryToSave();
}

void MainForm::Form_Unload() {
    if (!settingsUsable_) return;
    if (const auto error = Pelindra::Settings::SaveSettings(params_, *this, settingsPath_)) {
        ShowError(*error);
    }
}

QWidget* MainForm::MessageParent() {
    return isVisible() ? this : nullptr;
}

void MainForm::ShowError(const std::string& text) {
    // Kept for View > Messages; the line stays as it is, the box says it.
    status_->record(QString::fromStdString(text));
    dialogs_.ShowError(MessageParent(), QString::fromStdString(text));
}

void MainForm::SetDeltaXCaption(const std::string& caption) {
    DeltaX->setText(QString::fromStdString(caption));
}

void MainForm::SetDeltaYCaption(const std::string& caption) {
    DeltaY->setText(QString::fromStdString(caption));
    // Y comes second: the setup and camera dialogs' Apply end here.
    PreviewInputsChanged();
}

std::optional<std::string> MainForm::ChooseTrackFile(const std::string& folder) {
    const auto file = dialogs_.ChooseTrackFile(this, QString::fromStdString(folder));
    if (!file) return std::nullopt;
    return file->toStdString();
}

bool MainForm::ConfirmOverwrite() {
    return dialogs_.ConfirmOverwrite(this);
}

std::string MainForm::TimeIntervalText() {
    return TimeInterval->text().toStdString();
}

bool MainForm::AllEntriesStored() {
    return unstoredBoxes_.isEmpty();
}

// A closed ephemeris window keeps its table: the choice holds until another is loaded.
std::optional<EphemerisStart> MainForm::FollowedEphemeris() {
    const std::optional<UtcMs> start = ephemeris_->followedStart();
    if (!start) return std::nullopt;
    return EphemerisStart{*ephemeris_->table(), *start, typedDeclination_};
}

// What a following track could not do, until the next message.
void MainForm::ShowTrackNotes(const std::vector<std::string>& notes) {
    QStringList lines;
    for (const std::string& note : notes) lines << QString::fromStdString(note);
    if (!lines.isEmpty()) Say(lines.join(' '));
}

void MainForm::TrackWritten(const std::string& file, int lines) {
    const QString name = QFileInfo(QString::fromStdString(file)).fileName();
    Say(QString(lines == 1 ? "Saved %1 line to %2" : "Saved %1 lines to %2").arg(lines).arg(name));
}

void MainForm::SetMotionText(const std::string& text) {
    Motion->setText(QString::fromStdString(text));
}

void MainForm::SetPAText(const std::string& text) {
    PA->setText(QString::fromStdString(text));
}

void MainForm::SetTimeIntervalText(const std::string& text) {
    TimeInterval->setText(QString::fromStdString(text));
}

// Clearing happens through the exclusive pair when the other button is selected.
void MainForm::SetWestValue(bool selected) {
    if (selected) West->setChecked(true);
}

void MainForm::SetEastValue(bool selected) {
    if (selected) East->setChecked(true);
}

std::string MainForm::MotionText() const {
    return Motion->text().toStdString();
}

std::string MainForm::PAText() const {
    return PA->text().toStdString();
}

bool MainForm::focusNextPrevChild(bool next) {
    const bool moved = QMainWindow::focusNextPrevChild(next);
    FocusSelectedOption(focusWidget());
    return moved;
}
