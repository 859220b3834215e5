#include "clicommands.h"

#include <QDir>
#include <QGuiApplication>

#include "clisession.h"
#include "export/folderexport.h"
#include "print/printform.h"
#include "store/errors.h"

namespace emlo::cli {

// A command is one entry here and one function taking the context; a
// command that needs the tables opens them with CliSession (and runs
// CliSession::CheckBeforeOutput first when it writes output).
const QList<CliCommand>& Commands()
{
    static const QList<CliCommand> commands = {
        {"check", "РОБОЧА_ПАПКА",
         "Перевіряє дані підприємства в робочій папці на заповнення і друкує\n"
         "зауваження: опис, табуляція, розділ; без зауважень — \"Все гаразд\".\n"
         "Перевірка без зауважень також оновлює групові підсумки викидів.\n"
         "Робоча папка має містити ATTR.DBF і DATA.DBF (їх створює вікно програми);\n"
         "без них — помилка. Відсутній індекс DATA.IDX будується заново.\n"
         "Код завершення: 0 — зауважень немає, 1 — є зауваження, 2 — помилка.\n",
         1, &RunCheck, false, false},
        {"export", "РОБОЧА_ПАПКА ПАПКА_ВИГРУЗКИ",
         "Перевіряє дані, як перед вигрузкою з програми; без зауважень записує\n"
         "attr.xml і data.xml (Windows-1251) у папку вигрузки, створюючи її.\n"
         "Числа записуються з десятковим роздільником системи (як у програмі)\n"
         "або з указаним параметром --decimal-separator.\n"
         "Зауваження друкуються, як у команді check, і нічого не записується.\n"
         "Код завершення: 0 — вигружено, 1 — є зауваження, 2 — помилка.\n",
         2, &RunExport, false, true},
        {"print", "РОБОЧА_ПАПКА ФАЙЛ.pdf",
         "Перевіряє дані, як перед друком з програми; без зауважень записує\n"
         "друковану форму (обидва розділи, аркуш A4) у файл PDF.\n"
         "Зауваження друкуються, як у команді check, і нічого не записується.\n"
         "Код завершення: 0 — записано, 1 — є зауваження, 2 — помилка.\n",
         2, &RunPrint, true, false},
    };
    return commands;
}

namespace {

const QString kProgramDirOption = QStringLiteral("--program-dir");
const QString kSeparatorOption = QStringLiteral("--decimal-separator");

const CliCommand* findCommand(const QString& name)
{
    for (const CliCommand& command : Commands()) {
        if (name == QLatin1String(command.Name))
            return &command;
    }
    return nullptr;
}

bool isHelpOption(const QString& argument)
{
    return argument == QLatin1String("--help") || argument == QLatin1String("-h");
}

QString optionsOf(const CliCommand& command)
{
    QString options = QStringLiteral("[--program-dir ПАПКА]");
    if (command.TakesSeparator)
        options += QStringLiteral(" [--decimal-separator ЗНАК]");
    return options;
}

QString usageOf(const CliCommand& command)
{
    return QStringLiteral("Використання: emlo-cli %1 %2 %3\n")
        .arg(QLatin1String(command.Name), QString::fromUtf8(command.Synopsis), optionsOf(command));
}

CliRequest failed(const QString& error)
{
    CliRequest request;
    request.Kind = CliRequest::Failed;
    request.Error = error;
    return request;
}

// An option's value: "--name value" or "--name=value". False when the
// argument is not that option; sets *missing when the value is absent.
bool takeOption(const QString& name, const QStringList& arguments, qsizetype& i, QString* value, bool* missing)
{
    const QString& argument = arguments.at(i);
    if (argument == name) {
        if (i + 1 >= arguments.size()) {
            *missing = true;
            return true;
        }
        *value = arguments.at(++i);
        return true;
    }
    if (argument.startsWith(name + QLatin1Char('='))) {
        *value = argument.mid(name.size() + 1);
        return true;
    }
    return false;
}

}  // namespace

QString HelpText()
{
    QString text = QStringLiteral("emlo-cli — перевірка, вивантаження та друк даних Emlo без вікна програми.\n"
                                  "\n"
                                  "Використання: emlo-cli КОМАНДА АРГУМЕНТИ [ПАРАМЕТРИ]\n"
                                  "              emlo-cli --help\n"
                                  "Параметри можна вказувати в будь-якому місці командного рядка.\n"
                                  "\n"
                                  "Команди:\n");
    for (const CliCommand& command : Commands()) {
        text += QStringLiteral("  %1 %2 %3\n")
                    .arg(QLatin1String(command.Name), QString::fromUtf8(command.Synopsis), optionsOf(command));
        const QStringList lines = QString::fromUtf8(command.Help).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString& line : lines)
            text += QStringLiteral("      ") + line + QLatin1Char('\n');
    }
    text += QStringLiteral("\n"
                           "Параметри:\n"
                           "  --program-dir ПАПКА      папка програми з довідниками (CONT.DBF, OW.DBF,\n"
                           "                           DP.DBF, EA.DBF, OBL.DBF, CY.DBF); типово — папка\n"
                           "                           emlo-cli, а встановленої програми —\n"
                           "                           <префікс>/share/emlo\n"
                           "  --decimal-separator ЗНАК десятковий роздільник чисел у XML: \",\" або \".\";\n"
                           "                           типово — роздільник системи (LC_NUMERIC, LANG)\n"
                           "  --                       далі лише аргументи (для назв, що починаються з \"-\")\n"
                           "  -h, --help               ця довідка\n"
                           "\n"
                           "Тексти виводяться в кодуванні UTF-8; зауваження — в стандартний вивід,\n"
                           "помилки — в стандартний потік помилок.\n");
    return text;
}

CliRequest ParseCommandLine(const QStringList& arguments, const QString& defaultProgramDir)
{
    CliRequest request;
    request.ProgramDir = defaultProgramDir;
    QStringList positional;
    QString separator;
    bool separatorGiven = false;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (optionsEnded) {
            positional << argument;
            continue;
        }
        if (isHelpOption(argument)) {
            request.Kind = CliRequest::ShowHelp;
            return request;
        }
        bool missing = false;
        QString value;
        if (takeOption(kProgramDirOption, arguments, i, &value, &missing)) {
            if (missing || value.isEmpty())
                return failed(QStringLiteral("Не вказана папка після --program-dir\n"));
            request.ProgramDir = value;
        } else if (takeOption(kSeparatorOption, arguments, i, &value, &missing)) {
            if (missing)
                return failed(QStringLiteral("Не вказаний знак після --decimal-separator\n"));
            separator = value;
            separatorGiven = true;
        } else if (argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            return failed(QStringLiteral("Невідомий параметр: %1\nДовідка: emlo-cli --help\n").arg(argument));
        } else {
            positional << argument;
        }
    }

    if (positional.isEmpty())
        return failed(HelpText());
    const QString name = positional.takeFirst();
    if (name == QLatin1String("help")) {
        request.Kind = CliRequest::ShowHelp;
        return request;
    }
    const CliCommand* command = findCommand(name);
    if (command == nullptr)
        return failed(QStringLiteral("Невідома команда: %1\nДовідка: emlo-cli --help\n").arg(name));
    if (positional.size() != command->ArgCount)
        return failed(usageOf(*command));
    if (separatorGiven) {
        if (!command->TakesSeparator)
            return failed(QStringLiteral("Параметр --decimal-separator діє лише в команді export\n"));
        if (separator != QLatin1String(",") && separator != QLatin1String("."))
            return failed(
                QStringLiteral("Десятковий роздільник має бути \",\" або \".\", а не \"%1\"\n").arg(separator));
        request.DecimalSeparator = separator.at(0);
    }
    request.Kind = CliRequest::RunCommand;
    request.Command = command;
    request.Args = positional;
    return request;
}

int RunRequest(const CliRequest& request, QTextStream& out, QTextStream& err)
{
    switch (request.Kind) {
    case CliRequest::ShowHelp:
        out << HelpText();
        out.flush();
        return ExitOk;
    case CliRequest::Failed:
        err << request.Error;
        err.flush();
        return ExitError;
    case CliRequest::RunCommand: break;
    }
    CliContext context{request.Args, request.ProgramDir, request.DecimalSeparator, out, err};
    return request.Command->Run(context);
}

int RunCommandLine(const QStringList& arguments, const QString& defaultProgramDir, QTextStream& out, QTextStream& err)
{
    return RunRequest(ParseCommandLine(arguments, defaultProgramDir), out, err);
}

int RunCheck(CliContext& context)
{
    CliSession session(context);
    if (!session.Open(context.Args.at(0)))
        return ExitError;
    return session.RunCheck();
}

int RunExport(CliContext& context)
{
    // Taken before the tables open: opening them changes the current folder.
    const QString outDir = QDir(context.Args.at(1)).absolutePath();
    CliSession session(context);
    if (!session.Open(context.Args.at(0)))
        return ExitError;
    const int status = session.CheckBeforeOutput();
    if (status != ExitOk)
        return status;
    const QString error = ExportToFolder(session.Data(), outDir, context.DecimalSeparator);
    if (!error.isEmpty()) {
        session.PrintError(error);
        return ExitError;
    }
    return ExitOk;
}

int RunPrint(CliContext& context)
{
    // Laying out the form needs the fonts of a GUI application; without one
    // fail here, before the check rewrites the group totals.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        context.Err << "Друк потребує графічної підсистеми Qt (QGuiApplication)\n";
        context.Err.flush();
        return ExitError;
    }
    // Taken before the tables open: opening them changes the current folder.
    const QString pdf = QDir(context.Args.at(1)).absolutePath();
    CliSession session(context);
    if (!session.Open(context.Args.at(0)))
        return ExitError;
    const int status = session.CheckBeforeOutput();
    if (status != ExitOk)
        return status;
    QString error;
    try {
        if (emlo::print::PrintFormToPdf(session.Data().tblAttr, session.Data().tblData, pdf, &error))
            return ExitOk;
    } catch (const std::exception& e) {
        error = ErrorText(e);
    }
    session.PrintError(error);
    return ExitError;
}

}  // namespace emlo::cli
