#include "enginefailure.h"

#include "engine.h"

namespace emlo {

EngineFailure lastEngineFailure(const SdeApi& sx, const QString& file, const QString& lead)
{
    const short kind = sx.sx_ErrorKind();
    return {kind == SX_OK ? short(SX_ERR_OTHER) : kind, file, lead, QString::fromLocal8Bit(sx.sx_LastError())};
}

QString engineFailureText(const EngineFailure& failure)
{
    const QString text = engineFailureText(failure.kind, failure.file);
    return failure.lead.isEmpty() ? text : failure.lead + QChar(u'\r') + text;
}

QString engineFailureText(short kind, const QString& file)
{
    switch (kind) {
    case SX_ERR_NOT_FOUND: return QStringLiteral("Файл або запис не знайдено: %1").arg(file);
    case SX_ERR_CORRUPT: return QStringLiteral("Файл таблиці пошкоджено: %1").arg(file);
    case SX_ERR_IO: return QStringLiteral("Помилка читання або запису на диску, файл: %1").arg(file);
    case SX_ERR_LOCKED: return QStringLiteral("Таблицю заблокувала інша програма або інший користувач: %1").arg(file);
    case SX_ERR_BAD_VALUE: return QStringLiteral("Значення не вміщується в поле таблиці: %1").arg(file);
    case SX_ERR_BAD_EXPR: return QStringLiteral("Помилковий вираз для таблиці: %1").arg(file);
    case SX_ERR_DISK_FULL: return QStringLiteral("Недостатньо місця на диску для запису файлу: %1").arg(file);
    case SX_ERR_ACCESS:
        return QStringLiteral("Немає дозволу на запис, або файл чи папка доступні лише для читання: %1").arg(file);
    case SX_ERR_EXISTS: return QStringLiteral("Файл уже існує: %1").arg(file);
    default: return QStringLiteral("Помилка роботи з таблицею: %1").arg(file);
    }
}

QString truncatedTableText(long missing)
{
    return QStringLiteral("Файл таблиці коротший, ніж записано в його заголовку: бракує %1 "
                          "записів. Відновіть таблицю з резервної копії.")
        .arg(missing);
}

}  // namespace emlo
