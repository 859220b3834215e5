#pragma once

#include <QChar>
#include <QString>

namespace emlo {

// Rules of the attributes page that need no window: which characters the
// registry-code box takes, and the range checks of the coordinate boxes.

// True for the characters the registry-code box passes on: Backspace (code 8)
// and the digits "0" to "9". Every other typed character, control characters
// included (Ctrl+C, Ctrl+V, Escape), is discarded with the beep.
bool RegistryCodeAccepts(QChar ch);

// The checks run when a coordinate box commits its text. Returns the message
// to show, or an empty string when the text may be written.
//   fieldName: the box's data field, "X1"/"Y1" (degrees of latitude and
//              longitude) or "X2", "X3", "Y2", "Y3" (minutes and seconds),
//              compared without regard to letter case.
//   text:      the box's text; an empty text passes (the commit clears the field).
// Latitude degrees lie in 44..52, longitude degrees in 21..48, minutes and
// seconds in 0..59; text that is not a whole number gives "Повина бути цілим числом.".
QString CoordinateError(const QString& fieldName, const QString& text);

// Help topic of the coordinate messages.
inline constexpr int kCoordinateHelpTopic = 20008;

}  // namespace emlo
