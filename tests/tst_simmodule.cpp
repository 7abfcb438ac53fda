#include <QtTest>
// placeholder: the suite is being written
class Tst_simmodule : public QObject
{
    Q_OBJECT
private slots:
    void pending() { QSKIP("suite not written yet"); }
};
QTEST_MAIN(Tst_simmodule)
#include "tst_simmodule.moc"
