#pragma once

#include <QString>

namespace Pelindra::Links {

// Text from a peer or a settings file as it can be shown: control characters, line and
// paragraph separators and the marks that reverse the writing direction become \xNN or
// \uNNNN, so a message cannot clear a terminal, break a line or hide its own end.
[[nodiscard]] QString Escaped(const QString& text);

}  // namespace Pelindra::Links
