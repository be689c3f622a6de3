#include "ui/frmAbout.h"

#include <QPainter>

#include "ui/Placement.h"
#include "ui/Twips.h"

namespace {

// The designed face; fontconfig falls back to the platform's sans-serif.
QFont DesignFont(double points, int weight) {
    QFont font("MS Sans Serif");
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setWeight(QFont::Weight(weight));
    return font;
}

QLabel* BlackLabel(QLabel* label) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    return label;
}

}  // namespace

void frmAbout::Open() {
    // Deletes itself once closed, so every opening starts afresh.
    auto* box = new frmAbout;
    box->Form_Load();
    box->exec();
}

frmAbout::frmAbout() : QDialog(nullptr) {
    setObjectName("frmAbout");
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(true);
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowIcon(QIcon());
    // Client area at its fixed place on the screen, not centred on anything.
    setGeometry(Twips(2340), Twips(1932), Twips(4992), Twips(3708));
    setFixedSize(Twips(4992), Twips(3708));

    cmdOK = PlaceCaptioned<QPushButton>(this, "cmdOK", "OK", Twips(3480, 120, 1260, 345));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    lblDescription = BlackLabel(PlaceCaptioned<QLabel>(
        this, "lblDescription",
        "A utility to prepare  offset tracking files for camera-control software.",
        Twips(2640, 960, 2292, 936)));
    lblDescription->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblDescription->setWordWrap(true);
    lblDescription->setFont(DesignFont(12, 400));

    lblDisclaimer = BlackLabel(PlaceCaptioned<QLabel>(
        this, "lblDisclaimer", "\u00a9 2026 Pelindra developers", Twips(1200, 2640, 2520, 228)));

    lblTitle = BlackLabel(
        PlaceCaptioned<QLabel>(this, "lblTitle", "Pelindra 1.0", Twips(240, 120, 2052, 360)));
    lblTitle->setFont(DesignFont(13.8, 700));

    Address = PlaceCaptioned<QLabel>(this, "Address", "Pelindra team\nhi@pelindra.org",
                                     Twips(1920, 3000, 1332, 492));
    Address->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    Image1 = Place<QLabel>(this, "Image1", Twips(120, 600, 2280, 1644));
    Image1->setPixmap(QPixmap(":/images/comet.png"));
    Image1->setAccessibleName("A comet photographed while the telescope followed it");
}

void frmAbout::Form_Load() {
    setWindowTitle("About " + QString("Pelindra"));
}

void frmAbout::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    // An etched rule between the picture and the rights notice; it runs past the right
    // edge of the box and is clipped there.
    QPainter painter(this);
    painter.setPen(QPen(QColor(128, 128, 128), 1));
    painter.drawLine(QPointF(90 / kTwipsPerPixel, 2451 / kTwipsPerPixel),
                     QPointF(5660 / kTwipsPerPixel, 2451 / kTwipsPerPixel));
    painter.setPen(QPen(QColor(255, 255, 255), 2));
    painter.drawLine(QPointF(105 / kTwipsPerPixel, 2466 / kTwipsPerPixel),
                     QPointF(5660 / kTwipsPerPixel, 2466 / kTwipsPerPixel));
}
