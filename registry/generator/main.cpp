// emlo-registry-gen: writes realistic submissions (attr.xml + data.xml per
// enterprise) for tests and benchmarks, through the program's export writer.
#include <cstdio>

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

#include "submissiongenerator.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    QTextStream err(stderr);
    QString out;
    QString programDir = QStringLiteral(EMLO_PROGRAM_DIR);
    int count = 100;
    int start = 0;
    quint32 seed = 1;
    bool broken = false;
    emlo::registry::GeneratorOptions options;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args.at(i);
        const QString next = i + 1 < args.size() ? args.at(i + 1) : QString();
        if (a == QLatin1String("--out")) {
            out = next;
            ++i;
        } else if (a == QLatin1String("--program-dir")) {
            programDir = next;
            ++i;
        } else if (a == QLatin1String("--count")) {
            count = next.toInt();
            ++i;
        } else if (a == QLatin1String("--start")) {
            start = next.toInt();
            ++i;
        } else if (a == QLatin1String("--rows")) {
            options.Rows = next.toInt();
            ++i;
        } else if (a == QLatin1String("--seed")) {
            seed = next.toUInt();
            ++i;
        } else if (a == QLatin1String("--point")) {
            options.DecimalSeparator = QChar(u'.');
        } else if (a == QLatin1String("--group-totals")) {
            options.GroupTotals = true;
        } else if (a == QLatin1String("--broken")) {
            broken = true;
        } else {
            err << "Usage: emlo-registry-gen --out DIR [--count N] [--start I] [--rows R] [--seed S]\n"
                   "                         [--point] [--group-totals] [--broken] [--program-dir DIR]\n"
                   "Writes N valid submissions as DIR/<region>/<EDRPOU>/attr.xml + data.xml, and with\n"
                   "--broken one broken submission of each kind as DIR/broken/<kind>/.\n";
            return 2;
        }
    }
    if (out.isEmpty()) {
        err << "--out is required\n";
        return 2;
    }
    out = QDir(out).absolutePath();
    emlo::registry::SubmissionGenerator generator(programDir, seed, options);
    if (!generator.IsValid()) {
        err << generator.ErrorString() << '\n';
        return 2;
    }
    for (int i = start; i < start + count; ++i) {
        const emlo::registry::GeneratedEnterprise e = generator.MakeEnterprise(i);
        const QString folder = QStringLiteral("%1/%2/%3")
                                   .arg(out, e.Attr.value(QStringLiteral("OBL_ID")).toString(),
                                        e.Attr.value(QStringLiteral("EDRPOU")).toString());
        if (!generator.Write(e, folder)) {
            err << generator.ErrorString() << '\n';
            return 2;
        }
    }
    if (broken) {
        int index = start + count;
        for (emlo::registry::Breakage kind : emlo::registry::AllBreakages()) {
            const QString folder = QStringLiteral("%1/broken/%2").arg(out, emlo::registry::BreakageName(kind));
            if (!generator.Write(generator.MakeEnterprise(index++), folder, kind)) {
                err << generator.ErrorString() << '\n';
                return 2;
            }
        }
    }
    return 0;
}
