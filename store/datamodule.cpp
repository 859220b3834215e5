#include "datamodule.h"

#include <unistd.h>

#include <cerrno>

#include <QDir>
#include <QFile>

#include "datarules.h"
#include "errors.h"
#include "filecase.h"
#include "tablecatalog.h"
#include "xbase/include/sde.h"

namespace emlo {

namespace {

const char* const kHeadingReference = "Помилка відкриття робочих таблиць:";
const char* const kHeadingWork = "Помилка відкриття робочіх таблиць:";
const char* const kHeadingCreate = "Помилка утворення робочих таблиць:";
constexpr int kTopicCreate = 20001;
constexpr int kTopicOpen = 20002;

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// The catalogue's layout of a table, and the file names the module gives
// the files it makes: "data.dbf", "data.idx".
const emlo::TableDef& layout(const char* name)
{
    return emlo::TableDefOf(QLatin1String(name));
}

QString newFileName(const char* stem, const char* extension)
{
    return QString::fromLatin1(stem).toLower() + QLatin1String(extension);
}

// A failure of one step with the program's own message.
[[noreturn]] void failWith(const char* utf8)
{
    throw Exception(text(utf8));
}

// The same, followed on its own line by what the table layer found (a
// folder that cannot be written, a full disk), when it found something.
[[noreturn]] void failWith(const char* utf8, const TApolloTable* table)
{
    const QString reason = table->LastErrorText();
    throw Exception(reason.isEmpty() ? text(utf8) : text(utf8) + QStringLiteral("\r\n") + reason);
}

// True when files cannot be made or changed in the folder (its permissions,
// a read-only medium). Root may write anywhere, so this asks the system.
bool folderReadOnly(const QString& folder)
{
    return ::access(QFile::encodeName(folder).constData(), W_OK) != 0 && (errno == EACCES || errno == EROFS);
}

TStringField* addString(TApolloTable* table, const char* name, int size, const char* label = nullptr, int width = 0)
{
    TStringField* field = table->AddStringField(QString::fromLatin1(name), size);
    if (label)
        field->setDisplayLabel(text(label));
    if (width > 0)
        field->setDisplayWidth(width);
    return field;
}

TFloatField* addHiddenId(TApolloTable* table, const char* name)
{
    TFloatField* field = table->AddFloatField(QString::fromLatin1(name));
    field->setVisible(false);
    return field;
}

// Builds an index under a whole-file lock; a lock held by another program
// leaves the table in record order, without a word.
void buildIndex(TApolloTable* table, const QString& fileName, const char* expression, const char* failure)
{
    if (!table->Flock())
        return;
    struct Unlocker {
        TApolloTable* table;
        ~Unlocker() { table->Unlock(0); }
    } unlocker{table};
    if (!table->Index(fileName, QString::fromLatin1(expression), QString(), false, 0))
        failWith(failure, table);
}

}  // namespace

TDataModule::TDataModule(DataModuleReporter* reporter, QObject* parent) : QObject(parent), m_reporter(reporter)
{
    // The reference tables are only read: opened read-only they also open
    // from a program folder the user cannot write (an installed program).
    const auto makeTable = [this](const char* name, const char* fileName, bool readOnly) {
        auto* table = new TApolloTable(QString::fromLatin1(name), this);
        table->setTableName(QString::fromLatin1(fileName));
        table->setTableType(ttSXFOX);
        table->setOEMTranslate(false);
        table->setExclusive(false);
        table->setReadOnly(readOnly);
        return table;
    };
    tblData = makeTable("tblData", "DATA.DBF", false);
    tblAttr = makeTable("tblAttr", "ATTR.DBF", false);
    tblCont = makeTable("tblCont", "CONT.DBF", true);
    tblOW = makeTable("tblOW", "OW.DBF", true);
    tblCY = makeTable("tblCY", "CY.DBF", true);
    tblEA = makeTable("tblEA", "EA.DBF", true);
    tblDP = makeTable("tblDP", "DP.DBF", true);
    tblOBL = makeTable("tblOBL", "OBL.DBF", true);

    const auto makeSource = [](const char* name, TApolloTable* table, bool autoEdit) {
        auto* source = new TDataSource(QString::fromLatin1(name));
        source->setDataSet(table);
        source->setAutoEdit(autoEdit);
        return source;
    };
    dsData = makeSource("dsData", tblData, true);
    dsAttr = makeSource("dsAttr", tblAttr, true);
    dsCont = makeSource("dsCont", tblCont, true);
    dsOW = makeSource("dsOW", tblOW, false);
    dsCY = makeSource("dsCY", tblCY, false);
    dsEA = makeSource("dsEA", tblEA, false);
    dsDP = makeSource("dsDP", tblDP, false);
    dsOBL = makeSource("dsOBL", tblOBL, false);

    defineFields();
    emlo::InstallDataRules(*this);

    // Loads the engine and hides deleted records from every table.
    ApolloEnv = new TApolloEnv;
    ApolloEnv->setApplyTo(atLocal);
    ApolloEnv->setDeleted(true);
}

TDataModule::~TDataModule()
{
    for (TDataSource* source : {dsData, dsAttr, dsCont, dsOW, dsCY, dsEA, dsDP, dsOBL})
        delete source;
    for (TApolloTable* table : {tblData, tblAttr, tblCont, tblOW, tblCY, tblEA, tblDP, tblOBL}) {
        try {
            table->Close();
        } catch (...) {
            // Closing at the end of the program; the engine releases the rest.
        }
    }
    delete ApolloEnv;
}

void TDataModule::defineFields()
{
    tblDataCONTID = addHiddenId(tblData, "CONTID");
    tblDataCODE = tblData->AddLookupField(QStringLiteral("CODE"), ftString, 5, tblCont, QStringLiteral("CONTID"),
                                          QStringLiteral("CODE"), QStringLiteral("CONTID"));
    tblDataCODE->setDisplayLabel(text("Забруднююча речовина|Код"));
    tblDataCODE->setDisplayWidth(8);
    tblDataDESCR = tblData->AddLookupField(QStringLiteral("DESCR"), ftString, 80, tblCont, QStringLiteral("CONTID"),
                                           QStringLiteral("DESCR"), QStringLiteral("CONTID"));
    tblDataDESCR->setDisplayLabel(text("Забруднююча речовина|найменування"));
    tblDataDESCR->setDisplayWidth(30);
    tblDataPOTEN = tblData->AddFloatField(QStringLiteral("POTEN"));
    tblDataPOTEN->setDisplayLabel(text("Потенцiйний обсяг викидiв, тонн/рiк"));
    tblDataPOTEN->setDisplayFormat(QStringLiteral("############0.000"));
    tblDataFACT = tblData->AddFloatField(QStringLiteral("FACT"));
    tblDataFACT->setDisplayLabel(text("Викиди за 2001 рiк (факт), тонн/рiк"));
    tblDataFACT->setDisplayFormat(QStringLiteral("############0.000"));
    tblDataLIMIT = tblData->AddLookupField(QStringLiteral("LIMIT"), ftFloat, 0, tblCont, QStringLiteral("CONTID"),
                                           QStringLiteral("LIMIT"), QStringLiteral("CONTID"));
    tblDataLIMIT->setDisplayLabel(text("Пороговi значення потенцiйних викидiв, тонн/рiк"));
    tblDataLIMIT->setReadOnly(true);

    tblCont->AddFloatField(QStringLiteral("CONTID"));
    addString(tblCont, "CODE", 5, "Забруднююча речовина|Код", 8);
    addString(tblCont, "DESCR", 80, "Забруднююча речовина|найменування", 30);
    tblCont->AddFloatField(QStringLiteral("LIMIT"))->setDisplayLabel(text("Пороговi значення викидiв, тонн/рiк"));

    addHiddenId(tblOW, "OWID");
    addString(tblOW, "CODE", 2, "Форма собственности|Код", 10);
    addString(tblOW, "DESCR", 70, "Форма собственности|описание", 50);

    addHiddenId(tblCY, "CYID");
    addString(tblCY, "CODE", 10, "Назва населеного пункту|Код");
    addString(tblCY, "DESCR", 100, "Назва населеного пункту|опис", 80);

    addHiddenId(tblEA, "EAID");
    addString(tblEA, "CODE", 10, "Вид экономической деятельности|Код", 15);
    addString(tblEA, "DESCR", 250, "Вид экономической деятельности|описание", 80);

    addHiddenId(tblDP, "DPID");
    addString(tblDP, "CODE", 6, "Вiдомча пiдпорядкованiсть|Код", 10);
    addString(tblDP, "DESCR", 150, "Вiдомча пiдпорядкованiсть|опис", 80);

    tblOBL->AddFloatField(QStringLiteral("OBLID"));
    addString(tblOBL, "CODE", 10);
    addString(tblOBL, "DESCR", 100, "Назва областi");
}

void TDataModule::reportFailure(const QString& heading, const QString& message, int helpTopic)
{
    if (!m_reporter)
        return;
    m_reporter->ShowError(heading + QStringLiteral("\r\n") + message, helpTopic);
    m_reporter->FatalStop();
}

void TDataModule::OpenReferenceTables()
{
    QString folder = ProgramPath;
    if (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    if (!QDir::setCurrent(folder))
        throw EInOutError(QStringLiteral("I/O error 3: ") + folder);

    try {
        const struct {
            TApolloTable* table;
            const char* file;
            const char* missing;
        } steps[] = {
            {tblCont, "cont.dbf", "неможливо відкрити довідник речовин"},
            {tblOW, "ow.dbf", "неможливо відкрити довідник форм власності"},
            {tblDP, "dp.dbf", "неможливо відкрити довідник відомств"},
            {tblEA, "ea.dbf", "неможливо відкрити довідник видів діяльності"},
            {tblOBL, "obl.dbf", "неможливо відкрити довідник областей"},
            {tblCY, "cy.dbf", "неможливо відкрити довідник населених пунктів"},
        };
        for (const auto& step : steps) {
            if (!FileExistsNoCase(ProgramPath + QString::fromLatin1(step.file)))
                failWith(step.missing);
            step.table->Open();
        }
        if (FileExistsNoCase(ProgramPath + QStringLiteral("cy.idx")))
            tblCY->IndexOpen(ProgramPath + QStringLiteral("cy.idx"));
        else
            CreateTable(QStringLiteral("cy_idx"));
    } catch (const EAbort&) {
        throw;
    } catch (const std::exception& e) {
        reportFailure(text(kHeadingReference), ErrorText(e), kTopicOpen);
    }
}

void TDataModule::PostPendingAttr()
{
    if (!AttrModified)
        return;
    tblAttr->Post();
    AttrModified = tblAttr->State() == dsEdit || tblAttr->State() == dsInsert;
}

void TDataModule::OpenWorkTables()
{
    // Outside the handler: a failure to store the pending attribute edit
    // belongs to the caller, which decides what to do with it.
    PostPendingAttr();

    try {
        tblData->IndexClose();
        tblData->Close();
        if (!CreateMissingWorkFiles)
            requireWorkFiles();
        // In a folder that cannot be written the tables are only read: the
        // check, print and export still run as long as nothing must be
        // stored, and a change says why it cannot be saved.
        const bool readOnly = folderReadOnly(WorkPath);
        const QString readOnlyText = readOnly
            ? QStringLiteral("Робоча папка доступна лише для читання, зміни не можна зберегти: %1").arg(WorkPath)
            : QString();
        tblData->setReadOnly(readOnly);
        tblData->setReadOnlyText(readOnlyText);
        // Anything of that name (a link to an unmounted disk, a file that
        // cannot be read) is never replaced by a new empty table: opening it
        // below says what is wrong with it.
        if (!EntryExistsNoCase(WorkPath + QStringLiteral("data.dbf")))
            CreateTable(QStringLiteral("data"));
        tblData->setTableName(WorkPath + QStringLiteral("data.dbf"));
        tblData->Open();
        // Where no file can be made the order is built in memory.
        if (readOnly || FileExistsNoCase(WorkPath + QStringLiteral("data.idx")))
            tblData->IndexOpen(WorkPath + QStringLiteral("data.idx"));
        else
            CreateTable(QStringLiteral("data_idx"));

        tblAttr->IndexClose();
        tblAttr->Close();
        tblAttr->setReadOnly(readOnly);
        tblAttr->setReadOnlyText(readOnlyText);
        if (!EntryExistsNoCase(WorkPath + QStringLiteral("attr.dbf")))
            CreateTable(QStringLiteral("attr"));
        tblAttr->setTableName(WorkPath + QStringLiteral("attr.dbf"));
        tblAttr->Open();
    } catch (const EAbort&) {
        throw;
    } catch (const std::exception& e) {
        reportFailure(text(kHeadingWork), ErrorText(e), kTopicOpen);
    }
}

void TDataModule::requireWorkFiles()
{
    QStringList missing;
    for (const char* name : {"DATA.DBF", "ATTR.DBF"}) {
        if (!EntryExistsNoCase(WorkPath + QString::fromLatin1(name).toLower()))
            missing << QString::fromLatin1(name);
    }
    if (!missing.isEmpty()) {
        throw Exception(QStringLiteral("У робочій папці %1 немає робочих таблиць: %2")
                            .arg(WorkPath, missing.join(QStringLiteral(", "))));
    }
}

void TDataModule::CreateTable(const QString& key)
{
    // Another copy of the program starting on the same new folder may have
    // made the table since it was found missing: the engine never replaces
    // a file, and that table is the one to open.
    // (A lock refusing the new file's first opening also means that it is
    // there and in another program's hands.)
    const auto madeMeanwhile = [this](const TApolloTable* table) {
        const QString file = table == tblData ? QStringLiteral("data.dbf") : QStringLiteral("attr.dbf");
        return table->LastErrorKind() == SX_ERR_EXISTS
            || (table->LastErrorKind() == SX_ERR_LOCKED && EntryExistsNoCase(WorkPath + file));
    };

    // A creation that failed half-way must not keep the engine's new table.
    const auto giveUpCreation = [this] {
        for (TApolloTable* table : {tblData, tblAttr}) {
            if (!table->Active())
                table->Close();
        }
    };

    try {
        if (key == u"data") {
            if (!emlo::DeclareTable(*tblData, layout("DATA"), WorkPath + newFileName("DATA", ".dbf")))
                failWith("неможливо утворити таблицю викидiв", tblData);
            if (!tblData->CreateExec() && !madeMeanwhile(tblData))
                failWith("неможливо утворити поля таблиці викидiв", tblData);
        } else if (key == u"attr") {
            if (!emlo::DeclareTable(*tblAttr, layout("ATTR"), WorkPath + newFileName("ATTR", ".dbf")))
                failWith("неможливо утворити таблицю реквізитів", tblAttr);
            if (!tblAttr->CreateExec() && !madeMeanwhile(tblAttr))
                failWith("неможливо утворити поля таблиці реквізитів", tblAttr);
        } else if (key == u"data_idx") {
            const emlo::TableDef& data = layout("DATA");
            buildIndex(tblData, newFileName(data.indexName, ".idx"), data.indexKey,
                       "неможливо утворити iндекс таблиці викидiв");
        } else if (key == u"cy_idx") {
            const char* failure = "неможливо утворити iндекс таблиці населених пунктів";
            if (!tblCY->Active())
                return;  // no file to lock, as for a closed table
            // tblCY is open read-only: the index is built through a writable
            // opening of the same file and then opened on tblCY.
            TApolloTable builder(QStringLiteral("tblCYIndex"));
            builder.setTableName(tblCY->FilePath());
            try {
                builder.Open();
            } catch (const EAbort&) {
                throw;
            } catch (const Exception&) {
                failWith(failure);
            }
            const emlo::TableDef& cy = layout("CY");
            buildIndex(&builder, newFileName(cy.indexName, ".idx"), cy.indexKey, failure);
            const bool built = !builder.IndexName().isEmpty();
            builder.Close();
            if (built)
                tblCY->IndexOpen(tblCY->DataFolder() + QStringLiteral("cy.idx"));
        }
    } catch (const EAbort&) {
        giveUpCreation();
        throw;
    } catch (const std::exception& e) {
        giveUpCreation();
        reportFailure(text(kHeadingCreate), ErrorText(e), kTopicCreate);
    }
}

}  // namespace emlo
