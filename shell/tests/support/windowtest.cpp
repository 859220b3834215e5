#include "windowtest.h"

#include <QFile>
#include <QTest>

#include "shell/ui/main.h"
#include "store/apollotable.h"
#include "store/fields.h"
#include "store/filecase.h"
#include "widgets/errorbox.h"
#include "widgets/helpviewer.h"

using namespace emlo;

namespace shelltest {

const QString kFatal = QStringLiteral("Подальша робота програми неможлива.");

QString readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QStringLiteral("<absent>");
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QString storedAttr(const QString& folder, const QString& field)
{
    TApolloTable table(QStringLiteral("tblCheck"));
    table.setTableName(MatchFileCase(folder + QStringLiteral("attr.dbf")));
    table.Open();
    table.First();
    const QString value = table.IsEmpty() ? QStringLiteral("<no record>") : table.FieldByName(field)->AsString();
    table.Close();
    return value;
}

void beginAttrEdit(TfrmMain& w, const QString& name)
{
    w.DataModule->tblAttr->Edit();
    w.DataModule->tblAttr->FieldByName(QStringLiteral("ENNAME"))->setAsString(name);
    w.DataModule->AttrModified = true;
}

WindowFolder::WindowFolder(const QStringList& skip)
    : testing::ProgramFolder({{10, QStringLiteral("00010"), QStringLiteral("Пил"), 1.5},
                              {20, QStringLiteral("00020"), QStringLiteral("Сажа"), 2.0},
                              {30, QStringLiteral("00030"), QStringLiteral("Оксид"), 3.0}}),
      program(ProgramDir()),
      settings(program + QStringLiteral("emlo.ini"))
{
    for (const QString& table : skip)
        QFile::remove(MatchFileCase(program + table));
    writeFile(program + QStringLiteral("EMLO.HLP"),
              "@topic 0 Contents\nAll.\n@topic 1000 Main window\nThe main window.\n");
}

WindowTest::WindowTest() = default;
WindowTest::~WindowTest() = default;

void WindowTest::initTestCase()
{
    Application::setTitle(QStringLiteral("Dazodevur"));
    m_savedCurrent = QDir::currentPath();
}

void WindowTest::init()
{
    m_endRequests = 0;
    ResetProgramEndRequest();
    SetProgramEndHandler([this] { ++m_endRequests; });
}

void WindowTest::cleanup()
{
    if (HelpSystem::viewer())
        delete HelpSystem::viewer();
    HelpSystem::setHelpFile(QString());
    SetProgramEndHandler(nullptr);
    ResetProgramEndRequest();
    QDir::setCurrent(m_savedCurrent);
}

std::unique_ptr<TfrmMain> WindowTest::start(const WindowFolder& folder)
{
    auto window = std::make_unique<TfrmMain>(folder.paths());
    window->show();
    return window;
}

}  // namespace shelltest
