// TApolloTable's files besides the table itself: index files, the file
// lock, and the creation of a new table file.

#include "apollotable.h"
#include "apollotable_p.h"

#include <QFile>

#include "cp1251.h"
#include "datasource.h"
#include "engine.h"
#include "fieldkind.h"
#include "filecase.h"
#include "tablecatalog.h"
#include "tablepath.h"

namespace emlo {

using emlo::hasFolder;

// ---------------------------------------------------------------- indexes

short TApolloTable::Index(const QString& fileName, const QString& keyExpression, const QString& condition,
                          bool descending, short option)
{
    checkActive();
    if (fileName.trimmed().isEmpty())
        fail(QStringLiteral("Missing Parameter to Index Method: Index File Name"));
    if (keyExpression.trimmed().isEmpty())
        fail(QStringLiteral("Missing Parameter to Index or IndexTag Method: Index Expression"));
    CheckBrowseMode();
    const SdeApi& sx = ApolloEngine::Api();
    d->cursor.select();
    bool ok = false;
    const QByteArray key = toCp1251(keyExpression, &ok);
    if (!ok || sx.sx_EvalTest(key.constData()) == SX_EVAL_INVALID)
        fail(QStringLiteral("Invalid index expression [") + keyExpression + u']');
    const QString path = MatchFileCase(hasFolder(fileName) ? fileName : m_dataFolder + fileName);
    const QByteArray cond = toCp1251(condition);
    const short handle = sx.sx_Index(QFile::encodeName(path).constData(), key.constData(), option, descending ? 1 : 0,
                                     cond.isEmpty() ? nullptr : cond.constData());
    if (handle == 0) {
        noteEngineFailure(path);
        return 0;
    }
    d->cursor.indexHandle = handle;
    m_indexName = fileName;
    d->touch();
    d->cursor.resync();
    d->notify(TDataSource::Event::DataSetChange);
    return handle;
}

short TApolloTable::IndexOpen(const QString& path)
{
    QString full = path;
    if (!hasFolder(path)) {
        if (Active())
            full = m_dataFolder + path;
        else if (!m_databaseName.isEmpty())
            full = IncludeTrailingSlash(m_databaseName) + path;
    }
    refuseAmbiguous(full);
    const QString file = MatchFileCase(full);
    const emlo::TableDef* own = Active() ? emlo::OwnIndexOf(m_filePath, file) : nullptr;
    if (own == nullptr && !FileExistsNoCase(full))
        fail(QStringLiteral("Index file does not exist.") + QChar(u'\r') + QStringLiteral("File: ") + path);
    checkActive();
    const bool idx = path.toUpper().contains(QStringLiteral(".IDX"));
    const short handle =
        d->indexes.open(file, idx, own, {m_readOnly, m_fileLocked, m_state == dsEdit ? d->cursor.recNo : 0});
    if (idx) {
        d->cursor.indexHandle = handle;
        m_indexName = path;
        d->touch();
        if (m_state == dsBrowse) {
            d->cursor.resync();
            d->notify(TDataSource::Event::DataSetChange);
        }
    }
    return handle;
}

void TApolloTable::IndexClose()
{
    m_indexName.clear();
    if (!Active())
        return;
    d->cursor.select();
    ApolloEngine::Api().sx_IndexClose();
    d->cursor.indexHandle = 0;
    d->touch();
    if (m_state == dsBrowse) {
        d->cursor.resync();
        d->notify(TDataSource::Event::DataSetChange);
    }
}

// ---------------------------------------------------------------- locks

short TApolloTable::Flock()
{
    if (!Active())
        return 0;
    d->cursor.select();
    const short granted = ApolloEngine::Api().sx_Flock();
    if (granted)
        m_fileLocked = true;
    return granted;
}

void TApolloTable::Unlock(qint32 recNo)
{
    if (!Active())
        return;
    d->cursor.select();
    ApolloEngine::Api().sx_Unlock(recNo);
    if (recNo == 0)
        m_fileLocked = false;
}

// ---------------------------------------------------------------- creation

short TApolloTable::CreateNew(const QString& path, short tableType, short fieldCount)
{
    if (Active())
        return 0;
    m_lastErrorText.clear();
    m_lastErrorKind = 0;
    d->creator.giveUp();
    if (!ApolloEngine::Load())
        return 0;  // already reported by the engine loader
    // An existing file of another spelling is the same file: the engine
    // refuses to replace it, and no second file is made beside it.
    const short area =
        d->creator.begin(MatchFileCase(emlo::tableFilePath(path, m_databaseName)), tableType, fieldCount);
    if (area == 0) {
        m_lastErrorKind = d->creator.lastErrorKind();
        m_lastErrorText = d->creator.lastErrorText();
    }
    return area;
}

void TApolloTable::CreateField(const QString& name, const QString& type, short width, short decimals)
{
    if (!d->creator.pending())
        fail(QStringLiteral("Must call CreateNew before CreateField"));
    const QString refusal = emlo::fieldDefinitionError(name, type, width);
    if (!refusal.isEmpty())
        fail(refusal);
    d->creator.addField(name, type, width, decimals);
}

short TApolloTable::CreateExec()
{
    if (!d->creator.pending())
        fail(QStringLiteral("Must call CreateNew before CreateExec"));
    const short result = d->creator.execute();
    if (!result) {
        m_lastErrorKind = d->creator.lastErrorKind();
        m_lastErrorText = d->creator.lastErrorText();
    }
    return result;
}

}  // namespace emlo
