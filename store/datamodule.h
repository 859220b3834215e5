#pragma once

// TDataModule: the program's one set of tables. The eight table components
// with their defined fields and data sources, the engine settings, and the
// procedures that open the reference tables (program folder) and the work
// tables (working folder), creating missing work files and indexes. The main
// window owns one, the command-line program owns one; failures go through a
// DataModuleReporter so that each shows them its own way.

#include <QObject>
#include <QString>

#include "apolloenv.h"
#include "apollotable.h"
#include "datasource.h"

namespace emlo {

class DataModuleReporter {
public:
    virtual ~DataModuleReporter() = default;
    // An error box: error icon, buttons OK and Help (helpTopic). The text is
    // complete: heading, CR LF, error text.
    virtual void ShowError(const QString& text, int helpTopic) = 0;
    // "Подальша робота програми неможлива." and a request to end the program;
    // must return (the caller finishes its remaining steps).
    virtual void FatalStop() = 0;
};

class TDataModule : public QObject {
    Q_OBJECT
public:
    // The reporter must outlive the module (it may be changed later).
    explicit TDataModule(DataModuleReporter* reporter, QObject* parent = nullptr);
    ~TDataModule() override;

    void setReporter(DataModuleReporter* reporter) { m_reporter = reporter; }

    // Folder of the program (reference tables, CY.IDX), with a trailing "/".
    QString ProgramPath;
    // The working folder (ATTR.DBF, DATA.DBF, DATA.IDX), with a trailing "/".
    QString WorkPath;
    // The attribute record holds an edit or insert not yet posted. Kept by
    // the module's own listeners of tblAttr (AfterEdit, AfterInsert set it,
    // AfterPost clears it), whoever edits the record.
    bool AttrModified = false;

    // Posts the attribute record when it holds an unposted edit; errors of
    // the table layer pass through and leave the edit pending. AttrModified
    // stays set only while the record is still in editing afterwards.
    void PostPendingAttr();

    // Makes ProgramPath the current folder (EInOutError when it cannot), then
    // opens CONT, OW, DP, EA, OBL, CY and CY.IDX (built when missing).
    // Reports its own failures (heading "Помилка відкриття робочих таблиць:").
    void OpenReferenceTables();
    // Posts a pending attribute edit (PostPendingAttr; an error there reaches the caller), then
    // closes and reopens tblData and tblAttr on the files of WorkPath,
    // creating what is missing (see CreateMissingWorkFiles); something of a
    // table's name that is not a readable table (a link that leads nowhere,
    // a folder) is reported, never replaced. Reports its own failures.
    void OpenWorkTables();
    // Whether OpenWorkTables creates missing ATTR.DBF and DATA.DBF (the
    // window, for a new working folder). Off, their absence is a failure:
    // a command-line run must not hand on an empty table in place of one
    // that went missing. A missing DATA.IDX is always rebuilt.
    bool CreateMissingWorkFiles = true;
    // key: "data", "attr", "data_idx" or "cy_idx". Reports its own failures and returns.
    void CreateTable(const QString& key);

    // Components, in the order the program creates them; owned by the module.
    TApolloTable* tblData = nullptr;
    TApolloTable* tblAttr = nullptr;
    TApolloTable* tblCont = nullptr;
    TApolloTable* tblOW = nullptr;
    TApolloTable* tblCY = nullptr;
    TApolloTable* tblEA = nullptr;
    TApolloTable* tblDP = nullptr;
    TApolloTable* tblOBL = nullptr;
    TDataSource* dsData = nullptr;
    TDataSource* dsAttr = nullptr;
    TDataSource* dsCont = nullptr;
    TDataSource* dsOW = nullptr;
    TDataSource* dsCY = nullptr;
    TDataSource* dsEA = nullptr;
    TDataSource* dsDP = nullptr;
    TDataSource* dsOBL = nullptr;
    TApolloEnv* ApolloEnv = nullptr;

    // Defined fields of tblData, in column order.
    TFloatField* tblDataCONTID = nullptr;
    TField* tblDataCODE = nullptr;
    TField* tblDataDESCR = nullptr;
    TFloatField* tblDataPOTEN = nullptr;
    TFloatField* tblDataFACT = nullptr;
    TField* tblDataLIMIT = nullptr;

private:
    void defineFields();
    void requireWorkFiles();
    void reportFailure(const QString& heading, const QString& text, int helpTopic);

    DataModuleReporter* m_reporter;
};

}  // namespace emlo
