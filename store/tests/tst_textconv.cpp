// Conversions that need no table: the Windows-1251 codec, number patterns,
// the general number form and the type names the XML export writes.

#include <QtTest>

#include "store/cp1251.h"
#include "store/fields.h"

using namespace emlo;

class TestTextConv : public QObject {
    Q_OBJECT

private slots:
    void cp1251RoundTrip_data();
    void cp1251RoundTrip();
    void cp1251RefusesWhatItCannotHold_data();
    void cp1251RefusesWhatItCannotHold();
    void cp1251DecodesEveryByte();
    void formatFloat_data();
    void formatFloat();
    void floatToStr_data();
    void floatToStr();
    void fieldTypeNamesKeepTheirOrder();
};

void TestTextConv::cp1251RoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ascii") << QStringLiteral("CONTID = 132") << QByteArray("CONTID = 132");
    QTest::newRow("ukrainian letters") << QStringLiteral("Їжак ґава Є і")
                                       << QByteArray("\xAF\xE6\xE0\xEA \xB4\xE0\xE2\xE0 \xAA \xB3");
    QTest::newRow("latin i inside a cyrillic word")
        << QStringLiteral("Вiдомча") << QByteArray("\xC2i\xE4\xEE\xEC\xF7\xE0");
    QTest::newRow("first and last cyrillic") << QStringLiteral("Ая") << QByteArray("\xC0\xFF");
    QTest::newRow("punctuation of the upper half")
        << QStringLiteral("€№«»–—") << QByteArray("\x88\xB9\xAB\xBB\x96\x97");
    QTest::newRow("grave accent and apostrophes")
        << QStringLiteral("об`єкта ''") << QByteArray("\xEE\xE1`\xBA\xEA\xF2\xE0 ''");
    QTest::newRow("empty") << QString() << QByteArray();
}

void TestTextConv::cp1251RoundTrip()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    bool ok = false;
    QCOMPARE(toCp1251(text, &ok), bytes);
    QVERIFY(ok);
    QCOMPARE(fromCp1251(bytes), text);
}

void TestTextConv::cp1251RefusesWhatItCannotHold_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("bad");
    QTest::newRow("greek") << QStringLiteral("Ωmega") << QChar(0x03A9);
    QTest::newRow("check mark after valid text") << QStringLiteral("Київ ✓") << QChar(0x2713);
    QTest::newRow("replacement character") << QString(QChar(0xFFFD)) << QChar(0xFFFD);
    QTest::newRow("polish letter") << QStringLiteral("Łódź") << QChar(0x0141);
}

void TestTextConv::cp1251RefusesWhatItCannotHold()
{
    QFETCH(QString, text);
    QFETCH(QChar, bad);
    bool ok = true;
    QVERIFY(toCp1251(text, &ok).isEmpty());
    QVERIFY(!ok);
    QVERIFY(!isCp1251Char(bad));
    QCOMPARE(firstNonCp1251Char(text), bad);
}

void TestTextConv::cp1251DecodesEveryByte()
{
    for (int b = 0; b < 256; ++b) {
        const QByteArray one(1, static_cast<char>(b));
        const QString decoded = fromCp1251(one);
        QCOMPARE(decoded.size(), 1);
        if (b == 0x98)
            continue;  // unassigned in the code page
        bool ok = false;
        QCOMPARE(toCp1251(decoded, &ok), one);
        QVERIFY2(ok, qPrintable(QString::number(b, 16)));
    }
}

void TestTextConv::formatFloat_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("comma");

    const QString grid = QStringLiteral("############0.000");
    const QString xml = QStringLiteral("###########0.000####");
    QTest::newRow("grid: decimals padded") << grid << 1234.5 << QStringLiteral("1234,500");
    QTest::newRow("grid: zero") << grid << 0.0 << QStringLiteral("0,000");
    QTest::newRow("grid: negative below one") << grid << -0.25 << QStringLiteral("-0,250");
    QTest::newRow("grid: rounds half away from zero") << grid << 2.0005 << QStringLiteral("2,001");
    QTest::newRow("grid: negative rounds away from zero") << grid << -2.0005 << QStringLiteral("-2,001");
    QTest::newRow("grid: carry into the integer part") << grid << 9.9996 << QStringLiteral("10,000");
    QTest::newRow("grid: tiny negative is zero") << grid << -0.0001 << QStringLiteral("0,000");
    QTest::newRow("grid: no grouping") << grid << 1234567.0 << QStringLiteral("1234567,000");
    QTest::newRow("xml: three decimals at least") << xml << 12.5 << QStringLiteral("12,500");
    QTest::newRow("xml: seven decimals at most") << xml << 0.0123456 << QStringLiteral("0,0123456");
    QTest::newRow("xml: rounded at the seventh") << xml << 2.00000004 << QStringLiteral("2,000");
    QTest::newRow("xml: eighth decimal rounds up") << xml << 0.12345675 << QStringLiteral("0,1234568");
    QTest::newRow("xml: whole number") << xml << 10.0 << QStringLiteral("10,000");
    QTest::newRow("integer pattern") << QStringLiteral("###########0") << 48.0 << QStringLiteral("48");
    QTest::newRow("integer pattern: zero") << QStringLiteral("###########0") << 0.0 << QStringLiteral("0");
    QTest::newRow("integer pattern: negative") << QStringLiteral("###########0") << -7.0 << QStringLiteral("-7");
    QTest::newRow("grouping") << QStringLiteral("#,##0.00") << 1234567.891 << QStringLiteral("1 234 567,89");
}

void TestTextConv::formatFloat()
{
    QFETCH(QString, pattern);
    QFETCH(double, value);
    QFETCH(QString, comma);
    QCOMPARE(FormatFloat(pattern, value, QChar(u','), QChar(u' ')), comma);
    QString point = comma;
    point.replace(u',', u'.');
    QCOMPARE(FormatFloat(pattern, value, QChar(u'.'), QChar(u' ')), point);
}

void TestTextConv::floatToStr_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("integral") << 132.0 << QStringLiteral("132");
    QTest::newRow("fraction") << 1.5 << QStringLiteral("1,5");
    QTest::newRow("keeps the entered digits") << 0.1 << QStringLiteral("0,1");
    QTest::newRow("negative") << -0.25 << QStringLiteral("-0,25");
    QTest::newRow("fifteen digits") << 123456789.123456 << QStringLiteral("123456789,123456");
    QTest::newRow("small") << 0.0001 << QStringLiteral("0,0001");
    QTest::newRow("very small uses an exponent") << 0.0000015 << QStringLiteral("1,5E-6");
    QTest::newRow("zero") << 0.0 << QStringLiteral("0");
    QTest::newRow("ten digit code") << 1210100000.0 << QStringLiteral("1210100000");
}

void TestTextConv::floatToStr()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(FloatToStr(value, QChar(u',')), text);
}

void TestTextConv::fieldTypeNamesKeepTheirOrder()
{
    QCOMPARE(FieldTypeName(ftUnknown), QStringLiteral("ftUnknown"));
    QCOMPARE(FieldTypeName(ftString), QStringLiteral("ftString"));
    QCOMPARE(FieldTypeName(ftSmallint), QStringLiteral("ftSmallint"));
    QCOMPARE(FieldTypeName(ftFloat), QStringLiteral("ftFloat"));
    QCOMPARE(FieldTypeName(ftAutoInc), QStringLiteral("ftAutoInc"));
    QCOMPARE(FieldTypeName(ftWideString), QStringLiteral("ftWideString"));
    QCOMPARE(FieldTypeName(ftGuid), QStringLiteral("ftGuid"));
    QCOMPARE(static_cast<int>(ftGuid), 35);
}

QTEST_GUILESS_MAIN(TestTextConv)
#include "tst_textconv.moc"
