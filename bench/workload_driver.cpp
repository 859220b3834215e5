// The DBF workloads W0..W6 over the table layer, for the side-by-side
// comparison with other DBF tools (bench/harness/run_all.sh, OURS_CMD).
// Usage: emlo-xbase-bench WORKLOAD DBF IDX ARG; prints one result line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <QByteArray>
#include <QFile>
#include <QString>

#include "store/apollotable.h"
#include "store/errors.h"
#include "store/fields.h"

using namespace emlo;

namespace {

constexpr int kUnsupported = 3;

QString arg(char** argv, int i)
{
    return QString::fromLocal8Bit(argv[i]);
}

struct Row {
    int contid;
    double poten;
    double fact;
};

int w1(const QString& dbf)
{
    TApolloTable t(QStringLiteral("tblCY"));
    t.setTableName(dbf);
    t.Open();
    TField* cyid = t.Fields(0);
    TField* code = t.Fields(1);
    TField* descr = t.Fields(2);
    long n = 0, cyidSum = 0, codeChars = 0, descrChars = 0;
    QString lastCode, lastDescr;
    for (t.First(); !t.Eof(); t.Next()) {
        cyidSum += cyid->AsInteger();
        lastCode = code->AsString();
        lastDescr = descr->AsString();
        codeChars += lastCode.size();
        descrChars += lastDescr.size();
        ++n;
    }
    std::printf("records=%ld cyid_sum=%ld code_chars=%ld descr_chars=%ld last=%s|%s\n", n, cyidSum, codeChars,
                descrChars, lastCode.toUtf8().constData(), lastDescr.toUtf8().constData());
    return 0;
}

int w2(const QString& dbf, const QString& idx)
{
    TApolloTable t(QStringLiteral("tblCY"));
    t.setTableName(dbf);
    t.Open();
    if (!t.Index(idx, QStringLiteral("CODE")))
        return 1;
    t.First();
    const int keys = t.VisibleRecNos().size();
    std::printf("keys=%d first=%s\n", keys, t.FieldByName(QStringLiteral("CODE"))->AsString().toUtf8().constData());
    return 0;
}

int w3(const QString& dbf, const QString& idx, const QString& prefix)
{
    TApolloTable t(QStringLiteral("tblCY"));
    t.setTableName(dbf);
    t.Open();
    if (!t.IndexOpen(idx))
        return 1;
    t.Query(QStringLiteral("CODE = \"%1\"").arg(prefix));
    const int count = t.VisibleRecNos().size();
    std::printf("count=%d first=%s|%s\n", count, t.FieldByName(QStringLiteral("CODE"))->AsString().toUtf8().constData(),
                t.FieldByName(QStringLiteral("DESCR"))->AsString().toUtf8().constData());
    return 0;
}

int w4(const QString& dbf, const QString& idx, const QString& key)
{
    TApolloTable t(QStringLiteral("tblCY"));
    t.setTableName(dbf);
    t.Open();
    if (!t.IndexOpen(idx))
        return 1;
    const QVariant descr = t.Lookup(QStringLiteral("CODE"), key, QStringLiteral("DESCR"));
    std::printf("found=%d descr=%s\n", descr.isNull() ? 0 : 1, descr.toString().toUtf8().constData());
    return 0;
}

// W5 appends without a sync at each post (as the other tools compared do);
// W5S syncs each post to the disk, as the program does by default.
int w5(const QString& dbf, const QString& idx, const QString& source, bool sync)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return 1;
    TApolloTable t(QStringLiteral("tblData"));
    t.setTableName(dbf);
    t.setSyncOnPost(sync);
    t.Open();
    if (!t.Index(idx, QStringLiteral("CONTID")))
        return 1;
    TField* contid = t.FieldByName(QStringLiteral("CONTID"));
    TField* poten = t.FieldByName(QStringLiteral("POTEN"));
    TField* fact = t.FieldByName(QStringLiteral("FACT"));
    // "CONTID;POTEN;FACT" lines, read in place as the other tools' drivers read them
    // (fscanf): the parse is the harness's, not the engine's, cost.
    const QByteArray text = in.readAll();
    for (const char* p = text.constData(); *p;) {
        char* end;
        const long id = std::strtol(p, &end, 10);
        const bool ok1 = end != p && *end == ';';
        const double potenValue = ok1 ? std::strtod(end + 1, &end) : 0;
        const bool ok2 = ok1 && *end == ';';
        const double factValue = ok2 ? std::strtod(end + 1, &end) : 0;
        p = std::strchr(end, '\n');
        p = p ? p + 1 : end + std::strlen(end);
        if (!ok2)
            continue;
        t.Append();
        contid->setAsInteger(int(id));
        poten->setAsFloat(potenValue);
        fact->setAsFloat(factValue);
        t.Post();
    }
    long long ordsum = 0;
    double factSum = 0;
    int n = 0, first = 0;
    for (t.First(); !t.Eof(); t.Next()) {
        const int id = contid->AsInteger();
        if (n == 0)
            first = id;
        ++n;
        ordsum += (long long)n * id;
        factSum += fact->AsFloat();
    }
    std::printf("records=%d ordsum=%lld first=%d fact_sum=%.4f\n", n, ordsum, first, factSum);
    return 0;
}

int w6(const QString& dbf, const QString& xml)
{
    TApolloTable t(QStringLiteral("tblData"));
    t.setTableName(dbf);
    t.Open();
    TField* contid = t.FieldByName(QStringLiteral("CONTID"));
    TField* poten = t.FieldByName(QStringLiteral("POTEN"));
    TField* fact = t.FieldByName(QStringLiteral("FACT"));
    QByteArray out("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<DATA>\n");
    int n = 0;
    char line[160];
    for (t.First(); !t.Eof(); t.Next(), ++n) {
        const int len =
            std::snprintf(line, sizeof line, " <ROW><CONTID>%d</CONTID><POTEN>%.7f</POTEN><FACT>%.7f</FACT></ROW>\n",
                          contid->AsInteger(), poten->AsFloat(), fact->AsFloat());
        out.append(line, len);
    }
    out.append("</DATA>\n");
    QFile f(xml);
    if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size())
        return 1;
    std::printf("rows=%d bytes=%lld\n", n, (long long)out.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    const char* w = argv[1];
    auto need = [&](int n) { return argc > n; };
    try {
        if (!std::strcmp(w, "W0")) {
            std::puts("ok");
            return 0;
        }
        if (!std::strcmp(w, "W1") && need(2))
            return w1(arg(argv, 2));
        if (!std::strcmp(w, "W2") && need(3))
            return w2(arg(argv, 2), arg(argv, 3));
        if (!std::strcmp(w, "W3") && need(4))
            return w3(arg(argv, 2), arg(argv, 3), arg(argv, 4));
        if (!std::strcmp(w, "W4") && need(4))
            return w4(arg(argv, 2), arg(argv, 3), arg(argv, 4));
        if (!std::strcmp(w, "W5") && need(4))
            return w5(arg(argv, 2), arg(argv, 3), arg(argv, 4), false);
        if (!std::strcmp(w, "W5S") && need(4))
            return w5(arg(argv, 2), arg(argv, 3), arg(argv, 4), true);
        if (!std::strcmp(w, "W6") && need(4))
            return w6(arg(argv, 2), arg(argv, 4));
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("unsupported: %s\n", w);
    return kUnsupported;
}
