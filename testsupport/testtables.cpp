#include "testtables.h"

#include "store/apollotable.h"
#include "store/errors.h"
#include "store/tablecatalog.h"

namespace emlo::testing {

QVector<Column> catalogColumns(const char* table)
{
    QVector<Column> columns;
    for (const ColumnDef& c : TableDefOf(QLatin1String(table)).columns)
        columns.append({QLatin1String(c.name), c.type, c.width, c.decimals});
    return columns;
}

void createTable(const QString& path, const QVector<Column>& columns)
{
    TApolloTable table(QStringLiteral("tblFixture"));
    if (!table.CreateNew(path, 2, static_cast<short>(columns.size())))
        throw Exception(QStringLiteral("fixture: CreateNew failed for ") + path);
    for (const Column& c : columns)
        table.CreateField(c.name, QString(QChar::fromLatin1(c.type)), c.width, c.decimals);
    if (!table.CreateExec())
        throw Exception(QStringLiteral("fixture: CreateExec failed for ") + path);
}

void appendRows(const QString& path, const QVector<QVariantList>& rows)
{
    TApolloTable table(QStringLiteral("tblFixture"));
    table.setTableName(path);
    table.setSyncOnPost(false);  // fixtures are made, not saved by a user
    table.Open();
    for (const QVariantList& row : rows) {
        table.Append();
        for (int i = 0; i < row.size() && i < table.FieldCount(); ++i) {
            if (!row.at(i).isNull())
                table.Fields(i)->setAsVariant(row.at(i));
        }
        table.Post();
    }
    table.Close();
}

}  // namespace emlo::testing
