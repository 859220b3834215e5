#include "storetestsupport.h"

#include <cstdio>
#include <iostream>
#include <string>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

#include "store/apolloenv.h"
#include "store/apollotable.h"
#include "store/engine.h"
#include "store/errors.h"
#include "store/fields.h"

using namespace emlo;

namespace storetest {

namespace {

struct Header {
    int headerLength = 0;
    int recordLength = 0;
    int recordCount = 0;
};

Header readHeader(QFile& file)
{
    const QByteArray head = file.read(12);
    Header h;
    if (head.size() < 12)
        return h;
    const auto byte = [&](int i) { return static_cast<int>(static_cast<unsigned char>(head.at(i))); };
    h.recordCount = byte(4) | (byte(5) << 8) | (byte(6) << 16) | (byte(7) << 24);
    h.headerLength = byte(8) | (byte(9) << 8);
    h.recordLength = byte(10) | (byte(11) << 8);
    return h;
}

}  // namespace

QByteArray rawRecord(const QString& path, int recNo)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    const Header h = readHeader(file);
    file.seek(h.headerLength + static_cast<qint64>(recNo - 1) * h.recordLength);
    return file.read(h.recordLength);
}

int headerRecordCount(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return readHeader(file).recordCount;
}

void pokeRecord(const QString& path, int recNo, int offset, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return;
    const Header h = readHeader(file);
    file.seek(h.headerLength + static_cast<qint64>(recNo - 1) * h.recordLength + offset);
    file.write(bytes);
}

QStringList filesIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    return names;
}

bool LockHolder::start(const QString& tablePath, Kind kind, int recNo)
{
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    static const char* const kinds[] = {"record", "file", "file+append", "exclusive"};
    m_process->start(
        QCoreApplication::applicationFilePath(),
        {QStringLiteral("--hold-lock"), tablePath, QString::fromLatin1(kinds[kind]), QString::number(recNo)});
    if (!m_process->waitForStarted(10000))
        return false;
    while (m_process->state() == QProcess::Running) {
        if (m_process->canReadLine() || m_process->waitForReadyRead(10000)) {
            const QByteArray line = m_process->readLine().trimmed();
            if (line == "ready")
                return true;
            if (!line.isEmpty())
                return false;
        } else {
            return false;
        }
    }
    return false;
}

LockHolder::~LockHolder()
{
    if (!m_process)
        return;
    m_process->write("quit\n");
    m_process->closeWriteChannel();
    if (!m_process->waitForFinished(10000))
        m_process->kill();
}

bool runChildIfAsked(int argc, char** argv, int* exitCode)
{
    if (argc < 5 || std::string(argv[1]) != "--hold-lock")
        return false;
    QCoreApplication app(argc, argv);
    TApolloEnv env;
    env.setApplyTo(atLocal);
    env.setDeleted(true);
    TApolloTable table(QStringLiteral("tblHolder"));
    try {
        const std::string kind = argv[3];
        table.setTableName(QString::fromLocal8Bit(argv[2]));
        table.setExclusive(kind == "exclusive");
        table.Open();
        bool held = false;
        if (kind == "exclusive") {
            held = true;
        } else if (kind == "file") {
            held = table.Flock() != 0;
        } else if (kind == "file+append") {
            // The layer appends whole records at once; the engine's blank append keeps
            // the header lock until the record is written.
            held = table.Flock() != 0 && (Sde().sx_AppendBlank(), Sde().sx_ErrorKind() == SX_OK);
        } else {
            table.setRecNo(std::atoi(argv[4]));
            table.Edit();
            held = true;
        }
        std::cout << (held ? "ready" : "refused") << std::endl;
    } catch (const Exception& e) {
        std::cout << "error " << e.what() << std::endl;
        *exitCode = 2;
        return true;
    }
    std::string line;
    std::getline(std::cin, line);
    table.Cancel();
    table.Close();
    *exitCode = 0;
    return true;
}

const QVector<Column> kDataLayout = {
    {QStringLiteral("CONTID"), 'N', 5, 0},
    {QStringLiteral("POTEN"), 'N', 18, 7},
    {QStringLiteral("FACT"), 'N', 18, 7},
};

const QVector<Column> kCyLayout = {
    {QStringLiteral("CYID"), 'N', 5, 0},
    {QStringLiteral("CODE"), 'C', 10, 0},
    {QStringLiteral("DESCR"), 'C', 100, 0},
};

QString errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Exception& e) {
        return e.Message;
    }
    return QString();
}

QVector<int> contIdsInOrder(TApolloTable& table)
{
    QVector<int> ids;
    for (table.First(); !table.Eof(); table.Next())
        ids << table.FieldByName(QStringLiteral("CONTID"))->AsInteger();
    return ids;
}

TableTest::TableTest() = default;
TableTest::~TableTest() = default;

void TableTest::initTestCase()
{
    m_env = std::make_unique<TApolloEnv>();
    m_env->setApplyTo(atLocal);
    m_env->setDeleted(true);
}

void TableTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TableTest::makeData(const QVector<int>& contIds)
{
    const QString file = path(QStringLiteral("DATA.DBF"));
    createTable(file, kDataLayout);
    QVector<QVariantList> rows;
    for (int id : contIds)
        rows << QVariantList{id, id * 1.5, QVariant()};
    appendRows(file, rows);
    return file;
}

}  // namespace storetest
