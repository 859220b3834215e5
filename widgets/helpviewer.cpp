#include "helpviewer.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace emlo {

namespace {
const QString kTopicScheme = QStringLiteral("topic");
}

HelpViewer::HelpViewer(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("helpViewer"));
    resize(840, 520);

    auto* contentsButton = new QPushButton(QStringLiteral("Зміст"), this);
    contentsButton->setObjectName(QStringLiteral("helpContentsButton"));
    m_back = new QPushButton(QStringLiteral("Назад"), this);
    m_back->setObjectName(QStringLiteral("helpBackButton"));
    m_back->setEnabled(false);

    m_topics = new QListWidget(this);
    m_topics->setObjectName(QStringLiteral("helpTopicList"));
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("helpText"));
    m_browser->setOpenLinks(false);

    auto* splitter = new QSplitter(this);
    splitter->addWidget(m_topics);
    splitter->addWidget(m_browser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({300, 540});

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contentsButton);
    buttons->addWidget(m_back);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(splitter, 1);

    connect(contentsButton, &QPushButton::clicked, this, &HelpViewer::showContents);
    connect(m_back, &QPushButton::clicked, this, &HelpViewer::back);
    connect(m_browser, &QTextBrowser::anchorClicked, this, &HelpViewer::anchorClicked);
    connect(m_topics, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { showTopic(item->data(Qt::UserRole).toInt()); });
    connect(m_topics, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { showTopic(item->data(Qt::UserRole).toInt()); });
}

bool HelpViewer::openFile(const QString& path)
{
    if (path == m_path && !m_file.topicNumbers().isEmpty())
        return true;
    m_path = path;
    m_history.clear();
    m_current = -1;
    const bool ok = m_file.load(path);
    setWindowTitle(m_file.title().isEmpty() ? QFileInfo(path).fileName() : m_file.title());
    m_topics->clear();
    for (int number : m_file.topicNumbers()) {
        auto* item = new QListWidgetItem(m_file.topic(number).heading, m_topics);
        item->setData(Qt::UserRole, number);
    }
    return ok;
}

bool HelpViewer::showTopic(int number)
{
    if (!m_file.hasTopic(number))
        return false;
    if (m_current >= 0 && m_current != number)
        m_history.append(m_current);
    render(number);
    return true;
}

void HelpViewer::back()
{
    if (m_history.isEmpty())
        return;
    render(m_history.takeLast());
}

QString HelpViewer::currentText() const
{
    return m_browser->toPlainText();
}

void HelpViewer::anchorClicked(const QUrl& url)
{
    if (url.scheme() == kTopicScheme)
        showTopic(url.path().toInt());
}

void HelpViewer::render(int number)
{
    m_current = number;
    m_browser->setMarkdown(m_file.markdown(number));
    m_back->setEnabled(!m_history.isEmpty());
    for (int row = 0; row < m_topics->count(); ++row) {
        if (m_topics->item(row)->data(Qt::UserRole).toInt() == number) {
            const QSignalBlocker blocker(m_topics);
            m_topics->setCurrentRow(row);
        }
    }
}

namespace HelpSystem {

namespace {
QString g_helpFile;
QPointer<HelpViewer> g_viewer;

HelpViewer* openViewer()
{
    if (g_helpFile.isEmpty())
        return nullptr;
    if (!g_viewer) {
        g_viewer = new HelpViewer;
        g_viewer->setAttribute(Qt::WA_DeleteOnClose);
    }
    g_viewer->openFile(g_helpFile);
    g_viewer->show();
    g_viewer->raise();
    g_viewer->activateWindow();
    return g_viewer;
}
}  // namespace

void setHelpFile(const QString& path)
{
    g_helpFile = path;
}

QString helpFile()
{
    return g_helpFile;
}

void showContents()
{
    if (HelpViewer* v = openViewer())
        v->showContents();
}

void showTopic(int number)
{
    if (HelpViewer* v = openViewer()) {
        if (!v->showTopic(number))
            v->showContents();
    }
}

HelpViewer* viewer()
{
    return g_viewer;
}

}  // namespace HelpSystem

}  // namespace emlo
