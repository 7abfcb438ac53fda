#include <QtTest>
// placeholder: the suite is being written
class Tst_seriallink : public QObject
{
    Q_OBJECT
private slots:
    void pending() { QSKIP("suite not written yet"); }
};
QTEST_MAIN(Tst_seriallink)
#include "tst_seriallink.moc"
