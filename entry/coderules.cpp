#include "coderules.h"

#include <algorithm>

#include "store/apollotable.h"

namespace emlo {

namespace {

bool editing(const TApolloTable& table)
{
    return table.State() == dsEdit || table.State() == dsInsert;
}

QString currentText(const TApolloTable& table, const QString& field)
{
    if (!table.Active() || table.IsEmpty())
        return {};
    return table.FieldByName(field)->AsString();
}

}  // namespace

QString DistrictCode(const QString& settlementCode)
{
    const QString code = settlementCode.trimmed();
    return code.left(qMax(0, int(code.size()) - 5)) + QStringLiteral("00000");
}

QString RegionQuery(const QString& regionCode)
{
    const QString prefix = regionCode.trimmed().left(2);
    const bool hasControl = std::any_of(prefix.begin(), prefix.end(), [](QChar ch) { return ch.unicode() < 32; });
    if (!hasControl) {
        for (const QChar quote : {QLatin1Char('"'), QLatin1Char('\'')}) {
            if (!prefix.contains(quote))
                return QStringLiteral("CODE = ") + quote + prefix + quote;
        }
    }
    // No literal can hold this prefix, and no settlement code begins with it
    // in a form the engine could compare: keep none.
    return QStringLiteral("1 = 0");
}

void CopyListName(TApolloTable& attr, const TApolloTable& list, const QString& targetField)
{
    if (!editing(attr))
        return;
    attr.FieldByName(targetField)->setAsString(currentText(list, QStringLiteral("DESCR")));
}

void CommitSettlement(TApolloTable& attr, TApolloTable& cy)
{
    if (!editing(attr))
        return;
    const bool none = !cy.Active() || cy.IsEmpty();
    const QString code = currentText(cy, QStringLiteral("CODE")).trimmed();
    attr.FieldByName(QStringLiteral("CITY_ID"))->setAsString(code);
    attr.FieldByName(QStringLiteral("CITY_DESCR"))->setAsString(currentText(cy, QStringLiteral("DESCR")));
    if (none) {
        // A region without settlements: no settlement, hence no district.
        attr.FieldByName(QStringLiteral("REGN_ID"))->Clear();
        attr.FieldByName(QStringLiteral("REGN_DESCR"))->setAsString(QString());
        return;
    }

    const TBookmark place = cy.Bookmark();
    const QString district = DistrictCode(code);
    attr.FieldByName(QStringLiteral("REGN_ID"))->setAsString(district);
    // The reference data should hold an entry for every district; when it
    // does not, the district stays without a name rather than leaving the
    // settlement half-written.
    const QVariant name = cy.Lookup(QStringLiteral("CODE"), district, QStringLiteral("DESCR"));
    attr.FieldByName(QStringLiteral("REGN_DESCR"))->setAsString(name.isNull() ? QString() : name.toString());
    if (place != 0 && cy.Bookmark() != place)
        cy.setBookmark(place);
}

void CommitRegion(TApolloTable& attr, TApolloTable& obl, TApolloTable& cy)
{
    if (!editing(attr))
        return;
    const QString code = currentText(obl, QStringLiteral("CODE")).trimmed();
    attr.FieldByName(QStringLiteral("OBL_ID"))->setAsString(code);
    attr.FieldByName(QStringLiteral("OBL_DESCR"))->setAsString(currentText(obl, QStringLiteral("DESCR")));
    cy.Query(RegionQuery(code));
    CommitSettlement(attr, cy);
}

}  // namespace emlo
