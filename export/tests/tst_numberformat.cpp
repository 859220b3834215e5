// The two number patterns the export writes values with: rounding, decimals
// kept and dropped, signs and the locale's separators.

#include <QtTest>

#include "store/fields.h"

using namespace emlo;

class TestNumberFormat : public QObject {
    Q_OBJECT
private slots:
    void floatPattern_data();
    void floatPattern();
    void integerPattern_data();
    void integerPattern();
    void otherPatterns_data();
    void otherPatterns();
};

namespace {

const QString kFloat = QStringLiteral("###########0.000####");
const QString kInteger = QStringLiteral("###########0");
const QChar kComma = QLatin1Char(',');
const QChar kPoint = QLatin1Char('.');
const QChar kNoBreakSpace = QChar(0xA0);

}  // namespace

void TestNumberFormat::floatPattern_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("comma");
    QTest::addColumn<QString>("point");

    QTest::newRow("three decimals at least") << 12.5 << "12,500"
                                             << "12.500";
    QTest::newRow("zero") << 0.0 << "0,000"
                          << "0.000";
    QTest::newRow("all seven decimals") << 0.0123456 << "0,0123456"
                                        << "0.0123456";
    QTest::newRow("whole number, no grouping") << 1234567.0 << "1234567,000"
                                               << "1234567.000";
    QTest::newRow("below half at the eighth decimal") << 2.00000004 << "2,000"
                                                      << "2.000";
    QTest::newRow("half at the eighth rounds away from zero") << 2.00000005 << "2,0000001"
                                                              << "2.0000001";
    QTest::newRow("half of the smallest step") << 0.00000005 << "0,0000001"
                                               << "0.0000001";
    QTest::newRow("negative half rounds away from zero") << -0.00000005 << "-0,0000001"
                                                         << "-0.0000001";
    QTest::newRow("negative rounding to zero has no sign") << -0.00000004 << "0,000"
                                                           << "0.000";
    QTest::newRow("carry into the integer part") << 9.99999995 << "10,000"
                                                 << "10.000";
    QTest::newRow("carry through every digit") << 99.99999999 << "100,000"
                                               << "100.000";
    QTest::newRow("negative group total") << -2.0 << "-2,000"
                                          << "-2.000";
    QTest::newRow("fifteen significant digits") << 12345678.1234567 << "12345678,1234567"
                                                << "12345678.1234567";
    QTest::newRow("trailing zeros beyond the third dropped") << 1.2340500 << "1,23405"
                                                             << "1.23405";
    QTest::newRow("more integer digits than the pattern") << 1e20 << "100000000000000000000,000"
                                                          << "100000000000000000000.000";
    QTest::newRow("tiny value") << 1e-300 << "0,000"
                                << "0.000";
    QTest::newRow("binary noise of a sum is not shown") << 0.1 + 0.2 << "0,300"
                                                        << "0.300";
}

void TestNumberFormat::floatPattern()
{
    QFETCH(double, value);
    QFETCH(QString, comma);
    QFETCH(QString, point);
    QCOMPARE(FormatFloat(kFloat, value, kComma, kNoBreakSpace), comma);
    QCOMPARE(FormatFloat(kFloat, value, kPoint, kComma), point);
}

void TestNumberFormat::integerPattern_data()
{
    QTest::addColumn<qint32>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("latitude degrees") << 48 << "48";
    QTest::newRow("zero") << 0 << "0";
    QTest::newRow("negative") << -32768 << "-32768";
    QTest::newRow("more digits than the pattern, no grouping") << 2147483647 << "2147483647";
}

void TestNumberFormat::integerPattern()
{
    QFETCH(qint32, value);
    QFETCH(QString, text);
    QCOMPARE(FormatFloat(kInteger, value, kComma, kNoBreakSpace), text);
}

void TestNumberFormat::otherPatterns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("grouping with the locale's separator") << "#,##0.00" << 1234567.891 << "1\u00A0234\u00A0567,89";
    QTest::newRow("forced integer digits") << "000.0" << 5.25 << "005,3";
    QTest::newRow("no decimals: rounds to whole") << "0" << 2.5 << "3";
    QTest::newRow("only the positive section is used") << "0.0;(0.0)" << -1.5 << "-1,5";
}

void TestNumberFormat::otherPatterns()
{
    QFETCH(QString, pattern);
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(FormatFloat(pattern, value, kComma, kNoBreakSpace), text);
}

QTEST_GUILESS_MAIN(TestNumberFormat)

#include "tst_numberformat.moc"
