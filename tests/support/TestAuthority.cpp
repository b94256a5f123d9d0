#include "TestAuthority.h"

#include <QSslCertificate>
#include <QSslConfiguration>

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
