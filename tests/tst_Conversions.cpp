#include "core/Conversions.h"
#include "core/RuntimeError.h"

#include <QLocale>
#include <QTest>

#include <cmath>
#include <limits>

class tst_Conversions : public QObject
{
    Q_OBJECT
private slots:
    void numericValue_data();
    void numericValue();
    void numericValueIgnoresTheUsersDecimalSeparator();
    void numericValueOfAHugeExponentIsInfinite();

    void intervalSeconds_data();
    void intervalSeconds();
    void intervalSecondsOverflow_data();
    void intervalSecondsOverflow();

    void optionRoundTrip_data();
    void optionRoundTrip();
    void optionIndexRejects_data();
    void optionIndexRejects();

    void runStepSkipsAFailingStepOnly();
};

void tst_Conversions::numericValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");

    QTest::newRow("whole") << "10" << 10.0;
    QTest::newRow("fraction") << "2.5" << 2.5;
    QTest::newRow("leading zero") << "05" << 5.0;
    QTest::newRow("blanks inside") << " 1 0 " << 10.0;
    QTest::newRow("blanks around the point") << "1 . 5" << 1.5;
    QTest::newRow("one and a half") << "1.5" << 1.5;
    QTest::newRow("bare fraction") << ".5" << 0.5;
    QTest::newRow("negative") << "-3" << -3.0;
    QTest::newRow("negative bare fraction") << "-.5" << -0.5;
    QTest::newRow("plus sign") << "+4" << 4.0;
    QTest::newRow("trailing point") << "5." << 5.0;
    QTest::newRow("exponent") << "1e2" << 100.0;
    QTest::newRow("capital exponent") << "1E2" << 100.0;
    QTest::newRow("negative exponent") << "25e-1" << 2.5;
    QTest::newRow("signed exponent") << "1e+2" << 100.0;
    QTest::newRow("blanks in the exponent") << "1 e 2" << 100.0;
    QTest::newRow("exponent without digits") << "2e" << 2.0;
    QTest::newRow("exponent sign without digits") << "1e+" << 1.0;
    QTest::newRow("exponent then a point") << "1e2.5" << 100.0;
    QTest::newRow("letter") << "x" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("blanks only") << "   " << 0.0;
    QTest::newRow("digits then letters") << "12abc" << 12.0;
    QTest::newRow("two points") << "1.2.3" << 1.2;
    QTest::newRow("double sign") << "--1" << 0.0;
    QTest::newRow("sign only") << "-" << 0.0;
    QTest::newRow("point only") << "." << 0.0;
    QTest::newRow("exponent only") << "e5" << 0.0;
    QTest::newRow("comma is no decimal point") << "1,5" << 1.0;
    QTest::newRow("Arabic-Indic digits") << QStringLiteral("\u0663\u0664") << 0.0;
    QTest::newRow("ASCII then Arabic-Indic") << QStringLiteral("1\u0663") << 1.0;
    QTest::newRow("fullwidth digit") << QStringLiteral("\uFF15") << 0.0;
    QTest::newRow("Arabic-Indic exponent digit") << QStringLiteral("2e\u0663") << 2.0;
    QTest::newRow("vanishing exponent") << "1e-400" << 0.0;
}

void tst_Conversions::numericValue()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(Conversions::numericValue(text), value);
}

void tst_Conversions::numericValueIgnoresTheUsersDecimalSeparator()
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const double withPoint = Conversions::numericValue(QStringLiteral("1.5"));
    const double withComma = Conversions::numericValue(QStringLiteral("1,5"));
    const double grouped = Conversions::numericValue(QStringLiteral("1.000"));
    QLocale::setDefault(previous);
    QCOMPARE(withPoint, 1.5);
    QCOMPARE(withComma, 1.0);
    QCOMPARE(grouped, 1.0);
}

void tst_Conversions::numericValueOfAHugeExponentIsInfinite()
{
    QVERIFY(std::isinf(Conversions::numericValue(QStringLiteral("1e999"))));
    QVERIFY(Conversions::numericValue(QStringLiteral("-1e999")) < 0);
}

void tst_Conversions::intervalSeconds_data()
{
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<qint32>("seconds");

    QTest::newRow("default") << "10" << 600;
    QTest::newRow("two and a half") << "2.5" << 150;
    QTest::newRow("one and a half") << "1.5" << 90;
    QTest::newRow("leading zero") << "05" << 300;
    QTest::newRow("largest typed") << "99" << 5940;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("not a number") << "x" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("negative") << "-3" << -180;
    // Three quarters of a second rounds up, a quarter down.
    QTest::newRow("0.75 s") << "0.0125" << 1;
    QTest::newRow("about 0.25 s") << "0.00416" << 0;
    // Minutes that are exact in binary and give exactly half a second: halves go to the even neighbour.
    QTest::newRow("1.5 s") << "0.025" << 2;
    QTest::newRow("7.5 s") << "0.125" << 8;
    QTest::newRow("22.5 s") << "0.375" << 22;
    QTest::newRow("37.5 s") << "0.625" << 38;
    QTest::newRow("52.5 s") << "0.875" << 52;
    QTest::newRow("-7.5 s") << "-0.125" << -8;
    QTest::newRow("-22.5 s") << "-0.375" << -22;
    QTest::newRow("largest that fits") << "35791394" << 2147483640;
    QTest::newRow("smallest that fits") << "-35791394" << -2147483640;
    QTest::newRow("vanishing exponent") << "1e-400" << 0;
}

void tst_Conversions::intervalSeconds()
{
    QFETCH(QString, minutes);
    QFETCH(qint32, seconds);
    QCOMPARE(Conversions::intervalSeconds(minutes), seconds);
}

void tst_Conversions::intervalSecondsOverflow_data()
{
    QTest::addColumn<QString>("minutes");

    QTest::newRow("eight nines") << "99999999";
    QTest::newRow("first that does not fit") << "35791395";
    QTest::newRow("negative") << "-35791395";
    QTest::newRow("huge exponent") << "1e999";
    QTest::newRow("huge negative exponent") << "-1e999";
}

void tst_Conversions::intervalSecondsOverflow()
{
    QFETCH(QString, minutes);
    QVERIFY_THROWS_EXCEPTION(RuntimeError, Conversions::intervalSeconds(minutes));
}

void tst_Conversions::optionRoundTrip_data()
{
    QTest::addColumn<qint16>("index");
    QTest::addColumn<QString>("text");

    QTest::newRow("0") << qint16(0) << "0";
    QTest::newRow("1") << qint16(1) << "1";
    QTest::newRow("2") << qint16(2) << "2";
    QTest::newRow("largest") << std::numeric_limits<qint16>::max() << "32767";
    QTest::newRow("smallest") << std::numeric_limits<qint16>::min() << "-32768";
}

void tst_Conversions::optionRoundTrip()
{
    QFETCH(qint16, index);
    QFETCH(QString, text);
    QCOMPARE(Conversions::optionText(index), text);
    QCOMPARE(Conversions::optionIndex(text), index);
}

void tst_Conversions::optionIndexRejects_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << "";
    QTest::newRow("letter") << "x";
    QTest::newRow("fraction") << "1.0";
    QTest::newRow("digit then letter") << "1x";
    QTest::newRow("beyond 16 bits") << "70000";
    QTest::newRow("just beyond 16 bits") << "32768";
    QTest::newRow("just below 16 bits") << "-32769";
    QTest::newRow("beyond 32 bits") << "4294967296";
}

void tst_Conversions::optionIndexRejects()
{
    QFETCH(QString, text);
    QVERIFY_THROWS_EXCEPTION(RuntimeError, Conversions::optionIndex(text));
}

void tst_Conversions::runStepSkipsAFailingStepOnly()
{
    QStringList ran;
    const bool first = runStep([&] {
        ran << "first";
        throw RuntimeError(QStringLiteral("refused"));
    });
    const bool second = runStep([&] { ran << "second"; });
    const bool overflow = runStep([&] { Conversions::intervalSeconds(QStringLiteral("99999999")); });

    QVERIFY(!first);
    QVERIFY(second);
    QVERIFY(!overflow);
    QCOMPARE(ran, QStringList({"first", "second"}));
}

QTEST_MAIN(tst_Conversions)
#include "tst_Conversions.moc"
