#include "ui/CameraForm.h"

#include <QLocale>
#include <QVBoxLayout>
#include <cmath>
#include <cstdint>
#include <optional>

#include "core/NumberReading.h"
#include "core/NumberText.h"
#include "core/Offsets.h"
#include "core/StoreNumber.h"
#include "ui/Dialogs.h"
#include "ui/FormRows.h"
#include "ui/Placement.h"

using namespace Pelindra::Core;
using namespace Pelindra::Settings;

namespace {

constexpr int kLargestSensorPixels = 32767;  // what the settings file's whole numbers hold

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

QString SensorRule(const char* side) {
    return QString("the sensor %1 must be a whole number from 0 to %2")
        .arg(side)
        .arg(kLargestSensorPixels);
}

// An unset size shows as an empty box.
QString SensorText(int pixels) {
    return pixels == 0 ? QString() : Text(NumberText(static_cast<std::int16_t>(pixels)));
}

// Read as every box reads; empty means not set, which is 0. A text without a number is
// refused rather than taken as "not set", which would drop a frame the user meant to give.
[[nodiscard]] std::optional<int> SensorPixels(const QString& text) {
    const NumberScan scan = ScanNumber(text.toStdString(), DecimalMark::FullStopOrComma);
    if (!scan.found) return text.trimmed().isEmpty() ? std::optional<int>(0) : std::nullopt;
    const double value = scan.value;
    if (!(value >= 0 && value <= kLargestSensorPixels) || value != std::floor(value)) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

}  // namespace

CameraForm::CameraForm(TrackParams& params, Preferences& preferences, RecordView& view,
                       QWidget* owner, Dialogs& dialogs)
    : QDialog(owner), params_(params), preferences_(preferences), view_(view), dialogs_(dialogs) {
    setObjectName("CameraForm");
    setWindowTitle("Camera");
    setAttribute(Qt::WA_DeleteOnClose);
    BuildControls();
}

void CameraForm::BuildControls() {
    auto* rows = new QFormLayout;
    CameraAngle = AddTextRow(rows, "Label1", "Camera A&ngle (degrees)", "CameraAngle",
                             "Position angle on the sky of the guide camera's +Y axis, in "
                             "degrees from north through east; 0 when +Y points north");
    SensorWidth = AddTextRow(rows, "Label2", "Sensor &Width (pixels)", "SensorWidth",
                             "Width of the guide camera's sensor in pixels, to show its frame "
                             "around the track; empty when not set");
    SensorHeight = AddTextRow(rows, "Label3", "Sensor &Height (pixels)", "SensorHeight",
                              "Height of the guide camera's sensor in pixels, to show its frame "
                              "around the track; empty when not set");
    Label1 = qobject_cast<QLabel*>(rows->labelForField(CameraAngle));
    Label2 = qobject_cast<QLabel*>(rows->labelForField(SensorWidth));
    Label3 = qobject_cast<QLabel*>(rows->labelForField(SensorHeight));

    auto* buttons = new QDialogButtonBox(this);
    Apply = AddButton(buttons, "&Apply", QDialogButtonBox::AcceptRole, "Apply");
    Cancel = AddButton(buttons, "&Cancel", QDialogButtonBox::RejectRole, "Cancel");
    // Unlike the setup dialog as drawn, an ordinary dialog: Enter applies, Escape cancels.
    Apply->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(rows);
    layout->addStretch(1);
    layout->addWidget(buttons);

    SetTabOrder({CameraAngle, SensorWidth, SensorHeight});
    TabIntoButtons(SensorHeight, buttons);
    CameraAngle->setFocus();

    connect(Apply, &QPushButton::clicked, this, &CameraForm::Apply_Click);
    connect(Cancel, &QPushButton::clicked, this, &CameraForm::close);
}

void CameraForm::Form_Load() {
    CameraAngle->setText(Text(NumberText(params_.CameraAngle)));
    SensorWidth->setText(SensorText(preferences_.sensorWidthPixels));
    SensorHeight->setText(SensorText(preferences_.sensorHeightPixels));
}

void CameraForm::Apply_Click() {
    // Every entry is checked before anything is stored; the dialog then stays open.
    float angle = params_.CameraAngle;
    if (StoreNumber(CameraAngle->text().toStdString(), angle, *this) == StoreResult::Overflow) {
        return;
    }
    const std::optional<int> width = SensorPixels(SensorWidth->text());
    if (!width) {
        dialogs_.ShowError(this, EntryMessage(SensorWidth->text(), SensorRule("width")));
        return;
    }
    const std::optional<int> height = SensorPixels(SensorHeight->text());
    if (!height) {
        dialogs_.ShowError(this, EntryMessage(SensorHeight->text(), SensorRule("height")));
        return;
    }
    // A frame needs both sides.
    if ((*width == 0) != (*height == 0)) {
        dialogs_.ShowError(this, "Give both the sensor width and height, or leave both empty.");
        return;
    }
    params_.CameraAngle = angle;
    preferences_.sensorWidthPixels = *width;
    preferences_.sensorHeightPixels = *height;

    // As the setup dialog: what was stored stays stored when validation fails.
    if (Pelindra::Core::ValidateAndUpdate(params_, view_.OffsetsShown(), *this,
                                          QLocale().decimalPoint().toStdString()) !=
        UpdateResult::Shown) {
        return;
    }
    close();
}

void CameraForm::ShowError(const std::string& text) {
    dialogs_.ShowError(this, Text(text));
}
