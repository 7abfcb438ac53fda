#include <QtTest>
// placeholder: the suite is being written
class Tst_window : public QObject
{
    Q_OBJECT
private slots:
    void pending() { QSKIP("suite not written yet"); }
};
QTEST_MAIN(Tst_window)
#include "tst_window.moc"
