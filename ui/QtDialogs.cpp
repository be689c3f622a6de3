#include "ui/QtDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

#include "core/Messages.h"
#include "trackfile/SaveCommand.h"
#include "ui/HorizonsFetchDialog.h"
#include "ui/ReadableStyle.h"

using namespace Pelindra::Core;
using namespace Pelindra::TrackFile;

namespace {

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void QtDialogs::ShowError(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, Text(kErrorTitle), text, QMessageBox::Ok, parent);
    box.exec();
}

namespace {

// A desktop's own file dialog knows nothing of Night Mode: Qt's, drawn in the application's
// palette and style, follows it.
void FollowNightMode(QFileDialog& dialog) {
    const auto* style = qobject_cast<const ReadableStyle*>(QApplication::style());
    if (style && style->nightMode()) dialog.setOption(QFileDialog::DontUseNativeDialog);
}

}  // namespace

bool QtDialogs::ConfirmOverwrite(QWidget* parent) {
    QMessageBox box(QMessageBox::Critical, Text(kOverwriteTitle), Text(kOverwriteQuestion),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtDialogs::ChooseTrackFile(QWidget* parent, const QString& folder) {
    const QString start = !folder.isEmpty() && QDir(folder).exists() ? folder : QDir::homePath();
    QFileDialog dialog(parent, "Save Track File", start,
                       "Track files (" + Text(kTrackFileFilter) + ")");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(Text(kTrackFileSuffix));
    dialog.selectFile(Text(kProposedTrackName));
    // The save command asks its own overwrite question.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    FollowNightMode(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first();
}

std::optional<QString> QtDialogs::ChooseEphemerisFile(QWidget* parent, const QString& folder) {
    const QString start = !folder.isEmpty() && QDir(folder).exists() ? folder : QDir::homePath();
    QFileDialog dialog(parent, "Open Ephemeris", start,
                       "Ephemerides (*.txt *.csv *.json *.html *.htm);;All files (*)");
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    FollowNightMode(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first();
}

std::optional<QString> QtDialogs::ChooseFrameFile(QWidget* parent, const QString& folder) {
    const QString start = !folder.isEmpty() && QDir(folder).exists() ? folder : QDir::homePath();
    QFileDialog dialog(parent, "Calibrate from a Frame", start,
                       "FITS images (*.fits *.fit *.fts *.FITS *.FIT *.FTS);;All files (*)");
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first();
}

std::optional<QString> QtDialogs::FetchFromHorizons(QWidget* parent, const QString& folder) {
    return HorizonsFetchDialog::Run(parent, folder);
}

std::optional<QString> QtDialogs::ChooseImageFile(QWidget* parent, const QString& folder) {
    const QString start = !folder.isEmpty() && QDir(folder).exists() ? folder : QDir::homePath();
    QFileDialog dialog(parent, "Export Picture", start, "PNG image (*.png);;SVG drawing (*.svg)");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("png");
    dialog.selectFile("Track.png");
    FollowNightMode(dialog);
    // The suffix follows the type chosen, so the file is what its name says.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog](const QString& filter) {
                         dialog.setDefaultSuffix(filter.contains("svg") ? "svg" : "png");
                     });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first();
}
