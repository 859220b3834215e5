#include "numberformat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include <QLocale>

namespace emlo {

QChar systemDecimalPoint()
{
    const QString point = QLocale::system().decimalPoint();
    return point.isEmpty() ? QChar(u'.') : point.at(0);
}

namespace {

QChar systemGroupSeparator()
{
    const QString sep = QLocale::system().groupSeparator();
    return sep.isEmpty() ? QChar(u',') : sep.at(0);
}

// A finite non-negative number as decimal digits with the place of the
// decimal point: value = 0.d1d2d3... * 10^pointPos. At most 15 significant
// digits, so that a value keeps the decimal form it was entered with.
struct Decimal {
    std::string digits;  // no leading zeros; empty for zero
    int pointPos = 0;
};

Decimal toDecimal(double value)
{
    Decimal dec;
    if (value == 0.0)
        return dec;
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    const std::string text(buf, res.ptr);
    const auto ePos = text.find('e');
    std::string mantissa = text.substr(0, ePos);
    const int exponent = std::stoi(text.substr(ePos + 1));
    mantissa.erase(std::remove(mantissa.begin(), mantissa.end(), '.'), mantissa.end());
    while (!mantissa.empty() && mantissa.back() == '0')
        mantissa.pop_back();
    dec.digits = mantissa;
    dec.pointPos = exponent + 1;
    return dec;
}

// Rounds half away from zero to `decimals` digits after the point.
void roundTo(Decimal& dec, int decimals)
{
    const int keep = dec.pointPos + decimals;  // digits that stay
    if (keep >= static_cast<int>(dec.digits.size()))
        return;
    if (keep < 0) {
        dec.digits.clear();
        dec.pointPos = 0;
        return;
    }
    const bool up = dec.digits[static_cast<std::size_t>(keep)] >= '5';
    dec.digits.resize(static_cast<std::size_t>(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && dec.digits[static_cast<std::size_t>(i)] == '9') {
            dec.digits[static_cast<std::size_t>(i)] = '0';
            --i;
        }
        if (i < 0) {
            dec.digits.insert(dec.digits.begin(), '1');
            ++dec.pointPos;
        } else {
            ++dec.digits[static_cast<std::size_t>(i)];
        }
    }
    while (!dec.digits.empty() && dec.digits.back() == '0')
        dec.digits.pop_back();
    if (dec.digits.empty())
        dec.pointPos = 0;
}

// Digit at position i of the decimal (i = 0 is the first digit after the
// point, negative positions are integer digits: -1 units, -2 tens, ...).
char digitAt(const Decimal& dec, int i)
{
    const int index = dec.pointPos + i;
    if (index < 0 || index >= static_cast<int>(dec.digits.size()))
        return '0';
    return dec.digits[static_cast<std::size_t>(index)];
}

QString groupDigits(const QString& digits, QChar groupSeparator)
{
    QString out;
    const int n = static_cast<int>(digits.size());
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out.append(groupSeparator);
        out.append(digits.at(i));
    }
    return out;
}

}  // namespace

QString FormatFloat(const QString& pattern, double value, QChar decimalSeparator, QChar groupSeparator)
{
    if (pattern.isEmpty())
        return FloatToStr(value, decimalSeparator);
    if (!std::isfinite(value))
        return FloatToStr(value, decimalSeparator);
    const QString section = pattern.section(u';', 0, 0);
    const int point = section.indexOf(u'.');
    const QString intPart = point < 0 ? section : section.left(point);
    const QString fracPart = point < 0 ? QString() : section.mid(point + 1);

    int minInt = 0;
    bool seenZero = false;
    for (QChar ch : intPart) {
        if (ch == u'0')
            seenZero = true;
        if (seenZero && (ch == u'0' || ch == u'#'))
            ++minInt;
    }
    const bool grouping = intPart.contains(u',');
    int minFrac = 0;
    int maxFrac = 0;
    for (QChar ch : fracPart) {
        if (ch == u'0' || ch == u'#') {
            ++maxFrac;
            if (ch == u'0')
                minFrac = maxFrac;
        }
    }

    Decimal dec = toDecimal(std::fabs(value));
    roundTo(dec, maxFrac);

    QString intDigits;
    for (int i = -std::max(dec.pointPos, minInt); i < 0; ++i)
        intDigits.append(QChar::fromLatin1(digitAt(dec, i)));
    while (intDigits.size() > minInt && intDigits.startsWith(u'0'))
        intDigits.remove(0, 1);
    if (grouping)
        intDigits = groupDigits(intDigits, groupSeparator);

    int fracCount = std::max(0, static_cast<int>(dec.digits.size()) - dec.pointPos);
    fracCount = std::clamp(fracCount, minFrac, maxFrac);
    QString fracDigits;
    for (int i = 0; i < fracCount; ++i)
        fracDigits.append(QChar::fromLatin1(digitAt(dec, i)));

    QString out;
    if (value < 0 && !dec.digits.empty())
        out.append(u'-');
    out.append(intDigits);
    if (!fracDigits.isEmpty()) {
        out.append(decimalSeparator);
        out.append(fracDigits);
    }
    return out;
}

QString FormatFloat(const QString& pattern, double value)
{
    return FormatFloat(pattern, value, systemDecimalPoint(), systemGroupSeparator());
}

QString FloatToStr(double value, QChar decimalSeparator)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    const Decimal dec = toDecimal(std::fabs(value));
    if (dec.digits.empty())
        return QStringLiteral("0");
    QString out;
    if (value < 0)
        out.append(u'-');
    const int exponent = dec.pointPos - 1;
    if (exponent < -5 || exponent >= 15) {
        out.append(QChar::fromLatin1(dec.digits[0]));
        if (dec.digits.size() > 1) {
            out.append(decimalSeparator);
            out.append(QString::fromLatin1(dec.digits.substr(1)));
        }
        out.append(u'E');
        if (exponent < 0)
            out.append(u'-');
        out.append(QString::number(std::abs(exponent)));
        return out;
    }
    if (dec.pointPos <= 0) {
        out.append(u'0');
        out.append(decimalSeparator);
        out.append(QString(-dec.pointPos, u'0'));
        out.append(QString::fromLatin1(dec.digits));
        return out;
    }
    for (int i = -dec.pointPos; i < 0; ++i)
        out.append(QChar::fromLatin1(digitAt(dec, i)));
    if (static_cast<int>(dec.digits.size()) > dec.pointPos) {
        out.append(decimalSeparator);
        out.append(QString::fromLatin1(dec.digits.substr(static_cast<std::size_t>(dec.pointPos))));
    }
    return out;
}

QString FloatToStr(double value)
{
    return FloatToStr(value, systemDecimalPoint());
}

}  // namespace emlo
