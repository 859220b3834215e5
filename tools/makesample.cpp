// emlo-sample-work <program folder> <working folder>: fills an empty working
// folder with the attributes and emissions of a sample enterprise, taking
// every code and name from the program folder's reference tables, as the
// pages would. Used for the documentation's screenshots.
#include <cstdio>

#include <QCoreApplication>
#include <QDir>

#include "entry/coderules.h"
#include "store/datamodule.h"
#include "store/errors.h"
#include "store/fields.h"

using namespace emlo;

namespace {

class PrintingReporter : public DataModuleReporter {
public:
    void ShowError(const QString& text, int) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    void FatalStop() override { failed = true; }
    bool failed = false;
};

void set(TApolloTable& table, const char* field, const QVariant& value)
{
    table.FieldByName(QLatin1String(field))->setAsVariant(value);
}

void locate(TApolloTable& table, const QString& code)
{
    if (!table.Locate(QStringLiteral("CODE"), code))
        throw Exception(table.Name() + QStringLiteral(": no entry ") + code);
}

void fillAttributes(TDataModule& dm)
{
    TApolloTable& attr = *dm.tblAttr;
    attr.Edit();
    set(attr, "ENNAME", QStringLiteral("ПАТ «Придніпровський металургійний комбінат»"));
    set(attr, "EDRPOU", QStringLiteral("05393056"));
    set(attr, "ENADDR", QStringLiteral("49064, м. Дніпро, вул. Маяковського, 3"));
    set(attr, "ENPHONE", QStringLiteral("(056) 794-30-11"));
    set(attr, "ENCH_POS", QStringLiteral("Генеральний директор"));
    set(attr, "ENCH_NAME", QStringLiteral("Коваленко Петро Іванович"));
    const int coordinates[] = {48, 27, 52, 35, 2, 45};
    const char* const parts[] = {"X1", "X2", "X3", "Y1", "Y2", "Y3"};
    for (int i = 0; i < 6; ++i)
        set(attr, parts[i], coordinates[i]);

    locate(*dm.tblOBL, QStringLiteral("1200000000"));
    emlo::CommitRegion(attr, *dm.tblOBL, *dm.tblCY);
    locate(*dm.tblCY, QStringLiteral("1210136300"));
    emlo::CommitSettlement(attr, *dm.tblCY);
    const struct {
        TApolloTable* list;
        const char* code;
        const char* codeField;
        const char* nameField;
    } choices[] = {{dm.tblDP, "L02", "SPODU_ID", "SPODU_D"},
                   {dm.tblEA, "24.10", "KVED_ID", "KVED_DESCR"},
                   {dm.tblOW, "30", "KFV_ID", "KFV_DESCR"}};
    for (const auto& choice : choices) {
        locate(*choice.list, QLatin1String(choice.code));
        emlo::CopyListName(attr, *choice.list, QLatin1String(choice.nameField));
        set(attr, choice.codeField, QLatin1String(choice.code));
    }
    attr.Post();
}

void fillEmissions(TDataModule& dm)
{
    TApolloTable& data = *dm.tblData;
    const struct {
        int contId;
        double poten;
        double fact;
    } rows[] = {
        // Group totals agree with their members, as a check would leave them.
        {1, 0.0124, 0.0098}, {3, 2.45, 1.873}, {9, 0.0021, 0.0017}, {132, 2.4645, 1.8845}, {13, 0.85, 0.62},
        {133, 0.85, 0.62},   {19, 12.6, 9.8},  {21, 3.2, 2.75},     {134, 48.5, 41.2},     {18, 39.1, 34.15},
    };
    for (const auto& row : rows) {
        data.Insert();
        set(data, "CONTID", row.contId);
        set(data, "POTEN", row.poten);
        set(data, "FACT", row.fact);
        data.Post();
    }
    data.First();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: emlo-sample-work <program folder> <working folder>\n");
        return 2;
    }
    auto folder = [](const char* arg) {
        // Absolute: opening the reference tables changes the current folder.
        return QDir(QString::fromLocal8Bit(arg)).absolutePath() + QLatin1Char('/');
    };
    PrintingReporter reporter;
    TDataModule dm(&reporter);
    dm.ProgramPath = folder(argv[1]);
    dm.WorkPath = folder(argv[2]);
    dm.OpenReferenceTables();
    dm.OpenWorkTables();
    if (reporter.failed)
        return 1;
    try {
        fillAttributes(dm);
        fillEmissions(dm);
    } catch (const Exception& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.Message));
        return 1;
    }
    return 0;
}
