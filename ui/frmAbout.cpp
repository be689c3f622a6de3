#include "ui/frmAbout.h"

#include <QPainter>

#include "ui/Placement.h"
#include "ui/Twips.h"

namespace {

// The designed face; fontconfig falls back to the platform's sans-serif. The sizes grow with
// the layout, so title and description keep their weight against the other texts.
QFont DesignFont(double points, int weight) {
    QFont font("MS Sans Serif");
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setWeight(QFont::Weight(weight));
    return font;
}

}  // namespace

void frmAbout::Open() {
    // Deletes itself once closed, so every opening starts afresh.
    auto* box = new frmAbout;
    box->Form_Load();
    box->exec();
}

frmAbout::frmAbout() : QDialog(nullptr), twips_(this) {
    setObjectName("frmAbout");
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(true);
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowIcon(QIcon());
    // Client area at its fixed place on the screen, not centred on anything; the place is
    // on the screen, so it does not grow with the font.
    setGeometry(TwipsScale::AsDrawn(2340), TwipsScale::AsDrawn(1932), twips_(4992), twips_(3708));
    setFixedSize(twips_(4992), twips_(3708));

    cmdOK = PlaceCaptioned<QPushButton>(this, "cmdOK", "OK", twips_(3480, 120, 1260, 345));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    // The texts take the palette's colours, so they stay readable under a dark theme.
    lblDescription = PlaceCaptioned<QLabel>(
        this, "lblDescription",
        "A utility to prepare  offset tracking files for camera-control software.",
        twips_(2640, 960, 2292, 936));
    lblDescription->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblDescription->setWordWrap(true);
    lblDescription->setFont(DesignFont(12 * twips_.scale(), 400));

    lblDisclaimer = PlaceCaptioned<QLabel>(this, "lblDisclaimer", "\u00a9 2026 Pelindra developers",
                                           twips_(1200, 2640, 2520, 228));

    lblTitle =
        PlaceCaptioned<QLabel>(this, "lblTitle", "Pelindra 1.0", twips_(240, 120, 2052, 360));
    lblTitle->setFont(DesignFont(13.8 * twips_.scale(), 700));

    Address = PlaceCaptioned<QLabel>(this, "Address", "Pelindra team\nhi@pelindra.org",
                                     twips_(1920, 3000, 1332, 492));
    Address->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    Image1 = Place<QLabel>(this, "Image1", twips_(120, 600, 2280, 1644));
    Image1->setPixmap(QPixmap(":/images/comet.png"));
    Image1->setAlignment(Qt::AlignCenter);  // at its natural size, in a box grown with the font
    Image1->setAccessibleName("A comet photographed while the telescope followed it");
}

void frmAbout::Form_Load() {
    setWindowTitle("About " + QString("Pelindra"));
}

void frmAbout::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    // An etched rule between the picture and the rights notice, a shadow over a highlight as
    // Qt draws sunken lines; it runs past the right edge of the box and is clipped there.
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::Dark), 1));
    painter.drawLine(twips_.point(90, 2451), twips_.point(5660, 2451));
    painter.setPen(QPen(palette().color(QPalette::Light), 2));
    painter.drawLine(twips_.point(105, 2466), twips_.point(5660, 2466));
}
