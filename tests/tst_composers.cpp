#include <QtTest>
// placeholder: the suite is being written
class Tst_composers : public QObject
{
    Q_OBJECT
private slots:
    void pending() { QSKIP("suite not written yet"); }
};
QTEST_MAIN(Tst_composers)
#include "tst_composers.moc"
