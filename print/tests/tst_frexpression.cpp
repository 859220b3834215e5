#include <QTest>

#include "print/frexpression.h"

using namespace emlo::print;
using namespace Qt::StringLiterals;

namespace {

// A context with one data set "tbl" of a few fields and two variables.
class FakeContext : public TfrEvalContext {
public:
    TfrValue FieldValue(const QString& dataSet, const QString& field) override
    {
        if (dataSet != u"tbl")
            throw TfrError(u"no data set "_s + dataSet);
        if (field == u"NAME")
            return TfrValue::fromText(name);
        if (field == u"AMOUNT")
            return TfrValue::fromNumber(amount);
        throw TfrError(u"no field "_s + field);
    }
    TfrValue NameValue(const QString& n) override
    {
        if (n.toUpper() == u"DATE")
            return TfrValue::fromDate(QDate(2024, 3, 5));
        if (n.toUpper() == u"PAGE#")
            return TfrValue::fromNumber(3);
        if (variables.contains(n))
            return variables[n];
        throw TfrError(u"no name "_s + n);
    }
    void SetVariable(const QString& n, const TfrValue& v) override
    {
        if (!variables.contains(n))
            throw TfrError(u"no variable "_s + n);
        variables[n] = v;
    }
    QLocale Locale() const override { return QLocale(QLocale::Ukrainian, QLocale::Ukraine); }

    QString name;
    double amount = 0;
    QHash<QString, TfrValue> variables{{u"CurPage"_s, TfrValue::fromText(QString())}};
};

QString evalText(const QString& source, FakeContext& ctx)
{
    return ValueToText(TfrExpression::Parse(source).Evaluate(ctx), {}, ctx.Locale());
}

QString repeat(QChar c, int n)
{
    return QString(n, c);
}

}  // namespace

class TestFrExpression : public QObject {
    Q_OBJECT

private slots:
    void evaluates_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");

        const QString truncate =
            u"IF(LENGTH([tbl.\"NAME\"])<60, [tbl.\"NAME\"], [COPY([tbl.\"NAME\"], 1, 60)+'...'])"_s;
        QTest::newRow("59 characters printed whole") << truncate << repeat(u'Ж', 59) << repeat(u'Ж', 59);
        QTest::newRow("60 characters get an ellipsis") << truncate << repeat(u'Ж', 60) << repeat(u'Ж', 60) + u"..."_s;
        QTest::newRow("61 characters cut to 60") << truncate << repeat(u'Ж', 61) << repeat(u'Ж', 60) + u"..."_s;
        QTest::newRow("empty text") << truncate << QString() << QString();

        QTest::newRow("year before the current") << u"YEAROF(DATE)-1"_s << QString() << u"2023"_s;
        QTest::newRow("day without leading zero") << u"DAYOF(DATE)"_s << QString() << u"5"_s;
        QTest::newRow("month without leading zero") << u"MONTHOF(DATE)"_s << QString() << u"3"_s;
        QTest::newRow("text constant with doubled apostrophe") << u"'п''ять'"_s << QString() << u"п'ять"_s;
        QTest::newRow("copy from before the start") << u"COPY('abcdef', 0, 2)"_s << QString() << u"ab"_s;
        QTest::newRow("copy past the end") << u"COPY('abc', 2, 10)"_s << QString() << u"bc"_s;
        QTest::newRow("length of a Cyrillic text counts characters") << u"LENGTH('Київ')"_s << QString() << u"4"_s;
        QTest::newRow("precedence") << u"1 + 2 * 3 - 4 / 2"_s << QString() << u"5"_s;
        QTest::newRow("number joined to text") << u"'стор. ' + [PAGE#]"_s << QString() << u"стор. 3"_s;
        QTest::newRow("comparisons and logic") << u"IF((2 <= 2) and not (3 <> 3), 'y', 'n')"_s << QString() << u"y"_s;
        QTest::newRow("case-insensitive function names") << u"yearof(date)"_s << QString() << u"2024"_s;
        QTest::newRow("bare field name after the dot") << u"tbl.NAME"_s << u"x"_s << u"x"_s;
    }

    void evaluates()
    {
        QFETCH(QString, source);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        FakeContext ctx;
        ctx.name = name;
        QCOMPARE(evalText(source, ctx), expected);
    }

    void malformedSourceIsRefusedAtParse_data()
    {
        QTest::addColumn<QString>("source");
        QTest::newRow("unclosed bracket") << u"[tbl.\"NAME\""_s;
        QTest::newRow("unclosed quote") << u"'abc"_s;
        QTest::newRow("unknown function") << u"FOO(1)"_s;
        QTest::newRow("wrong argument count") << u"COPY('a', 1)"_s;
        QTest::newRow("trailing text") << u"1 2"_s;
        QTest::newRow("empty") << QString();
        QTest::newRow("stray character") << u"1 ? 2"_s;
    }

    void malformedSourceIsRefusedAtParse()
    {
        QFETCH(QString, source);
        QVERIFY_THROWS_EXCEPTION(TfrError, TfrExpression::Parse(source));
    }

    void evaluationErrorsAreReported()
    {
        FakeContext ctx;
        QVERIFY_THROWS_EXCEPTION(TfrError, evalText(u"tbl.\"MISSING\""_s, ctx));
        QVERIFY_THROWS_EXCEPTION(TfrError, evalText(u"other.\"NAME\""_s, ctx));
        QVERIFY_THROWS_EXCEPTION(TfrError, evalText(u"1 / 0"_s, ctx));
        QVERIFY_THROWS_EXCEPTION(TfrError, evalText(u"DAYOF('x')"_s, ctx));
        QVERIFY_THROWS_EXCEPTION(TfrError, evalText(u"Unknown"_s, ctx));
        QVERIFY_THROWS_EXCEPTION(TfrError, evalText(u"'a' * 2"_s, ctx));
    }

    void ifEvaluatesOnlyTheChosenBranch()
    {
        FakeContext ctx;
        QCOMPARE(evalText(u"IF(1 = 1, 'ok', 1 / 0)"_s, ctx), u"ok"_s);
    }

    void scriptAssignsVariables()
    {
        FakeContext ctx;
        TfrScript::Parse(u"CurPage := [PAGE#] - 1"_s).Run(ctx);
        QCOMPARE(ctx.variables[u"CurPage"_s].number, 2.0);

        QVERIFY_THROWS_EXCEPTION(TfrError, TfrScript::Parse(u"CurPage = 1"_s));
        QVERIFY_THROWS_EXCEPTION(TfrError, TfrScript::Parse(u"Cur Page := 1"_s));
        QVERIFY_THROWS_EXCEPTION(TfrError, TfrScript::Parse(u"Other := 1"_s).Run(ctx));
    }

    void textSplitsIntoLiteralsAndExpressions()
    {
        const TfrTextTemplate t = TfrTextTemplate::Parse(u"   [tbl.\"NAME\"] / [IF(1=1, ']', '[')]!"_s, false);
        QCOMPARE(t.parts.size(), 5);
        QCOMPARE(t.parts[0].literal, u"   "_s);
        QVERIFY(t.parts[1].expression);
        QCOMPARE(t.parts[2].literal, u" / "_s);
        QCOMPARE(t.parts[3].expression->source(), u"IF(1=1, ']', '[')"_s);
        QCOMPARE(t.parts[4].literal, u"!"_s);

        const TfrTextTemplate plain = TfrTextTemplate::Parse(u"[not an expression"_s, true);
        QCOMPARE(plain.parts.size(), 1);
        QCOMPARE(plain.parts[0].literal, u"[not an expression"_s);

        QVERIFY_THROWS_EXCEPTION(TfrError, TfrTextTemplate::Parse(u"a [b"_s, false));
    }
};

QTEST_GUILESS_MAIN(TestFrExpression)
#include "tst_frexpression.moc"
