// TApolloTable over the real engine: its files (names in any letter case,
// aliases) and what goes wrong with them: every error text, writes the medium
// refuses, a table cut short.

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <functional>

#include <QtTest>

#include "store/apollotable.h"
#include "store/errors.h"
#include "xbase/include/sde.h"
#include "store/tests/support/storetestsupport.h"

using namespace emlo;

using namespace storetest;

namespace {

// Makes this process's writes at or past `bytes` of any file fail (EFBIG,
// which the engine reports as a full disk) while it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limited = m_saved;
        limited.rlim_cur = bytes;
        m_ok = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &m_saved); }
    bool ok() const { return m_ok; }

private:
    rlimit m_saved{};
    bool m_ok = false;
};

}  // namespace

class TestTableFiles : public storetest::TableTest {
    Q_OBJECT

private slots:
    void everyErrorText();
    void fileNamesMatchWithoutLetterCase();
    void aliasesAreDerivedAndKeptUnique();
    void engineFailuresReachTheCallerInOurWords_data();
    void engineFailuresReachTheCallerInOurWords();
    void truncatedTableSaysHowManyRecordsAreMissing();
};

void TestTableFiles::everyErrorText()
{
    const QString data = makeData({30});
    const QString missing = path(QStringLiteral("NOSUCH.DBF"));
    const QString garbage = path(QStringLiteral("GARBAGE.DBF"));
    {
        QFile f(garbage);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("this is not a table");
    }
    const QChar cr(u'\r');

    TApolloTable open(QStringLiteral("tblOpen"));
    TApolloTable closed(QStringLiteral("tblClosed"));
    closed.setTableName(data);
    TApolloTable empty(QStringLiteral("tblEmpty"));
    const QString emptyFile = path(QStringLiteral("EMPTY.DBF"));
    createTable(emptyFile, kDataLayout);
    empty.setTableName(emptyFile);
    empty.Open();
    TApolloTable readOnly(QStringLiteral("tblReadOnly"));
    readOnly.setTableName(data);
    readOnly.setReadOnly(true);
    readOnly.Open();
    TApolloTable creating(QStringLiteral("tblCreate"));

    const struct {
        const char* name;
        std::function<void()> action;
        QString expected;
    } cases[] = {
        {"no table name", [&] { open.Open(); }, QStringLiteral("tblOpen : Missing TableName property")},
        {"missing file",
         [&] {
             open.setTableName(missing);
             open.Open();
         },
         QStringLiteral("Table does not exist.") + cr + QStringLiteral("File or directory does not exist.") + cr
             + QStringLiteral("File: ") + missing},
        {"not a table",
         [&] {
             open.setTableName(garbage);
             open.Open();
         },
         QStringLiteral("Unable to open table: ") + garbage + cr + QStringLiteral("Файл таблиці пошкоджено: ")
             + garbage},
        {"renaming an open table",
         [&] {
             open.setTableName(data);
             open.Open();
             open.setTableName(missing);
         },
         QStringLiteral("Cannot perform this operation on an open table")},
        {"index on a closed table", [&] { closed.Index(QStringLiteral("x.idx"), QStringLiteral("CONTID")); },
         QStringLiteral("Cannot perform this operation on a closed table")},
        {"index without a file name", [&] { open.Index(QString(), QStringLiteral("CONTID")); },
         QStringLiteral("Missing Parameter to Index Method: Index File Name")},
        {"index without an expression", [&] { open.Index(QStringLiteral("x.idx"), QString()); },
         QStringLiteral("Missing Parameter to Index or IndexTag Method: Index Expression")},
        {"invalid index expression", [&] { open.Index(QStringLiteral("x.idx"), QStringLiteral("CONTID +")); },
         QStringLiteral("Invalid index expression [CONTID +]")},
        {"missing index file", [&] { open.IndexOpen(path(QStringLiteral("none.idx"))); },
         QStringLiteral("Index file does not exist.") + cr + QStringLiteral("File: ")
             + path(QStringLiteral("none.idx"))},
        {"index opened on a closed table",
         [&] {
             open.Index(QStringLiteral("data.idx"), QStringLiteral("CONTID"));
             closed.IndexOpen(path(QStringLiteral("data.idx")));
         },
         QStringLiteral("Cannot perform this operation on a closed table")},
        {"field before CreateNew", [&] { creating.CreateField(QStringLiteral("A"), QStringLiteral("C"), 1, 0); },
         QStringLiteral("Must call CreateNew before CreateField")},
        {"exec before CreateNew", [&] { creating.CreateExec(); },
         QStringLiteral("Must call CreateNew before CreateExec")},
        {"field name with a digit first",
         [&] {
             creating.CreateNew(path(QStringLiteral("new.dbf")), 2, 1);
             creating.CreateField(QStringLiteral("1ABC"), QStringLiteral("C"), 1, 0);
         },
         QStringLiteral("Invalid field name. Field names must begin with a letter")},
        {"empty field name", [&] { creating.CreateField(QString(), QStringLiteral("C"), 1, 0); },
         QStringLiteral("Invalid field name. Field names must begin with a letter")},
        {"empty field type", [&] { creating.CreateField(QStringLiteral("A"), QString(), 1, 0); },
         QStringLiteral("Invalid field type")},
        {"zero width", [&] { creating.CreateField(QStringLiteral("A"), QStringLiteral("C"), 0, 0); },
         QStringLiteral("Invalid field length.")},
        {"invalid query", [&] { open.Query(QStringLiteral("CONTID +")); }, QStringLiteral("Invalid Query Expression")},
        {"delete on a read-only table", [&] { readOnly.Delete(); },
         QStringLiteral("Cannot modify a read-only data set")},
        {"delete on an empty table", [&] { empty.Delete(); },
         QStringLiteral("Cannot perform this operation on an empty table")},
        {"value out of bounds",
         [&] {
             open.Edit();
             open.FieldByName(QStringLiteral("CONTID"))->setAsInteger(123456);
             open.Post();
         },
         QStringLiteral("Translate error. Value out of bounds")},
    };
    for (const auto& c : cases) {
        const QString raised = errorOf(c.action);
        QVERIFY2(raised == c.expected, qPrintable(QStringLiteral("%1: got \"%2\"").arg(QLatin1String(c.name), raised)));
    }
    QCOMPARE(open.LastErrorText(), QStringLiteral("Translate error. Value out of bounds"));
    open.Cancel();
    QCOMPARE(rawRecord(data, 1).mid(1, 5), QByteArray("   30"));

    // Failures reported by result, not by exception.
    QCOMPARE(closed.Flock(), short(0));
    QCOMPARE(closed.Query(QStringLiteral("CONTID +")), short(0));
    closed.Unlock(0);
    QCOMPARE(creating.CreateNew(path(QStringLiteral("nofolder/x.dbf")), 2, 1), short(0));
}

void TestTableFiles::fileNamesMatchWithoutLetterCase()
{
    createTable(path(QStringLiteral("ATTR.DBF")), {{QStringLiteral("enname"), 'C', 10, 0}});
    appendRows(path(QStringLiteral("ATTR.DBF")), {{QStringLiteral("Завод")}});
    for (const QString& name : {u"attr.dbf"_qs, u"Attr.Dbf"_qs, u"attr"_qs}) {
        TApolloTable table(QStringLiteral("tblAttr"));
        table.setTableName(path(name));
        table.Open();
        QCOMPARE(table.FieldByName(QStringLiteral("ENNAME"))->AsString(), QStringLiteral("Завод"));
    }
    // A bare name is found in DatabaseName.
    TApolloTable bare(QStringLiteral("tblAttr"));
    bare.setDatabaseName(m_dir->path());
    bare.setTableName(QStringLiteral("Attr"));
    bare.Open();
    QVERIFY(bare.Active());
    bare.Close();

    // Creating "attr.dbf" means the existing ATTR.DBF: neither a second file
    // beside it nor a new one in its place (its record stays).
    TApolloTable creating(QStringLiteral("tblAttr"));
    QVERIFY(creating.CreateNew(path(QStringLiteral("attr.dbf")), 2, 1) != 0);
    creating.CreateField(QStringLiteral("enname"), QStringLiteral("C"), 20, 0);
    QCOMPARE(creating.CreateExec(), short(0));
    QCOMPARE(creating.LastErrorKind(), int(SX_ERR_EXISTS));
    QCOMPARE(creating.LastErrorText(), QStringLiteral("Файл уже існує: ") + path(QStringLiteral("ATTR.DBF")));
    QCOMPARE(filesIn(m_dir->path()), QStringList{u"ATTR.DBF"_qs});
    QCOMPARE(headerRecordCount(path(QStringLiteral("ATTR.DBF"))), 1);

    // A new file gets the spelling given; an index named in small letters
    // answers for the one already there in capitals.
    const QString data = path(QStringLiteral("data.dbf"));
    createTable(data, kDataLayout);
    QVERIFY(QFileInfo::exists(data));
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(data);
    table.Open();
    QVERIFY(table.Index(QStringLiteral("DATA.IDX"), QStringLiteral("CONTID")) != 0);
    QVERIFY(table.Index(QStringLiteral("data.idx"), QStringLiteral("CONTID")) != 0);
    table.IndexClose();
    QVERIFY(table.IndexOpen(path(QStringLiteral("Data.Idx"))) != 0);
    QCOMPARE(filesIn(m_dir->path()), (QStringList{u"ATTR.DBF"_qs, u"DATA.IDX"_qs, u"data.dbf"_qs}));
}

void TestTableFiles::aliasesAreDerivedAndKeptUnique()
{
    const QString data = makeData({1});
    const QString longName = path(QStringLiteral("verylongname.dbf"));
    const QString odd = path(QStringLiteral("x2-data.dbf"));
    QVERIFY(QFile::copy(data, longName));
    QVERIFY(QFile::copy(data, odd));
    TApolloTable a(QStringLiteral("a")), b(QStringLiteral("b")), c(QStringLiteral("c")), e(QStringLiteral("e")),
        f(QStringLiteral("f"));
    for (auto [table, file] : {std::pair{&a, data}, std::pair{&b, data}, std::pair{&c, longName},
                               std::pair{&e, longName}, std::pair{&f, odd}}) {
        table->setTableName(file);
        table->Open();
    }
    QCOMPARE(a.Alias(), QStringLiteral("DATA"));
    QCOMPARE(b.Alias(), QStringLiteral("DATA1"));
    QCOMPARE(c.Alias(), QStringLiteral("VERYLONG"));
    QCOMPARE(e.Alias(), QStringLiteral("VERYLON1"));
    QCOMPARE(f.Alias(), QStringLiteral("X__DATA"));
    // Each table keeps its own position although the engine has one current area.
    a.First();
    b.Append();
    b.FieldByName(QStringLiteral("CONTID"))->setAsInteger(2);
    b.Post();
    QCOMPARE(a.RecNo(), 1);
    QCOMPARE(b.RecNo(), 2);
}

// A write the medium refuses, or a lock another program holds, reaches the
// caller as the program's own words naming the file; nothing is half done.
void TestTableFiles::engineFailuresReachTheCallerInOurWords_data()
{
    QTest::addColumn<QString>("operation");  // append, edit, delete
    QTest::addColumn<QString>("cause");      // full disk, file lock
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("message");  // %1: the table's path

    const QString full = QStringLiteral("Недостатньо місця на диску для запису файлу: %1");
    QTest::newRow("append on a full disk") << "append"
                                           << "full disk" << int(SX_ERR_DISK_FULL) << full;
    QTest::newRow("edit on a full disk") << "edit"
                                         << "full disk" << int(SX_ERR_DISK_FULL) << full;
    QTest::newRow("delete on a full disk") << "delete"
                                           << "full disk" << int(SX_ERR_DISK_FULL) << full;
    QTest::newRow("append under another program's file lock")
        << "append"
        << "file lock" << int(SX_ERR_LOCKED) << "Таблицю заблокувала інша програма або інший користувач: %1";
}

void TestTableFiles::engineFailuresReachTheCallerInOurWords()
{
    QFETCH(QString, operation);
    QFETCH(QString, cause);
    QFETCH(int, kind);
    QFETCH(QString, message);

    const QString file = makeData({5, 18, 132});
    const QByteArray before = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    table.Open();
    table.setRecNo(2);
    if (operation == u"append") {
        table.Append();
        table.FieldByName(QStringLiteral("CONTID"))->setAsInteger(40);
    } else if (operation == u"edit") {
        table.Edit();
        table.FieldByName(QStringLiteral("POTEN"))->setAsFloat(9.5);
    }

    std::unique_ptr<FileSizeLimit> limit;
    LockHolder holder;
    if (cause == u"full disk") {
        // Appends fail at the end of the file, changes in place past the header.
        const qsizetype end = before.endsWith('\x1a') ? before.size() - 1 : before.size();
        limit = std::make_unique<FileSizeLimit>(operation == u"append" ? rlim_t(end) : rlim_t(100));
        QVERIFY(limit->ok());
    } else {
        QVERIFY(holder.start(file, LockHolder::File));
    }
    try {
        operation == u"delete" ? table.Delete() : table.Post();
        QFAIL("the failed write was reported as success");
    } catch (const EApolloError& e) {
        QCOMPARE(e.Message, message.arg(file));
        QCOMPARE(e.Kind, kind);
        QVERIFY(!e.Detail.isEmpty());
    }
    limit.reset();
    QCOMPARE(table.LastErrorText(), message.arg(file));
    QCOMPARE(table.LastErrorKind(), kind);
    // Nothing reached the file; the edit is still there to retry or give up.
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    QCOMPARE(table.State(), operation == u"append" ? dsInsert : operation == u"edit" ? dsEdit : dsBrowse);
    table.Cancel();
    QCOMPARE(table.RecNo(), 2);
    QCOMPARE(contIdsInOrder(table), (QVector<int>{5, 18, 132}));
}

// A table cut short by a copy is refused, and the message says how many
// records its header counts that the file no longer holds.
void TestTableFiles::truncatedTableSaysHowManyRecordsAreMissing()
{
    const QString file = makeData({1, 2, 3, 4, 5});
    const int header = 32 + 3 * 32 + 1;
    const int record = 1 + 5 + 18 + 18;
    QVERIFY(::truncate(QFile::encodeName(file).constData(), header + 2 * record + 10) == 0);
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    try {
        table.Open();
        QFAIL("a truncated table was opened without a word");
    } catch (const EApolloError& e) {
        QCOMPARE(e.Message,
                 QStringLiteral("Unable to open table: %1\rФайл таблиці коротший, ніж записано в його "
                                "заголовку: бракує 3 записів. Відновіть таблицю з резервної копії.")
                     .arg(file));
        QCOMPARE(e.Kind, int(SX_ERR_CORRUPT));
    }
    QVERIFY(!table.Active());
}

STORE_TEST_MAIN(TestTableFiles)

#include "tst_tablefiles.moc"
