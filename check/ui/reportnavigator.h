#pragma once

#include <QPointer>
#include <QString>
#include <QtGlobal>

class QWidget;

namespace emlo {
class TApolloTable;

// Pages of the main window's page control a remark can lead to.
enum class ReportPage { Attr, Codes, Data };

// What the check report window needs of the main window to lead the user from
// a remark to its control or emission record. The report window decides the
// order of the steps; the main window only carries them out.
class ReportNavigator {
public:
    virtual ~ReportNavigator() = default;
    // Makes the page the active page of the page control `pc`.
    virtual void ShowPage(ReportPage page) = 0;
    // Brings the main window to the front and gives it the focus.
    virtual void ActivateMainWindow() = 0;
    // Makes the control of that object name the main window's active control.
    virtual void FocusControl(const QString& objectName) = 0;
    // Makes the emission record of that record number the current record of
    // `tblData`; a record that no longer exists leaves the current one.
    virtual void GoToDataRecord(qint32 recNo) = 0;
};

// The navigator over a real main window: finds `pc`, its pages `tsAttr`,
// `tsCodes`, `tsData` and the controls by object name.
class MainWindowNavigator : public ReportNavigator {
public:
    MainWindowNavigator(QWidget* mainWindow, TApolloTable* tblData);

    void ShowPage(ReportPage page) override;
    void ActivateMainWindow() override;
    void FocusControl(const QString& objectName) override;
    void GoToDataRecord(qint32 recNo) override;

private:
    QPointer<QWidget> m_mainWindow;
    TApolloTable* m_tblData;
};

}  // namespace emlo
