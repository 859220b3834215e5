#include "emissionrules.h"

#include <cmath>

#include "check/datacheck.h"

namespace emlo {

QString DataStateText(TDataSetState state)
{
    switch (state) {
    case dsInactive: return QStringLiteral("Стан: неактивне");
    case dsBrowse: return QStringLiteral("Стан: перегляд");
    case dsEdit: return QStringLiteral("Стан: редагування");
    case dsInsert: return QStringLiteral("Стан: вставка");
    case dsSetKey: return QStringLiteral("Стан: установка ключа");
    case dsCalcFields: return QStringLiteral("Стан: расчёт данных");
    case dsFilter: return QStringLiteral("Стан: фільтр");
    case dsNewValue: return QStringLiteral("Стан: нове значення");
    case dsOldValue: return QStringLiteral("Стан: старе значення");
    case dsCurValue: return QStringLiteral("Стан: поточне значення");
    case dsBlockRead: return QStringLiteral("Стан: блочне читання");
    case dsInternalCalc: return QStringLiteral("Стан: внутрішній розразунок данніх");
    case dsOpening: return QStringLiteral("Стан: відкриття");
    }
    return {};
}

CellColour DataCellColour(const QVariant& contId, const QVariant& limit, const QString& column)
{
    const qint32 id = contId.isNull() ? 0 : qint32(std::lround(contId.toDouble()));
    if (IsGroupTotalId(id))
        return CellColour::GroupTotal;
    const double threshold = limit.isNull() ? 0.0 : limit.toDouble();
    const bool amount = column.compare(QLatin1String("FACT"), Qt::CaseInsensitive) == 0
        || column.compare(QLatin1String("POTEN"), Qt::CaseInsensitive) == 0;
    if (amount && threshold < 0.0005)
        return CellColour::NoThreshold;
    return CellColour::Normal;
}

}  // namespace emlo
