#pragma once

#include <QRadioButton>

// An option button's handler runs when it becomes selected, by a click, the keyboard or
// the program; becoming unselected runs nothing.
template <typename Handler>
void OnSelected(QRadioButton* option, QObject* context, Handler handler) {
    QObject::connect(option, &QRadioButton::toggled, context, [handler](bool selected) {
        if (selected) handler();
    });
}

// Tab enters a pair of option buttons at the selected one (Qt would pick the one that
// last had the focus). Call after the focus has moved.
inline void FocusSelectedOption(QWidget* focused) {
    auto* option = qobject_cast<QRadioButton*>(focused);
    if (!option || option->isChecked() || !option->autoExclusive()) return;
    for (auto* sibling : option->parentWidget()->findChildren<QRadioButton*>(
             QString(), Qt::FindDirectChildrenOnly)) {
        if (sibling->isChecked()) sibling->setFocus(Qt::TabFocusReason);
    }
}
