#include "dbtestsupport.h"

#include <stdexcept>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "store/fields.h"
#include "store/filecase.h"
#include "store/tablecatalog.h"
#include "testsupport/testtables.h"
#include "widgets/db/beep.h"
#include "widgets/testing/scripteddialogs.h"

using namespace emlo;

namespace dbtest {

using emlo::testing::Column;

Tables::Tables()
{
    if (!m_dir.isValid())
        throw std::runtime_error("no temporary folder");
    folder = m_dir.path() + QLatin1Char('/');
    env.setApplyTo(atLocal);
    env.setDeleted(true);

    emlo::testing::createTable(folder + QStringLiteral("rec.dbf"),
                               {{QStringLiteral("NAME"), 'C', 10, 0},
                                {QStringLiteral("NUM"), 'N', 2, 0},
                                {QStringLiteral("AMT"), 'N', 18, 7},
                                {QStringLiteral("CODE"), 'C', 5, 0}});
    emlo::testing::createTable(folder + QStringLiteral("list.dbf"),
                               {{QStringLiteral("ID"), 'N', 5, 0},
                                {QStringLiteral("CODE"), 'C', 5, 0},
                                {QStringLiteral("DESCR"), 'C', 30, 0}});
    QVector<QVariantList> entries;
    const char* const names[] = {"Альфа", "альбом", "Бета", "БЕРЕЗА", "Вишня", "Груша",
                                 "Дуб",   "Ель",    "Жито", "Зерно",  "Іній",  "Кедр"};
    for (int i = 0; i < 12; ++i)
        entries.append({i + 1, QStringLiteral("A%1").arg(i + 1, 2, 10, QLatin1Char('0')), QString::fromUtf8(names[i])});
    emlo::testing::appendRows(folder + QStringLiteral("list.dbf"), entries);

    for (const char* name : {"CONT", "DATA"}) {
        if (!emlo::CreateTableFile(emlo::TableDefOf(QLatin1String(name)),
                                   folder + QString::fromLatin1(name).toLower() + QStringLiteral(".dbf")))
            throw std::runtime_error("cannot create a fixture table");
    }
    emlo::testing::appendRows(folder + QStringLiteral("cont.dbf"),
                              {{1, QStringLiteral("01001"), QStringLiteral("Арсен"), 0.001},
                               {2, QStringLiteral("01002"), QStringLiteral("Ванадій"), 0.02},
                               {3, QStringLiteral("01003"), QStringLiteral("Залізо"), 0.1}});

    rec.setTableName(folder + QStringLiteral("rec.dbf"));
    rec.Open();
    dsRec.setDataSet(&rec);
    list.setTableName(folder + QStringLiteral("list.dbf"));
    list.Open();
    dsList.setDataSet(&list);
    dsList.setAutoEdit(false);
    cont.setTableName(folder + QStringLiteral("cont.dbf"));
    cont.Open();
    dsCont.setDataSet(&cont);

    TField* contId = data.AddFloatField(QStringLiteral("CONTID"));
    contId->setVisible(false);
    data.AddLookupField(QStringLiteral("CODE"), ftString, 5, &cont, QStringLiteral("CONTID"), QStringLiteral("CODE"),
                        QStringLiteral("CONTID"))
        ->setDisplayLabel(QStringLiteral("Речовина|Код"));
    data.FindField(QStringLiteral("CODE"))->setDisplayWidth(8);
    TField* descr = data.AddLookupField(QStringLiteral("DESCR"), ftString, 80, &cont, QStringLiteral("CONTID"),
                                        QStringLiteral("DESCR"), QStringLiteral("CONTID"));
    descr->setDisplayLabel(QStringLiteral("Речовина|назва"));
    descr->setDisplayWidth(30);
    TFloatField* poten = data.AddFloatField(QStringLiteral("POTEN"));
    poten->setDisplayLabel(QStringLiteral("Потенцiйний"));
    poten->setDisplayFormat(QStringLiteral("############0.000"));
    TFloatField* fact = data.AddFloatField(QStringLiteral("FACT"));
    fact->setDisplayLabel(QStringLiteral("Факт"));
    fact->setDisplayFormat(QStringLiteral("############0.000"));
    TField* limit = data.AddLookupField(QStringLiteral("LIMIT"), ftFloat, 0, &cont, QStringLiteral("CONTID"),
                                        QStringLiteral("LIMIT"), QStringLiteral("CONTID"));
    limit->setDisplayLabel(QStringLiteral("Порiг"));
    limit->setReadOnly(true);
    data.setTableName(folder + QStringLiteral("data.dbf"));
    data.Open();
    dsData.setDataSet(&data);
}

Tables::~Tables()
{
    for (TApolloTable* table : {&data, &cont, &list, &rec}) {
        table->Cancel();
        table->Close();
    }
}

void Tables::addRec(const QString& name, const QVariant& num)
{
    rec.Append();
    rec.FieldByName(QStringLiteral("NAME"))->setAsString(name);
    if (!num.isNull())
        rec.FieldByName(QStringLiteral("NUM"))->setAsVariant(num);
    rec.Post();
}

void Tables::addData(int contId, const QVariant& poten, const QVariant& fact)
{
    data.Append();
    data.FieldByName(QStringLiteral("CONTID"))->setAsInteger(contId);
    if (!poten.isNull())
        data.FieldByName(QStringLiteral("POTEN"))->setAsVariant(poten);
    if (!fact.isNull())
        data.FieldByName(QStringLiteral("FACT"))->setAsVariant(fact);
    data.Post();
}

QString Tables::stored(const QString& file, int recNo, const QString& field) const
{
    TApolloTable table(QStringLiteral("tblStored"));
    table.setTableName(folder + file);
    table.Open();
    table.setRecNo(recNo);
    const QString value = table.RecNo() == recNo ? table.FieldByName(field)->AsString() : QStringLiteral("<none>");
    table.Close();
    return value;
}

int Tables::liveRecords(const QString& file) const
{
    TApolloTable table(QStringLiteral("tblStored"));
    table.setTableName(folder + file);
    table.Open();
    const int count = int(table.VisibleRecNos().size());
    table.Close();
    return count;
}

void typeText(QWidget* widget, const QString& text)
{
    for (const QChar ch : text) {
        const bool ascii = ch.unicode() < 128 && ch.isLetterOrNumber();
        const Qt::Key key = ascii ? Qt::Key(ch.toUpper().unicode()) : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Press, widget, key, QString(ch), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, widget, key, QString(ch), Qt::NoModifier);
    }
}

ControlTest::ControlTest() = default;
ControlTest::~ControlTest() = default;

void ControlTest::init()
{
    m_tables = std::make_unique<Tables>();
    m_dialogs = std::make_unique<emlo::testing::ScriptedDialogs>();
    m_beeps = 0;
    emlo::setBeepHook([this] { ++m_beeps; });
}

void ControlTest::cleanup()
{
    m_window.reset();
    m_dialogs.reset();
    m_tables.reset();
    emlo::setBeepHook(nullptr);
}

void ControlTest::showInWindow(QWidget* control)
{
    m_window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(m_window.get());
    control->setParent(m_window.get());
    layout->addWidget(control);
    m_other = new QLineEdit(m_window.get());
    m_other->setObjectName(QStringLiteral("other"));
    layout->addWidget(m_other);
    m_window->resize(600, 300);
    m_window->show();
    if (!QTest::qWaitForWindowActive(m_window.get()))
        qWarning("window not active");
    control->setFocus();
}

void ControlTest::leaveControl()
{
    m_other->setFocus();
    QApplication::processEvents();
}

QString ControlTest::field(TApolloTable& table, const char* name)
{
    return table.FieldByName(QLatin1String(name))->AsString();
}

}  // namespace dbtest
