#include <QtTest>
// placeholder: the suite is being written
class Tst_transmitter : public QObject
{
    Q_OBJECT
private slots:
    void pending() { QSKIP("suite not written yet"); }
};
QTEST_MAIN(Tst_transmitter)
#include "tst_transmitter.moc"
