#include "pagetest.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QLocale>
#include <QTest>

#include "store/fields.h"
#include "widgets/errorbox.h"
#include "widgets/outlookbar.h"
#include "widgets/db/beep.h"

using namespace emlo;

namespace entrytest {

PageTest::PageTest() = default;
PageTest::~PageTest() = default;

void PageTest::initTestCase()
{
    Application::setTitle(QStringLiteral("Dazodevur"));
    m_savedCurrent = QDir::currentPath();
    const QByteArray expected = qgetenv("EMLO_EXPECT_DECIMAL");
    if (!expected.isEmpty())
        QCOMPARE(QString(QLocale::system().decimalPoint()), QString::fromUtf8(expected));
}

void PageTest::init()
{
    m_folders = std::make_unique<Folders>();
    m_folders->writeSettings();
    m_folders->writeHelpFile();
    m_dialogs = std::make_unique<testing::ScriptedDialogs>();
    m_beeps = 0;
    setBeepHook([this] { ++m_beeps; });
    m_refusals.clear();
    setRefusalHook([this](const QString& text) { m_refusals.append(text); });
    ResetProgramEndRequest();
    SetProgramEndHandler([] {});
}

void PageTest::cleanup()
{
    m_window.reset();
    m_dialogs.reset();
    m_folders.reset();
    setBeepHook(nullptr);
    setRefusalHook(nullptr);
    SetProgramEndHandler(nullptr);
    ResetProgramEndRequest();
    QDir::setCurrent(m_savedCurrent);
}

void PageTest::start()
{
    m_window = std::make_unique<TfrmMain>(AppPaths{m_folders->program, m_folders->settings});
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QCOMPARE(m_dialogs->texts(), QStringList());
}

void PageTest::showPage(const char* item)
{
    m_window->OutlookItemClick(m_window->Outlook, QString::fromUtf8(item));
    QApplication::processEvents();
}

void PageTest::leave(QWidget* box)
{
    QWidget* next = box->nextInFocusChain();
    auto control = [](QWidget* w) { return qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractItemView*>(w); };
    while (next != box && (!next->isVisible() || !next->isEnabled() || !control(next)))
        next = next->nextInFocusChain();
    QVERIFY(next != box);
    next->setFocus();
    QApplication::processEvents();
    QVERIFY(!box->hasFocus());
}

QString PageTest::stored(const char* field) const
{
    return storedValue(m_folders->work + QStringLiteral("attr.dbf"), QLatin1String(field));
}

QString PageTest::attr(const char* field) const
{
    return m_window->DataModule->tblAttr->FieldByName(QLatin1String(field))->AsString();
}

}  // namespace entrytest
