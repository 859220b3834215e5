// Qt's own texts that a user meets (context menus, the print and file
// dialogs) come in Ukrainian once the program has loaded Qt's translations.
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include <memory>

#include "widgets/qttranslations.h"

using namespace emlo;

class TestQtTranslations : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(installQtTranslations(*QCoreApplication::instance())); }

    void lineEditContextMenuIsUkrainian()
    {
        QLineEdit edit(QStringLiteral("текст"));
        const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QStringList texts;
        for (const QAction* action : menu->actions()) {
            if (!action->isSeparator())
                texts << action->text();
        }
        QVERIFY(!texts.isEmpty());
        for (const QString& english :
             {QStringLiteral("&Undo"), QStringLiteral("&Copy"), QStringLiteral("&Paste"), QStringLiteral("Select All")})
            QVERIFY2(!texts.contains(english), qPrintable(texts.join(QLatin1Char('|'))));
        QVERIFY2(texts.join(QString()).contains(QStringLiteral("Копіювати")), qPrintable(texts.join(QLatin1Char('|'))));
    }

    void toolkitTextsAreTranslated_data()
    {
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("english");
        QTest::newRow("file list header") << "QFileSystemModel"
                                          << "Name";
        QTest::newRow("print dialog button") << "QPrintDialog"
                                             << "&Print";
        QTest::newRow("print dialog options") << "QPrintDialog"
                                              << "&Options >>";
        QTest::newRow("message box button") << "QPlatformTheme"
                                            << "Cancel";
    }

    void toolkitTextsAreTranslated()
    {
        QFETCH(QString, context);
        QFETCH(QString, english);
        const QString translated =
            QCoreApplication::translate(context.toLatin1().constData(), english.toLatin1().constData());
        QVERIFY2(translated != english, qPrintable(context + QStringLiteral(": ") + english));
    }
};

QTEST_MAIN(TestQtTranslations)
#include "tst_qttranslations.moc"
