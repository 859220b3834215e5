#include "datamoduletest.h"

#include <QDir>

#include "store/tests/support/storetestsupport.h"

using namespace emlo;

namespace storetest {

void OrderedReporter::ShowError(const QString& text, int helpTopic)
{
    calls << QStringLiteral("%1|%2").arg(helpTopic).arg(text);
}

void OrderedReporter::FatalStop()
{
    calls << QStringLiteral("FatalStop");
}

DataModuleTest::DataModuleTest() = default;
DataModuleTest::~DataModuleTest() = default;

void DataModuleTest::init()
{
    m_startFolder = QDir::currentPath();
    m_program = std::make_unique<QTemporaryDir>();
    m_work = std::make_unique<QTemporaryDir>();
    m_reporter.calls.clear();
    m_dm = std::make_unique<TDataModule>(&m_reporter);
    m_dm->ProgramPath = m_program->path() + u'/';
    m_dm->WorkPath = m_work->path() + u'/';
}

void DataModuleTest::cleanup()
{
    m_dm.reset();
    QDir::setCurrent(m_startFolder);
}

void DataModuleTest::startAgain()
{
    cleanup();
    init();
}

void DataModuleTest::makeReferenceTables(const QStringList& skip)
{
    const auto make = [&](const char* table, const QVector<QVariantList>& rows) {
        const QString file = QLatin1String(table) + QStringLiteral(".DBF");
        if (skip.contains(file))
            return;
        createTable(program(file), catalogColumns(table));
        appendRows(program(file), rows);
    };
    if (!skip.contains(QStringLiteral("CONT.DBF"))) {
        createTable(program(QStringLiteral("CONT.DBF")), catalogColumns("CONT"));
        appendRows(
            program(QStringLiteral("CONT.DBF")),
            {{1, QStringLiteral("0001"), QStringLiteral("Речовини у вигляді суспендованих твердих частинок"), 3.0},
             {5, QStringLiteral("0005"), QStringLiteral("Свинець"), 0.0},
             {132, QStringLiteral("0132"), QStringLiteral("Метали"), QVariant()}});
    }
    make("OW", {{1, QStringLiteral("10"), QStringLiteral("Державна")}});
    make("DP", {{1, QStringLiteral("01001"), QStringLiteral("Мінекономіки")}});
    make("EA", {{1, QStringLiteral("24.10"), QStringLiteral("Виробництво чавуну")}});
    make("OBL", {{1, QStringLiteral("1200000000"), QStringLiteral("Дніпропетровська")}});
    make("CY",
         {{1, QStringLiteral("1210100000"), QStringLiteral("Дніпро")},
          {2, QStringLiteral("0510100000"), QStringLiteral("Вінниця")},
          {3, QStringLiteral("1200000000"), QStringLiteral("Дніпропетровська область")}});
}

void DataModuleTest::openAll()
{
    m_dm->OpenReferenceTables();
    m_dm->OpenWorkTables();
}

}  // namespace storetest
