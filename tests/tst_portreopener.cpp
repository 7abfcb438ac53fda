// Reopening a lost port: which device that comes back is the one that was lost, with the
// settings it had, and how often a reopen that fails is tried again. The machine's ports and
// their nodes are the test's own; the link records what it is asked to open.
#include "fakes.h"
#include "portreopener.h"

#include <QSignalSpy>
#include <QtTest>

using Ports = QList<PortIdentity>;
Q_DECLARE_METATYPE(PortIdentity)

namespace {

PortIdentity adapter(const QString &name, quint16 product, const QString &serial,
                     const QString &usbPath)
{
    return {name, QStringLiteral("/dev/") + name, 0x0403, product, serial, usbPath};
}

// The machine as the reopener sees it: the ports listed and the nodes there to open, and
// how many times it has looked.
struct Machine
{
    PortReopener::Options options(int retryMs)
    {
        PortReopener::Options options;
        options.ports = [this] { return ++looks, ports; };
        options.nodeReady = [this](const QString &name) { return ++looks, nodes.contains(name); };
        options.pollMs = 1;
        options.retryMs = retryMs;
        return options;
    }
    Ports ports;
    QStringList nodes;
    int looks = 0;
};

const LineSettings kSettings{9600, QSerialPort::TwoStop};

} // namespace

class TstPortReopener : public QObject
{
    Q_OBJECT
private slots:
    void theSameDeviceIsReopened_data();
    void theSameDeviceIsReopened();
    void failedReopenIsRetriedOncePerInterval();
};

void TstPortReopener::theSameDeviceIsReopened_data()
{
    QTest::addColumn<PortIdentity>("lost"); // as listed when it was opened
    QTest::addColumn<Ports>("back");        // listed after the loss, each with its node
    QTest::addColumn<QString>("reopened");  // the name opened again; empty: still waiting

    const PortIdentity uart{"ttyS1", "/dev/ttyS1", 0, 0, {}, {}};
    const PortIdentity ftdi = adapter("ttyUSB0", 0x6001, "A1", "1-1:1.0");
    const PortIdentity bare = adapter("ttyUSB0", 0x7523, {}, "1-1:1.0");
    const PortIdentity dual = adapter("ttyUSB0", 0x6010, "FT1", "1-1:1.0");
    QTest::newRow("a UART back under its name") << uart << Ports{uart} << "ttyS1";
    QTest::newRow("a pseudo-terminal's path not back")
        << PortIdentity{"/dev/pts/9", "/dev/pts/9", 0, 0, {}, {}} << Ports{} << "";
    QTest::newRow("an adapter back under another number, by its serial number")
        << ftdi << Ports{adapter("ttyUSB1", 0x6001, "A1", "1-2:1.0")} << "ttyUSB1";
    QTest::newRow("another adapter's serial number under the same number not opened")
        << ftdi << Ports{adapter("ttyUSB0", 0x6001, "B2", "1-1:1.0")} << "";
    QTest::newRow("another product with the same serial number not opened")
        << ftdi << Ports{adapter("ttyUSB0", 0x6015, "A1", "1-1:1.0")} << "";
    QTest::newRow("without a serial number, back in its socket under another number")
        << bare << Ports{adapter("ttyUSB1", 0x7523, {}, "1-1:1.0")} << "ttyUSB1";
    QTest::newRow("without a serial number, in another socket under its name")
        << bare << Ports{adapter("ttyUSB0", 0x7523, {}, "1-3:1.0")} << "ttyUSB0";
    QTest::newRow("without a serial number, in another socket and name not opened")
        << bare << Ports{adapter("ttyUSB1", 0x7523, {}, "1-3:1.0")} << "";
    QTest::newRow("a two-port adapter's other port not opened")
        << dual << Ports{adapter("ttyUSB1", 0x6010, "FT1", "1-1:1.1")} << "";
    QTest::newRow("of two, the one under its old name")
        << ftdi
        << Ports{adapter("ttyUSB1", 0x6001, "A1", "1-2:1.0"),
                 adapter("ttyUSB0", 0x6001, "A1", "1-1:1.0")}
        << "ttyUSB0";
}

void TstPortReopener::theSameDeviceIsReopened()
{
    QFETCH(PortIdentity, lost);
    QFETCH(Ports, back);
    QFETCH(QString, reopened);
    Machine machine;
    machine.ports = {lost};
    FakeSerialLink link;
    PortReopener reopener(link, machine.options(60000));
    QSignalSpy reopens(&reopener, &PortReopener::reopened);
    reopener.setEnabled(true);
    QVERIFY(link.open(lost.systemName, kSettings, nullptr));
    reopener.opened(lost.systemName, kSettings);

    link.loseIt();
    machine.ports.clear();
    QVERIFY(reopener.takeLoss());
    QTRY_VERIFY(machine.looks > 0);
    machine.ports = back;
    for (const PortIdentity &port : back)
        machine.nodes.append(port.systemName);
    // Long enough to have looked twenty times at what came back.
    const int looked = machine.looks;
    QTRY_VERIFY(machine.looks > looked + 20 || !reopens.isEmpty());

    if (reopened.isEmpty()) {
        QVERIFY(reopener.isWaiting());
        QCOMPARE(link.opens.size(), 1);
        return;
    }
    QCOMPARE(reopens.size(), 1);
    QCOMPARE(reopens[0][0].toString(), reopened);
    QVERIFY(!reopener.isWaiting());
    QCOMPARE(link.opens.size(), 2);
    QCOMPARE(link.opens[1].first, reopened);
    QCOMPARE(link.opens[1].second.baudRate, kSettings.baudRate);
    QCOMPARE(link.opens[1].second.stopBits, kSettings.stopBits);
}

void TstPortReopener::failedReopenIsRetriedOncePerInterval()
{
    // Looked at every millisecond, retried only after a minute: a device that stays there is
    // tried once; one that goes and comes back is tried again at once.
    Machine machine;
    machine.nodes = {"ttyS1"};
    FakeSerialLink link;
    PortReopener reopener(link, machine.options(60000));
    QSignalSpy reopens(&reopener, &PortReopener::reopened);
    reopener.setEnabled(true);
    reopener.opened("ttyS1", kSettings);
    link.openSucceeds = false;
    QVERIFY(reopener.takeLoss());
    QTRY_COMPARE(link.opens.size(), 1);
    const int looked = machine.looks;
    QTRY_VERIFY(machine.looks > looked + 50);
    QCOMPARE(link.opens.size(), 1);
    machine.nodes.clear();
    QTRY_VERIFY(machine.looks > looked + 60);
    machine.nodes = {"ttyS1"};
    link.openSucceeds = true;
    QTRY_COMPARE(link.opens.size(), 2);
    QCOMPARE(reopens.size(), 1);

    // With a short interval, a device that stays there and fails is tried again and again.
    PortReopener quick(link, machine.options(20));
    quick.setEnabled(true);
    quick.opened("ttyS1", kSettings);
    link.openSucceeds = false;
    link.opens.clear();
    QVERIFY(quick.takeLoss());
    QTRY_VERIFY(link.opens.size() >= 4);
    QVERIFY(quick.isWaiting());
}

QTEST_MAIN(TstPortReopener)
#include "tst_portreopener.moc"
