#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

#include "store/errors.h"

namespace emlo::print {

/// Error raised by the report engine while it loads a template or prepares a
/// report: a bad expression, an unknown field or data source. Its Message is
/// the text shown to the user, as for every error a command catches.
class TfrError : public Exception {
public:
    using Exception::Exception;
};

/// A value met while evaluating a box text: a text, a number, a date or a
/// truth value. Null numeric fields arrive here already as the number 0.
struct TfrValue {
    enum class Kind { Text, Number, Date, Bool };

    Kind kind = Kind::Text;
    QString text;
    double number = 0;
    QDate date;
    bool flag = false;

    static TfrValue fromText(QString s)
    {
        TfrValue v;
        v.kind = Kind::Text;
        v.text = std::move(s);
        return v;
    }
    static TfrValue fromNumber(double d)
    {
        TfrValue v;
        v.kind = Kind::Number;
        v.number = d;
        return v;
    }
    static TfrValue fromDate(QDate d)
    {
        TfrValue v;
        v.kind = Kind::Date;
        v.date = d;
        return v;
    }
    static TfrValue fromBool(bool b)
    {
        TfrValue v;
        v.kind = Kind::Bool;
        v.flag = b;
        return v;
    }

    bool isNumber() const { return kind == Kind::Number; }
};

/// How a box writes numbers: the general form with the locale's decimal
/// separator, or a fixed pattern such as "##########0.000" with its own
/// separator.
struct TfrNumberFormat {
    QString pattern;           ///< empty: general form
    QString decimalSeparator;  ///< empty: the locale's separator
};

/// Writes a number in general form: up to 15 significant digits, no trailing
/// zeros, a separator only when there are decimals; fixed notation from
/// 0.00001 up to 15 integer digits, scientific notation ("1.5E-7", "1E20")
/// outside that range.
QString FormatGeneral(double value, const QString& decimalSeparator);

/// Writes a number by a pattern of '#', '0', '.' and ',' (grouping) such as
/// "##########0.000": the count of '0' before the point is the least number of
/// integer digits, the characters after it the decimals (rounded half away
/// from zero on the number's shortest decimal form, so 0.0005 gives 0.001).
QString FormatPattern(double value, const QString& pattern, const QString& decimalSeparator);

/// Turns a value into the text a box prints: texts unchanged, numbers by the
/// format (general form with the locale's separator when the format is
/// empty), dates in the locale's short form, truth values as "True"/"False".
QString ValueToText(const TfrValue& value, const TfrNumberFormat& format, const QLocale& locale);

}  // namespace emlo::print
