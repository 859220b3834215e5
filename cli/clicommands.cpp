#include "clicommands.h"

#include <QDir>

#include "clisession.h"
#include "export/folderexport.h"
#include "print/printform.h"

namespace emlo::cli {

// A command is one entry here and one function taking the context; a
// command that needs the tables opens them with TCliSession (and runs
// TCliSession::CheckBeforeOutput first when it writes output).
const QList<TCliCommand>& Commands()
{
    static const QList<TCliCommand> commands = {
        {"check", "РОБОЧА_ПАПКА",
         "Перевіряє дані підприємства в робочій папці на заповнення і друкує\n"
         "зауваження: опис, табуляція, розділ; без зауважень — \"Все гаразд\".\n"
         "Перевірка без зауважень також оновлює групові підсумки викидів.\n"
         "Робоча папка має містити ATTR.DBF і DATA.DBF (їх створює вікно програми);\n"
         "без них — помилка. Відсутній індекс DATA.IDX будується заново.\n"
         "Код завершення: 0 — зауважень немає, 1 — є зауваження, 2 — помилка.\n",
         1, &RunCheck},
        {"export", "РОБОЧА_ПАПКА ПАПКА_ВИГРУЗКИ",
         "Перевіряє дані, як перед вигрузкою з програми; без зауважень записує\n"
         "attr.xml і data.xml (Windows-1251) у папку вигрузки, створюючи її.\n"
         "Зауваження друкуються, як у команді check, і нічого не записується.\n"
         "Код завершення: 0 — вигружено, 1 — є зауваження, 2 — помилка.\n",
         2, &RunExport},
        {"print", "РОБОЧА_ПАПКА ФАЙЛ.pdf",
         "Перевіряє дані, як перед друком з програми; без зауважень записує\n"
         "друковану форму (обидва розділи, аркуш A4) у файл PDF.\n"
         "Зауваження друкуються, як у команді check, і нічого не записується.\n"
         "Код завершення: 0 — записано, 1 — є зауваження, 2 — помилка.\n",
         2, &RunPrint},
    };
    return commands;
}

namespace {

const TCliCommand* findCommand(const QString& name)
{
    for (const TCliCommand& command : Commands()) {
        if (name == QLatin1String(command.Name))
            return &command;
    }
    return nullptr;
}

bool isHelpOption(const QString& argument)
{
    return argument == QLatin1String("--help") || argument == QLatin1String("-h");
}

}  // namespace

QString HelpText()
{
    QString text = QStringLiteral(
        "emlo-cli — перевірка, вивантаження та друк даних Emlo без вікна програми.\n"
        "\n"
        "Використання: emlo-cli КОМАНДА АРГУМЕНТИ [--program-dir ПАПКА]\n"
        "              emlo-cli --help\n"
        "\n"
        "Команди:\n");
    for (const TCliCommand& command : Commands()) {
        text += QStringLiteral("  %1 %2 [--program-dir ПАПКА]\n")
                    .arg(QLatin1String(command.Name), QString::fromUtf8(command.Synopsis));
        const QStringList lines = QString::fromUtf8(command.Help).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString& line : lines)
            text += QStringLiteral("      ") + line + QLatin1Char('\n');
    }
    text += QStringLiteral(
        "\n"
        "Параметри:\n"
        "  --program-dir ПАПКА  папка програми з довідниками (CONT.DBF, OW.DBF, DP.DBF,\n"
        "                       EA.DBF, OBL.DBF, CY.DBF); типово — папка emlo-cli,\n"
        "                       а встановленої програми — <префікс>/share/emlo\n"
        "  -h, --help           ця довідка\n"
        "\n"
        "Тексти виводяться в кодуванні UTF-8; помилки — в стандартний потік помилок.\n");
    return text;
}

int RunCommandLine(const QStringList& arguments, const QString& defaultProgramDir, QTextStream& out,
                   QTextStream& err)
{
    QStringList positional;
    QString programDir = defaultProgramDir;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (isHelpOption(argument)) {
            out << HelpText();
            out.flush();
            return ExitOk;
        }
        if (argument == QLatin1String("--program-dir")) {
            if (i + 1 >= arguments.size()) {
                err << "Не вказана папка після --program-dir\n";
                err.flush();
                return ExitError;
            }
            programDir = arguments.at(++i);
        } else if (argument.startsWith(QLatin1String("--program-dir="))) {
            programDir = argument.mid(int(sizeof("--program-dir=")) - 1);
        } else if (argument.startsWith(QLatin1String("--")) && argument.size() > 2) {
            err << QStringLiteral("Невідомий параметр: %1\n").arg(argument);
            err.flush();
            return ExitError;
        } else {
            positional << argument;
        }
    }

    if (positional.isEmpty()) {
        err << HelpText();
        err.flush();
        return ExitError;
    }
    const QString name = positional.takeFirst();
    if (name == QLatin1String("help")) {
        out << HelpText();
        out.flush();
        return ExitOk;
    }
    const TCliCommand* command = findCommand(name);
    if (command == nullptr) {
        err << QStringLiteral("Невідома команда: %1\nДовідка: emlo-cli --help\n").arg(name);
        err.flush();
        return ExitError;
    }
    if (positional.size() != command->ArgCount) {
        err << QStringLiteral("Використання: emlo-cli %1 %2 [--program-dir ПАПКА]\n")
                   .arg(QLatin1String(command->Name), QString::fromUtf8(command->Synopsis));
        err.flush();
        return ExitError;
    }

    TCliContext context{positional, programDir, out, err};
    return command->Run(context);
}

int RunCheck(TCliContext& context)
{
    TCliSession session(context);
    if (!session.Open(context.Args.at(0)))
        return ExitError;
    return session.RunCheck();
}

int RunExport(TCliContext& context)
{
    // Taken before the tables open: opening them changes the current folder.
    const QString outDir = QDir(context.Args.at(1)).absolutePath();
    TCliSession session(context);
    if (!session.Open(context.Args.at(0)))
        return ExitError;
    const int status = session.CheckBeforeOutput();
    if (status != ExitOk)
        return status;
    const QString error = ExportToFolder(session.Data(), outDir);
    if (!error.isEmpty()) {
        session.PrintError(error);
        return ExitError;
    }
    return ExitOk;
}

int RunPrint(TCliContext& context)
{
    // Taken before the tables open: opening them changes the current folder.
    const QString pdf = QDir(context.Args.at(1)).absolutePath();
    TCliSession session(context);
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
        error = QString::fromUtf8(e.what());
    }
    session.PrintError(error);
    return ExitError;
}

}  // namespace emlo::cli
