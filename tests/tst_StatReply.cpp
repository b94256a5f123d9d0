#include "core/RuntimeError.h"
#include "mail/ReplyReader.h"
#include "mail/StatReply.h"

#include <QTest>

class tst_StatReply : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void unreadable_data();
    void unreadable();
    void resultText_data();
    void resultText();
    void lines_data();
    void lines();
    void judgeAndServerText_data();
    void judgeAndServerText();
};

void tst_StatReply::parse_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("kb");
    QTest::newRow("empty mailbox") << "+OK 0 0\r\n" << 0LL << 0LL << 0LL;
    QTest::newRow("half a Kb rounds to even 0") << "+OK 1 512\r\n" << 1LL << 512LL << 0LL;
    QTest::newRow("one and a half Kb rounds to even 2") << "+OK 1 1536\r\n" << 1LL << 1536LL << 2LL;
    QTest::newRow("two and a half Kb rounds to even 2") << "+OK 2 2560\r\n" << 2LL << 2560LL << 2LL;
    QTest::newRow("text after the size") << "+OK 3 5000 x\r\n" << 3LL << 5000LL << 5LL;
    QTest::newRow("bare line feed") << "+OK 3 5000\n" << 3LL << 5000LL << 5LL;
    QTest::newRow("no line end") << "+OK 3 5000" << 3LL << 5000LL << 5LL;
    QTest::newRow("more messages than 16 bits") << "+OK 40000 10\r\n" << 40000LL << 10LL << 0LL;
    QTest::newRow("several gigabytes") << "+OK 3 5000000000\r\n" << 3LL << 5000000000LL << 4882812LL;
}

void tst_StatReply::parse()
{
    QFETCH(QString, reply);
    const StatReply stat = StatReply::parse(reply);
    QTEST(stat.count, "count");
    QTEST(stat.size, "size");
    QTEST(stat.kb, "kb");
}

void tst_StatReply::unreadable_data()
{
    QTest::addColumn<QString>("reply");
    QTest::newRow("no size") << "+OK 3\r\n";
    QTest::newRow("nothing after +OK") << "+OK\r\n";
    QTest::newRow("two blanks") << "+OK  3 5000\r\n";
    QTest::newRow("count not a number") << "+OK x 5000\r\n";
    QTest::newRow("size not a number") << "+OK 3 50k0\r\n";
    QTest::newRow("empty size") << "+OK 3 \r\n";
    QTest::newRow("size beyond 64 bits") << "+OK 3 99999999999999999999\r\n";
    QTest::newRow("empty") << "";
}

void tst_StatReply::unreadable()
{
    QFETCH(QString, reply);
    QVERIFY_THROWS_EXCEPTION(RuntimeError, StatReply::parse(reply));
}

void tst_StatReply::resultText_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("withSize");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << "+OK 0 0" << true << "No e-mail waiting (0 Kb)";
    QTest::newRow("one") << "+OK 1 1536" << true << "1 e-mail waiting (2 Kb)";
    QTest::newRow("three") << "+OK 3 5000" << true << "3 e-mails waiting (5 Kb)";
    QTest::newRow("count only") << "+OK 3 5000" << false << "3 e-mails waiting";
    QTest::newRow("negative count") << "+OK -2 0" << false << "-2 e-mails waiting";
    QTest::newRow("forty thousand") << "+OK 40000 10" << false << "40000 e-mails waiting";
}

void tst_StatReply::resultText()
{
    QFETCH(QString, reply);
    QFETCH(bool, withSize);
    QTEST(StatReply::parse(reply).resultText(withSize), "text");
}

void tst_StatReply::lines_data()
{
    QTest::addColumn<QStringList>("chunks");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("one line") << QStringList{"+OK 3 5000\r\n"} << QStringList{"+OK 3 5000\r\n"};
    QTest::newRow("split inside +OK") << QStringList{"+O", "K ready\r\n"} << QStringList{"+OK ready\r\n"};
    QTest::newRow("split between CR and LF") << QStringList{"+OK 1 2\r", "\n"} << QStringList{"+OK 1 2\r\n"};
    QTest::newRow("two lines at once")
        << QStringList{"+OK a\r\n-ERR b\n"} << QStringList{"+OK a\r\n", "-ERR b\n"};
    QTest::newRow("unfinished line waits") << QStringList{"+OK 3 50"} << QStringList{};
    const QString piece(ReplyReader::kMaxLine, QLatin1Char('x'));
    QTest::newRow("an endless line is cut, not hoarded")
        << QStringList{piece.left(100), piece.mid(100) + piece + "abc"} << QStringList{piece, piece};
}

void tst_StatReply::lines()
{
    QFETCH(QStringList, chunks);
    ReplyReader reader;
    QStringList lines;
    for (const QString& chunk : chunks)
        lines += reader.feed(chunk);
    QTEST(lines, "lines");
}

void tst_StatReply::judgeAndServerText_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QString>("serverText");
    QTest::newRow("ok") << "+OK hello\r\n" << int(ReplyReader::Verdict::Ok) << "hello";
    QTest::newRow("lower-case ok is no verdict") << "+ok hello\r\n"
                                                 << int(ReplyReader::Verdict::None) << "hello";
    QTest::newRow("wrong password") << "-ERR [AUTH] Authentication failed.\r\n"
                                    << int(ReplyReader::Verdict::Err) << "[AUTH] Authentication failed.";
    QTest::newRow("bare -ERR") << "-ERR\r\n" << int(ReplyReader::Verdict::Err) << "";
    QTest::newRow("bare LF") << "-ERR no\n" << int(ReplyReader::Verdict::Err) << "no";
}

void tst_StatReply::judgeAndServerText()
{
    QFETCH(QString, line);
    QFETCH(int, verdict);
    QCOMPARE(int(ReplyReader::judge(line)), verdict);
    if (verdict == int(ReplyReader::Verdict::Err))
        QTEST(ReplyReader::serverText(line), "serverText");
}

QTEST_APPLESS_MAIN(tst_StatReply)
#include "tst_StatReply.moc"
