#include "enginecursor.h"

#include <cctype>

#include "apolloenv.h"
#include "cp1251.h"
#include "engine.h"
#include "fieldkind.h"

namespace emlo {

EngineCursor::EngineCursor(const RecordCodec& recordCodec, std::function<void(short kind)> onFailure)
    : codec(recordCodec), api(ApolloEngine::Api()), failed(std::move(onFailure))
{
    // The engine's function table lives as long as the program (a reload
    // refills it in place), so it is looked up once per table.
}

void EngineCursor::select() const
{
    // Whatever follows may move the engine.
    m_onRecord = false;
    sx().sx_Select(workArea);
}

void EngineCursor::check() const
{
    const short kind = sx().sx_ErrorKind();
    if (kind != SX_OK)
        failed(kind);
}

void EngineCursor::sync() const
{
    const bool onRecord = m_onRecord;
    select();
    // Going to a record in index order means finding its key: skip it
    // when the engine is still where the dataset left it.
    if (recNo > 0 && !onRecord && (sx().sx_RecNo() != recNo || sx().sx_Eof() || sx().sx_Bof()))
        sx().sx_Go(recNo);
    m_onRecord = recNo > 0;
}

bool EngineCursor::readColumns(RecordCodec& target) const
{
    const short fieldCount = sx().sx_FieldCount();
    const int recordSize = sx().sx_RecSize();
    std::vector<FieldDesc> columns;
    for (short i = 1; i <= fieldCount; ++i) {
        FieldDesc fd;
        const QByteArray name(sx().sx_FieldName(i));
        fd.name = QString::fromLatin1(name).toUpper();
        const char* type = sx().sx_FieldType(name.constData());
        fd.type = type && *type ? static_cast<char>(std::toupper(static_cast<unsigned char>(*type))) : 'C';
        fd.offset = sx().sx_FieldOffset(name.constData());
        fd.width = sx().sx_FieldWidth(name.constData());
        fd.decimals = sx().sx_FieldDecimals(name.constData());
        fd.kind = valueKindOf(fd.type, fd.width, fd.decimals);
        if (fd.offset < 1 || fd.width < 1 || fd.offset + fd.width > recordSize)
            return false;
        columns.push_back(fd);
    }
    target.setColumns(std::move(columns), recordSize);
    return true;
}

void EngineCursor::reset()
{
    workArea = 0;
    m_values.clear();
    m_decodedAt.clear();
    m_onRecord = false;
    dirty.clear();
    image.clear();
    recNo = 0;
    eof = bof = true;
    indexHandle = 0;
    query.clear();
}

void EngineCursor::imageChanged()
{
    // The slots are kept (their storage is reused); a new image number makes
    // each one stale until it is asked for.
    const std::size_t columns = codec.columns().size();
    if (m_values.size() != columns) {
        m_values.resize(columns);
        m_decodedAt.resize(columns, 0);
    }
    if (m_anyDirty || dirty.size() != columns) {
        dirty.assign(columns, false);
        m_anyDirty = false;
    }
    ++m_image;
}

void EngineCursor::markDirty(int column)
{
    dirty[static_cast<std::size_t>(column)] = true;
    m_anyDirty = true;
}

const FieldValue& EngineCursor::value(int column) const
{
    const auto i = static_cast<std::size_t>(column);
    if (m_decodedAt[i] != m_image) {
        RecordCodec::decodeInto(codec.column(column), image.constData(), m_values[i]);
        m_decodedAt[i] = m_image;
    }
    return m_values[i];
}

void EngineCursor::setValue(int column, const QVariant& newValue)
{
    const auto i = static_cast<std::size_t>(column);
    m_values[i].set(newValue);
    m_decodedAt[i] = m_image;
}

QByteArray EngineCursor::readImage(qint32 recordNumber) const
{
    QByteArray buffer(codec.recordSize() + 1, ' ');
    select();
    sx().sx_Go(recordNumber);
    sx().sx_GetRecord(buffer.data());
    check();
    buffer.truncate(codec.recordSize());
    return buffer;
}

void EngineCursor::prepareImage()
{
    // The image's storage is reused: a scan reads every record into it. It
    // keeps the current record until the engine gives another one.
    const qsizetype size = codec.recordSize() + 1;
    if (image.size() != size)
        image.resize(size);
    image.detach();
}

void EngineCursor::readEngineRecord()
{
    prepareImage();
    sx().sx_GetRecord(image.data());
    check();
    recNo = static_cast<qint32>(sx().sx_RecNo());
    m_onRecord = true;
    imageChanged();
}

void EngineCursor::setNoRecord()
{
    recNo = 0;
    eof = true;
    bof = true;
    image = codec.blankImage();
    imageChanged();
}

void EngineCursor::goTop()
{
    select();
    sx().sx_GoTop();
    check();
    if (sx().sx_Eof()) {
        setNoRecord();
        return;
    }
    readEngineRecord();
    bof = true;
    eof = false;
}

void EngineCursor::goBottom(bool markEof)
{
    select();
    sx().sx_GoBottom();
    check();
    if (sx().sx_Eof()) {
        setNoRecord();
        return;
    }
    readEngineRecord();
    bof = false;
    eof = markEof;
}

bool EngineCursor::skip(int direction)
{
    if (recNo == 0) {
        goTop();
        return false;
    }
    if (!m_onRecord)
        sync();
    // One engine call per step of a scan: it selects the work area, moves
    // and hands over the record it lands on.
    prepareImage();
    const long landed = sx().sx_SkipRecord(workArea, direction, image.data());
    m_onRecord = false;
    if (landed <= 0) {
        check();
        (direction > 0 ? eof : bof) = true;
        sync();
        return false;
    }
    recNo = static_cast<qint32>(landed);
    m_onRecord = true;
    imageChanged();
    bof = false;
    eof = false;
    return true;
}

void EngineCursor::gotoVisible(qint32 target)
{
    select();
    const qint32 count = static_cast<qint32>(sx().sx_RecCount());
    if (target < 1) {
        goTop();
        return;
    }
    if (target > count) {
        goBottom(false);
        return;
    }
    sx().sx_Go(target);
    if (!engineRecordVisible()) {
        sx().sx_Skip(1);
        if (sx().sx_Eof()) {
            goBottom(false);
            return;
        }
    }
    readEngineRecord();
    bof = false;
    eof = false;
}

void EngineCursor::resync()
{
    if (recNo > 0)
        gotoVisible(recNo);
    else
        goTop();
}

short EngineCursor::applyQuery(const QString& expr, const QByteArray& bytes, qint32* count)
{
    select();
    const short result = sx().sx_Query(bytes.constData());
    check();
    query = expr;
    if (!expr.isEmpty() && sx().sx_QueryTest(bytes.constData()) > 0)
        *count = static_cast<qint32>(sx().sx_QueryRecCount());
    else
        *count = static_cast<qint32>(sx().sx_RecCount());
    // The current record follows the engine: the first record of the query.
    if (sx().sx_Eof()) {
        setNoRecord();
    } else {
        readEngineRecord();
        bof = true;
        eof = false;
    }
    return result;
}

bool EngineCursor::deletedHidden() const
{
    const TApolloEnv* env = TApolloEnv::Current();
    return env && env->AppliesToLocal() && env->Deleted();
}

bool EngineCursor::engineRecordVisible() const
{
    if (deletedHidden() && sx().sx_Deleted())
        return false;
    if (!query.isEmpty()) {
        const QByteArray expr = toCp1251(query);
        if (!sx().sx_EvalLogical(expr.constData()))
            return false;
    }
    return true;
}

bool EngineCursor::recordVisible(qint32 recordNumber) const
{
    select();
    bool visible = false;
    if (recordNumber >= 1 && recordNumber <= sx().sx_RecCount()) {
        sx().sx_Go(recordNumber);
        visible = engineRecordVisible();
    }
    sync();
    return visible;
}

QVector<qint32> EngineCursor::visibleRecNos() const
{
    QVector<qint32> out;
    select();
    for (sx().sx_GoTop(); !sx().sx_Eof(); sx().sx_Skip(1))
        out.append(static_cast<qint32>(sx().sx_RecNo()));
    sync();
    return out;
}

}  // namespace emlo
