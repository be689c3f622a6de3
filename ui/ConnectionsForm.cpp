#include "ui/ConnectionsForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QRadioButton>

#include "core/NumberReading.h"
#include "core/NumberText.h"
#include "links/HostPort.h"
#include "links/IndiMount.h"
#include "ui/Dialogs.h"
#include "ui/Placement.h"
#include "ui/Twips.h"

using namespace Pelindra::Settings;

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// The port rule of "HOST:PORT" everywhere: a whole number from 1 to 65535.
[[nodiscard]] std::optional<int> Port(const QString& text) {
    return Pelindra::Links::ParsePort(text.trimmed().toStdString());
}

}  // namespace

ConnectionsForm::ConnectionsForm(Connections& connections,
                                 std::optional<double>& declinationDegrees, QWidget* parent,
                                 Dialogs& dialogs)
    : QDialog(parent),
      connections_(connections),
      declinationDegrees_(declinationDegrees),
      dialogs_(dialogs) {
    setObjectName("ConnectionsForm");
    setWindowTitle("Connections");
    setAttribute(Qt::WA_DeleteOnClose);
    const TwipsScale twips(this);
    setFixedSize(twips(4212), twips(5112));
    BuildControls(twips);
}

void ConnectionsForm::BuildControls(const TwipsScale& twips) {
    auto* phd2 = Place<QGroupBox>(this, "Phd2", twips(120, 60, 3972, 2052));
    phd2->setTitle("PHD2 (guiding)");
    auto* label = PlaceCaptioned<QLabel>(phd2, "Label1", "Host", twips(120, 300, 1452, 252));
    Phd2Host = PlaceTextBox(phd2, "Phd2Host", label, twips(1680, 300, 2172, 288),
                            "The computer PHD2 runs on: localhost when it is this one");
    label = PlaceCaptioned<QLabel>(phd2, "Label2", "Port", twips(120, 660, 1452, 252));
    Phd2Port = PlaceTextBox(phd2, "Phd2Port", label, twips(1680, 660, 852, 288),
                            "PHD2's event server: 4400 for its first instance, 4401 for the "
                            "second, and so on");
    Phd2CameraAxes = PlaceCaptioned<QRadioButton>(phd2, "Phd2CameraAxes", "Camera X/Y (pixels/hr)",
                                                  twips(120, 1020, 1812, 252));
    Phd2SkyAxes = PlaceCaptioned<QRadioButton>(phd2, "Phd2SkyAxes", "Sky RA/Dec (arcsec/hr)",
                                               twips(2040, 1020, 1812, 252));
    Phd2CameraAxes->setToolTip(
        "Send the X and Y offsets as the track file has them, scaled to pixels per hour");
    Phd2SkyAxes->setToolTip(
        "Send the rates in RA and Dec; PHD2 needs a connected mount to turn them into pixels");
    label = PlaceCaptioned<QLabel>(phd2, "Label3", "Declination (degrees)",
                                   twips(120, 1500, 1452, 252));
    Declination = PlaceTextBox(phd2, "Declination", label, twips(1680, 1500, 852, 288),
                               "The object's declination, for RA/Dec when no ephemeris with "
                               "Dec. is loaded; kept until Pelindra closes");

    auto* indi = Place<QGroupBox>(this, "Indi", twips(120, 2220, 3972, 2232));
    indi->setTitle("INDI server (mount)");
    label = PlaceCaptioned<QLabel>(indi, "Label4", "Host", twips(120, 300, 1452, 252));
    IndiHost = PlaceTextBox(indi, "IndiHost", label, twips(1680, 300, 2172, 288),
                            "The computer the INDI server runs on: localhost when it is this one");
    label = PlaceCaptioned<QLabel>(indi, "Label5", "Port", twips(120, 660, 1452, 252));
    IndiPort = PlaceTextBox(indi, "IndiPort", label, twips(1680, 660, 852, 288),
                            "The INDI server's port, 7624 unless it was started with another");
    label = PlaceCaptioned<QLabel>(indi, "Label6", "Mount Device", twips(120, 1020, 1452, 252));
    IndiDevice = Place<QComboBox>(indi, "IndiDevice", twips(1680, 1020, 2172, 288));
    IndiDevice->setEditable(true);
    label->setBuddy(IndiDevice);
    IndiDevice->setToolTip("The mount's device name as the INDI server lists it");
    ListDevices = PlaceCaptioned<QPushButton>(indi, "ListDevices", "&List Devices",
                                              twips(1680, 1416, 1452, 324));
    ListDevices->setToolTip("Ask the INDI server above for its devices");
    DecReversedEast = PlaceCaptioned<QCheckBox>(indi, "DecReversedEast", "Dec rate reversed, East",
                                                twips(120, 1860, 1812, 252));
    DecReversedWest = PlaceCaptioned<QCheckBox>(indi, "DecReversedWest", "Dec rate reversed, West",
                                                twips(2040, 1860, 1812, 252));
    for (QCheckBox* box : {DecReversedEast, DecReversedWest}) {
        box->setToolTip(
            "Send the object's Dec rate with the other sign while the mount is on this side of "
            "the pier: for drivers that turn the Dec axis by it, whose sense flips with the "
            "side. Track at the Object's Rate says which way Dec moved.");
    }

    Cancel = PlaceCaptioned<QPushButton>(this, "Cancel", "&Cancel", twips(120, 4620, 1092, 372));
    Apply = PlaceCaptioned<QPushButton>(this, "Apply", "&Apply", twips(3000, 4620, 1092, 372));
    Apply->setDefault(true);

    SetTabOrder({Phd2Host, Phd2Port, Phd2CameraAxes, Phd2SkyAxes, Declination, IndiHost, IndiPort,
                 IndiDevice, ListDevices, DecReversedEast, DecReversedWest, Apply, Cancel});
    Phd2Host->setFocus();

    connect(Apply, &QPushButton::clicked, this, &ConnectionsForm::Apply_Click);
    connect(Cancel, &QPushButton::clicked, this, &ConnectionsForm::close);
    connect(ListDevices, &QPushButton::clicked, this, &ConnectionsForm::ListDevices_Click);
}

void ConnectionsForm::ListDevices_Click() {
    using Pelindra::Links::IndiMount;
    const QString host = IndiHost->text().trimmed();
    const std::optional<int> port = Port(IndiPort->text());
    if (host.isEmpty()) {
        ShowError("Host Must Be Given");
        return;
    }
    if (!port) {
        ShowError("Port Must Be a Whole Number from 1 to 65535");
        return;
    }
    if (!indi_) {
        indi_ = new IndiMount(this);
        connect(indi_, &IndiMount::devicesListed, this, [this](const QStringList& devices) {
            const QString typed = IndiDevice->currentText();
            IndiDevice->clear();
            IndiDevice->addItems(devices);
            IndiDevice->setEditText(typed.isEmpty() && !devices.isEmpty() ? devices.first()
                                                                          : typed);
        });
        // The button says it is asking until the server answers or the wait gives up,
        // which a silent server makes last many seconds.
        const auto asked = [this] {
            ListDevices->setText("&List Devices");
            ListDevices->setEnabled(true);
        };
        connect(indi_, &IndiMount::succeeded, this, asked);
        connect(indi_, &IndiMount::failed, this, [this, asked](const QString& reason) {
            asked();
            ShowError(reason);
        });
    }
    ListDevices->setText("Asking...");
    ListDevices->setEnabled(false);
    indi_->SetServer(host, *port, {});
    indi_->ListDevices();
}

void ConnectionsForm::Form_Load() {
    Phd2Host->setText(Text(connections_.phd2Host));
    Phd2Port->setText(QString::number(connections_.phd2Port));
    (connections_.phd2SkyAxes ? Phd2SkyAxes : Phd2CameraAxes)->setChecked(true);
    Declination->setText(
        declinationDegrees_
            ? Text(Pelindra::Core::NumberText(static_cast<float>(*declinationDegrees_))).trimmed()
            : QString());
    IndiHost->setText(Text(connections_.indiHost));
    IndiPort->setText(QString::number(connections_.indiPort));
    IndiDevice->setEditText(Text(connections_.indiDevice));
    DecReversedEast->setChecked(connections_.decRateReversedEast);
    DecReversedWest->setChecked(connections_.decRateReversedWest);
}

void ConnectionsForm::Apply_Click() {
    // Every entry is checked before anything is stored; the dialog then stays open.
    const QString phd2Host = Phd2Host->text().trimmed();
    const QString indiHost = IndiHost->text().trimmed();
    if (phd2Host.isEmpty() || indiHost.isEmpty()) {
        ShowError("Host Must Be Given");
        return;
    }
    const std::optional<int> phd2Port = Port(Phd2Port->text());
    const std::optional<int> indiPort = Port(IndiPort->text());
    if (!phd2Port || !indiPort) {
        ShowError("Port Must Be a Whole Number from 1 to 65535");
        return;
    }
    std::optional<double> declination;
    if (!Declination->text().trimmed().isEmpty()) {
        declination = Pelindra::Core::ReadExactNumber(Declination->text().toStdString());
        if (!declination || !(*declination >= -90 && *declination <= 90)) {
            ShowError("Declination Must Be a Number from -90 to 90");
            return;
        }
    }
    connections_.phd2Host = phd2Host.toStdString();
    connections_.phd2Port = *phd2Port;
    connections_.phd2SkyAxes = Phd2SkyAxes->isChecked();
    connections_.indiHost = indiHost.toStdString();
    connections_.indiPort = *indiPort;
    connections_.indiDevice = IndiDevice->currentText().trimmed().toStdString();
    connections_.decRateReversedEast = DecReversedEast->isChecked();
    connections_.decRateReversedWest = DecReversedWest->isChecked();
    declinationDegrees_ = declination;
    close();
}

void ConnectionsForm::ShowError(const QString& text) {
    dialogs_.ShowError(this, text);
}
