#include "linesettings.h"
#include "portdiscovery.h"
#include "simregistry.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

using PortList = QList<PortEntry>;

class Tst_portdiscovery : public QObject
{
    Q_OBJECT
private slots:
    void portReport_data();
    void portReport();
    void friendlyName_data();
    void friendlyName();
    void lineSettings_data();
    void lineSettings();
    void discoveryListsMachinePortsBeforeModules();
};

void Tst_portdiscovery::portReport_data()
{
    QTest::addColumn<PortList>("ports");
    QTest::addColumn<QString>("report");

    QTest::newRow("no device gives empty text") << PortList{} << QString();
    QTest::newRow("one device is one line ending CR LF")
        << PortList{{QStringLiteral("COM3"), QStringLiteral("F")}}
        << QStringLiteral("PortName: COM3\t-> FriendlyName: F\r\n");
    QTest::newRow("two devices in scan order, nothing between")
        << PortList{{QStringLiteral("ttyUSB0"), QStringLiteral("USB Serial (ttyUSB0)")},
                    {QStringLiteral("COM12"), QStringLiteral("COM12")}}
        << QStringLiteral("PortName: ttyUSB0\t-> FriendlyName: USB Serial (ttyUSB0)\r\n"
                          "PortName: COM12\t-> FriendlyName: COM12\r\n");
    QTest::newRow("unreadable name keeps its trailing blank")
        << PortList{{QString::fromLatin1(kUnreadablePortName), QStringLiteral("Modem")}}
        << QStringLiteral("PortName: Err \t-> FriendlyName: Modem\r\n");
    QTest::newRow("empty friendly name still listed")
        << PortList{{QStringLiteral("COM1"), QString()}}
        << QStringLiteral("PortName: COM1\t-> FriendlyName: \r\n");
    QTest::newRow("chinese friendly name passes unchanged")
        << PortList{{QStringLiteral("/dev/pts/4"), QStringLiteral("ESP8266 模拟模块 (/dev/pts/4)")}}
        << QStringLiteral("PortName: /dev/pts/4\t-> FriendlyName: ESP8266 模拟模块 "
                          "(/dev/pts/4)\r\n");
}

void Tst_portdiscovery::portReport()
{
    QFETCH(PortList, ports);
    QFETCH(QString, report);
    QCOMPARE(portReportText(ports), report);
}

void Tst_portdiscovery::friendlyName_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("portName");
    QTest::addColumn<QString>("friendly");

    QTest::newRow("description then port name in brackets")
        << QStringLiteral("USB Serial Port") << QStringLiteral("COM3")
        << QStringLiteral("USB Serial Port (COM3)");
    QTest::newRow("no description gives the port name alone")
        << QString() << QStringLiteral("ttyUSB0") << QStringLiteral("ttyUSB0");
    QTest::newRow("unreadable name shown with its blank")
        << QStringLiteral("Modem") << QString::fromLatin1(kUnreadablePortName)
        << QStringLiteral("Modem (Err )");
    QTest::newRow("blanks in the description kept")
        << QStringLiteral(" Port ") << QStringLiteral("COM4") << QStringLiteral(" Port  (COM4)");
}

void Tst_portdiscovery::friendlyName()
{
    QFETCH(QString, description);
    QFETCH(QString, portName);
    QFETCH(QString, friendly);
    QCOMPARE(friendlyNameFor(description, portName), friendly);
}

void Tst_portdiscovery::lineSettings_data()
{
    QTest::addColumn<QString>("speedText");
    QTest::addColumn<QString>("stopBitsText");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint32>("baudRate");
    QTest::addColumn<int>("stopBits");

    const QString one = QStringLiteral("1");
    const int oneStop = QSerialPort::OneStop;

    // Every speed the window offers.
    for (const char *speed : {"2400", "4800", "9600", "19200", "115200"}) {
        QTest::addRow("offered speed %s", speed)
            << QString::fromLatin1(speed) << one << true << QByteArray(speed).toInt() << oneStop;
    }
    QTest::newRow("nonstandard 56700 passes unchanged")
        << QStringLiteral("56700") << one << true << 56700 << oneStop;
    QTest::newRow("typed unlisted speed accepted")
        << QStringLiteral("74880") << one << true << 74880 << oneStop;
    QTest::newRow("largest speed that fits")
        << QString::number(std::numeric_limits<qint32>::max()) << one << true
        << std::numeric_limits<qint32>::max() << oneStop;

    // Every stop-bits entry.
    QTest::newRow("stop bits 1") << QStringLiteral("9600") << QStringLiteral("1") << true << 9600
                                 << int(QSerialPort::OneStop);
    QTest::newRow("stop bits 1.5") << QStringLiteral("9600") << QStringLiteral("1.5") << true
                                   << 9600 << int(QSerialPort::OneAndHalfStop);
    QTest::newRow("stop bits 2") << QStringLiteral("9600") << QStringLiteral("2") << true << 9600
                                 << int(QSerialPort::TwoStop);

    // Speeds that are not a whole positive number as typed.
    const char *badSpeeds[][2] = {
        {"empty speed", ""},
        {"letters", "abc"},
        {"blank inside", "96 00"},
        {"leading blank not trimmed", " 9600"},
        {"trailing blank not trimmed", "9600 "},
        {"negative", "-9600"},
        {"plus sign", "+9600"},
        {"zero", "0"},
        {"too large for 32 bits", "99999999999"},
        {"one past the largest", "2147483648"},
        {"decimal point", "9600.0"},
        {"hexadecimal", "0x2580"},
        {"full-width digits", "\xef\xbc\x99\xef\xbc\x96\xef\xbc\x90\xef\xbc\x90"},
    };
    for (const auto &row : badSpeeds) {
        QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << one << false << 0 << 0;
    }

    // Stop bits that are not exactly one of the entries.
    const char *badStops[][2] = {
        {"empty stop bits", ""},
        {"stop bits 1.0", "1.0"},
        {"stop bits 3", "3"},
        {"stop bits 0", "0"},
        {"stop bits leading blank", " 1"},
        {"stop bits trailing blank", "2 "},
        {"stop bits comma decimal", "1,5"},
    };
    for (const auto &row : badStops) {
        QTest::newRow(row[0]) << QStringLiteral("115200") << QString::fromUtf8(row[1]) << false << 0
                              << 0;
    }
}

void Tst_portdiscovery::lineSettings()
{
    QFETCH(QString, speedText);
    QFETCH(QString, stopBitsText);
    QFETCH(bool, valid);

    const std::optional<LineSettings> settings = parseLineSettings(speedText, stopBitsText);
    QCOMPARE(settings.has_value(), valid);
    if (!valid)
        return;
    QFETCH(qint32, baudRate);
    QFETCH(int, stopBits);
    QCOMPARE(settings->baudRate, baudRate);
    QCOMPARE(int(settings->stopBits), stopBits);
}

void Tst_portdiscovery::discoveryListsMachinePortsBeforeModules()
{
    // The program's scan lists the machine's ports first, then every running simulated
    // module with the names it announces, sorted by port name.
    QTemporaryDir registry;
    QVERIFY(registry.isValid());
    qputenv("QUORLIN_SIM_DIR", QFile::encodeName(registry.path()));
    const auto restore = qScopeGuard([] { qunsetenv("QUORLIN_SIM_DIR"); });
    SimRegistry::Announcement later(QStringLiteral("/dev/pts/9"));
    SimRegistry::Announcement earlier(QStringLiteral("/dev/pts/10"));
    QVERIFY2(later.isValid() && earlier.isValid(), qPrintable(later.errorString()));

    PortList expected = systemPorts();
    for (const SimRegistry::Entry &module : SimRegistry::running())
        expected.append({module.portName, module.friendlyName});
    QCOMPARE(expected.size(), systemPorts().size() + 2);
    QCOMPARE(expected.last().portName, QStringLiteral("/dev/pts/9"));
    const PortList scanned = SimRegistry::withRunning(systemPorts());
    QCOMPARE(scanned, expected);
    QCOMPARE(portReportText(scanned).count(QStringLiteral("\r\n")), expected.size());
}

QTEST_GUILESS_MAIN(Tst_portdiscovery)
#include "tst_portdiscovery.moc"
