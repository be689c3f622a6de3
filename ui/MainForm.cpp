#include "ui/MainForm.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>

#include "core/IntervalRepair.h"
#include "core/Offsets.h"
#include "core/StoreNumber.h"
#include "ui/Dialogs.h"
#include "ui/OptionButtons.h"
#include "ui/Placement.h"
#include "ui/SetupForm.h"
#include "ui/Twips.h"
#include "ui/frmAbout.h"

using namespace Pelindra::Core;
using namespace Pelindra::TrackFile;
using namespace Pelindra::Settings;

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

}  // namespace

MainForm::MainForm(TrackParams& params, Dialogs& dialogs, std::string settingsPath)
    : params_(params), dialogs_(dialogs), settingsPath_(std::move(settingsPath)) {
    setObjectName("MainForm");
    setWindowTitle(" Pelindra");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    BuildControls();
    BuildMenu();
    setFixedSize(sizeHint());
}

MainForm::~MainForm() = default;

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

    connect(nmu_Save, &QAction::triggered, this, &MainForm::nmu_Save_Click);
    connect(mnu_Exit, &QAction::triggered, this, &MainForm::mnu_Exit_Click);
    connect(nmu_Setup, &QAction::triggered, this, &MainForm::nmu_Setup_Click);
    connect(mnu_About, &QAction::triggered, this, &MainForm::mnu_About_Click);
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
}

void MainForm::ValidateAndUpdate() {
    // Any message has been shown; the handlers go on the same way whatever the outcome.
    static_cast<void>(Pelindra::Core::ValidateAndUpdate(params_, *this, *this, DecimalSeparator()));
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
    close();
}

void MainForm::mnu_Exit_Click() {
    Quit_Click();
}

void MainForm::mnu_About_Click() {
    frmAbout::Open();
}

void MainForm::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
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
    dialogs_.ShowError(MessageParent(), QString::fromStdString(text));
}

void MainForm::SetDeltaXCaption(const std::string& caption) {
    DeltaX->setText(QString::fromStdString(caption));
}

void MainForm::SetDeltaYCaption(const std::string& caption) {
    DeltaY->setText(QString::fromStdString(caption));
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
