#include "TestAuthority.h"

#include <QFile>
#include <QFileInfo>
#include <QSslCertificate>
#include <QSslKey>

bool TestAuthority::trust()
{
    const QString path = qEnvironmentVariable("QUILLPOST_DOVECOT_TLS_CA");
    const QList<QSslCertificate> authority =
        path.isEmpty() ? QList<QSslCertificate>() : QSslCertificate::fromPath(path);
    if (authority.size() != 1)
        return false;
    QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
    trusting.addCaCertificates(authority);
    QSslConfiguration::setDefaultConfiguration(trusting);
    return true;
}

std::optional<QSslConfiguration> TestAuthority::serverConfiguration()
{
    const QString authority = qEnvironmentVariable("QUILLPOST_DOVECOT_TLS_CA");
    if (authority.isEmpty())
        return std::nullopt;
    const QString folder = QFileInfo(authority).absolutePath();
    const QList<QSslCertificate> certificate =
        QSslCertificate::fromPath(folder + QStringLiteral("/good.pem"));
    QFile keyFile(folder + QStringLiteral("/good.key"));
    if (certificate.size() != 1 || !keyFile.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QSslKey key(&keyFile, QSsl::Ec);
    if (key.isNull())
        return std::nullopt;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(certificate.first());
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    return configuration;
}
