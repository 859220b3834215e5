#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace emlo::registry {

class RegistryDb;

enum class Grouping { Region, District, Activity, Pollutant };

// "region", "district", "activity" or "pollutant"; false for anything else.
bool ParseGrouping(const QString& text, Grouping* grouping);

struct ReportRequest {
    int Year = 0;
    Grouping By = Grouping::Region;
    QString PollutantCode;         // CONT CODE (or CONTID); empty: every pollutant
    bool WithCharts = true;        // the HTML report's bar charts
    QStringList* Plans = nullptr;  // when given, receives each query with its plan
};

// One line of the report: a region, district, kind of activity or pollutant.
struct ReportGroup {
    QString Code;
    QString Name;
    int Enterprises = 0;
    double Poten = 0;
    double Fact = 0;
    bool HasPrevious = false;  // the previous year has data for this group
    double PrevPoten = 0;
    double PrevFact = 0;
    bool IsGroupTotal = false;  // a pollutant that sums others: shown, never added
};

// An enterprise whose potential emission of a pollutant reaches its threshold.
struct ThresholdRow {
    QString Edrpou;
    QString Name;
    QString Region;
    QString PollutantCode;
    QString PollutantName;
    double Poten = 0;
    double Limit = 0;
};

struct ChartBar {
    QString Label;
    double Value = 0;
};

// Everything one report shows; the writers only lay it out.
struct RegistryReport {
    ReportRequest Request;
    QString PollutantName;  // of the --pollutant filter
    QList<ReportGroup> Groups;
    ReportGroup Total;  // group totals of pollutants left out
    QList<ThresholdRow> OverLimit;
    QList<ChartBar> ByRegion;     // actual emission per region
    QList<ChartBar> ByPollutant;  // actual emission of the largest pollutants
};

// Runs the report's queries over the current submissions of the year and of
// the year before. False with the reason (an unknown pollutant code, a
// database error).
bool BuildReport(RegistryDb& db, const ReportRequest& request, RegistryReport* report, QString* error);

// The title of a grouping's key column and of the report.
QString GroupingTitle(Grouping by);

}  // namespace emlo::registry
