#include "report.h"

#include <cmath>

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QHeaderView>
#include <QKeySequence>
#include <QFileInfo>
#include <QSaveFile>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "reportnavigator.h"
#include "store/cp1251.h"
#include "store/datamodule.h"
#include "widgets/dialogseam.h"
#include "widgets/errorbox.h"
#include "widgets/helpviewer.h"

namespace emlo {

namespace {

constexpr int kHelpTopic = 7500;
constexpr int kOuterWidth = 500;
constexpr int kOuterHeight = 400;
constexpr int kMinOuterWidth = 300;
constexpr int kMinOuterHeight = 200;
constexpr int kSectionGap = 5;

const char kDescriptionHeader[] = "     Опис зауваження";
const char kSectionHeader[] = "  Роздiл";

QIcon loadIcon(const char* name)
{
    return QIcon(QStringLiteral(":/check/icons/%1.svg").arg(QLatin1String(name)));
}

}  // namespace

TfrmReport::TfrmReport(QWidget* mainWindow)
    : QWidget(nullptr,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      m_mainWindow(mainWindow)
{
    setObjectName(QStringLiteral("frmReport"));
    setWindowTitle(QStringLiteral("Звіт з перевірки"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(13);
    setFont(font);
    setAttribute(Qt::WA_AlwaysShowToolTips);

    SaveDialog.Title = QStringLiteral("Укажите путь и файл для сохранения отчёта");
    SaveDialog.Filters = {{QStringLiteral("Отчёты (*.txt)"), QStringLiteral("*.txt")},
                          {QStringLiteral("Отчёты (*.rtf)"), QStringLiteral("*.rtf")}};
    SaveDialog.FilterIndex = 1;

    ReportImageList = {loadIcon("go"), loadIcon("save"), loadIcon("close")};
    buildActions();
    buildToolBar();
    buildReportTable();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar);
    layout->addWidget(sgReport, 1);

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, [] { HelpSystem::showTopic(kHelpTopic); });

    resize(kOuterWidth, kOuterHeight);
}

TfrmReport::~TfrmReport() = default;

void TfrmReport::buildActions()
{
    const auto make = [this](const char* name, const char* caption, const char* hint, int image) {
        auto* action = new QAction(this);
        action->setObjectName(QLatin1String(name));
        action->setText(QString::fromUtf8(caption));
        action->setToolTip(QString::fromUtf8(hint));
        action->setStatusTip(QString::fromUtf8(hint));
        action->setIcon(ReportImageList.value(image));
        return action;
    };
    actReportGo = make("actReportGo", "Перейти..", "Перейти до вказаного елементу з помилкою", 0);
    actReportSave = make("actReportSave", "Зберегти", "Зберегти звіт з перевірки..", 1);
    actReportClose = make("actReportClose", "Зачинити", "Зачинити цей сеанс перевірки", 2);
    // Commands run guarded: an error ends the command in the error box, it
    // never crosses the toolkit's frames.
    connect(actReportGo, &QAction::triggered, this, [this] { runGuarded([this] { actReportGoExecute(); }); });
    connect(actReportSave, &QAction::triggered, this, [this] { runGuarded([this] { actReportSaveExecute(); }); });
    connect(actReportClose, &QAction::triggered, this, [this] { actReportCloseExecute(); });
}

void TfrmReport::buildToolBar()
{
    ToolBar = new QToolBar(this);
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    ToolBar->setMovable(false);
    ToolBar->setFloatable(false);
    ToolBar->setIconSize(QSize(32, 32));
    ToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar->setContentsMargins(0, 0, 0, 0);
    ToolBar->setStyleSheet(QStringLiteral("QToolBar#ToolBar { border: none; border-bottom: 1px solid palette(mid);"
                                          " padding: 1px; spacing: 0px; }"
                                          "QToolBar#ToolBar::separator { width: 8px; }"));

    const auto add = [this](QAction* action, const char* name) {
        ToolBar->addAction(action);
        auto* button = qobject_cast<QToolButton*>(ToolBar->widgetForAction(action));
        button->setObjectName(QLatin1String(name));
        button->setFixedSize(39, 38);
        button->setAutoRaise(true);
        return button;
    };
    tbGo = add(actReportGo, "tbGo");
    tbSave = add(actReportSave, "tbSave");
    ToolBar->addSeparator();
    tbClose = add(actReportClose, "tbClose");
}

void TfrmReport::buildReportTable()
{
    sgReport = new QTableWidget(0, 2, this);
    sgReport->setObjectName(QStringLiteral("sgReport"));
    sgReport->setHorizontalHeaderLabels({QString::fromUtf8(kDescriptionHeader), QString::fromUtf8(kSectionHeader)});
    sgReport->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    sgReport->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    sgReport->horizontalHeader()->setStretchLastSection(false);
    sgReport->horizontalHeader()->setDefaultSectionSize(300);
    sgReport->horizontalHeader()->setHighlightSections(false);
    sgReport->verticalHeader()->setVisible(false);
    sgReport->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    sgReport->verticalHeader()->setDefaultSectionSize(20);
    sgReport->setShowGrid(true);
    sgReport->setSelectionBehavior(QAbstractItemView::SelectRows);
    sgReport->setSelectionMode(QAbstractItemView::SingleSelection);
    sgReport->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sgReport->setWordWrap(false);
    sgReport->viewport()->installEventFilter(this);
    // The header row is part of the table: a double-click there goes too.
    sgReport->horizontalHeader()->viewport()->installEventFilter(this);
}

void TfrmReport::SetNavigator(ReportNavigator* navigator)
{
    m_ownedNavigator.reset();
    m_navigator = navigator;
}

void TfrmReport::SetNavigator(std::unique_ptr<ReportNavigator> navigator)
{
    m_ownedNavigator = std::move(navigator);
    m_navigator = m_ownedNavigator.get();
}

std::unique_ptr<TfrmReport> CreateReportWindow(QWidget* mainWindow, TDataModule& dataModule)
{
    auto report = std::make_unique<TfrmReport>(mainWindow);
    report->SetNavigator(std::make_unique<MainWindowNavigator>(mainWindow, dataModule.tblData));
    return report;
}

void TfrmReport::clearReport()
{
    sgReport->clearContents();
    sgReport->setRowCount(0);
}

void TfrmReport::ClearReport()
{
    clearReport();
    hide();
}

void TfrmReport::ShowRows(const RemarkList& rows)
{
    clearReport();
    SetColumnWidths(0.8);
    sgReport->setHorizontalHeaderLabels({QString::fromUtf8(kDescriptionHeader), QString::fromUtf8(kSectionHeader)});
    for (const Remark& row : rows)
        AddRemark(row.Description, row.Data.Section, row.Data.Target);
    if (sgReport->rowCount() > 0)
        sgReport->setCurrentCell(0, 0);
}

void TfrmReport::AddRemark(const QString& description, quint8 section, qint32 target)
{
    const int row = sgReport->rowCount();
    sgReport->insertRow(row);
    auto* descriptionCell = new QTableWidgetItem(description);
    TErrorData data;
    data.Target = target;
    data.Section = section;
    descriptionCell->setData(Qt::UserRole, QVariant::fromValue(data));
    sgReport->setItem(row, 0, descriptionCell);
    sgReport->setItem(row, 1, new QTableWidgetItem(SectionText(section)));
}

int TfrmReport::RemarkCount() const
{
    return sgReport->rowCount();
}

TErrorData TfrmReport::ErrorDataAt(int row) const
{
    const QTableWidgetItem* cell = sgReport->item(row, 0);
    if (cell == nullptr)
        return TErrorData{};
    return cell->data(Qt::UserRole).value<TErrorData>();
}

int TfrmReport::SectionColumnNeeds() const
{
    const QFontMetrics metrics(sgReport->font());
    int widest = metrics.horizontalAdvance(QString::fromUtf8(kSectionHeader));
    for (const quint8 section : {SectionAttr, SectionCodes, SectionData})
        widest = qMax(widest, metrics.horizontalAdvance(SectionText(section)));
    const int cellMargins = 2 * (sgReport->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, sgReport) + 1);
    // The vertical scroll bar appears with a long report and covers the
    // column's right edge; the room for it is kept from the start.
    const int scrollBar = sgReport->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, sgReport);
    return widest + cellMargins + scrollBar + 2 * sgReport->frameWidth();
}

void TfrmReport::SetColumnWidths(double share)
{
    const int clientWidth = width();
    // The share of a narrow window would cut "Статистичні коди": the section
    // column keeps the room for its longest text.
    const int description =
        qMax(0, qMin(int(std::trunc(clientWidth * share)), clientWidth - kSectionGap - SectionColumnNeeds()));
    sgReport->setColumnWidth(0, description);
    sgReport->setColumnWidth(1, clientWidth - description - kSectionGap);
}

void TfrmReport::FormResize()
{
    SetColumnWidths(0.7);
}

void TfrmReport::FormCanResize(int& newWidth, int& newHeight, bool& resize)
{
    if (newWidth < kMinOuterWidth)
        newWidth = kMinOuterWidth;
    if (newHeight < kMinOuterHeight)
        newHeight = kMinOuterHeight;
    resize = true;
}

void TfrmReport::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TfrmReport::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    applySizeLimits();
}

void TfrmReport::applySizeLimits()
{
    // The limits are on the outer size; Qt sets the client size.
    const QSize frame = frameGeometry().size() - geometry().size();
    int minWidth = 0;
    int minHeight = 0;
    bool allowed = true;
    FormCanResize(minWidth, minHeight, allowed);
    setMinimumSize(qMax(0, minWidth - frame.width()), qMax(0, minHeight - frame.height()));
}

void TfrmReport::placeFirstTime()
{
    // The frame is known only once a window is mapped; the main window has
    // the same decorations, so its frame stands in for ours.
    QSize frame(0, 0);
    if (m_mainWindow && m_mainWindow->isVisible())
        frame = m_mainWindow->frameGeometry().size() - m_mainWindow->geometry().size();
    resize(kOuterWidth - frame.width(), kOuterHeight - frame.height());

    QRect outer(QPoint(0, 0), QSize(kOuterWidth, kOuterHeight));
    if (m_mainWindow)
        outer.moveCenter(m_mainWindow->frameGeometry().center());
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        outer.moveCenter(screen->availableGeometry().center());
    move(outer.topLeft());
    m_placed = true;
}

void TfrmReport::setVisible(bool visible)
{
    const bool firstShow = visible && !m_placed;
    if (firstShow)
        placeFirstTime();
    QWidget::setVisible(visible);
    if (firstShow) {
        // Once shown, the frame is known: make the outer size exact.
        const QSize frame = frameGeometry().size() - geometry().size();
        const QSize client(kOuterWidth - frame.width(), kOuterHeight - frame.height());
        if (frame != QSize(0, 0) && size() != client) {
            const QPoint centre = frameGeometry().center();
            resize(client);
            QRect outer(QPoint(0, 0), QSize(kOuterWidth, kOuterHeight));
            outer.moveCenter(centre);
            move(outer.topLeft());
        }
        applySizeLimits();
    }
}

void TfrmReport::ShowReport()
{
    show();
    raise();
    activateWindow();
}

void TfrmReport::BringToFront()
{
    raise();
    activateWindow();
    sgReport->setFocus(Qt::ActiveWindowFocusReason);
}

void TfrmReport::actReportGoExecute()
{
    const int row = sgReport->currentRow();
    if (row < 0 || m_navigator == nullptr)
        return;
    const TErrorData data = ErrorDataAt(row);
    switch (data.Section) {
    case SectionAttr:
    case SectionCodes: {
        m_navigator->ShowPage(data.Section == SectionAttr ? ReportPage::Attr : ReportPage::Codes);
        m_navigator->ActivateMainWindow();
        const QString control = ControlName(data.Target);
        if (!control.isEmpty())
            m_navigator->FocusControl(control);
        break;
    }
    case SectionData:
        m_navigator->ShowPage(ReportPage::Data);
        m_navigator->GoToDataRecord(data.Target);
        m_navigator->ActivateMainWindow();
        break;
    default: break;
    }
}

void TfrmReport::sgReportDblClick()
{
    actReportGo->trigger();
}

bool TfrmReport::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == sgReport->viewport() || watched == sgReport->horizontalHeader()->viewport())
        && event->type() == QEvent::MouseButtonDblClick) {
        sgReportDblClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmReport::actReportSaveExecute()
{
    SaveDialog.FileName = QStringLiteral("report");
    if (!SaveDialog.Execute(this))
        return;
    saveReportTo(SaveDialog.FileName);
}

void TfrmReport::saveReportTo(const QString& path)
{
    // The description column only, header row included, one CR LF line per row.
    QString text;
    const QTableWidgetItem* header = sgReport->horizontalHeaderItem(0);
    text += (header != nullptr ? header->text() : QString()) + QStringLiteral("\r\n");
    for (int row = 0; row < sgReport->rowCount(); ++row) {
        const QTableWidgetItem* cell = sgReport->item(row, 0);
        text += (cell != nullptr ? cell->text() : QString()) + QStringLiteral("\r\n");
    }
    // The text is known to encode before any file is touched.
    bool encoded = false;
    const QByteArray bytes = toCp1251(text, &encoded);
    if (!encoded) {
        showError(
            QStringLiteral("Звіт містить символи, яких немає в кодуванні Windows-1251; файл %1 не записано").arg(path));
        return;
    }
    // The working folder holds the program's own tables: a report written
    // over one of them would destroy the data.
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.compare(QStringLiteral("dbf"), Qt::CaseInsensitive) == 0
        || suffix.compare(QStringLiteral("idx"), Qt::CaseInsensitive) == 0) {
        showError(QStringLiteral("Файл %1 — таблиця або індекс; звіт у нього не записується").arg(path));
        return;
    }

    // Written aside and renamed into place, so a failed write leaves an
    // earlier report intact; where no file can be made aside, nothing is
    // written rather than the old report cut short.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        showError(QStringLiteral("Cannot create file %1").arg(path));
        return;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        file.cancelWriting();
        showError(QStringLiteral("Stream write error"));
    }
}

void TfrmReport::showError(const QString& text)
{
    showApplicationError(text);
}

void TfrmReport::actReportCloseExecute()
{
    hide();
}

}  // namespace emlo
