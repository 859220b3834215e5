#include "reportnavigator.h"

#include <QStackedWidget>
#include <QTabWidget>
#include <QWidget>

#include "store/apollotable.h"

namespace emlo {

namespace {

QString pageName(ReportPage page)
{
    switch (page) {
    case ReportPage::Attr: return QStringLiteral("tsAttr");
    case ReportPage::Codes: return QStringLiteral("tsCodes");
    case ReportPage::Data: return QStringLiteral("tsData");
    }
    return QString();
}

}  // namespace

MainWindowNavigator::MainWindowNavigator(QWidget* mainWindow, TApolloTable* tblData)
    : m_mainWindow(mainWindow), m_tblData(tblData)
{
}

void MainWindowNavigator::ShowPage(ReportPage page)
{
    if (!m_mainWindow)
        return;
    auto* target = m_mainWindow->findChild<QWidget*>(pageName(page));
    if (target == nullptr)
        return;
    // The page control may be a tab widget with hidden tabs or a plain stack.
    if (auto* tabs = m_mainWindow->findChild<QTabWidget*>(QStringLiteral("pc")))
        tabs->setCurrentWidget(target);
    else if (auto* stack = m_mainWindow->findChild<QStackedWidget*>(QStringLiteral("pc")))
        stack->setCurrentWidget(target);
}

void MainWindowNavigator::ActivateMainWindow()
{
    if (!m_mainWindow)
        return;
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}

void MainWindowNavigator::FocusControl(const QString& objectName)
{
    if (!m_mainWindow)
        return;
    if (auto* control = m_mainWindow->findChild<QWidget*>(objectName))
        control->setFocus(Qt::OtherFocusReason);
}

void MainWindowNavigator::GoToDataRecord(qint32 recNo)
{
    // A record deleted since the check is not sought: moving would land on
    // some other record and suggest it was the one meant.
    if (m_tblData == nullptr || !m_tblData->Active() || !m_tblData->BookmarkValid(recNo))
        return;
    m_tblData->setRecNo(recNo);
}

}  // namespace emlo
