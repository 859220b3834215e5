#pragma once

#include <memory>

#include <QList>
#include <QMap>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

namespace emlo {
class TDataModule;
}  // namespace emlo

namespace emlo::registry {

// The kinds of broken submission the registry must refuse, each with the
// reason it gives.
enum class Breakage {
    None,
    NotWellFormed,      // data.xml cut off in the middle
    WrongEncoding,      // attr.xml saved as UTF-8 under the windows-1251 declaration
    MissingField,       // FACT left out of a ROW of data.xml
    UnknownField,       // a ROW of data.xml with an attribute no table has
    NotANumber,         // POTEN "12т"
    BadEdrpou,          // 7 digits
    UnknownKoatuu,      // a settlement code not in KOATUU
    UnknownPollutant,   // CONTID 999
    RepeatedPollutant,  // one pollutant in two records
    Incomplete,         // no enterprise name
    HugeFile,           // data.xml over the size limit
    DeepNesting,        // thousands of nested elements
    EntityExpansion,    // a DTD with "billion laughs" entities
};

QList<Breakage> AllBreakages();
QString BreakageName(Breakage breakage);  // "not-well-formed", ...

struct GeneratedRow {
    int ContId = 0;
    double Poten = 0;
    double Fact = 0;
};

// One enterprise's data for one year, before it is written.
struct GeneratedEnterprise {
    QMap<QString, QVariant> Attr;  // field name in capitals -> value
    QList<GeneratedRow> Rows;
};

struct GeneratorOptions {
    int Rows = 30;                         // emission records per submission (before group totals)
    bool GroupTotals = false;              // let the data check add its group-total records
    QChar DecimalSeparator = QChar(u',');  // as a PC with these regional settings writes numbers
};

// Makes realistic submissions the way enterprises make them: the data goes
// into the work tables through the table layer and out through the program's
// own XML export writer; broken ones are then spoilt in one way each.
// Codes come from the classifier files, so the valid ones pass every check.
class SubmissionGenerator {
public:
    // programDir holds the reference tables (CONT.DBF ...) and refdata/*.csv.
    SubmissionGenerator(const QString& programDir, quint32 seed, GeneratorOptions options = {});
    ~SubmissionGenerator();

    // False (with ErrorString) when the reference data could not be read.
    bool IsValid() const { return m_error.isEmpty(); }
    QString ErrorString() const { return m_error; }

    // The index-th enterprise: EDRPOU 3xxxxxxx from the index, the rest from
    // the seed and the index, so a second run gives the same data.
    GeneratedEnterprise MakeEnterprise(int index);

    // Writes attr.xml and data.xml into folder (made when missing), spoilt as
    // asked. False with ErrorString on a failure of the writer.
    bool Write(const GeneratedEnterprise& enterprise, const QString& folder, Breakage breakage = Breakage::None);

private:
    bool loadReference(const QString& programDir);
    bool exportTables(const GeneratedEnterprise& enterprise, const QString& folder, Breakage breakage);
    bool spoil(const QString& folder, Breakage breakage);

    struct CodeName {
        QString Code;
        QString Name;
    };
    QList<CodeName> m_regions;
    QMap<QString, QList<CodeName>> m_settlementsByRegion;  // region prefix -> settlements
    QMap<QString, QString> m_cyNames;                      // code -> name
    QList<CodeName> m_activities;
    QList<CodeName> m_ownership;
    QList<CodeName> m_departments;
    QList<int> m_pollutants;  // every id but the group totals
    QMap<int, double> m_limits;

    quint32 m_seed;
    GeneratorOptions m_options;
    QString m_programDir;
    QString m_error;
    QTemporaryDir m_work;
    int m_workCount = 0;
    std::unique_ptr<class GeneratorReporter> m_reporter;
    std::unique_ptr<TDataModule> m_data;
};

}  // namespace emlo::registry
