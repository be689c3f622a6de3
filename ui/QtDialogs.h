#pragma once

#include "ui/Dialogs.h"

// The real message boxes, file choosers and Horizons query dialog.
class QtDialogs : public Dialogs {
  public:
    void ShowError(QWidget* parent, const QString& text) override;
    bool ConfirmOverwrite(QWidget* parent) override;
    std::optional<QString> ChooseTrackFile(QWidget* parent, const QString& folder) override;
    std::optional<QString> ChooseEphemerisFile(QWidget* parent, const QString& folder) override;
    std::optional<QString> ChooseFrameFile(QWidget* parent, const QString& folder) override;
    std::optional<QString> FetchFromHorizons(QWidget* parent, const QString& folder) override;
    std::optional<QString> ChooseImageFile(QWidget* parent, const QString& folder) override;
};
