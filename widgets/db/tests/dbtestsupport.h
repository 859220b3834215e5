#pragma once

// Tables for the data-aware control tests, made through the table layer in a
// fresh temporary folder: a record table, a reference list, and an emission
// table with look-up fields over a pollutant list.

#include <memory>

#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include "store/apolloenv.h"
#include "store/apollotable.h"
#include "store/datasource.h"

class QLineEdit;
class QWidget;

namespace emlo::testing {
class ScriptedDialogs;
}

namespace dbtest {

class Tables {
public:
    Tables();
    ~Tables();

    QString folder;
    emlo::TApolloEnv env;

    // NAME C(10), NUM N(2,0), AMT N(18,7), CODE C(5); starts empty.
    emlo::TApolloTable rec{QStringLiteral("tblRec")};
    emlo::TDataSource dsRec{QStringLiteral("dsRec")};
    // ID N(5,0), CODE C(5), DESCR C(30): twelve entries in code order.
    emlo::TApolloTable list{QStringLiteral("tblList")};
    emlo::TDataSource dsList{QStringLiteral("dsList")};
    // The pollutant list: CONTID 1, 2, 3 with CODE, DESCR, LIMIT.
    emlo::TApolloTable cont{QStringLiteral("tblCont")};
    emlo::TDataSource dsCont{QStringLiteral("dsCont")};
    // CONTID, POTEN, FACT and the look-up fields CODE, DESCR, LIMIT over cont.
    emlo::TApolloTable data{QStringLiteral("tblData")};
    emlo::TDataSource dsData{QStringLiteral("dsData")};

    // Appends a record to rec and posts it.
    void addRec(const QString& name, const QVariant& num);
    // Appends an emission record and posts it.
    void addData(int contId, const QVariant& poten, const QVariant& fact);
    // A field of a record of a table file read afresh (1-based record number).
    QString stored(const QString& file, int recNo, const QString& field) const;
    // Number of records of a table file that are not marked deleted.
    int liveRecords(const QString& file) const;

private:
    QTemporaryDir m_dir;
};

// Types text into a widget as key presses (any script, one key per character).
void typeText(QWidget* widget, const QString& text);

// Base of the control test classes: fresh tables for each test, the modal
// boxes answered, the beeps counted, and a window to put the control in.
class ControlTest : public QObject {
    Q_OBJECT
public:
    ControlTest();
    ~ControlTest() override;

private slots:
    void init();
    void cleanup();

protected:
    // A window holding the control under test and a second box to move the focus to.
    template <typename T> T* host(T* control)
    {
        showInWindow(control);
        return control;
    }
    void leaveControl();
    // A field of the current record, as the table holds it now.
    static QString field(emlo::TApolloTable& table, const char* name);

    std::unique_ptr<Tables> m_tables;
    std::unique_ptr<emlo::testing::ScriptedDialogs> m_dialogs;
    std::unique_ptr<QWidget> m_window;
    QLineEdit* m_other = nullptr;
    int m_beeps = 0;

private:
    void showInWindow(QWidget* control);
};

}  // namespace dbtest
