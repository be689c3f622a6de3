#pragma once

#include <QMainWindow>
#include <QStatusBar>
#include <QString>

#include "ui/StatusArea.h"

// The whole message on the main window's status line; empty while the line is hidden.
inline QString StatusMessage(const QMainWindow* form) {
    const auto* line = form ? form->findChild<StatusArea*>("StatusLine") : nullptr;
    if (!line || form->statusBar()->isHidden()) return {};
    return line->message();
}

// Every message of the session, as View > Messages lists it.
inline QStringList StatusHistory(const QMainWindow* form) {
    const auto* line = form ? form->findChild<StatusArea*>("StatusLine") : nullptr;
    return line ? line->history() : QStringList();
}
