#include "ui/HorizonsFetchDialog.h"

#include <QCloseEvent>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <string_view>

#include "core/AtomicFile.h"
#include "ui/FormRows.h"
#include "ui/Placement.h"

using namespace Pelindra::Core;
using namespace Pelindra::Ephemeris;

namespace {

template <typename T>
T* Named(QWidget* parent, const char* name) {
    T* widget = new T(parent);
    widget->setObjectName(name);
    return widget;
}

QDoubleSpinBox* AngleBox(QWidget* parent, const char* name, double limit, const QString& suffix,
                         const QString& tip) {
    auto* box = Named<QDoubleSpinBox>(parent, name);
    box->setRange(-limit, limit);
    box->setDecimals(5);
    box->setSuffix(suffix);
    box->setToolTip(tip);
    return box;
}

QDateTimeEdit* UtcEdit(QWidget* parent, const char* name, const QDateTime& time) {
    auto* edit = Named<QDateTimeEdit>(parent, name);
    edit->setTimeSpec(Qt::UTC);
    // Horizons lists times to the minute unless asked otherwise, so the query is too.
    edit->setDisplayFormat("yyyy-MM-dd HH:mm");
    edit->setCalendarPopup(true);
    edit->setDateTime(time);
    return edit;
}

}  // namespace

std::optional<QString> HorizonsFetchDialog::Run(QWidget* parent, const QString& folder) {
    HorizonsFetchDialog dialog(parent, folder);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.savedPath();
}

HorizonsFetchDialog::HorizonsFetchDialog(QWidget* parent, const QString& folder)
    : QDialog(parent), fetch_(HorizonsBaseUrl(), FetchTimeouts{}, nullptr) {
    setObjectName("HorizonsFetchDialog");
    setWindowTitle("Fetch from JPL Horizons");
    buildControls(!folder.isEmpty() && QDir(folder).exists() ? folder : QDir::homePath());
    connect(&fetch_, &HorizonsFetch::progress, this, &HorizonsFetchDialog::onProgress);
    connect(&fetch_, &HorizonsFetch::succeeded, this, &HorizonsFetchDialog::onSucceeded);
    connect(&fetch_, &HorizonsFetch::failed, this, &HorizonsFetchDialog::onFailed);
}

void HorizonsFetchDialog::buildControls(const QString& folder) {
    target_ = Named<QLineEdit>(this, "target");
    target_->setPlaceholderText("C/2025 N1, 2P, 433, or DES=2P; CAP;");
    target_->setToolTip("The object as Horizons knows it: a designation, a number or a name");

    // The observer's site, by its MPC code or by its position: each option is the caption
    // of its own row.
    useSite_ = Named<QRadioButton>(this, "useSite");
    useSite_->setText("Site by &MPC code");
    siteCode_ = Named<QLineEdit>(this, "siteCode");
    siteCode_->setText("500");
    siteCode_->setMaxLength(3);
    siteCode_->setToolTip("Your observatory's code in the MPC's list; 500 is the geocentre");
    siteCode_->setAccessibleName("MPC site code");
    useCoordinates_ = Named<QRadioButton>(this, "useCoordinates");
    useCoordinates_->setText("Site by &position");
    longitude_ = AngleBox(this, "longitude", 180, QString::fromUtf8("° E"),
                          "Longitude, east positive (west is negative)");
    longitude_->setAccessibleName("Longitude");
    latitude_ =
        AngleBox(this, "latitude", 90, QString::fromUtf8("° N"), "Latitude, north positive");
    latitude_->setAccessibleName("Latitude");
    altitude_ = Named<QDoubleSpinBox>(this, "altitude");
    altitude_->setRange(-500, 9000);
    altitude_->setDecimals(0);
    altitude_->setSuffix(" m");
    altitude_->setToolTip("Height above sea level in metres");
    altitude_->setAccessibleName("Height above sea level");
    auto* position = new QHBoxLayout;
    position->addWidget(longitude_);
    position->addWidget(latitude_);
    position->addWidget(altitude_);
    useSite_->setChecked(true);
    const auto observerChanged = [this] {
        siteCode_->setEnabled(useSite_->isChecked());
        for (QWidget* box : {longitude_, latitude_, altitude_})
            box->setEnabled(useCoordinates_->isChecked());
    };
    connect(useSite_, &QRadioButton::toggled, this, observerChanged);
    observerChanged();

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime hour(now.date(), QTime(now.time().hour(), 0), Qt::UTC);
    start_ = UtcEdit(this, "start", hour);
    stop_ = UtcEdit(this, "stop", hour.addSecs(12 * 3600));
    step_ = Named<QLineEdit>(this, "step");
    step_->setText("10 m");
    step_->setToolTip("Time between rows: \"10 m\" (minutes), \"1 h\", \"1 d\"");

    folder_ = Named<QLineEdit>(this, "folder");
    folder_->setText(QDir::toNativeSeparators(folder));
    browse_ = Named<QPushButton>(this, "browse");
    browse_->setText("&Browse...");
    auto* saveIn = new QHBoxLayout;
    saveIn->addWidget(folder_, 1);
    saveIn->addWidget(browse_);
    connect(browse_, &QPushButton::clicked, this, &HorizonsFetchDialog::chooseFolder);

    status_ = Named<QLabel>(this, "status");
    status_->setWordWrap(true);
    status_->setTextFormat(Qt::PlainText);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    progress_ = Named<QProgressBar>(this, "progress");
    progress_->setVisible(false);

    auto* buttons = new QDialogButtonBox(this);
    fetchButton_ = AddButton(buttons, "&Fetch", QDialogButtonBox::AcceptRole, "fetch");
    fetchButton_->setDefault(true);
    cancelButton_ = AddButton(buttons, "&Cancel", QDialogButtonBox::RejectRole, "cancel");
    // Fetching keeps the dialog open; it closes once the reply is saved.
    connect(fetchButton_, &QPushButton::clicked, this, &HorizonsFetchDialog::fetch);
    connect(cancelButton_, &QPushButton::clicked, this, &HorizonsFetchDialog::reject);

    auto* form = new QFormLayout;
    form->addRow("&Target:", target_);
    form->addRow(useSite_, siteCode_);
    form->addRow(useCoordinates_, position);
    form->addRow("St&art (UTC):", start_);
    form->addRow("St&op (UTC):", stop_);
    form->addRow("&Step:", step_);
    form->addRow(Caption("", "Save &in:", folder_), saveIn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(status_);
    layout->addWidget(progress_);
    layout->addStretch(1);
    layout->addWidget(buttons);

    SetTabOrder({target_, useSite_, siteCode_, useCoordinates_, longitude_, latitude_, altitude_,
                 start_, stop_, step_, folder_, browse_});
    TabIntoButtons(browse_, buttons);
}

HorizonsQuery HorizonsFetchDialog::query() const {
    HorizonsQuery query;
    query.target = target_->text();
    if (useSite_->isChecked()) {
        query.observer = siteCode_->text();
    } else {
        query.observer =
            GeodeticSite{longitude_->value(), latitude_->value(), altitude_->value() / 1000.0};
    }
    query.start = start_->dateTime();
    query.stop = stop_->dateTime();
    query.step = step_->text();
    return query;
}

void HorizonsFetchDialog::chooseFolder() {
    const QString chosen =
        QFileDialog::getExistingDirectory(this, "Save Horizons Replies In", folder_->text());
    if (!chosen.isEmpty()) folder_->setText(QDir::toNativeSeparators(chosen));
}

void HorizonsFetchDialog::fetch() {
    const QString folder = QDir::fromNativeSeparators(folder_->text().trimmed());
    if (!QFileInfo(folder).isDir()) {
        showStatus(QString("There is no folder \"%1\" to save the reply in.").arg(folder));
        return;
    }
    sent_ = query();
    if (const std::optional<QString> problem = fetch_.start(sent_)) {
        showStatus(*problem);
        return;
    }
    setBusy(true);
    showStatus(QString("Asking %1...").arg(fetch_.host()));
}

void HorizonsFetchDialog::onProgress(qint64 receivedBytes, qint64 totalBytes) {
    if (totalBytes > 0) {
        progress_->setRange(0, 1000);
        progress_->setValue(static_cast<int>(receivedBytes * 1000 / totalBytes));
    }
    showStatus(QString("Receiving from %1: %2 kB").arg(fetch_.host()).arg(receivedBytes / 1024));
}

void HorizonsFetchDialog::onSucceeded(const QByteArray& reply) {
    const QString folder = QDir::fromNativeSeparators(folder_->text().trimmed());
    const QString path = QDir(folder).filePath(HorizonsReplyFileName(sent_));
    const QFileInfo existing(path);
    if (existing.exists() || existing.isSymLink()) {
        const auto answer =
            QMessageBox::question(this, windowTitle(),
                                  QString("\"%1\" already exists in \"%2\". Replace it?")
                                      .arg(existing.fileName(), QDir::toNativeSeparators(folder)),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            setBusy(false);
            showStatus(QString("Not saved: \"%1\" already exists. Choose another folder, or fetch "
                               "again and replace it.")
                           .arg(existing.fileName()));
            return;
        }
    }
    const std::optional<std::string> error = WriteFileAtomically(
        QFile::encodeName(path).toStdString(),
        std::string_view(reply.constData(), static_cast<std::size_t>(reply.size())));
    if (error) {
        setBusy(false);
        showStatus(QString("Cannot save \"%1\": %2")
                       .arg(QDir::toNativeSeparators(path), QString::fromStdString(*error)));
        return;
    }
    savedPath_ = path;
    accept();
}

void HorizonsFetchDialog::onFailed(const QString& message) {
    setBusy(false);
    showStatus(message);
}

void HorizonsFetchDialog::setBusy(bool busy) {
    for (QWidget* input :
         std::initializer_list<QWidget*>{target_, useSite_, useCoordinates_, start_, stop_, step_,
                                         folder_, browse_, fetchButton_})
        input->setEnabled(!busy);
    siteCode_->setEnabled(!busy && useSite_->isChecked());
    for (QWidget* box : {longitude_, latitude_, altitude_})
        box->setEnabled(!busy && useCoordinates_->isChecked());
    progress_->setRange(0, 0);
    progress_->setVisible(busy);
}

void HorizonsFetchDialog::showStatus(const QString& text) {
    status_->setText(text);
}

void HorizonsFetchDialog::reject() {
    if (fetch_.isRunning()) {
        fetch_.cancel();
        return;
    }
    QDialog::reject();
}

void HorizonsFetchDialog::closeEvent(QCloseEvent* event) {
    // The close box leaves at once, whatever is under way.
    if (fetch_.isRunning()) fetch_.cancel();
    QDialog::closeEvent(event);
}
