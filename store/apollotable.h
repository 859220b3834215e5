#pragma once

// TApolloTable: the dataset over one xBase table file, reached through the
// engine (libsde50.so): a current record with typed fields, browse/edit/insert
// states, navigation in the active index order (records marked deleted and
// records outside the query are not seen), record locks while editing, index
// files, an engine-side filter (Query) and table creation.
//
// Errors are EApolloError (texts of the table layer) or EDatabaseError (values
// refused by fields); the table keeps the text of the last one in
// LastErrorText(). Data-aware code binds through TDataSource / TDataLink.
//
// Files: names are matched without regard to letter case (an existing
// ATTR.DBF answers for "attr.dbf"); a new file gets the spelling given.
// Folders are held with a trailing "/". Paths go to the engine in the local
// 8-bit file name encoding; character data and expressions in Windows-1251.

#include <functional>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVector>

#include "fields.h"
#include "tableevent.h"

namespace emlo {

class TDataSource;
class TDataLink;

struct EngineFailure;

// The dataset states of the program's rules. A table only ever enters the first four;
// the others are named because the emissions page's state label has a text for each.
enum TDataSetState {
    dsInactive,
    dsBrowse,
    dsEdit,
    dsInsert,
    dsSetKey,
    dsCalcFields,
    dsFilter,
    dsNewValue,
    dsOldValue,
    dsCurValue,
    dsBlockRead,
    dsInternalCalc,
    dsOpening,
};
enum TTableType { ttSXNTX, ttSXFOX, ttSXNSX, ttSXNSX_DBT };  // engine types 1..4

// The physical record number of a record; 0: none.
using TBookmark = qint32;

class TApolloTable : public QObject {
    Q_OBJECT
public:
    using TDataSetNotifyEvent = TableEvent;

    // name: the component name (tblData, ...), also the QObject objectName.
    explicit TApolloTable(const QString& name = QString(), QObject* parent = nullptr);
    ~TApolloTable() override;

    QString Name() const { return objectName(); }

    // ---- properties ----
    // The table file; may hold a folder; ".DBF" is assumed without an extension.
    // Changing it while open raises "Cannot perform this operation on an open table".
    QString TableName() const { return m_tableName; }
    void setTableName(const QString& name);
    QString DatabaseName() const { return m_databaseName; }  // folder when TableName has none
    void setDatabaseName(const QString& folder);
    TTableType TableType() const { return m_tableType; }
    void setTableType(TTableType type) { m_tableType = type; }
    bool Exclusive() const { return m_exclusive; }
    void setExclusive(bool on) { m_exclusive = on; }
    bool ReadOnly() const { return m_readOnly; }
    void setReadOnly(bool on) { m_readOnly = on; }
    // The error text of a change refused because the table is ReadOnly;
    // empty: "Cannot modify a read-only data set". The owner sets its own
    // when the file could be opened only for reading (a read-only folder).
    QString ReadOnlyText() const { return m_readOnlyText; }
    void setReadOnlyText(const QString& text) { m_readOnlyText = text; }
    bool OEMTranslate() const { return m_oemTranslate; }
    void setOEMTranslate(bool on) { m_oemTranslate = on; }
    // Index file opened with the table; set by Index and IndexOpen, cleared by IndexClose.
    QString IndexName() const { return m_indexName; }
    void setIndexName(const QString& name) { m_indexName = name; }
    bool Active() const { return m_workArea > 0; }
    void setActive(bool on);
    QString LastErrorText() const { return m_lastErrorText; }
    // The engine's outcome kind (SX_ERR_... of sde.h) of the last failed
    // engine call, also of those reported by result (CreateExec, Index).
    int LastErrorKind() const { return m_lastErrorKind; }
    // The folder of the open file, with a trailing "/"; the file path.
    QString DataFolder() const { return m_dataFolder; }
    QString FilePath() const { return m_filePath; }
    // The engine alias of the open table ("DATA", "CONT1", ...).
    QString Alias() const { return m_alias; }

    // ---- fields ----
    // Fields defined before Open take the place of the fields the file
    // reports (only defined fields exist then). A defined data field must
    // exist in the file and agree in kind, else Open raises EDatabaseError.
    // The table owns the fields.
    TField* AddField(std::unique_ptr<TField> field);
    TStringField* AddStringField(const QString& name, int size);
    TSmallintField* AddSmallintField(const QString& name);
    TIntegerField* AddIntegerField(const QString& name);
    TFloatField* AddFloatField(const QString& name);
    // A look-up field: keyFields names this table's field whose value is
    // sought in lookupKeyFields of lookupDataSet; the value is
    // lookupResultField of the record found, or null. It never moves
    // lookupDataSet. type: ftString (with size), ftFloat, ftSmallint, ftInteger.
    TField* AddLookupField(const QString& name, TFieldType type, int size, TApolloTable* lookupDataSet,
                           const QString& lookupKeyFields, const QString& lookupResultField, const QString& keyFields);
    int FieldCount() const;
    TField* Fields(int index) const;               // 0-based; nullptr outside
    TField* FindField(const QString& name) const;  // case-insensitive; nullptr when absent
    // Case-insensitive; raises EDatabaseError "<Name>: Field '<name>' not found".
    TField* FieldByName(const QString& name) const;

    // ---- opening and closing ----
    void Open();
    void Close();  // pending edits are discarded, locks released
    void Refresh();

    // ---- navigation (each move first settles a pending edit: a changed
    //      record is posted, an unchanged one is given up) ----
    void First();
    void Last();
    void Next();
    void Prior();
    int MoveBy(int distance);  // returns the distance moved
    bool Eof() const;          // moved past the last record, or no record
    bool Bof() const;          // at the first record or before it, or no record
    bool IsEmpty() const;      // open and no visible record
    // The engine's count: records in the file, or the query's count when the
    // engine can tell it (hidden records may be included). For the exact
    // number of visible records use VisibleRecNos().size().
    qint32 RecordCount() const;
    // Physical number of the current record; 0 when there is none (also in insert state).
    qint32 RecNo() const;
    // Moves to that record. A record that is not visible (deleted, outside the
    // query) gives the next visible record in the current order, else the last.
    void setRecNo(qint32 recNo);
    TBookmark Bookmark() const { return RecNo(); }
    void setBookmark(TBookmark bookmark) { setRecNo(bookmark); }
    bool BookmarkValid(TBookmark bookmark) const;

    // ---- grids: reading without disturbing the current record ----
    // Record numbers of every visible record in the current order. The
    // current record and the dataset state are not changed.
    QVector<qint32> VisibleRecNos() const;
    // The value of a field for any record. For the current record in edit or
    // insert state this is the buffer's (unposted) value; otherwise the
    // stored value. Look-up fields are resolved. Null for recNo 0 or outside the file.
    QVariant FieldValueAt(qint32 recNo, const TField* field) const;

    // ---- editing ----
    // Whether Post syncs the table to the disk before it returns (on by
    // default: a record the user saw saved survives a power loss). Tools that
    // write many records at once switch it off.
    bool SyncOnPost() const { return m_syncOnPost; }
    void setSyncOnPost(bool on) { m_syncOnPost = on; }
    TDataSetState State() const { return m_state; }
    bool Modified() const { return m_modified; }
    bool CanModify() const { return Active() && !m_readOnly; }
    // Locks the current record and reads it afresh; on an empty table starts
    // an insert. Raises "Record Lock Failure. May be locked by another user or task.".
    void Edit();
    void Insert();  // a new record in the dataset only; the file sees it at Post
    void Append();
    // Asks the data links to commit (UpdateData), runs BeforePost (EAbort
    // there cancels silently: the state stays), writes the record with one
    // write and releases the table's locks. A value wider than its field
    // raises "Translate error. Value out of bounds" and nothing is written.
    // In browse state nothing happens.
    void Post();
    void Cancel();
    // Marks the current record deleted; the cursor goes to the next visible
    // record, or to the last one. Raises "Cannot modify a read-only data set"
    // or "Cannot perform this operation on an empty table". In insert state
    // it gives the new record up.
    void Delete();
    // True when writing value into the field would leave the current
    // record's stored bytes as they are (a value that does not fit: false).
    bool StoresAs(const TField* field, const QVariant& value);
    // Posts a changed record, gives up an unchanged one (what every move does).
    void CheckBrowseMode();
    // Asks the data links to commit their pending control changes (UpdateData).
    void UpdateRecord();

    // ---- look-up ----
    // With an active index: seeks the key (text padded to the key field's
    // width) and returns resultField of the record found, null when none;
    // the dataset's current record does not change. Without an index: the
    // first record in the current order whose keyField equals keyValue
    // becomes the current record; null when none (the record stays).
    QVariant Lookup(const QString& keyField, const QVariant& keyValue, const QString& resultField);
    // Makes the first record whose keyField equals keyValue current; false when none.
    bool Locate(const QString& keyField, const QVariant& keyValue);

    // ---- index files (an index file given without a folder lives in the
    //      table's folder) ----
    // Builds an index and makes it the active order; 0 on an engine failure.
    // Raises for a closed table, a missing name or expression, an invalid expression.
    short Index(const QString& fileName, const QString& keyExpression, const QString& condition = QString(),
                bool descending = false, short option = 0);
    // Opens an index file; an IDX file becomes the active order. Returns the
    // handle. Raises "Index file does not exist." CR "File: "..., and the
    // engine's failure when the file cannot be used. The program's own
    // indexes (DATA.IDX beside DATA.DBF, CY.IDX beside CY.DBF) are rebuilt
    // from their known keys instead when missing, damaged or on another key
    // (a damaged file is kept as <name>.bad); on a read-only table in memory.
    short IndexOpen(const QString& path);
    void IndexClose();

    // ---- locks ----
    // Nonzero when the whole file is locked; 0 when closed. The file lock
    // lasts until Unlock(0) or Close: Post, Cancel and Delete release only
    // their record's lock while it is held.
    short Flock();
    void Unlock(qint32 recNo);  // 0: every lock of the table
    bool FileLocked() const { return m_fileLocked; }

    // ---- engine-side filter ----
    // A logical xBase expression; "" (or a text starting with NUL) removes it.
    // Raises "Invalid Query Expression". The current record becomes the first
    // record that satisfies it. On a closed table nothing happens.
    short Query(const QString& expression);
    QString QueryExpression() const;

    // ---- creation ----
    // path: with a folder, or resolved in DatabaseName / the current folder.
    // tableType: engine type (2: FoxPro). Nonzero on success.
    short CreateNew(const QString& path, short tableType, short fieldCount);
    void CreateField(const QString& name, const QString& type, short width, short decimals);
    short CreateExec();  // writes the file and closes it; nonzero on success

    // ---- events (add listeners with BeforePost.add(...)) ----
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    TDataSetNotifyEvent OnNewRecord;  // a new record was started; its fields are empty

private:
    struct Impl;
    friend class TField;
    friend class TDataSource;

    // record buffer access for TField
    QVariant fieldValue(const TField* field) const;
    void setFieldValue(TField* field, const QVariant& value);
    // the value of a look-up field for a key, without moving this table
    QVariant lookupNoMove(const QString& keyField, const QVariant& keyValue, const QString& resultField) const;

    void registerDataSource(TDataSource* source);
    void unregisterDataSource(TDataSource* source);

    [[noreturn]] void fail(const QString& text);
    [[noreturn]] void failReadOnly();
    // Raises the program's text for an engine failure of that kind about
    // the file, after `lead` (a line of its own) when given.
    [[noreturn]] void failEngine(short kind, const QString& file, const QString& lead = QString());
    [[noreturn]] void raise(const emlo::EngineFailure& failure);
    // Keeps the text and kind of a failure reported by result, without raising.
    void noteEngineFailure(const QString& file);
    [[noreturn]] void failOpen(const QString& path);
    // Raises when more than one spelling of the file's name exists.
    void refuseAmbiguous(const QString& path);
    void fire(const TDataSetNotifyEvent& event);
    void checkActive();

    std::unique_ptr<Impl> d;
    QString m_tableName;
    QString m_databaseName;
    TTableType m_tableType = ttSXFOX;
    bool m_exclusive = false;
    bool m_readOnly = false;
    QString m_readOnlyText;
    bool m_fileLocked = false;
    bool m_syncOnPost = true;
    bool m_oemTranslate = false;
    QString m_indexName;
    QString m_lastErrorText;
    int m_lastErrorKind = 0;
    QString m_dataFolder;
    QString m_filePath;
    QString m_alias;
    short m_workArea = 0;
    TDataSetState m_state = dsInactive;
    bool m_modified = false;
};

}  // namespace emlo
