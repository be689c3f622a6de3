#include "ui/StatusArea.h"

#include <QResizeEvent>

#include "ephemeris/UtcTime.h"

namespace {

// Messages hold one line; a line end from a peer's text would grow the line's height.
QString OneLine(QString text) {
    text.replace('\n', ' ');
    text.replace('\r', ' ');
    return text.simplified();
}

}  // namespace

StatusArea::StatusArea(Clock clock, QWidget* parent) : QLabel(parent), clock_(std::move(clock)) {
    setObjectName("StatusLine");
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void StatusArea::say(const QString& text) {
    record(text);
    message_ = OneLine(text);
    setToolTip(message_);
    setAccessibleDescription(message_);
    showElided();
}

void StatusArea::record(const QString& text) {
    const std::string time = Pelindra::Ephemeris::UtcTimeText(clock_());
    // The time of day with its seconds: the date is the session's.
    const QString line = QString::fromStdString(time.substr(11, 8)) + " UTC  " + OneLine(text);
    history_ << line;
    emit recorded(line);
}

QSize StatusArea::sizeHint() const {
    return {0, fontMetrics().height() + contentsMargins().top() + contentsMargins().bottom()};
}

QSize StatusArea::minimumSizeHint() const {
    return sizeHint();
}

void StatusArea::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    showElided();
}

void StatusArea::showElided() {
    const int room = contentsRect().width();
    setText(fontMetrics().elidedText(message_, Qt::ElideRight, room > 0 ? room : 0));
}
