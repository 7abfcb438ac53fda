#include <QtTest>
// placeholder: the suite is being written
class Tst_wirecodec : public QObject
{
    Q_OBJECT
private slots:
    void pending() { QSKIP("suite not written yet"); }
};
QTEST_MAIN(Tst_wirecodec)
#include "tst_wirecodec.moc"
