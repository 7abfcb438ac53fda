#include <QtTest>
// placeholder: the suite is being written
class Tst_layout : public QObject
{
    Q_OBJECT
private slots:
    void pending() { QSKIP("suite not written yet"); }
};
QTEST_MAIN(Tst_layout)
#include "tst_layout.moc"
