#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <initializer_list>

// Controls are placed at fixed positions, as the layouts were drawn.
template <typename Widget>
Widget* Place(QWidget* parent, const char* name, QRect geometry) {
    auto* widget = new Widget(parent);
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    return widget;
}

template <typename Widget>
Widget* PlaceCaptioned(QWidget* parent, const char* name, const char* caption, QRect geometry) {
    auto* widget = Place<Widget>(parent, name, geometry);
    widget->setText(caption);
    return widget;
}

// A text box with the label beside it as its buddy, so screen readers announce the caption.
// The tip says what the number is; on the box it is also what screen readers add after the
// caption.
inline QLineEdit* PlaceTextBox(QWidget* parent, const char* name, QLabel* label, QRect geometry,
                               const char* toolTip) {
    auto* box = Place<QLineEdit>(parent, name, geometry);
    label->setBuddy(box);
    box->setAccessibleName(label->text());
    label->setToolTip(toolTip);
    box->setToolTip(toolTip);
    return box;
}

// The focus order through a window, first to last.
inline void SetTabOrder(std::initializer_list<QWidget*> order) {
    QWidget* previous = nullptr;
    for (QWidget* widget : order) {
        if (previous) QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}
