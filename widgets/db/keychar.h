#pragma once

#include <optional>

#include <QChar>
#include <QString>

class QKeyEvent;

namespace emlo {

// The character a key press types, as a character-handling control sees it:
// printable text, and the control characters Backspace (8), Enter (13),
// Escape (27) and Ctrl+letter (Ctrl+A = 1 ... Ctrl+Z = 26). Keys that type no
// character (Delete, arrows, Tab, function keys) give nothing.
std::optional<QChar> TypedChar(const QKeyEvent* event);

// True for a typed character that is text rather than a control character.
inline bool IsPrintable(QChar ch)
{
    return ch.unicode() >= 32 && ch.unicode() != 127;
}

// Qt's input mask for an edit mask written as "mask;save literals;blank",
// e.g. "99;0;_" (two optional digits, "_" for an unfilled position).
QString QtInputMask(const QString& editMask);

}  // namespace emlo
