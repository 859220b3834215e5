#pragma once

#include <memory>

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include "store/datamodule.h"

namespace emlo::testing {

// Records what the data module reports instead of showing it.
class TRecordingReporter : public TDataModuleReporter {
public:
    void ShowError(const QString& text, int helpTopic) override;
    void FatalStop() override;

    QStringList Errors;
    QList<int> HelpTopics;
    int FatalStops = 0;
};

// One emission record as stored: null values stay null.
struct TDataRow {
    qint32 RecNo = 0;
    QVariant ContId;
    QVariant Poten;
    QVariant Fact;
};

// A fresh program folder holding the six reference tables and a fresh working
// folder, with the data module opened on them. Values are written through the
// table layer, as the program writes them.
class TCheckFixture {
public:
    TCheckFixture();
    ~TCheckFixture();
    TCheckFixture(const TCheckFixture&) = delete;
    TCheckFixture& operator=(const TCheckFixture&) = delete;

    bool IsValid() const { return m_valid; }
    QString ProgramDir() const;  // with a trailing "/"
    QString WorkDir() const;     // with a trailing "/"

    // Opens (or reopens) the tables; the work files are created when missing.
    TDataModule& Open();
    TDataModule& Data() { return *m_data; }
    void Close();
    const TRecordingReporter& Reporter() const { return m_reporter; }

    // An attribute record with every field filled in.
    static QMap<QString, QVariant> FullAttr();
    // Writes the attribute record (inserted when the table holds none). A
    // field missing from the map is left blank; a null QVariant is blank.
    void WriteAttr(const QMap<QString, QVariant>& values);
    // Appends an emission record and returns its record number. Null values
    // are left blank.
    qint32 AddData(const QVariant& contId, const QVariant& poten, const QVariant& fact);
    void SetAmounts(qint32 recNo, const QVariant& poten, const QVariant& fact);
    void DeleteData(qint32 recNo);
    // The visible emission records in the table's current order; the current
    // record is not moved.
    QList<TDataRow> DataRows() const;

    // Loads a case folder: attr.txt ("FIELD=value" lines; no file: no
    // attribute record) and data.txt ("CONTID;POTEN;FACT[;*]" lines, an
    // empty value is blank, "*" marks the record deleted; "#" comments).
    void LoadCase(const QString& folder);

private:
    void createReferenceTables();

    QTemporaryDir m_program;
    QTemporaryDir m_work;
    TRecordingReporter m_reporter;
    std::unique_ptr<TDataModule> m_data;
    bool m_valid = false;
};

// A row as "CONTID;POTEN;FACT" with numbers in their shortest form and blanks
// for null: "132;3.75;0".
QString RowText(const TDataRow& row);

// Parses a number written with "." (never the locale's separator); an empty
// text gives null.
QVariant NumberOrNull(const QString& text);

}  // namespace emlo::testing
