#include "ui/UtcTimeEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>

#include "ephemeris/UtcTime.h"

UtcTimeEdit::UtcTimeEdit(QWidget* parent) : QDateTimeEdit(parent) {
    setTimeSpec(Qt::UTC);
    setDisplayFormat("yyyy-MM-dd HH:mm:ss");
}

bool UtcTimeEdit::takeWhole(const QString& text) {
    const std::optional<Pelindra::Ephemeris::UtcMs> time =
        Pelindra::Ephemeris::ParseUtcTime(text.trimmed().toStdString());
    if (!time) return false;
    typed_.reset();
    setDateTime(QDateTime::fromMSecsSinceEpoch(*time, Qt::UTC));
    // The text may already show this time, and then setting it would not redraw it.
    lineEdit()->setText(textFromDateTime(dateTime()));
    return true;
}

void UtcTimeEdit::showTyped() {
    lineEdit()->setText(*typed_);
}

void UtcTimeEdit::finishTyping() {
    if (!typed_) return;
    const QString text = *typed_;
    if (takeWhole(text)) return;
    typed_.reset();
    lineEdit()->setText(textFromDateTime(dateTime()));
    emit wholeTimeRefused(text);
}

void UtcTimeEdit::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        const QString pasted = QApplication::clipboard()->text();
        if (!typed_ && takeWhole(pasted)) return;
        if (typed_) {
            typed_->append(pasted.simplified());
            showTyped();
            return;
        }
        QDateTimeEdit::keyPressEvent(event);
        return;
    }
    const QString text = event->text();
    const bool printable = !text.isEmpty() && text.front().isPrint() &&
                           !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (typed_) {
        switch (event->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                finishTyping();
                return;
            case Qt::Key_Escape:
                typed_.reset();
                lineEdit()->setText(textFromDateTime(dateTime()));
                return;
            case Qt::Key_Backspace:
                typed_->chop(1);
                showTyped();
                return;
            default:
                if (printable) {
                    typed_->append(text);
                    showTyped();
                }
                return;
        }
    }
    // Typing over the whole text starts a whole time; over one part, it edits that part.
    QLineEdit* line = lineEdit();
    if (printable && line->hasSelectedText() && line->selectedText() == line->text()) {
        typed_ = text;
        showTyped();
        return;
    }
    QDateTimeEdit::keyPressEvent(event);
}

void UtcTimeEdit::focusOutEvent(QFocusEvent* event) {
    finishTyping();
    QDateTimeEdit::focusOutEvent(event);
}

bool UtcTimeEdit::focusNextPrevChild(bool next) {
    finishTyping();
    return QWidget::focusNextPrevChild(next);
}

QValidator::State UtcTimeEdit::validate(QString& input, int& pos) const {
    // A whole time being typed is checked when it is finished, not letter by letter.
    if (typed_) return QValidator::Intermediate;
    return QDateTimeEdit::validate(input, pos);
}
