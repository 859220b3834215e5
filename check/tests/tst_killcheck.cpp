// A process that posts, appends, deletes and checks through the table layer
// is killed (SIGKILL) at random moments, a few dozen times. After each kill
// the next opening of the folder must find: a header count that covers only
// complete records, no blank or torn record counted, an index that agrees
// with the table, and no temporary file left behind.
#include <signal.h>

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>

#include "check/datacheck.h"
#include "store/apollotable.h"
#include "store/errors.h"
#include "store/filecase.h"
#include "check/tests/support/checkfixture.h"

using namespace emlo;
using namespace emlo::testing;

namespace {

// Records the child appends carry amounts derived from their id, so a torn
// record (one part old, one part new) shows.
constexpr int kFirstOwnId = 139;
double potenOf(int id)
{
    return id * 0.5;
}
double factOf(int id)
{
    return id * 0.25;
}

class SilentReporter : public DataModuleReporter {
public:
    void ShowError(const QString& text, int) override { Errors << text; }
    void FatalStop() override { Errors << QStringLiteral("FatalStop"); }
    QStringList Errors;
};

// The child: works on the folder until it is killed.
int runChild(const QString& programDir, const QString& workDir)
{
    SilentReporter reporter;
    TDataModule dm(&reporter);
    dm.ProgramPath = programDir;
    dm.WorkPath = workDir;
    dm.OpenReferenceTables();
    dm.OpenWorkTables();
    if (!reporter.Errors.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(reporter.Errors.join(u'\n')));
        return 3;
    }
    TApolloTable& data = *dm.tblData;
    TField* contId = data.FieldByName(QStringLiteral("CONTID"));
    TField* poten = data.FieldByName(QStringLiteral("POTEN"));
    TField* fact = data.FieldByName(QStringLiteral("FACT"));
    int next = kFirstOwnId;
    for (data.First(); !data.Eof(); data.Next())
        next = std::max(next, contId->AsInteger() + 1);
    std::printf("ready\n");
    std::fflush(stdout);
    for (int i = 0;; ++i) {
        try {
            const int id = next++;
            data.Append();
            contId->setAsInteger(id);
            poten->setAsFloat(potenOf(id));
            fact->setAsFloat(factOf(id));
            data.Post();
            if (i % 7 == 3)
                data.Delete();
            // A group member changes, so that the totals have work to do.
            data.setRecNo(1);
            data.Edit();
            poten->setAsFloat(i % 11);
            data.Post();
            if (i % 3 == 0)
                DataCheck(*dm.tblAttr, data).CheckData();
        } catch (const Exception& e) {
            // A lock refused by another process would be the only expected
            // failure; there is none here, so say what it was.
            std::fprintf(stderr, "%s\n", e.what());
            return 4;
        }
    }
}

struct DbfLayout {
    int Count = 0;
    int HeaderLength = 0;
    int RecordLength = 0;
};

quint32 le(const QByteArray& bytes, int at, int size)
{
    quint32 v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = (v << 8) | static_cast<quint8>(bytes.at(at + i));
    return v;
}

}  // namespace

class TestKillCheck : public QObject {
    Q_OBJECT

private slots:
    void killedWriterLeavesConsistentFiles();

private:
    // Checks the files as they are after a kill; returns an empty text when
    // they hold, else what is wrong.
    QString verifyRaw(const QString& dbf, QSet<int>* liveRecNos);
};

QString TestKillCheck::verifyRaw(const QString& dbf, QSet<int>* liveRecNos)
{
    QFile file(dbf);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read ") + dbf;
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 32)
        return QStringLiteral("header cut short");
    DbfLayout layout;
    layout.Count = static_cast<int>(le(bytes, 4, 4));
    layout.HeaderLength = static_cast<int>(le(bytes, 8, 2));
    layout.RecordLength = static_cast<int>(le(bytes, 10, 2));
    const qint64 needed = layout.HeaderLength + qint64(layout.Count) * layout.RecordLength;
    if (bytes.size() < needed)
        return QStringLiteral("the header counts %1 records, the file holds fewer").arg(layout.Count);
    // CONTID N(5), POTEN N(18,7), FACT N(18,7) after the deletion flag.
    for (int r = 1; r <= layout.Count; ++r) {
        const QByteArray rec = bytes.mid(layout.HeaderLength + (r - 1) * layout.RecordLength, layout.RecordLength);
        const char flag = rec.at(0);
        if (flag != ' ' && flag != '*')
            return QStringLiteral("record %1: deletion flag %2").arg(r).arg(int(flag));
        const QByteArray idText = rec.mid(1, 5).trimmed();
        const QByteArray potenText = rec.mid(6, 18).trimmed();
        const QByteArray factText = rec.mid(24, 18).trimmed();
        bool idOk = false, potenOk = false, factOk = false;
        const int id = idText.toInt(&idOk);
        const double p = potenText.toDouble(&potenOk);
        const double f = factText.toDouble(&factOk);
        if (!idOk || !potenOk || !factOk)
            return QStringLiteral("record %1 is blank or torn: [%2]").arg(r).arg(QString::fromLatin1(rec));
        if (id >= kFirstOwnId && (p != potenOf(id) || f != factOf(id)))
            return QStringLiteral("record %1 is torn: [%2]").arg(r).arg(QString::fromLatin1(rec));
        if (flag == ' ')
            liveRecNos->insert(r);
    }
    return QString();
}

void TestKillCheck::killedWriterLeavesConsistentFiles()
{
    CheckFixture fx;
    QVERIFY(fx.IsValid());
    fx.Open();
    fx.WriteAttr(CheckFixture::FullAttr());
    fx.AddData(1, 1.0, 1.0);
    fx.AddData(21, 2.0, 2.0);
    fx.Close();

    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    constexpr int kKills = 30;
    for (int kill = 0; kill < kKills; ++kill) {
        const QString context = QStringLiteral("seed %1, kill %2").arg(seed).arg(kill);
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"), fx.ProgramDir(), fx.WorkDir()});
        QVERIFY2(child.waitForStarted(30000), qPrintable(context));
        while (!child.canReadLine())
            QVERIFY2(child.waitForReadyRead(30000), qPrintable(context));
        QCOMPARE(child.readLine(), QByteArray("ready\n"));
        QTest::qSleep(static_cast<int>(random.bounded(5u, 120u)));
        QCOMPARE(child.state(), QProcess::Running);  // it must not stop on its own
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(30000));

        QSet<int> live;
        const QString raw = verifyRaw(MatchFileCase(fx.WorkDir() + QStringLiteral("data.dbf")), &live);
        QVERIFY2(raw.isEmpty(), qPrintable(context + u": "_qs + raw));

        // The next program to open the folder sees the same records in key order.
        TDataModule& dm = fx.Open();
        QVERIFY2(fx.Reporter().Errors.isEmpty(), qPrintable(context + u": "_qs + fx.Reporter().Errors.join(u'|')));
        TApolloTable& data = *dm.tblData;
        QVERIFY2(!data.IndexName().isEmpty(), qPrintable(context));
        QSet<int> seen;
        int previous = 0;
        for (data.First(); !data.Eof(); data.Next()) {
            const int id = data.FieldByName(QStringLiteral("CONTID"))->AsInteger();
            QVERIFY2(id >= previous,
                     qPrintable(context + u": index order broken at record "_qs + QString::number(data.RecNo())));
            previous = id;
            seen.insert(data.RecNo());
        }
        QVERIFY2(seen == live, qPrintable(context + u": the index and the table disagree"_qs));
        QStringList files = QDir(fx.WorkDir()).entryList(QDir::Files | QDir::Hidden);
        for (QString& name : files)
            name = name.toLower();
        files.sort();
        QCOMPARE(files, (QStringList{u"attr.dbf"_qs, u"data.dbf"_qs, u"data.idx"_qs}));
        fx.Close();
    }
}

int main(int argc, char** argv)
{
    if (argc == 4 && QByteArray(argv[1]) == "--child") {
        QCoreApplication app(argc, argv);
        return runChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    TestKillCheck tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_killcheck.moc"
