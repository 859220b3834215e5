#include "report.h"

#include <algorithm>
#include <map>

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "check/datacheck.h"
#include "registrydb.h"

namespace emlo::registry {

namespace {

struct KeySql {
    const char* Key;        // expression of the group key
    const char* NameTable;  // reference table with the names
    const char* NameKey;    // its key column
};

KeySql keySql(Grouping by)
{
    switch (by) {
    case Grouping::Region: return {"s.obl_code", "ref_obl", "code"};
    case Grouping::District: return {"s.regn_code", "ref_cy", "code"};
    case Grouping::Activity: return {"s.kved_id", "ref_ea", "code"};
    case Grouping::Pollutant: return {"e.contid", "ref_cont", "contid"};
    }
    return {"s.obl_code", "ref_obl", "code"};
}

class ReportQueries {
public:
    ReportQueries(RegistryDb& db, QStringList* plans) : m_db(db), m_plans(plans) { }

    bool Run(const QString& sql, const QVariantList& binds, const std::function<void(QSqlQuery&)>& onRow,
             QString* error)
    {
        QSqlQuery query(m_db.Database());
        query.setForwardOnly(true);
        if (m_plans != nullptr && !explain(sql, binds, error))
            return false;
        if (!query.prepare(sql)) {
            *error = DbFailure(query.lastError());
            return false;
        }
        for (const QVariant& bind : binds)
            query.addBindValue(bind);
        if (!query.exec()) {
            *error = DbFailure(query.lastError());
            return false;
        }
        while (query.next())
            onRow(query);
        return true;
    }

private:
    bool explain(const QString& sql, const QVariantList& binds, QString* error)
    {
        // PostgreSQL prepares no EXPLAIN, so the values go into the text; they
        // are the report's own numbers and codes, quoted as literals.
        QString inlined;
        qsizetype next = 0;
        for (QChar ch : sql) {
            if (ch != u'?' || next >= binds.size()) {
                inlined += ch;
                continue;
            }
            const QVariant& value = binds.at(next++);
            if (value.typeId() == QMetaType::QString)
                inlined += QLatin1Char('\'') + value.toString().replace(QStringLiteral("'"), QStringLiteral("''"))
                    + QLatin1Char('\'');
            else
                inlined += value.toString();
        }
        QSqlQuery query(m_db.Database());
        const QString prefix = m_db.IsPostgres() ? QStringLiteral("EXPLAIN ") : QStringLiteral("EXPLAIN QUERY PLAN ");
        if (!query.exec(prefix + inlined)) {
            *error = DbErrorText(query.lastError());
            return false;
        }
        QString plan = inlined + QLatin1Char('\n');
        while (query.next())
            plan += QStringLiteral("  ") + query.value(m_db.IsPostgres() ? 0 : 3).toString() + QLatin1Char('\n');
        m_plans->append(plan);
        return true;
    }

    RegistryDb& m_db;
    QStringList* m_plans;
};

// Sums per group for one year. contId < 0: every pollutant, the group totals
// left out unless the grouping is by pollutant (then they are flagged).
bool groupSums(ReportQueries& q, Grouping by, int year, int contId, std::map<QString, ReportGroup>* groups,
               QString* error)
{
    const KeySql key = keySql(by);
    QVariantList binds{year};
    const bool byPollutant = by == Grouping::Pollutant;
    QString inner;
    if (contId >= 0) {
        // One pollutant: the year's submissions, then each one's row of it by
        // the primary key.
        inner = QStringLiteral("SELECT %1 AS k, COUNT(*) AS n, SUM(e.poten) AS p, SUM(e.fact) AS f "
                               "FROM submission s CROSS JOIN emission e WHERE s.year = ? AND s.is_current = 1 "
                               "AND e.submission_id = s.id AND e.contid = ? GROUP BY %1")
                    .arg(QLatin1String(key.Key));
        binds = {year, contId};
    } else if (!byPollutant) {
        // Every pollutant: the sums each submission keeps, one row per enterprise.
        inner = QStringLiteral("SELECT %1 AS k, COUNT(*) AS n, SUM(s.total_poten) AS p, SUM(s.total_fact) AS f "
                               "FROM submission s WHERE s.year = ? AND s.is_current = 1 GROUP BY %1")
                    .arg(QLatin1String(key.Key));
    } else {
        inner = QStringLiteral("SELECT e.contid AS k, COUNT(*) AS n, SUM(e.poten) AS p, SUM(e.fact) AS f "
                               "FROM submission s JOIN emission e ON e.submission_id = s.id "
                               "WHERE s.year = ? AND s.is_current = 1 GROUP BY e.contid");
    }
    const QString sql = QStringLiteral("SELECT g.k, %1, g.n, g.p, g.f FROM (%2) g LEFT JOIN %3 r ON r.%4 = g.k")
                            .arg(byPollutant ? QStringLiteral("r.code, r.descr") : QStringLiteral("NULL, r.descr"),
                                 inner, QLatin1String(key.NameTable), QLatin1String(key.NameKey));
    return q.Run(
        sql, binds,
        [&](QSqlQuery& row) {
            ReportGroup g;
            g.Code = byPollutant ? row.value(1).toString() : row.value(0).toString();
            if (g.Code.isEmpty())
                g.Code = row.value(0).toString();
            g.Name = row.value(2).toString();
            g.Enterprises = row.value(3).toInt();
            g.Poten = row.value(4).toDouble();
            g.Fact = row.value(5).toDouble();
            g.IsGroupTotal = byPollutant && IsGroupTotalId(row.value(0).toInt());
            (*groups)[g.Code] = g;
        },
        error);
}

bool resolvePollutant(ReportQueries& q, const QString& code, int* contId, QString* name, QString* error)
{
    *contId = -1;
    bool found = false;
    if (!q.Run(
            QStringLiteral(
                "SELECT contid, descr, code FROM ref_cont WHERE code = ? OR CAST(contid AS VARCHAR(10)) = ?"),
            {code, code},
            [&](QSqlQuery& row) {
                // A CODE match wins over an id that happens to read the same.
                if (!found || row.value(2).toString() == code) {
                    *contId = row.value(0).toInt();
                    *name = row.value(1).toString();
                    found = true;
                }
            },
            error))
        return false;
    if (!found) {
        *error = QStringLiteral("Забруднюючої речовини з кодом %1 немає в довіднику речовин").arg(code);
        return false;
    }
    return true;
}

QList<ChartBar> bars(const std::map<QString, ReportGroup>& groups, qsizetype limit)
{
    QList<ChartBar> result;
    for (const auto& [code, g] : groups) {
        if (!g.IsGroupTotal)
            result.append({g.Name.isEmpty() ? code : g.Name, g.Fact});
    }
    std::stable_sort(result.begin(), result.end(),
                     [](const ChartBar& a, const ChartBar& b) { return a.Value > b.Value; });
    if (result.size() > limit)
        result.resize(limit);
    return result;
}

}  // namespace

bool ParseGrouping(const QString& text, Grouping* grouping)
{
    static const QList<QPair<QString, Grouping>> names = {
        {QStringLiteral("region"), Grouping::Region},
        {QStringLiteral("district"), Grouping::District},
        {QStringLiteral("activity"), Grouping::Activity},
        {QStringLiteral("pollutant"), Grouping::Pollutant},
    };
    for (const auto& [name, value] : names) {
        if (text == name) {
            *grouping = value;
            return true;
        }
    }
    return false;
}

QString GroupingTitle(Grouping by)
{
    switch (by) {
    case Grouping::Region: return QStringLiteral("Область");
    case Grouping::District: return QStringLiteral("Район");
    case Grouping::Activity: return QStringLiteral("Вид економічної діяльності");
    case Grouping::Pollutant: return QStringLiteral("Забруднююча речовина");
    }
    return QString();
}

bool BuildReport(RegistryDb& db, const ReportRequest& request, RegistryReport* report, QString* error)
{
    *report = RegistryReport();
    report->Request = request;
    ReportQueries q(db, request.Plans);
    int contId = -1;
    if (!request.PollutantCode.isEmpty()
        && !resolvePollutant(q, request.PollutantCode, &contId, &report->PollutantName, error))
        return false;

    std::map<QString, ReportGroup> current;
    std::map<QString, ReportGroup> previous;
    if (!groupSums(q, request.By, request.Year, contId, &current, error)
        || !groupSums(q, request.By, request.Year - 1, contId, &previous, error))
        return false;
    // Groups of either year are shown: one that has gone stays visible with zero.
    for (const auto& [code, prev] : previous) {
        ReportGroup& g = current[code];
        if (g.Code.isEmpty()) {
            g.Code = prev.Code;
            g.Name = prev.Name;
            g.IsGroupTotal = prev.IsGroupTotal;
        }
        g.HasPrevious = true;
        g.PrevPoten = prev.Poten;
        g.PrevFact = prev.Fact;
    }
    report->Total.Name = QStringLiteral("Разом");
    bool anyPrevious = false;
    for (const auto& [code, g] : current) {
        report->Groups.append(g);
        if (g.IsGroupTotal)
            continue;
        report->Total.Poten += g.Poten;
        report->Total.Fact += g.Fact;
        report->Total.PrevPoten += g.PrevPoten;
        report->Total.PrevFact += g.PrevFact;
        anyPrevious = anyPrevious || g.HasPrevious;
        if (request.By != Grouping::Pollutant)
            report->Total.Enterprises += g.Enterprises;
    }
    report->Total.HasPrevious = anyPrevious;
    if (request.By == Grouping::Pollutant) {
        // Enterprises are counted once, not once per pollutant.
        const QString sql = contId >= 0
            ? QStringLiteral("SELECT COUNT(*) FROM submission s CROSS JOIN emission e WHERE s.year = ? "
                             "AND s.is_current = 1 AND e.submission_id = s.id AND e.contid = %1")
                  .arg(contId)
            : QStringLiteral("SELECT COUNT(*) FROM submission s WHERE s.year = ? AND s.is_current = 1");
        if (!q.Run(
                sql, {request.Year}, [&](QSqlQuery& row) { report->Total.Enterprises = row.value(0).toInt(); }, error))
            return false;
    }

    // The year's submissions, then in each only the rows of the few
    // pollutants that have a threshold, by the primary key.
    QString limitFilter;
    QVariantList limitBinds{request.Year};
    if (contId >= 0) {
        limitFilter = QStringLiteral(" AND c.contid = ?");
        limitBinds << contId;
    }
    if (!q.Run(
            QStringLiteral("SELECT s.edrpou, s.enname, s.obl_descr, c.code, c.descr, e.poten, c.threshold "
                           "FROM submission s CROSS JOIN emission e CROSS JOIN ref_cont c "
                           "WHERE s.year = ? AND s.is_current = 1 AND e.submission_id = s.id "
                           "AND e.contid IN (SELECT contid FROM ref_cont WHERE threshold > 0) "
                           "AND c.contid = e.contid AND e.poten >= c.threshold")
                + limitFilter + QStringLiteral(" ORDER BY c.code, e.poten DESC, s.edrpou"),
            limitBinds,
            [&](QSqlQuery& row) {
                report->OverLimit.append({row.value(0).toString(), row.value(1).toString(), row.value(2).toString(),
                                          row.value(3).toString(), row.value(4).toString(), row.value(5).toDouble(),
                                          row.value(6).toDouble()});
            },
            error))
        return false;

    if (!request.WithCharts)
        return true;
    // The charts: by region and by pollutant, whatever the grouping.
    std::map<QString, ReportGroup> regions;
    std::map<QString, ReportGroup> pollutants;
    if (request.By == Grouping::Region)
        regions = current;
    else if (!groupSums(q, Grouping::Region, request.Year, contId, &regions, error))
        return false;
    if (request.By == Grouping::Pollutant)
        pollutants = current;
    else if (!groupSums(q, Grouping::Pollutant, request.Year, contId, &pollutants, error))
        return false;
    report->ByRegion = bars(regions, 40);
    report->ByPollutant = bars(pollutants, 15);
    return true;
}

}  // namespace emlo::registry
