#include "ui/EphemerisPaste.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>

#include "ephemeris/HorizonsReader.h"
#include "ephemeris/MpcReader.h"

EphemerisPaste::EphemerisPaste(QAction* pasteEphemeris, QObject* parent)
    : QObject(parent), pasteEphemeris_(pasteEphemeris) {}

bool EphemerisPaste::IsEphemeris(const QString& text) {
    // A line break that only ends the one line copied still makes a one-line paste.
    const QString lines = text.trimmed();
    if (lines.contains('\n') || lines.contains('\r')) return true;
    const std::string bytes = lines.toStdString();
    return Pelindra::Ephemeris::LooksLikeHorizons(bytes) ||
           Pelindra::Ephemeris::LooksLikeMpc(bytes);
}

bool EphemerisPaste::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste) &&
        IsEphemeris(QGuiApplication::clipboard()->text())) {
        pasteEphemeris_->trigger();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
