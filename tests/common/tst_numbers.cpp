#include "Int32.h"
#include "LeadingNumber.h"
#include "SystemError.h"

#include <QTest>

#include <cmath>
#include <limits>

class tst_Numbers : public QObject
{
    Q_OBJECT

private slots:
    void leadingNumber_data();
    void leadingNumber();
    void toInt32_data();
    void toInt32();
    void toInt32Overflow_data();
    void toInt32Overflow();
    void toInt16();
    void overflowError();
};

void tst_Numbers::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("plain") << "200" << 200.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("no number") << "abc" << 0.0;
    QTest::newRow("text after") << "123abc" << 123.0;
    QTest::newRow("leading blanks") << "   42" << 42.0;
    QTest::newRow("leading tab and line feed") << "\t\n7" << 7.0;
    QTest::newRow("blanks among digits") << "1 2 3" << 123.0;
    QTest::newRow("tab among digits") << "1\t0" << 10.0;
    QTest::newRow("line feed among digits") << "4\n5" << 45.0;
    QTest::newRow("carriage return stops") << "4\r5" << 4.0;
    QTest::newRow("status line") << "226 Transfer complete" << 226.0;
    QTest::newRow("reply code and dash") << "150-Opening" << 150.0;
    QTest::newRow("fraction") << "3.25" << 3.25;
    QTest::newRow("leading point") << ".5" << 0.5;
    QTest::newRow("point alone") << "." << 0.0;
    QTest::newRow("second point stops") << "1.2.3" << 1.2;
    QTest::newRow("exponent") << "1.5e3" << 1500.0;
    QTest::newRow("capital exponent") << "2E2" << 200.0;
    QTest::newRow("negative exponent") << "25e-1" << 2.5;
    QTest::newRow("exponent plus") << "1e+2x" << 100.0;
    QTest::newRow("exponent without digits") << "7e" << 7.0;
    QTest::newRow("exponent sign without digits") << "7e-" << 7.0;
    QTest::newRow("letter e alone") << "e5" << 0.0;
    QTest::newRow("minus") << "-12" << -12.0;
    QTest::newRow("plus") << "+12" << 12.0;
    QTest::newRow("sign alone") << "-" << 0.0;
    QTest::newRow("blank after sign") << "- 3" << -3.0;
    QTest::newRow("comma stops") << "1,000" << 1.0;
    QTest::newRow("full-width digit stops") << QString::fromUtf16(u"1２") << 1.0;
    QTest::newRow("content length") << " 1048576\r\n" << 1048576.0;
    QTest::newRow("passive numbers") << "127,0,0,1,117,48" << 127.0;
}

void tst_Numbers::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(LeadingNumber(text), expected);
}

void tst_Numbers::toInt32_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected");

    QTest::newRow("zero") << 0.0 << 0;
    QTest::newRow("half to even zero") << 0.5 << 0;
    QTest::newRow("one and a half") << 1.5 << 2;
    QTest::newRow("two and a half") << 2.5 << 2;
    QTest::newRow("three and a half") << 3.5 << 4;
    QTest::newRow("minus half") << -0.5 << 0;
    QTest::newRow("minus one and a half") << -1.5 << -2;
    QTest::newRow("minus two and a half") << -2.5 << -2;
    QTest::newRow("just below half") << 2.4999 << 2;
    QTest::newRow("just above half") << 2.5001 << 3;
    QTest::newRow("negative above half") << -2.6 << -3;
    QTest::newRow("largest") << 2147483647.0 << 2147483647;
    QTest::newRow("largest plus fraction rounds down") << 2147483647.4 << 2147483647;
    QTest::newRow("smallest") << -2147483648.0 << int(-2147483647 - 1);
    QTest::newRow("smallest minus half rounds to even") << -2147483648.5 << int(-2147483647 - 1);
}

void tst_Numbers::toInt32()
{
    QFETCH(double, value);
    QFETCH(int, expected);
    QCOMPARE(::toInt32(value), expected);
}

void tst_Numbers::toInt32Overflow_data()
{
    QTest::addColumn<double>("value");

    QTest::newRow("one past the largest") << 2147483648.0;
    QTest::newRow("half past the largest rounds up") << 2147483647.5;
    QTest::newRow("one below the smallest") << -2147483649.0;
    QTest::newRow("huge") << 1e20;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity();
    QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity();
    QTest::newRow("not a number") << std::nan("");
}

void tst_Numbers::toInt32Overflow()
{
    QFETCH(double, value);
    try {
        ::toInt32(value);
        QFAIL("no overflow");
    } catch (const SystemError &e) {
        QCOMPARE(e.number(), 6);
    }
}

void tst_Numbers::toInt16()
{
    QCOMPARE(::toInt16(32767.0), qint16(32767));
    QCOMPARE(::toInt16(-32768.0), qint16(-32768));
    QCOMPARE(::toInt16(4.5), qint16(4));
    QVERIFY_THROWS_EXCEPTION(SystemError, ::toInt16(32767.5));
    QVERIFY_THROWS_EXCEPTION(SystemError, ::toInt16(-32769.0));
}

void tst_Numbers::overflowError()
{
    // A number too large for a double still fails as an overflow once converted.
    const double huge = LeadingNumber(QStringLiteral("9e999"));
    QVERIFY(std::isinf(huge));
    try {
        ::toInt32(huge);
        QFAIL("no overflow");
    } catch (const SystemError &e) {
        QCOMPARE(e.number(), 6);
        QCOMPARE(e.description(), QStringLiteral("Overflow"));
    }
}

QTEST_GUILESS_MAIN(tst_Numbers)
#include "tst_numbers.moc"
