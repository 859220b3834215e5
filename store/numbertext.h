#pragma once

// The text of a number in an N column, as the engine writes it: the C format
// "%*.*f" (the binary value rounded to the decimals, an exact tie to even),
// "." as the decimal point whatever the locale, never a "-" before a value
// that prints as zero. The table layer and the engine must agree byte for
// byte, or the same value would be stored two ways (and compare unequal in
// an index).

#include <QByteArray>

namespace emlo {

// Writes the value right-aligned in `width` bytes at `out`. False (nothing
// written) when the value is not finite or its text is wider than the column.
bool FormatNumberText(double value, int width, int decimals, char* out);

// The text alone, without padding; empty when the value is not finite.
QByteArray NumberText(double value, int decimals);

}  // namespace emlo
