// The main window's frame as a user meets it: the commands and their tool
// bar, the navigation bar and its pages, help and About, and the report
// window made when a check first needs it. Modal boxes are answered through
// the dialog seam.
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <cmath>

#include "check/ui/report.h"
#include "shell/tests/support/windowtest.h"
#include "shell/ui/main.h"
#include "widgets/aboutbox.h"
#include "widgets/errorbox.h"
#include "widgets/helpviewer.h"
#include "widgets/outlookbar.h"
#include "widgets/testing/scripteddialogs.h"

using namespace emlo;
using namespace shelltest;

class TestMainFrame : public shelltest::WindowTest {
    Q_OBJECT
private slots:
    void frameHasItsCommandsAndPages();
    void navigationSwitchesPages_data();
    void navigationSwitchesPages();
    void navigationCaptionsStayReadable();
    void helpAndAboutCommands();
    void reportWindowIsMadeWhenACheckFirstNeedsIt();
};

void TestMainFrame::frameHasItsCommandsAndPages()
{
    WindowFolder folder;
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    QVERIFY(dialogs.messages().isEmpty());

    QCOMPARE(w->windowTitle(), QStringLiteral("Державний облік викидів промислових підприємств"));
    QCOMPARE(w->minimumSize(), QSize(600, 350));
    QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w->windowFlags() & Qt::WindowMinimizeButtonHint);

    // Tool bar: actions in order, separators between the groups.
    QStringList bar;
    for (QAction* a : w->ToolBar->actions())
        bar.append(a->isSeparator() ? QStringLiteral("|") : a->objectName());
    QCOMPARE(bar,
             (QStringList{"actPath", "|", "actCheck", "actPrintPreview", "actTransfer", "|", "actHelp", "actAbout", "|",
                          "actExit"}));
    const struct {
        QAction* action;
        const char* caption;
        const char* hint;
        int image;
    } rows[] = {
        {w->actCheck, "Перевiрити", "Перевiрити iнформацію на заповнення", 0},
        {w->actPrintPreview, "Друк", "Попередній перегляд", 1},
        {w->actTransfer, "Вигрузити", "Вигрузити для управлiння в формат Tarvel", 2},
        {w->actHelp, "Допомога", "Допомога щодо роботи з програмою", 4},
        {w->actAbout, "Об авторах...", "Відомості про авторів та версію програми", 7},
        {w->actExit, "Вихід", "Зачинити програму", 3},
        {w->actPath, "Робоча папка", nullptr, 6},
    };
    QCOMPARE(w->ImageList.size(), 8);
    for (const auto& row : rows) {
        QCOMPARE(row.action->text(), QString::fromUtf8(row.caption));
        if (row.hint)
            QCOMPARE(row.action->toolTip(), QString::fromUtf8(row.hint));
        QVERIFY(!row.action->icon().pixmap(32, 32).isNull());
        QCOMPARE(row.action->icon().pixmap(32, 32).toImage(), w->ImageList.at(row.image).pixmap(32, 32).toImage());
        QWidget* button = w->ToolBar->widgetForAction(row.action);
        QCOMPARE(button->size(), QSize(39, 38));
    }
    QCOMPARE(w->actPath->toolTip(), QStringLiteral("Змiнити робочу папку з ") + folder.program);

    // Navigation bar and pages.
    QCOMPARE(w->Outlook->width(), 110);
    QCOMPARE(w->Outlook->activeGroup(), 1);
    QVERIFY(w->Outlook->itemButton(QStringLiteral("Реквізити")));
    QVERIFY(w->Outlook->itemButton(QStringLiteral("Статистичні коди")));
    QVERIFY(w->Outlook->itemButton(QStringLiteral("Викиди")));
    QCOMPARE(w->pc->count(), 3);
    QCOMPARE(w->pc->widget(0), w->tsAttr);
    QCOMPARE(w->pc->widget(1), w->tsCodes);
    QCOMPARE(w->pc->widget(2), w->tsData);
    QCOMPARE(w->pc->tabText(1), QStringLiteral("Коди"));
    QCOMPARE(w->gbAttr->title(), QStringLiteral("Реквізити"));
    QCOMPARE(w->gbCode->title(), QStringLiteral("Статистичні коди"));
    QCOMPARE(w->gbData->title(), QStringLiteral("Викиди"));
    QVERIFY(!w->pc->tabBar()->isVisible());
    QCOMPARE(w->pc->currentWidget(), w->tsAttr);
    w->close();
}

void TestMainFrame::navigationSwitchesPages_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("page");
    QTest::newRow("codes") << QStringLiteral("Статистичні коди") << 1;
    QTest::newRow("emissions") << QStringLiteral("Викиди") << 2;
    QTest::newRow("attributes") << QStringLiteral("Реквізити") << 0;
}

void TestMainFrame::navigationSwitchesPages()
{
    QFETCH(QString, item);
    QFETCH(int, page);
    WindowFolder folder;
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    w->activateWindow();
    // The focus is real only in an active window.
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    w->pc->setCurrentIndex(page == 1 ? 2 : 1);
    QWidget* focused = nullptr;
    for (QWidget* child : w->pc->currentWidget()->findChildren<QWidget*>()) {
        if (child->isVisible() && child->isEnabled() && (child->focusPolicy() & Qt::TabFocus)) {
            focused = child;
            break;
        }
    }
    QVERIFY(focused);
    focused->setFocus(Qt::MouseFocusReason);
    QCOMPARE(QApplication::focusWidget(), focused);

    // The page changes; the focus stays where the user left it.
    QTest::mouseClick(w->Outlook->itemButton(item), Qt::LeftButton);
    QCOMPARE(w->pc->currentIndex(), page);
    QCOMPARE(QApplication::focusWidget(), focused);
    QTest::mouseClick(w->Outlook->itemButton(item), Qt::LeftButton);
    QCOMPARE(w->pc->currentIndex(), page);

    w->OutlookItemClick(w->Outlook, QStringLiteral("Інше"));
    QCOMPARE(w->pc->currentIndex(), page);
    // Only the first group's items lead anywhere.
    w->Outlook->setActiveGroup(w->Outlook->addGroup(QStringLiteral("Iнше")));
    w->OutlookItemClick(w->Outlook, page == 0 ? QStringLiteral("Викиди") : QStringLiteral("Реквізити"));
    QCOMPARE(w->pc->currentIndex(), page);
    w->close();
}

// White captions on the grey bar: hovered and pressed tiles keep a dark
// enough background for them (the style's own panels are near-white).
void TestMainFrame::navigationCaptionsStayReadable()
{
    WindowFolder folder;
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    QToolButton* tile = w->Outlook->itemButton(QStringLiteral("Статистичні коди"));
    QVERIFY(tile);
    const auto luminance = [](QColor c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    for (const char* state : {"plain", "hovered", "pressed"}) {
        tile->setAttribute(Qt::WA_UnderMouse, qstrcmp(state, "plain") != 0);
        tile->setDown(qstrcmp(state, "pressed") == 0);
        // The bar as shown, the grey under the tile included; the background
        // is taken in the middle of the tile's left margin, beside icon and caption.
        const QImage image = w->Outlook->grab().toImage();
        const QColor background = image.pixelColor(tile->mapTo(w->Outlook, QPoint(4, tile->height() / 2)));
        const double lighter = qMax(luminance(background), luminance(QColor(Qt::white)));
        const double darker = qMin(luminance(background), luminance(QColor(Qt::white)));
        QVERIFY2((lighter + 0.05) / (darker + 0.05) >= 3.0, state);
    }
    tile->setDown(false);
    tile->setAttribute(Qt::WA_UnderMouse, false);
    w->close();
}

void TestMainFrame::helpAndAboutCommands()
{
    WindowFolder folder;
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);

    w->actHelp->trigger();
    QVERIFY(HelpSystem::viewer());
    QCOMPARE(HelpSystem::viewer()->currentTopic(), 0);
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    QTest::keyClick(w.get(), Qt::Key_F1);
    QCOMPARE(HelpSystem::viewer()->currentTopic(), 1000);

    QStringList shown;
    bool iconShown = false;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<AboutBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        for (QLabel* label : box->findChildren<QLabel*>()) {
            if (!label->text().isEmpty())
                shown.append(label->text());
            if (label->objectName() == QStringLiteral("aboutIcon"))
                iconShown = !label->pixmap().isNull();
        }
        box->accept();
    });
    w->actAbout->trigger();
    QVERIFY(shown.contains(QStringLiteral("Emlo, вер. 1.3")));
    QVERIFY(shown.contains(QStringLiteral("Державний облік викидів промислових підприємств")));
    QVERIFY(iconShown);
    w->close();
}

// The report window is not made at start-up (it is hidden until a check
// shows it): a folder change before any check has no report to clear, and
// the first check makes it and shows its remarks; later checks reuse it.
void TestMainFrame::reportWindowIsMadeWhenACheckFirstNeedsIt()
{
    WindowFolder folder;
    const QString work = folder.folder(QStringLiteral("work"));
    folder.setSetting(work.toUtf8());
    testing::ScriptedDialogs dialogs;
    auto w = start(folder);
    QVERIFY(!w->frmReport);
    QVERIFY(!w->findChild<TfrmReport*>());

    dialogs.queueFolder(true, folder.folder(QStringLiteral("other")));
    dialogs.queueAnswer(MsgAnswer::Yes);
    w->actPath->trigger();
    QCOMPARE(w->WorkPath(), folder.folder(QStringLiteral("other")));
    QVERIFY(!w->frmReport);

    w->actCheck->trigger();
    TfrmReport* report = w->frmReport.get();
    QVERIFY(report);
    QVERIFY(report->isVisible());
    QVERIFY(report->RemarkCount() > 0);  // the new folder's empty record
    w->actCheck->trigger();
    QCOMPARE(w->frmReport.get(), report);
}

int main(int argc, char** argv)
{
    Application app(argc, argv);
    TestMainFrame test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainframe.moc"
