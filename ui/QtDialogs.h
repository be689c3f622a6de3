#pragma once

#include "ui/Dialogs.h"

// The real message boxes and save-file chooser.
class QtDialogs : public Dialogs {
  public:
    void ShowError(QWidget* parent, const QString& text) override;
    bool ConfirmOverwrite(QWidget* parent) override;
    std::optional<QString> ChooseTrackFile(QWidget* parent, const QString& folder) override;
};
