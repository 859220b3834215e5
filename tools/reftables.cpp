#include "reftables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

#include "store/apollotable.h"
#include "store/cp1251.h"
#include "store/errors.h"
#include "store/fields.h"

namespace emlo {

const QVector<RefTable>& ReferenceTables()
{
    static const QVector<RefTable> tables = [] {
        QVector<RefTable> list;
        for (const emlo::TableDef& def : emlo::TableCatalog()) {
            if (!def.reference)
                continue;
            list.append({QByteArray(def.name).toLower() + ".csv", &def});
        }
        return list;
    }();
    return tables;
}

bool ParseCsv(const QByteArray& raw, QVector<QStringList>* rows, QString* error)
{
    QString text = QString::fromUtf8(raw);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    if (text.contains(QChar::ReplacementCharacter)) {
        *error = QStringLiteral("файл не в кодуванні UTF-8");
        return false;
    }
    rows->clear();
    QStringList row;
    QString field;
    bool quoted = false;     // inside a quoted field
    bool wasQuoted = false;  // the current field was quoted (only a separator or line end may follow)
    int line = 1;
    auto endField = [&] {
        row << field;
        field.clear();
        wasQuoted = false;
    };
    auto endRow = [&] {
        endField();
        if (!(row.size() == 1 && row.first().isEmpty()))
            rows->append(row);
        row.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < text.size() && text.at(i + 1) == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    quoted = false;
                    wasQuoted = true;
                }
            } else {
                if (c == u'\n')
                    ++line;
                field += c;
            }
            continue;
        }
        if (c == u',') {
            endField();
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            endRow();
            ++line;
        } else if (c == u'"' && field.isEmpty() && !wasQuoted) {
            quoted = true;
        } else if (wasQuoted) {
            *error = QStringLiteral("рядок %1: текст після лапок, що закривають поле").arg(line);
            return false;
        } else {
            field += c;
        }
    }
    if (quoted) {
        *error = QStringLiteral("рядок %1: поле в лапках не закрито").arg(line);
        return false;
    }
    if (!field.isEmpty() || !row.isEmpty())
        endRow();
    return true;
}

namespace {

// A numeric text as the field must hold it: digits with an optional sign and
// point, no more decimals than the field has, and a width the field can hold.
QString checkNumber(const QString& text, const RefField& f, double* value)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || text.trimmed() != text || text.isEmpty())
        return QStringLiteral("%1: «%2» не є числом").arg(QString::fromLatin1(f.name), text);
    const qsizetype point = text.indexOf(u'.');
    if (point >= 0 && text.size() - point - 1 > f.decimals)
        return QStringLiteral("%1: у «%2» більше %3 знаків після коми")
            .arg(QString::fromLatin1(f.name), text)
            .arg(f.decimals);
    if (f.decimals == 0 && point >= 0)
        return QStringLiteral("%1: «%2» має бути цілим числом").arg(QString::fromLatin1(f.name), text);
    const QString stored = QString::asprintf("%.*f", f.decimals, v);
    if (stored.size() > f.width)
        return QStringLiteral("%1: «%2» не вміщується в N(%3,%4)")
            .arg(QString::fromLatin1(f.name), text)
            .arg(f.width)
            .arg(f.decimals);
    *value = v;
    return QString();
}

}  // namespace

QStringList ValidateRows(const RefTable& table, const QVector<QStringList>& rows)
{
    QStringList problems;
    const QString file = QString::fromLatin1(table.csvName);
    auto at = [&](int line, const QString& text) {
        problems << QStringLiteral("%1:%2: %3").arg(file).arg(line).arg(text);
    };
    if (rows.isEmpty()) {
        at(1, QStringLiteral("файл порожній"));
        return problems;
    }
    QStringList expected;
    for (const RefField& f : table.fields())
        expected << QString::fromLatin1(f.name);
    QStringList header = rows.first();
    for (QString& h : header)
        h = h.trimmed().toUpper();
    if (header != expected) {
        at(1, QStringLiteral("рядок заголовку має бути %1").arg(expected.join(u',')));
        return problems;
    }
    for (int r = 1; r < rows.size(); ++r) {
        const QStringList& row = rows.at(r);
        const int line = r + 1;
        if (row.size() != table.fields().size()) {
            at(line, QStringLiteral("полів %1 замість %2").arg(row.size()).arg(table.fields().size()));
            continue;
        }
        for (int c = 0; c < row.size(); ++c) {
            const RefField& f = table.fields().at(c);
            const QString& value = row.at(c);
            if (f.type == 'N') {
                double v = 0;
                const QString problem = checkNumber(value, f, &v);
                if (!problem.isEmpty())
                    at(line, problem);
                continue;
            }
            const QChar bad = firstNonCp1251Char(value);
            if (!bad.isNull()) {
                at(line,
                   QStringLiteral("%1: символ U+%2 не можна записати у Windows-1251")
                       .arg(QString::fromLatin1(f.name))
                       .arg(bad.unicode(), 4, 16, QChar(u'0')));
                continue;
            }
            const qsizetype bytes = toCp1251(value).size();
            if (bytes > f.width)
                at(line,
                   QStringLiteral("%1: %2 символів не вміщуються в поле завширшки %3")
                       .arg(QString::fromLatin1(f.name))
                       .arg(bytes)
                       .arg(f.width));
        }
    }
    return problems;
}

namespace {

void buildTable(const RefTable& table, const QVector<QStringList>& rows, const QString& folder)
{
    const QString name = QString::fromLatin1(table.def->name);
    const QString path = folder + name + QStringLiteral(".DBF");
    TApolloTable tbl(QStringLiteral("tbl") + name);
    if (!emlo::DeclareTable(tbl, *table.def, path))
        throw Exception(QStringLiteral("неможливо створити %1: %2").arg(path, tbl.LastErrorText()));
    if (!tbl.CreateExec())
        throw Exception(QStringLiteral("неможливо записати %1: %2").arg(path, tbl.LastErrorText()));
    tbl.setTableName(path);
    tbl.setSyncOnPost(false);  // a build step: thousands of records, no user waiting on each
    tbl.Open();
    for (int r = 1; r < rows.size(); ++r) {
        tbl.Append();
        for (int c = 0; c < table.fields().size(); ++c) {
            const RefField& f = table.fields().at(c);
            TField* field = tbl.FieldByName(QString::fromLatin1(f.name));
            if (f.type == 'N')
                field->setAsFloat(rows.at(r).at(c).toDouble());
            else
                field->setAsString(rows.at(r).at(c));
        }
        tbl.Post();
    }
    if (table.def->indexName != nullptr) {
        const QString index = QString::fromLatin1(table.def->indexName) + QStringLiteral(".IDX");
        if (!tbl.Index(index, QString::fromLatin1(table.def->indexKey)))
            throw Exception(QStringLiteral("неможливо побудувати %1: %2").arg(folder + index, tbl.LastErrorText()));
    }
    tbl.Close();
}

}  // namespace

bool BuildReferenceTables(const QString& sourceDir, const QString& outDir, QStringList* errors)
{
    errors->clear();
    QVector<QVector<QStringList>> data;
    for (const RefTable& table : ReferenceTables()) {
        const QString csv = QDir(sourceDir).filePath(QString::fromLatin1(table.csvName));
        QFile file(csv);
        if (!file.open(QIODevice::ReadOnly)) {
            *errors << QStringLiteral("%1: %2").arg(csv, file.errorString());
            data.append(QVector<QStringList>());
            continue;
        }
        QVector<QStringList> rows;
        QString error;
        if (!ParseCsv(file.readAll(), &rows, &error)) {
            *errors << QStringLiteral("%1: %2").arg(csv, error);
            data.append(QVector<QStringList>());
            continue;
        }
        *errors << ValidateRows(table, rows);
        data.append(rows);
    }
    if (!errors->isEmpty())
        return false;

    if (!QDir().mkpath(outDir)) {
        *errors << QStringLiteral("%1: неможливо створити папку").arg(outDir);
        return false;
    }
    QTemporaryDir staging(QDir(outDir).filePath(QStringLiteral(".refdata-XXXXXX")));
    if (!staging.isValid()) {
        *errors << QStringLiteral("%1: %2").arg(outDir, staging.errorString());
        return false;
    }
    const QString folder = staging.path() + u'/';
    try {
        for (int i = 0; i < ReferenceTables().size(); ++i)
            buildTable(ReferenceTables().at(i), data.at(i), folder);
    } catch (const Exception& e) {
        *errors << e.Message;
        return false;
    }
    // Every table is built: replace the old files (any spelling of their names).
    const QFileInfoList existing = QDir(outDir).entryInfoList(QDir::Files);
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        for (const QFileInfo& old : existing)
            if (old.fileName().compare(name, Qt::CaseInsensitive) == 0 && old.fileName() != name)
                QFile::remove(old.absoluteFilePath());
        const QString target = QDir(outDir).filePath(name);
        if (::rename(QFile::encodeName(folder + name).constData(), QFile::encodeName(target).constData()) != 0) {
            *errors << QStringLiteral("%1: неможливо замінити файл").arg(target);
            return false;
        }
    }
    return true;
}

}  // namespace emlo
