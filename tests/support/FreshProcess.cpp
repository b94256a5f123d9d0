#include "support/FreshProcess.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

namespace {

constexpr char freshVariable[] = "QUILLPOST_TEST_FRESH_PROCESS";
constexpr int limitMs = 60000;

} // namespace

bool inFreshProcess()
{
    return qEnvironmentVariableIsSet(freshVariable);
}

bool passesInFreshProcess(const QProcessEnvironment& added)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(added);
    environment.insert(QString::fromLatin1(freshVariable), QStringLiteral("1"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(QTest::currentTestFunction())});
    const bool passed =
        child.waitForFinished(limitMs) && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    if (!passed)
        qWarning().noquote() << child.readAll();
    return passed;
}
