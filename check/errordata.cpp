#include "errordata.h"

namespace emlo {

QString SectionText(quint8 section)
{
    switch (section) {
    case SectionAttr: return QStringLiteral("Реквізити");
    case SectionCodes: return QStringLiteral("Статистичні коди");
    case SectionData: return QStringLiteral("Викиди");
    default: return QString();
    }
}

QString ControlName(qint32 code)
{
    switch (code) {
    case ccEDRPOU: return QStringLiteral("edEDRPOU");
    case ccEnAddr: return QStringLiteral("edEnAddr");
    case ccEnChName: return QStringLiteral("edEnChName");
    case ccEnChPos: return QStringLiteral("edEnChPos");
    case ccEnName: return QStringLiteral("edEnName");
    case ccEnPhone: return QStringLiteral("edEnPhone");
    case ccCityDescr: return QStringLiteral("cbCityDescr");
    case ccCityID: return QStringLiteral("cbCityID");
    case ccKfvID: return QStringLiteral("cbKfvID");
    case ccKvedID: return QStringLiteral("cbKvedID");
    case ccSpoduID: return QStringLiteral("cbSpoduID");
    case ccX1: return QStringLiteral("edX1");
    case ccX2: return QStringLiteral("edX2");
    case ccX3: return QStringLiteral("edX3");
    case ccY1: return QStringLiteral("edY1");
    case ccY2: return QStringLiteral("edY2");
    case ccY3: return QStringLiteral("edY3");
    default: return QString();
    }
}

}  // namespace emlo
