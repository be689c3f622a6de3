#include "ui/TrackPreview.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/AtomicFile.h"
#include "ui/Dialogs.h"

using namespace Pelindra::Preview;

namespace {

QString Text(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TrackPreviewCanvas::TrackPreviewCanvas(QWidget* parent) : QWidget(parent) {
    setObjectName("canvas");
    // Every repaint covers the whole area, so nothing is cleared first and nothing flickers.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void TrackPreviewCanvas::showPath(PathGeometry path) {
    picture_.emplace(std::move(path));
    message_.clear();
    setAccessibleDescription(Text(TotalsText(picture_->path(), style().decimalSeparator)));
    update();
}

void TrackPreviewCanvas::showMessage(const QString& text) {
    picture_.reset();
    message_ = text;
    setAccessibleDescription(text);
    update();
}

PictureStyle TrackPreviewCanvas::style() const {
    return {palette(), font(), QLocale().decimalPoint().toStdString()};
}

QSize TrackPreviewCanvas::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    return {metrics.averageCharWidth() * 96, metrics.height() * 32};
}

QSize TrackPreviewCanvas::minimumSizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    return {metrics.averageCharWidth() * 44, metrics.height() * 16};
}

void TrackPreviewCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (picture_) {
        picture_->paint(painter, rect(), style());
    } else {
        PaintMessage(painter, rect(), style(), message_);
    }
}

TrackPreview::TrackPreview(Source source, Dialogs& dialogs, QWidget* owner)
    : QWidget(owner, Qt::Window), source_(std::move(source)), dialogs_(dialogs) {
    setObjectName("TrackPreview");
    setWindowTitle("Track Preview");
    canvas_ = new TrackPreviewCanvas(this);
    canvas_->setAccessibleName("Path of the guide point");
    export_ = new QPushButton("&Export...");
    export_->setObjectName("export");
    export_->setToolTip("Save this picture as a PNG image or an SVG drawing");
    close_ = new QPushButton("&Close");
    close_->setObjectName("close");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(export_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(canvas_, 1);
    layout->addLayout(buttons);

    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(0);
    connect(&refreshTimer_, &QTimer::timeout, this, &TrackPreview::refresh);
    connect(export_, &QPushButton::clicked, this, &TrackPreview::exportClicked);
    connect(close_, &QPushButton::clicked, this, &TrackPreview::close);
}

void TrackPreview::inputsChanged() {
    if (isVisible()) refreshTimer_.start();
}

const PathGeometry* TrackPreview::path() const {
    const PathPicture* picture = canvas_->picture();
    return picture ? &picture->path() : nullptr;
}

void TrackPreview::showEvent(QShowEvent* event) {
    // Changes made while the window was closed were not followed.
    refresh();
    QWidget::showEvent(event);
}

void TrackPreview::keyPressEvent(QKeyEvent* event) {
    // A window of its own, but one to glance at: Escape closes it as it closes a dialog.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TrackPreview::refresh() {
    refreshTimer_.stop();
    auto path = PathFor(source_());
    if (auto* problem = std::get_if<std::string>(&path)) {
        canvas_->showMessage("No path to show: " + Text(*problem));
        return;
    }
    canvas_->showPath(std::get<PathGeometry>(std::move(path)));
}

void TrackPreview::exportClicked() {
    const PathPicture* picture = canvas_->picture();
    if (!picture) {
        dialogs_.ShowError(this, canvas_->message());
        return;
    }
    const QString folder =
        exportFolder_.isEmpty() ? Text(source_().params.Directory) : exportFolder_;
    const std::optional<QString> file = dialogs_.ChooseImageFile(this, folder);
    if (!file) return;
    const std::optional<PictureFormat> format = PictureFormatFor(*file);
    if (!format) {
        dialogs_.ShowError(
            this, "Cannot save the picture \"" + *file + "\": its name must end in .png or .svg");
        return;
    }
    const auto bytes = PictureBytes(*picture, *format, canvas_->size(), canvas_->style());
    if (const auto* problem = std::get_if<std::string>(&bytes)) {
        dialogs_.ShowError(this, "Cannot save the picture \"" + *file + "\": " + Text(*problem));
        return;
    }
    const QByteArray& data = std::get<QByteArray>(bytes);
    if (const auto error = Pelindra::Core::WriteFileAtomically(
            file->toStdString(), std::string_view(data.constData(), std::size_t(data.size())))) {
        dialogs_.ShowError(this, "Cannot write the picture \"" + *file + "\": " + Text(*error));
        return;
    }
    exportFolder_ = QFileInfo(*file).absolutePath();
    emit exported(*file);
}
