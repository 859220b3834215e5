// The data module: its defined fields, and opening and creating the
// reference and work tables with every message in its order.

#include <fcntl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <QProcess>
#include <QtTest>

#include "store/datamodule.h"
#include "store/errors.h"
#include "store/tests/support/storetestsupport.h"

using namespace emlo;

using namespace storetest;

namespace {

class RecordingReporter : public DataModuleReporter {
public:
    QStringList calls;
    void ShowError(const QString& text, int helpTopic) override
    {
        calls << QStringLiteral("%1|%2").arg(helpTopic).arg(text);
    }
    void FatalStop() override { calls << QStringLiteral("FatalStop"); }
};

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

QVector<int> contIds(TApolloTable& table)
{
    QVector<int> ids;
    for (table.First(); !table.Eof(); table.Next())
        ids << table.FieldByName(QStringLiteral("CONTID"))->AsInteger();
    return ids;
}

const QString kCreateHeading = QStringLiteral("Помилка утворення робочих таблиць:");
const QString kReferenceHeading = QStringLiteral("Помилка відкриття робочих таблиць:");
const QString kWorkHeading = QStringLiteral("Помилка відкриття робочіх таблиць:");

}  // namespace

class TestDataModule : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void definedFieldsOfTheEmissionTable();
    void referenceFieldsAndSources();
    void emptyWorkingFolderGetsItsFiles();
    void missingDataIndexIsRebuiltInKeyOrder();
    void missingSettlementIndexIsBuilt();
    void lockedDataTableIsUsedWithoutIndex();
    void damagedIndexesAreRebuiltAtOpening();
    void missingReferenceTableStopsTheProgram();
    void failedCreationReportsAndOpeningGoesOn();
    void pendingAttributeEditGoesToTheOldFolder();
    void referenceTablesAreOpenedReadOnly();
    void unusableTableIsReportedNeverReplaced_data();
    void unusableTableIsReportedNeverReplaced();
    void missingWorkTablesReportedWhenNotCreating();
    void tableMadeMeanwhileIsOpenedNotReplaced();
    void programsStartingOnANewFolderShareOneTable();

private:
    QString program(const QString& name) const { return m_program->path() + u'/' + name; }
    QString work(const QString& name) const { return m_work->path() + u'/' + name; }
    void makeReferenceTables(const QStringList& skip = {});
    void openAll();

    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<QTemporaryDir> m_work;
    RecordingReporter m_reporter;
    std::unique_ptr<TDataModule> m_dm;
    QString m_startFolder;
};

void TestDataModule::init()
{
    m_startFolder = QDir::currentPath();
    m_program = std::make_unique<QTemporaryDir>();
    m_work = std::make_unique<QTemporaryDir>();
    m_reporter.calls.clear();
    m_dm = std::make_unique<TDataModule>(&m_reporter);
    m_dm->ProgramPath = m_program->path() + u'/';
    m_dm->WorkPath = m_work->path() + u'/';
}

void TestDataModule::cleanup()
{
    m_dm.reset();
    QDir::setCurrent(m_startFolder);
}

void TestDataModule::makeReferenceTables(const QStringList& skip)
{
    const auto make = [&](const char* table, const QVector<QVariantList>& rows) {
        const QString file = QLatin1String(table) + QStringLiteral(".DBF");
        if (skip.contains(file))
            return;
        createTable(program(file), catalogColumns(table));
        appendRows(program(file), rows);
    };
    if (!skip.contains(QStringLiteral("CONT.DBF"))) {
        createTable(program(QStringLiteral("CONT.DBF")), catalogColumns("CONT"));
        appendRows(
            program(QStringLiteral("CONT.DBF")),
            {{1, QStringLiteral("0001"), QStringLiteral("Речовини у вигляді суспендованих твердих частинок"), 3.0},
             {5, QStringLiteral("0005"), QStringLiteral("Свинець"), 0.0},
             {132, QStringLiteral("0132"), QStringLiteral("Метали"), QVariant()}});
    }
    make("OW", {{1, QStringLiteral("10"), QStringLiteral("Державна")}});
    make("DP", {{1, QStringLiteral("01001"), QStringLiteral("Мінекономіки")}});
    make("EA", {{1, QStringLiteral("24.10"), QStringLiteral("Виробництво чавуну")}});
    make("OBL", {{1, QStringLiteral("1200000000"), QStringLiteral("Дніпропетровська")}});
    make("CY",
         {{1, QStringLiteral("1210100000"), QStringLiteral("Дніпро")},
          {2, QStringLiteral("0510100000"), QStringLiteral("Вінниця")},
          {3, QStringLiteral("1200000000"), QStringLiteral("Дніпропетровська область")}});
}

void TestDataModule::openAll()
{
    m_dm->OpenReferenceTables();
    m_dm->OpenWorkTables();
}

void TestDataModule::definedFieldsOfTheEmissionTable()
{
    makeReferenceTables();
    openAll();
    QCOMPARE(m_reporter.calls, QStringList());
    TApolloTable& data = *m_dm->tblData;
    QCOMPARE(data.FieldCount(), 6);
    const QStringList names = {u"CONTID"_qs, u"CODE"_qs, u"DESCR"_qs, u"POTEN"_qs, u"FACT"_qs, u"LIMIT"_qs};
    const QStringList classes = {u"TFloatField"_qs, u"TStringField"_qs, u"TStringField"_qs,
                                 u"TFloatField"_qs, u"TFloatField"_qs,  u"TFloatField"_qs};
    const QStringList labels = {u"CONTID"_qs,
                                u"Забруднююча речовина|Код"_qs,
                                u"Забруднююча речовина|найменування"_qs,
                                u"Потенцiйний обсяг викидiв, тонн/рiк"_qs,
                                u"Викиди за 2001 рiк (факт), тонн/рiк"_qs,
                                u"Пороговi значення потенцiйних викидiв, тонн/рiк"_qs};
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(data.Fields(i)->FieldName(), names.at(i));
        QCOMPARE(data.Fields(i)->ClassName(), classes.at(i));
        QCOMPARE(data.Fields(i)->DisplayName(), labels.at(i));
    }
    QVERIFY(!m_dm->tblDataCONTID->Visible());
    QCOMPARE(m_dm->tblDataCODE->FieldKind(), fkLookup);
    QCOMPARE(m_dm->tblDataCODE->DisplayWidth(), 8);
    QCOMPARE(m_dm->tblDataDESCR->DisplayWidth(), 30);
    QVERIFY(m_dm->tblDataLIMIT->ReadOnly());

    // A new emission record shows its pollutant from CONT at once.
    data.Insert();
    m_dm->tblDataCONTID->setAsInteger(1);
    m_dm->tblDataPOTEN->setAsFloat(1234.5);
    QCOMPARE(m_dm->tblDataCODE->AsString(), QStringLiteral("0001"));
    QCOMPARE(m_dm->tblDataDESCR->AsString(), QStringLiteral("Речовини у вигляді суспендованих твердих частинок"));
    QCOMPARE(m_dm->tblDataLIMIT->AsFloat(), 3.0);
    QCOMPARE(m_dm->tblDataPOTEN->DisplayText(), QStringLiteral("1234.500"));  // LC_ALL=C
    QCOMPARE(m_dm->tblDataLIMIT->DisplayText(), QStringLiteral("3"));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, m_dm->tblDataLIMIT->setAsFloat(1.0));
    data.Post();
    QCOMPARE(rawRecord(work(QStringLiteral("data.dbf")), 1), QByteArray("     1      1234.5000000                  "));
}

void TestDataModule::referenceFieldsAndSources()
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

void TestDataModule::emptyWorkingFolderGetsItsFiles()
{
    makeReferenceTables();
    openAll();
    QCOMPARE(m_reporter.calls, QStringList());
    QCOMPARE(filesIn(m_work->path()), (QStringList{u"attr.dbf"_qs, u"data.dbf"_qs, u"data.idx"_qs}));
    QVERIFY(m_dm->tblData->Active());
    QVERIFY(m_dm->tblAttr->Active());
    QVERIFY(m_dm->tblData->IsEmpty());
    QVERIFY(m_dm->tblAttr->IsEmpty());
    QCOMPARE(headerRecordCount(work(QStringLiteral("attr.dbf"))), 0);
    QCOMPARE(m_dm->tblData->IndexName(), QStringLiteral("data.idx"));
    // Opening the same folder again finds the files, creates nothing new.
    m_dm->OpenWorkTables();
    QCOMPARE(m_reporter.calls, QStringList());
    QCOMPARE(m_dm->tblData->IndexName(), work(QStringLiteral("data.idx")));
    for (TApolloTable* t : {m_dm->tblCont, m_dm->tblOW, m_dm->tblCY, m_dm->tblEA, m_dm->tblDP, m_dm->tblOBL})
        QVERIFY2(t->Active(), qPrintable(t->Name()));
}

void TestDataModule::missingDataIndexIsRebuiltInKeyOrder()
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
    QCOMPARE(contIds(*m_dm->tblData), (QVector<int>{5, 5, 40, 132}));
    // The new index stays up to date.
    m_dm->tblData->Append();
    m_dm->tblDataCONTID->setAsInteger(18);
    m_dm->tblData->Post();
    QCOMPARE(contIds(*m_dm->tblData), (QVector<int>{5, 5, 18, 40, 132}));
}

void TestDataModule::missingSettlementIndexIsBuilt()
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

void TestDataModule::lockedDataTableIsUsedWithoutIndex()
{
    makeReferenceTables();
    const QString data = work(QStringLiteral("data.dbf"));
    createTable(data, catalogColumns("DATA"));
    appendRows(data, {{132, 1.0, 1.0}, {5, 2.0, 2.0}});
    LockHolder holder;
    QVERIFY(holder.start(data, LockHolder::Record, 1));
    openAll();
    QCOMPARE(m_reporter.calls, QStringList());
    QVERIFY(!QFileInfo::exists(work(QStringLiteral("data.idx"))));
    QCOMPARE(m_dm->tblData->IndexName(), QString());
    QCOMPARE(contIds(*m_dm->tblData), (QVector<int>{132, 5}));
}

// Index files that cannot be read (a copy cut short, a file saved over
// them) are rebuilt on their known keys; the program never works on in
// record order without a word. CY is read-only: its order is built in memory.
void TestDataModule::damagedIndexesAreRebuiltAtOpening()
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
    QCOMPARE(contIds(*m_dm->tblData), (QVector<int>{5, 40, 132}));
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
    QCOMPARE(contIds(*m_dm->tblData), (QVector<int>{5, 40, 132}));
}

void TestDataModule::missingReferenceTableStopsTheProgram()
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
        cleanup();
        init();
        makeReferenceTables({files.at(i)});
        m_dm->OpenReferenceTables();
        QCOMPARE(m_reporter.calls.value(0), u"20002|"_qs + kReferenceHeading + u"\r\n"_qs + messages.at(i));
    }
}

void TestDataModule::failedCreationReportsAndOpeningGoesOn()
{
    makeReferenceTables();
    m_dm->OpenReferenceTables();
    m_dm->WorkPath = m_work->path() + QStringLiteral("/gone/");
    m_dm->OpenWorkTables();
    const QString dataPath = m_dm->WorkPath + QStringLiteral("data.dbf");
    const QString attrPath = m_dm->WorkPath + QStringLiteral("attr.dbf");
    const QChar cr(u'\r');
    const QString notThere = QStringLiteral("Table does not exist.") + cr
        + QStringLiteral("File or directory does not exist.") + cr + QStringLiteral("File: ");
    // The creation reports and returns; opening the table then fails on its
    // own and ends the procedure, so ATTR is never reached.
    QCOMPARE(m_reporter.calls,
             (QStringList{u"20001|"_qs + kCreateHeading + u"\r\n"_qs + u"неможливо утворити таблицю викидiв"_qs
                              + u"\r\nПапку не знайдено: "_qs + m_dm->WorkPath,
                          u"FatalStop"_qs, u"20002|"_qs + kWorkHeading + u"\r\n"_qs + notThere + dataPath,
                          u"FatalStop"_qs}));
    QVERIFY(!m_dm->tblData->Active());
    QVERIFY(!m_dm->tblAttr->Active());

    // The attribute table alone: its own creation message.
    m_reporter.calls.clear();
    m_dm->CreateTable(QStringLiteral("attr"));
    QCOMPARE(m_reporter.calls,
             (QStringList{u"20001|"_qs + kCreateHeading + u"\r\n"_qs + u"неможливо утворити таблицю реквізитів"_qs
                              + u"\r\nПапку не знайдено: "_qs + m_dm->WorkPath,
                          u"FatalStop"_qs}));
    Q_UNUSED(attrPath);

    // An index on a table that is not open: the layer's own text.
    m_reporter.calls.clear();
    m_dm->CreateTable(QStringLiteral("data_idx"));
    QCOMPARE(m_reporter.calls, QStringList());  // Flock on a closed table fails: nothing is done
}

void TestDataModule::pendingAttributeEditGoesToTheOldFolder()
{
    makeReferenceTables();
    openAll();
    TApolloTable& attr = *m_dm->tblAttr;
    // The module's own listeners keep AttrModified: no page is needed.
    m_dm->dsAttr->Edit();  // an empty table: the attribute record starts
    QCOMPARE(attr.State(), dsInsert);
    QVERIFY(m_dm->AttrModified);
    attr.FieldByName(QStringLiteral("ENNAME"))->setAsString(QStringLiteral("ПАТ «Завод»"));

    QTemporaryDir other;
    const QString oldAttr = work(QStringLiteral("attr.dbf"));
    m_dm->WorkPath = other.path() + u'/';
    m_dm->OpenWorkTables();
    QVERIFY(!m_dm->AttrModified);
    QCOMPARE(headerRecordCount(oldAttr), 1);
    QCOMPARE(rawRecord(oldAttr, 1).mid(1, 11), QByteArray("\xcf\xc0\xd2 \xab\xc7\xe0\xe2\xee\xe4\xbb"));
    QCOMPARE(headerRecordCount(other.path() + QStringLiteral("/attr.dbf")), 0);
    QCOMPARE(attr.FilePath(), other.path() + QStringLiteral("/attr.dbf"));
}

// The program never writes its reference tables: an installed program folder
// that the user cannot write must open them all the same.
void TestDataModule::referenceTablesAreOpenedReadOnly()
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

// Something of the table's name that is not a usable table (a second
// spelling, a link to an unmounted disk, a folder) is reported; a new empty
// table is never made over it or beside it.
void TestDataModule::unusableTableIsReportedNeverReplaced_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("message");  // %1: the working folder with its "/"
    QTest::newRow("two spellings") << "both"
                                   << "У папці %1 є кілька файлів, назви яких різняться лише великими й малими "
                                      "літерами: DATA.DBF, data.dbf. Невідомо, який з них використовувати; "
                                      "залиште тільки один.";
    QTest::newRow("link to nowhere") << "link"
                                     << "Table does not exist.\rFile or directory does not exist.\rFile: "
                                        "%1data.dbf\rПосилання веде до файлу, якого немає: /nonexistent/disk/DATA.DBF";
    QTest::newRow("folder of that name") << "folder"
                                         << "Unable to open table: %1data.dbf\rЦе папка, а не файл таблиці.";
}

void TestDataModule::unusableTableIsReportedNeverReplaced()
{
    QFETCH(QString, setup);
    QFETCH(QString, message);
    makeReferenceTables();
    const QVector<Column> layout = {{QStringLiteral("CONTID"), 'N', 5, 0},
                                    {QStringLiteral("POTEN"), 'N', 18, 7},
                                    {QStringLiteral("FACT"), 'N', 18, 7}};
    if (setup == u"both") {
        createTable(work(QStringLiteral("DATA.DBF")), layout);
        appendRows(work(QStringLiteral("DATA.DBF")), {{1, 1.0, 1.0}, {5, 2.0, 2.0}});
        // Made aside: the layer would take "data.dbf" for the existing DATA.DBF.
        QTemporaryDir aside;
        createTable(aside.filePath(QStringLiteral("data.dbf")), layout);
        appendRows(aside.filePath(QStringLiteral("data.dbf")), {{7, 1.0, 1.0}});
        QVERIFY(QFile::copy(aside.filePath(QStringLiteral("data.dbf")), work(QStringLiteral("data.dbf"))));
    } else if (setup == u"link") {
        QVERIFY(QFile::link(QStringLiteral("/nonexistent/disk/DATA.DBF"), work(QStringLiteral("DATA.DBF"))));
    } else {
        QVERIFY(QDir().mkdir(work(QStringLiteral("data.dbf"))));
    }
    const QStringList before = filesIn(m_work->path());
    openAll();
    QCOMPARE(m_reporter.calls,
             (QStringList{u"20002|"_qs + kWorkHeading + u"\r\n"_qs + message.arg(m_dm->WorkPath), u"FatalStop"_qs}));
    QVERIFY(!m_dm->tblData->Active());
    QCOMPARE(filesIn(m_work->path()), before);
    if (setup == u"both") {
        QCOMPARE(headerRecordCount(work(QStringLiteral("DATA.DBF"))), 2);
        QCOMPARE(headerRecordCount(work(QStringLiteral("data.dbf"))), 1);
    } else if (setup == u"link") {
        QVERIFY(QFileInfo(work(QStringLiteral("DATA.DBF"))).isSymLink());
    }
}

// The command-line program must not hand on an empty table in place of one
// that went missing: with creation off, a missing work table is an error.
void TestDataModule::missingWorkTablesReportedWhenNotCreating()
{
    makeReferenceTables();
    createTable(work(QStringLiteral("ATTR.DBF")), {{QStringLiteral("ENNAME"), 'C', 100, 0}});
    m_dm->CreateMissingWorkFiles = false;
    openAll();
    QCOMPARE(m_reporter.calls,
             (QStringList{u"20002|"_qs + kWorkHeading + u"\r\n"_qs + u"У робочій папці "_qs + m_dm->WorkPath
                              + u" немає робочих таблиць: DATA.DBF"_qs,
                          u"FatalStop"_qs}));
    QCOMPARE(filesIn(m_work->path()), QStringList{u"ATTR.DBF"_qs});
    QVERIFY(!m_dm->tblData->Active());

    // Both missing: both named. A missing index alone is rebuilt as always.
    m_reporter.calls.clear();
    QFile::remove(work(QStringLiteral("ATTR.DBF")));
    m_dm->OpenWorkTables();
    QCOMPARE(m_reporter.calls.value(0),
             u"20002|"_qs + kWorkHeading + u"\r\n"_qs + u"У робочій папці "_qs + m_dm->WorkPath
                 + u" немає робочих таблиць: DATA.DBF, ATTR.DBF"_qs);
    m_reporter.calls.clear();
    createTable(work(QStringLiteral("DATA.DBF")),
                {{QStringLiteral("CONTID"), 'N', 5, 0},
                 {QStringLiteral("POTEN"), 'N', 18, 7},
                 {QStringLiteral("FACT"), 'N', 18, 7}});
    createTable(work(QStringLiteral("ATTR.DBF")), {{QStringLiteral("ENNAME"), 'C', 100, 0}});
    m_dm->OpenWorkTables();
    QCOMPARE(m_reporter.calls, QStringList());
    QVERIFY(QFileInfo::exists(work(QStringLiteral("data.idx"))));
}

// The table was found missing, but another copy of the program made it
// before this one could: that table is opened, never replaced.
void TestDataModule::tableMadeMeanwhileIsOpenedNotReplaced()
{
    makeReferenceTables();
    m_dm->OpenReferenceTables();
    createTable(work(QStringLiteral("data.dbf")),
                {{QStringLiteral("CONTID"), 'N', 5, 0},
                 {QStringLiteral("POTEN"), 'N', 18, 7},
                 {QStringLiteral("FACT"), 'N', 18, 7}});
    appendRows(work(QStringLiteral("data.dbf")), {{5, 1.0, 1.0}, {18, 2.0, 2.0}});
    m_dm->CreateTable(QStringLiteral("data"));
    QCOMPARE(m_reporter.calls, QStringList());
    QCOMPARE(headerRecordCount(work(QStringLiteral("data.dbf"))), 2);
    m_dm->OpenWorkTables();
    QCOMPARE(m_reporter.calls, QStringList());
    QCOMPARE(contIds(*m_dm->tblData), (QVector<int>{5, 18}));
}

// Several copies of the program started at once on a new folder: each one
// creates what it finds missing, and every record any of them stores ends
// up in the one table (none in a file that was replaced under it).
void TestDataModule::programsStartingOnANewFolderShareOneTable()
{
    makeReferenceTables();
    m_dm->OpenReferenceTables();  // the settlement index is there, as installed
    constexpr int kCopies = 4;
    for (int round = 0; round < 3; ++round) {
        QTemporaryDir folder;
        std::vector<std::unique_ptr<QProcess>> copies;
        for (int i = 0; i < kCopies; ++i) {
            auto process = std::make_unique<QProcess>();
            process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process->start(QCoreApplication::applicationFilePath(),
                           {QStringLiteral("--start-on"), m_program->path() + u'/', folder.path() + u'/',
                            QString::number(100 + i)});
            copies.push_back(std::move(process));
        }
        for (auto& process : copies) {
            QVERIFY(process->waitForFinished(60000));
            QCOMPARE(process->exitCode(), 0);
        }
        QCOMPARE(filesIn(folder.path()), (QStringList{u"attr.dbf"_qs, u"data.dbf"_qs, u"data.idx"_qs}));
        m_dm->WorkPath = folder.path() + u'/';
        m_dm->OpenReferenceTables();
        m_dm->OpenWorkTables();
        QCOMPARE(m_reporter.calls, QStringList());
        QCOMPARE(contIds(*m_dm->tblData), (QVector<int>{100, 101, 102, 103}));
        m_dm->tblData->Close();
        m_dm->tblAttr->Close();
    }
}

namespace {

// A copy of the program starting on a working folder: opens (creating what
// is missing) and stores one emission record.
int startOn(const QString& programFolder, const QString& workFolder, int contId)
{
    struct Silent : DataModuleReporter {
        bool failed = false;
        void ShowError(const QString& text, int) override
        {
            failed = true;
            std::fprintf(stderr, "%s\n", qPrintable(text));
        }
        void FatalStop() override { failed = true; }
    } reporter;
    TDataModule dm(&reporter);
    dm.ProgramPath = programFolder;
    dm.WorkPath = workFolder;
    dm.OpenReferenceTables();
    dm.OpenWorkTables();
    if (reporter.failed)
        return 3;
    try {
        dm.tblData->Append();
        dm.tblDataCONTID->setAsInteger(contId);
        dm.tblData->Post();
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 4;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && QByteArray(argv[1]) == "--start-on") {
        QCoreApplication app(argc, argv);
        return startOn(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), std::atoi(argv[4]));
    }
    int childExit = 0;
    if (storetest::runChildIfAsked(argc, argv, &childExit))
        return childExit;
    QCoreApplication app(argc, argv);
    TestDataModule tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_datamodule.moc"
