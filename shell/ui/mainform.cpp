// The frame of the main window: actions, tool bar, navigation bar, pages.
#include "main.h"

#include <QApplication>
#include <QAction>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScreen>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "check/ui/report.h"
#include "entry/ui/entrypages.h"
#include "store/engine.h"
#include "widgets/errorbox.h"
#include "widgets/helpviewer.h"
#include "widgets/outlookbar.h"
#include "widgets/prerenderedicon.h"

namespace emlo {

namespace {

const QString kCaption = QStringLiteral("Державний облік викидів промислових підприємств");
constexpr int kMainHelpTopic = 1000;

// The tool-bar images by their index in ImageList.
const char* const kImageFiles[] = {
    ":/emlo/shell/check.svg",            // 0 check
    ":/emlo/shell/print.svg",            // 1 print preview
    ":/emlo/shell/transfer.svg",         // 2 transfer
    ":/emlo/shell/exit.svg",             // 3 exit
    ":/emlo/shell/help.svg",             // 4 help
    ":/emlo/shell/notebook-yellow.svg",  // 5 (no action)
    ":/emlo/shell/path.svg",             // 6 working folder
    ":/emlo/shell/about.svg",            // 7 about
};

}  // namespace

QIcon TfrmMain::ApplicationIcon()
{
    return PrerenderedIcon(QStringLiteral(":/emlo/shell/emlo.svg"));
}

TfrmMain::TfrmMain(const AppPaths& paths, QWidget* parent) : QMainWindow(parent), m_paths(paths)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(kCaption);
    // The program gives the application its icon, which every window shows;
    // a window made without it (a tool, a test) takes it here.
    if (QApplication::windowIcon().isNull())
        setWindowIcon(ApplicationIcon());
    // System menu and minimise, no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setContextMenuPolicy(Qt::NoContextMenu);
    setMinimumSize(600, 350);
    resize(600, 350);
    if (QScreen* screen = this->screen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    DataModule = new TDataModule(this, this);

    for (const char* file : kImageFiles)
        ImageList.append(PrerenderedIcon(QString::fromLatin1(file)));
    buildActions();
    buildToolBar();

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("mainClient"));
    auto* line = new QFrame(central);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    buildOutlook();
    buildPages();
    InstallEntryPages(*DataModule, gbAttr, gbCode, gbData);
    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(Outlook);
    body->addWidget(pc, 1);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(line);
    layout->addLayout(body, 1);
    setCentralWidget(central);

    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, [] { HelpSystem::showTopic(kMainHelpTopic); });

    // Without the engine nothing can be opened: its one message has been
    // shown and the end requested, so nothing else is tried.
    if (!ApolloEngine::Load())
        return;
    runGuarded([this] { FormCreate(this); });
}

TfrmMain::~TfrmMain()
{
    // The pages listen to the data module's tables: they go before it does
    // (the data module, made first, would otherwise go first among the children).
    delete pc;
}

void TfrmMain::buildActions()
{
    struct Spec {
        QAction** action;
        const char* name;
        const char* caption;
        const char* hint;
        int image;
        void (TfrmMain::*handler)();
    };
    const Spec specs[] = {
        {&actPath, "actPath", "Робоча папка", "Змiнити робочу папку", 6, &TfrmMain::actPathExecute},
        {&actCheck, "actCheck", "Перевiрити", "Перевiрити iнформацію на заповнення", 0, &TfrmMain::actCheckExecute},
        {&actPrintPreview, "actPrintPreview", "Друк", "Попередній перегляд", 1, &TfrmMain::actPrintPreviewExecute},
        {&actTransfer, "actTransfer", "Вигрузити", "Вигрузити для управлiння в формат Tarvel", 2,
         &TfrmMain::actTransferExecute},
        {&actHelp, "actHelp", "Допомога", "Допомога щодо роботи з програмою", 4, &TfrmMain::actHelpExecute},
        {&actAbout, "actAbout", "Об авторах...", "Відомості про авторів та версію програми", 7,
         &TfrmMain::actAboutExecute},
        {&actExit, "actExit", "Вихід", "Зачинити програму", 3, &TfrmMain::actExitExecute},
    };
    for (const Spec& spec : specs) {
        auto* action = new QAction(ImageList.at(spec.image), QString::fromUtf8(spec.caption), this);
        action->setObjectName(QString::fromLatin1(spec.name));
        action->setToolTip(QString::fromUtf8(spec.hint));
        action->setStatusTip(QString::fromUtf8(spec.hint));
        const auto handler = spec.handler;
        // Commands show their own failures; whatever escapes them is shown
        // here, in the application's error box, and the program goes on.
        connect(action, &QAction::triggered, this, [this, handler] { runGuarded([&] { (this->*handler)(); }); });
        *spec.action = action;
    }
}

void TfrmMain::buildToolBar()
{
    ToolBar = new QToolBar(this);
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    ToolBar->setMovable(false);
    ToolBar->setFloatable(false);
    ToolBar->setIconSize(QSize(32, 32));
    ToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const QList<QAction*> order[] = {
        {actPath}, {actCheck, actPrintPreview, actTransfer}, {actHelp, actAbout}, {actExit}};
    bool first = true;
    for (const QList<QAction*>& group : order) {
        if (!first)
            ToolBar->addSeparator();
        first = false;
        for (QAction* action : group) {
            ToolBar->addAction(action);
            if (QWidget* button = ToolBar->widgetForAction(action)) {
                button->setFixedSize(39, 38);
                button->setObjectName(QStringLiteral("tb") + action->objectName().mid(3));
            }
        }
    }
    addToolBar(Qt::TopToolBarArea, ToolBar);
}

void TfrmMain::buildOutlook()
{
    Outlook = new OutlookBar(this);
    Outlook->setFixedWidth(110);
    const int group = Outlook->addGroup(QStringLiteral("Розділи"));
    Outlook->addItem(group, QStringLiteral("Реквізити"), PrerenderedIcon(QStringLiteral(":/emlo/shell/nav-attr.svg")));
    Outlook->addItem(group, QStringLiteral("Статистичні коди"),
                     PrerenderedIcon(QStringLiteral(":/emlo/shell/nav-codes.svg")));
    Outlook->addItem(group, QStringLiteral("Викиди"), PrerenderedIcon(QStringLiteral(":/emlo/shell/nav-data.svg")));
    connect(Outlook, &OutlookBar::itemClicked, this, [this](const QString& text) { OutlookItemClick(Outlook, text); });
}

void TfrmMain::buildPages()
{
    pc = new QTabWidget(this);
    pc->setObjectName(QStringLiteral("pc"));
    struct Page {
        QWidget** sheet;
        QGroupBox** box;
        const char* sheetName;
        const char* boxName;
        const char* tab;
        const char* caption;
    };
    const Page pages[] = {
        {&tsAttr, &gbAttr, "tsAttr", "gbAttr", "Реквізити", "Реквізити"},
        {&tsCodes, &gbCode, "tsCodes", "gbCode", "Коди", "Статистичні коди"},
        {&tsData, &gbData, "tsData", "gbData", "Викиди", "Викиди"},
    };
    // The tabs are hidden: pages change through the navigation bar and the
    // report's go-to only, not through the page control's own keys.
    pc->installEventFilter(this);
    for (const Page& page : pages) {
        auto* sheet = new QWidget(pc);
        sheet->setObjectName(QString::fromLatin1(page.sheetName));
        auto* box = new QGroupBox(QString::fromUtf8(page.caption), sheet);
        box->setObjectName(QString::fromLatin1(page.boxName));
        auto* layout = new QVBoxLayout(sheet);
        layout->setContentsMargins(4, 4, 4, 4);
        layout->addWidget(box);
        pc->addTab(sheet, QString::fromUtf8(page.tab));
        *page.sheet = sheet;
        *page.box = box;
    }
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == pc && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool ctrl = key->modifiers() & Qt::ControlModifier;
        const int code = key->key();
        if (ctrl
            && (code == Qt::Key_Tab || code == Qt::Key_Backtab || code == Qt::Key_PageUp || code == Qt::Key_PageDown)) {
            event->accept();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// The emissions page's row of navigators and state label: each 10 pixels to
// the right of the one before. The page may not have them (yet).
void TfrmMain::placeEmissionsNavigators()
{
    QWidget* navigMove = findChild<QWidget*>(QStringLiteral("navigMove"));
    QWidget* navigEdit = findChild<QWidget*>(QStringLiteral("navigEdit"));
    QWidget* lblDataState = findChild<QWidget*>(QStringLiteral("lblDataState"));
    if (!navigMove || !navigEdit)
        return;
    navigEdit->move(navigMove->x() + navigMove->width() + 10, navigEdit->y());
    if (lblDataState)
        lblDataState->move(navigEdit->x() + navigEdit->width() + 10, lblDataState->y());
}

}  // namespace emlo
