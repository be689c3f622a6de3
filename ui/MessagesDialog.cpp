#include "ui/MessagesDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/StatusArea.h"

MessagesDialog::MessagesDialog(StatusArea& status, QWidget* owner) : QDialog(owner) {
    setObjectName("MessagesDialog");
    setWindowTitle("Messages");
    lines_ = new QPlainTextEdit;
    lines_->setObjectName("messages");
    lines_->setReadOnly(true);
    lines_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    lines_->setPlainText(status.history().join('\n'));
    // As wide as a line of sixty characters, a dozen lines high; it grows with the font.
    const QFontMetrics metrics(lines_->font());
    lines_->setMinimumSize(60 * metrics.averageCharWidth(), 12 * metrics.lineSpacing());
    auto* caption = new QLabel("&Messages of this session, oldest first:");
    caption->setBuddy(lines_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setText("&Close");
    buttons->button(QDialogButtonBox::Close)->setObjectName("close");
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(lines_);
    layout->addWidget(buttons);

    connect(&status, &StatusArea::recorded, this,
            [this](const QString& line) { lines_->appendPlainText(line); });
    lines_->moveCursor(QTextCursor::End);
}
