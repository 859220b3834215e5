#pragma once

// The private parts of TApolloTable, shared by its own code and by the
// fields' accessors (which read the current record's typed values).

#include <algorithm>
#include <vector>

#include "store/apollotable.h"
#include "store/datasource.h"
#include "store/engine.h"
#include "store/enginecursor.h"
#include "store/errors.h"
#include "store/fieldlist.h"
#include "store/indexfiles.h"
#include "store/recordcodec.h"
#include "store/recordwriter.h"
#include "store/tablecreator.h"
#include "store/tablelookup.h"

namespace emlo {

// The engine's aliases are Latin-1 C strings.
inline QByteArray latin(const QString& text)
{
    return text.toLatin1();
}

struct TApolloTable::Impl {
    explicit Impl(TApolloTable& table)
        : q(table),
          cursor(codec, [&table](short kind) { table.failEngine(kind, table.m_filePath); }),
          lookup(cursor),
          indexes(cursor, [&table](const emlo::EngineFailure& failure) { table.raise(failure); }),
          writer(cursor, [&table](const emlo::EngineFailure& failure) { table.raise(failure); })
    {
    }

    TApolloTable& q;
    emlo::RecordCodec codec;
    emlo::EngineCursor cursor;
    emlo::TableLookup lookup;
    emlo::IndexFiles indexes;
    emlo::RecordWriter writer;
    emlo::TableCreator creator;
    emlo::FieldList fields;
    std::vector<TDataSource*> sources;
    qint32 savedRecNo = 0;  // where an insert started
    bool savedEof = true;
    bool savedBof = true;
    qint32 recCount = 0;

    const SdeApi& sx() const { return cursor.api; }

    // The typed value of a data field of the current record, for the fields'
    // own accessors; nullptr when the field reads otherwise (closed table, no
    // record, a look-up field): then its QVariant is asked for.
    const emlo::FieldValue* slotOf(const TField& field) const
    {
        if (!q.Active() || field.FieldKind() != fkData || field.FieldNo() < 1
            || (q.m_state == dsBrowse && cursor.recNo == 0))
            return nullptr;
        return &cursor.value(field.FieldNo() - 1);
    }

    int requireColumn(const QString& name) const
    {
        const int column = codec.columnOf(name);
        if (column < 0)
            throw EDatabaseError(QStringLiteral("%1: Field '%2' not found").arg(q.Name(), name));
        return column;
    }

    // The bytes of a value in its column, with the table's text for a value
    // the column cannot hold.
    QByteArray encode(const emlo::FieldDesc& fd, const QVariant& value)
    {
        QByteArray bytes;
        switch (emlo::RecordCodec::encode(fd, value, bytes)) {
        case emlo::RecordCodec::EncodeError::None: break;
        case emlo::RecordCodec::EncodeError::OutOfBounds:
            q.fail(QStringLiteral("Translate error. Value out of bounds"));
        case emlo::RecordCodec::EncodeError::NotCp1251:
            q.fail(
                QStringLiteral("Поле «%1» містить символ, якого немає в кодовій сторінці Windows-1251").arg(fd.name));
        }
        return bytes;
    }

    void touch() { lookup.touch(); }

    void notify(TDataSource::Event event, TField* field = nullptr)
    {
        if (sources.empty())
            return;
        const std::vector<TDataSource*> copy = sources;
        for (TDataSource* source : copy) {
            if (std::find(sources.begin(), sources.end(), source) != sources.end())
                source->notify(event, field);
        }
    }
};

}  // namespace emlo
