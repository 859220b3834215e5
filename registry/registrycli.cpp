#include "registrycli.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

#include "importer.h"
#include "registrydb.h"
#include "report.h"
#include "reportwriter.h"

namespace emlo::registry {

namespace {

struct ParsedArgs {
    QString Command;
    QStringList Positional;
    QHash<QString, QString> Options;  // without the leading "--"
    bool Progress = false;
    bool Explain = false;
};

const QStringList& valueOptions()
{
    static const QStringList options = {QStringLiteral("db"),        QStringLiteral("year"),   QStringLiteral("by"),
                                        QStringLiteral("pollutant"), QStringLiteral("format"), QStringLiteral("output"),
                                        QStringLiteral("refdata")};
    return options;
}

bool parseArgs(const QStringList& arguments, ParsedArgs* args, QString* error)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString argument = arguments.at(i);
        if (argument == QLatin1String("-o"))
            argument = QStringLiteral("--output");
        if (argument == QLatin1String("--progress")) {
            args->Progress = true;
            continue;
        }
        if (argument == QLatin1String("--explain")) {
            args->Explain = true;
            continue;
        }
        if (argument.startsWith(QLatin1String("--")) && argument.size() > 2) {
            QString name = argument.mid(2);
            QString value;
            const qsizetype eq = name.indexOf(u'=');
            if (eq >= 0) {
                value = name.mid(eq + 1);
                name.truncate(eq);
            } else if (valueOptions().contains(name)) {
                if (i + 1 >= arguments.size()) {
                    *error = QStringLiteral("Не вказано значення після --%1").arg(name);
                    return false;
                }
                value = arguments.at(++i);
            }
            if (!valueOptions().contains(name)) {
                *error = QStringLiteral("Невідомий параметр: %1").arg(argument);
                return false;
            }
            args->Options.insert(name, value);
            continue;
        }
        if (args->Command.isEmpty())
            args->Command = argument;
        else
            args->Positional << argument;
    }
    return true;
}

bool requireYear(const ParsedArgs& args, int* year, QString* error)
{
    bool ok = false;
    *year = args.Options.value(QStringLiteral("year")).toInt(&ok);
    if (!args.Options.contains(QStringLiteral("year"))) {
        *error = QStringLiteral("Не вказано рік: --year РРРР");
        return false;
    }
    if (!ok || *year < 1990 || *year > 2100) {
        *error = QStringLiteral("Неправильний рік: %1").arg(args.Options.value(QStringLiteral("year")));
        return false;
    }
    return true;
}

bool openDb(const ParsedArgs& args, const RegistryIo& io, RegistryDb* db, QString* error)
{
    const QString spec = args.Options.value(QStringLiteral("db"));
    if (spec.isEmpty()) {
        *error = QStringLiteral("Не вказано базу даних: --db ФАЙЛ.sqlite або --db postgresql://…");
        return false;
    }
    DbTarget target;
    if (!DbTarget::Parse(spec, &target, error))
        return false;
    const QString refdata = args.Options.value(QStringLiteral("refdata"), io.RefdataDir);
    return db->Open(target, refdata, error);
}

// Reports and reference reloads work on an existing registry only: a mistyped
// file name must neither leave a new, empty registry behind nor give an empty
// report as if the registry held nothing.
bool requireExistingRegistry(const ParsedArgs& args, QString* error)
{
    const QString spec = args.Options.value(QStringLiteral("db"));
    DbTarget target;
    if (spec.isEmpty() || !DbTarget::Parse(spec, &target, error))
        return spec.isEmpty();
    if (!target.Postgres && !QFileInfo(target.Path).isFile()) {
        *error = QStringLiteral("Файлу бази даних %1 немає").arg(target.Path);
        return false;
    }
    return true;
}

int fail(RegistryIo& io, const QString& text)
{
    io.Err << text << '\n';
    io.Err.flush();
    return RegistryError;
}

// One line redrawn in place on the terminal: count, rate and rejects so far.
class ProgressLine {
public:
    ProgressLine(QTextStream& err, bool enabled) : m_err(err), m_enabled(enabled) { m_timer.start(); }

    // total: -1 while the folders are still being looked through.
    void Update(const ImportCounts& counts, int total)
    {
        if (!m_enabled || ((total < 0 || counts.Done < total) && m_timer.elapsed() - m_shown < 200))
            return;
        m_shown = m_timer.elapsed();
        const double seconds = std::max(0.001, double(m_timer.elapsed()) / 1000.0);
        const QString done =
            total < 0 ? QString::number(counts.Done) : QStringLiteral("%1 з %2").arg(counts.Done).arg(total);
        m_err << QStringLiteral("\rОброблено %1 (%2 подань/с), відхилено %3   ")
                     .arg(done)
                     .arg(qRound(counts.Done / seconds))
                     .arg(counts.Rejected);
        m_err.flush();
        m_drawn = true;
    }
    void Finish()
    {
        if (m_drawn) {
            m_err << '\n';
            m_err.flush();
            m_drawn = false;
        }
    }

private:
    QTextStream& m_err;
    bool m_enabled;
    bool m_drawn = false;
    QElapsedTimer m_timer;
    qint64 m_shown = -1000;
};

int runImport(const ParsedArgs& args, RegistryIo& io)
{
    QString error;
    int year = 0;
    if (!requireYear(args, &year, &error))
        return fail(io, error);
    if (args.Positional.isEmpty())
        return fail(io, QStringLiteral("Не вказано папок з поданнями"));
    QStringList missing;
    for (const QString& path : args.Positional) {
        if (!QFileInfo(path).isDir())
            missing.append(path);
    }
    if (!missing.isEmpty())
        return fail(io, QStringLiteral("Папку не знайдено: %1").arg(missing.join(QStringLiteral(", "))));
    // The folders are looked through while the registry opens and the
    // first submissions are stored.
    SubmissionScan scan(args.Positional);
    RegistryDb db;
    if (!openDb(args, io, &db, &error))
        return fail(io, error);
    ReferenceSets reference;
    if (!db.ReadReferenceSets(&reference, &error))
        return fail(io, error);

    Importer importer(db, reference);
    ProgressLine progress(io.Err, io.ErrIsTerminal || args.Progress);
    importer.OnProgress = [&](const ImportCounts& counts, int total) { progress.Update(counts, total); };
    importer.OnRejected = [&](const QString& folder, const RejectionList& reasons) {
        progress.Finish();
        io.Out << QStringLiteral("Відхилено: %1\n").arg(QDir::toNativeSeparators(folder));
        for (const Rejection& reason : reasons)
            io.Out << QStringLiteral("  %1\n").arg(reason.Text());
        io.Out.flush();
    };
    ImportCounts counts;
    QElapsedTimer timer;
    timer.start();
    const bool ran = importer.Run(scan, year, &counts, &error);
    const qsizetype found = scan.WaitForTotal();
    progress.Finish();
    if (counts.Added + counts.Replaced > 0)
        db.UpdateStatistics();
    io.Out << QStringLiteral("Подань знайдено: %1; прийнято: %2 (нових: %3, замінено: %4, без змін: %5); "
                             "відхилено: %6; рядків викидів записано: %7; час: %8 с\n")
                  .arg(found)
                  .arg(counts.Accepted())
                  .arg(counts.Added)
                  .arg(counts.Replaced)
                  .arg(counts.Unchanged)
                  .arg(counts.Rejected)
                  .arg(counts.Rows)
                  .arg(double(timer.elapsed()) / 1000.0, 0, 'f', 1);
    io.Out.flush();
    if (!ran)
        return fail(io, QStringLiteral("Імпорт перервано: %1").arg(error));
    if (found == 0)
        return fail(io, QStringLiteral("У вказаних папках немає файлів attr.xml і data.xml"));
    return counts.Rejected > 0 ? RegistryRejected : RegistryOk;
}

int runReport(const ParsedArgs& args, RegistryIo& io)
{
    QString error;
    ReportRequest request;
    if (!requireYear(args, &request.Year, &error))
        return fail(io, error);
    if (!args.Positional.isEmpty())
        return fail(io, QStringLiteral("Зайвий аргумент: %1").arg(args.Positional.first()));
    if (!ParseGrouping(args.Options.value(QStringLiteral("by")), &request.By))
        return fail(io, QStringLiteral("Вкажіть угруповання: --by region|district|activity|pollutant"));
    const QString format = args.Options.value(QStringLiteral("format"), QStringLiteral("csv"));
    if (format != QLatin1String("csv") && format != QLatin1String("html"))
        return fail(io, QStringLiteral("Невідомий формат звіту: %1 (csv або html)").arg(format));
    request.PollutantCode = args.Options.value(QStringLiteral("pollutant")).trimmed();
    request.WithCharts = format == QLatin1String("html");

    if (!requireExistingRegistry(args, &error))
        return fail(io, error);
    RegistryDb db;
    if (!openDb(args, io, &db, &error))
        return fail(io, error);
    QStringList plans;
    if (args.Explain)
        request.Plans = &plans;
    RegistryReport report;
    if (!BuildReport(db, request, &report, &error))
        return fail(io, error);
    for (const QString& plan : plans)
        io.Err << plan;
    io.Err.flush();

    const QString output = args.Options.value(QStringLiteral("output"));
    if (output.isEmpty() || output == QLatin1String("-")) {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly))
            return fail(io, QStringLiteral("Неможливо записати звіт у стандартний вивід"));
        io.Out.flush();
        const bool written = format == QLatin1String("html") ? WriteHtmlReport(report, &out, &error)
                                                             : WriteCsvReport(report, &out, &error);
        out.flush();
        return written ? RegistryOk : fail(io, error);
    }
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly))
        return fail(io, QStringLiteral("Неможливо створити файл %1: %2").arg(output, file.errorString()));
    const bool written = format == QLatin1String("html") ? WriteHtmlReport(report, &file, &error)
                                                         : WriteCsvReport(report, &file, &error);
    if (!written)
        return fail(io, error);
    if (!file.commit())
        return fail(io, QStringLiteral("Неможливо записати файл %1: %2").arg(output, file.errorString()));
    return RegistryOk;
}

int runRefdata(const ParsedArgs& args, RegistryIo& io)
{
    if (!args.Positional.isEmpty())
        return fail(io, QStringLiteral("Зайвий аргумент: %1").arg(args.Positional.first()));
    QString error;
    if (!requireExistingRegistry(args, &error))
        return fail(io, error);
    const QString folder = args.Options.value(QStringLiteral("refdata"), io.RefdataDir);
    if (!QFileInfo(folder).isDir())
        return fail(io, QStringLiteral("Папку з класифікаторами не знайдено: %1").arg(folder));
    RegistryDb db;
    if (!openDb(args, io, &db, &error))
        return fail(io, error);
    QList<ReferenceCount> counts;
    if (!db.ReloadReferenceTables(folder, &counts, &error))
        return fail(io, QStringLiteral("Довідники не оновлено, вони лишилися як були: %1").arg(error));
    io.Out << QStringLiteral("Довідники оновлено з папки %1:\n").arg(QDir::toNativeSeparators(folder));
    for (const ReferenceCount& c : counts)
        io.Out << QStringLiteral("  %1 (%2): записів %3, було %4\n").arg(c.Title, c.Csv).arg(c.After).arg(c.Before);
    // Codes the new tables dropped: the reports show them without a name.
    QList<MissingCodes> missing;
    if (!db.MissingReferenceCodes(&missing, 20, &error))
        return fail(io, error);
    for (const MissingCodes& m : missing)
        io.Out << QStringLiteral("Увага: поточні подання містять коди, яких немає в довіднику «%1»: %2\n")
                      .arg(m.Title, m.Codes.join(QStringLiteral(", ")));
    io.Out.flush();
    return RegistryOk;
}

}  // namespace

QString RegistryHelpText()
{
    return QStringLiteral("emlo-registry — зведений реєстр викидів: приймання подань підприємств і звіти.\n"
                          "\n"
                          "Використання:\n"
                          "  emlo-registry import --db БАЗА --year РРРР ПАПКА...\n"
                          "      Шукає в папках (на будь-якій глибині) пари файлів attr.xml і data.xml\n"
                          "      і приймає кожну пару як подання підприємства за рік: усе або нічого.\n"
                          "      Новіше подання того самого ЄДРПОУ за той самий рік замінює попереднє,\n"
                          "      а попереднє зберігається в історії. Відхилені подання друкуються з\n"
                          "      причиною (файл, запис, поле).\n"
                          "      Код завершення: 0 — усі прийнято, 1 — є відхилені, 2 — помилка.\n"
                          "  emlo-registry report --db БАЗА --year РРРР --by region|district|activity|pollutant\n"
                          "                       [--pollutant КОД] [--format csv|html] [--output ФАЙЛ]\n"
                          "      Суми потенційних і фактичних викидів за групами (групові підсумки\n"
                          "      речовин до сум не входять), зміна проти попереднього року, підприємства,\n"
                          "      чиї потенційні викиди досягають порогового значення речовини.\n"
                          "      CSV — UTF-8 з BOM, роздільник «;»; HTML — один файл з діаграмами.\n"
                          "  emlo-registry refdata --db БАЗА [--refdata ПАПКА]\n"
                          "      Замінює довідники наявної бази (речовини з пороговими значеннями,\n"
                          "      КОАТУУ, КВЕД, форми власності, СПОДУ) класифікаторами з папки: усі\n"
                          "      разом або жодного. Звіти одразу беруть нові назви й порогові значення,\n"
                          "      подальший імпорт перевіряє коди за новими довідниками. Коди поточних\n"
                          "      подань, яких у нових довідниках немає, друкуються з позначкою «Увага».\n"
                          "\n"
                          "Параметри:\n"
                          "  --db БАЗА          файл SQLite (новий створює import) або\n"
                          "                     postgresql://користувач@вузол:порт/база\n"
                          "  --refdata ПАПКА    класифікатори (CSV) для довідників нової бази (і для refdata);\n"
                          "                     типово — refdata поруч із програмою\n"
                          "  --progress         показувати поступ і тоді, коли вивід не на терміналі\n"
                          "  --explain          (report) вивести в потік помилок запити і плани їх виконання\n"
                          "  -h, --help         ця довідка\n");
}

int RunRegistry(const QStringList& arguments, RegistryIo& io)
{
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))
        || arguments.value(0) == QLatin1String("help")) {
        io.Out << RegistryHelpText();
        io.Out.flush();
        return RegistryOk;
    }
    ParsedArgs args;
    QString error;
    if (!parseArgs(arguments, &args, &error))
        return fail(io, error);
    if (args.Command == QLatin1String("import"))
        return runImport(args, io);
    if (args.Command == QLatin1String("report"))
        return runReport(args, io);
    if (args.Command == QLatin1String("refdata"))
        return runRefdata(args, io);
    if (args.Command.isEmpty()) {
        io.Err << RegistryHelpText();
        return RegistryError;
    }
    return fail(io, QStringLiteral("Невідома команда: %1\nДовідка: emlo-registry --help").arg(args.Command));
}

}  // namespace emlo::registry
