#pragma once

// Helpers for the table-layer tests: fixture tables made through the layer,
// raw access to their bytes, a second process that holds a lock, and the base
// of the test classes.

#include <functional>
#include <memory>

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <QVector>

#include "testsupport/testtables.h"

namespace emlo {
class TApolloEnv;
class TApolloTable;
}  // namespace emlo

namespace storetest {

// The tests' table helpers, under the names the store tests use.
using emlo::testing::appendRows;
using emlo::testing::catalogColumns;
using emlo::testing::Column;
using emlo::testing::createTable;

// The raw bytes of record recNo (deletion flag first) straight from the file.
QByteArray rawRecord(const QString& path, int recNo);
// The number of records the file header counts.
int headerRecordCount(const QString& path);
// Overwrites bytes of record recNo at offset (0 = deletion flag).
void pokeRecord(const QString& path, int recNo, int offset, const QByteArray& bytes);
// The file names of a folder, sorted.
QStringList filesIn(const QString& folder);

// CONTID N(5,0), POTEN N(18,7), FACT N(18,7): the emission table.
extern const QVector<Column> kDataLayout;
// CYID N(5,0), CODE C(10), DESCR C(100): the settlement list.
extern const QVector<Column> kCyLayout;

// The message of the exception the action raises; empty when it raises none.
QString errorOf(const std::function<void()>& action);
// The CONTID of every record the table shows, in its order.
QVector<int> contIdsInOrder(emlo::TApolloTable& table);

// Base of the table-layer test classes: one environment for the run, with
// deleted records hidden, and a fresh temporary folder for each test.
class TableTest : public QObject {
    Q_OBJECT
public:
    TableTest();
    ~TableTest() override;

private slots:
    void initTestCase();
    void init();

protected:
    QString path(const QString& name) const { return m_dir->path() + u'/' + name; }
    // DATA.DBF in the folder: a record for each id, POTEN 1.5 times the id, FACT blank.
    QString makeData(const QVector<int>& contIds);

    std::unique_ptr<emlo::TApolloEnv> m_env;
    std::unique_ptr<QTemporaryDir> m_dir;
};

// A child process (this test program started again) that opens a table and
// holds a lock on it until it is destroyed.
class LockHolder {
public:
    // FileAndAppend: the file lock and the header lock of an append in progress;
    // Exclusive: the table opened exclusively.
    enum Kind { Record, File, FileAndAppend, Exclusive };
    // Starts the child and waits until it holds the lock; false on failure.
    bool start(const QString& tablePath, Kind kind, int recNo = 1);
    ~LockHolder();

private:
    std::unique_ptr<QProcess> m_process;
};

// Call first in main(): when the program was started as a LockHolder child,
// runs it and returns true with the exit code in *exitCode.
bool runChildIfAsked(int argc, char** argv, int* exitCode);

}  // namespace storetest

// main() for a Qt Test class of the store tests: a child run, or the tests.
#define STORE_TEST_MAIN(TestClass)                                                                                     \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        int childExit = 0;                                                                                             \
        if (storetest::runChildIfAsked(argc, argv, &childExit))                                                        \
            return childExit;                                                                                          \
        QCoreApplication app(argc, argv);                                                                              \
        TestClass tc;                                                                                                  \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
