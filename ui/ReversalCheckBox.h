#pragma once

#include <QCheckBox>
#include <cstdint>

// A reversal flag as a check box: 0 unchecked, 1 checked, 2 grayed. The grayed state only
// shows a stored 2; a click toggles between unchecked and checked.
class ReversalCheckBox : public QCheckBox {
    Q_OBJECT

  public:
    using QCheckBox::QCheckBox;

    // Values outside 0..2 mean "not reversed" and show unchecked.
    void SetFlag(std::int16_t flag);
    std::int16_t Flag() const;

  protected:
    void nextCheckState() override;
};
