// The help file format, the help window, and the program's own help file.
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include "widgets/helpfile.h"
#include "widgets/helpviewer.h"

using namespace emlo;

class TestHelpViewer : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void parsesTopicsAndTitle();
    void withoutHelpFileRequestsDoNothing();
    void topicRequestOpensThatTopic();
    void unknownTopicFallsBackToContents();
    void linksAreFollowedAndBackReturns();
    void programHelpFileHasEveryTopic_data();
    void programHelpFileHasEveryTopic();
    void programHelpFileLinksResolve();

private:
    QString writeHelp(const QByteArray& content);
    QTemporaryDir m_dir;
};

QString TestHelpViewer::writeHelp(const QByteArray& content)
{
    const QString path = m_dir.filePath(QStringLiteral("EMLO.HLP"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write(content);
    return path;
}

void TestHelpViewer::cleanup()
{
    if (HelpSystem::viewer())
        delete HelpSystem::viewer();
    HelpSystem::setHelpFile(QString());
}

void TestHelpViewer::parsesTopicsAndTitle()
{
    HelpFile help;
    help.parse(QStringLiteral("ignored line\r\n@title Довідка\r\n; a comment\r\n"
                              "@topic 0 Зміст\r\nSee [main](topic:1000).\r\n; hidden\r\n"
                              "@topic 1000   Головне вікно  \r\nLine one.\r\n\r\nLine two.\r\n"));
    QCOMPARE(help.title(), QStringLiteral("Довідка"));
    QCOMPARE(help.topicNumbers(), (QList<int>{0, 1000}));
    QCOMPARE(help.topic(1000).heading, QStringLiteral("Головне вікно"));
    QCOMPARE(help.topic(1000).body, QStringLiteral("Line one.\n\nLine two."));
    QCOMPARE(help.topic(0).body, QStringLiteral("See [main](topic:1000)."));
    QVERIFY(!help.hasTopic(9000));
}

void TestHelpViewer::withoutHelpFileRequestsDoNothing()
{
    HelpSystem::setHelpFile(QString());
    HelpSystem::showContents();
    HelpSystem::showTopic(1000);
    QVERIFY(!HelpSystem::viewer());
}

void TestHelpViewer::topicRequestOpensThatTopic()
{
    HelpSystem::setHelpFile(writeHelp("@title Emlo\n@topic 0 Contents\nAll topics.\n"
                                      "@topic 9000 Fatal stop\nThe program has to stop.\n"));
    HelpSystem::showTopic(9000);
    HelpViewer* viewer = HelpSystem::viewer();
    QVERIFY(viewer);
    QVERIFY(viewer->isVisible());
    QCOMPARE(viewer->windowTitle(), QStringLiteral("Emlo"));
    QCOMPARE(viewer->currentTopic(), 9000);
    QVERIFY(viewer->currentText().contains(QStringLiteral("Fatal stop")));
    QVERIFY(viewer->currentText().contains(QStringLiteral("The program has to stop.")));
    HelpSystem::showContents();
    QCOMPARE(HelpSystem::viewer(), viewer);
    QCOMPARE(viewer->currentTopic(), 0);
}

void TestHelpViewer::unknownTopicFallsBackToContents()
{
    HelpSystem::setHelpFile(writeHelp("@topic 0 Contents\nAll topics.\n"));
    HelpSystem::showTopic(4242);
    QVERIFY(HelpSystem::viewer());
    QCOMPARE(HelpSystem::viewer()->currentTopic(), 0);
}

void TestHelpViewer::linksAreFollowedAndBackReturns()
{
    HelpSystem::setHelpFile(writeHelp("@topic 0 Contents\n[Main window](topic:1000)\n"
                                      "@topic 1000 Main window\nText.\n"));
    HelpSystem::showContents();
    HelpViewer* viewer = HelpSystem::viewer();
    auto* browser = viewer->findChild<QTextBrowser*>(QStringLiteral("helpText"));
    QVERIFY(browser);
    emit browser->anchorClicked(QUrl(QStringLiteral("topic:1000")));
    QCOMPARE(viewer->currentTopic(), 1000);
    viewer->back();
    QCOMPARE(viewer->currentTopic(), 0);
}

void TestHelpViewer::programHelpFileHasEveryTopic_data()
{
    QTest::addColumn<int>("topic");
    for (int topic : {0, 1000, 7500, 9000, 20001, 20002, 20004, 20005, 20006, 20007, 20008})
        QTest::newRow(QByteArray::number(topic).constData()) << topic;
}

void TestHelpViewer::programHelpFileHasEveryTopic()
{
    QFETCH(int, topic);
    HelpFile help;
    QVERIFY2(help.load(QStringLiteral(EMLO_HELP_SOURCE)), qPrintable(help.errorString()));
    QVERIFY(help.hasTopic(topic));
    QVERIFY(!help.topic(topic).heading.isEmpty());
    QVERIFY(help.topic(topic).body.size() > 80);
}

void TestHelpViewer::programHelpFileLinksResolve()
{
    HelpFile help;
    QVERIFY(help.load(QStringLiteral(EMLO_HELP_SOURCE)));
    static const QRegularExpression link(QStringLiteral("\\]\\(topic:(\\d+)\\)"));
    for (int number : help.topicNumbers()) {
        auto it = link.globalMatch(help.topic(number).body);
        while (it.hasNext()) {
            const int target = it.next().captured(1).toInt();
            QVERIFY2(help.hasTopic(target),
                     qPrintable(QStringLiteral("topic %1 links to missing %2").arg(number).arg(target)));
        }
    }
    // Every topic can be reached from the contents.
    for (int number : help.topicNumbers()) {
        if (number != HelpFile::kContents)
            QVERIFY2(help.topic(0).body.contains(QStringLiteral("(topic:%1)").arg(number)),
                     qPrintable(QString::number(number)));
    }
}

QTEST_MAIN(TestHelpViewer)
#include "tst_helpviewer.moc"
