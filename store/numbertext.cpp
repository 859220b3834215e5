#include "numbertext.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace emlo {

QByteArray NumberText(double value, int decimals)
{
    if (!std::isfinite(value) || decimals < 0)
        return QByteArray();
    // Fixed notation needs up to 309 integer digits.
    char buf[400];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (ec != std::errc())
        return QByteArray();
    QByteArray text(buf, static_cast<qsizetype>(end - buf));
    // "-0.00" (negative zero, or a small negative value rounded away) is zero.
    if (text.startsWith('-')) {
        bool zero = true;
        for (qsizetype i = 1; i < text.size() && zero; ++i)
            zero = text.at(i) == '0' || text.at(i) == '.';
        if (zero)
            text.remove(0, 1);
    }
    return text;
}

bool FormatNumberText(double value, int width, int decimals, char* out)
{
    const QByteArray text = NumberText(value, decimals);
    if (text.isEmpty() || width < 0 || text.size() > width)
        return false;
    const auto pad = static_cast<std::size_t>(width - text.size());
    std::memset(out, ' ', pad);
    std::memcpy(out + pad, text.constData(), static_cast<std::size_t>(text.size()));
    return true;
}

}  // namespace emlo
