#include "numberformat.h"

#include <charconv>
#include <cmath>
#include <string>

namespace emlo {

namespace {

// What a digit pattern asks for, read once per call.
struct DigitPattern {
    QString prefix;
    QString suffix;
    int minIntegerDigits = 0;
    int minDecimals = 0;
    int maxDecimals = 0;
    bool grouping = false;
};

// A non-negative decimal number: `digits` with the decimal point after the
// first `pointPos` of them (pointPos may lie outside the digits).
struct Decimal {
    std::string digits;
    int pointPos = 0;
};

bool isPlaceholder(QChar c)
{
    return c == QLatin1Char('0') || c == QLatin1Char('#');
}

DigitPattern parsePattern(const QString& pattern)
{
    DigitPattern p;
    bool seenPlaceholder = false;
    bool inFraction = false;
    bool forcedInteger = false;
    QString pendingLiteral;
    QChar quote;
    for (const QChar c : pattern) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            else
                pendingLiteral += c;
            continue;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
            continue;
        }
        if (c == QLatin1Char(';'))
            break; // only the section for positive values is used
        if (isPlaceholder(c)) {
            if (!seenPlaceholder)
                p.prefix = pendingLiteral;
            pendingLiteral.clear();
            seenPlaceholder = true;
            if (inFraction) {
                ++p.maxDecimals;
                if (c == QLatin1Char('0'))
                    p.minDecimals = p.maxDecimals;
            } else {
                forcedInteger = forcedInteger || c == QLatin1Char('0');
                if (forcedInteger)
                    ++p.minIntegerDigits;
            }
        } else if (c == QLatin1Char('.') && !inFraction) {
            inFraction = true;
            pendingLiteral.clear();
        } else if (c == QLatin1Char(',') && !inFraction && seenPlaceholder) {
            p.grouping = true;
        } else {
            pendingLiteral += c;
        }
    }
    if (seenPlaceholder)
        p.suffix = pendingLiteral;
    else
        p.prefix = pendingLiteral;
    return p;
}

// Rounds half away from zero so that at most `decimals` digits follow the point.
void roundTo(Decimal& d, int decimals)
{
    // A leading zero leaves room for a carry out of the first digit.
    d.digits.insert(d.digits.begin(), '0');
    ++d.pointPos;
    const long long keep = static_cast<long long>(d.pointPos) + decimals;
    if (keep >= static_cast<long long>(d.digits.size()))
        return;
    if (keep <= 0) {
        d.digits.assign(1, '0');
        d.pointPos = 1;
        return;
    }
    const bool up = d.digits[static_cast<size_t>(keep)] >= '5';
    d.digits.resize(static_cast<size_t>(keep));
    if (!up)
        return;
    for (size_t i = d.digits.size(); i-- > 0;) {
        if (d.digits[i] != '9') {
            ++d.digits[i];
            return;
        }
        d.digits[i] = '0';
    }
}

QString groupDigits(const QString& digits, QChar separator)
{
    QString out;
    const qsizetype n = digits.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += separator;
        out += digits[i];
    }
    return out;
}

QString render(bool negative, Decimal d, const DigitPattern& p, const NumberSeparators& s)
{
    roundTo(d, p.maxDecimals);
    const int len = static_cast<int>(d.digits.size());

    std::string integer;
    for (int i = 0; i < d.pointPos; ++i)
        integer += i < len ? d.digits[static_cast<size_t>(i)] : '0';
    std::string fraction;
    for (int i = std::max(d.pointPos, 0) - d.pointPos; i > 0; --i)
        fraction += '0';
    for (int i = std::max(d.pointPos, 0); i < len; ++i)
        fraction += d.digits[static_cast<size_t>(i)];

    const auto firstNonZero = integer.find_first_not_of('0');
    integer = firstNonZero == std::string::npos ? std::string() : integer.substr(firstNonZero);
    const bool isZero = integer.empty() && fraction.find_first_not_of('0') == std::string::npos;
    if (static_cast<int>(integer.size()) < p.minIntegerDigits)
        integer.insert(0, static_cast<size_t>(p.minIntegerDigits) - integer.size(), '0');

    if (static_cast<int>(fraction.size()) > p.maxDecimals)
        fraction.resize(static_cast<size_t>(p.maxDecimals));
    while (static_cast<int>(fraction.size()) > p.minDecimals && fraction.back() == '0')
        fraction.pop_back();
    if (static_cast<int>(fraction.size()) < p.minDecimals)
        fraction.append(static_cast<size_t>(p.minDecimals) - fraction.size(), '0');

    QString text = QString::fromLatin1(integer.data(), static_cast<qsizetype>(integer.size()));
    if (p.grouping)
        text = groupDigits(text, s.group);
    if (!fraction.empty())
        text += s.decimal + QString::fromLatin1(fraction.data(), static_cast<qsizetype>(fraction.size()));
    if (negative && !isZero)
        text.prepend(QLatin1Char('-'));
    return p.prefix + text + p.suffix;
}

} // namespace

QString formatFloat(double value, const QString& pattern, const NumberSeparators& separators)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");

    // The shortest text that reads back as the same double: for a value read
    // from a table field this is the field's own decimal text.
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific);
    const std::string text(buf, res.ptr);
    const auto ePos = text.find('e');
    Decimal d;
    for (size_t i = 0; i < ePos; ++i) {
        if (text[i] != '.')
            d.digits += text[i];
    }
    d.pointPos = std::stoi(text.substr(ePos + 1)) + 1;
    return render(std::signbit(value), std::move(d), parsePattern(pattern), separators);
}

QString formatInteger(qint64 value, const QString& pattern, const NumberSeparators& separators)
{
    const unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                   : static_cast<unsigned long long>(value);
    Decimal d;
    d.digits = std::to_string(magnitude);
    d.pointPos = static_cast<int>(d.digits.size());
    return render(value < 0, std::move(d), parsePattern(pattern), separators);
}

} // namespace emlo
