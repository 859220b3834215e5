#pragma once

#include <string>
#include <string_view>

// Numeric field text <-> double, independent of the process locale (the table layer
// runs inside a program that sets LC_NUMERIC from the user's settings).
namespace xb {

// Value of a numeric field's text: blanks around it are ignored; an all-blank field
// is 0 (and *blank is set when given); text that is not a number is 0.
double parseNumeric(std::string_view text, bool* blank = nullptr);

// Leading number of a text, as VAL() reads it: "12abc" is 12, "abc" is 0.
double parseLeadingNumber(std::string_view text);

// Writes value as "%*.*f" would, right-aligned in width bytes at out. Returns false
// (and writes nothing) when the text does not fit the width or the value is not finite.
bool formatNumeric(double value, int width, int decimals, char* out);

// The shortest text of a number for display (EvalString of a numeric expression).
std::string numberToText(double value, int decimals = -1);

}  // namespace xb
