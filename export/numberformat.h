#pragma once

#include <QChar>
#include <QString>

namespace emlo {

// The separators a number pattern is rendered with; the writer takes them from
// the user's locale at the start of each run.
struct NumberSeparators {
    QChar decimal = QLatin1Char('.');
    QChar group = QLatin1Char(',');
};

// Renders a value with a digit pattern of the kind "###########0.000####":
// "0" is a digit always written, "#" a digit written only when significant,
// the first "." marks the decimal separator and a "," before it asks for digit
// grouping. Other characters before the first or after the last digit
// placeholder are copied as they are. The value is rounded half away from zero
// at the last decimal placeholder, working on the shortest decimal text that
// reads back as the same double, so 2.00000005 rounds up as a user expects.
// A negative value gets a leading "-" unless it rounds to zero.
QString formatFloat(double value, const QString& pattern, const NumberSeparators& separators);

// The same for a whole number; exact for every 64-bit value.
QString formatInteger(qint64 value, const QString& pattern, const NumberSeparators& separators);

} // namespace emlo
