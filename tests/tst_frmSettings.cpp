#include <QTest>

class tst_frmSettings : public QObject
{
    Q_OBJECT
private slots:
    void placeholder() {}
};

QTEST_MAIN(tst_frmSettings)
#include "tst_frmSettings.moc"
