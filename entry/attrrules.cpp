#include "attrrules.h"

namespace emlo {

namespace {

struct Range {
    int low;
    int high;
    const char16_t* format;  // "%d ... %d..%d": value, low, high
};

QString formatRange(const Range& range, int value)
{
    QString text = QString::fromUtf16(range.format);
    for (int argument : {value, range.low, range.high}) {
        const auto at = text.indexOf(QLatin1String("%d"));
        text.replace(at, 2, QString::number(argument));
    }
    return text;
}

}  // namespace

bool RegistryCodeAccepts(QChar ch)
{
    return ch == QChar(8) || (ch >= QLatin1Char('0') && ch <= QLatin1Char('9'));
}

QString CoordinateError(const QString& fieldName, const QString& text)
{
    static const Range latitude{44, 52, u"%d не входить до діапазону широти %d..%d"};
    static const Range longitude{21, 48, u"%d не входить до діапазону довготи %d..%d"};
    static const Range minutes{0, 59, u"%d не входить до діапазону %d..%d"};

    if (text.isEmpty())
        return {};
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok)
        return QStringLiteral("Повина бути цілим числом.");

    const QString name = fieldName.toUpper();
    const Range& range = name == QLatin1String("X1") ? latitude : name == QLatin1String("Y1") ? longitude : minutes;
    if (value < range.low || value > range.high)
        return formatRange(range, value);
    return {};
}

}  // namespace emlo
