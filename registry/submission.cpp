#include "submission.h"

namespace emlo::registry {

QString Rejection::Text() const
{
    QStringList parts;
    if (!File.isEmpty())
        parts << File;
    if (Record > 0)
        parts << QStringLiteral("запис %1").arg(Record);
    if (Line > 0)
        parts << QStringLiteral("рядок %1").arg(Line);
    if (!Field.isEmpty())
        parts << QStringLiteral("поле %1").arg(Field);
    if (parts.isEmpty())
        return Reason;
    return parts.join(QStringLiteral(", ")) + QStringLiteral(": ") + Reason;
}

QString SubmissionData::KoatuuCode(const QString& field) const
{
    const auto it = AttrNumbers.constFind(field);
    if (it == AttrNumbers.constEnd() || it.value() < 0 || it.value() > 9999999999.0)
        return QString();
    // The codes travel as numbers, so a leading zero (Crimea: 01...) is lost on the way.
    char digits[10];
    for (qint64 rest = qint64(it.value()), i = 9; i >= 0; --i, rest /= 10)
        digits[i] = char('0' + rest % 10);
    return QString::fromLatin1(digits, 10);
}

}  // namespace emlo::registry
