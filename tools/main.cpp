// emlo-refdata: builds the reference tables of the program folder (CONT, OW,
// DP, EA, OBL, CY with CY.IDX) from the classifier CSV files.
#include <cstdio>

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

#include "reftables.h"

using namespace emlo;

static void usage(FILE* to)
{
    std::fputs("Використання: emlo-refdata [--source ТЕКА_CSV] [--out ТЕКА_ПРОГРАМИ]\n"
               "Будує довідники CONT.DBF, OW.DBF, DP.DBF, EA.DBF, OBL.DBF, CY.DBF і CY.IDX\n"
               "з файлів cont.csv, ow.csv, dp.csv, ea.csv, obl.csv, cy.csv (UTF-8, кома,\n"
               "рядок заголовку з назвами полів).\n"
               "Без параметрів: CSV з теки refdata поруч з програмою, довідники в теку програми.\n"
               "Якщо хоч одне значення не вміщується в поле або не може бути записане\n"
               "в Windows-1251, жоден довідник не змінюється.\n",
               to);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString programDir = QCoreApplication::applicationDirPath();
    QString source = QDir(programDir).filePath(QStringLiteral("refdata"));
    QString out = programDir;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == u"--help" || a == u"-h") {
            usage(stdout);
            return 0;
        }
        if ((a == u"--source" || a == u"--out") && i + 1 < args.size()) {
            (a == u"--source" ? source : out) = args.at(++i);
            continue;
        }
        usage(stderr);
        return 2;
    }
    QStringList errors;
    if (!BuildReferenceTables(source, out, &errors)) {
        for (const QString& e : errors)
            std::fprintf(stderr, "emlo-refdata: %s\n", e.toUtf8().constData());
        std::fprintf(stderr, "emlo-refdata: довідники не змінено\n");
        return 1;
    }
    return 0;
}
