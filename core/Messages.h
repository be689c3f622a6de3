#pragma once

#include <string>
#include <string_view>

namespace Pelindra::Core {

// Title of every error message box.
inline constexpr std::string_view kErrorTitle = "ERROR";
// Shown when a value does not fit its 32-bit field.
inline constexpr std::string_view kOverflowMessage = "Overflow";

// Modal message boxes, reached through this interface so the logic runs without a display.
class Messages {
  public:
    virtual ~Messages() = default;
    // A modal box titled "ERROR" with the text, only an OK button and no icon.
    virtual void ShowError(const std::string& text) = 0;
};

// The main window's two result labels.
class OffsetDisplay {
  public:
    virtual ~OffsetDisplay() = default;
    virtual void SetDeltaXCaption(const std::string& caption) = 0;
    virtual void SetDeltaYCaption(const std::string& caption) = 0;
};

}  // namespace Pelindra::Core
