// The data module: the reference tables (their fields, sources and
// messages, opened read-only) and the indexes built when missing or damaged.

#include <fcntl.h>

#include <algorithm>

#include <QtTest>

#include "store/datamodule.h"
#include "store/tests/support/datamoduletest.h"
#include "store/tests/support/storetestsupport.h"

using namespace emlo;
using namespace storetest;

namespace {

// How this process has each file of a folder open: file name -> O_RDONLY,
// O_WRONLY or O_RDWR (the widest mode among its descriptors).
QMap<QString, int> openModesIn(const QString& folder)
{
    QMap<QString, int> modes;
    const QString canonical = QDir(folder).canonicalPath() + u'/';
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFileInfo(fds.filePath(fd)).symLinkTarget();
        if (!target.startsWith(canonical))
            continue;
        QFile info(QStringLiteral("/proc/self/fdinfo/") + fd);
        if (!info.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : info.readAll().split('\n')) {
            if (line.startsWith("flags:")) {
                const int mode = static_cast<int>(line.mid(6).trimmed().toUInt(nullptr, 8) & O_ACCMODE);
                const QString name = target.mid(canonical.size());
                modes[name] = std::max(modes.value(name, O_RDONLY), mode);
            }
        }
    }
    return modes;
}

const QString kReferenceHeading = QStringLiteral("Помилка відкриття робочих таблиць:");

}  // namespace

class TestReferenceTables : public DataModuleTest {
    Q_OBJECT

private slots:
    void referenceFieldsAndSources();
    void missingReferenceTableStopsTheProgram();
    void referenceTablesAreOpenedReadOnly();
    void missingDataIndexIsRebuiltInKeyOrder();
    void missingSettlementIndexIsBuilt();
    void damagedIndexesAreRebuiltAtOpening();
};

void TestReferenceTables::referenceFieldsAndSources()
{
    makeReferenceTables();
    openAll();
    QCOMPARE(m_dm->dsData->AutoEdit(), true);
    QCOMPARE(m_dm->dsAttr->AutoEdit(), true);
    QCOMPARE(m_dm->dsCont->AutoEdit(), true);
    for (TDataSource* ds : {m_dm->dsOW, m_dm->dsCY, m_dm->dsEA, m_dm->dsDP, m_dm->dsOBL})
        QVERIFY2(!ds->AutoEdit(), qPrintable(ds->Name()));
    QCOMPARE(m_dm->dsCY->DataSet(), m_dm->tblCY);

    QCOMPARE(m_dm->tblCY->FieldByName(QStringLiteral("CODE"))->DisplayLabel(),
             QStringLiteral("Назва населеного пункту|Код"));
    QCOMPARE(m_dm->tblCY->FieldByName(QStringLiteral("CODE"))->DisplayWidth(), 10);
    QCOMPARE(m_dm->tblCY->FieldByName(QStringLiteral("DESCR"))->DisplayWidth(), 80);
    QVERIFY(!m_dm->tblCY->FieldByName(QStringLiteral("CYID"))->Visible());
    QCOMPARE(m_dm->tblDP->FieldByName(QStringLiteral("CODE"))->DisplayLabel(),
             QStringLiteral("Вiдомча пiдпорядкованiсть|Код"));
    QCOMPARE(m_dm->tblEA->FieldByName(QStringLiteral("DESCR"))->DisplayLabel(),
             QStringLiteral("Вид экономической деятельности|описание"));
    QCOMPARE(m_dm->tblOW->FieldByName(QStringLiteral("DESCR"))->DisplayWidth(), 50);
    QCOMPARE(m_dm->tblOBL->FieldByName(QStringLiteral("DESCR"))->DisplayLabel(), QStringLiteral("Назва областi"));
    QVERIFY(m_dm->tblOBL->FieldByName(QStringLiteral("OBLID"))->Visible());
    QCOMPARE(m_dm->tblCont->FieldByName(QStringLiteral("LIMIT"))->DisplayLabel(),
             QStringLiteral("Пороговi значення викидiв, тонн/рiк"));

    // The attribute table has the file's own fields.
    TApolloTable& attr = *m_dm->tblAttr;
    QCOMPARE(attr.FieldCount(), 24);
    QCOMPARE(attr.Fields(0)->FieldName(), QStringLiteral("ENNAME"));
    QCOMPARE(attr.FieldByName(QStringLiteral("obl_id"))->ClassName(), QStringLiteral("TFloatField"));
    QCOMPARE(attr.FieldByName(QStringLiteral("x1"))->ClassName(), QStringLiteral("TSmallintField"));
    QCOMPARE(attr.FieldByName(QStringLiteral("KFV_ID"))->Size(), 2);
    QCOMPARE(attr.Fields(23)->FieldName(), QStringLiteral("Y3"));

    // The reference tables were found in the program folder, the current one now.
    QCOMPARE(QDir::currentPath(), QDir(m_program->path()).canonicalPath());
    QCOMPARE(m_dm->tblCY->Lookup(QStringLiteral("CODE"), QStringLiteral("1210100000"), QStringLiteral("DESCR")),
             QVariant(QStringLiteral("Дніпро")));
}

void TestReferenceTables::missingReferenceTableStopsTheProgram()
{
    makeReferenceTables({QStringLiteral("OW.DBF")});
    openAll();
    QCOMPARE(
        m_reporter.calls,
        (QStringList{u"20002|"_qs + kReferenceHeading + u"\r\n"_qs + u"неможливо відкрити довідник форм власності"_qs,
                     u"FatalStop"_qs}));
    QVERIFY(m_dm->tblCont->Active());
    for (TApolloTable* t : {m_dm->tblOW, m_dm->tblDP, m_dm->tblEA, m_dm->tblOBL, m_dm->tblCY})
        QVERIFY2(!t->Active(), qPrintable(t->Name()));
    QVERIFY(!QFileInfo::exists(program(QStringLiteral("cy.idx"))));
    // The work tables are still opened (and created).
    QVERIFY(m_dm->tblData->Active());
    QVERIFY(m_dm->tblAttr->Active());

    // Each reference table has its own message.
    const QStringList files = {u"CONT.DBF"_qs, u"DP.DBF"_qs, u"EA.DBF"_qs, u"OBL.DBF"_qs, u"CY.DBF"_qs};
    const QStringList messages = {u"неможливо відкрити довідник речовин"_qs, u"неможливо відкрити довідник відомств"_qs,
                                  u"неможливо відкрити довідник видів діяльності"_qs,
                                  u"неможливо відкрити довідник областей"_qs,
                                  u"неможливо відкрити довідник населених пунктів"_qs};
    for (int i = 0; i < files.size(); ++i) {
        startAgain();
        makeReferenceTables({files.at(i)});
        m_dm->OpenReferenceTables();
        QCOMPARE(m_reporter.calls.value(0), u"20002|"_qs + kReferenceHeading + u"\r\n"_qs + messages.at(i));
    }
}

// The program never writes its reference tables: an installed program folder
// that the user cannot write must open them all the same.
void TestReferenceTables::referenceTablesAreOpenedReadOnly()
{
    makeReferenceTables();
    openAll();
    QCOMPARE(m_reporter.calls, QStringList());
    for (TApolloTable* t : {m_dm->tblCont, m_dm->tblOW, m_dm->tblCY, m_dm->tblEA, m_dm->tblDP, m_dm->tblOBL})
        QVERIFY2(t->Active() && t->ReadOnly(), qPrintable(t->Name()));
    const QMap<QString, int> modes = openModesIn(m_program->path());
    for (const QString& file :
         {u"CONT.DBF"_qs, u"OW.DBF"_qs, u"DP.DBF"_qs, u"EA.DBF"_qs, u"OBL.DBF"_qs, u"CY.DBF"_qs}) {
        QVERIFY2(modes.contains(file), qPrintable(file));
        QVERIFY2(modes.value(file) == O_RDONLY, qPrintable(file));
    }
    // The built settlement index is in use, and the work tables stay writable.
    QVERIFY(QFileInfo::exists(program(QStringLiteral("cy.idx"))));
    QCOMPARE(m_dm->tblCY->IndexName(), program(QStringLiteral("cy.idx")));
    QCOMPARE(openModesIn(m_work->path()).value(u"data.dbf"_qs), O_RDWR);
    QVERIFY(!m_dm->tblData->ReadOnly());
}

void TestReferenceTables::missingDataIndexIsRebuiltInKeyOrder()
{
    makeReferenceTables();
    createTable(work(QStringLiteral("DATA.DBF")),
                {{QStringLiteral("CONTID"), 'N', 5, 0},
                 {QStringLiteral("POTEN"), 'N', 18, 7},
                 {QStringLiteral("FACT"), 'N', 18, 7}});
    appendRows(work(QStringLiteral("DATA.DBF")), {{132, 1.0, 1.0}, {5, 2.0, 2.0}, {40, 3.0, 3.0}, {5, 4.0, 4.0}});
    openAll();
    QCOMPARE(m_reporter.calls, QStringList());
    QCOMPARE(filesIn(m_work->path()), (QStringList{u"DATA.DBF"_qs, u"attr.dbf"_qs, u"data.idx"_qs}));
    QCOMPARE(contIdsInOrder(*m_dm->tblData), (QVector<int>{5, 5, 40, 132}));
    // The new index stays up to date.
    m_dm->tblData->Append();
    m_dm->tblDataCONTID->setAsInteger(18);
    m_dm->tblData->Post();
    QCOMPARE(contIdsInOrder(*m_dm->tblData), (QVector<int>{5, 5, 18, 40, 132}));
}

void TestReferenceTables::missingSettlementIndexIsBuilt()
{
    makeReferenceTables();
    m_dm->OpenReferenceTables();
    QCOMPARE(m_reporter.calls, QStringList());
    QVERIFY(QFileInfo::exists(program(QStringLiteral("cy.idx"))));
    QStringList codes;
    TApolloTable& cy = *m_dm->tblCY;
    for (cy.First(); !cy.Eof(); cy.Next())
        codes << cy.FieldByName(QStringLiteral("CODE"))->AsString();
    QCOMPARE(codes, (QStringList{u"0510100000"_qs, u"1200000000"_qs, u"1210100000"_qs}));

    // Next time the index file is opened, not built.
    const QDateTime built = QFileInfo(program(QStringLiteral("cy.idx"))).lastModified();
    m_dm.reset();
    m_dm = std::make_unique<TDataModule>(&m_reporter);
    m_dm->ProgramPath = m_program->path() + u'/';
    m_dm->OpenReferenceTables();
    QCOMPARE(QFileInfo(program(QStringLiteral("cy.idx"))).lastModified(), built);
    QCOMPARE(m_dm->tblCY->IndexName(), program(QStringLiteral("cy.idx")));
}

// Index files that cannot be read (a copy cut short, a file saved over
// them) are rebuilt on their known keys; the program never works on in
// record order without a word. CY is read-only: its order is built in memory.
void TestReferenceTables::damagedIndexesAreRebuiltAtOpening()
{
    makeReferenceTables();
    const QString data = work(QStringLiteral("data.dbf"));
    createTable(data, catalogColumns("DATA"));
    appendRows(data, {{132, 1.0, 1.0}, {5, 2.0, 2.0}, {40, 3.0, 3.0}});
    for (const QString& idx : {work(QStringLiteral("data.idx")), program(QStringLiteral("cy.idx"))}) {
        QFile file(idx);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not an index");
    }
    openAll();
    QCOMPARE(m_reporter.calls, QStringList());
    QCOMPARE(contIdsInOrder(*m_dm->tblData), (QVector<int>{5, 40, 132}));
    QCOMPARE(m_dm->tblData->IndexName(), work(QStringLiteral("data.idx")));
    QStringList codes;
    TApolloTable& cy = *m_dm->tblCY;
    for (cy.First(); !cy.Eof(); cy.Next())
        codes << cy.FieldByName(QStringLiteral("CODE"))->AsString();
    QCOMPARE(codes, (QStringList{u"0510100000"_qs, u"1200000000"_qs, u"1210100000"_qs}));
    QVERIFY(filesIn(m_work->path()).contains(u"data.idx.bad"_qs));
    QVERIFY(filesIn(m_program->path()).contains(u"cy.idx.bad"_qs));

    // The next start builds the missing CY.IDX as a file.
    m_dm.reset();
    m_dm = std::make_unique<TDataModule>(&m_reporter);
    m_dm->ProgramPath = m_program->path() + u'/';
    m_dm->WorkPath = m_work->path() + u'/';
    openAll();
    QCOMPARE(m_reporter.calls, QStringList());
    QVERIFY(QFileInfo::exists(program(QStringLiteral("cy.idx"))));
    QCOMPARE(contIdsInOrder(*m_dm->tblData), (QVector<int>{5, 40, 132}));
}

STORE_TEST_MAIN(TestReferenceTables)

#include "tst_referencetables.moc"
