#pragma once

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
class TExportReporter : public TDataModuleReporter {
public:
    void ShowError(const QString& text, int helpTopic) override;
    void FatalStop() override;

    QStringList Errors;
    int FatalStops = 0;
};

// One pollutant of CONT.DBF; a null Limit stays blank.
struct TContRow {
    int ContId;
    QString Code;
    QString Descr;
    QVariant Limit;
};

// A field of a table made for a test.
struct TFieldSpec {
    const char* Name;
    const char* Type;
    short Width;
    short Decimals;
};

// Creates an empty DBF through the table layer; false when the layer refuses.
bool CreateDbf(const QString& path, const QList<TFieldSpec>& fields);

// A fresh program folder with the six reference tables, a fresh working
// folder and an output folder, with the data module opened on them. Values
// are written through the table layer, as the program writes them.
class TExportFixture {
public:
    explicit TExportFixture(const QList<TContRow>& pollutants = {});
    ~TExportFixture();
    TExportFixture(const TExportFixture&) = delete;
    TExportFixture& operator=(const TExportFixture&) = delete;

    bool IsValid() const { return m_valid; }
    QString ProgramDir() const;  // with a trailing "/"
    QString WorkDir() const;     // with a trailing "/"
    QString OutDir() const;      // with a trailing "/", exists

    // Opens (or reopens) the tables; the work files are created when missing.
    TDataModule& Open();
    TDataModule& Data() { return *m_data; }
    void Close();
    const TExportReporter& Reporter() const { return m_reporter; }

    // An attribute record with every field filled in, so that the check passes.
    static QMap<QString, QVariant> FullAttr();
    // Writes the attribute record (inserted when the table holds none). A
    // field missing from the map, or null, is left blank.
    void WriteAttr(const QMap<QString, QVariant>& values);
    // Appends an emission record; null values are left blank.
    void AddData(const QVariant& contId, const QVariant& poten, const QVariant& fact);

private:
    bool createReferenceTables(const QList<TContRow>& pollutants);

    QTemporaryDir m_root;
    TExportReporter m_reporter;
    std::unique_ptr<TDataModule> m_data;
    bool m_valid = false;
};

// The bytes of a file; empty when it cannot be read.
QByteArray ReadFile(const QString& path);
void WriteFile(const QString& path, const QByteArray& bytes);

// The lines as the writer stores them: Windows-1251, CR LF after each.
QByteArray Cp1251Lines(const QStringList& lines);

// The field description block of data.xml, lines 1 to 13, as written with
// the program's settings.
QStringList DataXmlHead();

// Names of the entries of a folder, sorted.
QStringList FolderEntries(const QString& folder);

}  // namespace emlo::testing
