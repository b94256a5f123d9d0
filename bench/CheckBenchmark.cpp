// Times whole checks against the test Dovecot beside a bare client speaking the same four commands,
// a sign-in with an access token beside the password, and the CPU a conversation burns while it
// waits on a server that never answers. Prints a Markdown table. Reads
// QUILLPOST_DOVECOT_{PLAINTEXT_HOST,HOST,PORT,ALICE_SIZE,OAUTH_TOKEN} and
// QUILLPOST_DOVECOT_TLS_{HOST,PORT,CA} (scripts/bench.sh sets them).

#include "platform/Timer.h"
#include "settings/CCipher.h"
#include "settings/CRegistry.h"
#include "settings/StoredSettings.h"
#include "settings/frmSettings.h"
#include "support/CheckingWindow.h"
#include "support/ScriptedPop3Server.h"
#include "support/TestAuthority.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kChecks = 200;
constexpr int kWarmUpChecks = 10;
constexpr int kSilentWaitMs = 10000;
constexpr double kCheckTarget = 1.2; // times the bare client's median
constexpr double kTokenTarget = 1.1; // times the password check's median, same server
constexpr double kWaitTarget = 1.0;  // % of one core

[[noreturn]] void die(const QString& why)
{
    std::fprintf(stderr, "quillpost_bench: %s\n", qPrintable(why));
    std::exit(1);
}

// Where the checks go. A transport other than plain POP3 gets a row of its own.
struct Mailbox
{
    QString transport;
    QString host;
    quint16 port;
    QString user, password;
    QString expectedTip;

    // The server as a user types it.
    QString server() const
    {
        const QString address = host + QLatin1Char(':') + QString::number(port);
        return transport == QLatin1String("TLS") ? QStringLiteral("pop3s://") + address : address;
    }
};

class BareClient
{
public:
    explicit BareClient(const Mailbox& box)
        : m_box(box)
    {}

    // Greeting, USER, PASS, STAT, QUIT on a blocking socket, each command after the last reply.
    void check()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(m_box.port);
        if (m_fd < 0 || ::inet_pton(AF_INET, qPrintable(m_box.host), &address.sin_addr) != 1 ||
            ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            die(QStringLiteral("bare client: cannot connect to %1:%2").arg(m_box.host).arg(m_box.port));
        expectOk();
        command("USER " + m_box.user.toUtf8());
        command("PASS " + m_box.password.toUtf8());
        if (!command("STAT").startsWith("+OK 3 "))
            die(QStringLiteral("bare client: unexpected STAT reply"));
        command("QUIT");
        ::close(m_fd);
    }

private:
    QByteArray command(const QByteArray& line)
    {
        const QByteArray bytes = line + "\r\n";
        if (::send(m_fd, bytes.constData(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL) != bytes.size())
            die(QStringLiteral("bare client: send failed"));
        return expectOk();
    }

    QByteArray expectOk()
    {
        QByteArray reply;
        char buffer[512];
        while (!reply.endsWith('\n')) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                die(QStringLiteral("bare client: connection ended before a reply"));
            reply.append(buffer, n);
        }
        if (!reply.startsWith("+OK"))
            die(QStringLiteral("bare client: refused: ") + QString::fromUtf8(reply.trimmed()));
        return reply;
    }

    const Mailbox& m_box;
    int m_fd = -1;
};

struct Spread
{
    double median, p90; // ms
};

Spread spreadOf(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const auto rank = [&](double share) {
        return samples[static_cast<std::size_t>(std::ceil(share * static_cast<double>(samples.size()))) - 1];
    };
    return {rank(0.5), rank(0.9)};
}

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

QString verdict(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("**missed**");
}

void printRow(const QStringList& cells)
{
    std::printf("| %s |\n", qPrintable(cells.join(QStringLiteral(" | "))));
}

QString ms(double value)
{
    return QString::number(value, 'f', 2) + QStringLiteral(" ms");
}

using Samples = std::vector<double>;

// Two kinds of check in turn, each going first every other round, so that neither gains from the
// other warming the server up; the warm-up rounds are left out. Without second, first alone.
std::pair<Samples, Samples> inTurns(const std::function<double()>& first,
                                    const std::function<double()>& second)
{
    Samples firsts, seconds;
    for (int round = 0; round < kWarmUpChecks + kChecks; ++round) {
        double a, b = 0;
        if (round % 2 == 0 || !second) {
            a = first();
            if (second)
                b = second();
        } else {
            b = second();
            a = first();
        }
        if (round >= kWarmUpChecks) {
            firsts.push_back(a);
            seconds.push_back(b);
        }
    }
    return {firsts, seconds};
}

// One check of the program, timed; it must show the mailbox's tip.
double programCheck(CheckingWindow& rig, const Mailbox& box)
{
    QElapsedTimer clock;
    clock.start();
    rig.check();
    const double elapsed = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    if (rig.platform().shownTip() != box.expectedTip || !rig.idle())
        die(QStringLiteral("check showed \"%1\"").arg(rig.platform().shownTip()));
    // Sockets closed during the check go here, outside the clock.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return elapsed;
}

QString against(double ratio, const QString& what, double target)
{
    return QStringLiteral("%1 × %2 (≤ %3 ×): %4")
        .arg(ratio, 0, 'f', 2)
        .arg(what)
        .arg(target)
        .arg(verdict(ratio <= target));
}

// The program's check beside the bare client. The bare client speaks plain POP3 only; over another
// transport the program's checks are timed alone.
void timeChecks(const Mailbox& box)
{
    const bool compared = box.transport == QLatin1String("plain");
    CheckingWindow rig(box.server(), box.user, box.password);
    BareClient bare(box);
    const auto [program, baseline] =
        inTurns([&] { return programCheck(rig, box); }, compared ? std::function<double()>([&] {
                    QElapsedTimer clock;
                    clock.start();
                    bare.check();
                    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
                })
                                                                 : nullptr);
    const Spread ours = spreadOf(program);
    if (!compared) {
        printRow({QStringLiteral("Whole check, Quillpost"), box.transport, QString::number(kChecks),
                  ms(ours.median), ms(ours.p90), QStringLiteral("no target")});
        return;
    }
    const Spread theirs = spreadOf(baseline);
    printRow({QStringLiteral("Whole check, Quillpost"), box.transport, QString::number(kChecks),
              ms(ours.median), ms(ours.p90),
              against(ours.median / theirs.median, QStringLiteral("bare median"), kCheckTarget)});
    printRow({QStringLiteral("Whole check, bare client"), box.transport, QString::number(kChecks),
              ms(theirs.median), ms(theirs.p90), QStringLiteral("baseline")});
}

// A sign-in with an access token (XOAUTH2, the token kept from its first refresh) beside the same
// mailbox's password, over TLS, in turn in one window.
void timeTokenChecks(const Mailbox& box)
{
    CheckingWindow rig(box.server(), box.user, box.password);
    SignIn token;
    token.kind = SignIn::Kind::Browser;
    token.refreshToken = QStringLiteral("bench");
    rig.platform().tokens.refreshAnswers = {{TokenAnswer::Done,
                                             qEnvironmentVariable("QUILLPOST_DOVECOT_OAUTH_TOKEN"),
                                             QDateTime::currentDateTimeUtc().addDays(1)}};
    const auto signedIn = [&](const SignIn& signIn) {
        rig.window().setSignIn(signIn);
        rig.window().txtPassword->setText(signIn.oauth() ? QString() : box.password);
        return programCheck(rig, box);
    };
    const auto [tokens, passwords] = inTurns([&] { return signedIn(token); }, [&] { return signedIn({}); });
    const Spread ours = spreadOf(tokens);
    printRow({QStringLiteral("Whole check, Quillpost, XOAUTH2"), box.transport, QString::number(kChecks),
              ms(ours.median), ms(ours.p90),
              against(ours.median / spreadOf(passwords).median, QStringLiteral("the password's median"),
                      kTokenTarget)});
}

// One conversation waiting on a server that accepts the connection and never says a word.
void timeSilentWait()
{
    ScriptedPop3Server silent;
    silent.setGreeting({});
    CheckingWindow rig(QStringLiteral("127.0.0.1:%1").arg(silent.port()), QStringLiteral("alice"),
                       QStringLiteral("wonderland"));
    rig.window().tmrTimeout->setInterval(kSilentWaitMs);
    QElapsedTimer clock;
    const double cpuBefore = cpuSeconds();
    clock.start();
    rig.check();
    const double wall = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const double share = (cpuSeconds() - cpuBefore) / wall * 100;
    // The time-out is a coarse timer, which may tick a little early.
    const bool endedAtTheTimeOut =
        rig.platform().shownTip() == QLatin1String("Off-Line") && wall >= 0.9 * kSilentWaitMs / 1000;
    if (!endedAtTheTimeOut)
        die(QStringLiteral("the silent server's check ended after %1 s showing \"%2\"")
                .arg(wall)
                .arg(rig.platform().shownTip()));
    printRow({QStringLiteral("Waiting on a silent server"), QStringLiteral("plain"),
              QString::number(wall, 'f', 1) + QStringLiteral(" s"), QStringLiteral("–"), QStringLiteral("–"),
              QStringLiteral("%1 % of one core (< %2 %): %3")
                  .arg(share, 0, 'f', 3)
                  .arg(kWaitTarget)
                  .arg(verdict(share < kWaitTarget))});
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // --store KEY=VALUE...: writes settings as the program stores them (a Password given in clear
    // is enciphered), for the idle runs of scripts/bench.sh.
    if (argc > 1 && QByteArrayView(argv[1]) == "--store") {
        CRegistry store;
        store.Application(StoredSettings::kApplication);
        store.Section(StoredSettings::kSection);
        for (const QString& setting : app.arguments().mid(2)) {
            QString value = setting.section(QLatin1Char('='), 1);
            store.Key(setting.section(QLatin1Char('='), 0, 0));
            if (setting.startsWith(QLatin1String("Password="))) {
                CCipher cipher;
                cipher.Text(value);
                cipher.Key(ApplicationKey());
                cipher.Encrypt();
                value = cipher.Text();
            }
            store.RegSet(value);
        }
        return 0;
    }
    if (qEnvironmentVariableIsEmpty("QUILLPOST_DOVECOT_PORT"))
        die(QStringLiteral("QUILLPOST_DOVECOT_PORT is not set: run scripts/bench.sh"));
    const int aliceSize = qEnvironmentVariableIntValue("QUILLPOST_DOVECOT_ALICE_SIZE");
    // Plain POP3 goes to the one address where the server offers no STLS and takes logins in the
    // clear; elsewhere on the same port it offers STLS, as most servers do.
    const Mailbox plain{QStringLiteral("plain"),
                        qEnvironmentVariable("QUILLPOST_DOVECOT_PLAINTEXT_HOST"),
                        static_cast<quint16>(qEnvironmentVariableIntValue("QUILLPOST_DOVECOT_PORT")),
                        QStringLiteral("alice"),
                        QStringLiteral("wonderland"),
                        QStringLiteral("3 e-mails waiting (%1 Kb)").arg(std::nearbyint(aliceSize / 1024.0))};

    printRow({QStringLiteral("Measurement"), QStringLiteral("Transport"), QStringLiteral("Samples"),
              QStringLiteral("Median"), QStringLiteral("90th percentile"),
              QStringLiteral("Against the target")});
    printRow({QStringLiteral("---"), QStringLiteral("---"), QStringLiteral("---:"), QStringLiteral("---:"),
              QStringLiteral("---:"), QStringLiteral("---")});
    timeChecks(plain);
    if (!TestAuthority::trust())
        die(QStringLiteral("no test certificate authority: run scripts/bench.sh"));
    Mailbox tls = plain;
    tls.transport = QStringLiteral("TLS");
    tls.host = qEnvironmentVariable("QUILLPOST_DOVECOT_TLS_HOST");
    tls.port = static_cast<quint16>(qEnvironmentVariableIntValue("QUILLPOST_DOVECOT_TLS_PORT"));
    timeChecks(tls);
    timeTokenChecks(tls);
    Mailbox stls = plain;
    stls.transport = QStringLiteral("STLS");
    stls.host = qEnvironmentVariable("QUILLPOST_DOVECOT_HOST");
    timeChecks(stls);
    timeSilentWait();
    return 0;
}
