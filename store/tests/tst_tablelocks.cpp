// TApolloTable over the real engine, beside other users of its file: record
// and file locks held by another table or another process, and what others
// wrote shown on a refresh.

#include <QtTest>

#include "store/apollotable.h"
#include "store/errors.h"
#include "xbase/include/sde.h"
#include "store/tests/support/storetestsupport.h"

using namespace emlo;

using namespace storetest;

class TestTableLocks : public storetest::TableTest {
    Q_OBJECT

private slots:
    void editLockBetweenTwoTablesOnOneFile();
    void editLockHeldByAnotherProcess();
    void openBesideAnotherProgramsLocks_data();
    void openBesideAnotherProgramsLocks();
    void fileLockOutlivesThePostsMadeUnderIt();
    void refreshShowsWhatOthersWrote();
};

void TestTableLocks::editLockBetweenTwoTablesOnOneFile()
{
    const QString file = makeData({30, 5});
    TApolloTable first(QStringLiteral("tblFirst"));
    TApolloTable second(QStringLiteral("tblSecond"));
    first.setTableName(file);
    second.setTableName(file);
    first.Open();
    second.Open();

    first.Edit();
    first.FieldByName(QStringLiteral("POTEN"))->setAsFloat(99.0);
    const QString lockFailure = QStringLiteral("Record Lock Failure. May be locked by another user or task.");
    QCOMPARE(errorOf([&] { second.Edit(); }), lockFailure);
    QCOMPARE(second.State(), dsBrowse);
    QCOMPARE(second.LastErrorText(), lockFailure);
    // Another record is free.
    second.Next();
    second.Edit();
    second.Cancel();
    second.First();

    first.Post();
    second.Edit();  // the post released the lock; editing starts from the stored values
    QCOMPARE(second.FieldByName(QStringLiteral("POTEN"))->AsFloat(), 99.0);
    second.Cancel();
}

void TestTableLocks::editLockHeldByAnotherProcess()
{
    const QString file = makeData({30, 5});
    LockHolder holder;
    QVERIFY(holder.start(file, LockHolder::Record, 1));
    const QByteArray before = rawRecord(file, 1);

    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    table.Open();
    const QString lockFailure = QStringLiteral("Record Lock Failure. May be locked by another user or task.");
    QCOMPARE(errorOf([&] { table.Edit(); }), lockFailure);
    QCOMPARE(table.State(), dsBrowse);
    // Nor can it be deleted under its editor.
    QCOMPARE(errorOf([&] { table.Delete(); }), lockFailure);
    QCOMPARE(rawRecord(file, 1), before);
    QCOMPARE(table.Flock(), short(0));
    table.Next();
    table.Edit();  // the other record is free
    table.Cancel();
}

// Another program's passing locks (a record being edited, its whole-file lock
// with an append under it) never keep the table from opening; only its
// exclusive use does, and that is said at once.
void TestTableLocks::openBesideAnotherProgramsLocks_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("opens");
    QTest::newRow("record lock") << int(LockHolder::Record) << true;
    QTest::newRow("file lock") << int(LockHolder::File) << true;
    QTest::newRow("file lock and an append") << int(LockHolder::FileAndAppend) << true;
    QTest::newRow("exclusive use") << int(LockHolder::Exclusive) << false;
}

void TestTableLocks::openBesideAnotherProgramsLocks()
{
    QFETCH(int, kind);
    QFETCH(bool, opens);
    const QString file = makeData({30, 5});
    LockHolder holder;
    QVERIFY(holder.start(file, LockHolder::Kind(kind)));
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    if (opens) {
        table.Open();
        table.setRecNo(1);
        QCOMPARE(table.FieldByName(QStringLiteral("CONTID"))->AsInteger(), 30);
        return;
    }
    try {
        table.Open();
        QFAIL("opened a table another program uses exclusively");
    } catch (const EApolloError& e) {
        QCOMPARE(e.Kind, int(SX_ERR_LOCKED));
        QCOMPARE(e.Message,
                 QStringLiteral("Unable to open table: %1\rТаблицю заблокувала інша програма або інший "
                                "користувач: %1")
                     .arg(file));
    }
    QVERIFY(!table.Active());
}

// Post, Cancel and Delete give up their record's lock, never a file lock
// the table holds for a longer pass (the group totals).
void TestTableLocks::fileLockOutlivesThePostsMadeUnderIt()
{
    const QString file = makeData({5, 18});
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    table.Open();
    TApolloTable other(QStringLiteral("tblOther"));
    other.setTableName(file);
    other.Open();
    QVERIFY(table.Flock() != 0);
    table.Append();
    table.FieldByName(QStringLiteral("CONTID"))->setAsInteger(40);
    table.Post();
    table.Edit();
    table.FieldByName(QStringLiteral("FACT"))->setAsFloat(1.0);
    table.Post();
    table.Edit();
    table.Cancel();
    table.Delete();
    QVERIFY(table.FileLocked());
    QCOMPARE(other.Flock(), short(0));
    table.Unlock(0);
    QVERIFY(!table.FileLocked());
    QVERIFY(other.Flock() != 0);
    other.Unlock(0);
}

void TestTableLocks::refreshShowsWhatOthersWrote()
{
    const QString file = makeData({30, 5});
    TApolloTable reader(QStringLiteral("tblReader"));
    reader.setTableName(file);
    reader.Open();
    reader.Query(QStringLiteral("CONTID = 5"));
    QCOMPARE(reader.VisibleRecNos(), QVector<qint32>{2});

    TApolloTable writer(QStringLiteral("tblWriter"));
    writer.setTableName(file);
    writer.Open();
    writer.Append();
    writer.FieldByName(QStringLiteral("CONTID"))->setAsInteger(5);
    writer.Post();
    writer.First();
    writer.Next();
    writer.Edit();
    writer.FieldByName(QStringLiteral("POTEN"))->setAsFloat(42.0);
    writer.Post();

    reader.Refresh();
    QCOMPARE(reader.VisibleRecNos(), (QVector<qint32>{2, 3}));
    QCOMPARE(reader.RecNo(), 2);
    QCOMPARE(reader.FieldByName(QStringLiteral("POTEN"))->AsFloat(), 42.0);
}

STORE_TEST_MAIN(TestTableLocks)

#include "tst_tablelocks.moc"
