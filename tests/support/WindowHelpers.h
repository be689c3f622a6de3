#pragma once

// Finding the program's windows and their controls on the offscreen platform.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QtTest>
#include <algorithm>

// Closed windows go with deleteLater; this lets them go before the next check.
inline void DeleteLaterNow() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The setup dialog is a top-level window of its own, found by name once it shows.
inline QWidget* VisibleSetupForm() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "SetupForm" && w->isVisible()) return w;
    return nullptr;
}

// Names of every window still on screen, to see which ones a command closed.
inline QStringList VisibleWindows() {
    QStringList names;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) names << w->objectName();
    return names;
}

// The focus after each of `count` Tab presses, starting from the focused control.
inline QStringList TabStops(qsizetype count) {
    QStringList seen;
    for (qsizetype i = 0; i < count; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << QApplication::focusWidget()->objectName();
    }
    return seen;
}

// A text box is announced by the label beside it, which is its buddy.
inline bool AnnouncedByBuddy(QWidget* window, QLineEdit* box, const QString& name) {
    const auto labels = window->findChildren<QLabel*>();
    return std::any_of(labels.begin(), labels.end(),
                       [&](QLabel* l) { return l->buddy() == box && l->text() == name; });
}
