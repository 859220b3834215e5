#pragma once

// The engine cursor of a table: its work area selected, the dataset's current
// record (image and decoded values) kept in step with the engine, and the
// moves in the active order over the records navigation sees (records marked
// deleted while the environment hides them, and records outside the query,
// are skipped). Moves raise no dataset events: TApolloTable does that.

#include <functional>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVector>

#include "store/recordcodec.h"

namespace emlo {

struct SdeApi;

struct EngineCursor {
    // failed(kind) raises the table's text for a failed engine call.
    EngineCursor(const RecordCodec& codec, std::function<void(short kind)> failed);

    const SdeApi& sx() const { return api; }
    void select() const;
    // Raises when the engine call just made failed (the outcome is cleared by
    // the next call, so this comes right after it).
    void check() const;
    // Puts the engine on the current record (navigation is always relative
    // to the dataset's record, whatever moved the engine meanwhile).
    void sync() const;
    // Takes the columns of the selected table into the codec; false when the
    // engine reports a column outside the record (a damaged file).
    bool readColumns(RecordCodec& target) const;
    // Forgets the record and the order (the table closed).
    void reset();

    // ---- the current record ----
    // The image changed: values are decoded afresh, each when first asked for.
    void imageChanged();
    // The value of a column of the current record (set, or decoded from the image).
    const FieldValue& value(int column) const;
    void setValue(int column, const QVariant& value);
    // The image of any record; leaves the engine on it.
    QByteArray readImage(qint32 recordNumber) const;
    // Takes the engine's current record as the dataset's current record.
    void readEngineRecord();
    // A column of the current record was set since it was read.
    void markDirty(int column);
    void setNoRecord();

    // ---- moves ----
    void goTop();
    void goBottom(bool markEof);
    bool skip(int direction);
    // Goes to a record by number; a record that is not visible gives the next
    // visible one in the current order, else the last one.
    void gotoVisible(qint32 target);
    // Keeps the current record after the order changed; without one, the first.
    void resync();

    // ---- visibility ----
    // Sets the engine-side filter (bytes: its text for the engine) and takes
    // its first record as the current one. Returns the engine's result;
    // *count becomes the query's count when the engine can tell it, else the
    // file's.
    short applyQuery(const QString& expr, const QByteArray& bytes, qint32* count);
    bool deletedHidden() const;
    // Whether the engine's current record is seen by navigation.
    bool engineRecordVisible() const;
    bool recordVisible(qint32 recordNumber) const;
    QVector<qint32> visibleRecNos() const;

    const RecordCodec& codec;
    const SdeApi& api;
    std::function<void(short)> failed;
    short workArea = 0;
    short indexHandle = 0;
    QString query;  // the engine-side filter; empty: none

    QByteArray image;         // raw record of the current record
    std::vector<bool> dirty;  // columns set since the record was read (markDirty)
    qint32 recNo = 0;         // 0: no current record
    bool eof = true;
    bool bof = true;

private:
    // Makes the image an unshared buffer of the record's size (plus the
    // engine's closing NUL), its bytes kept.
    void prepareImage();

    mutable std::vector<FieldValue> m_values;  // one per file column
    mutable std::vector<quint32> m_decodedAt;  // the image a value was decoded from
    quint32 m_image = 1;
    bool m_anyDirty = false;
    // The engine stands on the current record: no need to ask it where it is.
    mutable bool m_onRecord = false;
};

}  // namespace emlo
