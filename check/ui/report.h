#pragma once

#include <memory>

#include <QList>
#include <QIcon>
#include <QPointer>
#include <QWidget>

#include "check/errordata.h"
#include "savedialog.h"

class QAction;
class QTableWidget;
class QToolBar;
class QToolButton;

namespace emlo {
class TDataModule;

class ReportNavigator;

// The check report window: lists the remarks of the last data check, leads
// from a remark to its control or emission record, saves the list as text.
// A non-modal top-level window of its own, created hidden and kept for the
// whole run. It only shows rows: the check itself is CheckBeforeOutput
// (check/datacheck.h), run by the commands (checkcommands.h).
class TfrmReport : public QWidget {
    Q_OBJECT
public:
    // `mainWindow` is the window it is centred over when first shown and the
    // parent of its message boxes; it is not the Qt parent, so the main
    // window may come in front of the report.
    explicit TfrmReport(QWidget* mainWindow = nullptr);
    ~TfrmReport() override;

    // The main window's side of the go-to (not owned; may be nullptr).
    void SetNavigator(ReportNavigator* navigator);
    // The same, owned by the window.
    void SetNavigator(std::unique_ptr<ReportNavigator> navigator);

    // Replaces the report's rows with the rows of a check; the first becomes current.
    void ShowRows(const RemarkList& rows);
    // Appends one report row: description, the section's text, and the
    // TErrorData attached to the description cell.
    void AddRemark(const QString& description, quint8 section, qint32 target);

    // Empties the report and hides the window: its remarks lead into work
    // tables that are no longer open.
    void ClearReport();

    // Report rows (header row not counted) and their content.
    int RemarkCount() const;
    TErrorData ErrorDataAt(int row) const;

    // Raises a proposed outer size to the window's limits (300 x 200).
    static void FormCanResize(int& newWidth, int& newHeight, bool& resize);
    // Sets the column widths for a client width: the description column takes
    // `share` of it (less, where the section texts would be cut), the section
    // column the rest less 5 pixels.
    void SetColumnWidths(double share);
    // The section column's width that shows its texts whole.
    int SectionColumnNeeds() const;

    // Shows the hidden window (visible and active), or brings the visible one
    // to the front with the focus.
    void ShowReport();
    void BringToFront();
    void setVisible(bool visible) override;

    // Components, named as the program's rules name them.
    QToolBar* ToolBar;
    QToolButton* tbGo;
    QToolButton* tbSave;
    QToolButton* tbClose;
    QTableWidget* sgReport;
    SaveDialogSetup SaveDialog;
    QList<QIcon> ReportImageList;
    QAction* actReportGo;
    QAction* actReportSave;
    QAction* actReportClose;

public slots:
    void actReportGoExecute();
    void actReportSaveExecute();
    void actReportCloseExecute();
    void sgReportDblClick();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormResize();
    void buildActions();
    void buildToolBar();
    void buildReportTable();
    void clearReport();
    void placeFirstTime();
    void applySizeLimits();
    void saveReportTo(const QString& path);
    void showError(const QString& text);

    QPointer<QWidget> m_mainWindow;
    ReportNavigator* m_navigator = nullptr;
    std::unique_ptr<ReportNavigator> m_ownedNavigator;
    bool m_placed = false;
};

// Creates the hidden check report window of a main window: it leads to the
// main window's page control
// `pc`, its pages and controls (found by object name) and to records of
// tblData. The caller owns the window; both arguments must outlive it.
std::unique_ptr<TfrmReport> CreateReportWindow(QWidget* mainWindow, TDataModule& dataModule);

}  // namespace emlo
