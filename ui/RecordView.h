#pragma once

#include <cstdint>

#include "core/Messages.h"

// What the setup and camera dialogs need of the window that shows the offsets: where the
// recomputed offsets go, and whether the pier side still applies.
class RecordView {
  public:
    virtual ~RecordView() = default;
    virtual Pelindra::Core::OffsetDisplay& OffsetsShown() = 0;
    // Shows or hides the pier-side choice; hidden for a fork mount.
    virtual void ShowPierSideFor(std::int16_t mountType) = 0;
};
