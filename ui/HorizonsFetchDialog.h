#pragma once

#include <QString>
#include <optional>

class QWidget;

// The dialog that asks for a JPL Horizons query, fetches it with progress and a cancel
// button, and saves the reply as a file.
class HorizonsFetchDialog {
  public:
    // Runs the whole exchange modally; the saved file, or nullopt when cancelled or failed
    // (after saying why).
    static std::optional<QString> Run(QWidget* parent, const QString& folder);
};
