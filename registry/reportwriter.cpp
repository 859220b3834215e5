#include "reportwriter.h"

#include <algorithm>
#include <cmath>

#include "store/fields.h"

namespace emlo::registry {

namespace {

QString changeText(double now, double before)
{
    return FormatTonnes(now - before);
}

QString percentText(double now, double before)
{
    if (before == 0.0)
        return QString();
    return FormatFloat(QStringLiteral("0.0"), (now - before) / before * 100.0, QChar(u','));
}

QString title(const RegistryReport& report)
{
    QString text = QStringLiteral("Викиди забруднюючих речовин за %1 рік: %2")
                       .arg(report.Request.Year)
                       .arg(GroupingTitle(report.Request.By).toLower());
    if (!report.PollutantName.isEmpty())
        text += QStringLiteral(" — %1 (%2)").arg(report.PollutantName, report.Request.PollutantCode);
    return text;
}

QStringList groupHeader(const RegistryReport& report)
{
    const int prev = report.Request.Year - 1;
    return {QStringLiteral("Код"),
            GroupingTitle(report.Request.By),
            QStringLiteral("Підприємств"),
            QStringLiteral("Потенційні викиди, т/рік"),
            QStringLiteral("Фактичні викиди, т/рік"),
            QStringLiteral("Потенційні викиди %1, т/рік").arg(prev),
            QStringLiteral("Фактичні викиди %1, т/рік").arg(prev),
            QStringLiteral("Зміна фактичних викидів, т/рік"),
            QStringLiteral("Зміна, %")};
}

QStringList groupCells(const ReportGroup& g)
{
    QString name = g.Name;
    if (g.IsGroupTotal)
        name += QStringLiteral(" (груповий підсумок, до «Разом» не входить)");
    return {g.Code,
            name,
            QString::number(g.Enterprises),
            FormatTonnes(g.Poten),
            FormatTonnes(g.Fact),
            g.HasPrevious ? FormatTonnes(g.PrevPoten) : QString(),
            g.HasPrevious ? FormatTonnes(g.PrevFact) : QString(),
            g.HasPrevious ? changeText(g.Fact, g.PrevFact) : QString(),
            g.HasPrevious ? percentText(g.Fact, g.PrevFact) : QString()};
}

QStringList limitHeader()
{
    return {QStringLiteral("ЄДРПОУ"),
            QStringLiteral("Підприємство"),
            QStringLiteral("Область"),
            QStringLiteral("Код речовини"),
            QStringLiteral("Забруднююча речовина"),
            QStringLiteral("Потенційні викиди, т/рік"),
            QStringLiteral("Порогове значення, т/рік")};
}

QStringList limitCells(const ThresholdRow& r)
{
    return {r.Edrpou, r.Name, r.Region, r.PollutantCode, r.PollutantName, FormatTonnes(r.Poten), FormatTonnes(r.Limit)};
}

QString csvField(const QString& text)
{
    if (!text.contains(u';') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString csvLine(const QStringList& cells)
{
    QStringList fields;
    for (const QString& cell : cells)
        fields << csvField(cell);
    return fields.join(u';') + QStringLiteral("\r\n");
}

bool writeAll(QIODevice* device, const QString& text, QString* error)
{
    const QByteArray bytes = text.toUtf8();
    if (device->write(bytes) != bytes.size()) {
        *error = QStringLiteral("Неможливо записати звіт: %1").arg(device->errorString());
        return false;
    }
    return true;
}

QString esc(const QString& text)
{
    return text.toHtmlEscaped();
}

// numberFrom: the first column that holds numbers (right-aligned).
QString htmlRow(const QStringList& cells, const char* tag, int numberFrom, const QString& cls = QString())
{
    QString row = cls.isEmpty() ? QStringLiteral("<tr>") : QStringLiteral("<tr class=\"%1\">").arg(cls);
    for (qsizetype i = 0; i < cells.size(); ++i) {
        const bool number = QLatin1String(tag) == QLatin1String("td") && i >= numberFrom;
        row += QStringLiteral("<%1%2>%3</%1>")
                   .arg(QLatin1String(tag), number ? QStringLiteral(" class=\"n\"") : QString(), esc(cells.at(i)));
    }
    return row + QStringLiteral("</tr>\n");
}

// A horizontal bar chart: one bar per entry, the label on the left, the
// value at the end of the bar.
QString svgChart(const QString& caption, const QList<ChartBar>& bars)
{
    if (bars.isEmpty())
        return QStringLiteral("<p>%1: немає даних.</p>\n").arg(esc(caption));
    const int labelWidth = 330;
    const int barArea = 470;
    const int rowHeight = 22;
    const int width = labelWidth + barArea + 130;
    const int height = int(bars.size()) * rowHeight + 10;
    double maxValue = 0;
    for (const ChartBar& bar : bars)
        maxValue = std::max(maxValue, bar.Value);
    QString svg = QStringLiteral("<figure><figcaption>%1</figcaption>\n"
                                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%2\" height=\"%3\" "
                                 "viewBox=\"0 0 %2 %3\" role=\"img\" aria-label=\"%1\">\n")
                      .arg(esc(caption))
                      .arg(width)
                      .arg(height);
    for (qsizetype i = 0; i < bars.size(); ++i) {
        const ChartBar& bar = bars.at(i);
        const int y = int(i) * rowHeight + 5;
        const int length = maxValue > 0 ? std::max(1, int(std::lround(bar.Value / maxValue * barArea))) : 1;
        QString label = bar.Label;
        if (label.size() > 48)
            label = label.left(47) + QStringLiteral("…");
        svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\">%3</text>"
                              "<rect x=\"%4\" y=\"%5\" width=\"%6\" height=\"%7\"><title>%8: %9 т/рік</title></rect>"
                              "<text x=\"%10\" y=\"%2\">%9</text>\n")
                   .arg(labelWidth - 6)
                   .arg(y + 15)
                   .arg(esc(label))
                   .arg(labelWidth)
                   .arg(y + 2)
                   .arg(length)
                   .arg(rowHeight - 6)
                   .arg(esc(bar.Label), FormatTonnes(bar.Value))
                   .arg(labelWidth + length + 5);
    }
    return svg + QStringLiteral("</svg></figure>\n");
}

}  // namespace

QString FormatTonnes(double value)
{
    // Whole tonnes need no more than kilograms; small amounts keep their
    // digits up to the seven decimals the tables hold.
    if (std::fabs(value) >= 1.0)
        return FormatFloat(QStringLiteral("###########0.000"), value, QChar(u','));
    return FormatFloat(QStringLiteral("###########0.000####"), value, QChar(u','));
}

bool WriteCsvReport(const RegistryReport& report, QIODevice* device, QString* error)
{
    QString text = QString(QChar(0xFEFF));
    text += csvLine({title(report)});
    text += csvLine(groupHeader(report));
    for (const ReportGroup& g : report.Groups)
        text += csvLine(groupCells(g));
    QStringList total = groupCells(report.Total);
    total[0].clear();
    text += csvLine(total);
    text += QStringLiteral("\r\n");
    text += csvLine({QStringLiteral("Підприємства, чиї потенційні викиди досягають порогового значення")});
    text += csvLine(limitHeader());
    for (const ThresholdRow& r : report.OverLimit)
        text += csvLine(limitCells(r));
    return writeAll(device, text, error);
}

bool WriteHtmlReport(const RegistryReport& report, QIODevice* device, QString* error)
{
    QString html =
        QStringLiteral("<!DOCTYPE html>\n<html lang=\"uk\">\n<head>\n<meta charset=\"utf-8\">\n<title>%1</title>\n"
                       "<style>\n"
                       "body{font-family:'Liberation Sans',Arial,sans-serif;font-size:14px;margin:24px;color:#222}\n"
                       "h1{font-size:20px}h2{font-size:16px;margin-top:28px}\n"
                       "table{border-collapse:collapse;margin:8px 0}th,td{border:1px solid #bbb;padding:3px 7px}\n"
                       "th{background:#e8eef5;text-align:left}td.n{text-align:right;white-space:nowrap}\n"
                       "tr.total td{font-weight:bold;background:#f3f3f3}tr.group td{color:#666;font-style:italic}\n"
                       "figure{margin:8px 0}figcaption{font-weight:bold;margin-bottom:4px}\n"
                       "svg text{font-size:12px;font-family:'Liberation Sans',Arial,sans-serif}svg rect{fill:#3b73b9}\n"
                       "</style>\n</head>\n<body>\n<h1>%1</h1>\n")
            .arg(esc(title(report)));
    html += QStringLiteral("<p>Поточні подання підприємств. Групові підсумки речовин показано, але до сум не додано. "
                           "Зміна — проти %1 року.</p>\n")
                .arg(report.Request.Year - 1);
    html += QStringLiteral("<table>\n<thead>") + htmlRow(groupHeader(report), "th", 2)
        + QStringLiteral("</thead>\n<tbody>\n");
    for (const ReportGroup& g : report.Groups)
        html += htmlRow(groupCells(g), "td", 2, g.IsGroupTotal ? QStringLiteral("group") : QString());
    QStringList total = groupCells(report.Total);
    total[0].clear();
    html += htmlRow(total, "td", 2, QStringLiteral("total")) + QStringLiteral("</tbody>\n</table>\n");

    html += QStringLiteral("<h2>Діаграми</h2>\n");
    html += svgChart(QStringLiteral("Фактичні викиди за областями, т/рік"), report.ByRegion);
    html += svgChart(QStringLiteral("Фактичні викиди найбільших речовин, т/рік"), report.ByPollutant);

    html += QStringLiteral("<h2>Підприємства, чиї потенційні викиди досягають порогового значення</h2>\n");
    if (report.OverLimit.isEmpty()) {
        html += QStringLiteral("<p>Немає.</p>\n");
    } else {
        html += QStringLiteral("<table>\n<thead>") + htmlRow(limitHeader(), "th", 5)
            + QStringLiteral("</thead>\n<tbody>\n");
        for (const ThresholdRow& r : report.OverLimit)
            html += htmlRow(limitCells(r), "td", 5);
        html += QStringLiteral("</tbody>\n</table>\n");
    }
    html += QStringLiteral("</body>\n</html>\n");
    return writeAll(device, html, error);
}

}  // namespace emlo::registry
