#pragma once

// Numbers as the user reads them: by a display pattern of the program's
// fields, and in general form. (The bytes of an N column are numbertext.h's.)

#include <QChar>
#include <QString>

namespace emlo {

// Formats a number by a pattern of the kind "############0.000" or
// "###########0.000####": "0" a digit always written, "#" a digit written when
// significant, "." the place of decimalSeparator, "," (anywhere in the integer
// part) digit grouping with groupSeparator. Rounds half away from zero on the
// value's shortest decimal form (so 2.0005 with three decimals gives 2.001).
// An empty pattern gives FloatToStr(value).
QString FormatFloat(const QString& pattern, double value, QChar decimalSeparator, QChar groupSeparator = QChar(u','));
// FormatFloat with the separators of QLocale::system().
QString FormatFloat(const QString& pattern, double value);

// The general form of a number (up to 15 significant digits, no trailing
// zeros, exponent only for very large or small values) with the decimal
// separator of QLocale::system() (or the one given).
QString FloatToStr(double value);
QString FloatToStr(double value, QChar decimalSeparator);

// The decimal separator of QLocale::system() ("." when it has none).
QChar systemDecimalPoint();

}  // namespace emlo
