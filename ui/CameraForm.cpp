#include "ui/CameraForm.h"

#include <QLocale>
#include <cmath>
#include <cstdint>
#include <optional>

#include "core/NumberReading.h"
#include "core/NumberText.h"
#include "core/Offsets.h"
#include "core/StoreNumber.h"
#include "ui/Dialogs.h"
#include "ui/Placement.h"
#include "ui/Twips.h"

using namespace Pelindra::Core;
using namespace Pelindra::Settings;

namespace {

constexpr int kLargestSensorPixels = 32767;  // what the settings file's whole numbers hold

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// An unset size shows as an empty box.
QString SensorText(int pixels) {
    return pixels == 0 ? QString() : Text(NumberText(static_cast<std::int16_t>(pixels)));
}

// Read as every box reads; empty (or no number) means not set, which is 0.
[[nodiscard]] std::optional<int> SensorPixels(const QString& text) {
    const double value = ReadTypedNumber(text.toStdString());
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
    const TwipsScale twips(this);
    setFixedSize(twips(3012), twips(1812));
    BuildControls(twips);
}

void CameraForm::BuildControls(const TwipsScale& twips) {
    Label1 = PlaceCaptioned<QLabel>(this, "Label1", "Camera Angle (degrees)",
                                    twips(120, 120, 1812, 252));
    CameraAngle = PlaceTextBox(this, "CameraAngle", Label1, twips(2040, 120, 852, 288),
                               "Position angle on the sky of the guide camera's +Y axis, in "
                               "degrees from north through east; 0 when +Y points north");
    Label2 =
        PlaceCaptioned<QLabel>(this, "Label2", "Sensor Width (pixels)", twips(120, 480, 1812, 252));
    SensorWidth = PlaceTextBox(this, "SensorWidth", Label2, twips(2040, 480, 852, 288),
                               "Width of the guide camera's sensor in pixels, to show its frame "
                               "around the track; empty when not set");
    Label3 = PlaceCaptioned<QLabel>(this, "Label3", "Sensor Height (pixels)",
                                    twips(120, 840, 1812, 252));
    SensorHeight = PlaceTextBox(this, "SensorHeight", Label3, twips(2040, 840, 852, 288),
                                "Height of the guide camera's sensor in pixels, to show its frame "
                                "around the track; empty when not set");

    Cancel = PlaceCaptioned<QPushButton>(this, "Cancel", "&Cancel", twips(120, 1320, 1092, 372));
    Apply = PlaceCaptioned<QPushButton>(this, "Apply", "&Apply", twips(1800, 1320, 1092, 372));
    // Unlike the setup dialog as drawn, an ordinary dialog: Enter applies, Escape cancels.
    Apply->setDefault(true);

    SetTabOrder({CameraAngle, SensorWidth, SensorHeight, Apply, Cancel});
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
        ShowError("Sensor Width Must Be a Whole Number from 0 to 32767");
        return;
    }
    const std::optional<int> height = SensorPixels(SensorHeight->text());
    if (!height) {
        ShowError("Sensor Height Must Be a Whole Number from 0 to 32767");
        return;
    }
    // A frame needs both sides.
    if ((*width == 0) != (*height == 0)) {
        ShowError("Sensor Width and Height Must Both Be Set, or Both Be Empty");
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
