#include "frvalue.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace emlo::print {

using namespace Qt::StringLiterals;

namespace {

struct Digits {
    std::string digits;  // significant digits, no trailing zeros, at least one
    int exponent = 0;    // power of ten of the first digit
};

// The number rounded to 15 significant digits, as digits and exponent.
Digits significantDigits(double magnitude)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", magnitude);
    std::string s(buf);
    const auto e = s.find('e');
    Digits d;
    d.digits = s.substr(0, 1) + s.substr(2, e - 2);
    d.exponent = std::stoi(s.substr(e + 1));
    while (d.digits.size() > 1 && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

// Adds one unit in the last place of a string of decimal digits; returns
// true when it carried out of the first digit.
bool incrementDigits(std::string& digits)
{
    for (auto i = digits.size(); i-- > 0;) {
        if (digits[i] == '9') {
            digits[i] = '0';
        } else {
            ++digits[i];
            return false;
        }
    }
    return true;
}

QString specialValue(double value)
{
    if (std::isnan(value))
        return u"NAN"_s;
    return value < 0 ? u"-INF"_s : u"INF"_s;
}

}  // namespace

QString FormatGeneral(double value, const QString& decimalSeparator)
{
    if (!std::isfinite(value))
        return specialValue(value);
    if (value == 0)
        return u"0"_s;

    const Digits d = significantDigits(std::fabs(value));
    QString out = value < 0 ? u"-"_s : QString();
    const QString digits = QString::fromLatin1(d.digits.data(), qsizetype(d.digits.size()));

    const bool fixed = d.exponent < 15 && d.exponent >= -5;
    if (!fixed) {
        out += digits.left(1);
        if (digits.size() > 1)
            out += decimalSeparator + digits.mid(1);
        return out + u'E' + QString::number(d.exponent);
    }
    if (d.exponent >= 0) {
        const qsizetype intDigits = d.exponent + 1;
        out += digits.left(intDigits);
        if (digits.size() < intDigits)
            out += QString(intDigits - digits.size(), u'0');
        if (digits.size() > intDigits)
            out += decimalSeparator + digits.mid(intDigits);
        return out;
    }
    return out + u'0' + decimalSeparator + QString(-d.exponent - 1, u'0') + digits;
}

QString FormatPattern(double value, const QString& pattern, const QString& decimalSeparator)
{
    if (!std::isfinite(value))
        return specialValue(value);

    const qsizetype point = pattern.indexOf(u'.');
    const QString intPattern = point < 0 ? pattern : pattern.left(point);
    const QString fracPattern = point < 0 ? QString() : pattern.mid(point + 1);
    const auto minInt = qMax<qsizetype>(intPattern.count(u'0'), 0);
    const qsizetype maxDecimals = fracPattern.count(u'0') + fracPattern.count(u'#');
    const qsizetype minDecimals = fracPattern.count(u'0');

    // Round the shortest decimal form of the number, not its binary value, so
    // that an amount entered as 0.0005 rounds up as its writer expects.
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed);
    std::string text(buf, res.ptr);
    const auto dot = text.find('.');
    std::string intDigits = dot == std::string::npos ? text : text.substr(0, dot);
    std::string frac = dot == std::string::npos ? std::string() : text.substr(dot + 1);

    const auto keep = static_cast<std::size_t>(maxDecimals);
    if (frac.size() > keep) {
        const bool roundUp = frac[keep] >= '5';
        frac.resize(keep);
        if (roundUp) {
            std::string all = intDigits + frac;
            if (incrementDigits(all))
                all.insert(all.begin(), '1');
            intDigits = all.substr(0, all.size() - keep);
            frac = all.substr(all.size() - keep);
        }
    }
    frac.resize(keep, '0');
    while (frac.size() > static_cast<std::size_t>(minDecimals) && frac.back() == '0')
        frac.pop_back();

    intDigits.erase(0, intDigits.find_first_not_of('0'));
    if (intDigits.size() < static_cast<std::size_t>(minInt))
        intDigits.insert(0, static_cast<std::size_t>(minInt) - intDigits.size(), '0');

    const bool allZero =
        intDigits.find_first_not_of('0') == std::string::npos && frac.find_first_not_of('0') == std::string::npos;
    QString out = value < 0 && !allZero ? u"-"_s : QString();
    out += QString::fromLatin1(intDigits.data(), qsizetype(intDigits.size()));
    if (!frac.empty())
        out += decimalSeparator + QString::fromLatin1(frac.data(), qsizetype(frac.size()));
    return out;
}

QString ValueToText(const TfrValue& value, const TfrNumberFormat& format, const QLocale& locale)
{
    switch (value.kind) {
    case TfrValue::Kind::Text: return value.text;
    case TfrValue::Kind::Number: {
        const QString sep = format.decimalSeparator.isEmpty() ? locale.decimalPoint() : format.decimalSeparator;
        return format.pattern.isEmpty() ? FormatGeneral(value.number, sep)
                                        : FormatPattern(value.number, format.pattern, sep);
    }
    case TfrValue::Kind::Date: return locale.toString(value.date, QLocale::ShortFormat);
    case TfrValue::Kind::Bool: return value.flag ? u"True"_s : u"False"_s;
    }
    return QString();
}

}  // namespace emlo::print
