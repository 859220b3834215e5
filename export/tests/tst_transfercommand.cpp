// The transfer command as the user meets it: the check gate, the folder
// dialog, the wait cursor and the three messages, with modal boxes answered
// by a script.

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include "check/datacheck.h"
#include "export/ui/transfercommand.h"
#include "store/cp1251.h"
#include "store/errors.h"
#include "export/tests/support/exportfixture.h"
#include "widgets/testing/scripteddialogs.h"

using namespace emlo;
using namespace emlo::testing;

namespace {

const QList<ContRow> kPollutants = {
    {1, QStringLiteral("0301"), QStringLiteral("Азоту діоксид"), 1.0},
    {2, QStringLiteral("0330"), QStringLiteral("Сірки діоксид"), 2.0},
    {132, QStringLiteral("0300"), QStringLiteral("Речовини групи 1"), QVariant()},
};

bool waitCursorShown()
{
    const QCursor* cursor = QApplication::overrideCursor();
    return cursor != nullptr && cursor->shape() == Qt::WaitCursor;
}

// A command over the fixture's tables whose check gate runs the real data check.
struct CommandRig {
    explicit CommandRig(ProgramFolder& fx)
        : command(fx.Data(), [this, &fx] {
              ++checks;
              return checkPasses && DataCheck(*fx.Data().tblAttr, *fx.Data().tblData).CheckData();
          })
    {
        command.ShowWaitCursor = [this] {
            ++cursorShows;
            QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        };
    }

    bool checkPasses = true;
    int checks = 0;
    int cursorShows = 0;
    TransferCommand command;
};

}  // namespace

class TestTransferCommand : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void exportWritesBothFilesUnderTheHourglass_data();
    void exportWritesBothFilesUnderTheHourglass();
    void checkWithRemarksStopsBeforeTheFolderDialog();
    void cancelledFolderDialogWritesNothing();
    void writeErrorIsReportedAfterTheCursorIsRestored();
    void emptyFolderNameFailsWithoutExport();
    void exportCarriesRecalculatedTotalsAndRestoresOpenStates();
};

void TestTransferCommand::cleanup()
{
    QVERIFY2(QApplication::overrideCursor() == nullptr, "the wait cursor was left on");
}

void TestTransferCommand::exportWritesBothFilesUnderTheHourglass_data()
{
    QTest::addColumn<bool>("trailingSeparator");
    QTest::newRow("folder without trailing separator") << false;
    QTest::newRow("folder with trailing separator") << true;
}

void TestTransferCommand::exportWritesBothFilesUnderTheHourglass()
{
    QFETCH(bool, trailingSeparator);
    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    fx.Open();
    QMap<QString, QVariant> attr = ProgramFolder::FullAttr();
    attr[QStringLiteral("EDRPOU")] = QStringLiteral("01234567");
    fx.WriteAttr(attr);
    fx.AddData(2, 1.5, 0.5);
    // Existing files are replaced without a question.
    WriteFile(fx.OutDir() + QStringLiteral("data.xml"), "old\r\n");

    ScriptedDialogs dialogs;
    QString folder = fx.OutDir();
    if (!trailingSeparator)
        folder.chop(1);
    dialogs.queueFolder(true, folder);
    bool hourglassDuringMessage = false;
    dialogs.onMessage = [&](const MessageRequest&) { hourglassDuringMessage = waitCursorShown(); };

    CommandRig rig(fx);
    rig.command.actTransferExecute();

    QCOMPARE(dialogs.folderRequests(), QStringList{QString()});
    QCOMPARE(dialogs.messages().size(), 1);
    const MessageRequest& message = dialogs.messages().first();
    QCOMPARE(message.kind, MsgKind::Information);
    QCOMPARE(message.text, QStringLiteral("Інформація успішно вигружені"));
    QCOMPARE(message.buttons, MsgButton::Ok | MsgButton::Help);
    QCOMPARE(message.helpTopic, 20005);
    QVERIFY(hourglassDuringMessage);

    QCOMPARE(FolderEntries(fx.OutDir()), (QStringList{QStringLiteral("attr.xml"), QStringLiteral("data.xml")}));
    QVERIFY(fromCp1251(ReadFile(fx.OutDir() + QStringLiteral("attr.xml")))
                .contains(QStringLiteral(R"(EDRPOU="01234567")")));
    QVERIFY(fromCp1251(ReadFile(fx.OutDir() + QStringLiteral("data.xml")))
                .contains(QStringLiteral(R"(<ROW CONTID="2,000")")));
}

void TestTransferCommand::checkWithRemarksStopsBeforeTheFolderDialog()
{
    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    fx.Open();
    ScriptedDialogs dialogs;
    CommandRig rig(fx);
    rig.checkPasses = false;

    rig.command.actTransferExecute();

    QCOMPARE(rig.checks, 1);
    QVERIFY(dialogs.folderRequests().isEmpty());
    QVERIFY(dialogs.messages().isEmpty());
    QCOMPARE(rig.cursorShows, 0);
}

void TestTransferCommand::cancelledFolderDialogWritesNothing()
{
    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    fx.Open();
    fx.WriteAttr(ProgramFolder::FullAttr());
    ScriptedDialogs dialogs;
    dialogs.queueFolder(false);
    const QString startFolder = QDir::currentPath();

    CommandRig rig(fx);
    rig.command.actTransferExecute();

    QCOMPARE(dialogs.messages().size(), 1);
    const MessageRequest& message = dialogs.messages().first();
    QCOMPARE(message.kind, MsgKind::Information);
    QCOMPARE(message.text, QStringLiteral("Шлях для вигруження не вказан. Вигруження неможливе."));
    QCOMPARE(message.buttons, MsgButton::Ok | MsgButton::Help);
    QCOMPARE(message.helpTopic, 20004);
    QCOMPARE(rig.cursorShows, 0);
    QCOMPARE(FolderEntries(fx.OutDir()), QStringList());
    QCOMPARE(FolderEntries(startFolder).filter(QStringLiteral(".xml")), QStringList());
}

void TestTransferCommand::writeErrorIsReportedAfterTheCursorIsRestored()
{
    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    fx.Open();
    fx.WriteAttr(ProgramFolder::FullAttr());
    QVERIFY(QDir(fx.OutDir()).mkdir(QStringLiteral("attr.xml")));

    ScriptedDialogs dialogs;
    dialogs.queueFolder(true, fx.OutDir());
    bool hourglassDuringMessage = true;
    dialogs.onMessage = [&](const MessageRequest&) { hourglassDuringMessage = waitCursorShown(); };

    CommandRig rig(fx);
    rig.command.actTransferExecute();

    QCOMPARE(dialogs.messages().size(), 1);
    const MessageRequest& message = dialogs.messages().first();
    QCOMPARE(message.kind, MsgKind::Error);
    QCOMPARE(message.text,
             QStringLiteral("Помилка вигрузки інформації:\r\nCannot create file ") + fx.OutDir()
                 + QStringLiteral("attr.xml"));
    QCOMPARE(message.buttons, MsgButton::Ok | MsgButton::Help);
    QCOMPARE(message.helpTopic, 20006);
    QVERIFY(!hourglassDuringMessage);
    QCOMPARE(rig.cursorShows, 1);
    // data.xml is not attempted after attr.xml failed.
    QCOMPARE(FolderEntries(fx.OutDir()), QStringList{QStringLiteral("attr.xml")});
}

void TestTransferCommand::emptyFolderNameFailsWithoutExport()
{
    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    fx.Open();
    fx.WriteAttr(ProgramFolder::FullAttr());
    ScriptedDialogs dialogs;
    dialogs.queueFolder(true, QString());

    CommandRig rig(fx);
    QString error;
    try {
        rig.command.actTransferExecute();
    } catch (const Exception& e) {
        error = e.Message;
    }
    QCOMPARE(error, QStringLiteral("Неможливо утворити дiректорiю"));
    QVERIFY(dialogs.messages().isEmpty());
    QCOMPARE(rig.cursorShows, 0);
}

void TestTransferCommand::exportCarriesRecalculatedTotalsAndRestoresOpenStates()
{
    ProgramFolder fx(kPollutants);
    QVERIFY(fx.IsValid());
    TDataModule& dm = fx.Open();
    fx.WriteAttr(ProgramFolder::FullAttr());
    fx.AddData(1, 1.5, 0.0);
    fx.AddData(2, 2.25, 0.0);
    ScriptedDialogs dialogs;
    dialogs.queueFolder(true, fx.OutDir());

    CommandRig rig(fx);
    // The check reads tblAttr; closing it afterwards shows that the export
    // opens a closed table for itself and closes it again.
    rig.command.ShowWaitCursor = [&] {
        ++rig.cursorShows;
        dm.tblAttr->Close();
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    };
    rig.command.actTransferExecute();

    QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("Інформація успішно вигружені")});
    const QString data = fromCp1251(ReadFile(fx.OutDir() + QStringLiteral("data.xml")));
    QVERIFY2(
        data.contains(QStringLiteral(
            R"(<ROW CONTID="132,000" CODE="0300" DESCR="Речовини групи 1" POTEN="3,750" FACT="0,000" LIMIT=""/>)")),
        qPrintable(data));
    QVERIFY(fromCp1251(ReadFile(fx.OutDir() + QStringLiteral("attr.xml"))).contains(QStringLiteral(R"(X1="48")")));
    QVERIFY(!dm.tblAttr->Active());
    QVERIFY(dm.tblData->Active());
    QVERIFY(dm.tblData->Eof());
    QVERIFY(rig.command.expXML.ExportedFields.isEmpty());
}

int main(int argc, char** argv)
{
    qputenv("LC_ALL", "uk_UA.UTF-8");
    QApplication app(argc, argv);
    TestTransferCommand test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_transfercommand.moc"
