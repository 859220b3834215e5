#pragma once

// The tests' program folder: a fresh program folder with the six reference
// tables of the catalogue, a working folder and an output folder beside it,
// and the data module opened on them. Values are written through the table
// layer and its rules, as the program writes them.

#include <memory>

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include "store/datamodule.h"

namespace emlo::testing {

// Records what the data module reports instead of showing it.
class RecordingReporter : public DataModuleReporter {
public:
    void ShowError(const QString& text, int helpTopic) override;
    void FatalStop() override;

    QStringList Errors;
    QList<int> HelpTopics;
    int FatalStops = 0;
};

// One pollutant of CONT.DBF; a null Limit stays blank.
struct ContRow {
    int ContId;
    QString Code;
    QString Descr;
    QVariant Limit;
};

// One emission record as stored: null values stay null.
struct DataRow {
    qint32 RecNo = 0;
    QVariant ContId;
    QVariant Poten;
    QVariant Fact;
};

class ProgramFolder {
public:
    // CONT.DBF holds the pollutants given; the other reference tables are empty.
    explicit ProgramFolder(const QList<ContRow>& pollutants = {});
    virtual ~ProgramFolder();
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    bool IsValid() const { return m_valid; }
    QString ProgramDir() const;  // with a trailing "/"
    QString WorkDir() const;     // with a trailing "/"
    QString OutDir() const;      // with a trailing "/", exists

    // Opens (or reopens) the tables; the work files are created when missing.
    TDataModule& Open();
    TDataModule& Data() { return *m_data; }
    void Close();
    const RecordingReporter& Reporter() const { return m_reporter; }

    // An attribute record with every field filled in: the check finds nothing.
    static QMap<QString, QVariant> FullAttr();
    // Writes the attribute record (inserted when the table holds none). A
    // field missing from the map is left blank; a null QVariant is blank.
    void WriteAttr(const QMap<QString, QVariant>& values);
    // Appends an emission record and returns its record number. Null values
    // are left blank; a record without pollutant, which the program's rules
    // never write, goes in past them (a file written elsewhere may hold one).
    qint32 AddData(const QVariant& contId, const QVariant& poten, const QVariant& fact);
    void SetAmounts(qint32 recNo, const QVariant& poten, const QVariant& fact);
    void DeleteData(qint32 recNo);
    // The visible emission records in the table's current order; the current
    // record is not moved.
    QList<DataRow> DataRows() const;

private:
    bool createReferenceTables(const QList<ContRow>& pollutants);

    QTemporaryDir m_root;
    RecordingReporter m_reporter;
    std::unique_ptr<TDataModule> m_data;
    bool m_valid = false;
};

// Sets a field, or clears it for an invalid or null value.
void SetOrClear(TField* field, const QVariant& value);

// The bytes of a file; empty when it cannot be read.
QByteArray ReadFile(const QString& path);
void WriteFile(const QString& path, const QByteArray& bytes);
// Names of the entries of a folder, sorted.
QStringList FolderEntries(const QString& folder);

}  // namespace emlo::testing
