#include "support/FreshProcess.h"
#include "support/LoadedFiles.h"
#include "support/ScriptedPop3Server.h"

#include "core/RuntimeError.h"
#include "platform/Utf8Decoder.h"
#include "platform/Winsock.h"

#include <QDir>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr int waitMs = 5000;
const QString greeting = QStringLiteral("+OK Quillpost test server ready\r\n");

// Takes all waiting data at each arrival, as the POP3 conversation does.
class Reader : public QObject
{
public:
    explicit Reader(Winsock& socket)
    {
        connect(&socket, &Winsock::DataArrival, this,
                [this, &socket](qint32 bytesTotal) { pieces.append(socket.GetData(bytesTotal)); });
    }
    QString text() const { return pieces.join(QString()); }

    QStringList pieces;
};

// Starts a connection to the scripted server on the IPv4 loopback.
void connectTo(Winsock& socket, const ScriptedPop3Server& server)
{
    socket.RemoteHost = QStringLiteral("127.0.0.1");
    socket.RemotePort = server.port();
    socket.Connect();
}

// Connects as soon as the socket has closed by itself.
bool connectOnceClosed(Winsock& socket)
{
    return QTest::qWaitFor([&] { return runStep([&] { socket.Connect(); }); }, waitMs);
}

} // namespace

class tst_Winsock : public QObject
{
    Q_OBJECT
private slots:
    void plainConversationLoadsNoTls();
    void greetingArrivesAsData_data();
    void greetingArrivesAsData();
    void sentTextArrivesAsUtf8_data();
    void sentTextArrivesAsUtf8();
    void connectCannotStart_data();
    void connectCannotStart();
    void connectWhileOpenThrows();
    void sendWithoutConnectionThrows();
    void nothingGoesOutBeforeTheHandshake();
    void upgradedConnectionStaysOutOfChildProcesses();
    void conversationKeepsOrder();
    void splitReplyArrivesInPieces();
    void getDataKeepsCharactersWhole();
    void textDoesNotDependOnTheCuts_data();
    void textDoesNotDependOnTheCuts();
    void hugeLineArrivesWhole();
    void closeSendsWhatWasHandedOver();
    void closeFlushesMoreThanTheSystemTakesAtOnce();
    void refusedConnectionLeavesSocketConnectable();
    void serverClosingLeavesSocketConnectable();
};

void tst_Winsock::plainConversationLoadsNoTls()
{
    // OpenSSL is megabytes of memory for the rest of the run: only a server that uses TLS loads it.
    if (!inFreshProcess()) {
        QVERIFY(passesInFreshProcess());
        return;
    }
    ScriptedPop3Server server;
    Winsock socket;
    Reader reader(socket);
    connectTo(socket, server);
    QTRY_COMPARE_WITH_TIMEOUT(reader.text(), greeting, waitMs);
    QVERIFY(!isMapped("libssl"));
}

void tst_Winsock::greetingArrivesAsData_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QHostAddress>("listenOn");
    QTest::newRow("IPv4 address") << "127.0.0.1" << QHostAddress(QHostAddress::LocalHost);
    QTest::newRow("IPv6 address") << "::1" << QHostAddress(QHostAddress::LocalHostIPv6);
    QTest::newRow("host name") << "localhost" << QHostAddress(QHostAddress::LocalHost);
}

void tst_Winsock::greetingArrivesAsData()
{
    QFETCH(QString, host);
    QFETCH(QHostAddress, listenOn);
    ScriptedPop3Server server(listenOn);
    if (!server.isListening())
        QSKIP("no loopback for this address family");
    Winsock socket;
    Reader reader(socket);
    QSignalSpy arrivals(&socket, &Winsock::DataArrival);
    socket.RemoteHost = host;
    socket.RemotePort = server.port();

    socket.Connect();

    QVERIFY(arrivals.wait(waitMs));
    QCOMPARE(arrivals.first().first().toInt(), greeting.size());
    QCOMPARE(reader.text(), greeting);
    QCOMPARE(socket.GetData(100), QString()); // taken by the first GetData
    QCOMPARE(server.connectionCount(), 1);
}

void tst_Winsock::sentTextArrivesAsUtf8_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("command") << "USER bob\r\n";
    QTest::newRow("accented password") << QStringLiteral("PASS pässwörd€\r\n");
    QTest::newRow("outside the basic plane") << QStringLiteral("PASS \U0001F986\r\n");
    QTest::newRow("bare line end") << "\n";
}

void tst_Winsock::sentTextArrivesAsUtf8()
{
    QFETCH(QString, text);
    ScriptedPop3Server server;
    Winsock socket;
    QSignalSpy arrivals(&socket, &Winsock::DataArrival);
    connectTo(socket, server);
    QVERIFY(arrivals.wait(waitMs));

    socket.SendData(text);

    QTRY_COMPARE_WITH_TIMEOUT(server.receivedBytes(), text.toUtf8(), waitMs);
}

void tst_Winsock::connectCannotStart_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("no host") << "" << 110;
    QTest::newRow("port 0") << "127.0.0.1" << 0;
    QTest::newRow("negative port") << "127.0.0.1" << -110;
    QTest::newRow("port past 65535") << "127.0.0.1" << 65536;
}

void tst_Winsock::connectCannotStart()
{
    QFETCH(QString, host);
    QFETCH(int, port);
    Winsock socket;
    socket.RemoteHost = host;
    socket.RemotePort = port;
    QVERIFY_THROWS_EXCEPTION(RuntimeError, socket.Connect());
    QVERIFY_THROWS_EXCEPTION(RuntimeError, socket.SendData(QStringLiteral("QUIT\r\n")));
}

void tst_Winsock::connectWhileOpenThrows()
{
    ScriptedPop3Server server;
    Winsock socket;
    Reader reader(socket);
    connectTo(socket, server);
    QVERIFY_THROWS_EXCEPTION(RuntimeError, socket.Connect()); // still connecting
    QTRY_COMPARE_WITH_TIMEOUT(reader.text(), greeting, waitMs);
    QVERIFY_THROWS_EXCEPTION(RuntimeError, socket.Connect()); // connected

    // The connection in place is unharmed.
    socket.SendData(QStringLiteral("STAT\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(reader.pieces.size(), 2, waitMs);
    QCOMPARE(reader.pieces.last(), QStringLiteral("+OK 0 0\r\n"));
    QCOMPARE(server.connectionCount(), 1);
}

void tst_Winsock::sendWithoutConnectionThrows()
{
    ScriptedPop3Server server;
    Winsock socket;
    socket.RemoteHost = QStringLiteral("127.0.0.1");
    socket.RemotePort = server.port();
    QVERIFY_THROWS_EXCEPTION(RuntimeError, socket.SendData(QStringLiteral("USER bob\r\n")));
    socket.Connect();
    QVERIFY_THROWS_EXCEPTION(RuntimeError, socket.SendData(QStringLiteral("USER bob\r\n"))); // connecting
    QTRY_VERIFY_WITH_TIMEOUT(server.hasClient(), waitMs);
    socket.Close();
    QVERIFY_THROWS_EXCEPTION(RuntimeError, socket.SendData(QStringLiteral("USER bob\r\n")));
    QCOMPARE(socket.GetData(100), QString());
    QVERIFY(server.receivedBytes().isEmpty());
}

void tst_Winsock::nothingGoesOutBeforeTheHandshake()
{
    // A server that takes the connection and the client's hello, and never answers.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QByteArray received;
    connect(&server, &QTcpServer::newConnection, this, [&] {
        QTcpSocket* peer = server.nextPendingConnection();
        connect(peer, &QIODevice::readyRead, peer, [&received, peer] { received += peer->readAll(); });
    });
    Winsock socket;
    socket.RemoteHost = QStringLiteral("127.0.0.1");
    socket.RemotePort = server.serverPort();
    socket.Secure = true;
    socket.Connect();
    QTRY_VERIFY_WITH_TIMEOUT(received.startsWith('\x16'), waitMs); // a TLS handshake record

    QVERIFY_THROWS_EXCEPTION(RuntimeError, socket.SendData(QStringLiteral("USER bob\r\n")));
    QVERIFY(!received.contains("USER"));
}

void tst_Winsock::upgradedConnectionStaysOutOfChildProcesses()
{
    // The browser, the sound player and the user's command line must not inherit the connection.
    ScriptedPop3Server server;
    Winsock socket;
    Reader reader(socket);
    connectTo(socket, server);
    QTRY_COMPARE_WITH_TIMEOUT(reader.text(), greeting, waitMs);
    socket.StartTls();
    for (const QString& name :
         QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::System | QDir::NoDotAndDotDot)) {
        struct stat status;
        if (::fstat(name.toInt(), &status) == 0 && S_ISSOCK(status.st_mode))
            QVERIFY2(::fcntl(name.toInt(), F_GETFD) & FD_CLOEXEC, qPrintable(name));
    }
}

void tst_Winsock::conversationKeepsOrder()
{
    ScriptedPop3Server server;
    server.setReply("STAT", {"+OK 2 320\r\n"});
    Winsock socket;
    Reader reader(socket);
    connectTo(socket, server);
    QTRY_COMPARE_WITH_TIMEOUT(reader.text(), greeting, waitMs);

    // Several commands in one go: each line gets its reply, in order, and QUIT ends the connection.
    socket.SendData(QStringLiteral("USER bob\r\nPASS secret\nNOOP\r\nSTAT\r\nQUIT\r\n"));

    QSignalSpy ended(&server, &ScriptedPop3Server::clientDisconnected);
    QVERIFY(ended.wait(waitMs));
    QCOMPARE(server.receivedLines(), QList<QByteArray>({"USER bob", "PASS secret", "NOOP", "STAT", "QUIT"}));
    QVERIFY(server.received("PASS "));
    QVERIFY(!server.received("PASS secret2"));
    QTRY_COMPARE_WITH_TIMEOUT(reader.text(),
                              greeting + QStringLiteral("+OK\r\n+OK logged in\r\n"
                                                        "-ERR unknown command\r\n"
                                                        "+OK 2 320\r\n+OK bye\r\n"),
                              waitMs);
}

void tst_Winsock::splitReplyArrivesInPieces()
{
    ScriptedPop3Server server;
    server.setGreeting({"+OK ", "ready", "\r\n"});
    Winsock socket;
    Reader reader(socket);
    connectTo(socket, server);
    QTRY_COMPARE_WITH_TIMEOUT(reader.pieces, QStringList({"+OK ", "ready", "\r\n"}), waitMs);
}

void tst_Winsock::getDataKeepsCharactersWhole()
{
    // "Grüß" with the first ü split between two arrivals.
    ScriptedPop3Server server;
    server.setGreeting({"+OK Gr\xC3", "\xBC\xC3\x9F\r\n"});
    Winsock socket;
    Reader reader(socket);
    connectTo(socket, server);
    QTRY_COMPARE_WITH_TIMEOUT(reader.pieces.size(), 2, waitMs);
    QCOMPARE(reader.pieces, QStringList({QStringLiteral("+OK Gr"), QStringLiteral("üß\r\n")}));

    // Taking fewer bytes than wait leaves the rest waiting, and the cut may fall inside a character.
    socket.Close();
    server.setGreeting({"\xC3\xBC\xE2\x82\xAC\r\n"}); // "ü€"
    Winsock counted;
    QSignalSpy arrivals(&counted, &Winsock::DataArrival);
    connectTo(counted, server);
    QTRY_VERIFY_WITH_TIMEOUT(!arrivals.isEmpty() && arrivals.last().first().toInt() == 7, waitMs);
    QCOMPARE(counted.GetData(1), QString());
    QCOMPARE(counted.GetData(2), QStringLiteral("ü"));
    QCOMPARE(counted.GetData(1), QString());
    QCOMPARE(counted.GetData(0), QString());
    QCOMPARE(counted.GetData(10), QStringLiteral("€\r\n"));
}

void tst_Winsock::textDoesNotDependOnTheCuts_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const QChar bad(QChar::ReplacementCharacter);
    QTest::newRow("characters of two to four bytes")
        << QByteArray("\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80\n") << QStringLiteral("ü€😀\n");
    QTest::newRow("character cut short before a line feed")
        << QByteArray("+OK \xC3\n") << QStringLiteral("+OK ") + bad + "\n";
    QTest::newRow("broken character before a whole one")
        << QByteArray("\xE2\x82\xC3\xA9\r\n") << QString(2, bad) + QStringLiteral("é\r\n");
    QTest::newRow("surrogate half") << QByteArray("\xED\xA0\x80x") << QString(3, bad) + "x";
    QTest::newRow("U+FEFF is kept") << QByteArray("\xEF\xBB\xBF+OK\xEF\xBB\xBF")
                                    << QStringLiteral("\uFEFF+OK\uFEFF");
}

void tst_Winsock::textDoesNotDependOnTheCuts()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
        Utf8Decoder decoder;
        const QString head = decoder.decode(bytes.left(cut));
        QCOMPARE(head + decoder.decode(bytes.mid(cut)), text);
    }
    Utf8Decoder byteByByte;
    QString pieces;
    for (const char byte : bytes)
        pieces += byteByByte.decode(QByteArray(1, byte));
    QCOMPARE(pieces, text);
}

void tst_Winsock::hugeLineArrivesWhole()
{
    const QByteArray line = "+OK " + QByteArray(4 * 1024 * 1024, 'x') + "\r\n";
    ScriptedPop3Server server;
    server.setGreeting({line});
    Winsock socket;
    Reader reader(socket);
    connectTo(socket, server);
    QTRY_COMPARE_WITH_TIMEOUT(reader.text().size(), line.size(), 20000);
    QCOMPARE(reader.text().toLatin1(), line);
}

void tst_Winsock::closeSendsWhatWasHandedOver()
{
    ScriptedPop3Server server;
    Winsock socket;
    QSignalSpy arrivals(&socket, &Winsock::DataArrival);
    QSignalSpy ended(&server, &ScriptedPop3Server::clientDisconnected);
    connectTo(socket, server);
    QVERIFY(arrivals.wait(waitMs));

    socket.SendData(QStringLiteral("QUIT\r\n"));
    socket.Close();

    QVERIFY(ended.wait(waitMs));
    QCOMPARE(server.receivedLines(), QList<QByteArray>({"QUIT"}));
    QCOMPARE(socket.GetData(100), QString());
    QCOMPARE(arrivals.size(), 1); // the reply to QUIT found the socket closed
}

void tst_Winsock::closeFlushesMoreThanTheSystemTakesAtOnce()
{
    // Far more than the socket buffers hold while the server is not reading.
    const QString text(16 * 1024 * 1024, QLatin1Char('u'));
    ScriptedPop3Server server;
    Winsock socket;
    QSignalSpy arrivals(&socket, &Winsock::DataArrival);
    QSignalSpy ended(&server, &ScriptedPop3Server::clientDisconnected);
    connectTo(socket, server);
    QVERIFY(arrivals.wait(waitMs));

    socket.SendData(text);
    socket.Close();
    socket.Connect(); // the control is closed at once, even while the old connection drains

    QTRY_COMPARE_WITH_TIMEOUT(server.receivedBytes().size(), text.size(), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(!ended.isEmpty(), waitMs);
    QTRY_COMPARE_WITH_TIMEOUT(server.connectionCount(), 2, waitMs);
}

void tst_Winsock::refusedConnectionLeavesSocketConnectable()
{
    ScriptedPop3Server server;
    Winsock socket;
    Reader reader(socket);
    socket.RemoteHost = QStringLiteral("127.0.0.1");
    socket.RemotePort = ScriptedPop3Server::refusedPort();
    QSignalSpy closed(&socket, &Winsock::Closed);
    socket.Connect(); // returns at once; the refusal comes later
    QTRY_COMPARE_WITH_TIMEOUT(closed.size(), 1, waitMs);

    // Once the refusal is in, the control is closed and connects again.
    socket.RemotePort = server.port();
    QVERIFY(connectOnceClosed(socket));
    QTRY_COMPARE_WITH_TIMEOUT(reader.pieces, QStringList(greeting), waitMs);
    QCOMPARE(server.connectionCount(), 1);
}

void tst_Winsock::serverClosingLeavesSocketConnectable()
{
    ScriptedPop3Server server;
    server.setGreeting({"+OK going\r\n"}, ScriptedPop3Server::Then::Close);
    Winsock socket;
    Reader reader(socket);
    QSignalSpy closed(&socket, &Winsock::Closed);
    connectTo(socket, server);
    QTRY_COMPARE_WITH_TIMEOUT(reader.text(), QStringLiteral("+OK going\r\n"), waitMs);
    QTRY_COMPARE_WITH_TIMEOUT(closed.size(), 1, waitMs);

    QVERIFY(connectOnceClosed(socket));
    QTRY_COMPARE_WITH_TIMEOUT(reader.text(), QStringLiteral("+OK going\r\n+OK going\r\n"), waitMs);
    QCOMPARE(server.connectionCount(), 2);
}

QTEST_MAIN(tst_Winsock)
#include "tst_Winsock.moc"
