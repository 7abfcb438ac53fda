// The console on Wayland, under a headless compositor (tests/support/with-weston.sh runs
// this suite with QT_QPA_PLATFORM=wayland): the window starts and shows, opens a
// pseudo-terminal, and "测试AT" puts AT CR LF on the wire. A Wayland window cannot place
// itself, so the move to the top edge after start-up must do nothing harmful there.
#include "logtext.h"
#include "windowharness.h"

#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

namespace {

const QSize kClientArea(1137, 693);
const QString kCaption = QStringLiteral("Quorlin-v1.1");

} // namespace

class TstWayland : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void windowShows();
    void moveToTheTopDoesNoHarm();
    void testAtGoesOnTheWire();
    void theProgramStarts();

private:
    Form1 *showWindow();
    std::unique_ptr<WindowHarness> m_harness;
};

void TstWayland::initTestCase()
{
    QVERIFY2(QGuiApplication::platformName() == QStringLiteral("wayland"),
             qPrintable(QStringLiteral("runs on the wayland platform, not on \"%1\" (start it "
                                       "with tests/support/with-weston.sh)")
                            .arg(QGuiApplication::platformName())));
}

void TstWayland::cleanup()
{
    m_harness.reset();
}

Form1 *TstWayland::showWindow()
{
    m_harness = std::make_unique<WindowHarness>();
    Form1 *w = m_harness->window.get();
    w->show();
    return QTest::qWaitForWindowExposed(w, 10000) ? w : nullptr;
}

void TstWayland::windowShows()
{
    Form1 *w = showWindow();
    QVERIFY2(w, "the compositor never showed the window (waited 10 s)");
    QCOMPARE(w->windowTitle(), kCaption);
    QCOMPARE(w->size(), kClientArea);
    QCOMPARE(w->minimumSize(), kClientArea);
    QCOMPARE(w->maximumSize(), kClientArea);
    // What the compositor was given to show: the window's buffer at its full size.
    const QImage drawn = w->grab().toImage();
    QCOMPARE(drawn.size(), kClientArea * w->devicePixelRatio());
}

void TstWayland::moveToTheTopDoesNoHarm()
{
    // Not even a warning: the move is simply not carried out where windows cannot place
    // themselves.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    Form1 *w = showWindow();
    QVERIFY2(w, "the compositor never showed the window (waited 10 s)");
    auto *timer3 = w->findChild<QTimer *>(QStringLiteral("Timer3"));
    QVERIFY(timer3);
    QTRY_VERIFY2_WITH_TIMEOUT(!timer3->isActive(), "Timer3 never ticked", 5000);
    // Give whatever the move caused time to come back from the compositor.
    QTest::qWait(5 * Form1::kTopMoveDelayMs);
    QVERIFY(w->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(w, 2000));
    QVERIFY(!w->isMinimized());
    QCOMPARE(w->size(), kClientArea);
    QCOMPARE(w->windowHandle()->visibility(), QWindow::Windowed);
}

void TstWayland::testAtGoesOnTheWire()
{
    Form1 *w = showWindow();
    QVERIFY2(w, "the compositor never showed the window (waited 10 s)");
    PtyPair pty;
    QVERIFY2(pty.isValid(), "no pseudo-terminal");
    QVERIFY2(m_harness->openPty(pty),
             qPrintable(QStringLiteral("the console did not open ") + pty.slavePath()));
    QCOMPARE(m_harness->button("Command5")->text(), QStringLiteral("测试AT"));
    m_harness->click("Command5");
    const QByteArray wire = pty.readExactly(4, 5000);
    QVERIFY2(wire == "AT\r\n",
             qPrintable(QStringLiteral("waited 5 s for AT CR LF on the line, got \"%1\"")
                            .arg(QString::fromLatin1(wire.toPercentEncoding()))));
    QTRY_COMPARE(m_harness->window->TxCount(), QStringLiteral("4"));
    QVERIFY(pty.write("AT\r\r\n\r\nOK\r\n"));
    QTRY_VERIFY2_WITH_TIMEOUT(shownText(*m_harness->receiveLog()).contains(QStringLiteral("OK")),
                              "the reply never reached the receive log", 5000);
}

void TstWayland::theProgramStarts()
{
    // The program itself, as a user starts it on a Wayland desktop: it must come up and
    // stay up (a platform it cannot reach ends it at once).
    QProcess process;
    process.start(QStringLiteral(QUORLIN_PROGRAM), {});
    QVERIFY2(process.waitForStarted(5000), qPrintable(process.errorString()));
    const bool ended = process.waitForFinished(2000);
    const QString stdErr = QString::fromLocal8Bit(process.readAllStandardError());
    if (ended)
        QFAIL(qPrintable(QStringLiteral("quorlin ended at once, status %1: %2")
                             .arg(process.exitCode())
                             .arg(stdErr)));
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
    QVERIFY2(!stdErr.contains(QStringLiteral("qt.qpa.plugin")), qPrintable(stdErr));
}

QTEST_MAIN(TstWayland)
#include "tst_wayland.moc"
