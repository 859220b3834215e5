#include "exportnumber.h"

#include <array>
#include <charconv>
#include <cmath>

#include <QVarLengthArray>

#include "store/cp1251.h"

namespace emlo::registry {

namespace {

// Windows-1251 bytes that decode to a blank, as QString::trimmed sees it
// (the ASCII blanks and the no-break space 0xA0).
bool isCp1251Space(char byte)
{
    static const std::array<bool, 256> spaces = [] {
        std::array<bool, 256> table{};
        for (int b = 0; b < 256; ++b) {
            const char c = char(b);
            table[b] = fromCp1251(&c, 1).at(0).isSpace();
        }
        return table;
    }();
    return spaces[static_cast<unsigned char>(byte)];
}

bool isSpaceOf(QChar c)
{
    return c.isSpace();
}

bool isSpaceOf(char c)
{
    return isCp1251Space(c);
}

char16_t unitOf(QChar c)
{
    return c.unicode();
}

char16_t unitOf(char c)
{
    // A byte above ASCII is never a digit, a sign or a separator.
    return char16_t(static_cast<unsigned char>(c));
}

// The number grammar of ParseExportNumber over text (QChar) or over the
// file's Windows-1251 bytes (char), which give the same result.
template <typename Char> std::optional<double> parseExportNumber(const Char* begin, const Char* end, bool* ok)
{
    while (begin != end && isSpaceOf(*begin))
        ++begin;
    while (end != begin && isSpaceOf(end[-1]))
        --end;
    *ok = true;
    if (begin == end)
        return std::nullopt;
    const auto isDigit = [](Char c) { return unitOf(c) >= u'0' && unitOf(c) <= u'9'; };
    const Char* p = begin;
    if (unitOf(*p) == u'-' || unitOf(*p) == u'+')
        ++p;
    const Char* const intStart = p;
    while (p != end && isDigit(*p))
        ++p;
    bool valid = p != intStart;
    if (valid && p != end && (unitOf(*p) == u'.' || unitOf(*p) == u',')) {
        const Char* const fracStart = ++p;
        while (p != end && isDigit(*p))
            ++p;
        valid = p != fracStart;
    }
    if (!valid || p != end) {
        *ok = false;
        return std::nullopt;
    }
    // Up to 15 digits are an exact integer, divided by an exact power of
    // ten, which IEEE arithmetic rounds correctly: the value from_chars
    // gives, without its cost.
    static constexpr double powersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    qint64 mantissa = 0;
    int digits = 0;
    int decimals = 0;
    bool fraction = false;
    for (const Char* k = intStart; k != end && digits <= 15; ++k) {
        if (!isDigit(*k)) {
            fraction = true;
            continue;
        }
        mantissa = mantissa * 10 + (unitOf(*k) - u'0');
        ++digits;
        decimals += fraction ? 1 : 0;
    }
    if (digits <= 15) {
        const double value = double(mantissa) / powersOfTen[decimals];
        return unitOf(*begin) == u'-' ? -value : value;
    }
    // Only ASCII digits, a sign and one separator are left: converted as
    // they are, without the locale machinery of QString::toDouble.
    QVarLengthArray<char, 64> plain;
    for (const Char* k = unitOf(*begin) == u'+' ? begin + 1 : begin; k != end; ++k)
        plain.append(unitOf(*k) == u',' ? '.' : char(unitOf(*k)));
    double value = 0;
    const std::from_chars_result result = std::from_chars(plain.cbegin(), plain.cend(), value);
    if (result.ec != std::errc() || result.ptr != plain.cend() || !std::isfinite(value)) {
        *ok = false;
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<double> ParseExportNumber(QStringView text, bool* ok)
{
    return parseExportNumber(text.begin(), text.end(), ok);
}

std::optional<double> ParseExportNumber(QByteArrayView cp1251, bool* ok)
{
    return parseExportNumber(cp1251.begin(), cp1251.end(), ok);
}

}  // namespace emlo::registry
