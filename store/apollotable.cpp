#include "apollotable.h"

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
#include "numbertext.h"

namespace {

const QChar kCR = QChar(u'\r');

quint64 nextGeneration()
{
    static quint64 counter = 0;
    return ++counter;
}

enum class ValueKind { String, Smallint, Integer, Float, Boolean, Date, Unsupported };

bool hasFolder(const QString& path)
{
    return path.contains(u'/');
}

QString fileNamePart(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString folderPart(const QString& path)
{
    return path.left(path.lastIndexOf(u'/') + 1);
}

bool hasExtension(const QString& fileName)
{
    return fileName.lastIndexOf(u'.') > 0;
}

// The engine name of a table: the file name without folder and extension, in
// capitals, at most 8 characters, each character other than A..Z as "_".
QString deriveAlias(const QString& path)
{
    QString base = fileNamePart(path);
    const int dot = base.lastIndexOf(u'.');
    if (dot > 0)
        base.truncate(dot);
    base = base.toUpper().left(8);
    for (QChar& ch : base) {
        if (ch < u'A' || ch > u'Z')
            ch = u'_';
    }
    return base.isEmpty() ? QStringLiteral("_") : base;
}

// The program's own words for a failed engine call, chosen by the kind of
// its outcome, so that a lock, a damaged file and a full disk read
// differently; the file is named.
QString engineFailureText(short kind, const QString& file)
{
    switch (kind) {
    case SX_ERR_NOT_FOUND: return QStringLiteral("Файл або запис не знайдено: %1").arg(file);
    case SX_ERR_CORRUPT: return QStringLiteral("Файл таблиці пошкоджено: %1").arg(file);
    case SX_ERR_IO: return QStringLiteral("Помилка читання або запису на диску, файл: %1").arg(file);
    case SX_ERR_LOCKED: return QStringLiteral("Таблицю заблокувала інша програма або інший користувач: %1").arg(file);
    case SX_ERR_BAD_VALUE: return QStringLiteral("Значення не вміщується в поле таблиці: %1").arg(file);
    case SX_ERR_BAD_EXPR: return QStringLiteral("Помилковий вираз для таблиці: %1").arg(file);
    case SX_ERR_DISK_FULL: return QStringLiteral("Недостатньо місця на диску для запису файлу: %1").arg(file);
    case SX_ERR_ACCESS:
        return QStringLiteral("Немає дозволу на запис, або файл чи папка доступні лише для читання: %1").arg(file);
    case SX_ERR_EXISTS: return QStringLiteral("Файл уже існує: %1").arg(file);
    default: return QStringLiteral("Помилка роботи з таблицею: %1").arg(file);
    }
}

QByteArray latin(const QString& text)
{
    return text.toLatin1();
}

QString rightTrimmed(const QString& text)
{
    int n = static_cast<int>(text.size());
    while (n > 0 && text.at(n - 1) == u' ')
        --n;
    return text.left(n);
}

}  // namespace

struct TApolloTable::FieldDesc {
    QString name;  // as the engine reports it (capitals)
    char type = 'C';
    int offset = 0;  // in the record image, the deletion flag being byte 0
    int width = 0;
    int decimals = 0;
    ValueKind kind = ValueKind::String;
};

namespace {

// The text of an N column in its simplest and by far commonest form: blanks
// around an optional minus, digits and at most one "." between digits. Such a
// number is converted here exactly as the general parser would (a value of at
// most 15 significant digits divided once by an exact power of ten is the
// correctly rounded double); any other text goes to the general parser.
struct PlainNumber {
    enum Result { Blank, Parsed, Other };
    double value = 0;
    qint64 integer = 0;
    bool isInteger = false;  // no "." and fits in an int
};

PlainNumber::Result parsePlainNumber(const char* text, int width, PlainNumber& out)
{
    static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    int b = 0, e = width;
    while (b < e && isBlank(text[b]))
        ++b;
    while (e > b && isBlank(text[e - 1]))
        --e;
    if (b == e)
        return PlainNumber::Blank;
    bool negative = false;
    if (text[b] == '-') {
        negative = true;
        ++b;
    }
    quint64 mantissa = 0;
    int digits = 0, intDigits = 0, fraction = 0;
    bool dot = false;
    for (int i = b; i < e; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (mantissa == 0 && c == '0') {
                // leading zeros are not significant
            } else if (++digits > 15) {
                return PlainNumber::Other;
            }
            mantissa = mantissa * 10 + static_cast<quint64>(c - '0');
            if (dot)
                ++fraction;
            else
                ++intDigits;
        } else if (c == '.' && !dot) {
            dot = true;
        } else {
            return PlainNumber::Other;
        }
    }
    if (intDigits == 0 || (dot && fraction == 0))
        return PlainNumber::Other;
    const double magnitude = static_cast<double>(mantissa) / kPow10[fraction > 15 ? 15 : fraction];
    if (fraction > 15)
        return PlainNumber::Other;
    out.value = negative ? -magnitude : magnitude;
    out.isInteger = !dot && mantissa <= 2147483647u + (negative ? 1u : 0u);
    out.integer = negative ? -static_cast<qint64>(mantissa) : static_cast<qint64>(mantissa);
    return PlainNumber::Parsed;
}

}  // namespace

struct TApolloTable::Impl {
    explicit Impl(TApolloTable& table) : q(table) { }

    TApolloTable& q;
    std::vector<FieldDesc> desc;
    std::vector<std::unique_ptr<TField>> defined;
    std::vector<std::unique_ptr<TField>> defaults;
    std::vector<TField*> fields;
    std::vector<TDataSource*> sources;

    int recSize = 0;
    QByteArray image;              // raw record of the current record
    std::vector<QVariant> values;  // decoded values, one per file column
    std::vector<bool> dirty;       // columns set since the record was read
    qint32 recNo = 0;              // 0: no current record
    bool eof = true;
    bool bof = true;
    qint32 savedRecNo = 0;  // where an insert started
    bool savedEof = true;
    bool savedBof = true;
    short indexHandle = 0;
    qint32 recCount = 0;
    QString query;
    quint64 generation = nextGeneration();
    mutable QHash<QString, QVariant> lookupCache;
    mutable quint64 lookupCacheGeneration = 0;

    // The engine's function table lives as long as the program (a reload
    // refills it in place), so it is looked up once per table.
    const TSdeApi& api = TApolloEngine::Api();
    const TSdeApi& sx() const { return api; }

    void select() const { sx().sx_Select(q.m_workArea); }

    // Raises the program's text when the engine call just made failed (the
    // outcome is cleared by the next call, so this comes right after it).
    void check() const
    {
        const short kind = sx().sx_ErrorKind();
        if (kind != SX_OK)
            q.failEngine(kind, q.m_filePath);
    }

    // Puts the engine on the current record (navigation is always relative
    // to the dataset's record, whatever moved the engine meanwhile).
    void syncEngine() const
    {
        select();
        // Going to a record in index order means finding its key: skip it
        // when the engine is still where the dataset left it.
        if (recNo > 0 && (sx().sx_RecNo() != recNo || sx().sx_Eof() || sx().sx_Bof()))
            sx().sx_Go(recNo);
    }

    int columnOf(const QString& name) const
    {
        for (std::size_t i = 0; i < desc.size(); ++i) {
            if (desc[i].name.compare(name, Qt::CaseInsensitive) == 0)
                return static_cast<int>(i);
        }
        return -1;
    }

    int requireColumn(const QString& name) const
    {
        const int column = columnOf(name);
        if (column < 0)
            throw EDatabaseError(QStringLiteral("%1: Field '%2' not found").arg(q.Name(), name));
        return column;
    }

    // ---- record image <-> values ----

    QVariant decode(const FieldDesc& fd, const char* record) const
    {
        const char* field = record + fd.offset;
        if (fd.kind == ValueKind::String) {
            // the hot path of every scan: trim in place, decode once
            qsizetype len = fd.width;
            // wide columns hold mostly blanks: drop them eight at a time
            constexpr quint64 kBlanks = 0x2020202020202020ull;
            quint64 word;
            while (len >= 8 && (std::memcpy(&word, field + len - 8, 8), word == kBlanks))
                len -= 8;
            while (len > 0 && (field[len - 1] == ' ' || field[len - 1] == '\0'))
                --len;
            return fromCp1251(field, len);
        }
        const QByteArray raw = QByteArray::fromRawData(field, fd.width);
        switch (fd.kind) {
        case ValueKind::String: break;
        case ValueKind::Smallint:
        case ValueKind::Float: {
            if (fd.type == 'I') {
                qint32 n = 0;
                std::memcpy(&n, raw.constData(), std::min<std::size_t>(sizeof n, static_cast<std::size_t>(raw.size())));
                return n;
            }
            PlainNumber plain;
            switch (parsePlainNumber(field, fd.width, plain)) {
            case PlainNumber::Blank: return QVariant();
            case PlainNumber::Parsed:
                if (fd.kind == ValueKind::Smallint)
                    return plain.isInteger ? QVariant(static_cast<int>(plain.integer)) : QVariant(0);
                return plain.value;
            case PlainNumber::Other: break;
            }
            const QByteArray text = raw.trimmed();
            bool ok = false;
            if (fd.kind == ValueKind::Smallint) {
                const int n = text.toInt(&ok);
                return ok ? n : 0;
            }
            const double value = text.toDouble(&ok);
            return ok && std::isfinite(value) ? value : 0.0;
        }
        case ValueKind::Integer: {
            if (fd.type == 'I') {
                qint32 n = 0;
                std::memcpy(&n, raw.constData(), std::min<std::size_t>(sizeof n, static_cast<std::size_t>(raw.size())));
                return n;
            }
            PlainNumber plain;
            switch (parsePlainNumber(field, fd.width, plain)) {
            case PlainNumber::Blank: return QVariant();
            case PlainNumber::Parsed: return plain.isInteger ? static_cast<int>(plain.integer) : 0;
            case PlainNumber::Other: break;
            }
            bool ok = false;
            const int n = raw.trimmed().toInt(&ok);
            return ok ? n : 0;
        }
        case ValueKind::Boolean: {
            const char c = raw.isEmpty() ? ' ' : raw.at(0);
            if (c == ' ' || c == '?')
                return QVariant();
            return c == 'T' || c == 't' || c == 'Y' || c == 'y';
        }
        case ValueKind::Date: {
            if (raw.trimmed().isEmpty())
                return QVariant();
            const QDate date = QDate::fromString(QString::fromLatin1(raw), QStringLiteral("yyyyMMdd"));
            return date.isValid() ? QVariant(date) : QVariant();
        }
        case ValueKind::Unsupported: break;
        }
        return QVariant();
    }

    [[noreturn]] void outOfBounds() { q.fail(QStringLiteral("Translate error. Value out of bounds")); }

    QByteArray rightAligned(const QString& text, const FieldDesc& fd)
    {
        if (text.size() > fd.width)
            outOfBounds();
        return QByteArray(fd.width - static_cast<int>(text.size()), ' ') + latin(text);
    }

    // The bytes of a value in a column; raises the out-of-bounds error for a
    // number that does not fit, so that nothing spills into the next column.
    QByteArray encode(const FieldDesc& fd, const QVariant& value)
    {
        const QByteArray blank(fd.width, ' ');
        switch (fd.kind) {
        case ValueKind::String: {
            if (value.isNull())
                return blank;
            bool ok = false;
            QByteArray bytes = toCp1251(value.toString(), &ok);
            if (!ok) {
                q.fail(QStringLiteral("Поле «%1» містить символ, якого немає в кодовій сторінці Windows-1251")
                           .arg(fd.name));
            }
            bytes.truncate(fd.width);
            return bytes + QByteArray(fd.width - static_cast<int>(bytes.size()), ' ');
        }
        case ValueKind::Smallint:
        case ValueKind::Integer:
        case ValueKind::Float: {
            if (fd.type == 'I') {
                const qint32 n = value.isNull() ? 0 : value.toInt();
                QByteArray bytes(fd.width, '\0');
                std::memcpy(bytes.data(), &n, std::min<std::size_t>(sizeof n, static_cast<std::size_t>(fd.width)));
                return bytes;
            }
            if (value.isNull())
                return blank;
            if (fd.kind == ValueKind::Float) {
                QByteArray bytes(fd.width, ' ');
                if (!FormatNumberText(value.toDouble(), fd.width, fd.decimals, bytes.data()))
                    outOfBounds();
                return bytes;
            }
            return rightAligned(QString::number(value.toLongLong()), fd);
        }
        case ValueKind::Boolean:
            if (value.isNull())
                return blank;
            return QByteArray(value.toBool() ? "T" : "F") + QByteArray(fd.width - 1, ' ');
        case ValueKind::Date:
            if (value.isNull())
                return blank;
            return latin(value.toDate().toString(QStringLiteral("yyyyMMdd"))).leftJustified(fd.width, ' ', true);
        case ValueKind::Unsupported: break;
        }
        return QByteArray();
    }

    void decodeAll()
    {
        // overwrite the slots in place: no fresh nulls between two records
        values.resize(desc.size());
        dirty.assign(desc.size(), false);
        for (std::size_t i = 0; i < desc.size(); ++i)
            values[i] = decode(desc[i], image.constData());
    }

    QByteArray blankImage() const { return QByteArray(recSize, ' '); }

    QByteArray readImage(qint32 recordNumber) const
    {
        QByteArray buffer(recSize + 1, ' ');
        select();
        sx().sx_Go(recordNumber);
        sx().sx_GetRecord(buffer.data());
        check();
        buffer.truncate(recSize);
        return buffer;
    }

    // Takes the engine's current record as the dataset's current record.
    void readEngineRecord()
    {
        // reuse the image's storage: a scan reads every record through here
        image.resize(recSize + 1);
        sx().sx_GetRecord(image.data());
        check();
        image.truncate(recSize);
        recNo = static_cast<qint32>(sx().sx_RecNo());
        decodeAll();
    }

    void setNoRecord()
    {
        recNo = 0;
        eof = true;
        bof = true;
        image = blankImage();
        decodeAll();
    }

    // ---- moves without events ----

    void goTop()
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

    void goBottom(bool markEof)
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

    bool skip(int direction)
    {
        if (recNo == 0) {
            goTop();
            return false;
        }
        syncEngine();
        sx().sx_Skip(direction);
        check();
        if (direction > 0 ? sx().sx_Eof() != 0 : sx().sx_Bof() != 0) {
            (direction > 0 ? eof : bof) = true;
            syncEngine();
            return false;
        }
        readEngineRecord();
        bof = false;
        eof = false;
        return true;
    }

    bool deletedHidden() const
    {
        const TApolloEnv* env = TApolloEnv::Current();
        return env && env->AppliesToLocal() && env->Deleted();
    }

    // Whether the engine's current record is seen by navigation.
    bool engineRecordVisible() const
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

    // Goes to a record by number; a record that is not visible gives the next
    // visible one in the current order, else the last one.
    void gotoVisible(qint32 target)
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

    // Keeps the current record after the order changed; without one, the first.
    void resync()
    {
        if (recNo > 0)
            gotoVisible(recNo);
        else
            goTop();
    }

    // ---- look-up support ----

    // The seek key of a value for a column: text padded with blanks to the
    // width (numbers on the left). Empty when the value cannot be a key.
    QByteArray seekKey(const FieldDesc& fd, const QVariant& value) const
    {
        if (fd.kind == ValueKind::String) {
            bool ok = false;
            QByteArray bytes = toCp1251(value.toString(), &ok);
            if (!ok || bytes.size() > fd.width)
                return QByteArray();
            return bytes + QByteArray(fd.width - static_cast<int>(bytes.size()), ' ');
        }
        bool ok = false;
        const double number =
            value.typeId() == QMetaType::QString ? value.toString().trimmed().toDouble(&ok) : value.toDouble(&ok);
        if (!ok || !std::isfinite(number))
            return QByteArray();
        QByteArray key(fd.width, ' ');
        if (!FormatNumberText(number, fd.width, fd.decimals, key.data()))
            return QByteArray();
        return key;
    }

    static bool keyEquals(const QVariant& stored, const QVariant& key)
    {
        if (stored.isNull() || key.isNull())
            return false;
        if (stored.typeId() == QMetaType::QString)
            return rightTrimmed(stored.toString()) == rightTrimmed(key.toString());
        bool ok = false;
        const double wanted =
            key.typeId() == QMetaType::QString ? key.toString().trimmed().toDouble(&ok) : key.toDouble(&ok);
        return ok && stored.toDouble() == wanted;
    }

    // The lookup result of a column: numbers without decimals and narrower
    // than 5 characters as integers, other numbers as floating, text trimmed.
    QVariant lookupResult(const FieldDesc& fd, const char* record) const
    {
        QVariant v = decode(fd, record);
        if (v.typeId() == QMetaType::QString)
            return v.toString().trimmed();
        return v;
    }

    // Finds a record without moving the dataset: by seek through the active
    // index, or by walking the visible records in the current order.
    // Returns the record number, 0 when none. Leaves the engine anywhere.
    qint32 find(int keyColumn, const QVariant& key, QByteArray* record) const
    {
        const FieldDesc& fd = desc[static_cast<std::size_t>(keyColumn)];
        select();
        QByteArray buffer(recSize + 1, ' ');
        if (indexHandle != 0) {
            const QByteArray seek = seekKey(fd, key);
            if (seek.isEmpty())
                return 0;
            sx().sx_Seek(seek.constData());
            check();
            if (!sx().sx_Found())
                return 0;
            sx().sx_GetRecord(buffer.data());
            check();
            buffer.truncate(recSize);
            *record = buffer;
            return static_cast<qint32>(sx().sx_RecNo());
        }
        for (sx().sx_GoTop(); !sx().sx_Eof(); sx().sx_Skip(1)) {
            sx().sx_GetRecord(buffer.data());
            check();
            if (keyEquals(decode(fd, buffer.constData()), key)) {
                buffer.truncate(recSize);
                *record = buffer;
                return static_cast<qint32>(sx().sx_RecNo());
            }
        }
        return 0;
    }

    void touch() { generation = nextGeneration(); }

    void notify(TDataSource::Event event, TField* field = nullptr)
    {
        const std::vector<TDataSource*> copy = sources;
        for (TDataSource* source : copy) {
            if (std::find(sources.begin(), sources.end(), source) != sources.end())
                source->notify(event, field);
        }
    }
};

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
    const QString detail = QString::fromLocal8Bit(TApolloEngine::Api().sx_LastError());
    const QString text = engineFailureText(kind, file);
    m_lastErrorText = lead.isEmpty() ? text : lead + kCR + text;
    m_lastErrorKind = kind;
    throw EApolloError(m_lastErrorText, kind, detail);
}

void TApolloTable::noteEngineFailure(const QString& file)
{
    const short kind = TApolloEngine::Api().sx_ErrorKind();
    m_lastErrorKind = kind == SX_OK ? SX_ERR_OTHER : kind;
    m_lastErrorText = engineFailureText(m_lastErrorKind, file);
}

void TApolloTable::failOpen(const QString& path)
{
    const TSdeApi& sx = TApolloEngine::Api();
    short kind = sx.sx_ErrorKind();
    const QString lead = QStringLiteral("Unable to open table: ") + path;
    if (kind == SX_ERR_CORRUPT) {
        long missing = 0;
        const QString detail = QString::fromLocal8Bit(sx.sx_LastError());
        sx.sx_SysProp(SX_SP_MISSING_RECORDS, &missing);
        if (missing > 0) {
            // A copy cut short, a restore of a part: say how much is gone.
            m_lastErrorText = lead + kCR
                + QStringLiteral("Файл таблиці коротший, ніж записано в його заголовку: бракує %1 "
                                 "записів. Відновіть таблицю з резервної копії.")
                      .arg(missing);
            m_lastErrorKind = kind;
            throw EApolloError(m_lastErrorText, kind, detail);
        }
    }
    failEngine(kind == SX_OK ? short(SX_ERR_OTHER) : kind, path, lead);
}

void TApolloTable::refuseAmbiguous(const QString& path)
{
    // On a file system that tells letters apart "data.dbf" and "DATA.DBF" are
    // two tables; using either one silently could show, export or change the
    // wrong data.
    const QStringList spellings = MatchingEntries(path);
    if (spellings.size() > 1) {
        fail(QStringLiteral("У папці %1 є кілька файлів, назви яких різняться лише великими й малими літерами: %2. "
                            "Невідомо, який з них використовувати; залиште тільки один.")
                 .arg(folderPart(path), spellings.join(QStringLiteral(", "))));
    }
}

void TApolloTable::failReadOnly()
{
    fail(m_readOnlyText.isEmpty() ? QStringLiteral("Cannot modify a read-only data set") : m_readOnlyText);
}

void TApolloTable::releaseLocks(qint32 recNo)
{
    d->select();
    if (!m_fileLocked)
        TApolloEngine::Api().sx_Unlock(0);
    else if (recNo > 0)
        TApolloEngine::Api().sx_Unlock(recNo);
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
        d->defaults.clear();
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
    d->defined.push_back(std::move(field));
    return d->defined.back().get();
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
    if (!d->fields.empty())
        return static_cast<int>(d->fields.size());
    return static_cast<int>(d->defined.size());
}

TField* TApolloTable::Fields(int index) const
{
    if (index < 0 || index >= FieldCount())
        return nullptr;
    if (!d->fields.empty())
        return d->fields[static_cast<std::size_t>(index)];
    return d->defined[static_cast<std::size_t>(index)].get();
}

TField* TApolloTable::FindField(const QString& name) const
{
    for (int i = 0; i < FieldCount(); ++i) {
        TField* field = Fields(i);
        if (field->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return field;
    }
    return nullptr;
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
    if (field->m_valueIndex < 0 || (m_state == dsBrowse && d->recNo == 0))
        return QVariant();
    return d->values[static_cast<std::size_t>(field->m_valueIndex)];
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
    const QVariant previous = d->values[slot];
    d->values[slot] = value;
    if (field->OnValidate) {
        try {
            field->OnValidate(*field);
        } catch (...) {
            d->values[slot] = previous;
            throw;
        }
    }
    d->dirty[slot] = true;
    m_modified = true;
    d->notify(TDataSource::Event::FieldChange, field);
    // Look-up fields keyed on this one show another record now.
    for (TField* other : d->fields) {
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
    if (d->lookupCacheGeneration != d->generation) {
        d->lookupCache.clear();
        d->lookupCacheGeneration = d->generation;
    }
    const QString cacheKey = QString::number(keyColumn) + u'\x1f' + QString::number(resultColumn) + u'\x1f'
        + QString::number(keyValue.typeId()) + u'\x1f' + keyValue.toString();
    const auto cached = d->lookupCache.constFind(cacheKey);
    if (cached != d->lookupCache.constEnd())
        return *cached;
    QByteArray record;
    QVariant result;
    try {
        if (d->find(keyColumn, keyValue, &record) > 0)
            result = d->lookupResult(d->desc[static_cast<std::size_t>(resultColumn)], record.constData());
    } catch (const EApolloError&) {
        // A look-up for display (a grid cell, a look-up field) shows nothing
        // rather than end the paint; the next command meets the failure.
        d->syncEngine();
        return QVariant();
    }
    d->syncEngine();
    d->lookupCache.insert(cacheKey, result);
    return result;
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
    const TSdeApi& sx = Sde();
    fire(BeforeOpen);

    QString folder = folderPart(m_tableName);
    if (folder.isEmpty())
        folder = m_databaseName.isEmpty() ? QDir::currentPath() : m_databaseName;
    folder = IncludeTrailingSlash(folder);
    QString file = fileNamePart(m_tableName);
    if (!hasExtension(file))
        file += QStringLiteral(".DBF");
    const QString path = folder + file;
    refuseAmbiguous(path);
    const QFileInfo found(MatchFileCase(path));
    if (!found.isFile()) {
        if (found.isSymLink() && !found.exists()) {
            fail(QStringLiteral("Table does not exist.") + kCR + QStringLiteral("File or directory does not exist.")
                 + kCR + QStringLiteral("File: ") + path + kCR
                 + QStringLiteral("Посилання веде до файлу, якого немає: ") + found.symLinkTarget());
        }
        if (found.exists()) {
            fail(QStringLiteral("Unable to open table: ") + path + kCR
                 + (found.isDir() ? QStringLiteral("Це папка, а не файл таблиці.")
                                  : QStringLiteral("Це не звичайний файл таблиці.")));
        }
        fail(QStringLiteral("Table does not exist.") + kCR + QStringLiteral("File or directory does not exist.") + kCR
             + QStringLiteral("File: ") + path);
    }

    QString alias = deriveAlias(file);
    for (int n = 1; sx.sx_WorkArea(latin(alias).constData()) != 0; ++n) {
        const QString suffix = QString::number(n);
        alias = deriveAlias(file).left(8 - static_cast<int>(suffix.size())) + suffix;
    }

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
    m_alias = alias;
    m_filePath = found.absoluteFilePath();
    m_dataFolder = IncludeTrailingSlash(found.absolutePath());
    try {
        sx.sx_SetTurboRead(1);
        sx.sx_SetTranslate(m_oemTranslate ? 1 : 0);
        const short fieldCount = sx.sx_FieldCount();
        d->recSize = sx.sx_RecSize();
        d->desc.clear();
        for (short i = 1; i <= fieldCount; ++i) {
            FieldDesc fd;
            const QByteArray name(sx.sx_FieldName(i));
            fd.name = QString::fromLatin1(name).toUpper();
            const char* type = sx.sx_FieldType(name.constData());
            fd.type = type && *type ? static_cast<char>(std::toupper(static_cast<unsigned char>(*type))) : 'C';
            fd.offset = sx.sx_FieldOffset(name.constData());
            fd.width = sx.sx_FieldWidth(name.constData());
            fd.decimals = sx.sx_FieldDecimals(name.constData());
            switch (fd.type) {
            case 'C': fd.kind = ValueKind::String; break;
            case 'N':
            case 'F': fd.kind = (fd.decimals > 0 || fd.width > 4) ? ValueKind::Float : ValueKind::Smallint; break;
            case 'I': fd.kind = ValueKind::Integer; break;
            case 'L': fd.kind = ValueKind::Boolean; break;
            case 'D': fd.kind = ValueKind::Date; break;
            default: fd.kind = ValueKind::Unsupported;
            }
            if (fd.offset < 1 || fd.width < 1 || fd.offset + fd.width > d->recSize)
                fail(QStringLiteral("Unable to open table: ") + path);
            d->desc.push_back(fd);
        }
        d->fields.clear();
        d->defaults.clear();
        if (d->defined.empty()) {
            for (std::size_t i = 0; i < d->desc.size(); ++i) {
                const FieldDesc& fd = d->desc[i];
                std::unique_ptr<TField> field;
                switch (fd.kind) {
                case ValueKind::String: field = std::make_unique<TStringField>(this, fd.name, fd.width); break;
                case ValueKind::Smallint: field = std::make_unique<TSmallintField>(this, fd.name); break;
                case ValueKind::Integer: field = std::make_unique<TIntegerField>(this, fd.name); break;
                case ValueKind::Float: field = std::make_unique<TFloatField>(this, fd.name); break;
                case ValueKind::Boolean: field = std::make_unique<TBooleanField>(this, fd.name); break;
                case ValueKind::Date: field = std::make_unique<TDateField>(this, fd.name); break;
                case ValueKind::Unsupported: break;
                }
                if (!field)
                    continue;
                field->m_fieldNo = static_cast<int>(i) + 1;
                field->m_valueIndex = static_cast<int>(i);
                d->fields.push_back(field.get());
                d->defaults.push_back(std::move(field));
            }
        } else {
            for (const auto& field : d->defined) {
                if (field->FieldKind() != fkData) {
                    field->m_fieldNo = 0;
                    field->m_valueIndex = -1;
                    d->fields.push_back(field.get());
                    continue;
                }
                const int column = d->requireColumn(field->FieldName());
                const FieldDesc& fd = d->desc[static_cast<std::size_t>(column)];
                TFieldType expected = ftUnknown;
                switch (fd.kind) {
                case ValueKind::String: expected = ftString; break;
                case ValueKind::Smallint: expected = ftSmallint; break;
                case ValueKind::Integer: expected = ftInteger; break;
                case ValueKind::Float: expected = ftFloat; break;
                case ValueKind::Boolean: expected = ftBoolean; break;
                case ValueKind::Date: expected = ftDate; break;
                case ValueKind::Unsupported: break;
                }
                if (expected != field->DataType()) {
                    throw EDatabaseError(QStringLiteral("Type mismatch for field '%1', expecting: %2 actual: %3")
                                             .arg(field->DisplayName(), FieldTypeName(field->DataType()).mid(2),
                                                  FieldTypeName(expected).mid(2)));
                }
                field->m_fieldNo = column + 1;
                field->m_valueIndex = column;
                d->fields.push_back(field.get());
            }
        }
        d->indexHandle = 0;
        d->query.clear();
        m_state = dsBrowse;
        if (!m_indexName.isEmpty())
            IndexOpen(m_indexName);
        d->recCount = static_cast<qint32>(sx.sx_RecCount());
    } catch (...) {
        d->select();
        sx.sx_Close();
        m_workArea = 0;
        m_state = dsInactive;
        d->fields.clear();
        d->defaults.clear();
        d->desc.clear();
        throw;
    }
    m_modified = false;
    d->touch();
    d->goTop();
    d->notify(TDataSource::Event::ActiveChange);
    fire(AfterOpen);
}

void TApolloTable::Close()
{
    if (m_workArea < 0) {
        // A table being created is given up.
        if (TApolloEngine::Loaded()) {
            TApolloEngine::Api().sx_Select(static_cast<short>(-m_workArea));
            TApolloEngine::Api().sx_Close();
        }
        m_workArea = 0;
        return;
    }
    if (!Active())
        return;
    fire(BeforeClose);
    const TSdeApi& sx = TApolloEngine::Api();
    const QByteArray known(sx.sx_Alias(m_workArea));
    if (!known.isEmpty()) {
        d->select();
        sx.sx_Unlock(0);
        sx.sx_Close();
    }
    m_fileLocked = false;
    m_workArea = 0;
    m_state = dsInactive;
    m_modified = false;
    d->fields.clear();
    d->defaults.clear();
    d->desc.clear();
    d->values.clear();
    d->dirty.clear();
    d->image.clear();
    d->recNo = 0;
    d->eof = d->bof = true;
    d->indexHandle = 0;
    d->query.clear();
    d->touch();
    d->notify(TDataSource::Event::ActiveChange);
    fire(AfterClose);
}

void TApolloTable::Refresh()
{
    checkActive();
    CheckBrowseMode();
    const TSdeApi& sx = TApolloEngine::Api();
    d->select();
    const QByteArray filter(sx.sx_DBFilter());
    const qint32 back = d->recNo;
    if (!filter.isEmpty() && sx.sx_QueryTest(filter.constData()) > 0) {
        sx.sx_Query(filter.constData());
        d->recCount = static_cast<qint32>(sx.sx_QueryRecCount());
    } else {
        d->recCount = static_cast<qint32>(sx.sx_RecCount());
    }
    d->touch();
    if (back > 0)
        d->gotoVisible(back);
    else
        d->goTop();
    d->notify(TDataSource::Event::DataSetChange);
}

// ---------------------------------------------------------------- navigation

void TApolloTable::First()
{
    checkActive();
    CheckBrowseMode();
    fire(BeforeScroll);
    if (QByteArray(TApolloEngine::Api().sx_Alias(m_workArea)) != latin(m_alias)) {
        // The engine has lost the table (closed behind our back): reopen it.
        Close();
        Open();
    }
    d->goTop();
    d->notify(TDataSource::Event::DataSetChange);
    fire(AfterScroll);
}

void TApolloTable::Last()
{
    checkActive();
    CheckBrowseMode();
    fire(BeforeScroll);
    d->goBottom(true);
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
        if (!d->skip(step))
            break;
        moved += step;
    }
    d->notify(TDataSource::Event::DataSetChange);
    fire(AfterScroll);
    return moved;
}

bool TApolloTable::Eof() const
{
    return !Active() || (m_state != dsInsert && d->eof);
}

bool TApolloTable::Bof() const
{
    return !Active() || (m_state != dsInsert && d->bof);
}

bool TApolloTable::IsEmpty() const
{
    return !Active() || (m_state == dsBrowse && d->recNo == 0);
}

qint32 TApolloTable::RecordCount() const
{
    return Active() ? d->recCount : 0;
}

qint32 TApolloTable::RecNo() const
{
    if (!Active() || m_state == dsInsert)
        return 0;
    return d->recNo;
}

void TApolloTable::setRecNo(qint32 recNo)
{
    checkActive();
    CheckBrowseMode();
    fire(BeforeScroll);
    d->gotoVisible(recNo);
    d->notify(TDataSource::Event::DataSetChange);
    fire(AfterScroll);
}

bool TApolloTable::BookmarkValid(TBookmark bookmark) const
{
    if (!Active() || bookmark < 1)
        return false;
    d->select();
    const TSdeApi& sx = TApolloEngine::Api();
    bool valid = false;
    if (bookmark <= sx.sx_RecCount()) {
        sx.sx_Go(bookmark);
        valid = d->engineRecordVisible();
    }
    d->syncEngine();
    return valid;
}

QVector<qint32> TApolloTable::VisibleRecNos() const
{
    QVector<qint32> out;
    if (!Active())
        return out;
    const TSdeApi& sx = TApolloEngine::Api();
    d->select();
    for (sx.sx_GoTop(); !sx.sx_Eof(); sx.sx_Skip(1))
        out.append(static_cast<qint32>(sx.sx_RecNo()));
    d->syncEngine();
    return out;
}

QVariant TApolloTable::FieldValueAt(qint32 recNo, const TField* field) const
{
    if (!Active() || !field || field->DataSet() != this)
        return QVariant();
    const bool current = (m_state == dsInsert && recNo == 0) || (m_state != dsInsert && recNo == d->recNo && recNo > 0);
    if (current)
        return fieldValue(field);
    d->select();  // the record count below is the current work area's
    if (recNo < 1 || recNo > TApolloEngine::Api().sx_RecCount())
        return QVariant();
    QByteArray record;
    try {
        record = d->readImage(recNo);
    } catch (const EApolloError&) {
        // Read for display (a grid row): an unreadable record shows nothing
        // rather than end the paint; the next command meets the failure.
        d->syncEngine();
        return QVariant();
    }
    d->syncEngine();
    if (field->FieldKind() == fkLookup) {
        const TField* keyField = FindField(field->KeyFields());
        if (!keyField || keyField->m_valueIndex < 0 || !field->LookupDataSet())
            return QVariant();
        const QVariant key = d->decode(d->desc[static_cast<std::size_t>(keyField->m_valueIndex)], record.constData());
        return field->LookupDataSet()->lookupNoMove(field->LookupKeyFields(), key, field->LookupResultField());
    }
    if (field->m_valueIndex < 0)
        return QVariant();
    return d->decode(d->desc[static_cast<std::size_t>(field->m_valueIndex)], record.constData());
}

// ---------------------------------------------------------------- editing

bool TApolloTable::StoresAs(const TField* field, const QVariant& value)
{
    if (!Active() || !field || field->DataSet() != this || field->m_valueIndex < 0 || d->recNo == 0)
        return false;
    const FieldDesc& fd = d->desc[static_cast<std::size_t>(field->m_valueIndex)];
    const QString lastError = m_lastErrorText;
    try {
        return d->encode(fd, value) == d->image.mid(fd.offset, fd.width);
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
    if (d->recNo == 0) {
        Insert();
        return;
    }
    if (m_readOnly)
        failReadOnly();
    fire(BeforeEdit);
    const TSdeApi& sx = TApolloEngine::Api();
    d->syncEngine();
    if (!sx.sx_Rlock(d->recNo))
        fail(QStringLiteral("Record Lock Failure. May be locked by another user or task."));
    // Editing starts from what is stored now, not from what was read earlier.
    sx.sx_Go(d->recNo);
    d->readEngineRecord();
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
    d->savedRecNo = d->recNo;
    d->savedEof = d->eof;
    d->savedBof = d->bof;
    d->image = d->blankImage();
    d->decodeAll();
    m_state = dsInsert;
    m_modified = false;
    d->notify(TDataSource::Event::StateChange);
    try {
        fire(OnNewRecord);
    } catch (...) {
        m_state = dsBrowse;
        m_modified = false;
        d->recNo = d->savedRecNo;
        if (d->recNo > 0)
            d->gotoVisible(d->recNo);
        else
            d->goTop();
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
    QByteArray record = m_state == dsInsert ? d->blankImage() : d->image;
    for (std::size_t i = 0; i < d->desc.size(); ++i) {
        if (!d->dirty[i])
            continue;
        const FieldDesc& fd = d->desc[i];
        const QByteArray bytes = d->encode(fd, d->values[i]);
        record.replace(fd.offset, fd.width, bytes);
    }

    const TSdeApi& sx = TApolloEngine::Api();
    d->select();
    qint32 target = d->recNo;
    if (m_state == dsInsert) {
        // One call writes the whole record and only then counts it: a kill
        // or a reader in between never sees a blank or half-made record.
        record[0] = ' ';
        const long appended = sx.sx_AppendRecord(record.constData());
        if (appended <= 0) {
            const short kind = sx.sx_ErrorKind();
            failEngine(kind == SX_OK ? short(SX_ERR_OTHER) : kind, m_filePath);
        }
        target = static_cast<qint32>(appended);
    } else {
        sx.sx_Go(target);
        record[0] = sx.sx_Deleted() ? '*' : ' ';
        sx.sx_PutRecord(record.constData());
        d->check();
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
    d->readEngineRecord();
    d->eof = sx.sx_Eof() != 0;
    d->bof = false;
    d->notify(TDataSource::Event::StateChange);
    d->notify(TDataSource::Event::DataSetChange);
    fire(AfterPost);
    if (syncKind != SX_OK) {
        m_lastErrorText = engineFailureText(syncKind, m_filePath);
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
    releaseLocks(wasInsert ? 0 : d->recNo);
    m_state = dsBrowse;
    m_modified = false;
    if (wasInsert) {
        d->recNo = d->savedRecNo;
        if (d->recNo > 0) {
            d->image = d->readImage(d->recNo);
            d->decodeAll();
            d->eof = d->savedEof;
            d->bof = d->savedBof;
        } else {
            d->goTop();
        }
    } else {
        d->image = d->readImage(d->recNo);
        d->decodeAll();
    }
    d->syncEngine();
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
    if (d->recNo == 0)
        fail(QStringLiteral("Cannot perform this operation on an empty table"));
    d->notify(TDataSource::Event::CheckBrowseMode);
    fire(BeforeDelete);
    fire(BeforeScroll);
    const TSdeApi& sx = TApolloEngine::Api();
    const qint32 victim = d->recNo;
    const bool editing = m_state == dsEdit;
    d->syncEngine();
    // Another program may be editing this record: take its lock first, so a
    // record being edited elsewhere is never deleted under its editor.
    if (!editing && !sx.sx_Rlock(victim))
        fail(QStringLiteral("Record Lock Failure. May be locked by another user or task."));

    bool cursorRule = d->deletedHidden();
    if (!cursorRule && d->indexHandle != 0) {
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
            d->readEngineRecord();
            d->bof = d->eof = false;
        } else {
            d->goBottom(false);
        }
    } else {
        sx.sx_Delete();
        checkDelete(victim, editing);
        editing ? releaseLocks(victim) : sx.sx_Unlock(victim);
        m_state = dsBrowse;
        m_modified = false;
        d->readEngineRecord();
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
    const TSdeApi& sx = TApolloEngine::Api();
    const short kind = sx.sx_ErrorKind();
    if (kind == SX_OK)
        return;
    const QString detail = QString::fromLocal8Bit(sx.sx_LastError());
    // The record stays as it was; a lock taken only for the deletion goes.
    if (!editing)
        sx.sx_Unlock(victim);
    d->syncEngine();
    m_lastErrorText = engineFailureText(kind, m_filePath);
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
    if (d->indexHandle != 0) {
        // A seek moves the engine only; the dataset keeps its record.
        QByteArray record;
        QVariant result;
        if (d->find(keyColumn, keyValue, &record) > 0)
            result = d->lookupResult(d->desc[static_cast<std::size_t>(resultColumn)], record.constData());
        d->syncEngine();
        return result;
    }
    if (!Locate(keyField, keyValue))
        return QVariant();
    return d->lookupResult(d->desc[static_cast<std::size_t>(resultColumn)], d->image.constData());
}

bool TApolloTable::Locate(const QString& keyField, const QVariant& keyValue)
{
    checkActive();
    const int keyColumn = d->requireColumn(keyField);
    CheckBrowseMode();
    if (keyValue.isNull())
        return false;
    const TSdeApi& sx = TApolloEngine::Api();
    const FieldDesc& fd = d->desc[static_cast<std::size_t>(keyColumn)];
    QByteArray buffer(d->recSize + 1, ' ');
    qint32 found = 0;
    d->select();
    for (sx.sx_GoTop(); !sx.sx_Eof(); sx.sx_Skip(1)) {
        sx.sx_GetRecord(buffer.data());
        d->check();
        if (Impl::keyEquals(d->decode(fd, buffer.constData()), keyValue)) {
            found = static_cast<qint32>(sx.sx_RecNo());
            break;
        }
    }
    if (found == 0) {
        d->syncEngine();
        return false;
    }
    fire(BeforeScroll);
    sx.sx_Go(found);
    d->readEngineRecord();
    d->bof = d->eof = false;
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
    const TSdeApi& sx = TApolloEngine::Api();
    d->select();
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
    d->indexHandle = handle;
    m_indexName = fileName;
    d->touch();
    d->resync();
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
    if (!FileExistsNoCase(full))
        fail(QStringLiteral("Index file does not exist.") + kCR + QStringLiteral("File: ") + path);
    checkActive();
    const TSdeApi& sx = TApolloEngine::Api();
    d->select();
    const short handle = sx.sx_IndexOpen(QFile::encodeName(MatchFileCase(full)).constData());
    if (handle != 0 && path.toUpper().contains(QStringLiteral(".IDX"))) {
        sx.sx_SetOrder(handle);
        d->indexHandle = handle;
        m_indexName = path;
        d->touch();
        if (m_state == dsBrowse) {
            d->resync();
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
    d->select();
    TApolloEngine::Api().sx_IndexClose();
    d->indexHandle = 0;
    d->touch();
    if (m_state == dsBrowse) {
        d->resync();
        d->notify(TDataSource::Event::DataSetChange);
    }
}

// ---------------------------------------------------------------- locks

short TApolloTable::Flock()
{
    if (!Active())
        return 0;
    d->select();
    const short granted = TApolloEngine::Api().sx_Flock();
    if (granted)
        m_fileLocked = true;
    return granted;
}

void TApolloTable::Unlock(qint32 recNo)
{
    if (!Active())
        return;
    d->select();
    TApolloEngine::Api().sx_Unlock(recNo);
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
    const TSdeApi& sx = TApolloEngine::Api();
    d->select();
    bool ok = true;
    const QByteArray bytes = toCp1251(expr, &ok);
    if (!expr.isEmpty() && (!ok || sx.sx_EvalTest(bytes.constData()) != SX_EVAL_LOGICAL))
        fail(QStringLiteral("Invalid Query Expression"));
    const short result = sx.sx_Query(bytes.constData());
    d->check();
    d->query = expr;
    if (!expr.isEmpty() && sx.sx_QueryTest(bytes.constData()) > 0)
        d->recCount = static_cast<qint32>(sx.sx_QueryRecCount());
    else
        d->recCount = static_cast<qint32>(sx.sx_RecCount());
    d->touch();
    // The current record follows the engine: the first record of the query.
    if (sx.sx_Eof()) {
        d->setNoRecord();
    } else {
        d->readEngineRecord();
        d->bof = true;
        d->eof = false;
    }
    d->notify(TDataSource::Event::DataSetChange);
    return result;
}

QString TApolloTable::QueryExpression() const
{
    return d->query;
}

// ---------------------------------------------------------------- creation

short TApolloTable::CreateNew(const QString& path, short tableType, short fieldCount)
{
    if (Active())
        return 0;
    Close();  // gives up a creation that was never executed
    m_lastErrorText.clear();
    m_lastErrorKind = 0;
    if (!TApolloEngine::Load())
        return 0;  // already reported by the engine loader
    const TSdeApi& sx = TApolloEngine::Api();
    QString full = path;
    if (!hasFolder(full))
        full = IncludeTrailingSlash(m_databaseName.isEmpty() ? QDir::currentPath() : m_databaseName) + full;
    if (!hasExtension(fileNamePart(full)))
        full += QStringLiteral(".DBF");
    // An existing file of another spelling is the same file: the engine
    // refuses to replace it, and no second file is made beside it.
    full = MatchFileCase(full);
    // The engine writes the file only at CreateExec; a folder that is not
    // there fails here already, where the caller expects it.
    if (!QFileInfo(folderPart(full)).isDir()) {
        m_lastErrorKind = SX_ERR_NOT_FOUND;
        m_lastErrorText = QStringLiteral("Папку не знайдено: ") + folderPart(full);
        return 0;
    }
    QString alias = deriveAlias(full);
    for (int n = 1; sx.sx_WorkArea(latin(alias).constData()) != 0; ++n) {
        const QString suffix = QString::number(n);
        alias = deriveAlias(full).left(8 - static_cast<int>(suffix.size())) + suffix;
    }
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
    const QChar first = name.isEmpty() ? QChar() : name.at(0);
    if (!((first >= u'A' && first <= u'Z') || (first >= u'a' && first <= u'z')))
        fail(QStringLiteral("Invalid field name. Field names must begin with a letter"));
    if (type.isEmpty())
        fail(QStringLiteral("Invalid field type"));
    if (width < 1)
        fail(QStringLiteral("Invalid field length."));
    const TSdeApi& sx = TApolloEngine::Api();
    sx.sx_Select(static_cast<short>(-m_workArea));
    sx.sx_CreateField(latin(name).constData(), latin(type).constData(), width, decimals);
}

short TApolloTable::CreateExec()
{
    if (m_workArea >= 0)
        fail(QStringLiteral("Must call CreateNew before CreateExec"));
    const TSdeApi& sx = TApolloEngine::Api();
    sx.sx_Select(static_cast<short>(-m_workArea));
    const short result = sx.sx_CreateExec();
    if (!result)
        noteEngineFailure(m_createPath);
    sx.sx_Close();
    m_workArea = 0;
    return result;
}
