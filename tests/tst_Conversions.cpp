#include <QTest>

class tst_Conversions : public QObject
{
    Q_OBJECT
private slots:
    void placeholder() {}
};

QTEST_MAIN(tst_Conversions)
#include "tst_Conversions.moc"
