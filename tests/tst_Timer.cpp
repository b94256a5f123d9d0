#include <QTest>

class tst_Timer : public QObject
{
    Q_OBJECT
private slots:
    void placeholder() {}
};

QTEST_MAIN(tst_Timer)
#include "tst_Timer.moc"
