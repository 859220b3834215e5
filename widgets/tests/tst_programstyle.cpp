// The program's style must draw exactly what Fusion draws, and building a
// tool bar and painting a group box under it must not load the image-format
// plugins (the reason it exists).
#include <memory>

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTest>
#include <QToolBar>
#include <QVBoxLayout>

#include "widgets/programstyle.h"

using namespace emlo;

namespace {

bool imagePluginsLoaded()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    return maps.readAll().contains("/imageformats/");
}

// A group box as the program's pages have it, drawn under `style`.
QImage drawnBox(QStyle* style, const QString& title, bool checkable, bool flat)
{
    QGroupBox box(title);
    box.setCheckable(checkable);
    box.setFlat(flat);
    box.setStyle(style);
    auto* layout = new QVBoxLayout(&box);
    layout->addWidget(new QLineEdit(QStringLiteral("Реквізити")));
    box.resize(220, 90);
    return box.grab().toImage();
}

QImage iconPixels(const QIcon& icon, QSize size)
{
    return icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

class TestProgramStyle : public QObject {
    Q_OBJECT
private slots:
    // First: the other cases draw with plain Fusion, which loads the plugins.
    void toolBarAndGroupBoxLoadNoImagePlugin()
    {
        QVERIFY2(!imagePluginsLoaded(), "loaded before the test");
        auto* style = new ProgramStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setStyle(style);  // as the program sets it: every widget made after
        QWidget window;
        auto* toolBar = new QToolBar(&window);
        toolBar->addAction(QStringLiteral("Друк"));
        (void)drawnBox(style, QStringLiteral("Реквізити"), false, false);
        (void)window.grab();
        QVERIFY(!imagePluginsLoaded());
    }

    void groupBoxFramesAreFusions_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("checkable");
        QTest::addColumn<bool>("flat");
        QTest::newRow("titled") << QStringLiteral("Реквізити") << false << false;
        QTest::newRow("untitled") << QString() << false << false;
        QTest::newRow("checkable, untitled") << QString() << true << false;
        QTest::newRow("checkable") << QStringLiteral("Коди") << true << false;
        QTest::newRow("flat") << QStringLiteral("Викиди") << false << true;
    }

    void groupBoxFramesAreFusions()
    {
        QFETCH(QString, title);
        QFETCH(bool, checkable);
        QFETCH(bool, flat);
        std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
        ProgramStyle program(QStyleFactory::create(QStringLiteral("Fusion")));
        QCOMPARE(drawnBox(&program, title, checkable, flat), drawnBox(fusion.get(), title, checkable, flat));
    }

    void toolBarArrowsAreFusions_data()
    {
        QTest::addColumn<int>("pixmap");
        QTest::addColumn<Qt::LayoutDirection>("direction");
        QTest::newRow("horizontal") << int(QStyle::SP_ToolBarHorizontalExtensionButton) << Qt::LeftToRight;
        QTest::newRow("horizontal, right to left")
            << int(QStyle::SP_ToolBarHorizontalExtensionButton) << Qt::RightToLeft;
        QTest::newRow("vertical") << int(QStyle::SP_ToolBarVerticalExtensionButton) << Qt::LeftToRight;
    }

    void toolBarArrowsAreFusions()
    {
        QFETCH(int, pixmap);
        QFETCH(Qt::LayoutDirection, direction);
        std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
        ProgramStyle program(QStyleFactory::create(QStringLiteral("Fusion")));
        QStyleOption option;
        option.direction = direction;
        const auto which = QStyle::StandardPixmap(pixmap);
        const QIcon expected = fusion->standardIcon(which, &option);
        const QIcon actual = program.standardIcon(which, &option);
        QCOMPARE(actual.availableSizes(), expected.availableSizes());
        for (const QSize& size : expected.availableSizes())
            QCOMPARE(iconPixels(actual, size), iconPixels(expected, size));
    }

    void otherStylesAreLeftAlone()
    {
        std::unique_ptr<QStyle> windows(QStyleFactory::create(QStringLiteral("Windows")));
        if (!windows)
            QSKIP("no Windows style in this toolkit");
        ProgramStyle program(QStyleFactory::create(QStringLiteral("Windows")));
        QCOMPARE(drawnBox(&program, QStringLiteral("Реквізити"), false, false),
                 drawnBox(windows.get(), QStringLiteral("Реквізити"), false, false));
    }
};

QTEST_MAIN(TestProgramStyle)
#include "tst_programstyle.moc"
