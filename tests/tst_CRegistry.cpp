#include <QTest>

class tst_CRegistry : public QObject
{
    Q_OBJECT
private slots:
    void placeholder() {}
};

QTEST_MAIN(tst_CRegistry)
#include "tst_CRegistry.moc"
