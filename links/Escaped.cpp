#include "links/Escaped.h"

namespace Pelindra::Links {

namespace {

bool Unsafe(char16_t c) {
    if (c < 0x20 || (c >= 0x7f && c < 0xa0)) return true;
    if (c == 0x2028 || c == 0x2029) return true;
    // Embeddings, overrides and isolates of the bidirectional algorithm.
    return (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069) || c == 0x200e ||
           c == 0x200f;
}

}  // namespace

QString Escaped(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (!Unsafe(code)) {
            shown += c;
        } else {
            const bool latin = code < 0x100;
            shown += latin ? "\\x" : "\\u";
            shown += QString::number(code, 16).toUpper().rightJustified(latin ? 2 : 4, '0');
        }
    }
    return shown;
}

}  // namespace Pelindra::Links
