// TApolloTable over the real engine: moving through a table in index order
// past deleted records, the table's own index rebuilt when it is damaged,
// record numbers and bookmarks, and where a delete leaves the cursor.

#include <QtTest>

#include "store/apollotable.h"
#include "store/errors.h"
#include "store/tests/support/storetestsupport.h"

using namespace emlo;

using namespace storetest;

class TestTableCursor : public storetest::TableTest {
    Q_OBJECT

private slots:
    void navigationFollowsTheIndexAndHidesDeleted();
    void ownIndexIsRebuiltOtherFailuresReported_data();
    void ownIndexIsRebuiltOtherFailuresReported();
    void recNoAndBookmarkLandOnVisibleRecords();
    void deleteMovesToTheNextVisibleRecord();
};

void TestTableCursor::navigationFollowsTheIndexAndHidesDeleted()
{
    const QString file = makeData({30, 5, 132, 5, 18, 7});
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    table.Open();
    table.setRecNo(6);
    table.Delete();
    QCOMPARE(contIdsInOrder(table), (QVector<int>{30, 5, 132, 5, 18}));

    QVERIFY(table.Index(QStringLiteral("data.idx"), QStringLiteral("CONTID")) != 0);
    QCOMPARE(table.IndexName(), QStringLiteral("data.idx"));
    QVERIFY(QFileInfo::exists(path(QStringLiteral("data.idx"))));
    QCOMPARE(contIdsInOrder(table), (QVector<int>{5, 5, 18, 30, 132}));
    QCOMPARE(table.VisibleRecNos(), (QVector<qint32>{2, 4, 5, 1, 3}));

    table.First();
    QVERIFY(table.Bof());
    QVERIFY(!table.Eof());
    QCOMPARE(table.RecNo(), 2);
    QCOMPARE(table.MoveBy(2), 2);
    QCOMPARE(table.RecNo(), 5);
    QVERIFY(!table.Bof());
    table.Last();
    QCOMPARE(table.RecNo(), 3);
    QVERIFY(table.Eof());
    table.Next();  // past the end: the record stays the last one
    QVERIFY(table.Eof());
    QCOMPARE(table.RecNo(), 3);
    table.Prior();
    QCOMPARE(table.RecNo(), 1);
    QVERIFY(!table.Eof());
    QCOMPARE(table.MoveBy(-10), -3);
    QVERIFY(table.Bof());
    QCOMPARE(table.RecNo(), 2);

    // The grid's read does not disturb the current record.
    table.setRecNo(5);
    const TField* contId = table.FieldByName(QStringLiteral("CONTID"));
    QCOMPARE(table.FieldValueAt(3, contId), QVariant(132.0));
    QCOMPARE(table.FieldValueAt(99, contId), QVariant());
    table.Next();
    QCOMPARE(table.RecNo(), 1);

    table.IndexClose();
    QCOMPARE(table.IndexName(), QString());
    QCOMPARE(contIdsInOrder(table), (QVector<int>{30, 5, 132, 5, 18}));

    // A reopened table finds its index again through IndexOpen.
    table.Close();
    table.Open();
    QVERIFY(table.IndexOpen(path(QStringLiteral("data.idx"))) != 0);
    QCOMPARE(contIdsInOrder(table), (QVector<int>{5, 5, 18, 30, 132}));
}

// DATA.IDX beside DATA.DBF is the program's own index: whatever is wrong
// with it, the table comes up in CONTID order, never silently in record
// order. Any other index that cannot be used is reported.
void TestTableCursor::ownIndexIsRebuiltOtherFailuresReported_data()
{
    QTest::addColumn<QString>("index");  // the file opened
    QTest::addColumn<QByteArray>(
        "bytes");  // what it holds: "<missing>", "<good>", "<FACT>" (an index on that blank field)
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("keptAside");  // the damaged file is kept as <name>.bad
    QTest::addColumn<QString>("error");   // empty: opened in CONTID order

    const QByteArray garbage(1024, '\x01');
    const QByteArray text("not an index\n");
    const QString otherFailure = QStringLiteral("Неможливо відкрити індекс: %1\rФайл таблиці пошкоджено: %1");
    // clang-format off
    QTest::newRow("missing")                  << "data.idx" << QByteArray("<missing>") << false << false << QString();
    QTest::newRow("empty file")               << "data.idx" << QByteArray()            << false << true  << QString();
    QTest::newRow("cut inside the header")    << "data.idx" << QByteArray("<good>10")  << false << true  << QString();
    QTest::newRow("garbage")                  << "data.idx" << garbage                 << false << true  << QString();
    QTest::newRow("a text file")              << "data.idx" << text                    << false << true  << QString();
    QTest::newRow("index on another key")     << "data.idx" << QByteArray("<FACT>")     << false << false << QString();
    QTest::newRow("other case of the name")   << "DATA.IDX" << garbage                 << false << true  << QString();
    QTest::newRow("read-only: missing")       << "data.idx" << QByteArray("<missing>") << true  << false << QString();
    QTest::newRow("read-only: another key")   << "data.idx" << QByteArray("<FACT>")     << true  << false << QString();
    QTest::newRow("read-only: garbage")       << "data.idx" << garbage                 << true  << true  << QString();
    QTest::newRow("not ours: garbage")        << "other.idx" << garbage                << false << false << otherFailure;
    QTest::newRow("not ours: cut")            << "other.idx" << QByteArray("<good>10")  << false << false << otherFailure;
    // clang-format on
}

void TestTableCursor::ownIndexIsRebuiltOtherFailuresReported()
{
    QFETCH(QString, index);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, readOnly);
    QFETCH(bool, keptAside);
    QFETCH(QString, error);

    const QString file = makeData({30, 5, 132, 18});
    const QString idx = path(index);
    {
        TApolloTable maker(QStringLiteral("tblMaker"));
        maker.setTableName(file);
        maker.Open();
        const bool onFact = bytes == "<FACT>";
        QVERIFY(maker.Index(index, onFact ? QStringLiteral("FACT") : QStringLiteral("CONTID")) != 0);
        maker.Close();
        QFile f(idx);
        if (bytes == "<missing>") {
            QVERIFY(f.remove());
        } else if (bytes.startsWith("<good>")) {
            QVERIFY(f.resize(bytes.mid(6).toInt()));
        } else if (!onFact) {
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
        }
    }
    QByteArray original;
    if (QFile f(idx); f.open(QIODevice::ReadOnly))
        original = f.readAll();
    const QStringList filesBefore = filesIn(m_dir->path());

    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    table.setReadOnly(readOnly);
    table.Open();
    const QString raised = errorOf([&] { table.IndexOpen(idx); });
    QCOMPARE(raised, error.arg(idx));
    if (!error.isEmpty()) {
        // Nothing is changed: the table stays in record order, the file as it was.
        QCOMPARE(table.IndexName(), QString());
        QCOMPARE(contIdsInOrder(table), (QVector<int>{30, 5, 132, 18}));
        QCOMPARE(filesIn(m_dir->path()), filesBefore);
        return;
    }
    QCOMPARE(table.IndexName(), idx);
    QCOMPARE(contIdsInOrder(table), (QVector<int>{5, 18, 30, 132}));
    QFile aside(idx + QStringLiteral(".bad"));
    QCOMPARE(aside.exists(), keptAside);
    if (keptAside) {
        QVERIFY(aside.open(QIODevice::ReadOnly));
        QCOMPARE(aside.readAll(), original);
    }
    if (readOnly) {
        // Built in memory: no index file was written or changed.
        QCOMPARE(QFile::exists(idx), !keptAside && bytes != "<missing>");
        if (QFile f(idx); f.open(QIODevice::ReadOnly))
            QCOMPARE(f.readAll(), original);
        return;
    }
    // The new file serves the next opening as it is, and follows new records.
    table.Append();
    table.FieldByName(QStringLiteral("CONTID"))->setAsInteger(7);
    table.Post();
    table.Close();
    const QDateTime built = QFileInfo(idx).lastModified();
    TApolloTable again(QStringLiteral("tblAgain"));
    again.setTableName(file);
    again.Open();
    QVERIFY(again.IndexOpen(idx) != 0);
    QCOMPARE(contIdsInOrder(again), (QVector<int>{5, 7, 18, 30, 132}));
    QCOMPARE(QFileInfo(idx).lastModified(), built);
    QVERIFY(!QFile::exists(idx + QStringLiteral(".bad2")));
}

void TestTableCursor::recNoAndBookmarkLandOnVisibleRecords()
{
    const QString file = makeData({30, 5, 132, 18});
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    table.Open();
    table.Index(QStringLiteral("data.idx"), QStringLiteral("CONTID"));  // 5(2) 18(4) 30(1) 132(3)

    table.setRecNo(1);
    const TBookmark bookmark = table.Bookmark();
    QCOMPARE(bookmark, 1);
    QVERIFY(table.BookmarkValid(bookmark));
    table.Delete();  // record 1 (30) is gone
    QVERIFY(!table.BookmarkValid(bookmark));
    table.First();
    table.setBookmark(bookmark);  // lands on the next visible record in order
    QCOMPARE(table.FieldByName(QStringLiteral("CONTID"))->AsInteger(), 132);

    table.setRecNo(3);
    table.Delete();  // the last one in order
    table.First();
    table.setRecNo(3);
    QCOMPARE(table.RecNo(), 4);  // no next: the last visible record
    QCOMPARE(table.FieldByName(QStringLiteral("CONTID"))->AsInteger(), 18);
}

void TestTableCursor::deleteMovesToTheNextVisibleRecord()
{
    const QString file = makeData({30, 5, 18});
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    table.Open();
    table.Index(QStringLiteral("data.idx"), QStringLiteral("CONTID"));  // 5(2) 18(3) 30(1)
    const TField* contId = table.FieldByName(QStringLiteral("CONTID"));

    table.First();
    table.Next();
    table.Delete();  // 18: the next one is 30
    QCOMPARE(contId->AsInteger(), 30);
    table.Delete();  // 30 was the last: the new last one
    QCOMPARE(contId->AsInteger(), 5);
    QVERIFY(!table.IsEmpty());
    table.Delete();  // nothing left
    QVERIFY(table.IsEmpty());
    QVERIFY(table.Bof() && table.Eof());
    QCOMPARE(table.RecNo(), 0);
    // The records stay in the file, marked deleted.
    QCOMPARE(headerRecordCount(file), 3);
    for (int r = 1; r <= 3; ++r)
        QCOMPARE(rawRecord(file, r).at(0), '*');

    // A posted record grows the file even when it is deleted afterwards.
    table.Append();
    table.FieldByName(QStringLiteral("CONTID"))->setAsInteger(7);
    table.Post();
    QCOMPARE(headerRecordCount(file), 4);
    QCOMPARE(table.RecNo(), 4);
    table.Delete();
    QCOMPARE(headerRecordCount(file), 4);
    QVERIFY(table.IsEmpty());

    // Editing on an empty table starts a new record.
    table.Edit();
    QCOMPARE(table.State(), dsInsert);
    table.Cancel();
    QVERIFY(table.IsEmpty());
}

STORE_TEST_MAIN(TestTableCursor)

#include "tst_tablecursor.moc"
