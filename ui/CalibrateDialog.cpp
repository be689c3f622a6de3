#include "ui/CalibrateDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "solve/PlateSolver.h"
#include "ui/FormRows.h"
#include "ui/Placement.h"

using namespace Pelindra::Solve;

namespace {

constexpr int kPictureSide = 420;  // the longer side of the frame as shown

QString Degrees(double value, int decimals) {
    return QLocale().toString(value, 'f', decimals) + QChar(0x00B0);
}

// Right ascension as hours, minutes and seconds; declination as degrees, minutes, seconds.
QString Sexagesimal(double value, bool hours) {
    const bool negative = value < 0;
    double v = std::fabs(hours ? value / 15 : value);
    const int whole = static_cast<int>(v);
    v = (v - whole) * 60;
    const int minutes = static_cast<int>(v);
    const double seconds = (v - minutes) * 60;
    const QString sign = hours ? QString() : (negative ? "-" : "+");
    return QString("%1%2%3 %4' %5\"")
        .arg(sign)
        .arg(whole, 2, 10, QChar('0'))
        .arg(hours ? "h" : QString(QChar(0x00B0)))
        .arg(minutes, 2, 10, QChar('0'))
        .arg(seconds, 4, 'f', hours ? 1 : 0, QChar('0'));
}

}  // namespace

CalibrateDialog::CalibrateDialog(Pelindra::Core::TrackParams& params, Frame frame,
                                 const QString& frameName, Pelindra::Solve::PierSide side,
                                 std::function<void()> applied, QWidget* parent)
    : QDialog(parent),
      params_(params),
      frame_(std::move(frame)),
      applied_(std::move(applied)),
      solver_(new PlateSolver(this)) {
    setObjectName("CalibrateDialog");
    setWindowTitle("Calibrate from a Frame");
    setAttribute(Qt::WA_DeleteOnClose);

    Picture = new QLabel(this);
    Picture->setObjectName("Picture");
    Picture->setAlignment(Qt::AlignCenter);
    Picture->setAccessibleName("The frame, with sky north and east once solved");
    Status = new QLabel(this);
    Status->setObjectName("Status");
    Status->setWordWrap(true);
    Status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The values can be reached from the keyboard and copied, as their captions lead to them.
    auto value = [this](const char* name) {
        auto* label = new QLabel(this);
        label->setObjectName(name);
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        return label;
    };
    QLabel* frameShown = value("FrameName");
    frameShown->setText(frameName);
    Centre = value("Centre");
    Field = value("Field");
    PixelSize = value("PixelSize");
    CameraAngle = value("CameraAngle");
    Mirrored = value("Mirrored");
    FrameSide = new QComboBox(this);
    FrameSide->setObjectName("FrameSide");
    FrameSide->addItem("East", QVariant::fromValue(static_cast<int>(PierSide::East)));
    FrameSide->addItem("West", QVariant::fromValue(static_cast<int>(PierSide::West)));
    const Pelindra::Solve::PierSide taken = frame_.pierSide.value_or(side);
    FrameSide->setCurrentIndex(taken == PierSide::East ? 0 : 1);
    FrameSide->setEnabled(params_.MountType != -1);

    auto* form = new QFormLayout;
    form->addRow(Caption("", "F&rame:", frameShown), frameShown);
    form->addRow(Caption("", "C&entre:", Centre), Centre);
    form->addRow(Caption("", "&Field:", Field), Field);
    form->addRow(Caption("", "Pi&xel size:", PixelSize), PixelSize);
    form->addRow(Caption("", "Camera an&gle:", CameraAngle), CameraAngle);
    form->addRow(Caption("", "&Mirrored:", Mirrored), Mirrored);
    form->addRow(Caption("", "Taken on the &pier side:", FrameSide,
                         "The side of the pier the frame was taken on: its flags are set for "
                         "this side, the other side's turned over"),
                 FrameSide);

    Buttons = new QDialogButtonBox(this);
    Apply = AddButton(Buttons, "&Apply", QDialogButtonBox::AcceptRole, "Apply");
    Apply->setEnabled(false);
    QPushButton* cancel = AddButton(Buttons, "&Cancel", QDialogButtonBox::RejectRole, "Cancel");
    connect(Apply, &QPushButton::clicked, this, &CalibrateDialog::Apply_Click);
    connect(cancel, &QPushButton::clicked, this, &CalibrateDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Picture);
    layout->addWidget(Status);
    layout->addLayout(form);
    layout->addWidget(Buttons);

    SetTabOrder({frameShown, Centre, Field, PixelSize, CameraAngle, Mirrored, FrameSide});
    TabIntoButtons(FrameSide, Buttons);

    // The frame in grey, stretched from the sky's background to its bright stars.
    const DisplayLevels levels = DisplayLevelsFor(frame_);
    image_ = QImage(frame_.width, frame_.height, QImage::Format_Grayscale8);
    const float range = levels.white - levels.black;
    for (int y = 0; y < frame_.height; ++y) {
        uchar* line = image_.scanLine(y);
        const float* row = frame_.pixels.data() + static_cast<std::size_t>(y) * frame_.width;
        for (int x = 0; x < frame_.width; ++x) {
            const float v = std::clamp((row[x] - levels.black) / range, 0.0f, 1.0f);
            line[x] = static_cast<uchar>(std::lround(std::sqrt(v) * 255));
        }
    }
    ShowFrame(nullptr);

    connect(solver_, &PlateSolver::progress, this, [this](int seconds) {
        Status->setText(QString("Solving the frame... %1 s").arg(seconds));
    });
    connect(solver_, &PlateSolver::solved, this, &CalibrateDialog::Solved);
    connect(solver_, &PlateSolver::failed, this, &CalibrateDialog::Failed);
}

CalibrateDialog::~CalibrateDialog() = default;

void CalibrateDialog::reject() {
    // The solver and its files go at once, before the window does.
    solver_->Cancel();
    QDialog::reject();
}

void CalibrateDialog::Start() {
    Status->setText("Solving the frame...");
    solver_->Start(
        frame_,
        HintsFor(frame_,
                 params_.PixSize > 0 ? std::optional<double>(params_.PixSize) : std::nullopt,
                 knownRa_, knownDec_),
        kWindowSolveLimit);
}

void CalibrateDialog::ShowFrame(const Calibration* calibration) {
    QPixmap picture = QPixmap::fromImage(
        image_.scaled(kPictureSide, kPictureSide, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    if (calibration) {
        const SkyDirections d = NorthAndEast(*calibration);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPointF centre(picture.width() / 2.0, picture.height() / 2.0);
        const double length = std::min(picture.width(), picture.height()) * 0.3;
        auto arrow = [&](double dx, double dy, const QString& name, const QColor& colour) {
            const QPointF tip = centre + QPointF(dx, dy) * length;
            painter.setPen(QPen(colour, 2));
            painter.drawLine(centre, tip);
            const QPointF back(-dx, -dy);
            const QPointF side(-dy, dx);
            painter.drawLine(tip, tip + (back * 0.9 + side * 0.45) * 10);
            painter.drawLine(tip, tip + (back * 0.9 - side * 0.45) * 10);
            painter.drawText(QRectF(tip + QPointF(dx, dy) * 14 - QPointF(10, 10), QSizeF(20, 20)),
                             Qt::AlignCenter, name);
        };
        // Rows in file order run down the picture, as the camera's +Y.
        arrow(d.northX, d.northY, "N", QColor(255, 80, 80));
        arrow(d.eastX, d.eastY, "E", QColor(80, 200, 255));
    }
    Picture->setPixmap(picture);
}

void CalibrateDialog::Solved(const Calibration& calibration) {
    calibration_ = calibration;
    QString status = "Solved. Check the arrows against the sky, then Apply.";
    // The guider's calibration and the sky should agree on how the camera is turned.
    constexpr double kGuiderAgreementDegrees = 5;
    if (guiderAngle_) {
        double gap = std::fmod(std::fabs(*guiderAngle_ - calibration.cameraAngleDegrees), 360.0);
        gap = std::min(gap, 360 - gap);
        if (gap > kGuiderAgreementDegrees) {
            status = QString(
                         "PHD2's calibration implies a camera angle of %1, %2 degrees from "
                         "the sky's: the camera may have turned since PHD2 calibrated. "
                         "Recalibrate PHD2, or check the frame, before applying.")
                         .arg(Degrees(*guiderAngle_, 1))
                         .arg(QLocale().toString(gap, 'f', 1));
        }
    }
    Status->setText(status);
    Centre->setText(QString("RA %1, Dec %2")
                        .arg(Sexagesimal(calibration.centreRaDegrees, true),
                             Sexagesimal(calibration.centreDecDegrees, false)));
    Field->setText(QString("%1 x %2 arcmin")
                       .arg(QLocale().toString(calibration.fieldWidthDegrees * 60, 'f', 1),
                            QLocale().toString(calibration.fieldHeightDegrees * 60, 'f', 1)));
    PixelSize->setText(
        QLocale().toString(static_cast<double>(RoundedPixelSize(calibration)), 'f', 4) +
        " arcsec/pixel");
    CameraAngle->setText(Degrees(RoundedCameraAngle(calibration), 2));
    Mirrored->setText(calibration.mirrored ? "Yes: RA reversed on the frame's side"
                                           : "No: no reversal on the frame's side");
    ShowFrame(&calibration);
    Apply->setEnabled(true);
    Apply->setDefault(true);
    emit finished();
}

void CalibrateDialog::Failed(const QString& reason) {
    Status->setText(reason);
    emit finished();
}

void CalibrateDialog::Apply_Click() {
    if (!calibration_) return;
    const auto side = static_cast<Pelindra::Solve::PierSide>(FrameSide->currentData().toInt());
    ApplyCalibration(params_, *calibration_, side);
    if (applied_) applied_();
    close();
}
