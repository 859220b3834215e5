#include "clisession.h"

#include <QDir>
#include <QFileInfo>

#include "check/datacheck.h"
#include "store/engine.h"
#include "store/errors.h"

namespace emlo::cli {

namespace {

QString withSeparator(const QString& folder)
{
    QString path = QDir::cleanPath(QDir(folder).absolutePath());
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

}  // namespace

void PrintRows(const RemarkList& rows, QTextStream& out)
{
    for (const Remark& row : rows)
        out << row.Description << '\t' << row.SectionText << '\n';
    out.flush();
}

CliSession::CliSession(CliContext& context) : m_context(context)
{
    ApolloEngine::setLoadFailureHandler([this](const QString& message) { ShowError(message, 0); });
}

CliSession::~CliSession()
{
    m_data.reset();
    ApolloEngine::setLoadFailureHandler(nullptr);
}

void CliSession::PrintError(const QString& text)
{
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_context.Err << plain << '\n';
    m_context.Err.flush();
}

void CliSession::ShowError(const QString& text, int /*helpTopic*/)
{
    m_failed = true;
    PrintError(text);
}

void CliSession::FatalStop()
{
    m_failed = true;
    PrintError(QStringLiteral("Подальша робота програми неможлива."));
}

bool CliSession::Open(const QString& workDir)
{
    // Both folders are made absolute first: opening the reference tables
    // makes the program folder the current one.
    const QString workPath = withSeparator(workDir);
    const QString programPath = withSeparator(m_context.ProgramDir);
    if (!QFileInfo(workPath).isDir()) {
        PrintError(QStringLiteral("Робоча папка не знайдена: %1").arg(QDir::toNativeSeparators(workDir)));
        return false;
    }
    if (!QFileInfo(programPath).isDir()) {
        PrintError(
            QStringLiteral("Папка програми не знайдена: %1").arg(QDir::toNativeSeparators(m_context.ProgramDir)));
        return false;
    }

    m_failed = false;
    try {
        m_data = std::make_unique<TDataModule>(this);
        m_data->ProgramPath = programPath;
        m_data->WorkPath = workPath;
        // A missing work table is an error here: an export must not hand the
        // authority an empty table in place of one that went missing.
        m_data->CreateMissingWorkFiles = false;
        m_data->OpenReferenceTables();
        m_data->OpenWorkTables();
    } catch (const std::exception& error) {
        ShowError(ErrorText(error), 0);
    }
    return !m_failed;
}

int CliSession::RunCheck()
{
    Q_ASSERT(m_data);
    RemarkList rows;
    bool clean = false;
    try {
        clean = emlo::CheckBeforeOutput(*m_data, rows);
    } catch (const EAbort&) {
        PrintError(QStringLiteral("Перевірку перервано."));
        return ExitError;
    } catch (const std::exception& error) {
        PrintError(ErrorText(error));
        return ExitError;
    }
    PrintRows(rows, m_context.Out);
    return clean ? ExitOk : ExitRemarks;
}

int CliSession::CheckBeforeOutput()
{
    const int status = RunCheck();
    if (status == ExitRemarks)
        PrintError(QStringLiteral("Помилка при перевірці данних.\nНажаль вигрузка не можлива."));
    return status;
}

}  // namespace emlo::cli
