#include "tablecatalog.h"

#include <stdexcept>

#include <QFileInfo>

#include "apollotable.h"

namespace emlo {

const QList<TableDef>& TableCatalog()
{
    // clang-format off
    static const QList<TableDef> catalog = {
        {"DATA", false, {{"CONTID", 'N', 5, 0}, {"POTEN", 'N', 18, 7}, {"FACT", 'N', 18, 7}}, "DATA", "CONTID"},
        {"ATTR", false, {
            {"enname", 'C', 100, 0},     {"edrpou", 'C', 10, 0},  {"enaddr", 'C', 100, 0},     {"ench_pos", 'C', 60, 0},
            {"ench_name", 'C', 60, 0},   {"enphone", 'C', 20, 0}, {"obl_descr", 'C', 100, 0},  {"obl_id", 'N', 10, 0},
            {"regn_descr", 'C', 100, 0}, {"regn_id", 'N', 10, 0}, {"city_descr", 'C', 100, 0}, {"city_id", 'N', 10, 0},
            {"spodu_d", 'C', 100, 0},    {"spodu_id", 'C', 5, 0}, {"kved_descr", 'C', 100, 0}, {"kved_id", 'C', 8, 0},
            {"kfv_descr", 'C', 100, 0},  {"kfv_id", 'C', 2, 0},   {"x1", 'N', 3, 0},           {"x2", 'N', 2, 0},
            {"x3", 'N', 2, 0},           {"y1", 'N', 3, 0},       {"y2", 'N', 2, 0},           {"y3", 'N', 2, 0},
        }, nullptr, nullptr},
        {"CONT", true, {{"CONTID", 'N', 5, 0}, {"CODE", 'C', 5, 0}, {"DESCR", 'C', 80, 0}, {"LIMIT", 'N', 18, 7}}, nullptr, nullptr},
        {"OW", true, {{"OWID", 'N', 5, 0}, {"CODE", 'C', 2, 0}, {"DESCR", 'C', 70, 0}}, nullptr, nullptr},
        {"DP", true, {{"DPID", 'N', 5, 0}, {"CODE", 'C', 6, 0}, {"DESCR", 'C', 150, 0}}, nullptr, nullptr},
        {"EA", true, {{"EAID", 'N', 5, 0}, {"CODE", 'C', 10, 0}, {"DESCR", 'C', 250, 0}}, nullptr, nullptr},
        {"OBL", true, {{"OBLID", 'N', 5, 0}, {"CODE", 'C', 10, 0}, {"DESCR", 'C', 100, 0}}, nullptr, nullptr},
        {"CY", true, {{"CYID", 'N', 5, 0}, {"CODE", 'C', 10, 0}, {"DESCR", 'C', 100, 0}}, "CY", "CODE"},
    };
    // clang-format on
    return catalog;
}

const TableDef* FindTableDef(const QString& name)
{
    for (const TableDef& def : TableCatalog()) {
        if (name.compare(QLatin1String(def.name), Qt::CaseInsensitive) == 0)
            return &def;
    }
    return nullptr;
}

const TableDef& TableDefOf(const QString& name)
{
    const TableDef* def = FindTableDef(name);
    if (def == nullptr)
        throw std::logic_error("no such table in the catalogue");
    return *def;
}

const TableDef* OwnIndexOf(const QString& tablePath, const QString& indexPath)
{
    const QFileInfo tableFile(tablePath);
    const QFileInfo indexFile(indexPath);
    if (tableFile.absolutePath() != indexFile.absolutePath())
        return nullptr;
    const QString table = tableFile.fileName();
    const QString index = indexFile.fileName();
    for (const TableDef& def : TableCatalog()) {
        if (def.indexName != nullptr
            && table.compare(QLatin1String(def.name) + QLatin1String(".dbf"), Qt::CaseInsensitive) == 0
            && index.compare(QLatin1String(def.indexName) + QLatin1String(".idx"), Qt::CaseInsensitive) == 0)
            return &def;
    }
    return nullptr;
}

bool DeclareTable(TApolloTable& table, const TableDef& def, const QString& path)
{
    if (!table.CreateNew(path, 2, short(def.columns.size())))
        return false;
    for (const ColumnDef& column : def.columns)
        table.CreateField(QLatin1String(column.name), QString(QChar::fromLatin1(column.type)), column.width,
                          column.decimals);
    return true;
}

bool CreateTableFile(const TableDef& def, const QString& path, QString* error)
{
    TApolloTable table(QStringLiteral("tbl") + QLatin1String(def.name));
    const bool made = DeclareTable(table, def, path) && table.CreateExec();
    if (!made && error != nullptr)
        *error = table.LastErrorText();
    return made;
}

}  // namespace emlo
