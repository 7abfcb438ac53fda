// The console against the simulated module: the real window (offscreen) scans, finds the
// module on its pseudo-terminal, opens it, and every command button and both free-form
// sends get the module's answer into the receive log, with both counters matching the
// bytes that crossed the line.
#include "logtext.h"
#include "windowharness.h"

#include "portdiscovery.h"
#include "simhost.h"
#include "simregistry.h"

#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

class TstEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void scanPickOpen();
    void everyButtonGetsItsAnswer_data();
    void everyButtonGetsItsAnswer();
    void countersMatchTheLine();
    void restartShowsReadyAfterBootNoise();

private:
    QString shownSince(qsizetype from) { return shownText(*m_h->receiveLog()).mid(from); }
    // Waits a few seconds at most for `text` to show after `from`; fails naming what it
    // waited for and what the log showed instead.
    void awaitShown(qsizetype from, const QString &text);
    // Waits as long for RxCount to reach the bytes the module has sent.
    void awaitRxCountOfTheLine();

    QTemporaryDir m_registry;
    std::unique_ptr<SimHost> m_sim;
    std::unique_ptr<SimRegistry::Announcement> m_announcement;
    std::unique_ptr<WindowHarness> m_h;
    quint64 m_toModule = 0;
    quint64 m_fromModule = 0;
    QString m_unanswered; // the row whose answer never came
};

// The module runs fifty times faster than real time: its slowest answer here takes well
// under a second.
constexpr int kAnswerWaitMs = 4000;

void TstEndToEnd::initTestCase()
{
    QVERIFY(m_registry.isValid());
    qputenv("QUORLIN_SIM_DIR", m_registry.path().toLocal8Bit());

    SimModule::Options options;
    options.speed = 50; // slow commands in tens of milliseconds
    m_sim = std::make_unique<SimHost>(options);
    QString error;
    QVERIFY2(m_sim->open(&error), qPrintable(error));
    connect(m_sim.get(), &SimHost::received, this,
            [this](const QByteArray &b) { m_toModule += quint64(b.size()); });
    connect(m_sim.get(), &SimHost::sent, this,
            [this](const QByteArray &b) { m_fromModule += quint64(b.size()); });
    m_announcement = std::make_unique<SimRegistry::Announcement>(m_sim->slavePath());
    QVERIFY(m_announcement->isValid());

    // The program's scan: the machine's ports, then the simulated modules.
    Form1::Services shortTimer5;
    shortTimer5.payloadDelayMs = 60;
    m_h = std::make_unique<WindowHarness>(
        [] { return SimRegistry::withRunning(systemPorts()); }, shortTimer5);
}

void TstEndToEnd::cleanupTestCase()
{
    m_h.reset();
    m_announcement.reset();
    m_sim.reset();
    qunsetenv("QUORLIN_SIM_DIR");
}

void TstEndToEnd::scanPickOpen()
{
    m_h->click("Command28");
    QComboBox *combo1 = m_h->combo("Combo1");
    const QString name = SimRegistry::friendlyName(m_sim->slavePath());
    QCOMPARE(name, QStringLiteral("ESP8266 模拟模块 (") + m_sim->slavePath() + ")");
    const int index = combo1->findText(name);
    QVERIFY2(index >= 0, "the simulated module is not in the port list");
    // It comes after the machine's own ports.
    QCOMPARE(index, combo1->count() - 1);

    combo1->setCurrentIndex(index);
    emit combo1->activated(index);
    QCOMPARE(m_h->combo("Combo7")->currentText(), m_sim->slavePath());
    m_h->click("Command1");
    QVERIFY(m_h->link.isOpen());
    QCOMPARE(m_h->button("Command1")->text(), QStringLiteral("关闭串口"));
    QVERIFY(m_h->messages.boxes.isEmpty());
}

void TstEndToEnd::everyButtonGetsItsAnswer_data()
{
    // In an order that walks the module through its states; each row's answer is what the
    // module says to that command in the state the rows before it left.
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("edits"); // control name, text, ...
    QTest::addColumn<QString>("answer");

    const QStringList none;
    QTest::newRow("测试AT") << "Command5" << none << "AT\n\nOK\n";
    QTest::newRow("版本信息") << "Command6" << none << "AT+GMR\nAT version:";
    QTest::newRow("查询工作模式") << "Command19" << none << "+CWMODE:3\n\nOK\n";
    QTest::newRow("设置 station") << "Command4" << none << "AT+CWMODE=1\n\nOK\n";
    QTest::newRow("设置 AP and station")
        << "Command4" << QStringList{"Combo3", QStringLiteral("     AP兼Station模式")}
        << "AT+CWMODE=3\n\nOK\n";
    QTest::newRow("扫描WIFI") << "Command7" << none << "+CWLAP:(3,\"ESP8266\"";
    QTest::newRow("连接") << "Command21" << none << "WIFI CONNECTED\nWIFI GOT IP\n\nOK\n";
    QTest::newRow("查询模块自身IP") << "Command18" << none << "+CIFSR:STAIP,\"";
    QTest::newRow("查询已接入设备IP") << "Command9" << none << "AT+CWLIF\n\nOK\n";
    QTest::newRow("设置 soft AP") << "Command14" << none
                                  << "AT+CWSAP=\"ESP8266\",\"7395184026\",11,0\n\nOK\n";
    QTest::newRow("设置单链接") << "Command11" << none << "AT+CIPMUX=0\n\nOK\n";
    QTest::newRow("连接状态") << "Command10" << none << "STATUS:2\n";
    QTest::newRow("透传模式") << "Command22" << none << "AT+CIPMODE=1\n\nOK\n";
    QTest::newRow("非透传模式") << "Command23" << none << "AT+CIPMODE=0\n\nOK\n";
    QTest::newRow("客户端设置") << "Command16" << none << "CONNECT\n\nOK\n";
    QTest::newRow("AT发送 and the peer's echo")
        << "Command17" << QStringList{"Text1", "hello"} << "Recv 5 bytes\n\nSEND OK\n";
    QTest::newRow("文本发送 of a command line")
        << "Command2" << QStringList{"Text1", "AT\n"} << "AT\n\nOK\n";
    QTest::newRow("设置多链接 with a link open")
        << "Command12" << none << "link is builded\n\nERROR\n";
    QTest::newRow("服务器设置 in single mode")
        << "Command15" << none << "AT+CIPSERVER=1,5000\n\nERROR\n";
    QTest::newRow("设置超时 without a server") << "Command13" << none << "AT+CIPSTO=180\n\nERROR\n";
    QTest::newRow("查询服务超时时间") << "Command20" << none << "+CIPSTO:180\n\nOK\n";
    QTest::newRow("断开WIFI") << "Command8" << none << "OK\nWIFI DISCONNECT\n";
    QTest::newRow("联网升级 without a network")
        << "Command24" << none << "+CIPUPDATE:-1\n\nERROR\n";
}

void TstEndToEnd::everyButtonGetsItsAnswer()
{
    QFETCH(QString, button);
    QFETCH(QStringList, edits);
    QFETCH(QString, answer);
    QVERIFY(m_h->link.isOpen());
    for (int i = 0; i + 1 < edits.size(); i += 2) {
        if (auto *combo = m_h->window->findChild<QComboBox *>(edits[i]))
            combo->setEditText(edits[i + 1]);
        else
            m_h->get<QPlainTextEdit>("Text1")->setPlainText(edits[i + 1]);
    }
    // Each row builds on the module's state after the rows before it: once one answer
    // failed to come, the rest would each wait in vain.
    if (!m_unanswered.isEmpty())
        QFAIL(qPrintable(QStringLiteral("not tried: the expected answer never came to ") +
                         m_unanswered));
    const qsizetype before = shownText(*m_h->receiveLog()).size();
    const quint64 sentBefore = m_h->window->TxCount().toULongLong();

    m_h->click(qPrintable(button));

    QVERIFY(m_h->window->TxCount().toULongLong() > sentBefore);
    awaitShown(before, answer);
    if (button == QLatin1String("Command17")) // the peer sends the payload back
        awaitShown(before, QStringLiteral("+IPD,5:hello"));
    if (QTest::currentTestFailed())
        return;
    QVERIFY(m_h->messages.boxes.isEmpty());
}

void TstEndToEnd::awaitShown(qsizetype from, const QString &text)
{
    if (QTest::qWaitFor([&] { return shownSince(from).contains(text); }, kAnswerWaitMs))
        return;
    if (QTest::currentDataTag())
        m_unanswered = QString::fromUtf8(QTest::currentDataTag());
    QFAIL(qPrintable(QStringLiteral("waited %1 ms for \"%2\"; the log shows: \"%3\"")
                         .arg(kAnswerWaitMs)
                         .arg(text, shownSince(from))));
}

void TstEndToEnd::awaitRxCountOfTheLine()
{
    const auto counted = [this] { return m_h->window->RxCount() == QString::number(m_fromModule); };
    QVERIFY2(QTest::qWaitFor(counted, kAnswerWaitMs),
             qPrintable(QStringLiteral("waited %1 ms for RxCount %2; it shows %3")
                            .arg(kAnswerWaitMs)
                            .arg(m_fromModule)
                            .arg(m_h->window->RxCount())));
}

void TstEndToEnd::countersMatchTheLine()
{
    // Let everything in flight land, then compare with what crossed the pseudo-terminal.
    awaitRxCountOfTheLine();
    if (QTest::currentTestFailed())
        return;
    QTest::qWait(300);
    QCOMPARE(m_h->window->TxCount(), QString::number(m_toModule));
    QCOMPARE(m_h->window->RxCount(), QString::number(m_fromModule));
    QVERIFY(m_toModule > 0 && m_fromModule > m_toModule);
}

void TstEndToEnd::restartShowsReadyAfterBootNoise()
{
    const qsizetype before = shownText(*m_h->receiveLog()).size();
    m_h->click("Command3");
    // The boot noise comes at another speed and shows as garbage; "ready" after it is
    // intact. (A module that had joined a network rejoins after it.)
    awaitShown(before, QStringLiteral("\nready\n"));
    if (QTest::currentTestFailed())
        return;
    const QString shown = shownSince(before);
    QVERIFY(shown.startsWith(QStringLiteral("AT+RST\n\nOK\n")));
    QVERIFY(shown.size() > 40); // the noise is there too
    awaitRxCountOfTheLine();
    QCOMPARE(m_h->window->TxCount(), QString::number(m_toModule));
}

QTEST_MAIN(TstEndToEnd)
#include "tst_endtoend.moc"
