#pragma once

// Rows of the added dialogs, laid out by Qt so that they follow the desktop's font and scale.
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QString>

#include "core/NumberReading.h"

// A caption's words without its access letter mark ("&&" stays a plain '&').
inline QString WithoutAccessMark(const QString& caption) {
    return QString(caption).remove(QRegularExpression("&(?!&)"));
}

// A caption for `field`, which is its buddy: Alt and the access letter reach the field, and
// screen readers announce the caption with it. A tip goes on both.
inline QLabel* Caption(const char* name, const QString& text, QWidget* field,
                       const QString& toolTip = {}) {
    auto* label = new QLabel(text);
    label->setObjectName(name);
    label->setBuddy(field);
    field->setAccessibleName(WithoutAccessMark(text));
    if (!toolTip.isEmpty()) {
        label->setToolTip(toolTip);
        field->setToolTip(toolTip);
    }
    return label;
}

// A row of `form`: a captioned text box.
inline QLineEdit* AddTextRow(QFormLayout* form, const char* labelName, const QString& caption,
                             const char* boxName, const QString& toolTip) {
    auto* box = new QLineEdit;
    box->setObjectName(boxName);
    form->addRow(Caption(labelName, caption, box, toolTip), box);
    return box;
}

// Controls without a caption of their own (option buttons, check boxes), in the field column.
inline void AddFieldRow(QFormLayout* form, QLayout* field) {
    form->setLayout(form->rowCount(), QFormLayout::FieldRole, field);
}

// A button of a dialog's button box, under the name it has always had.
inline QPushButton* AddButton(QDialogButtonBox* box, const QString& text,
                              QDialogButtonBox::ButtonRole role, const char* name) {
    QPushButton* button = box->addButton(text, role);
    button->setObjectName(name);
    return button;
}

// Tab goes on from `last` to the button box's buttons in the order this desktop shows them
// (Cancel first on some, last on others), not in the order they were added.
inline void TabIntoButtons(QWidget* last, QDialogButtonBox* box) {
    QLayout* row = box->layout();
    for (int i = 0; row && i < row->count(); ++i) {
        QWidget* button = row->itemAt(i)->widget();
        if (!button || !(button->focusPolicy() & Qt::TabFocus)) continue;
        if (last) QWidget::setTabOrder(last, button);
        last = button;
    }
}

// The sentence for an entry that breaks its rule. `rule` ends a sentence ("the PHD2 port
// must be a whole number from 1 to 65535"); a text with no number in it is named first, as
// the rule alone would not tell what is wrong with it.
inline QString EntryMessage(const QString& typed, const QString& rule) {
    const QString text = typed.trimmed();
    const bool number =
        Pelindra::Core::ScanNumber(text.toStdString(), Pelindra::Core::DecimalMark::FullStopOrComma)
            .found;
    if (!text.isEmpty() && !number) return QString("\"%1\" is not a number: %2.").arg(text, rule);
    return rule.left(1).toUpper() + rule.mid(1) + '.';
}
