#include <QtTest>
// placeholder: the suite is being written
class Tst_portdiscovery : public QObject
{
    Q_OBJECT
private slots:
    void pending() { QSKIP("suite not written yet"); }
};
QTEST_MAIN(Tst_portdiscovery)
#include "tst_portdiscovery.moc"
