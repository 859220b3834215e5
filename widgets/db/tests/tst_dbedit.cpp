// The edit box on a small table: when a change reaches the record and the
// file, how a change is given up, which characters are refused. Modal boxes
// are answered through the dialog seam.
#include <QApplication>
#include <QClipboard>
#include <QTest>

#include "dbtestsupport.h"
#include "store/fields.h"
#include "widgets/db/dbedit.h"

using namespace emlo;
using dbtest::typeText;

class TestDbEdit : public dbtest::ControlTest {
    Q_OBJECT
private slots:
    void firstKeystrokeOnEmptyTableStartsTheRecord();
    void changeReachesTheFieldOnlyAtCommit();
    void postCollectsThePendingChange();
    void handledUpdateDataWritesNothing();
    void escapeGivesTheChangeUp();
    void emptiedBoxClearsTheField();
    void characterWindows1251CannotHoldIsRefused();
    void maxLengthFollowsTheFieldWidth();
    void maskedBoxHandsOnTheDigitsOnly();
    void maskedBoxStartsTheRecordOnAnEmptyTable();
    void keyPressHandlerCanDiscardACharacter();
    void boxShowsTheNewCurrentRecord();
};

void TestDbEdit::firstKeystrokeOnEmptyTableStartsTheRecord()
{
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NAME"));
    QVERIFY(m_tables->rec.IsEmpty());

    typeText(box, QStringLiteral("Ж"));
    QCOMPARE(m_tables->rec.State(), dsInsert);
    QCOMPARE(box->text(), QStringLiteral("Ж"));

    typeText(box, QStringLiteral("ук"));
    leaveControl();
    m_tables->rec.Post();
    QCOMPARE(m_tables->stored(QStringLiteral("rec.dbf"), 1, QStringLiteral("NAME")), QStringLiteral("Жук"));
}

void TestDbEdit::changeReachesTheFieldOnlyAtCommit()
{
    m_tables->addRec(QStringLiteral("old"), 5);
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NAME"));
    box->selectAll();
    typeText(box, QStringLiteral("new"));
    QCOMPARE(m_tables->rec.State(), dsEdit);
    QCOMPARE(field(m_tables->rec, "NAME"), QStringLiteral("old"));
    QVERIFY(box->Modified());

    leaveControl();
    QCOMPARE(field(m_tables->rec, "NAME"), QStringLiteral("new"));
    QVERIFY(!box->Modified());
    QCOMPARE(m_tables->stored(QStringLiteral("rec.dbf"), 1, QStringLiteral("NAME")), QStringLiteral("old"));
}

void TestDbEdit::postCollectsThePendingChange()
{
    m_tables->addRec(QStringLiteral("old"), 5);
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NUM"));
    box->selectAll();
    typeText(box, QStringLiteral("42"));
    QVERIFY(box->hasFocus());

    m_tables->rec.Post();
    QCOMPARE(m_tables->stored(QStringLiteral("rec.dbf"), 1, QStringLiteral("NUM")), QStringLiteral("42"));
    QCOMPARE(box->text(), QStringLiteral("42"));
    QVERIFY(!box->Modified());
}

void TestDbEdit::handledUpdateDataWritesNothing()
{
    m_tables->addRec(QStringLiteral("old"), 5);
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NUM"));
    int calls = 0;
    box->OnUpdateData = [&](DbEdit& sender, bool& handled) {
        ++calls;
        QVERIFY(!handled);
        QCOMPARE(sender.text(), QStringLiteral("77"));
        handled = true;
    };
    box->selectAll();
    typeText(box, QStringLiteral("77"));
    leaveControl();
    QCOMPARE(calls, 1);
    QCOMPARE(field(m_tables->rec, "NUM"), QStringLiteral("5"));
    // The record stays in editing; posting writes it unchanged and shows the stored value.
    QCOMPARE(m_tables->rec.State(), dsEdit);
    m_tables->rec.Post();
    QCOMPARE(calls, 1);
    QCOMPARE(m_tables->stored(QStringLiteral("rec.dbf"), 1, QStringLiteral("NUM")), QStringLiteral("5"));
    QCOMPARE(box->text(), QStringLiteral("5"));
}

void TestDbEdit::escapeGivesTheChangeUp()
{
    m_tables->addRec(QStringLiteral("old"), 5);
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NAME"));
    box->selectAll();
    typeText(box, QStringLiteral("new"));
    QTest::keyClick(box, Qt::Key_Escape);
    QCOMPARE(box->text(), QStringLiteral("old"));
    QVERIFY(!box->Modified());
    m_tables->rec.Post();
    QCOMPARE(m_tables->stored(QStringLiteral("rec.dbf"), 1, QStringLiteral("NAME")), QStringLiteral("old"));
}

void TestDbEdit::emptiedBoxClearsTheField()
{
    m_tables->addRec(QStringLiteral("old"), 5);
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NUM"));
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    leaveControl();
    QVERIFY(m_tables->rec.FieldByName(QStringLiteral("NUM"))->IsNull());
    m_tables->rec.Post();
    QCOMPARE(m_tables->stored(QStringLiteral("rec.dbf"), 1, QStringLiteral("NUM")), QString());
}

void TestDbEdit::characterWindows1251CannotHoldIsRefused()
{
    m_tables->addRec(QStringLiteral("ab"), 5);
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NAME"));
    box->end(false);

    typeText(box, QStringLiteral("ŵ"));
    QCOMPARE(box->text(), QStringLiteral("ab"));
    QCOMPARE(m_beeps, 1);

    QApplication::clipboard()->setText(QStringLiteral("x中y"));
    box->paste();
    QCOMPARE(box->text(), QStringLiteral("ab"));
    QCOMPARE(m_beeps, 2);

    // What the code page holds passes, Cyrillic and the euro sign included.
    QApplication::clipboard()->setText(QStringLiteral("Ї€"));
    box->paste();
    QCOMPARE(box->text(), QStringLiteral("abЇ€"));
    QCOMPARE(m_beeps, 2);
    QCOMPARE(m_tables->rec.State(), dsEdit);
}

void TestDbEdit::maxLengthFollowsTheFieldWidth()
{
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NAME"));
    typeText(box, QStringLiteral("абвгдеєжзийклм"));
    QCOMPARE(box->text(), QStringLiteral("абвгдеєжзи"));
}

void TestDbEdit::maskedBoxHandsOnTheDigitsOnly()
{
    m_tables->addRec(QStringLiteral("x"), QVariant());
    auto* box = host(new DbEdit);
    box->setEditMask(QStringLiteral("99;0;_"));
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NUM"));
    QCOMPARE(box->displayText(), QStringLiteral("__"));
    box->setCursorPosition(0);
    typeText(box, QStringLiteral("7"));
    QCOMPARE(box->displayText(), QStringLiteral("7_"));
    typeText(box, QStringLiteral("a"));
    QCOMPARE(box->displayText(), QStringLiteral("7_"));
    leaveControl();
    QCOMPARE(field(m_tables->rec, "NUM"), QStringLiteral("7"));
}

void TestDbEdit::maskedBoxStartsTheRecordOnAnEmptyTable()
{
    auto* box = host(new DbEdit);
    box->setEditMask(QStringLiteral("99;0;_"));
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NUM"));
    box->setCursorPosition(2);  // behind the mask: focus puts the cursor back
    m_other->setFocus();
    box->setFocus();
    typeText(box, QStringLiteral("60"));
    QCOMPARE(m_tables->rec.State(), dsInsert);
    QCOMPARE(box->text(), QStringLiteral("60"));
    m_tables->rec.Post();
    QCOMPARE(m_tables->stored(QStringLiteral("rec.dbf"), 1, QStringLiteral("NUM")), QStringLiteral("60"));
}

void TestDbEdit::keyPressHandlerCanDiscardACharacter()
{
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NAME"));
    QString seen;
    box->OnKeyPress = [&](DbEdit&, QChar& key) {
        seen += key;
        if (key == QLatin1Char('x'))
            key = QChar(0);
    };
    typeText(box, QStringLiteral("axb"));
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(box->text(), QStringLiteral("ab"));
    QCOMPARE(seen, QStringLiteral("axb") + QChar(3));
}

void TestDbEdit::boxShowsTheNewCurrentRecord()
{
    m_tables->addRec(QStringLiteral("first"), 1);
    m_tables->addRec(QStringLiteral("second"), 2);
    auto* box = host(new DbEdit);
    box->setDataSource(&m_tables->dsRec);
    box->setDataField(QStringLiteral("NAME"));
    m_tables->rec.First();
    QCOMPARE(box->text(), QStringLiteral("first"));
    m_tables->rec.Next();
    QCOMPARE(box->text(), QStringLiteral("second"));
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestDbEdit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dbedit.moc"
