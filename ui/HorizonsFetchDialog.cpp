#include "ui/HorizonsFetchDialog.h"

std::optional<QString> HorizonsFetchDialog::Run(QWidget*, const QString&) {
    return std::nullopt;
}
