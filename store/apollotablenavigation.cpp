// TApolloTable's way through its records: moving, look-ups, and the query
// that narrows which records it shows.

#include "apollotable.h"
#include "apollotable_p.h"

#include "cp1251.h"
#include "datasource.h"
#include "engine.h"

namespace emlo {

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

}  // namespace emlo
