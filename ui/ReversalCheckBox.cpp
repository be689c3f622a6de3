#include "ui/ReversalCheckBox.h"

void ReversalCheckBox::SetFlag(std::int16_t flag) {
    setTristate(flag == 2);
    setCheckState(flag == 2 ? Qt::PartiallyChecked : flag == 1 ? Qt::Checked : Qt::Unchecked);
}

std::int16_t ReversalCheckBox::Flag() const {
    switch (checkState()) {
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
        default:
            return 0;
    }
}

void ReversalCheckBox::nextCheckState() {
    const bool check = checkState() != Qt::Checked;
    setTristate(false);
    setCheckState(check ? Qt::Checked : Qt::Unchecked);
}
