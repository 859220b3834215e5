// The navigator on a small table: which buttons the table's state allows,
// and a delete that asks first (answered through the dialog seam).
#include <QApplication>
#include <QTest>
#include <QToolButton>

#include "dbtestsupport.h"
#include "widgets/db/dbnavigator.h"
#include "widgets/testing/scripteddialogs.h"

using namespace emlo;
using dbtest::typeText;

class TestDbNavigator : public dbtest::ControlTest {
    Q_OBJECT
private slots:
    void navigatorButtonsFollowTheTable();
    void navigatorDeleteAsksFirst();
};

void TestDbNavigator::navigatorButtonsFollowTheTable()
{
    auto* nav = host(new DbNavigator);
    nav->setButtons({DbNavigator::First, DbNavigator::Prior, DbNavigator::Next, DbNavigator::Last, DbNavigator::Insert,
                     DbNavigator::Delete, DbNavigator::Edit, DbNavigator::Post, DbNavigator::Cancel,
                     DbNavigator::Refresh},
                    {});
    nav->setDataSource(&m_tables->dsRec);
    auto enabled = [nav] {
        QString s;
        for (int b = DbNavigator::First; b <= DbNavigator::Refresh; ++b)
            s += nav->button(DbNavigator::Button(b))->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        return s;
    };
    //                 first prior next last insert delete edit post cancel refresh
    QCOMPARE(enabled(), QStringLiteral("0000101001"));  // empty table
    m_tables->addRec(QStringLiteral("a"), 1);
    m_tables->addRec(QStringLiteral("b"), 2);
    m_tables->rec.First();
    QCOMPARE(enabled(), QStringLiteral("0011111001"));
    m_tables->rec.Last();
    QCOMPARE(enabled(), QStringLiteral("1100111001"));
    m_tables->rec.Edit();
    QCOMPARE(enabled(), QStringLiteral("1100110111"));
    m_tables->rec.Cancel();
    nav->BtnClick(DbNavigator::Insert);
    QCOMPARE(m_tables->rec.State(), dsInsert);
    QCOMPARE(enabled(), QStringLiteral("1111110111"));
    nav->BtnClick(DbNavigator::Cancel);
    QCOMPARE(m_tables->rec.State(), dsBrowse);
    m_tables->rec.setReadOnly(true);
    m_tables->rec.Close();
    m_tables->rec.Open();
    QCOMPARE(enabled(), QStringLiteral("0011000001"));
    m_tables->rec.Close();
    QCOMPARE(enabled(), QStringLiteral("0000000000"));
}

void TestDbNavigator::navigatorDeleteAsksFirst()
{
    m_tables->addRec(QStringLiteral("a"), 1);
    m_tables->addRec(QStringLiteral("b"), 2);
    auto* nav = host(new DbNavigator);
    nav->setButtons({DbNavigator::Delete}, {QStringLiteral("Удалити")});
    nav->setDataSource(&m_tables->dsRec);
    QCOMPARE(nav->button(DbNavigator::Delete)->toolTip(), QStringLiteral("Удалити"));
    m_tables->rec.First();

    m_dialogs->queueAnswer(MsgAnswer::Cancel);
    QTest::mouseClick(nav->button(DbNavigator::Delete), Qt::LeftButton);
    QCOMPARE(m_tables->liveRecords(QStringLiteral("rec.dbf")), 2);
    QCOMPARE(m_dialogs->messages().size(), 1);
    const MessageRequest& asked = m_dialogs->messages().first();
    QCOMPARE(asked.text, QStringLiteral("Delete record?"));
    QCOMPARE(asked.kind, MsgKind::Confirmation);
    QCOMPARE(asked.buttons, MsgButtons(MsgButton::Ok | MsgButton::Cancel));

    m_dialogs->queueAnswer(MsgAnswer::Ok);
    QTest::mouseClick(nav->button(DbNavigator::Delete), Qt::LeftButton);
    QCOMPARE(m_tables->liveRecords(QStringLiteral("rec.dbf")), 1);
    QCOMPARE(field(m_tables->rec, "NAME"), QStringLiteral("b"));
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestDbNavigator test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dbnavigator.moc"
