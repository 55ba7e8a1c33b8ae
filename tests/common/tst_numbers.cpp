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
    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("no number") << "abc" << 0.0;
        QTest::newRow("text after") << "123abc" << 123.0;
        QTest::newRow("leading blanks") << "   42" << 42.0;
        QTest::newRow("leading tab and line feed") << "\t\n7" << 7.0;
        QTest::newRow("blanks among digits") << "1 2 3" << 123.0;
        QTest::newRow("tab and line feed among digits") << "1\t0\n5" << 105.0;
        QTest::newRow("carriage return stops") << "4\r5" << 4.0;
        QTest::newRow("fraction") << "3.25" << 3.25;
        QTest::newRow("leading point") << ".5" << 0.5;
        QTest::newRow("point alone") << "." << 0.0;
        QTest::newRow("second point stops") << "1.2.3" << 1.2;
        QTest::newRow("exponent") << "1.5E3" << 1500.0;
        QTest::newRow("negative exponent") << "25e-1" << 2.5;
        QTest::newRow("exponent plus") << "1e+2x" << 100.0;
        QTest::newRow("exponent without digits") << "7e" << 7.0;
        QTest::newRow("exponent sign without digits") << "7e-" << 7.0;
        QTest::newRow("letter e alone") << "e5" << 0.0;
        QTest::newRow("minus") << "-12" << -12.0;
        QTest::newRow("plus") << "+12" << 12.0;
        QTest::newRow("sign alone") << "-" << 0.0;
        QTest::newRow("blank after sign") << "- 3" << -3.0;
        QTest::newRow("full-width digit stops") << QString::fromUtf16(u"1２") << 1.0;
        QTest::newRow("content length") << " 1048576\r\n" << 1048576.0;
        QTest::newRow("beyond a double") << "9e999" << std::numeric_limits<double>::infinity();
        QTest::newRow("passive numbers") << "127,0,0,1,117,48" << 127.0;
    }
    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(LeadingNumber(text), expected);
    }

    void toInteger_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("bits");
        QTest::addColumn<QVariant>("expected"); // invalid: overflow

        const QVariant overflow;
        QTest::newRow("half to even zero") << 0.5 << 32 << QVariant(0);
        QTest::newRow("one and a half") << 1.5 << 32 << QVariant(2);
        QTest::newRow("two and a half") << 2.5 << 32 << QVariant(2);
        QTest::newRow("minus two and a half") << -2.5 << 32 << QVariant(-2);
        QTest::newRow("just above half") << 2.5001 << 32 << QVariant(3);
        QTest::newRow("largest") << 2147483647.0 << 32 << QVariant(2147483647);
        QTest::newRow("largest plus fraction rounds down") << 2147483647.4 << 32 << QVariant(2147483647);
        QTest::newRow("smallest") << -2147483648.0 << 32 << QVariant(int(-2147483647 - 1));
        QTest::newRow("smallest minus half rounds to even") << -2147483648.5 << 32 << QVariant(int(-2147483647 - 1));
        QTest::newRow("one past the largest") << 2147483648.0 << 32 << overflow;
        QTest::newRow("half past the largest rounds up") << 2147483647.5 << 32 << overflow;
        QTest::newRow("one below the smallest") << -2147483649.0 << 32 << overflow;
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << 32 << overflow;
        QTest::newRow("not a number") << std::nan("") << 32 << overflow;
        // A number too large for a double still fails as an overflow once converted.
        QTest::newRow("too large for a double") << LeadingNumber(QStringLiteral("9e999")) << 32 << overflow;
        QTest::newRow("16-bit largest") << 32767.0 << 16 << QVariant(32767);
        QTest::newRow("16-bit smallest") << -32768.0 << 16 << QVariant(-32768);
        QTest::newRow("16-bit half past the largest") << 32767.5 << 16 << overflow;
        QTest::newRow("16-bit one below the smallest") << -32769.0 << 16 << overflow;
    }
    void toInteger()
    {
        QFETCH(double, value);
        QFETCH(int, bits);
        QFETCH(QVariant, expected);
        try {
            const int result = bits == 16 ? ::toInt16(value) : ::toInt32(value);
            QVERIFY2(expected.isValid(), "no overflow");
            QCOMPARE(result, expected.toInt());
        } catch (const SystemError &e) {
            QVERIFY2(!expected.isValid(), qPrintable(e.description()));
            QCOMPARE(e.number(), 6);
            QCOMPARE(e.description(), QStringLiteral("Overflow"));
        }
    }
};

QTEST_GUILESS_MAIN(tst_Numbers)
#include "tst_numbers.moc"
