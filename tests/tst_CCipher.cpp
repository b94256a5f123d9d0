#include "settings/CCipher.h"
#include "settings/RandomGenerator.h"
#include "settings/SixBit.h"

#include <QTest>

#include <algorithm>

namespace {

QString allCodes()
{
    QString text;
    for (int code = 0; code <= 255; ++code)
        text += QChar(code);
    return text;
}

QString encrypt(const QString& password, const QString& key = ApplicationKey())
{
    CCipher cipher;
    cipher.Text(password);
    cipher.Key(key);
    cipher.Encrypt();
    return cipher.Text();
}

QString decrypt(const QString& stored, const QString& key = ApplicationKey())
{
    CCipher cipher;
    cipher.Text(stored);
    cipher.Key(key);
    cipher.Decrypt();
    return cipher.Text();
}

// The first n bytes of the key stream: what enciphering n NUL bytes XORs in.
QByteArray keyStream(int n, const QString& key = ApplicationKey())
{
    return SixBit::decode(encrypt(QString(n, QChar(0)), key).toLatin1());
}

QByteArray xorBytes(QByteArray bytes, const QByteArray& stream)
{
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(bytes[i] ^ stream[i]);
    return bytes;
}

QList<float> draws(int n)
{
    QList<float> values;
    for (int i = 0; i < n; ++i)
        values << RandomGenerator::next();
    return values;
}

} // namespace

class tst_CCipher : public QObject
{
    Q_OBJECT
private slots:
    void generatorValuesStayInRange();
    void generatorZeroRepeatsWithoutAdvancing();
    void generatorNegativeSeedIgnoresEarlierState();
    void generatorReseedIsDeterministic();

    void sixBitPacking_data();
    void sixBitPacking();
    void sixBitRoundTrip_data();
    void sixBitRoundTrip();
    void sixBitDecodeAnyText_data();
    void sixBitDecodeAnyText();

    void cipherTextLength_data();
    void cipherTextLength();
    void roundTrip_data();
    void roundTrip();
    void knownAnswer();
    void emptyStaysEmpty();
    void keyBeforeTextGivesSameResult();
    void earlierDrawsDoNotMatter();
    void secondTransformContinuesStream();
    void passwordsShareKeyStream();
    void hostileDecryptInput_data();
    void hostileDecryptInput();
};

void tst_CCipher::generatorValuesStayInRange()
{
    RandomGenerator::value(-3.5F);
    for (const float v : draws(100000))
        QVERIFY2(v >= 0.0F && v < 1.0F, qPrintable(QString::number(v)));
}

void tst_CCipher::generatorZeroRepeatsWithoutAdvancing()
{
    RandomGenerator::value(-7.0F);
    const QList<float> expected = draws(3);

    RandomGenerator::value(-7.0F);
    const float first = RandomGenerator::next();
    QCOMPARE(RandomGenerator::value(0.0F), first);
    QCOMPARE(RandomGenerator::value(-0.0F), first);
    QCOMPARE(first, expected[0]);
    QCOMPARE(draws(2), expected.mid(1));
}

void tst_CCipher::generatorNegativeSeedIgnoresEarlierState()
{
    const float first = RandomGenerator::value(-1.0F);
    const QList<float> sequence = draws(5);

    RandomGenerator::reseed(0.25F);
    draws(17);
    QCOMPARE(RandomGenerator::value(-1.0F), first);
    QCOMPARE(draws(5), sequence);

    QVERIFY(RandomGenerator::value(-2.0F) != first || draws(5) != sequence);
}

void tst_CCipher::generatorReseedIsDeterministic()
{
    RandomGenerator::value(-1.0F);
    RandomGenerator::reseed(0.5F);
    const QList<float> sequence = draws(5);

    RandomGenerator::value(-1.0F);
    RandomGenerator::reseed(0.5F);
    QCOMPARE(draws(5), sequence);

    RandomGenerator::value(-1.0F);
    RandomGenerator::reseed(0.75F);
    QVERIFY(draws(5) != sequence);
}

void tst_CCipher::sixBitPacking_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("packed");

    QTest::newRow("abc") << QByteArray("abc") << QByteArray("\x5c\x5d\x5e\x50");
    QTest::newRow("one byte, top bits set") << QByteArray("\xff") << QByteArray("\x7a\x6b");
    QTest::newRow("two bytes") << QByteArray("\x40\x80") << QByteArray("\x3b\x3b\x53");
    QTest::newRow("top bits per position") << QByteArray("\xc0\x80\x40") << QByteArray("\x3b\x3b\x3b\x74");
    QTest::newRow("second group starts afresh")
        << QByteArray("\xc0\xc0\xc0\x01") << QByteArray("\x3b\x3b\x3b\x7a\x3c\x3b");
}

void tst_CCipher::sixBitPacking()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, packed);

    QCOMPARE(SixBit::encode(bytes), packed);
    QCOMPARE(SixBit::decode(packed), bytes);
}

void tst_CCipher::sixBitRoundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QByteArray all;
    for (int code = 0; code <= 255; ++code)
        all += static_cast<char>(code);
    QTest::newRow("empty") << QByteArray();
    for (int length = 1; length <= 8; ++length) {
        QTest::addRow("%d x 0xff", length) << QByteArray(length, '\xff');
        QTest::addRow("%d x NUL", length) << QByteArray(length, '\0');
    }
    QTest::newRow("every byte") << all;
    QTest::newRow("every byte, shifted") << all.mid(1);
    QTest::newRow("every byte, shifted twice") << all.mid(2);
}

void tst_CCipher::sixBitRoundTrip()
{
    QFETCH(QByteArray, bytes);

    const QByteArray packed = SixBit::encode(bytes);
    QCOMPARE(packed.size(), bytes.size() + (bytes.size() + 2) / 3);
    for (const char c : packed)
        QVERIFY(c >= 59 && c <= 122);
    QCOMPARE(SixBit::decode(packed), bytes);
}

void tst_CCipher::sixBitDecodeAnyText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("bytes");

    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("1") << QByteArray("z") << 0;
    QTest::newRow("5") << QByteArray("zzzzz") << 3;
    QTest::newRow("9") << QByteArray("zzzzzzzzz") << 6;
    QTest::newRow("13") << QByteArray(13, '\xff') << 9;
    QTest::newRow("NULs") << QByteArray(6, '\0') << 4;
    QTest::newRow("outside the alphabet") << QByteArray("\x80\xff ~{\x01\x3a") << 5;
}

void tst_CCipher::sixBitDecodeAnyText()
{
    QFETCH(QByteArray, text);
    QFETCH(int, bytes);

    QByteArray inAlphabet = text;
    for (char& c : inAlphabet)
        c = static_cast<char>(((static_cast<unsigned char>(c) - 59) & 63) + 59);

    const QByteArray decoded = SixBit::decode(text);
    QCOMPARE(decoded.size(), bytes);
    QCOMPARE(decoded, SixBit::decode(inAlphabet));
}

void tst_CCipher::cipherTextLength_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("length");

    const int lengths[] = {2, 3, 4, 6, 7, 8, 10};
    for (int n = 1; n <= 7; ++n)
        QTest::addRow("%d characters", n) << QStringLiteral("secret!").left(n) << lengths[n - 1];
}

void tst_CCipher::cipherTextLength()
{
    QFETCH(QString, password);
    QFETCH(int, length);

    QCOMPARE(encrypt(password).size(), length);
}

void tst_CCipher::roundTrip_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("key");

    const QString all = allCodes();
    QString reversed = all;
    std::reverse(reversed.begin(), reversed.end());
    QTest::newRow("every code 0..255") << all << ApplicationKey();
    QTest::newRow("every code, reversed") << reversed << ApplicationKey();
    QTest::newRow("NUL alone") << QString(1, QChar(0)) << ApplicationKey();
    QTest::newRow("code 255 alone") << QString(1, QChar(255)) << ApplicationKey();
    QTest::newRow("non-ASCII") << QStringLiteral("pässwörd€😀") << ApplicationKey();
    QTest::newRow("leading U+FEFF is no byte-order mark") << QStringLiteral("\uFEFFpw") << ApplicationKey();
    QTest::newRow("long") << QString(1000, QLatin1Char('x')) << ApplicationKey();
    QTest::newRow("non-ASCII key") << QStringLiteral("hunter2") << QStringLiteral("ключ€");
    QTest::newRow("empty key") << QStringLiteral("hunter2") << QString();
}

void tst_CCipher::roundTrip()
{
    QFETCH(QString, password);
    QFETCH(QString, key);

    const QString stored = encrypt(password, key);
    for (const QChar c : stored)
        QVERIFY2(c.unicode() >= 59 && c.unicode() <= 122, qPrintable(stored));
    QCOMPARE(decrypt(stored, key), password);
}

void tst_CCipher::knownAnswer()
{
    // Stored passwords depend on these staying the same in every version.
    QCOMPARE(encrypt(QStringLiteral("password")), QStringLiteral("CYRZfZhqjKS"));
    QCOMPARE(encrypt(QStringLiteral("abc"), QString()), QStringLiteral("XYdB"));
}

void tst_CCipher::emptyStaysEmpty()
{
    QCOMPARE(encrypt(QString()), QString());
    QCOMPARE(decrypt(QString()), QString());
}

void tst_CCipher::keyBeforeTextGivesSameResult()
{
    const QString password = QStringLiteral("pässwörd");
    CCipher cipher;
    cipher.Key(ApplicationKey());
    cipher.Text(password);
    cipher.Encrypt();
    QCOMPARE(cipher.Text(), encrypt(password));

    cipher.Key(ApplicationKey());
    cipher.Decrypt();
    QCOMPARE(cipher.Text(), password);
}

void tst_CCipher::earlierDrawsDoNotMatter()
{
    const QString expected = encrypt(QStringLiteral("hunter2"));
    RandomGenerator::reseed(123.0F);
    draws(9);
    QCOMPARE(encrypt(QStringLiteral("hunter2")), expected);
}

void tst_CCipher::secondTransformContinuesStream()
{
    const QByteArray stream = keyStream(7);
    CCipher cipher;
    cipher.Text(QStringLiteral("abc"));
    cipher.Key(ApplicationKey());
    cipher.Encrypt();
    const QByteArray once = cipher.Text().toLatin1();
    cipher.Encrypt();

    QCOMPARE(once, SixBit::encode(xorBytes("abc", stream)));
    QCOMPARE(cipher.Text().toLatin1(), SixBit::encode(xorBytes(once, stream.mid(3))));
}

void tst_CCipher::passwordsShareKeyStream()
{
    const QByteArray stream = keyStream(8);
    for (const QByteArray password :
         {QByteArray("a"), QByteArray("hunter2"), QByteArray("\xff\x00\x7f", 3)}) {
        const QByteArray cipherBytes = SixBit::decode(encrypt(QString::fromLatin1(password)).toLatin1());
        QCOMPARE(xorBytes(cipherBytes, QString::fromLatin1(password).toUtf8()),
                 stream.left(QString::fromLatin1(password).toUtf8().size()));
    }
    QVERIFY(keyStream(8, QStringLiteral("other")) != stream);
}

void tst_CCipher::hostileDecryptInput_data()
{
    QTest::addColumn<QString>("stored");

    QTest::newRow("one character") << QStringLiteral("z");
    QTest::newRow("five characters") << QStringLiteral("abcde");
    QTest::newRow("nine characters") << QStringLiteral("abcdefghi");
    QTest::newRow("below the alphabet") << QStringLiteral(" !\"#$%&'");
    QTest::newRow("above the alphabet") << QStringLiteral("{|}~{|}~");
    QTest::newRow("NULs") << QString(5, QChar(0));
    QTest::newRow("every code") << allCodes();
    QTest::newRow("non-ASCII") << QStringLiteral("€😀ÿ");
    QTest::newRow("lone surrogate") << QString(1, QChar(0xD800));
    QTest::newRow("very long") << QString(100001, QLatin1Char('~'));
}

void tst_CCipher::hostileDecryptInput()
{
    QFETCH(QString, stored);

    const QString once = decrypt(stored);
    QCOMPARE(decrypt(stored), once);
}

QTEST_GUILESS_MAIN(tst_CCipher)
#include "tst_CCipher.moc"
