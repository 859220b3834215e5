#include <QTest>

#include <limits>

#include "print/frvalue.h"

using namespace emlo::print;
using namespace Qt::StringLiterals;

// Number-to-text rules of the printed form: the general form that follows the
// locale's separator, and the fixed amount pattern that always uses a comma.
class TestFrValue : public QObject {
    Q_OBJECT

private slots:
    void generalForm_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("expected");

        QTest::newRow("zero") << 0.0 << u","_s << u"0"_s;
        QTest::newRow("whole number has no separator") << 2024.0 << u","_s << u"2024"_s;
        QTest::newRow("trailing zeros dropped") << 12.5 << u","_s << u"12,5"_s;
        QTest::newRow("dot separator of the locale") << 12.5 << u"."_s << u"12.5"_s;
        QTest::newRow("negative") << -0.75 << u","_s << u"-0,75"_s;
        QTest::newRow("binary noise cut at 15 digits") << 0.1 + 0.2 << u","_s << u"0,3"_s;
        QTest::newRow("threshold 0.00001 is fixed") << 0.00001 << u","_s << u"0,00001"_s;
        QTest::newRow("below 0.00001 is scientific") << 0.0000015 << u","_s << u"1,5E-6"_s;
        QTest::newRow("15 integer digits are fixed") << 999999999999999.0 << u","_s << u"999999999999999"_s;
        QTest::newRow("16 integer digits are scientific") << 1e15 << u","_s << u"1E15"_s;
        QTest::newRow("rounding to 15 digits carries") << 9.9999999999999999 << u","_s << u"10"_s;
        QTest::newRow("threshold of a pollutant") << 0.0003 << u","_s << u"0,0003"_s;
    }

    void generalForm()
    {
        QFETCH(double, value);
        QFETCH(QString, separator);
        QFETCH(QString, expected);
        QCOMPARE(FormatGeneral(value, separator), expected);
    }

    void amountPattern_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");

        QTest::newRow("three decimals added") << 12.5 << u"12,500"_s;
        QTest::newRow("zero keeps one integer digit") << 0.0 << u"0,000"_s;
        QTest::newRow("below one keeps its zero") << 0.25 << u"0,250"_s;
        QTest::newRow("half rounds up") << 0.0005 << u"0,001"_s;
        QTest::newRow("half rounds up with carry") << 9.9995 << u"10,000"_s;
        QTest::newRow("below half rounds down") << 1.0004999 << u"1,000"_s;
        QTest::newRow("negative half rounds away from zero") << -2.0005 << u"-2,001"_s;
        QTest::newRow("negative rounding to zero has no sign") << -0.0004 << u"0,000"_s;
        QTest::newRow("no digit grouping") << 1234567.125 << u"1234567,125"_s;
        QTest::newRow("all decimals of the field") << 10.1234567 << u"10,123"_s;
        QTest::newRow("beyond the pattern's digits") << 123456789012345.0 << u"123456789012345,000"_s;
    }

    void amountPattern()
    {
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(FormatPattern(value, u"##########0.000"_s, u","_s), expected);
    }

    void valueToTextUsesTheBoxFormatElseTheLocale()
    {
        const QLocale ukrainian(QLocale::Ukrainian, QLocale::Ukraine);
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        const TfrValue amount = TfrValue::fromNumber(12.5);
        const TfrNumberFormat amountFormat{u"##########0.000"_s, u","_s};

        QCOMPARE(ValueToText(amount, {}, ukrainian), u"12,5"_s);
        QCOMPARE(ValueToText(amount, {}, english), u"12.5"_s);
        QCOMPARE(ValueToText(amount, amountFormat, english), u"12,500"_s);
        QCOMPARE(ValueToText(TfrValue::fromText(u"  x "_s), amountFormat, english), u"  x "_s);
    }

    void nonFiniteNumbersDoNotCrash()
    {
        QCOMPARE(FormatGeneral(std::numeric_limits<double>::quiet_NaN(), u","_s), u"NAN"_s);
        QCOMPARE(FormatPattern(-std::numeric_limits<double>::infinity(), u"0.000"_s, u","_s), u"-INF"_s);
        QCOMPARE(FormatPattern(std::numeric_limits<double>::max(), u"0.000"_s, u","_s).size(), 309 + 4);
    }
};

QTEST_GUILESS_MAIN(TestFrValue)
#include "tst_frvalue.moc"
