#include "apollotable.h"
#include "apollotable_p.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include "apolloenv.h"
#include "cp1251.h"
#include "datasource.h"
#include "engine.h"
#include "errors.h"
#include "filecase.h"
#include "enginecursor.h"
#include "enginefailure.h"
#include "fieldkind.h"
#include "fieldlist.h"
#include "recordcodec.h"
#include "tablecatalog.h"
#include "tablelookup.h"
#include "tablepath.h"

namespace {

using emlo::FieldDesc;
using emlo::fileNamePart;
using emlo::folderPart;
using emlo::hasExtension;
using emlo::hasFolder;
using emlo::RecordCodec;

const QChar kCR = QChar(u'\r');

QByteArray latin(const QString& text)
{
    return text.toLatin1();
}

// The kind of the engine call that just failed.
short failedKind(const SdeApi& sx)
{
    const short kind = sx.sx_ErrorKind();
    return kind == SX_OK ? short(SX_ERR_OTHER) : kind;
}

QString indexLead(const QString& file)
{
    return QStringLiteral("Неможливо відкрити індекс: ") + file;
}

// Whether the active order is an index on that key, without a condition.
bool holdsKey(const SdeApi& sx, const char* key)
{
    return QByteArray(sx.sx_IndexKey()).trimmed().compare(key, Qt::CaseInsensitive) == 0
        && QByteArray(sx.sx_IndexCondition()).trimmed().isEmpty();
}

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
    const QString detail = QString::fromLocal8Bit(ApolloEngine::Api().sx_LastError());
    const QString text = emlo::engineFailureText(kind, file);
    m_lastErrorText = lead.isEmpty() ? text : lead + kCR + text;
    m_lastErrorKind = kind;
    throw EApolloError(m_lastErrorText, kind, detail);
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
    short kind = sx.sx_ErrorKind();
    const QString lead = QStringLiteral("Unable to open table: ") + path;
    if (kind == SX_ERR_CORRUPT) {
        long missing = 0;
        const QString detail = QString::fromLocal8Bit(sx.sx_LastError());
        sx.sx_SysProp(SX_SP_MISSING_RECORDS, &missing);
        if (missing > 0) {
            // A copy cut short, a restore of a part: say how much is gone.
            m_lastErrorText = lead + kCR + emlo::truncatedTableText(missing);
            m_lastErrorKind = kind;
            throw EApolloError(m_lastErrorText, kind, detail);
        }
    }
    failEngine(kind == SX_OK ? short(SX_ERR_OTHER) : kind, path, lead);
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

void TApolloTable::releaseLocks(qint32 recNo)
{
    d->cursor.select();
    if (!m_fileLocked)
        ApolloEngine::Api().sx_Unlock(0);
    else if (recNo > 0)
        ApolloEngine::Api().sx_Unlock(recNo);
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

// ---------------------------------------------------------------- fields

TField* TApolloTable::AddField(std::unique_ptr<TField> field)
{
    if (Active())
        fail(QStringLiteral("Cannot perform this operation on an open table"));
    field->m_dataSet = this;
    return d->fields.define(std::move(field));
}

TStringField* TApolloTable::AddStringField(const QString& name, int size)
{
    return static_cast<TStringField*>(AddField(std::make_unique<TStringField>(this, name, size)));
}

TSmallintField* TApolloTable::AddSmallintField(const QString& name)
{
    return static_cast<TSmallintField*>(AddField(std::make_unique<TSmallintField>(this, name)));
}

TIntegerField* TApolloTable::AddIntegerField(const QString& name)
{
    return static_cast<TIntegerField*>(AddField(std::make_unique<TIntegerField>(this, name)));
}

TFloatField* TApolloTable::AddFloatField(const QString& name)
{
    return static_cast<TFloatField*>(AddField(std::make_unique<TFloatField>(this, name)));
}

TField* TApolloTable::AddLookupField(const QString& name, TFieldType type, int size, TApolloTable* lookupDataSet,
                                     const QString& lookupKeyFields, const QString& lookupResultField,
                                     const QString& keyFields)
{
    std::unique_ptr<TField> field;
    switch (type) {
    case ftString: field = std::make_unique<TStringField>(this, name, size); break;
    case ftSmallint: field = std::make_unique<TSmallintField>(this, name); break;
    case ftInteger: field = std::make_unique<TIntegerField>(this, name); break;
    case ftFloat: field = std::make_unique<TFloatField>(this, name); break;
    default: throw EDatabaseError(QStringLiteral("Unsupported look-up field type for field '%1'").arg(name));
    }
    field->setLookup(lookupDataSet, lookupKeyFields, lookupResultField, keyFields);
    return AddField(std::move(field));
}

int TApolloTable::FieldCount() const
{
    return d->fields.count();
}

TField* TApolloTable::Fields(int index) const
{
    return d->fields.at(index);
}

TField* TApolloTable::FindField(const QString& name) const
{
    return d->fields.find(name);
}

TField* TApolloTable::FieldByName(const QString& name) const
{
    TField* field = FindField(name);
    if (!field)
        throw EDatabaseError(QStringLiteral("%1: Field '%2' not found").arg(Name(), name));
    return field;
}

QVariant TApolloTable::fieldValue(const TField* field) const
{
    if (!Active())
        return QVariant();
    if (field->FieldKind() == fkLookup) {
        const TField* keyField = FindField(field->KeyFields());
        if (!keyField || keyField == field || !field->LookupDataSet())
            return QVariant();
        return field->LookupDataSet()->lookupNoMove(field->LookupKeyFields(), keyField->AsVariant(),
                                                    field->LookupResultField());
    }
    if (field->m_valueIndex < 0 || (m_state == dsBrowse && d->cursor.recNo == 0))
        return QVariant();
    return d->cursor.value(field->m_valueIndex).toVariant();
}

void TApolloTable::setFieldValue(TField* field, const QVariant& value)
{
    if (!Active())
        throw EDatabaseError(QStringLiteral("%1: Cannot perform this operation on a closed dataset").arg(Name()));
    if (field->FieldKind() != fkData || field->ReadOnly() || field->m_valueIndex < 0)
        throw EDatabaseError(QStringLiteral("Field '%1' cannot be modified").arg(field->DisplayName()));
    if (m_state != dsEdit && m_state != dsInsert)
        throw EDatabaseError(QStringLiteral("%1: Dataset not in edit or insert mode").arg(Name()));
    const auto slot = static_cast<std::size_t>(field->m_valueIndex);
    const QVariant previous = d->cursor.value(field->m_valueIndex).toVariant();
    d->cursor.setValue(field->m_valueIndex, value);
    if (field->OnValidate) {
        try {
            field->OnValidate(*field);
        } catch (...) {
            d->cursor.setValue(field->m_valueIndex, previous);
            throw;
        }
    }
    d->cursor.dirty[slot] = true;
    m_modified = true;
    d->notify(TDataSource::Event::FieldChange, field);
    // Look-up fields keyed on this one show another record now.
    for (TField* other : d->fields.bound()) {
        if (other->FieldKind() == fkLookup && other->KeyFields().compare(field->FieldName(), Qt::CaseInsensitive) == 0)
            d->notify(TDataSource::Event::FieldChange, other);
    }
    if (field->OnChange)
        field->OnChange(*field);
}

QVariant TApolloTable::lookupNoMove(const QString& keyField, const QVariant& keyValue, const QString& resultField) const
{
    if (!Active() || keyValue.isNull())
        return QVariant();
    const int keyColumn = d->requireColumn(keyField);
    const int resultColumn = d->requireColumn(resultField);
    return d->lookup.cachedResult(keyColumn, keyValue, resultColumn);
}

// ---------------------------------------------------------------- open / close

void TApolloTable::Open()
{
    if (Active())
        return;
    if (m_workArea < 0)
        Close();  // a creation that was never executed
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
    if (m_workArea < 0) {
        // A table being created is given up.
        if (ApolloEngine::Loaded()) {
            ApolloEngine::Api().sx_Select(static_cast<short>(-m_workArea));
            ApolloEngine::Api().sx_Close();
        }
        m_workArea = 0;
        return;
    }
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

// ---------------------------------------------------------------- navigation

void TApolloTable::First()
{
    checkActive();
    CheckBrowseMode();
    fire(BeforeScroll);
    if (QByteArray(ApolloEngine::Api().sx_Alias(m_workArea)) != latin(m_alias)) {
        // The engine has lost the table (closed behind our back): reopen it.
        Close();
        Open();
    }
    d->cursor.goTop();
    d->notify(TDataSource::Event::DataSetChange);
    fire(AfterScroll);
}

void TApolloTable::Last()
{
    checkActive();
    CheckBrowseMode();
    fire(BeforeScroll);
    d->cursor.goBottom(true);
    d->notify(TDataSource::Event::DataSetChange);
    fire(AfterScroll);
}

void TApolloTable::Next()
{
    MoveBy(1);
}

void TApolloTable::Prior()
{
    MoveBy(-1);
}

int TApolloTable::MoveBy(int distance)
{
    checkActive();
    CheckBrowseMode();
    fire(BeforeScroll);
    int moved = 0;
    const int step = distance > 0 ? 1 : -1;
    while (moved != distance) {
        if (!d->cursor.skip(step))
            break;
        moved += step;
    }
    d->notify(TDataSource::Event::DataSetChange);
    fire(AfterScroll);
    return moved;
}

bool TApolloTable::Eof() const
{
    return !Active() || (m_state != dsInsert && d->cursor.eof);
}

bool TApolloTable::Bof() const
{
    return !Active() || (m_state != dsInsert && d->cursor.bof);
}

bool TApolloTable::IsEmpty() const
{
    return !Active() || (m_state == dsBrowse && d->cursor.recNo == 0);
}

qint32 TApolloTable::RecordCount() const
{
    return Active() ? d->recCount : 0;
}

qint32 TApolloTable::RecNo() const
{
    if (!Active() || m_state == dsInsert)
        return 0;
    return d->cursor.recNo;
}

void TApolloTable::setRecNo(qint32 recNo)
{
    checkActive();
    CheckBrowseMode();
    fire(BeforeScroll);
    d->cursor.gotoVisible(recNo);
    d->notify(TDataSource::Event::DataSetChange);
    fire(AfterScroll);
}

bool TApolloTable::BookmarkValid(TBookmark bookmark) const
{
    return Active() && bookmark >= 1 && d->cursor.recordVisible(bookmark);
}

QVector<qint32> TApolloTable::VisibleRecNos() const
{
    return Active() ? d->cursor.visibleRecNos() : QVector<qint32>();
}

QVariant TApolloTable::FieldValueAt(qint32 recNo, const TField* field) const
{
    if (!Active() || !field || field->DataSet() != this)
        return QVariant();
    const bool current =
        (m_state == dsInsert && recNo == 0) || (m_state != dsInsert && recNo == d->cursor.recNo && recNo > 0);
    if (current)
        return fieldValue(field);
    d->cursor.select();  // the record count below is the current work area's
    if (recNo < 1 || recNo > ApolloEngine::Api().sx_RecCount())
        return QVariant();
    QByteArray record;
    try {
        record = d->cursor.readImage(recNo);
    } catch (const EApolloError&) {
        // Read for display (a grid row): an unreadable record shows nothing
        // rather than end the paint; the next command meets the failure.
        d->cursor.sync();
        return QVariant();
    }
    d->cursor.sync();
    if (field->FieldKind() == fkLookup) {
        const TField* keyField = FindField(field->KeyFields());
        if (!keyField || keyField->m_valueIndex < 0 || !field->LookupDataSet())
            return QVariant();
        const QVariant key = RecordCodec::decode(d->codec.column(keyField->m_valueIndex), record.constData());
        return field->LookupDataSet()->lookupNoMove(field->LookupKeyFields(), key, field->LookupResultField());
    }
    if (field->m_valueIndex < 0)
        return QVariant();
    return RecordCodec::decode(d->codec.column(field->m_valueIndex), record.constData());
}

// ---------------------------------------------------------------- editing

bool TApolloTable::StoresAs(const TField* field, const QVariant& value)
{
    if (!Active() || !field || field->DataSet() != this || field->m_valueIndex < 0 || d->cursor.recNo == 0)
        return false;
    const FieldDesc& fd = d->codec.column(field->m_valueIndex);
    const QString lastError = m_lastErrorText;
    try {
        return d->encode(fd, value) == QByteArrayView(d->cursor.image).sliced(fd.offset, fd.width);
    } catch (const EApolloError&) {
        m_lastErrorText = lastError;  // a question, not a failed operation
        return false;
    }
}

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

    const SdeApi& sx = ApolloEngine::Api();
    d->cursor.select();
    qint32 target = d->cursor.recNo;
    if (m_state == dsInsert) {
        // One call writes the whole record and only then counts it: a kill
        // or a reader in between never sees a blank or half-made record.
        record[0] = ' ';
        const long appended = sx.sx_AppendRecord(record.constData());
        if (appended <= 0)
            failEngine(failedKind(sx), m_filePath);
        target = static_cast<qint32>(appended);
    } else {
        sx.sx_Go(target);
        record[0] = sx.sx_Deleted() ? '*' : ' ';
        sx.sx_PutRecord(record.constData());
        d->cursor.check();
    }
    // What the user was told is saved must survive a power loss. The record
    // is written by now: a failed sync is reported once the dataset stands on
    // it, so that posting again cannot append it a second time.
    short syncKind = SX_OK;
    QString syncDetail;
    if (m_syncOnPost) {
        sx.sx_Commit();
        syncKind = sx.sx_ErrorKind();
        if (syncKind != SX_OK)
            syncDetail = QString::fromLocal8Bit(sx.sx_LastError());
    }
    releaseLocks(target);

    m_state = dsBrowse;
    m_modified = false;
    if (target > d->recCount)
        d->recCount = target;
    d->touch();
    sx.sx_Go(target);
    d->cursor.readEngineRecord();
    d->cursor.eof = sx.sx_Eof() != 0;
    d->cursor.bof = false;
    d->notify(TDataSource::Event::StateChange);
    d->notify(TDataSource::Event::DataSetChange);
    fire(AfterPost);
    if (syncKind != SX_OK) {
        m_lastErrorText = emlo::engineFailureText(syncKind, m_filePath);
        m_lastErrorKind = syncKind;
        throw EApolloError(m_lastErrorText, syncKind, syncDetail);
    }
}

void TApolloTable::Cancel()
{
    if (!Active() || (m_state != dsEdit && m_state != dsInsert))
        return;
    fire(BeforeCancel);
    const bool wasInsert = m_state == dsInsert;
    releaseLocks(wasInsert ? 0 : d->cursor.recNo);
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
    const SdeApi& sx = ApolloEngine::Api();
    const qint32 victim = d->cursor.recNo;
    const bool editing = m_state == dsEdit;
    d->cursor.sync();
    // Another program may be editing this record: take its lock first, so a
    // record being edited elsewhere is never deleted under its editor.
    if (!editing && !sx.sx_Rlock(victim))
        fail(QStringLiteral("Record Lock Failure. May be locked by another user or task."));

    bool cursorRule = d->cursor.deletedHidden();
    if (!cursorRule && d->cursor.indexHandle != 0) {
        const char* condition = sx.sx_IndexCondition();
        cursorRule = condition && QByteArray(condition).toUpper().contains("DELETED()");
    }
    if (cursorRule) {
        sx.sx_Skip(1);
        const qint32 following = sx.sx_Eof() ? 0 : static_cast<qint32>(sx.sx_RecNo());
        sx.sx_Go(victim);
        sx.sx_Delete();
        checkDelete(victim, editing);
        editing ? releaseLocks(victim) : sx.sx_Unlock(victim);
        m_state = dsBrowse;
        m_modified = false;
        if (following > 0) {
            sx.sx_Go(following);
            d->cursor.readEngineRecord();
            d->cursor.bof = d->cursor.eof = false;
        } else {
            d->cursor.goBottom(false);
        }
    } else {
        sx.sx_Delete();
        checkDelete(victim, editing);
        editing ? releaseLocks(victim) : sx.sx_Unlock(victim);
        m_state = dsBrowse;
        m_modified = false;
        d->cursor.readEngineRecord();
    }
    d->touch();
    if (editing)
        d->notify(TDataSource::Event::StateChange);
    d->notify(TDataSource::Event::DataSetChange);
    fire(AfterDelete);
    fire(AfterScroll);
}

void TApolloTable::checkDelete(qint32 victim, bool editing)
{
    const SdeApi& sx = ApolloEngine::Api();
    const short kind = sx.sx_ErrorKind();
    if (kind == SX_OK)
        return;
    const QString detail = QString::fromLocal8Bit(sx.sx_LastError());
    // The record stays as it was; a lock taken only for the deletion goes.
    if (!editing)
        sx.sx_Unlock(victim);
    d->cursor.sync();
    m_lastErrorText = emlo::engineFailureText(kind, m_filePath);
    m_lastErrorKind = kind;
    throw EApolloError(m_lastErrorText, kind, detail);
}

// ---------------------------------------------------------------- look-up

QVariant TApolloTable::Lookup(const QString& keyField, const QVariant& keyValue, const QString& resultField)
{
    if (!Active())
        return QVariant();
    const int keyColumn = d->requireColumn(keyField);
    const int resultColumn = d->requireColumn(resultField);
    if (keyValue.isNull())
        return QVariant();
    // A seek moves the engine only; the dataset keeps its record.
    if (d->cursor.indexHandle != 0)
        return d->lookup.result(keyColumn, keyValue, resultColumn);
    if (!Locate(keyField, keyValue))
        return QVariant();
    return RecordCodec::lookupResult(d->codec.column(resultColumn), d->cursor.image.constData());
}

bool TApolloTable::Locate(const QString& keyField, const QVariant& keyValue)
{
    checkActive();
    const int keyColumn = d->requireColumn(keyField);
    CheckBrowseMode();
    if (keyValue.isNull())
        return false;
    const qint32 found = d->lookup.scan(keyColumn, keyValue);
    if (found == 0) {
        d->cursor.sync();
        return false;
    }
    fire(BeforeScroll);
    d->sx().sx_Go(found);
    d->cursor.readEngineRecord();
    d->cursor.bof = d->cursor.eof = false;
    d->notify(TDataSource::Event::DataSetChange);
    fire(AfterScroll);
    return true;
}

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
    const bool exists = FileExistsNoCase(full);
    const emlo::TableDef* own = Active() ? emlo::OwnIndexOf(m_filePath, file) : nullptr;
    if (!exists && own == nullptr)
        fail(QStringLiteral("Index file does not exist.") + kCR + QStringLiteral("File: ") + path);
    checkActive();
    const SdeApi& sx = ApolloEngine::Api();
    d->cursor.select();
    const bool idx = path.toUpper().contains(QStringLiteral(".IDX"));
    short handle = exists ? sx.sx_IndexOpen(QFile::encodeName(file).constData()) : 0;
    if (handle != 0 && idx)
        sx.sx_SetOrder(handle);
    // The program's own index is rebuilt from the key it knows; any other
    // failure is reported: working in record order instead would be silent.
    if (own != nullptr && (handle == 0 || !holdsKey(sx, own->indexKey)))
        handle = rebuildOwnIndex(own->indexKey, file);
    else if (handle == 0)
        failEngine(failedKind(sx), file, indexLead(file));
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

short TApolloTable::rebuildOwnIndex(const char* key, const QString& file)
{
    const SdeApi& sx = ApolloEngine::Api();
    const QByteArray encoded = QFile::encodeName(file);
    // Another copy of the program may be repairing the same file: one at a
    // time, and whoever comes second looks again under the lock. A table
    // opened read-only changes no file: its order is built in memory.
    const bool lockHere = !m_readOnly && !m_fileLocked;
    if (lockHere && !sx.sx_Flock())
        failEngine(SX_ERR_LOCKED, file, indexLead(file));
    struct Release {
        TApolloTable& table;
        bool held;
        ~Release()
        {
            if (!held)
                return;
            table.d->cursor.select();
            ApolloEngine::Api().sx_Unlock(0);
            if (table.m_state == dsEdit)
                ApolloEngine::Api().sx_Rlock(table.d->cursor.recNo);
        }
    } release{*this, lockHere};

    QString aside;
    if (FileExistsNoCase(file)) {
        const short handle = sx.sx_IndexOpen(encoded.constData());
        if (handle != 0) {
            sx.sx_SetOrder(handle);
            if (holdsKey(sx, key))
                return handle;
        } else {
            // Refused or failing (no access, a failing medium) is not damage,
            // and not a file to build over.
            const short kind = failedKind(sx);
            if ((kind != SX_ERR_CORRUPT && kind != SX_ERR_BAD_EXPR) || !QFileInfo(file).isFile())
                failEngine(kind, file, indexLead(file));
            // The damaged file is kept beside the new one.
            aside = file + QStringLiteral(".bad");
            for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
                aside = file + QStringLiteral(".bad") + QString::number(n);
            if (!QFile::rename(file, aside))
                failEngine(SX_ERR_ACCESS, file, indexLead(file));
        }
    }
    const short handle = sx.sx_Index(encoded.constData(), key, 0, 0, nullptr);
    if (handle == 0) {
        const short kind = failedKind(sx);
        if (!aside.isEmpty() && !QFileInfo::exists(file))
            QFile::rename(aside, file);
        failEngine(kind, file, indexLead(file));
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

// ---------------------------------------------------------------- query

short TApolloTable::Query(const QString& expression)
{
    if (!Active())
        return 0;
    QString expr = expression;
    // The text is handed on as a C string: it ends at the first NUL, so a
    // text made of one NUL character is the empty query.
    const auto nul = expr.indexOf(QChar(u'\0'));
    if (nul >= 0)
        expr.truncate(nul);
    if (expr.trimmed().isEmpty())
        expr.clear();
    CheckBrowseMode();
    const SdeApi& sx = ApolloEngine::Api();
    d->cursor.select();
    bool ok = true;
    const QByteArray bytes = toCp1251(expr, &ok);
    if (!expr.isEmpty() && (!ok || sx.sx_EvalTest(bytes.constData()) != SX_EVAL_LOGICAL))
        fail(QStringLiteral("Invalid Query Expression"));
    const short result = d->cursor.applyQuery(expr, bytes, &d->recCount);
    d->touch();
    d->notify(TDataSource::Event::DataSetChange);
    return result;
}

QString TApolloTable::QueryExpression() const
{
    return d->cursor.query;
}

// ---------------------------------------------------------------- creation

short TApolloTable::CreateNew(const QString& path, short tableType, short fieldCount)
{
    if (Active())
        return 0;
    Close();  // gives up a creation that was never executed
    m_lastErrorText.clear();
    m_lastErrorKind = 0;
    if (!ApolloEngine::Load())
        return 0;  // already reported by the engine loader
    const SdeApi& sx = ApolloEngine::Api();
    // An existing file of another spelling is the same file: the engine
    // refuses to replace it, and no second file is made beside it.
    const QString full = MatchFileCase(emlo::tableFilePath(path, m_databaseName));
    // The engine writes the file only at CreateExec; a folder that is not
    // there fails here already, where the caller expects it.
    if (!QFileInfo(folderPart(full)).isDir()) {
        m_lastErrorKind = SX_ERR_NOT_FOUND;
        m_lastErrorText = QStringLiteral("Папку не знайдено: ") + folderPart(full);
        return 0;
    }
    const QString alias = emlo::freeAlias(sx, full);
    const short area =
        sx.sx_CreateNew(QFile::encodeName(full).constData(), latin(alias).constData(), tableType, fieldCount);
    if (area <= 0) {
        noteEngineFailure(full);
        return 0;
    }
    m_createPath = full;
    m_workArea = static_cast<short>(-area);
    return area;
}

void TApolloTable::CreateField(const QString& name, const QString& type, short width, short decimals)
{
    if (m_workArea >= 0)
        fail(QStringLiteral("Must call CreateNew before CreateField"));
    const QString refusal = emlo::fieldDefinitionError(name, type, width);
    if (!refusal.isEmpty())
        fail(refusal);
    const SdeApi& sx = ApolloEngine::Api();
    sx.sx_Select(static_cast<short>(-m_workArea));
    sx.sx_CreateField(latin(name).constData(), latin(type).constData(), width, decimals);
}

short TApolloTable::CreateExec()
{
    if (m_workArea >= 0)
        fail(QStringLiteral("Must call CreateNew before CreateExec"));
    const SdeApi& sx = ApolloEngine::Api();
    sx.sx_Select(static_cast<short>(-m_workArea));
    const short result = sx.sx_CreateExec();
    if (!result)
        noteEngineFailure(m_createPath);
    sx.sx_Close();
    m_workArea = 0;
    return result;
}
