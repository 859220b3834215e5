#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include "store/datamodule.h"
#include "print/frdbdataset.h"
#include "print/printform.h"
#include "store/tests/support/storetestsupport.h"

using namespace emlo;

using namespace emlo::print;
using namespace Qt::StringLiterals;

namespace {

class SilentReporter : public DataModuleReporter {
public:
    void ShowError(const QString& text, int) override { errors.append(text); }
    void FatalStop() override { errors.append(u"FatalStop"_s); }
    QStringList errors;
};

QStringList rowTexts(const TfrPage& page)
{
    QStringList out;
    for (const TfrPlacedBox* b : page.boxesOfBand(u"DetailData1"_s))
        out.append(b->text);
    return out;
}

QString boxText(const TfrPage& page, const QString& band, const QString& name)
{
    const TfrPlacedBox* b = page.box(band, name);
    return b ? b->text : QString();
}

}  // namespace

// The form over the real work tables of a working folder: the adapters read
// the tables' own fields, the look-up fields of the emission table included,
// in the order of DATA.IDX.
class TestFrDBDataSet : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_startFolder = QDir::currentPath();
        m_program = std::make_unique<QTemporaryDir>();
        m_work = std::make_unique<QTemporaryDir>();
        makeReferenceTables();
        m_dm = std::make_unique<TDataModule>(&m_reporter);
        m_dm->ProgramPath = m_program->path() + u'/';
        m_dm->WorkPath = m_work->path() + u'/';
        m_dm->OpenReferenceTables();
        m_dm->OpenWorkTables();
        QCOMPARE(m_reporter.errors, QStringList());
    }

    void cleanup()
    {
        m_dm.reset();
        QDir::setCurrent(m_startFolder);
    }

    void formReadsTheWorkTables()
    {
        addAttributes();
        addEmission(132, 7.25, 1.5);
        addEmission(1, 12.5, 0.0005);
        addEmission(5, 0, 3);

        TfrPrepareOptions o;
        o.today = QDate(2024, 3, 5);
        o.locale = QLocale(QLocale::Ukrainian, QLocale::Ukraine);
        const TfrDocument doc = PrepareForm(m_dm->tblAttr, m_dm->tblData, o);
        QCOMPARE(doc.pages.size(), 2);

        const TfrPage& first = doc.pages[0];
        QCOMPARE(boxText(first, u"Band1"_s, u"EnName"_s), u"   ТОВ \"Дніпровський завод\" / 12345678"_s);
        QCOMPARE(boxText(first, u"Band1"_s, u"Obl"_s), u"   ДНІПРОПЕТРОВСЬКА ОБЛАСТЬ / "_s);
        QCOMPARE(boxText(first, u"Band1"_s, u"Regn"_s), u"   ДНІПРО / 0"_s);
        QCOMPARE(boxText(first, u"Band1"_s, u"City"_s), u"   Дніпро / 1210100000"_s);
        QCOMPARE(boxText(first, u"Band1"_s, u"X1"_s), u"48"_s);
        QCOMPARE(boxText(first, u"Band1"_s, u"Y3"_s), u"0"_s);

        // Rows in the order of the pollutant id; code, name and threshold
        // looked up in CONT; a threshold that CONT leaves blank prints 0.
        QCOMPARE(rowTexts(doc.pages[1]),
                 (QStringList{u"     1"_s, u"   0001"_s, u"Речовини у вигляді суспендованих твердих частинок"_s,
                              u"12,500  "_s, u"0,001  "_s, u"3  "_s, u"     2"_s, u"   0005"_s, u"Свинець"_s,
                              u"0,000  "_s, u"3,000  "_s, u"0,5  "_s, u"     3"_s, u"   0132"_s, u"Метали"_s,
                              u"7,250  "_s, u"1,500  "_s, u"0  "_s}));

        // The walk leaves both tables on their last record.
        QCOMPARE(m_dm->tblAttr->RecNo(), 1);
        QCOMPARE(m_dm->tblData->RecNo(), 1);  // pollutant 132, appended first
    }

    void pdfOfTheWorkTables()
    {
        QTemporaryDir out;
        QString error;
        // No attribute record: no page, nothing written.
        QVERIFY(!PrintFormToPdf(m_dm->tblAttr, m_dm->tblData, out.filePath(u"a.pdf"_s), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFile::exists(out.filePath(u"a.pdf"_s)));

        addAttributes();
        addEmission(1, 1, 1);
        QVERIFY2(PrintFormToPdf(m_dm->tblAttr, m_dm->tblData, out.filePath(u"a.pdf"_s), &error), qPrintable(error));
        QVERIFY(QFileInfo(out.filePath(u"a.pdf"_s)).size() > 1000);
    }

private:
    QString program(const QString& file) const { return m_program->filePath(file); }

    void makeReferenceTables()
    {
        using storetest::appendRows;
        using storetest::createTable;
        createTable(
            program(u"CONT.DBF"_s),
            {{u"CONTID"_s, 'N', 5, 0}, {u"CODE"_s, 'C', 5, 0}, {u"DESCR"_s, 'C', 80, 0}, {u"LIMIT"_s, 'N', 18, 7}});
        appendRows(program(u"CONT.DBF"_s),
                   {{1, u"0001"_s, u"Речовини у вигляді суспендованих твердих частинок"_s, 3.0},
                    {5, u"0005"_s, u"Свинець"_s, 0.5},
                    {132, u"0132"_s, u"Метали"_s, QVariant()}});
        const auto simple = [&](const QString& file, const QString& id, short codeWidth, short descrWidth) {
            createTable(program(file),
                        {{id, 'N', 5, 0}, {u"CODE"_s, 'C', codeWidth, 0}, {u"DESCR"_s, 'C', descrWidth, 0}});
            appendRows(program(file), {{1, u"10"_s, u"Назва"_s}});
        };
        simple(u"OW.DBF"_s, u"OWID"_s, 2, 70);
        simple(u"DP.DBF"_s, u"DPID"_s, 6, 150);
        simple(u"EA.DBF"_s, u"EAID"_s, 10, 250);
        simple(u"OBL.DBF"_s, u"OBLID"_s, 10, 100);
        simple(u"CY.DBF"_s, u"CYID"_s, 10, 100);
    }

    void addAttributes()
    {
        TApolloTable& a = *m_dm->tblAttr;
        a.Append();
        const QList<std::pair<QString, QVariant>> values = {
            {u"ENNAME"_s, u"ТОВ \"Дніпровський завод\""_s},
            {u"EDRPOU"_s, u"12345678"_s},
            {u"ENADDR"_s, u"м. Дніпро"_s},
            {u"ENCH_POS"_s, u"Директор"_s},
            {u"ENCH_NAME"_s, u"Іваненко І. І."_s},
            {u"OBL_DESCR"_s, u"ДНІПРОПЕТРОВСЬКА ОБЛАСТЬ"_s},
            {u"OBL_ID"_s, 0},
            {u"REGN_DESCR"_s, u"ДНІПРО"_s},
            {u"CITY_DESCR"_s, u"Дніпро"_s},
            {u"CITY_ID"_s, 1210100000.0},
            {u"X1"_s, 48},
            {u"X2"_s, 27},
        };
        for (const auto& [field, value] : values)
            a.FieldByName(field)->setAsVariant(value);
        a.Post();
    }

    void addEmission(int contId, double poten, double fact)
    {
        TApolloTable& d = *m_dm->tblData;
        d.Append();
        m_dm->tblDataCONTID->setAsInteger(contId);
        m_dm->tblDataPOTEN->setAsFloat(poten);
        m_dm->tblDataFACT->setAsFloat(fact);
        d.Post();
    }

    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<QTemporaryDir> m_work;
    SilentReporter m_reporter;
    std::unique_ptr<TDataModule> m_dm;
    QString m_startFolder;
};

QTEST_MAIN(TestFrDBDataSet)
#include "tst_frdbdataset.moc"
