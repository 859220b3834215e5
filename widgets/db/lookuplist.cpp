#include "lookuplist.h"

#include <cmath>
#include <limits>

#include "store/apollotable.h"
#include "store/fields.h"

namespace emlo {

namespace {

QString rightTrimmed(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.left(end);
}

bool isNumber(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short: return true;
    default: return false;
    }
}

}  // namespace

std::shared_ptr<LookupList> LookupList::ForSource(TDataSource* source)
{
    static QHash<TDataSource*, std::weak_ptr<LookupList>> lists;
    if (auto existing = lists.value(source).lock())
        return existing;
    auto list = std::make_shared<LookupList>(source);
    lists.insert(source, list);
    return list;
}

LookupList::LookupList(TDataSource* source)
{
    setDataSource(source);
}

LookupList::~LookupList() = default;

LookupList::Signature LookupList::currentSignature() const
{
    Signature sig;
    const TApolloTable* table = DataSet();
    if (!table || !table->Active())
        return sig;
    sig.active = true;
    sig.file = table->FilePath();
    sig.index = table->IndexName();
    sig.query = table->QueryExpression();
    sig.count = table->RecordCount();
    return sig;
}

bool LookupList::refresh()
{
    // Reference tables are never written while the program runs, so the
    // entries change only with the file, its order or its query.
    if (m_reading)
        return false;
    const Signature sig = currentSignature();
    if (sig == m_signature && !m_stale)
        return false;
    m_signature = sig;
    m_stale = false;
    read();
    return true;
}

void LookupList::read()
{
    m_recNos.clear();
    m_rowOfRecNo.clear();
    m_columns.clear();
    TApolloTable* table = DataSet();
    if (!table || !table->Active())
        return;
    // One walk through the table in its order reads every entry with all its
    // fields: far cheaper than reading each field of each record by number.
    QVector<TField*> fields;
    for (int i = 0; i < table->FieldCount(); ++i)
        fields.append(table->Fields(i));
    QVector<Column*> columns;
    for (const TField* field : std::as_const(fields))
        columns.append(&m_columns[field->FieldName().toUpper()]);
    m_reading = true;
    const TBookmark place = table->Bookmark();
    try {
        for (table->First(); !table->Eof(); table->Next()) {
            m_rowOfRecNo.insert(table->RecNo(), int(m_recNos.size()));
            m_recNos.append(table->RecNo());
            for (int i = 0; i < fields.size(); ++i) {
                const QVariant value = fields.at(i)->AsVariant();
                QString text;
                if (!value.isNull())
                    text = isNumber(value) ? FloatToStr(value.toDouble()) : rightTrimmed(value.toString());
                columns[i]->folded.append(text.toCaseFolded());
                columns[i]->text.append(std::move(text));
            }
        }
        if (place > 0)
            table->setRecNo(place);
        else
            table->First();
    } catch (...) {
        m_reading = false;
        throw;
    }
    m_reading = false;
}

int LookupList::Count()
{
    refresh();
    return int(m_recNos.size());
}

qint32 LookupList::RecNoAt(int row)
{
    refresh();
    return row >= 0 && row < m_recNos.size() ? m_recNos.at(row) : 0;
}

LookupList::Column& LookupList::column(const QString& fieldName)
{
    refresh();
    Column& col = m_columns[fieldName.toUpper()];
    if (col.text.size() != m_recNos.size()) {
        // A field the table does not have: empty texts.
        col.text = QVector<QString>(m_recNos.size());
        col.folded = col.text;
    }
    return col;
}

QString LookupList::Text(int row, const QString& fieldName)
{
    const Column& col = column(fieldName);
    return row >= 0 && row < col.text.size() ? col.text.at(row) : QString();
}

int LookupList::FindPrefix(const QString& fieldName, const QString& prefix)
{
    if (prefix.isEmpty())
        return -1;
    const Column& col = column(fieldName);
    const QString wanted = prefix.toCaseFolded();
    for (int row = 0; row < col.folded.size(); ++row) {
        if (col.folded.at(row).startsWith(wanted))
            return row;
    }
    return -1;
}

int LookupList::FindKey(const QString& fieldName, const QVariant& key)
{
    if (key.isNull())
        return -1;
    Column& col = column(fieldName);
    if (isNumber(key)) {
        if (col.number.isEmpty() && !col.text.isEmpty()) {
            col.number.reserve(col.text.size());
            for (const QString& text : std::as_const(col.text)) {
                bool ok = false;
                const double value = text.trimmed().toDouble(&ok);
                col.number.append(ok ? value : std::numeric_limits<double>::quiet_NaN());
            }
        }
        const double wanted = key.toDouble();
        for (int row = 0; row < col.number.size(); ++row) {
            if (col.number.at(row) == wanted)
                return row;
        }
        return -1;
    }
    const QString wanted = rightTrimmed(key.toString());
    for (int row = 0; row < col.text.size(); ++row) {
        if (col.text.at(row) == wanted)
            return row;
    }
    return -1;
}

int LookupList::CurrentRow()
{
    refresh();
    const TApolloTable* table = DataSet();
    if (!table || !table->Active())
        return -1;
    return m_rowOfRecNo.value(table->RecNo(), -1);
}

void LookupList::MoveTo(int row)
{
    const qint32 recNo = RecNoAt(row);
    TApolloTable* table = DataSet();
    if (recNo > 0 && table && table->RecNo() != recNo)
        table->setRecNo(recNo);
}

void LookupList::ActiveChanged()
{
    tableChanged();
}

void LookupList::DataSetChanged()
{
    tableChanged();
}

void LookupList::tableChanged()
{
    if (m_reading)
        return;  // our own walk through the table
    // The entries are read at their first use, not here: a list is opened,
    // then indexed, then filtered at start-up, and each would be a walk
    // through the 30,000 settlements that nobody looks at yet.
    if (m_stale || currentSignature() != m_signature) {
        m_stale = true;
        emit contentChanged();
    }
    emit currentChanged();
}

void LookupList::RecordChanged(TField* field)
{
    if (!field && !m_reading)
        emit currentChanged();
}

}  // namespace emlo
