#include "submissionreader.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/evp.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QVarLengthArray>
#include <QXmlStreamReader>

#include "store/tablecatalog.h"
#include "xmlsources.h"

namespace emlo::registry {

namespace {

// SHA-256 of both files, which tells an unchanged resubmission. OpenSSL's,
// because it uses the processor's SHA instructions: Qt's portable one took a
// third of an import's time. Null when the digest cannot be made (stored as
// such, it never matches).
QByteArray contentHash(const QByteArray& attr, const QByteArray& data)
{
    // Looked up once: EVP_sha256() has OpenSSL look the digest up again in
    // every digest, which took a quarter of the hashing itself.
    static EVP_MD* const sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!sha256 || !ctx || !EVP_DigestInit_ex(ctx.get(), sha256, nullptr)
        || !EVP_DigestUpdate(ctx.get(), attr.constData(), size_t(attr.size())) || !EVP_DigestUpdate(ctx.get(), "\0", 1)
        || !EVP_DigestUpdate(ctx.get(), data.constData(), size_t(data.size()))
        || !EVP_DigestFinal_ex(ctx.get(), digest, &size))
        return {};
    return QByteArray(reinterpret_cast<const char*>(digest), int(size)).toHex();
}

enum class XmlValueKind { Text, Number, Whole };

struct PacketField {
    QByteArray Name;
    XmlValueKind Kind;
    QString Key;  // Name as the key of SubmissionData's maps, made once
};

XmlValueKind kindOf(const ColumnDef& column)
{
    if (column.type != 'N')
        return XmlValueKind::Text;
    return column.decimals == 0 ? XmlValueKind::Whole : XmlValueKind::Number;
}

// The fields the export writes for the attribute table: the table's own, in
// its column order.
const QList<PacketField>& attrFields()
{
    static const QList<PacketField> fields = [] {
        QList<PacketField> list;
        for (const ColumnDef& column : TableDefOf(QStringLiteral("ATTR")).columns)
            list.append({QByteArray(column.name).toUpper(), kindOf(column),
                         QString::fromLatin1(QByteArray(column.name).toUpper())});
        return list;
    }();
    return fields;
}

// The emission table's fields in the data set's order: the look-ups CODE,
// DESCR and LIMIT of the pollutant table included.
const QList<PacketField>& dataFields()
{
    static const QList<PacketField> fields = [] {
        const TableDef& data = TableDefOf(QStringLiteral("DATA"));
        const TableDef& cont = TableDefOf(QStringLiteral("CONT"));
        const auto column = [](const TableDef& table, const char* name) {
            for (const ColumnDef& c : table.columns) {
                if (qstricmp(c.name, name) == 0)
                    return PacketField{QByteArray(name), kindOf(c), QString::fromLatin1(name)};
            }
            qFatal("no field %s in table %s", name, table.name);
        };
        return QList<PacketField>{column(data, "CONTID"), column(cont, "CODE"), column(cont, "DESCR"),
                                  column(data, "POTEN"),  column(data, "FACT"), column(cont, "LIMIT")};
    }();
    return fields;
}

QString inQuotes(QStringView text)
{
    return QStringLiteral("«") + text.left(40).toString()
        + (text.size() > 40 ? QStringLiteral("…»") : QStringLiteral("»"));
}

int lineOfOffset(const QByteArray& bytes, qsizetype offset)
{
    return int(bytes.left(offset).count('\n')) + 1;
}

// A file saved as UTF-8 under a windows-1251 declaration: the whole file is
// valid UTF-8 and holds Cyrillic letters. Real Windows-1251 Ukrainian text is
// practically never valid UTF-8 throughout.
bool looksLikeUtf8Cyrillic(const QByteArray& bytes)
{
    bool sawCyrillic = false;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        // Runs of ASCII, most of a file, eight bytes at a time.
        quint64 eight = 0;
        if (i + 8 <= n && (memcpy(&eight, p + i, 8), (eight & 0x8080808080808080ULL) == 0)) {
            i += 8;
            continue;
        }
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        const int length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (length == 0 || i + length > n)
            return false;
        unsigned code = c & (0xFFu >> (length + 1));
        for (int k = 1; k < length; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (p[i + k] & 0x3Fu);
        }
        if (code >= 0x400 && code <= 0x4FF)
            sawCyrillic = true;
        i += length;
    }
    return sawCyrillic;
}

// The declaration must name windows-1251, the encoding the writer uses.
QString encodingProblem(const QByteArray& bytes, int* line)
{
    *line = 0;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QStringLiteral("файл записано в кодуванні UTF-8, а не windows-1251");
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        return QStringLiteral("файл записано в кодуванні UTF-16, а не windows-1251");
    const qsizetype end = bytes.indexOf("?>");
    if (!bytes.startsWith("<?xml") || end < 0 || end > 1024)
        return QStringLiteral("немає заголовка XML з кодуванням windows-1251");
    // The export's own declaration needs no closer look.
    if (!bytes.startsWith("<?xml version=\"1.0\" encoding=\"windows-1251\"")) {
        static const QRegularExpression encodingAttr(QStringLiteral("encoding\\s*=\\s*[\"']([^\"']*)[\"']"));
        const QString declaration = QString::fromLatin1(bytes.left(end));
        const QRegularExpressionMatch match = encodingAttr.match(declaration);
        if (!match.hasMatch())
            return QStringLiteral("у заголовку XML не вказано кодування windows-1251");
        const QString encoding = match.captured(1);
        if (encoding.compare(QLatin1String("windows-1251"), Qt::CaseInsensitive) != 0)
            return QStringLiteral("кодування %1 замість windows-1251").arg(inQuotes(encoding));
    }
    if (looksLikeUtf8Cyrillic(bytes))
        return QStringLiteral("текст записано в кодуванні UTF-8, а заголовок вказує windows-1251");
    const qsizetype unassigned = bytes.indexOf('\x98');
    if (unassigned >= 0) {
        *line = lineOfOffset(bytes, unassigned);
        return QStringLiteral("байт 0x98 не належить кодуванню windows-1251");
    }
    return QString();
}

// The export writes at most a few dozen attributes to an element. An XML
// reader checks each attribute's name against all before it, so a hostile
// element with hundreds of thousands of them would keep it busy for minutes:
// such a file is refused before it is parsed. Returns the line of the first
// element with more than `limit` attributes, or 0.
int crowdedElementLine(const QByteArray& bytes, int limit)
{
    int line = 1;
    int count = 0;
    bool inTag = false;
    char quote = 0;
    const char* const end = bytes.constEnd();
    for (const char* p = bytes.constBegin(); p != end; ++p) {
        const char c = *p;
        if (c == '\n')
            ++line;
        if (quote != 0) {
            if (c == quote)
                quote = 0;
        } else if (!inTag) {
            // Comments, declarations and processing instructions hold no attributes.
            if (c == '<' && p + 1 != end && p[1] != '!' && p[1] != '?') {
                inTag = true;
                count = 0;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '=') {
            if (++count > limit)
                return line;
        } else if (c == '>') {
            inTag = false;
        }
    }
    return 0;
}

// The elements of the layout, each under its one parent.
enum class Element { None, DataPacket, Metadata, Fields, Field, RowData, Row };

Element elementOf(QAnyStringView name)
{
    static const struct {
        QLatin1StringView Name;
        Element Kind;
    } elements[] = {
        {QLatin1StringView("ROW"), Element::Row},           {QLatin1StringView("FIELD"), Element::Field},
        {QLatin1StringView("FIELDS"), Element::Fields},     {QLatin1StringView("ROWDATA"), Element::RowData},
        {QLatin1StringView("METADATA"), Element::Metadata}, {QLatin1StringView("DATAPACKET"), Element::DataPacket}};
    for (const auto& element : elements) {
        if (name == element.Name)
            return element.Kind;
    }
    return Element::None;
}

Element parentOf(Element element)
{
    switch (element) {
    case Element::Metadata:
    case Element::RowData: return Element::DataPacket;
    case Element::Fields: return Element::Metadata;
    case Element::Field: return Element::Fields;
    case Element::Row: return Element::RowData;
    case Element::DataPacket:
    case Element::None: break;
    }
    return Element::None;
}

// Reads one file's table: checks the layout and hands each ROW's values, in
// the order of `fields`, to onRow.
class TableReader {
public:
    // keepText false: the caller takes only the numbers of a row, and no
    // value is decoded (the texts stay empty).
    TableReader(const QString& fileName, const QList<PacketField>& fields, int maxRecords, RejectionList* errors,
                bool keepText = true)
        : m_fileName(fileName),
          m_fields(fields),
          m_maxRecords(maxRecords),
          m_errors(errors),
          m_keepText(keepText),
          m_values(fields.size()),
          m_numbers(fields.size()),
          m_problems(fields.size()),
          m_declared(fields.size())
    {
    }

    template <typename Source, typename OnRow> bool Read(const QByteArray& bytes, OnRow onRow)
    {
        int line = 0;
        const QString problem = encodingProblem(bytes, &line);
        if (!problem.isEmpty())
            return fail(problem, 0, line);

        if constexpr (std::is_same_v<Source, QtXmlSource>) {
            if (const int crowded = crowdedElementLine(bytes, kMaxAttributes))
                return fail(QStringLiteral("елемент має понад %1 атрибути").arg(kMaxAttributes), 0, crowded);
        }
        Source xml(bytes);
        QVarLengthArray<Element, 8> path;
        bool sawRowData = false;
        for (;;) {
            const XmlToken token = xml.Next();
            const int at = xml.Line();
            switch (token) {
            case XmlToken::Done:
                if (!sawRowData)
                    return fail(QStringLiteral("немає елемента <ROWDATA>"), 0, 0);
                return true;
            case XmlToken::Malformed:
                return fail(QStringLiteral("XML сформовано неправильно (позиція %1)").arg(xml.Column()), 0, at);
            case XmlToken::Unsupported: return false;
            case XmlToken::Dtd:
                return fail(QStringLiteral("файл містить оголошення DTD, яких вигрузка не пише"), 0, at);
            case XmlToken::Entity:
                return fail(QStringLiteral("файл містить посилання на сутність, якої вигрузка не пише"), 0, at);
            case XmlToken::Text:
                return fail(QStringLiteral("текст поза атрибутами: %1").arg(inQuotes(xml.Text().trimmed())), 0, at);
            case XmlToken::Start: {
                const Element element = elementOf(xml.Name());
                const Element parent = path.isEmpty() ? Element::None : path.last();
                if (element == Element::None || parentOf(element) != parent)
                    return fail(QStringLiteral("неочікуваний елемент <%1>").arg(xml.Name().toString().left(40)), 0, at);
                path.append(element);
                if (element == Element::Field && !readField(xml, at))
                    return false;
                if (element == Element::RowData) {
                    sawRowData = true;
                    if (!checkDeclaredFields(at))
                        return false;
                }
                if (element == Element::Row) {
                    if (!readRow(xml))
                        return false;
                    onRow(m_record, m_values, m_numbers);
                }
                break;
            }
            case XmlToken::End: path.removeLast(); break;
            case XmlToken::Other: break;
            }
        }
    }

private:
    // What is wrong with a numeric value, told in the order of the fields.
    enum class NumberProblem { None, NotNumber, NotWhole };

    // The writer puts the fields in their order, so the usual place is
    // tried first; any other order and letter case is still taken.
    int fieldIndex(QAnyStringView name, int usual) const
    {
        if (usual >= 0 && usual < m_fields.size() && name == QLatin1StringView(m_fields.at(usual).Name))
            return usual;
        for (int i = 0; i < m_fields.size(); ++i) {
            if (QAnyStringView::compare(name, QLatin1StringView(m_fields.at(i).Name), Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    }

    template <typename Source> bool readField(const Source& xml, int at)
    {
        const QString name = xml.Attribute(QLatin1StringView("FieldName"));
        if (name.isEmpty())
            return fail(QStringLiteral("в описі поля немає FieldName"), 0, at);
        const int index = fieldIndex(name, m_declaredCount);
        if (index < 0)
            return fail(QStringLiteral("невідоме поле"), 0, at, name.left(40));
        if (m_declared.at(index))
            return fail(QStringLiteral("поле описане двічі"), 0, at, fieldName(index));
        m_declared[index] = true;
        ++m_declaredCount;
        return true;
    }

    bool checkDeclaredFields(int at)
    {
        for (int i = 0; i < m_fields.size(); ++i) {
            if (!m_declared.at(i))
                return fail(QStringLiteral("поле відсутнє в описі полів (METADATA)"), 0, at, fieldName(i));
        }
        return true;
    }

    template <typename Source> bool readRow(const Source& xml)
    {
        if (++m_record > m_maxRecords)
            return fail(QStringLiteral("понад %1 записів").arg(m_maxRecords), m_record, 0);
        for (qsizetype i = 0; i < m_fields.size(); ++i) {
            m_values[i] = QString();
            m_numbers[i].reset();
            m_problems[i] = NumberProblem::None;
        }
        m_present.assign(m_fields.size(), false);
        int position = 0;
        const bool known = xml.ForEachAttribute([&](QAnyStringView name, const auto& value) {
            const int index = fieldIndex(name, position++);
            if (index < 0)
                return fail(QStringLiteral("невідоме поле"), m_record, 0, name.toString().left(40));
            m_present[index] = true;
            const XmlValueKind kind = m_fields.at(index).Kind;
            if (kind != XmlValueKind::Text) {
                // Read from the file's own bytes where it can be; what is
                // wrong is told below, in the order of the fields.
                bool ok = false;
                const std::optional<double> number = value.Number(&ok);
                m_numbers[index] = number;
                if (!ok)
                    m_problems[index] = NumberProblem::NotNumber;
                else if (number && kind == XmlValueKind::Whole
                         && (*number != std::floor(*number) || std::fabs(*number) > 1e10))
                    m_problems[index] = NumberProblem::NotWhole;
            }
            if (m_keepText || m_problems.at(index) != NumberProblem::None)
                m_values[index] = value.Text();
            return true;
        });
        if (!known)
            return false;
        for (int i = 0; i < m_fields.size(); ++i) {
            if (!m_present.at(i))
                return fail(QStringLiteral("поле відсутнє в записі"), m_record, 0, fieldName(i));
            if (m_problems.at(i) == NumberProblem::NotNumber)
                return fail(QStringLiteral("значення %1 не є числом").arg(inQuotes(m_values.at(i))), m_record, 0,
                            fieldName(i));
            if (m_problems.at(i) == NumberProblem::NotWhole)
                return fail(QStringLiteral("значення %1 не є цілим числом").arg(inQuotes(m_values.at(i))), m_record, 0,
                            fieldName(i));
        }
        return true;
    }

    QString fieldName(int index) const { return QString::fromLatin1(m_fields.at(index).Name); }

    bool fail(const QString& reason, int record, int line, const QString& field = QString())
    {
        m_errors->append(Rejection{m_fileName, record, line, field, reason});
        return false;
    }

    QString m_fileName;
    const QList<PacketField>& m_fields;
    int m_maxRecords;
    RejectionList* m_errors;
    bool m_keepText;
    int m_record = 0;
    // The current row, by field.
    QStringList m_values;
    QList<std::optional<double>> m_numbers;  // of the numeric fields
    QList<NumberProblem> m_problems;
    std::vector<bool> m_present;
    std::vector<bool> m_declared;  // fields described in METADATA
    int m_declaredCount = 0;
};

}  // namespace

bool SubmissionReader::readFile(const QString& path, QByteArray* bytes, RejectionList* errors) const
{
    // One open, one fstat and one read: the importer reads thousands of
    // small files, and each call to the system counts.
    const QString name = QFileInfo(path).fileName();
    const auto refuse = [&](const QString& reason) {
        errors->append(Rejection{name, 0, 0, QString(), reason});
        return false;
    };
    // Non-blocking, so that a FIFO in place of the file cannot stop the import.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return refuse(QStringLiteral("файл неможливо прочитати"));
    const auto close = qScopeGuard([fd] { ::close(fd); });
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return refuse(QStringLiteral("файл неможливо прочитати"));
    if (info.st_size > m_limits.MaxFileBytes)
        return refuse(QStringLiteral("файл завеликий: %1 байт, найбільше %2")
                          .arg(qint64(info.st_size))
                          .arg(m_limits.MaxFileBytes));
    // Read no more than the limit even if the file grows meanwhile; the
    // buffer is sized by the file, not by the limit.
    const qsizetype want = qsizetype(std::min<qint64>(info.st_size, m_limits.MaxFileBytes)) + 1;
    bytes->resize(want);
    qsizetype got = 0;
    while (got < want) {
        const ssize_t n = ::read(fd, bytes->data() + got, size_t(want - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return refuse(QStringLiteral("файл неможливо прочитати"));
        got += n;
        if (n == 0 || got >= info.st_size)
            break;
    }
    bytes->truncate(got);
    if (bytes->size() > m_limits.MaxFileBytes)
        return refuse(QStringLiteral("файл завеликий: понад %1 байт").arg(m_limits.MaxFileBytes));
    return true;
}

bool SubmissionReader::Read(const QString& attrPath, const QString& dataPath, SubmissionData* out,
                            RejectionList* errors) const
{
    QByteArray attr;
    QByteArray data;
    if (!readFile(attrPath, &attr, errors) || !readFile(dataPath, &data, errors))
        return false;
    return ReadBytes(QFileInfo(attrPath).fileName(), attr, QFileInfo(dataPath).fileName(), data, out, errors);
}

namespace {

template <typename Source>
bool readSubmission(const ReaderLimits& limits, const QString& attrName, const QByteArray& attr,
                    const QString& dataName, const QByteArray& data, SubmissionData* out, RejectionList* errors)
{
    *out = SubmissionData();
    if (attr.size() > limits.MaxFileBytes || data.size() > limits.MaxFileBytes) {
        const bool attrTooBig = attr.size() > limits.MaxFileBytes;
        errors->append(Rejection{attrTooBig ? attrName : dataName, 0, 0, QString(),
                                 QStringLiteral("файл завеликий: понад %1 байт").arg(limits.MaxFileBytes)});
        return false;
    }

    const QList<PacketField>& af = attrFields();
    TableReader attrReader(attrName, af, limits.MaxRecords, errors);
    int attrRecords = 0;
    const bool attrOk =
        attrReader.Read<Source>(attr, [&](int, const QStringList& values, const QList<std::optional<double>>& numbers) {
            ++attrRecords;
            if (attrRecords > 1)
                return;
            for (int i = 0; i < af.size(); ++i) {
                const QString& name = af.at(i).Key;
                out->Attr.insert(name, values.at(i));
                if (numbers.at(i))
                    out->AttrNumbers.insert(name, *numbers.at(i));
            }
        });
    if (!attrOk)
        return false;
    if (attrRecords > 1) {
        errors->append(
            Rejection{attrName, 2, 0, QString(),
                      QStringLiteral("реквізити підприємства мають бути одним записом, а їх %1").arg(attrRecords)});
        return false;
    }
    out->HasAttrRecord = attrRecords == 1;

    TableReader dataReader(dataName, dataFields(), limits.MaxRecords, errors, false);
    const bool dataOk =
        dataReader.Read<Source>(data, [&](int record, const QStringList&, const QList<std::optional<double>>& numbers) {
            EmissionRow row;
            row.Record = record;
            row.ContId = numbers.at(0);
            row.Poten = numbers.at(3);
            row.Fact = numbers.at(4);
            out->Rows.append(row);
        });
    if (!dataOk)
        return false;

    out->ContentHash = contentHash(attr, data);
    return true;
}

}  // namespace

bool SubmissionReader::ReadBytes(const QString& attrName, const QByteArray& attr, const QString& dataName,
                                 const QByteArray& data, SubmissionData* out, RejectionList* errors) const
{
    // Files as the export writes them take the quick road; any other, good
    // or bad, is read (again) by the full XML reader, which gives the reason.
    const qsizetype before = errors->size();
    if (readSubmission<PlainXmlSource>(m_limits, attrName, attr, dataName, data, out, errors))
        return true;
    errors->resize(before);
    return readSubmission<QtXmlSource>(m_limits, attrName, attr, dataName, data, out, errors);
}

}  // namespace emlo::registry
