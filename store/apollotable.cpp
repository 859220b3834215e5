#include "apollotable.h"
#include "apollotable_p.h"

#include <algorithm>

#include <QFile>
#include <QFileInfo>

#include "apolloenv.h"
#include "datasource.h"
#include "engine.h"
#include "enginefailure.h"
#include "errors.h"
#include "filecase.h"
#include "tablepath.h"

namespace emlo {

namespace {

using emlo::FieldDesc;
using emlo::RecordCodec;

const QChar kCR = QChar(u'\r');

}  // namespace

// ================================================================ TApolloTable

TApolloTable::TApolloTable(const QString& name, QObject* parent) : QObject(parent), d(std::make_unique<Impl>(*this))
{
    setObjectName(name);
}

TApolloTable::~TApolloTable()
{
    // The owner's handlers may already be gone: closing now is no event of theirs.
    for (TDataSetNotifyEvent* event : {&BeforeOpen, &AfterOpen, &BeforeClose, &AfterClose, &BeforeInsert, &AfterInsert,
                                       &BeforeEdit, &AfterEdit, &BeforePost, &AfterPost, &BeforeCancel, &AfterCancel,
                                       &BeforeDelete, &AfterDelete, &BeforeScroll, &AfterScroll, &OnNewRecord})
        event->clear();
    try {
        Close();
    } catch (...) {
        // A destructor must not throw; the engine closes what is left at exit.
    }
    for (TDataSource* source : std::vector<TDataSource*>(d->sources))
        source->m_dataSet = nullptr;
}

void TApolloTable::fail(const QString& text)
{
    m_lastErrorText = text;
    m_lastErrorKind = 0;
    throw EApolloError(text);
}

void TApolloTable::failEngine(short kind, const QString& file, const QString& lead)
{
    raise({kind, file, lead, QString::fromLocal8Bit(ApolloEngine::Api().sx_LastError())});
}

void TApolloTable::raise(const emlo::EngineFailure& failure)
{
    m_lastErrorText = emlo::engineFailureText(failure);
    m_lastErrorKind = failure.kind;
    throw EApolloError(m_lastErrorText, failure.kind, failure.detail);
}

void TApolloTable::noteEngineFailure(const QString& file)
{
    const short kind = ApolloEngine::Api().sx_ErrorKind();
    m_lastErrorKind = kind == SX_OK ? SX_ERR_OTHER : kind;
    m_lastErrorText = emlo::engineFailureText(m_lastErrorKind, file);
}

void TApolloTable::failOpen(const QString& path)
{
    const SdeApi& sx = ApolloEngine::Api();
    emlo::EngineFailure failure = emlo::lastEngineFailure(sx, path, QStringLiteral("Unable to open table: ") + path);
    long missing = 0;
    if (failure.kind == SX_ERR_CORRUPT && (sx.sx_SysProp(SX_SP_MISSING_RECORDS, &missing), missing > 0)) {
        // A copy cut short, a restore of a part: say how much is gone.
        m_lastErrorText = failure.lead + kCR + emlo::truncatedTableText(missing);
        m_lastErrorKind = failure.kind;
        throw EApolloError(m_lastErrorText, failure.kind, failure.detail);
    }
    raise(failure);
}

void TApolloTable::refuseAmbiguous(const QString& path)
{
    const QString text = emlo::ambiguityText(path);
    if (!text.isEmpty())
        fail(text);
}

void TApolloTable::failReadOnly()
{
    fail(m_readOnlyText.isEmpty() ? QStringLiteral("Cannot modify a read-only data set") : m_readOnlyText);
}

void TApolloTable::fire(const TDataSetNotifyEvent& event)
{
    if (!event.isEmpty())
        event(*this);
}

void TApolloTable::checkActive()
{
    if (!Active())
        fail(QStringLiteral("Cannot perform this operation on a closed table"));
}

void TApolloTable::registerDataSource(TDataSource* source)
{
    if (std::find(d->sources.begin(), d->sources.end(), source) == d->sources.end())
        d->sources.push_back(source);
}

void TApolloTable::unregisterDataSource(TDataSource* source)
{
    d->sources.erase(std::remove(d->sources.begin(), d->sources.end(), source), d->sources.end());
}

void TApolloTable::setTableName(const QString& name)
{
    if (Active())
        fail(QStringLiteral("Cannot perform this operation on an open table"));
    if (name != m_tableName)
        d->fields.unbind();
    m_tableName = name;
}

void TApolloTable::setDatabaseName(const QString& folder)
{
    if (Active())
        fail(QStringLiteral("Cannot perform this operation on an open table"));
    m_databaseName = folder;
}

void TApolloTable::setActive(bool on)
{
    if (on)
        Open();
    else
        Close();
}

// ---------------------------------------------------------------- open / close

void TApolloTable::Open()
{
    if (Active())
        return;
    d->creator.giveUp();
    if (m_tableName.trimmed().isEmpty())
        fail(Name() + QStringLiteral(" : Missing TableName property"));
    const SdeApi& sx = Sde();
    fire(BeforeOpen);

    const QString path = emlo::tableFilePath(m_tableName, m_databaseName);
    refuseAmbiguous(path);
    const QString unopenable = emlo::unopenableText(path);
    if (!unopenable.isEmpty())
        fail(unopenable);
    const QFileInfo found(MatchFileCase(path));
    const QString alias = emlo::freeAlias(sx, path);

    const TApolloEnv* env = TApolloEnv::Current();
    const bool envApplies = env && env->AppliesToLocal();
    if (envApplies)
        env->Apply();
    sx.sx_ErrorLevel(0);
    const short mode = m_exclusive ? SX_EXCLUSIVE : (m_readOnly ? SX_READONLY : SX_READWRITE);
    const QByteArray encodedPath = QFile::encodeName(found.absoluteFilePath());
    // Another program's locks refuse the open only when it uses the table exclusively.
    const short area =
        sx.sx_Use(encodedPath.constData(), latin(alias).constData(), mode, static_cast<short>(m_tableType + 1));
    if (area <= 0)
        failOpen(path);
    sx.sx_ErrorLevel(envApplies ? env->ErrorLevel() : 0);

    m_workArea = area;
    d->cursor.workArea = area;
    m_alias = alias;
    m_filePath = found.absoluteFilePath();
    m_dataFolder = IncludeTrailingSlash(found.absolutePath());
    try {
        sx.sx_SetTurboRead(1);
        sx.sx_SetTranslate(m_oemTranslate ? 1 : 0);
        if (!d->cursor.readColumns(d->codec))
            fail(QStringLiteral("Unable to open table: ") + path);
        d->fields.bind(this, d->codec);
        d->cursor.indexHandle = 0;
        d->cursor.query.clear();
        m_state = dsBrowse;
        if (!m_indexName.isEmpty())
            IndexOpen(m_indexName);
        d->recCount = static_cast<qint32>(sx.sx_RecCount());
    } catch (...) {
        d->cursor.select();
        sx.sx_Close();
        m_workArea = 0;
        m_state = dsInactive;
        d->cursor.workArea = 0;
        d->fields.unbind();
        d->codec.clear();
        throw;
    }
    m_modified = false;
    d->touch();
    d->cursor.goTop();
    d->notify(TDataSource::Event::ActiveChange);
    fire(AfterOpen);
}

void TApolloTable::Close()
{
    d->creator.giveUp();
    if (!Active())
        return;
    fire(BeforeClose);
    const SdeApi& sx = ApolloEngine::Api();
    const QByteArray known(sx.sx_Alias(m_workArea));
    if (!known.isEmpty()) {
        d->cursor.select();
        sx.sx_Unlock(0);
        sx.sx_Close();
    }
    m_fileLocked = false;
    m_workArea = 0;
    m_state = dsInactive;
    m_modified = false;
    d->fields.unbind();
    d->codec.clear();
    d->cursor.reset();
    d->touch();
    d->notify(TDataSource::Event::ActiveChange);
    fire(AfterClose);
}

void TApolloTable::Refresh()
{
    checkActive();
    CheckBrowseMode();
    const SdeApi& sx = ApolloEngine::Api();
    d->cursor.select();
    const QByteArray filter(sx.sx_DBFilter());
    const qint32 back = d->cursor.recNo;
    if (!filter.isEmpty() && sx.sx_QueryTest(filter.constData()) > 0) {
        sx.sx_Query(filter.constData());
        d->recCount = static_cast<qint32>(sx.sx_QueryRecCount());
    } else {
        d->recCount = static_cast<qint32>(sx.sx_RecCount());
    }
    d->touch();
    if (back > 0)
        d->cursor.gotoVisible(back);
    else
        d->cursor.goTop();
    d->notify(TDataSource::Event::DataSetChange);
}

// ---------------------------------------------------------------- editing

void TApolloTable::CheckBrowseMode()
{
    if (!Active())
        return;
    d->notify(TDataSource::Event::CheckBrowseMode);
    if (m_state == dsEdit || m_state == dsInsert) {
        UpdateRecord();
        if (m_modified)
            Post();
        else
            Cancel();
    }
}

void TApolloTable::UpdateRecord()
{
    if (m_state == dsEdit || m_state == dsInsert)
        d->notify(TDataSource::Event::UpdateRecord);
}

void TApolloTable::Edit()
{
    if (m_state == dsEdit || m_state == dsInsert)
        return;
    checkActive();
    if (d->cursor.recNo == 0) {
        Insert();
        return;
    }
    if (m_readOnly)
        failReadOnly();
    fire(BeforeEdit);
    const SdeApi& sx = ApolloEngine::Api();
    d->cursor.sync();
    if (!sx.sx_Rlock(d->cursor.recNo))
        fail(QStringLiteral("Record Lock Failure. May be locked by another user or task."));
    // Editing starts from what is stored now, not from what was read earlier.
    sx.sx_Go(d->cursor.recNo);
    d->cursor.readEngineRecord();
    m_state = dsEdit;
    m_modified = false;
    d->notify(TDataSource::Event::StateChange);
    d->notify(TDataSource::Event::RecordChange);
    fire(AfterEdit);
}

void TApolloTable::Insert()
{
    checkActive();
    CheckBrowseMode();
    if (m_readOnly)
        failReadOnly();
    fire(BeforeInsert);
    fire(BeforeScroll);
    d->savedRecNo = d->cursor.recNo;
    d->savedEof = d->cursor.eof;
    d->savedBof = d->cursor.bof;
    d->cursor.image = d->codec.blankImage();
    d->cursor.imageChanged();
    m_state = dsInsert;
    m_modified = false;
    d->notify(TDataSource::Event::StateChange);
    try {
        fire(OnNewRecord);
    } catch (...) {
        m_state = dsBrowse;
        m_modified = false;
        d->cursor.recNo = d->savedRecNo;
        if (d->cursor.recNo > 0)
            d->cursor.gotoVisible(d->cursor.recNo);
        else
            d->cursor.goTop();
        d->notify(TDataSource::Event::StateChange);
        d->notify(TDataSource::Event::DataSetChange);
        throw;
    }
    // Values set by OnNewRecord are defaults, not the user's change.
    m_modified = false;
    d->notify(TDataSource::Event::DataSetChange);
    fire(AfterInsert);
    fire(AfterScroll);
}

void TApolloTable::Append()
{
    Insert();
}

void TApolloTable::Post()
{
    if (!Active() || (m_state != dsEdit && m_state != dsInsert))
        return;
    UpdateRecord();
    fire(BeforePost);

    // Encode first: a value that does not fit raises before anything reaches
    // the file (an insert must not leave a blank record behind).
    QByteArray record = m_state == dsInsert ? d->codec.blankImage() : d->cursor.image;
    for (std::size_t i = 0; i < d->codec.columns().size(); ++i) {
        if (!d->cursor.dirty[i])
            continue;
        const FieldDesc& fd = d->codec.columns()[i];
        const QByteArray bytes = d->encode(fd, d->cursor.value(static_cast<int>(i)).toVariant());
        record.replace(fd.offset, fd.width, bytes);
    }

    const qint32 target = d->writer.write(record, m_state == dsInsert ? 0 : d->cursor.recNo, m_filePath);
    // What the user was told is saved must survive a power loss. The record
    // is written by now: a failed sync is reported once the dataset stands on
    // it, so that posting again cannot append it a second time.
    const emlo::EngineFailure synced = m_syncOnPost ? d->writer.sync(m_filePath) : emlo::EngineFailure{};
    d->writer.releaseLocks(target, m_fileLocked);

    m_state = dsBrowse;
    m_modified = false;
    if (target > d->recCount)
        d->recCount = target;
    d->touch();
    d->writer.readBack(target);
    d->notify(TDataSource::Event::StateChange);
    d->notify(TDataSource::Event::DataSetChange);
    fire(AfterPost);
    if (synced.kind != SX_OK)
        raise(synced);
}

void TApolloTable::Cancel()
{
    if (!Active() || (m_state != dsEdit && m_state != dsInsert))
        return;
    fire(BeforeCancel);
    const bool wasInsert = m_state == dsInsert;
    d->writer.releaseLocks(wasInsert ? 0 : d->cursor.recNo, m_fileLocked);
    m_state = dsBrowse;
    m_modified = false;
    if (wasInsert) {
        d->cursor.recNo = d->savedRecNo;
        if (d->cursor.recNo > 0) {
            d->cursor.image = d->cursor.readImage(d->cursor.recNo);
            d->cursor.imageChanged();
            d->cursor.eof = d->savedEof;
            d->cursor.bof = d->savedBof;
        } else {
            d->cursor.goTop();
        }
    } else {
        d->cursor.image = d->cursor.readImage(d->cursor.recNo);
        d->cursor.imageChanged();
    }
    d->cursor.sync();
    d->notify(TDataSource::Event::StateChange);
    d->notify(TDataSource::Event::DataSetChange);
    fire(AfterCancel);
}

void TApolloTable::Delete()
{
    checkActive();
    if (m_readOnly)
        failReadOnly();
    if (m_state == dsInsert) {
        Cancel();
        return;
    }
    if (d->cursor.recNo == 0)
        fail(QStringLiteral("Cannot perform this operation on an empty table"));
    d->notify(TDataSource::Event::CheckBrowseMode);
    fire(BeforeDelete);
    fire(BeforeScroll);
    const bool editing = m_state == dsEdit;
    if (!d->writer.remove(editing, m_fileLocked, m_filePath))
        fail(QStringLiteral("Record Lock Failure. May be locked by another user or task."));
    m_state = dsBrowse;
    m_modified = false;
    d->touch();
    if (editing)
        d->notify(TDataSource::Event::StateChange);
    d->notify(TDataSource::Event::DataSetChange);
    fire(AfterDelete);
    fire(AfterScroll);
}

}  // namespace emlo
