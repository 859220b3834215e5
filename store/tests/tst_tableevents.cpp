// TApolloTable over the real engine: its events in order, an abort that says
// nothing, every listener kept, and the data links that hand in a typed value
// before the record is encoded.

#include <QtTest>

#include "store/apollotable.h"
#include "store/datasource.h"
#include "store/errors.h"
#include "store/tests/support/storetestsupport.h"

using namespace emlo;

using namespace storetest;

namespace {

// A bound control: holds a typed text until the table asks for it.
class FakeEdit : public TDataLink {
public:
    QString pending;
    QStringList log;
    bool sawUpdating = false;

protected:
    void ActiveChanged() override { log << QStringLiteral("Active"); }
    void EditingChanged() override { log << QStringLiteral("Editing"); }
    void RecordChanged(TField* field) override
    {
        log << (field ? QStringLiteral("Field:") + field->FieldName() : QStringLiteral("Record"));
    }
    void UpdateData() override
    {
        sawUpdating = Updating();
        if (!pending.isEmpty()) {
            DataSet()->FieldByName(QStringLiteral("POTEN"))->setAsString(pending);
            pending.clear();
        }
    }
};

}  // namespace

class TestTableEvents : public storetest::TableTest {
    Q_OBJECT

private slots:
    void eventsInOrderAndSilentAbort();
    void eventsKeepEveryListener();
    void dataLinksCommitBeforeTheRecordIsEncoded();
};

void TestTableEvents::eventsInOrderAndSilentAbort()
{
    const QString file = makeData({30});
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    TDataSource source(QStringLiteral("dsData"));
    source.setDataSet(&table);
    QStringList log;
    const auto logger = [&log](const char* name) {
        return [&log, name](TApolloTable&) { log << QLatin1String(name); };
    };
    table.BeforeInsert.add(logger("BeforeInsert"));
    table.AfterInsert.add(logger("AfterInsert"));
    table.BeforeEdit.add(logger("BeforeEdit"));
    table.AfterEdit.add(logger("AfterEdit"));
    table.AfterPost.add(logger("AfterPost"));
    table.BeforeCancel.add(logger("BeforeCancel"));
    table.AfterCancel.add(logger("AfterCancel"));
    table.BeforeScroll.add(logger("BeforeScroll"));
    table.AfterScroll.add(logger("AfterScroll"));
    source.OnStateChange.add([&log](TDataSource& s) { log << QStringLiteral("State%1").arg(s.State()); });
    table.OnNewRecord.add([&log](TApolloTable& t) {
        log << QStringLiteral("OnNewRecord");
        t.FieldByName(QStringLiteral("CONTID"))->setAsInteger(1);
    });
    table.BeforePost.add([&log](TApolloTable& t) {
        log << QStringLiteral("BeforePost");
        if (t.FieldByName(QStringLiteral("CONTID"))->IsNull())
            Abort();
    });
    table.Open();
    log.clear();

    table.Insert();
    QCOMPARE(log,
             (QStringList{u"BeforeInsert"_qs, u"BeforeScroll"_qs, u"State3"_qs, u"OnNewRecord"_qs, u"AfterInsert"_qs,
                          u"AfterScroll"_qs}));
    QVERIFY(!table.Modified());  // the new record's defaults are no change of the user's
    log.clear();
    table.Next();  // an untouched new record is given up by a move
    QCOMPARE(table.State(), dsBrowse);
    QCOMPARE(headerRecordCount(file), 1);
    QCOMPARE(log.first(), QStringLiteral("BeforeCancel"));

    table.Insert();
    table.FieldByName(QStringLiteral("CONTID"))->Clear();
    log.clear();
    bool aborted = false;
    try {
        table.Post();
    } catch (const EAbort&) {
        aborted = true;
    }
    QVERIFY(aborted);
    QCOMPARE(log, QStringList{u"BeforePost"_qs});
    QCOMPARE(table.State(), dsInsert);
    QCOMPARE(headerRecordCount(file), 1);
    // A move that would post the changed record is refused too.
    QVERIFY_THROWS_EXCEPTION(EAbort, table.First());
    QCOMPARE(table.State(), dsInsert);

    table.FieldByName(QStringLiteral("CONTID"))->setAsInteger(5);
    log.clear();
    table.Post();
    QCOMPARE(log, (QStringList{u"BeforePost"_qs, u"State1"_qs, u"AfterPost"_qs}));
    QCOMPARE(headerRecordCount(file), 2);
    QCOMPARE(table.RecNo(), 2);

    log.clear();
    table.Edit();
    table.Cancel();
    QCOMPARE(log,
             (QStringList{u"BeforeEdit"_qs, u"State2"_qs, u"AfterEdit"_qs, u"BeforeCancel"_qs, u"State1"_qs,
                          u"AfterCancel"_qs}));
}

// A second listener never replaces the first: the data module's rules and
// a window's or a test's handler run side by side, in the order added.
void TestTableEvents::eventsKeepEveryListener()
{
    const QString file = makeData({30});
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    QStringList log;
    const int rule = table.BeforePost.add([&log](TApolloTable& t) {
        log << QStringLiteral("rule");
        if (t.FieldByName(QStringLiteral("CONTID"))->IsNull())
            Abort();
    });
    table.BeforePost.add([&log](TApolloTable&) { log << QStringLiteral("window"); });
    int selfRemoving = 0;
    selfRemoving = table.AfterPost.add([&](TApolloTable& t) {
        log << QStringLiteral("once");
        t.AfterPost.remove(selfRemoving);
    });
    table.AfterPost.add([&log](TApolloTable&) { log << QStringLiteral("after"); });
    QCOMPARE(table.BeforePost.listenerCount(), 2);
    table.Open();

    // A listener that aborts ends the event: the ones after it are not called.
    table.Insert();
    QVERIFY_THROWS_EXCEPTION(EAbort, table.Post());
    QCOMPARE(log, QStringList{u"rule"_qs});
    QCOMPARE(table.State(), dsInsert);

    // A listener removing itself mid-event: the others of that event still run.
    log.clear();
    table.FieldByName(QStringLiteral("CONTID"))->setAsInteger(5);
    table.Post();
    QCOMPARE(log, (QStringList{u"rule"_qs, u"window"_qs, u"once"_qs, u"after"_qs}));
    QCOMPARE(table.AfterPost.listenerCount(), 1);

    log.clear();
    table.BeforePost.remove(rule);
    table.Edit();
    table.Post();
    QCOMPARE(log, (QStringList{u"window"_qs, u"after"_qs}));

    // A field's validation the same way: a refusal by the first ends it and
    // the field keeps its value.
    TField* contId = table.FieldByName(QStringLiteral("CONTID"));
    contId->OnValidate.add([&log](TField& f) {
        log << QStringLiteral("rule");
        if (f.AsInteger() > 100)
            throw EDatabaseError(QStringLiteral("too big"));
    });
    contId->OnValidate.add([&log](TField&) { log << QStringLiteral("window"); });
    log.clear();
    table.Edit();
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, contId->setAsInteger(500));
    QCOMPARE(contId->AsInteger(), 5);
    contId->setAsInteger(7);
    QCOMPARE(log, (QStringList{u"rule"_qs, u"rule"_qs, u"window"_qs}));
    table.Cancel();
}

void TestTableEvents::dataLinksCommitBeforeTheRecordIsEncoded()
{
    const QString file = path(QStringLiteral("DATA.DBF"));
    createTable(file, kDataLayout);
    TApolloTable table(QStringLiteral("tblData"));
    table.setTableName(file);
    TDataSource source(QStringLiteral("dsData"));
    source.setDataSet(&table);
    FakeEdit edit;
    edit.setDataSource(&source);
    table.Open();
    QCOMPARE(edit.log.first(), QStringLiteral("Active"));

    // The first change through a control on an empty table starts a record.
    source.setAutoEdit(false);
    QVERIFY(!edit.Edit());
    QCOMPARE(table.State(), dsBrowse);
    source.setAutoEdit(true);
    QVERIFY(edit.Edit());
    QCOMPARE(table.State(), dsInsert);
    table.FieldByName(QStringLiteral("CONTID"))->setAsInteger(5);
    edit.pending = QStringLiteral("12");
    edit.log.clear();
    table.Post();
    QVERIFY(edit.sawUpdating);
    QCOMPARE(rawRecord(file, 1).mid(6, 18), QByteArray("        12.0000000"));
    QVERIFY(edit.log.contains(QStringLiteral("Field:POTEN")));
    QVERIFY(edit.log.contains(QStringLiteral("Editing")));
    QVERIFY(!edit.Editing());

    // A move commits the control too, and posts the change.
    edit.Edit();
    edit.pending = QStringLiteral("3");
    table.First();
    QCOMPARE(table.State(), dsBrowse);
    QCOMPARE(rawRecord(file, 1).mid(6, 18), QByteArray("         3.0000000"));

    table.Close();
    QCOMPARE(edit.log.last(), QStringLiteral("Active"));
    QVERIFY(!edit.Active());
}

STORE_TEST_MAIN(TestTableEvents)

#include "tst_tableevents.moc"
