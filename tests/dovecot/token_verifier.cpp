// The test Dovecot's OAuth 2 token introspection endpoint, run by tests/dovecot/harness.sh:
//
//   quillpost_token_verifier TOKENS_FILE LOG_FILE PORT_FILE
//
// listens on a free port of 127.0.0.1 and then writes that port into PORT_FILE, so the harness
// knows when it can start Dovecot and which URL to give it. Runs until it is killed.

#include "TokenVerifier.h"

#include <QCoreApplication>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 4) {
        std::fputs("usage: quillpost_token_verifier TOKENS_FILE LOG_FILE PORT_FILE\n", stderr);
        return 2;
    }
    TokenVerifier stub(arguments[1], arguments[2]);
    if (!stub.listen(QHostAddress::LocalHost)) {
        std::fprintf(stderr, "quillpost_token_verifier: %s\n", qPrintable(stub.errorString()));
        return 1;
    }
    // Written whole or not at all: the harness reads it as soon as it exists.
    QSaveFile portFile(arguments[3]);
    if (!portFile.open(QIODevice::WriteOnly) || portFile.write(QByteArray::number(stub.port()) + '\n') < 0 ||
        !portFile.commit()) {
        std::fprintf(stderr, "quillpost_token_verifier: %s: %s\n", qPrintable(arguments[3]),
                     qPrintable(portFile.errorString()));
        return 1;
    }
    return QCoreApplication::exec();
}
