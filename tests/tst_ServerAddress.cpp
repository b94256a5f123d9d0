#include "mail/ServerAddress.h"

#include <QTest>

class tst_ServerAddress : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
};

void tst_ServerAddress::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("secure");

    const auto readable = [](const char* name, const QString& text, const QString& host, int port,
                             bool secure) {
        QTest::newRow(name) << text << true << host << port << secure;
    };
    // A plain name goes through exactly as typed, whatever it holds.
    readable("host name", "pop.mail.test", "pop.mail.test", 110, false);
    readable("host name with blanks", " pop.mail.test ", " pop.mail.test ", 110, false);
    readable("IPv4", "192.0.2.7", "192.0.2.7", 110, false);
    readable("IPv6", "2001:db8::5", "2001:db8::5", 110, false);
    readable("IPv6 loopback", "::1", "::1", 110, false);
    readable("IPv6 ending like a port", "::1:995", "::1:995", 110, false);
    readable("IPv6 in brackets", "[::1]", "::1", 110, false);
    readable("IPv6 with port", "[2001:db8::5]:1110", "2001:db8::5", 1110, false);
    readable("IPv6 with port 995", "[2001:db8::5]:995", "2001:db8::5", 995, true);
    readable("host:995", "pop.mail.test:995", "pop.mail.test", 995, true);
    readable("host:1110", "pop.mail.test:1110", "pop.mail.test", 1110, false);
    readable("IPv4:110", "192.0.2.7:110", "192.0.2.7", 110, false);
    readable("leading zeros", "pop.mail.test:0995", "pop.mail.test", 995, true);
    readable("pop3s", "pop3s://pop.mail.test", "pop.mail.test", 995, true);
    readable("pop3s with port", "pop3s://pop.mail.test:1995", "pop.mail.test", 1995, true);
    readable("pop3s IPv6", "pop3s://[2001:db8::5]", "2001:db8::5", 995, true);
    readable("pop3s trailing slash", "pop3s://pop.mail.test/", "pop.mail.test", 995, true);
    readable("scheme in capitals", "POP3S://Pop.Mail.Test", "Pop.Mail.Test", 995, true);
    readable("pop3", "pop3://pop.mail.test", "pop.mail.test", 110, false);
    readable("pop3 with port", "pop3://pop.mail.test:1110", "pop.mail.test", 1110, false);
    readable("pop3 on 995 stays plain", "pop3://pop.mail.test:995", "pop.mail.test", 995, false);

    const auto unreadable = [](const char* name, const QString& text) {
        QTest::newRow(name) << text << false << QString() << 0 << false;
    };
    unreadable("empty port", "pop.mail.test:");
    unreadable("port by name", "pop.mail.test:pop3s");
    unreadable("port 0", "pop.mail.test:0");
    unreadable("port too large", "pop.mail.test:65536");
    unreadable("signed port", "pop.mail.test:+995");
    unreadable("port without host", ":995");
    unreadable("blank in host", "pop mail.test:110");
    unreadable("blank after port", "pop.mail.test:995 ");
    unreadable("not IPv6, two colons", "1:2:3");
    unreadable("brackets not closed", "[::1");
    unreadable("name in brackets", "[pop.mail.test]:110");
    unreadable("text after brackets", "[::1]x");
    unreadable("scheme alone", "pop3s://");
    unreadable("scheme and port only", "pop3s://:995");
    unreadable("IPv6 after scheme without brackets", "pop3s://::1");
    unreadable("user in address", "pop3s://jo@pop.mail.test");
    unreadable("path", "pop3s://pop.mail.test/inbox");
    unreadable("other scheme", "imap://pop.mail.test");
}

void tst_ServerAddress::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, readable);
    const std::optional<ServerAddress> address = ServerAddress::parse(text);
    QCOMPARE(address.has_value(), readable);
    if (!address)
        return;
    QTEST(address->host, "host");
    QTEST(int(address->port), "port");
    QTEST(address->secure, "secure");
}

QTEST_APPLESS_MAIN(tst_ServerAddress)
#include "tst_ServerAddress.moc"
