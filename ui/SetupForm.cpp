#include "ui/SetupForm.h"

#include <QAccessibleWidget>
#include <QGroupBox>
#include <QLocale>
#include <QRadioButton>

#include "core/NumberText.h"
#include "core/Offsets.h"
#include "core/StoreNumber.h"
#include "core/Validation.h"
#include "ui/Dialogs.h"
#include "ui/OptionButtons.h"
#include "ui/Placement.h"
#include "ui/ReversalCheckBox.h"
#include "ui/Twips.h"

using namespace Pelindra::Core;

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// A plain top-level QWidget reads as a filler to screen readers; this window is a dialog.
QAccessibleInterface* SetupFormAccessible(const QString& className, QObject* object) {
    if (className != QLatin1String("SetupForm") || !object->isWidgetType()) return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Dialog);
}

}  // namespace

SetupForm::SetupForm(TrackParams& params, RecordView* view, Dialogs& dialogs)
    : QWidget(nullptr, Qt::Window), params_(params), view_(view), dialogs_(dialogs) {
    static const bool accessibleAsDialog = (QAccessible::installFactory(SetupFormAccessible), true);
    static_cast<void>(accessibleAsDialog);
    setObjectName("SetupForm");
    setWindowTitle("SETUP");
    setAttribute(Qt::WA_DeleteOnClose);
    const TwipsScale twips(this);
    resize(twips(2772), twips(4320));
    BuildControls(twips);
}

void SetupForm::BuildControls(const TwipsScale& twips) {
    Label1 =
        PlaceCaptioned<QLabel>(this, "Label1", "Pixel Size (arcsec)", twips(120, 120, 1452, 252));
    PixSize = PlaceTextBox(this, "PixSize", Label1, twips(1680, 120, 972, 288),
                           "The size of one guide-camera pixel on the sky, in arcseconds");
    Label2 =
        PlaceCaptioned<QLabel>(this, "Label2", "Total Time (minutes)", twips(120, 480, 1572, 252));
    TotalTime = PlaceTextBox(this, "TotalTime", Label2, twips(1680, 480, 972, 288),
                             "How long to track, in minutes; the track file has one line per "
                             "guide interval over this time");

    MountType = Place<QGroupBox>(this, "MountType", twips(120, 960, 2532, 852));
    MountType->setTitle("Mount Type");
    Fork = PlaceCaptioned<QRadioButton>(MountType, "Fork", "Fork", twips(240, 240, 1092, 252));
    GEM = PlaceCaptioned<QRadioButton>(MountType, "GEM", "GEM", twips(240, 480, 612, 252));
    GEM->setChecked(true);

    West = Place<QGroupBox>(this, "West", twips(120, 1920, 2532, 852));
    West->setTitle("Telescope West");
    RaRevWest = PlaceCaptioned<ReversalCheckBox>(West, "RaRevWest", "RA Motion Reversed",
                                                 twips(240, 240, 2172, 252));
    DecRevWest = PlaceCaptioned<ReversalCheckBox>(West, "DecRevWest", "Dec Motion Reversed",
                                                  twips(240, 480, 1812, 252));
    East = Place<QGroupBox>(this, "East", twips(120, 2880, 2532, 852));
    East->setTitle("Telescope East");
    RARevEast = PlaceCaptioned<ReversalCheckBox>(East, "RARevEast", "RA Motion Reversed",
                                                 twips(240, 240, 1932, 252));
    DecRevEast = PlaceCaptioned<ReversalCheckBox>(East, "DecRevEast", "Dec Motion Reversed",
                                                  twips(240, 480, 1812, 252));

    // Both frames hold the same two captions; the name tells a screen reader which side.
    RaRevWest->setAccessibleName("RA Motion Reversed, West");
    DecRevWest->setAccessibleName("Dec Motion Reversed, West");
    RARevEast->setAccessibleName("RA Motion Reversed, East");
    DecRevEast->setAccessibleName("Dec Motion Reversed, East");

    Cancel = PlaceCaptioned<QPushButton>(this, "Cancel", "&Cancel", twips(120, 3840, 1092, 372));
    Apply = PlaceCaptioned<QPushButton>(this, "Apply", "&Apply", twips(1560, 3840, 1092, 372));
    // Neither is a default button, but Enter presses the one that has the focus.
    Cancel->setAutoDefault(true);
    Apply->setAutoDefault(true);

    SetTabOrder({Apply, Cancel, PixSize, TotalTime, Fork, GEM, RaRevWest, DecRevWest, RARevEast,
                 DecRevEast});
    Apply->setFocus();

    OnSelected(Fork, this, [this] { Fork_Click(); });
    OnSelected(GEM, this, [this] { GEM_Click(); });
    connect(Apply, &QPushButton::clicked, this, &SetupForm::Apply_Click);
    connect(Cancel, &QPushButton::clicked, this, &SetupForm::Cancel_Click);
}

void SetupForm::Form_Load() {
    PixSize->setText(Text(NumberText(params_.PixSize)));
    TotalTime->setText(Text(NumberText(params_.TotalTime)));
    if (params_.MountType != 0) {
        Fork->setChecked(true);
        Fork_Click();
    } else {
        GEM->setChecked(true);
        GEM_Click();
    }
    RaRevWest->SetFlag(params_.RaRevWest);
    DecRevWest->SetFlag(params_.DecRevWest);
    RARevEast->SetFlag(params_.RARevEast);
    DecRevEast->SetFlag(params_.DecRevEast);
}

void SetupForm::Fork_Click() {
    West->setTitle("Telescope");
    East->hide();
}

void SetupForm::GEM_Click() {
    West->setTitle("Telescope West");
    East->show();
}

void SetupForm::Apply_Click() {
    // A value beyond single range is refused before anything is stored; the dialog stays open.
    float pixSize = params_.PixSize;
    float totalTime = params_.TotalTime;
    if (StoreNumber(PixSize->text().toStdString(), pixSize, *this) == StoreResult::Overflow ||
        StoreNumber(TotalTime->text().toStdString(), totalTime, *this) == StoreResult::Overflow) {
        return;
    }
    params_.PixSize = pixSize;
    params_.TotalTime = totalTime;
    params_.MountType = Fork->isChecked() ? kTrue : kFalse;
    if (view_) view_->ShowPierSideFor(params_.MountType);
    params_.RaRevWest = RaRevWest->Flag();
    params_.DecRevWest = DecRevWest->Flag();
    params_.RARevEast = RARevEast->Flag();
    params_.DecRevEast = DecRevEast->Flag();

    // Everything stays stored even when validation fails; the dialog then stays open.
    if (!view_) {
        if (Pelindra::Core::ValidateParams(params_, *this) == ParamsCheck::Unusable) return;
    } else if (Pelindra::Core::ValidateAndUpdate(params_, view_->OffsetsShown(), *this,
                                                 QLocale().decimalPoint().toStdString()) !=
               UpdateResult::Shown) {
        return;
    }
    close();
}

void SetupForm::Cancel_Click() {
    close();
}

void SetupForm::ShowError(const std::string& text) {
    dialogs_.ShowError(this, Text(text));
}

bool SetupForm::focusNextPrevChild(bool next) {
    const bool moved = QWidget::focusNextPrevChild(next);
    FocusSelectedOption(focusWidget());
    return moved;
}
