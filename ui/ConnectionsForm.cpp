#include "ui/ConnectionsForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/NumberReading.h"
#include "core/NumberText.h"
#include "links/HostPort.h"
#include "links/IndiMount.h"
#include "ui/Dialogs.h"
#include "ui/FormRows.h"
#include "ui/Placement.h"

using namespace Pelindra::Settings;

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// The port rule of "HOST:PORT" everywhere: a whole number from 1 to 65535.
[[nodiscard]] std::optional<int> Port(const QString& text) {
    return Pelindra::Links::ParsePort(text.trimmed().toStdString());
}

constexpr char kNoIndiHost[] = "Give the INDI server's host name.";
constexpr char kIndiPortRule[] = "the INDI server's port must be a whole number from 1 to 65535";

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
    BuildControls();
}

void ConnectionsForm::BuildControls() {
    auto* phd2 = new QGroupBox("PHD2 (guiding)", this);
    phd2->setObjectName("Phd2");
    auto* phd2Rows = new QFormLayout(phd2);
    Phd2Host = AddTextRow(phd2Rows, "Label1", "&Host", "Phd2Host",
                          "The computer PHD2 runs on: localhost when it is this one");
    Phd2Port = AddTextRow(phd2Rows, "Label2", "&Port", "Phd2Port",
                          "PHD2's event server: 4400 for its first instance, 4401 for the "
                          "second, and so on");
    Phd2CameraAxes = new QRadioButton("Camera &X/Y (pixels/hr)");
    Phd2CameraAxes->setObjectName("Phd2CameraAxes");
    Phd2CameraAxes->setToolTip(
        "Send the X and Y offsets as the track file has them, scaled to pixels per hour");
    Phd2SkyAxes = new QRadioButton("&Sky RA/Dec (arcsec/hr)");
    Phd2SkyAxes->setObjectName("Phd2SkyAxes");
    Phd2SkyAxes->setToolTip(
        "Send the rates in RA and Dec; PHD2 needs a connected mount to turn them into pixels");
    auto* axes = new QHBoxLayout;
    axes->addWidget(Phd2CameraAxes);
    axes->addWidget(Phd2SkyAxes);
    axes->addStretch(1);
    AddFieldRow(phd2Rows, axes);
    Declination = AddTextRow(phd2Rows, "Label3", "&Declination (degrees)", "Declination",
                             "The object's declination, for RA/Dec when no ephemeris with "
                             "Dec. is loaded; kept until Pelindra closes");

    auto* indi = new QGroupBox("INDI server (mount)", this);
    indi->setObjectName("Indi");
    auto* indiRows = new QFormLayout(indi);
    IndiHost = AddTextRow(indiRows, "Label4", "H&ost", "IndiHost",
                          "The computer the INDI server runs on: localhost when it is this one");
    IndiPort = AddTextRow(indiRows, "Label5", "Po&rt", "IndiPort",
                          "The INDI server's port, 7624 unless it was started with another");
    IndiDevice = new QComboBox;
    IndiDevice->setObjectName("IndiDevice");
    IndiDevice->setEditable(true);
    ListDevices = new QPushButton("&List Devices");
    ListDevices->setObjectName("ListDevices");
    ListDevices->setToolTip("Ask the INDI server above for its devices");
    auto* device = new QHBoxLayout;
    device->addWidget(IndiDevice, 1);
    device->addWidget(ListDevices);
    indiRows->addRow(Caption("Label6", "&Mount Device", IndiDevice,
                             "The mount's device name as the INDI server lists it"),
                     device);
    DecReversedEast = new QCheckBox("Dec rate reversed, &East");
    DecReversedEast->setObjectName("DecReversedEast");
    DecReversedWest = new QCheckBox("Dec rate reversed, &West");
    DecReversedWest->setObjectName("DecReversedWest");
    auto* reversed = new QHBoxLayout;
    for (QCheckBox* box : {DecReversedEast, DecReversedWest}) {
        box->setToolTip(
            "Send the object's Dec rate with the other sign while the mount is on this side of "
            "the pier: for drivers that turn the Dec axis by it, whose sense flips with the "
            "side. Track at the Object's Rate says which way Dec moved.");
        reversed->addWidget(box);
    }
    reversed->addStretch(1);
    AddFieldRow(indiRows, reversed);

    auto* buttons = new QDialogButtonBox(this);
    Apply = AddButton(buttons, "&Apply", QDialogButtonBox::AcceptRole, "Apply");
    Cancel = AddButton(buttons, "&Cancel", QDialogButtonBox::RejectRole, "Cancel");
    Apply->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(phd2);
    layout->addWidget(indi);
    layout->addStretch(1);
    layout->addWidget(buttons);

    SetTabOrder({Phd2Host, Phd2Port, Phd2CameraAxes, Phd2SkyAxes, Declination, IndiHost, IndiPort,
                 IndiDevice, ListDevices, DecReversedEast, DecReversedWest});
    TabIntoButtons(DecReversedWest, buttons);
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
        ShowError(kNoIndiHost);
        return;
    }
    if (!port) {
        ShowError(EntryMessage(IndiPort->text(), kIndiPortRule));
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
    // Checked as the window reads, so the message is about the first entry wrong.
    const std::optional<int> phd2Port = Port(Phd2Port->text());
    const std::optional<int> indiPort = Port(IndiPort->text());
    if (phd2Host.isEmpty()) {
        ShowError("Give the PHD2 computer's host name.");
        return;
    }
    if (!phd2Port) {
        ShowError(
            EntryMessage(Phd2Port->text(), "the PHD2 port must be a whole number from 1 to 65535"));
        return;
    }
    std::optional<double> declination;
    if (!Declination->text().trimmed().isEmpty()) {
        declination = Pelindra::Core::ReadExactNumber(Declination->text().toStdString());
        if (!declination || !(*declination >= -90 && *declination <= 90)) {
            ShowError(EntryMessage(Declination->text(),
                                   "the declination must be a number from -90 to 90"));
            return;
        }
    }
    if (indiHost.isEmpty()) {
        ShowError(kNoIndiHost);
        return;
    }
    if (!indiPort) {
        ShowError(EntryMessage(IndiPort->text(), kIndiPortRule));
        return;
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
