#include "checkfixture.h"

#include <QFile>
#include <QTextStream>

namespace emlo::testing {

namespace {

QList<ContRow> fewPollutants()
{
    QList<ContRow> rows;
    for (int id : {1, 2, 5, 18, 132})
        rows.append({id, QString::number(id), QStringLiteral("Речовина %1").arg(id), 0.5});
    return rows;
}

}  // namespace

CheckFixture::CheckFixture() : ProgramFolder(fewPollutants()) { }

QVariant NumberOrNull(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return QVariant();
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    return ok ? QVariant(value) : QVariant(trimmed);
}

void CheckFixture::LoadCase(const QString& folder)
{
    const auto readLines = [](const QString& path, bool* exists) {
        QFile file(path);
        QStringList lines;
        *exists = file.open(QIODevice::ReadOnly | QIODevice::Text);
        if (*exists) {
            QTextStream in(&file);
            while (!in.atEnd()) {
                const QString line = in.readLine();
                if (!line.trimmed().isEmpty() && !line.startsWith(QLatin1Char('#')))
                    lines << line;
            }
        }
        return lines;
    };

    bool exists = false;
    const QStringList attrLines = readLines(folder + QStringLiteral("/attr.txt"), &exists);
    if (exists) {
        QMap<QString, QVariant> values;
        for (const QString& line : attrLines) {
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (eq > 0)
                values.insert(line.left(eq).trimmed().toUpper(), line.mid(eq + 1));
        }
        // Numbers reach numeric fields as numbers, whatever the locale.
        for (const char* numeric : {"OBL_ID", "REGN_ID", "CITY_ID", "X1", "X2", "X3", "Y1", "Y2", "Y3"}) {
            const QString key = QLatin1String(numeric);
            if (values.contains(key))
                values[key] = NumberOrNull(values.value(key).toString());
        }
        WriteAttr(values);
    }

    const QStringList dataLines = readLines(folder + QStringLiteral("/data.txt"), &exists);
    for (const QString& line : dataLines) {
        const QStringList cells = line.split(QLatin1Char(';'));
        const qint32 recNo =
            AddData(NumberOrNull(cells.value(0)), NumberOrNull(cells.value(1)), NumberOrNull(cells.value(2)));
        if (cells.value(3).trimmed() == QLatin1String("*"))
            DeleteData(recNo);
    }
}

QString RowText(const DataRow& row)
{
    const auto number = [](const QVariant& value) {
        return value.isNull() ? QString() : QString::number(value.toDouble(), 'g', 15);
    };
    return number(row.ContId) + QLatin1Char(';') + number(row.Poten) + QLatin1Char(';') + number(row.Fact);
}

}  // namespace emlo::testing
