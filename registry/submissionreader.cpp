#include "submissionreader.h"

#include <cmath>

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include "store/cp1251.h"

namespace emlo::registry {

namespace {

enum class TKind { Text, Number, Whole };

struct TFieldSpec {
    const char* Name;
    TKind Kind;
};

// The fields the export writes for the attribute table, in its column order.
const QList<TFieldSpec>& attrFields()
{
    static const QList<TFieldSpec> fields = {
        {"ENNAME", TKind::Text},     {"EDRPOU", TKind::Text},   {"ENADDR", TKind::Text},     {"ENCH_POS", TKind::Text},
        {"ENCH_NAME", TKind::Text},  {"ENPHONE", TKind::Text},  {"OBL_DESCR", TKind::Text},  {"OBL_ID", TKind::Whole},
        {"REGN_DESCR", TKind::Text}, {"REGN_ID", TKind::Whole}, {"CITY_DESCR", TKind::Text}, {"CITY_ID", TKind::Whole},
        {"SPODU_D", TKind::Text},    {"SPODU_ID", TKind::Text}, {"KVED_DESCR", TKind::Text}, {"KVED_ID", TKind::Text},
        {"KFV_DESCR", TKind::Text},  {"KFV_ID", TKind::Text},   {"X1", TKind::Whole},        {"X2", TKind::Whole},
        {"X3", TKind::Whole},        {"Y1", TKind::Whole},      {"Y2", TKind::Whole},        {"Y3", TKind::Whole},
    };
    return fields;
}

// The emission table's fields, the look-ups CODE, DESCR and LIMIT included.
const QList<TFieldSpec>& dataFields()
{
    static const QList<TFieldSpec> fields = {
        {"CONTID", TKind::Whole}, {"CODE", TKind::Text},   {"DESCR", TKind::Text},
        {"POTEN", TKind::Number}, {"FACT", TKind::Number}, {"LIMIT", TKind::Number},
    };
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
    static const QRegularExpression encodingAttr(QStringLiteral("encoding\\s*=\\s*[\"']([^\"']*)[\"']"));
    const QString declaration = QString::fromLatin1(bytes.left(end));
    const QRegularExpressionMatch match = encodingAttr.match(declaration);
    if (!match.hasMatch())
        return QStringLiteral("у заголовку XML не вказано кодування windows-1251");
    const QString encoding = match.captured(1);
    if (encoding.compare(QLatin1String("windows-1251"), Qt::CaseInsensitive) != 0)
        return QStringLiteral("кодування %1 замість windows-1251").arg(inQuotes(encoding));
    if (looksLikeUtf8Cyrillic(bytes))
        return QStringLiteral("текст записано в кодуванні UTF-8, а заголовок вказує windows-1251");
    const qsizetype unassigned = bytes.indexOf('\x98');
    if (unassigned >= 0) {
        *line = lineOfOffset(bytes, unassigned);
        return QStringLiteral("байт 0x98 не належить кодуванню windows-1251");
    }
    return QString();
}

// Reads one file's table: checks the layout and hands each ROW's values, in
// the order of `fields`, to onRow.
class TTableReader {
public:
    TTableReader(const QString& fileName, const QList<TFieldSpec>& fields, int maxRecords, TRejectionList* errors)
        : m_fileName(fileName), m_fields(fields), m_maxRecords(maxRecords), m_errors(errors)
    {
    }

    template <typename OnRow> bool Read(const QByteArray& bytes, OnRow onRow)
    {
        int line = 0;
        const QString problem = encodingProblem(bytes, &line);
        if (!problem.isEmpty())
            return fail(problem, 0, line);

        QXmlStreamReader xml(fromCp1251(bytes));
        xml.setNamespaceProcessing(false);
        // No DTD passes (see below); this only bounds what a reader would do with one.
        xml.setEntityExpansionLimit(64);
        QStringList path;
        bool sawRowData = false;
        while (!xml.atEnd()) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            const int at = int(xml.lineNumber());
            switch (token) {
            case QXmlStreamReader::DTD:
                return fail(QStringLiteral("файл містить оголошення DTD, яких вигрузка не пише"), 0, at);
            case QXmlStreamReader::EntityReference:
                return fail(QStringLiteral("файл містить посилання на сутність, якої вигрузка не пише"), 0, at);
            case QXmlStreamReader::Characters:
                if (!xml.isWhitespace())
                    return fail(QStringLiteral("текст поза атрибутами: %1").arg(inQuotes(xml.text().trimmed())), 0, at);
                break;
            case QXmlStreamReader::StartElement: {
                const QString name = xml.name().toString();
                if (!allowedChild(path, name))
                    return fail(QStringLiteral("неочікуваний елемент <%1>").arg(name.left(40)), 0, at);
                path.append(name);
                if (name == QLatin1String("FIELD") && !readField(xml, at))
                    return false;
                if (name == QLatin1String("ROWDATA")) {
                    sawRowData = true;
                    if (!checkDeclaredFields(at))
                        return false;
                }
                if (name == QLatin1String("ROW")) {
                    if (!readRow(xml, at))
                        return false;
                    onRow(m_record, m_values);
                }
                break;
            }
            case QXmlStreamReader::EndElement: path.removeLast(); break;
            default: break;
            }
        }
        if (xml.hasError())
            return fail(QStringLiteral("XML сформовано неправильно (позиція %1)").arg(xml.columnNumber()), 0,
                        int(xml.lineNumber()));
        if (!sawRowData)
            return fail(QStringLiteral("немає елемента <ROWDATA>"), 0, 0);
        return true;
    }

private:
    static bool allowedChild(const QStringList& path, const QString& name)
    {
        static const QHash<QString, QString> parentOf = {
            {QStringLiteral("DATAPACKET"), QString()},
            {QStringLiteral("METADATA"), QStringLiteral("DATAPACKET")},
            {QStringLiteral("ROWDATA"), QStringLiteral("DATAPACKET")},
            {QStringLiteral("FIELDS"), QStringLiteral("METADATA")},
            {QStringLiteral("FIELD"), QStringLiteral("FIELDS")},
            {QStringLiteral("ROW"), QStringLiteral("ROWDATA")},
        };
        const auto it = parentOf.constFind(name);
        if (it == parentOf.constEnd())
            return false;
        return path.isEmpty() ? it.value().isEmpty() : path.constLast() == it.value();
    }

    int fieldIndex(QStringView name) const
    {
        for (int i = 0; i < m_fields.size(); ++i) {
            if (name.compare(QLatin1String(m_fields.at(i).Name), Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    }

    bool readField(const QXmlStreamReader& xml, int at)
    {
        const QStringView name = xml.attributes().value(QLatin1String("FieldName"));
        if (name.isEmpty())
            return fail(QStringLiteral("в описі поля немає FieldName"), 0, at);
        const int index = fieldIndex(name);
        if (index < 0)
            return fail(QStringLiteral("невідоме поле"), 0, at, name.left(40).toString());
        if (m_declared.contains(index))
            return fail(QStringLiteral("поле описане двічі"), 0, at, fieldName(index));
        m_declared.insert(index);
        return true;
    }

    bool checkDeclaredFields(int at)
    {
        for (int i = 0; i < m_fields.size(); ++i) {
            if (!m_declared.contains(i))
                return fail(QStringLiteral("поле відсутнє в описі полів (METADATA)"), 0, at, fieldName(i));
        }
        return true;
    }

    bool readRow(const QXmlStreamReader& xml, int at)
    {
        if (++m_record > m_maxRecords)
            return fail(QStringLiteral("понад %1 записів").arg(m_maxRecords), m_record, 0);
        m_values.fill(QString(), m_fields.size());
        QList<bool> present(m_fields.size(), false);
        for (const QXmlStreamAttribute& attribute : xml.attributes()) {
            const int index = fieldIndex(attribute.name());
            if (index < 0)
                return fail(QStringLiteral("невідоме поле"), m_record, 0, attribute.name().left(40).toString());
            present[index] = true;
            m_values[index] = attribute.value().toString();
        }
        for (int i = 0; i < m_fields.size(); ++i) {
            if (!present.at(i))
                return fail(QStringLiteral("поле відсутнє в записі"), m_record, 0, fieldName(i));
            if (m_fields.at(i).Kind != TKind::Text && !checkNumber(i))
                return false;
        }
        Q_UNUSED(at);
        return true;
    }

    bool checkNumber(int index)
    {
        bool ok = false;
        const std::optional<double> value = ParseExportNumber(m_values.at(index), &ok);
        if (!ok)
            return fail(QStringLiteral("значення %1 не є числом").arg(inQuotes(m_values.at(index))), m_record, 0,
                        fieldName(index));
        if (value && m_fields.at(index).Kind == TKind::Whole
            && (*value != std::floor(*value) || std::fabs(*value) > 1e10))
            return fail(QStringLiteral("значення %1 не є цілим числом").arg(inQuotes(m_values.at(index))), m_record, 0,
                        fieldName(index));
        return true;
    }

    QString fieldName(int index) const { return QString::fromLatin1(m_fields.at(index).Name); }

    bool fail(const QString& reason, int record, int line, const QString& field = QString())
    {
        m_errors->append(TRejection{m_fileName, record, line, field, reason});
        return false;
    }

    QString m_fileName;
    const QList<TFieldSpec>& m_fields;
    int m_maxRecords;
    TRejectionList* m_errors;
    QSet<int> m_declared;
    int m_record = 0;
    QStringList m_values;
};

std::optional<double> valueOf(const QString& text)
{
    bool ok = false;
    return ParseExportNumber(text, &ok);
}

}  // namespace

std::optional<double> ParseExportNumber(QStringView text, bool* ok)
{
    text = text.trimmed();
    *ok = true;
    if (text.isEmpty())
        return std::nullopt;
    qsizetype i = 0;
    if (text.at(0) == u'-' || text.at(0) == u'+')
        ++i;
    const qsizetype intStart = i;
    while (i < text.size() && text.at(i).isDigit() && text.at(i).unicode() < 128)
        ++i;
    bool valid = i > intStart;
    if (valid && i < text.size() && (text.at(i) == u'.' || text.at(i) == u',')) {
        const qsizetype fracStart = ++i;
        while (i < text.size() && text.at(i).isDigit() && text.at(i).unicode() < 128)
            ++i;
        valid = i > fracStart;
    }
    if (!valid || i != text.size()) {
        *ok = false;
        return std::nullopt;
    }
    QString plain = text.toString();
    plain.replace(QLatin1Char(','), QLatin1Char('.'));
    return plain.toDouble();
}

bool TSubmissionReader::readFile(const QString& path, QByteArray* bytes, TRejectionList* errors) const
{
    const QString name = QFileInfo(path).fileName();
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        errors->append(TRejection{name, 0, 0, QString(), QStringLiteral("файл неможливо прочитати")});
        return false;
    }
    if (file.size() > m_limits.MaxFileBytes) {
        errors->append(TRejection{
            name, 0, 0, QString(),
            QStringLiteral("файл завеликий: %1 байт, найбільше %2").arg(file.size()).arg(m_limits.MaxFileBytes)});
        return false;
    }
    // Read no more than the limit even if the file grows meanwhile; the
    // buffer is sized by the file, not by the limit.
    *bytes = file.read(std::min(file.size(), m_limits.MaxFileBytes) + 1);
    if (bytes->size() > m_limits.MaxFileBytes) {
        errors->append(TRejection{name, 0, 0, QString(),
                                  QStringLiteral("файл завеликий: понад %1 байт").arg(m_limits.MaxFileBytes)});
        return false;
    }
    return true;
}

bool TSubmissionReader::Read(const QString& attrPath, const QString& dataPath, TSubmission* out,
                             TRejectionList* errors) const
{
    QByteArray attr;
    QByteArray data;
    if (!readFile(attrPath, &attr, errors) || !readFile(dataPath, &data, errors))
        return false;
    return ReadBytes(QFileInfo(attrPath).fileName(), attr, QFileInfo(dataPath).fileName(), data, out, errors);
}

bool TSubmissionReader::ReadBytes(const QString& attrName, const QByteArray& attr, const QString& dataName,
                                  const QByteArray& data, TSubmission* out, TRejectionList* errors) const
{
    *out = TSubmission();
    if (attr.size() > m_limits.MaxFileBytes || data.size() > m_limits.MaxFileBytes) {
        const bool attrTooBig = attr.size() > m_limits.MaxFileBytes;
        errors->append(TRejection{attrTooBig ? attrName : dataName, 0, 0, QString(),
                                  QStringLiteral("файл завеликий: понад %1 байт").arg(m_limits.MaxFileBytes)});
        return false;
    }

    const QList<TFieldSpec>& af = attrFields();
    TTableReader attrReader(attrName, af, m_limits.MaxRecords, errors);
    int attrRecords = 0;
    const bool attrOk = attrReader.Read(attr, [&](int, const QStringList& values) {
        ++attrRecords;
        if (attrRecords > 1)
            return;
        for (int i = 0; i < af.size(); ++i) {
            const QString name = QString::fromLatin1(af.at(i).Name);
            out->Attr.insert(name, values.at(i));
            if (af.at(i).Kind != TKind::Text) {
                if (const std::optional<double> v = valueOf(values.at(i)))
                    out->AttrNumbers.insert(name, *v);
            }
        }
    });
    if (!attrOk)
        return false;
    if (attrRecords > 1) {
        errors->append(
            TRejection{attrName, 2, 0, QString(),
                       QStringLiteral("реквізити підприємства мають бути одним записом, а їх %1").arg(attrRecords)});
        return false;
    }
    out->HasAttrRecord = attrRecords == 1;

    TTableReader dataReader(dataName, dataFields(), m_limits.MaxRecords, errors);
    const bool dataOk = dataReader.Read(data, [&](int record, const QStringList& values) {
        TEmissionRow row;
        row.Record = record;
        row.ContId = valueOf(values.at(0));
        row.Poten = valueOf(values.at(3));
        row.Fact = valueOf(values.at(4));
        out->Rows.append(row);
    });
    if (!dataOk)
        return false;

    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(attr);
    hash.addData(QByteArrayView("\0", 1));
    hash.addData(data);
    out->ContentHash = hash.result().toHex();
    return true;
}

}  // namespace emlo::registry
