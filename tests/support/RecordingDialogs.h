#pragma once

// One stand-in for the program's modal boxes and file chooser, shared by the window tests.
#include <QList>
#include <QStringList>
#include <optional>

#include "tests/support/WindowHelpers.h"
#include "ui/Dialogs.h"

// Records every box instead of showing it; the chooser and the question answer as scripted.
class RecordingDialogs : public Dialogs {
  public:
    void ShowError(QWidget* parent, const QString& text) override {
        errors << text;
        errorParents << parent;
        setupOpenAtError << (VisibleSetupForm() != nullptr);
    }
    bool ConfirmOverwrite(QWidget*) override {
        ++questions;
        return answer;
    }
    std::optional<QString> ChooseTrackFile(QWidget*, const QString& folder) override {
        chooserFolders << folder;
        return chosen;
    }

    std::optional<QString> ChooseEphemerisFile(QWidget*, const QString& folder) override {
        ephemerisChooserFolders << folder;
        return ephemerisChosen;
    }
    std::optional<QString> FetchFromHorizons(QWidget*, const QString& folder) override {
        fetchFolders << folder;
        return fetched;
    }
    std::optional<QString> ChooseImageFile(QWidget*, const QString& folder) override {
        imageChooserFolders << folder;
        return imageChosen;
    }

    QStringList errors;
    QList<QWidget*> errorParents;
    QList<bool> setupOpenAtError;  // tells whether the dialog went before the main window
    bool answer = false;           // to "Output file exists, overwrite?"
    int questions = 0;
    QStringList chooserFolders;
    std::optional<QString> chosen;  // nullopt: the chooser is cancelled
    QStringList ephemerisChooserFolders;
    std::optional<QString> ephemerisChosen;  // nullopt: that chooser is cancelled
    QStringList fetchFolders;
    std::optional<QString> fetched;  // the file a Horizons query saved; nullopt: none
    QStringList imageChooserFolders;
    std::optional<QString> imageChosen;  // nullopt: the picture chooser is cancelled
};
