#include "entryfixture.h"

#include <stdexcept>

#include <QDir>

#include "testsupport/testtables.h"
#include "store/apollotable.h"
#include "store/errors.h"
#include "store/filecase.h"

using namespace emlo;

namespace entrytest {

namespace {

QList<emlo::testing::ContRow> pollutants()
{
    return {
        {1, QStringLiteral("01001"), QStringLiteral("Арсен та його сполуки"), 0.001},
        {2, QStringLiteral("01002"), QStringLiteral("Ванадій та його сполуки"), 0.02},
        {18, QStringLiteral("03000"), QStringLiteral("Оксиди азоту"), 0.0},
        {50, QStringLiteral("05050"), QStringLiteral("Речовина без порогу"), 0.0},
        {51, QStringLiteral("05051"), QStringLiteral("Поріг на межі"), 0.0005},
        {52, QStringLiteral("05052"), QStringLiteral("Поріг під межею"), 0.0004},
        {132, QStringLiteral("13200"), QStringLiteral("Важкі метали"), 0.0},
    };
}

}  // namespace

Folders::Folders() : ProgramFolder(pollutants())
{
    if (!IsValid())
        throw std::runtime_error("no program folder");

    emlo::testing::appendRows(program + QStringLiteral("ow.dbf"),
                              {{1, QStringLiteral("10"), QStringLiteral("Приватна власність")},
                               {2, QStringLiteral("30"), QStringLiteral("Державна власність")}});
    emlo::testing::appendRows(program + QStringLiteral("dp.dbf"),
                              {{1, QStringLiteral("L01"), QStringLiteral("Кабінет Міністрів України")},
                               {2, QStringLiteral("L03"), QStringLiteral("Міністерство енергетики України")}});
    emlo::testing::appendRows(program + QStringLiteral("ea.dbf"),
                              {{1, QStringLiteral("01.11"), QStringLiteral("Вирощування зернових культур")},
                               {2, QStringLiteral("24.10"), QStringLiteral("Виробництво чавуну та сталі")}});
    emlo::testing::appendRows(program + QStringLiteral("obl.dbf"),
                              {{1, QStringLiteral("8000000000"), QStringLiteral("М.КИЇВ")},
                               {2, QStringLiteral("1200000000"), QStringLiteral("ДНІПРОПЕТРОВСЬКА ОБЛАСТЬ")},
                               {3, QStringLiteral("7700000000"), QStringLiteral("ПУСТА ОБЛАСТЬ")},
                               {4, QStringLiteral("\"500000000"), QStringLiteral("ОБЛАСТЬ З ЛАПКАМИ")},
                               {5, QStringLiteral("\"'00000000"), QStringLiteral("ОБЛАСТЬ З ДВОМА ЛАПКАМИ")}});
    // Stored out of code order on purpose: the list is seen through CY.IDX.
    emlo::testing::appendRows(program + QStringLiteral("cy.dbf"),
                              {{1, QStringLiteral("8000000000"), QStringLiteral("КИЇВ")},
                               {2, QStringLiteral("8036100000"), QStringLiteral("ДАРНИЦЬКИЙ")},
                               {3, QStringLiteral("1221055300"), QStringLiteral("ЗЕЛЕНЕ")},
                               {4, QStringLiteral("1210100000"), QStringLiteral("ДНІПРО")},
                               {5, QStringLiteral("1221000000"), QStringLiteral("АПОСТОЛІВСЬКИЙ РАЙОН")},
                               {6, QStringLiteral("1221055100"), QStringLiteral("АПОСТОЛОВЕ")},
                               {7, QStringLiteral("1221055400"), QStringLiteral("ЗЕЛЕНЕ")},
                               {8, QStringLiteral("1288855500"), QStringLiteral("ЗАГУБЛЕНЕ")},
                               {9, QStringLiteral("1234"), QStringLiteral("ХУТІР")},
                               {10, QStringLiteral("00000"), QStringLiteral("БЕЗ РАЙОНУ")},
                               {11, QStringLiteral("\"512345678"), QStringLiteral("ЛАПКИ")}});
}

void Folders::writeSettings() const
{
    QFile file(settings);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write the settings file");
    file.write("[General]\r\nPath=" + QFile::encodeName(work) + "\r\n");
}

void Folders::writeHelpFile() const
{
    QFile file(program + QStringLiteral("EMLO.HLP"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write the help file");
    file.write("@topic 0 Contents\nAll.\n");
}

void openModule(TDataModule& dm, const Folders& folders)
{
    dm.ProgramPath = folders.program;
    dm.WorkPath = folders.work;
    dm.OpenReferenceTables();
    dm.OpenWorkTables();
}

QString storedValue(const QString& tablePath, const QString& field)
{
    TApolloTable table(QStringLiteral("tblStored"));
    table.setTableName(MatchFileCase(tablePath));
    table.Open();
    table.First();
    const QString value = table.IsEmpty() ? QStringLiteral("<no record>") : table.FieldByName(field)->AsString();
    table.Close();
    return value;
}

QStringList storedEmissions(const QString& workFolder)
{
    TApolloTable table(QStringLiteral("tblStored"));
    table.setTableName(MatchFileCase(workFolder + QStringLiteral("data.dbf")));
    table.Open();
    QStringList rows;
    for (table.First(); !table.Eof(); table.Next()) {
        QStringList cells;
        for (const char* name : {"CONTID", "POTEN", "FACT"}) {
            const TField* field = table.FieldByName(QLatin1String(name));
            cells.append(field->IsNull() ? QStringLiteral("-") : field->AsString());
        }
        rows.append(cells.join(QLatin1Char(' ')));
    }
    table.Close();
    return rows;
}

}  // namespace entrytest
