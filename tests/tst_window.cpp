#include "logtext.h"
#include "windowharness.h"

#include "commandtable.h"
#include "detailbuttontexts.h"
#include "inputbox.h"
#include "inputrows.h"
#include "messageboxes.h"
#include "startup.h"
#include "wirecodec.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <tuple>
#include <unistd.h>

namespace {

QByteArray gbk(const QString &text)
{
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

const QString kOpen = QStringLiteral("打开串口");

// Two ports, so that the port list has entries to complete from.
const QList<PortEntry> kTwoPorts{{"COM3", "USB Serial (COM3)"}, {"ttyUSB0", "CP2102 (ttyUSB0)"}};

// The window shown and active, so that focus moves between its controls as for a user.
bool showActive(WindowHarness &h)
{
    h.window->show();
    h.window->activateWindow();
    return QTest::qWaitForWindowActive(h.window.get());
}

// A list's edit field or a single-line box, by the control's name.
QLineEdit *editField(const WindowHarness &h, const QString &name)
{
    if (auto *combo = h.window->findChild<QComboBox *>(name))
        return combo->lineEdit();
    return h.line(qPrintable(name));
}

// Types key by key; a character without a key of its own comes as a key event carrying
// just its text, as an input method delivers it.
void typeText(QWidget *widget, const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(widget, char(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

// Pastes through the clipboard with Ctrl+V, as a user does.
void paste(QLineEdit *edit, const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
}
const QString kClose = QStringLiteral("关闭串口");

// A line of hex digits: no place where it could wrap, the hardest kind of long line.
QString hexLine(int chars)
{
    QString text;
    for (int i = 0; i < chars; ++i)
        text += QLatin1Char("0123456789ABCDEF"[(i * 7 + i / 16) % 16]);
    return text;
}

// The input box holding `text` as a paste leaves it (long lines in rows), its undo history
// starting there, the cursor at document position `cursor` (rows and all: each border
// between two rows of a line takes a position; -1 the end).
InputBox *inputHolding(const WindowHarness &h, const QString &text, int cursor = -1)
{
    auto *box = h.get<InputBox>("Text1");
    box->clear();
    box->setFocus();
    QGuiApplication::clipboard()->setText(text);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    box->document()->clearUndoRedoStacks();
    QTextCursor at = box->textCursor();
    if (cursor < 0)
        at.movePosition(QTextCursor::End);
    else
        at.setPosition(cursor);
    box->setTextCursor(at);
    return box;
}

// One step of a person at the input box: "type:text", "paste:text", "key:Name" with
// Ctrl+/Shift+ before the name as held, "selectTo:N" (Shift held to document position N),
// "at:N" (the cursor to document position N).
void press(InputBox *box, const QString &step)
{
    const QString what = step.section(u':', 0, 0);
    const QString arg = step.section(u':', 1);
    if (what == QLatin1String("type")) {
        QTest::keyClicks(box, arg);
    } else if (what == QLatin1String("paste")) {
        QGuiApplication::clipboard()->setText(arg);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    } else if (what == QLatin1String("selectTo") || what == QLatin1String("at")) {
        QTextCursor cursor = box->textCursor();
        cursor.setPosition(arg.toInt(), what == QLatin1String("at") ? QTextCursor::MoveAnchor
                                                                    : QTextCursor::KeepAnchor);
        box->setTextCursor(cursor);
    } else {
        const QKeySequence keys(arg);
        QVERIFY2(keys.count() == 1, qPrintable(step));
        QTest::keyClick(box, keys[0].key(), keys[0].keyboardModifiers());
    }
}

// A line sent behind what a row sent (Command5 sends "AT\r\n"). The port keeps the order of
// writes, so whatever else a row's click sent stands before it: the row knows at once that
// nothing more went out, without waiting for the line to stay quiet.
const QByteArray kFence("AT\r\n");

// Sends the fence and reads `count` bytes and the fence.
QByteArray readUpToFence(PtyWindow &h, qsizetype count)
{
    h.click("Command5");
    return h.pty.readExactly(count + kFence.size());
}

// What a row may change of the window's texts, to be set back before the next row.
struct DesignTexts
{
    explicit DesignTexts(const WindowHarness &h)
    {
        for (QComboBox *combo : h.window->findChildren<QComboBox *>())
            combos.append({combo, combo->currentIndex(), combo->currentText()});
        for (QLineEdit *edit : h.window->findChildren<QLineEdit *>()) {
            if (!qobject_cast<QComboBox *>(edit->parentWidget()))
                edits.append({edit, edit->text()});
        }
    }
    void restore() const
    {
        for (const auto &[combo, index, text] : combos) {
            combo->setCurrentIndex(index);
            combo->setEditText(text);
        }
        for (const auto &[edit, text] : edits)
            edit->setText(text);
    }
    QList<std::tuple<QComboBox *, int, QString>> combos;
    QList<std::pair<QLineEdit *, QString>> edits;
};

// A fault a save or a recording runs into, planted in `folder` for one row and taken away
// after it. Some need powers a test may not have (root); ready() says so.
class PlantedFault
{
public:
    PlantedFault(const QString &kind, const QString &folder) : m_kind(kind)
    {
        if (kind == QLatin1String("size-limit")) {
            // Writes past 4 KiB fail with EFBIG instead of ending the process.
            std::signal(SIGXFSZ, SIG_IGN);
            getrlimit(RLIMIT_FSIZE, &m_limit);
            rlimit small = m_limit;
            small.rlim_cur = 4096;
            m_ready = setrlimit(RLIMIT_FSIZE, &small) == 0;
        } else if (kind == QLatin1String("full-disk")) {
            // A file system of 16 KiB.
            m_path = QFile::encodeName(folder + QStringLiteral("/full"));
            m_ready = QDir(folder).mkdir(QStringLiteral("full")) &&
                      mount("tmpfs", m_path.constData(), "tmpfs", 0, "size=16k") == 0;
        } else if (kind == QLatin1String("locked-folder")) {
            // A folder that takes new files but lets none be replaced or removed.
            m_path = QFile::encodeName(folder + QStringLiteral("/locked"));
            m_ready = QDir(folder).mkdir(QStringLiteral("locked")) && setFolderFlags(FS_APPEND_FL);
        } else {
            m_ready = true;
        }
    }
    ~PlantedFault()
    {
        if (!m_ready)
            return;
        if (m_kind == QLatin1String("size-limit"))
            setrlimit(RLIMIT_FSIZE, &m_limit);
        else if (m_kind == QLatin1String("full-disk"))
            umount2(m_path.constData(), MNT_DETACH);
        else if (m_kind == QLatin1String("locked-folder"))
            setFolderFlags(0);
    }
    bool ready() const { return m_ready; }

private:
    bool setFolderFlags(int flags)
    {
        const int fd = ::open(m_path.constData(), O_RDONLY | O_DIRECTORY);
        const bool done = fd >= 0 && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0)
            ::close(fd);
        return done;
    }

    QString m_kind;
    QByteArray m_path;
    rlimit m_limit{};
    bool m_ready = false;
};

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TstWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(WireCodec::available(), "GBK is not available"); }
    void init();
    void cleanup();

    void startupScan_data();
    void startupScan();
    void pickThenRescan();
    void rescanFindingNothingEmptiesBothLists();
    void rescanKeepsAnOpenPortOpen();

    void openFailure_data();
    void openFailure();
    void openAndCloseOnPty_data();
    void openAndCloseOnPty();
    void pickedPortIsTheOneOpened_data();
    void pickedPortIsTheOneOpened();
    void portLostWhileOpen();

    void fixedButtons_data();
    void fixedButtons();
    void statusTwiceAdds28();
    void closedPortOnlyWarns_data();
    void closedPortOnlyWarns();
    void composedButtons_data();
    void composedButtons();
    void freeFormSends_data();
    void freeFormSends();
    void rawTextThenCommandContinuesTheLine();
    void commandLineKey_data();
    void commandLineKey();
    void commandHistoryKeys_data();
    void commandHistoryKeys();
    void longLineEdits_data();
    void longLineEdits();
    void sendFileFromTheMenu_data();
    void sendFileFromTheMenu();

    void receivedBytesShowAndCount();
    void clearAndResetLeaveEachOtherAlone();
    void savedLogIsTheLog_data();
    void savedLogIsTheLog();
    void logMenuEntries_data();
    void logMenuEntries();
    void logFileRecords_data();
    void logFileRecords();

    void logoOpensTheShopEachClick();
    void skinIsAppliedOnlyWhenReadable_data();
    void skinIsAppliedOnlyWhenReadable();
    void windowMovesToTheTopOnce();

    void typedListTextStaysAsTyped_data();
    void typedListTextStaysAsTyped();
    void singleLineBoxKeepsTheFirstLine_data();
    void singleLineBoxKeepsTheFirstLine();
    void clearAfterCrStartsWithoutEmptyLine();
    void portLostSaysWhyInTheDetails();
    void errorBoxShowsItsDetailsInChinese();
    void lostBoxNamesThePortAsOpened_data();
    void lostBoxNamesThePortAsOpened();
    void lostPortIsReopened_data();
    void lostPortIsReopened();

private:
    PtyWindow &rowWindow(const QList<PortEntry> &ports, bool open);

    // The window the rows of a table share, with its pseudo-terminal; see rowWindow().
    std::unique_ptr<PtyWindow> m_rowWindow;
    std::unique_ptr<DesignTexts> m_rowDesign;
    QByteArray m_rowTable;
};

void TstWindow::init()
{
    // The window shared by a table's rows goes with its table.
    if (m_rowWindow && m_rowTable != QTest::currentTestFunction()) {
        m_rowDesign.reset();
        m_rowWindow.reset();
    }
}

void TstWindow::cleanup()
{
    // After a failed row, the next one starts on a fresh window.
    if (QTest::currentTestFailed()) {
        m_rowDesign.reset();
        m_rowWindow.reset();
    }
}

// The window for a row of a table whose rows each check one control: built, shown and
// active at the table's first row and kept for the rest, since a window and a
// pseudo-terminal cost more than such a row. Before every row its texts, logs, counts and
// message boxes are set back, and the port is open or closed as the row asks.
PtyWindow &TstWindow::rowWindow(const QList<PortEntry> &ports, bool open)
{
    if (!m_rowWindow) {
        m_rowTable = QTest::currentTestFunction();
        m_rowWindow = std::make_unique<PtyWindow>(ports);
        m_rowDesign = std::make_unique<DesignTexts>(*m_rowWindow);
    }
    PtyWindow &h = *m_rowWindow;
    m_rowDesign->restore();
    if (open && !h.link.isOpen() && !h.open())
        qWarning("the window could not open a pseudo-terminal");
    if (!open && h.link.isOpen())
        h.click("Command1");
    h.click("Command25");
    h.click("Command26");
    h.click("Command27");
    h.messages.boxes.clear();
    return h;
}

void TstWindow::startupScan_data()
{
    QTest::addColumn<QList<PortEntry>>("ports");
    QTest::addColumn<QString>("combo1");
    QTest::addColumn<QString>("combo7");
    QTest::addColumn<QString>("report");

    QTest::newRow("no port keeps the design texts") << QList<PortEntry>{} << "COM1"
                                                    << "Combo7"
                                                    << "";
    QTest::newRow("one port becomes both texts")
        << QList<PortEntry>{{"COM3", "USB Serial (COM3)"}} << "USB Serial (COM3)"
        << "COM3"
        << "PortName: COM3\t-> FriendlyName: USB Serial (COM3)\r\n";
    QTest::newRow("two ports show the first")
        << QList<PortEntry>{{"ttyUSB0", "CP2102 (ttyUSB0)"}, {"ttyS0", "ttyS0"}}
        << "CP2102 (ttyUSB0)"
        << "ttyUSB0"
        << "PortName: ttyUSB0\t-> FriendlyName: CP2102 (ttyUSB0)\r\n"
           "PortName: ttyS0\t-> FriendlyName: ttyS0\r\n";
}

void TstWindow::startupScan()
{
    QFETCH(QList<PortEntry>, ports);
    QFETCH(QString, combo1);
    QFETCH(QString, combo7);
    QFETCH(QString, report);

    WindowHarness h(ports);
    QCOMPARE(h.combo("Combo1")->currentText(), combo1);
    QCOMPARE(h.combo("Combo7")->currentText(), combo7);
    QCOMPARE(h.combo("Combo1")->count(), ports.size());
    QCOMPARE(h.combo("Combo7")->count(), ports.size());
    // Nothing is selected by a scan.
    QCOMPARE(h.combo("Combo1")->currentIndex(), -1);
    QCOMPARE(h.combo("Combo7")->currentIndex(), -1);
    for (int k = 0; k < ports.size(); ++k) {
        QCOMPARE(h.combo("Combo1")->itemText(k), ports[k].friendlyName);
        QCOMPARE(h.combo("Combo7")->itemText(k), ports[k].portName);
    }
    QCOMPARE(h.window->PortReport(), report);
    QCOMPARE(h.window->TxCount(), QStringLiteral("0"));
    QCOMPARE(h.window->RxCount(), QStringLiteral("0"));
    QVERIFY(h.combo("Combo7")->isHidden());
    QVERIFY(h.messages.boxes.isEmpty());
}

void TstWindow::pickThenRescan()
{
    WindowHarness h(QList<PortEntry>{{"COM3", "First (COM3)"}, {"COM12", "Second (COM12)"}});
    QComboBox *combo1 = h.combo("Combo1");
    QComboBox *combo7 = h.combo("Combo7");

    combo1->setCurrentIndex(1);
    emit combo1->activated(1);
    QCOMPARE(combo7->currentText(), QStringLiteral("COM12"));
    QCOMPARE(h.window->chosenSystemName(), QStringLiteral("COM12"));

    h.ports = {{"COM3", "First (COM3)"}, {"COM12", "Second (COM12)"}, {"COM4", "Third (COM4)"}};
    h.click("Command28");
    QCOMPARE(combo1->count(), 3);
    QCOMPARE(combo7->count(), 3);
    QCOMPARE(combo1->currentIndex(), -1);
    QCOMPARE(combo1->currentText(), QStringLiteral("First (COM3)"));
    QCOMPARE(combo7->currentText(), QStringLiteral("COM3"));
    QCOMPARE(h.window->PortReport().count(QStringLiteral("\r\n")), 3);
}

void TstWindow::rescanFindingNothingEmptiesBothLists()
{
    WindowHarness h(QList<PortEntry>{{"COM3", "First (COM3)"}});
    h.ports.clear();
    h.click("Command28");
    QCOMPARE(h.combo("Combo1")->count(), 0);
    QCOMPARE(h.combo("Combo7")->count(), 0);
    QCOMPARE(h.combo("Combo1")->currentText(), QString());
    QCOMPARE(h.combo("Combo7")->currentText(), QString());
    QCOMPARE(h.window->PortReport(), QString());
}

void TstWindow::rescanKeepsAnOpenPortOpen()
{
    PtyWindow h;
    QVERIFY2(h.open(), "the window could not open a pseudo-terminal");
    h.click("Command28");
    QVERIFY(h.link.isOpen());
    QCOMPARE(h.button("Command1")->text(), kClose);
}

void TstWindow::openFailure_data()
{
    QTest::addColumn<QList<PortEntry>>("ports");
    QTest::addColumn<bool>("rescanFirst");
    QTest::addColumn<QString>("typedPort"); // "" keeps what the scan left; "PTY" the pty
    QTest::addColumn<QString>("speed");
    QTest::addColumn<QString>("stopBits");
    QTest::addColumn<bool>("holdPty");
    QTest::addColumn<QString>("message"); // "PTY": the message naming the pty
    QTest::addColumn<QString>("reason");  // how the reason under it begins; PTY as above

    const QList<PortEntry> none;
    const QString pty = QStringLiteral("PTY");
    QTest::newRow("no port at start names COM1")
        << none << false << ""
        << "115200"
        << "1" << false << QStringLiteral("串口 COM1 不存在或被占用!")
        << QStringLiteral("设备 /dev/COM1 不存在");
    QTest::newRow("rescan found nothing names an empty port")
        << none << true << ""
        << "115200"
        << "1" << false << QStringLiteral("串口  不存在或被占用!")
        << QStringLiteral("没有可打开的串口");
    QTest::newRow("unreadable port name")
        << QList<PortEntry>{{"Err ", "Broken (Err )"}} << false << ""
        << "115200"
        << "1" << false << QStringLiteral("串口 Broken (Err ) 不存在或被占用!")
        << QStringLiteral("设备 /dev/Err  不存在");
    QTest::newRow("typed device that does not exist")
        << none << false << "/dev/quorlin-no-such-port"
        << "115200"
        << "1" << false << QStringLiteral("串口 /dev/quorlin-no-such-port 不存在或被占用!")
        << QStringLiteral("设备 /dev/quorlin-no-such-port 不存在（可能已被拔出，或名称有误）。\n"
                          "系统信息：文件或文件夹不存在，或已被删除（No such file or directory）");
    QTest::newRow("speed that is not a number")
        << none << false << pty << "fast"
        << "1" << false << pty << QStringLiteral("波特率“fast”不是正整数。");
    QTest::newRow("speed too large for the line")
        << none << false << pty << "99999999999"
        << "1" << false << pty << QStringLiteral("波特率“99999999999”超出串口能设置的范围。");
    QTest::newRow("speed of zero")
        << none << false << pty << "000"
        << "1" << false << pty << QStringLiteral("波特率“000”不是正整数。");
    QTest::newRow("speed with a blank")
        << none << false << pty << "9600 "
        << "1" << false << pty << QStringLiteral("波特率“9600 ”不是正整数。");
    QTest::newRow("stop bits that do not exist")
        << none << false << pty << "115200"
        << "3" << false << pty << QStringLiteral("停止位“3”不是 1、1.5 或 2。");
    QTest::newRow("speed and stop bits both wrong")
        << none << false << pty << "9600 "
        << "" << false << pty
        << QStringLiteral("波特率“9600 ”不是正整数。\n停止位“”不是 1、1.5 或 2。");
    QTest::newRow("1.5 stop bits a terminal cannot take")
        << none << false << pty << "115200"
        << "1.5" << false << pty
        << QStringLiteral("串口 PTY 在 8 位数据位时不能使用 1.5 位停止位。");
    QTest::newRow("port held by another program")
        << none << false << pty << "115200"
        << "1" << true << pty
        << QStringLiteral("设备 PTY 正被另一个程序占用，请先在那个程序里关闭它。\n"
                          "系统信息：锁定设备时被拒绝");
    // An entry asked again at the open (a simulated module's, whose terminal may have gone
    // to another user since the scan): refused before the port is touched, or, when it
    // changed hands while being opened, closed again at once.
    const auto refusing = [] { return QStringLiteral("REFUSED"); };
    const auto changing = [calls = std::make_shared<int>(0)] {
        return ++*calls % 2 == 0 ? QStringLiteral("CHANGED") : QString();
    };
    QTest::newRow("entry refused when asked again at the open")
        << QList<PortEntry>{{"PTY", "Module", refusing}} << false << ""
        << "115200"
        << "1" << false << QStringLiteral("串口 Module 不存在或被占用!")
        << QStringLiteral("REFUSED");
    QTest::newRow("entry that changed hands while it was opened")
        << QList<PortEntry>{{"PTY", "Module", changing}} << false << ""
        << "115200"
        << "1" << false << QStringLiteral("串口 Module 不存在或被占用!")
        << QStringLiteral("CHANGED");
}

void TstWindow::openFailure()
{
    QFETCH(QList<PortEntry>, ports);
    QFETCH(bool, rescanFirst);
    QFETCH(QString, typedPort);
    QFETCH(QString, speed);
    QFETCH(QString, stopBits);
    QFETCH(bool, holdPty);
    QFETCH(QString, message);
    QFETCH(QString, reason);

    PtyPair pty;
    QVERIFY(pty.isValid());
    QSerialPort holder;
    if (holdPty) {
        holder.setPortName(pty.slavePath());
        QVERIFY(holder.open(QIODevice::ReadWrite));
    }
    for (PortEntry &port : ports)
        port.portName.replace(QStringLiteral("PTY"), pty.slavePath());
    WindowHarness h(ports);
    if (rescanFirst)
        h.click("Command28");
    if (typedPort == QLatin1String("PTY"))
        typedPort = pty.slavePath();
    if (!typedPort.isEmpty())
        h.combo("Combo1")->setEditText(typedPort);
    if (message == QLatin1String("PTY"))
        message = QStringLiteral("串口 ") + pty.slavePath() + QStringLiteral(" 不存在或被占用!");
    // The box keeps its title and text; the cause is shown under the text, no click needed.
    reason.replace(QStringLiteral("PTY"), pty.slavePath());
    h.combo("Combo2")->setEditText(speed);
    h.combo("Combo6")->setEditText(stopBits);

    h.click("Command1");

    QVERIFY(!h.link.isOpen());
    QCOMPARE(h.button("Command1")->text(), kOpen);
    QCOMPARE(h.messages.boxes.size(), 1);
    QCOMPARE(h.messages.boxes[0].kind, QStringLiteral("error"));
    QCOMPARE(h.messages.boxes[0].title, QStringLiteral("错误提示！"));
    QCOMPARE(h.messages.boxes[0].text, message);
    QVERIFY2(h.messages.boxes[0].reason.startsWith(reason), qPrintable(h.messages.boxes[0].reason));
    QCOMPARE(h.messages.boxes[0].detail, QString());
}

void TstWindow::openAndCloseOnPty_data()
{
    QTest::addColumn<QString>("speed");
    QTest::addColumn<QString>("stopBits");
    QTest::newRow("design speed") << "115200"
                                  << "1";
    QTest::newRow("the unusual fifth speed") << "56700"
                                             << "1";
    QTest::newRow("two stop bits") << "9600"
                                   << "2";
}

void TstWindow::openAndCloseOnPty()
{
    QFETCH(QString, speed);
    QFETCH(QString, stopBits);
    PtyPair pty;
    QVERIFY(pty.isValid());
    WindowHarness h;
    h.combo("Combo2")->setEditText(speed);
    h.combo("Combo6")->setEditText(stopBits);
    QVERIFY(h.openPty(pty));
    QCOMPARE(h.button("Command1")->text(), kClose);
    QCOMPARE(pty.line().speed, speed.toLongLong());
    QCOMPARE(pty.line().twoStopBits, stopBits == QLatin1String("2"));

    // Bytes cross both ways once open.
    h.click("Command5");
    QCOMPARE(pty.readExactly(4), QByteArray("AT\r\n"));

    h.click("Command1");
    QVERIFY(!h.link.isOpen());
    QCOMPARE(h.button("Command1")->text(), kOpen);
    QVERIFY(h.messages.boxes.isEmpty());

    // Open again: the caption follows every time.
    h.click("Command1");
    QCOMPARE(h.button("Command1")->text(), kClose);
}

void TstWindow::pickedPortIsTheOneOpened_data()
{
    QTest::addColumn<QString>("name");      // the pty's entry; "" : "Module (<its path>)"
    QTest::addColumn<QString>("shown");     // how the list shows it; "" : as named
    QTest::addColumn<QString>("otherName"); // the other entry's text; "" : the same as the pty's
    QTest::addColumn<int>("picked");        // where the pty's entry is, and the entry picked
    QTest::newRow("second of two") << QString() << QString() << "ttyS0" << 1;
    QTest::newRow("second of two that read the same") << QString() << QString() << "" << 1;
    QTest::newRow("first of two that read the same") << QString() << QString() << "" << 0;
    // The list's field cannot hold the escape; the entry is shown as the field shows it.
    QTest::newRow("named with control and format characters")
        << QStringLiteral("\x1b[31mRED\u202e evil\u200b") << "[31mRED evil"
        << "ttyS0" << 1;
}

void TstWindow::pickedPortIsTheOneOpened()
{
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QFETCH(QString, otherName);
    QFETCH(int, picked);
    PtyPair pty;
    QVERIFY(pty.isValid());
    const PortEntry module{pty.slavePath(),
                           name.isEmpty() ? "Module (" + pty.slavePath() + ")" : name};
    QList<PortEntry> ports{
        {"/dev/quorlin-no-such-port", otherName.isEmpty() ? module.friendlyName : otherName}};
    ports.insert(picked, module);
    WindowHarness h(ports);
    QComboBox *combo1 = h.combo("Combo1");
    combo1->setCurrentIndex(picked);
    emit combo1->activated(picked);
    QCOMPARE(combo1->currentText(), shown.isEmpty() ? module.friendlyName : shown);
    QCOMPARE(h.window->chosenSystemName(), pty.slavePath());
    h.click("Command1");
    QVERIFY(h.link.isOpen());
    h.click("Command5");
    QCOMPARE(pty.readExactly(4), QByteArray("AT\r\n"));
}

void TstWindow::portLostWhileOpen()
{
    PtyWindow h;
    QVERIFY2(h.open(), "the window could not open a pseudo-terminal");
    PtyPair &pty = h.pty;
    h.click("Command5");
    QVERIFY(pty.write("AT\r\r\n\r\nOK\r\n"));
    QTRY_COMPARE(h.window->RxCount(), QStringLiteral("11"));
    pty.closeMaster();

    QTRY_COMPARE(h.button("Command1")->text(), kOpen);
    QVERIFY(!h.link.isOpen());
    QTRY_COMPARE(h.messages.boxes.size(), 1);
    QTest::qWait(50); // a flood of errors must still give only one box
    QCOMPARE(h.messages.boxes.size(), 1);
    QCOMPARE(h.messages.boxes[0].title, QStringLiteral("错误提示！"));
    QCOMPARE(h.messages.boxes[0].text,
             QStringLiteral("串口 ") + pty.slavePath() + QStringLiteral(" 已断开!"));
    // Nothing already shown or counted is lost.
    QCOMPARE(shownText(*h.receiveLog()), QStringLiteral("AT\n\nOK\n"));
    QCOMPARE(shownText(*h.sendLog()), QStringLiteral("AT\n"));
    QCOMPARE(h.window->TxCount(), QStringLiteral("4"));
    QCOMPARE(h.window->RxCount(), QStringLiteral("11"));

    // A command after the loss only warns.
    h.click("Command5");
    QCOMPARE(h.messages.boxes.size(), 2);
    QCOMPARE(h.messages.boxes[1].kind, QStringLiteral("warn"));
}

// The fifteen buttons of the common-commands frame: the table the form is driven by holds
// each button's text and count, and the count measured on the wire equals the fixed one.
void TstWindow::fixedButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");

    struct Row
    {
        const char *button;
        const char *text;
        int count;
    };
    const Row rows[] = {
        {"Command3", "AT+RST", 8},         // reset
        {"Command5", "AT", 4},             // test AT
        {"Command6", "AT+GMR", 8},         // version
        {"Command7", "AT+CWLAP", 10},      // scan
        {"Command8", "AT+CWQAP", 10},      // leave network
        {"Command9", "AT+CWLIF", 10},      // connected devices
        {"Command10", "AT+CIPSTATUS", 14}, // status
        {"Command11", "AT+CIPMUX=0", 13},  // single connection
        {"Command12", "AT+CIPMUX=1", 13},  // multiple connections
        {"Command18", "AT+CIFSR", 10},     // own address
        {"Command19", "AT+CWMODE?", 12},   // query mode
        {"Command20", "AT+CIPSTO?", 12},   // query time-out
        {"Command22", "AT+CIPMODE=1", 14}, // transparent
        {"Command23", "AT+CIPMODE=0", 14}, // not transparent
        {"Command24", "AT+CIUPDATE", 13},  // network upgrade
    };
    for (const Row &row : rows)
        QTest::newRow(row.button) << QString(row.button) << QString(row.text) << row.count;
}

void TstWindow::fixedButtons()
{
    QFETCH(QString, button);
    QFETCH(QString, text);
    QFETCH(int, count);

    // The table holds the button once, with its text and count.
    int found = 0;
    const FixedCommand *entry = nullptr;
    for (const FixedCommand &command : kFixedCommands) {
        if (button == QLatin1String(command.button)) {
            ++found;
            entry = &command;
        }
    }
    QCOMPARE(found, 1);
    QCOMPARE(QString::fromLatin1(entry->text), text);
    QCOMPARE(entry->count, count);

    PtyWindow h;
    QVERIFY2(h.open(), "the window could not open a pseudo-terminal");

    h.click(qPrintable(button));
    const QByteArray line = text.toLatin1() + "\r\n";
    QCOMPARE(line.size(), count);
    QCOMPARE(shownText(*h.sendLog()), text + "\n");
    QCOMPARE(h.sendLog()->textCursor().position(), text.size() + 1);
    QCOMPARE(h.window->TxCount(), QString::number(count));
    QVERIFY(h.messages.boxes.isEmpty());
    QCOMPARE(readUpToFence(h, count), line + kFence);
}

void TstWindow::statusTwiceAdds28()
{
    PtyWindow h;
    QVERIFY2(h.open(), "the window could not open a pseudo-terminal");
    PtyPair &pty = h.pty;
    h.click("Command10");
    // The caret goes to the end even when the user had put it elsewhere.
    QTextCursor cursor = h.sendLog()->textCursor();
    cursor.setPosition(2);
    h.sendLog()->setTextCursor(cursor);
    h.click("Command10");
    QCOMPARE(pty.readExactly(28), QByteArray("AT+CIPSTATUS\r\nAT+CIPSTATUS\r\n"));
    QCOMPARE(shownText(*h.sendLog()), QStringLiteral("AT+CIPSTATUS\nAT+CIPSTATUS\n"));
    QCOMPARE(h.sendLog()->textCursor().position(), 26);
    QCOMPARE(h.window->TxCount(), QStringLiteral("28"));
}

void TstWindow::closedPortOnlyWarns_data()
{
    QTest::addColumn<QString>("button");
    for (const FixedCommand &c : kFixedCommands)
        QTest::newRow(c.button) << c.button;
    for (const char *b : {"Command4", "Command13", "Command21", "Command14", "Command15",
                          "Command16", "Command17", "Command2"})
        QTest::newRow(b) << b;
}

void TstWindow::closedPortOnlyWarns()
{
    QFETCH(QString, button);
    WindowHarness h;
    // Even list texts that match no entry show only the warning.
    h.combo("Combo3")->setEditText(QStringLiteral("Station模式"));
    h.combo("Combo4")->setEditText(QStringLiteral("OPEN"));
    h.combo("Combo5")->setEditText(QStringLiteral("TCP"));
    h.click(qPrintable(button));
    QCOMPARE(h.messages.boxes.size(), 1);
    QCOMPARE(h.messages.boxes[0].kind, QStringLiteral("warn"));
    QCOMPARE(h.messages.boxes[0].title, QStringLiteral("温馨提示！"));
    QCOMPARE(h.messages.boxes[0].text, QStringLiteral("串口尚未连接！"));
    QCOMPARE(shownText(*h.sendLog()), QString());
    QCOMPARE(h.window->TxCount(), QStringLiteral("0"));
    QVERIFY(!h.window->findChild<QTimer *>(QStringLiteral("Timer5"))->isActive());
}

// Each composed button reads its own controls, as they start and as edited, and sends the
// line on the wire in GBK. (The lines the texts compose to are one table in the composers'
// suite.)
void TstWindow::composedButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("edits"); // control name, text, control name, text ...
    QTest::addColumn<QString>("line");      // the command line without CR LF; "" sends nothing
    QTest::addColumn<int>("bytes");

    const QString ap = QStringLiteral("          AP模式");
    QTest::newRow("mode station at start") << "Command4" << QStringList{} << "AT+CWMODE=1" << 13;
    QTest::newRow("mode AP") << "Command4" << QStringList{"Combo3", ap} << "AT+CWMODE=2" << 13;
    QTest::newRow("mode typed without its blanks sends nothing")
        << "Command4" << QStringList{"Combo3", QStringLiteral("Station模式")} << "" << 0;
    QTest::newRow("time-out at start") << "Command13" << QStringList{} << "AT+CIPSTO=180" << 15;
    QTest::newRow("time-out blanks kept")
        << "Command13" << QStringList{"Text4", " 42 "} << "AT+CIPSTO= 42 " << 16;
    QTest::newRow("join at start")
        << "Command21" << QStringList{} << "AT+CWJAP=\"ESP8266\",\"7395184026\"" << 33;
    QTest::newRow("join empty") << "Command21" << QStringList{"Text10", "", "Text11", ""}
                                << "AT+CWJAP=\"\",\"\"" << 16;
    QTest::newRow("soft AP code 4")
        << "Command14" << QStringList{"Combo4", "    WPA_WPA2_PSK"}
        << QStringLiteral("AT+CWSAP=\"ESP8266\",\"7395184026\",11,4") << 38;
    QTest::newRow("soft AP empty name and password")
        << "Command14" << QStringList{"Text5", "", "Text6", ""} << "AT+CWSAP=\"\",\"\",11,0" << 21;
    QTest::newRow("soft AP Chinese name counts two bytes a character")
        << "Command14" << QStringList{"Text5", QStringLiteral("模块")}
        << QStringLiteral("AT+CWSAP=\"模块\",\"7395184026\",11,0") << 35;
    QTest::newRow("server at start") << "Command15" << QStringList{} << "AT+CIPSERVER=1,5000" << 21;
    QTest::newRow("server empty port")
        << "Command15" << QStringList{"Text7", ""} << "AT+CIPSERVER=1," << 17;
    QTest::newRow("client TCP at start")
        << "Command16" << QStringList{} << "AT+CIPSTART=\"TCP\",\"192.168.1.100\",5000" << 40;
    QTest::newRow("client UDP") << "Command16" << QStringList{"Combo5", "  UDP"}
                                << "AT+CIPSTART=\"UDP\",\"192.168.1.100\",5000" << 40;
}

void TstWindow::composedButtons()
{
    QFETCH(QString, button);
    QFETCH(QStringList, edits);
    QFETCH(QString, line);
    QFETCH(int, bytes);
    PtyWindow h;
    QVERIFY2(h.open(), "the window could not open a pseudo-terminal");
    for (int i = 0; i + 1 < edits.size(); i += 2) {
        const QByteArray name = edits[i].toLatin1();
        if (auto *combo = h.window->findChild<QComboBox *>(edits[i]))
            combo->setEditText(edits[i + 1]);
        else
            h.line(name.constData())->setText(edits[i + 1]);
    }

    h.click(qPrintable(button));

    QVERIFY(h.messages.boxes.isEmpty());
    if (line.isEmpty()) {
        QCOMPARE(shownText(*h.sendLog()), QString());
        QCOMPARE(h.window->TxCount(), QStringLiteral("0"));
        QCOMPARE(readUpToFence(h, 0), kFence);
        return;
    }
    const QByteArray wire = gbk(line + "\r\n");
    QCOMPARE(wire.size(), bytes);
    QCOMPARE(shownText(*h.sendLog()), line + "\n");
    QCOMPARE(h.window->TxCount(), QString::number(bytes));
    QCOMPARE(readUpToFence(h, bytes), wire + kFence); // exactly one line
}

void TstWindow::freeFormSends_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("log");

    QTest::newRow("AT send of hello")
        << "Command17"
        << "hello" << QByteArray("AT+CIPSEND=5\r\nhello\r\n") << "AT+CIPSEND=5\nhello\n";
    QTest::newRow("AT send of two Chinese characters")
        << "Command17" << QStringLiteral("你好")
        << QByteArray("AT+CIPSEND=4\r\n\xc4\xe3\xba\xc3\r\n")
        << QStringLiteral("AT+CIPSEND=4\n你好\n");
    QTest::newRow("AT send of a line break counts it as CR LF")
        << "Command17"
        << "a\nb" << QByteArray("AT+CIPSEND=4\r\na\r\nb\r\n") << "AT+CIPSEND=4\na\nb\n";
    QTest::newRow("AT send of nothing")
        << "Command17"
        << "" << QByteArray("AT+CIPSEND=0\r\n\r\n") << "AT+CIPSEND=0\n\n";
    QTest::newRow("text send of hello") << "Command2"
                                        << "hello" << QByteArray("hello") << "hello";
    QTest::newRow("text send of two Chinese characters")
        << "Command2" << QStringLiteral("你好") << QByteArray("\xc4\xe3\xba\xc3")
        << QStringLiteral("你好");
}

void TstWindow::freeFormSends()
{
    QFETCH(QString, button);
    QFETCH(QString, input);
    QFETCH(QByteArray, wire);
    QFETCH(QString, log);
    PtyPair pty;
    QVERIFY(pty.isValid());
    Form1::Services shortTimer5;
    shortTimer5.payloadDelayMs = 20;
    WindowHarness h([] { return QList<PortEntry>(); }, shortTimer5);
    QVERIFY(h.openPty(pty));
    h.get<QPlainTextEdit>("Text1")->setPlainText(input);

    h.click(qPrintable(button));

    QCOMPARE(pty.readExactly(wire.size()), wire);
    QCOMPARE(pty.read(100, 30), QByteArray());
    QCOMPARE(shownText(*h.sendLog()), log);
    QCOMPARE(h.window->TxCount(), QString::number(wire.size()));
}

void TstWindow::rawTextThenCommandContinuesTheLine()
{
    PtyWindow h;
    QVERIFY2(h.open(), "the window could not open a pseudo-terminal");
    PtyPair &pty = h.pty;
    h.get<QPlainTextEdit>("Text1")->setPlainText(QStringLiteral("abc"));
    h.click("Command2");
    h.click("Command5");
    QCOMPARE(pty.readExactly(7), QByteArray("abcAT\r\n"));
    QCOMPARE(shownText(*h.sendLog()), QStringLiteral("abcAT\n"));
    QCOMPARE(h.window->TxCount(), QStringLiteral("7"));
}

// Ctrl+Enter in the input box sends the cursor's line as a command line, as a button
// sends its command; the box stays as it was.
void TstWindow::commandLineKey_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("cursor"); // document position (see inputHolding)
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("line"); // the command line expected to go; empty: none

    const QString three = QStringLiteral("AT\nAT+GMR\nAT+RST");
    const int row = InputRows::kRowChars;
    QTest::newRow("the only line, cursor inside")
        << "AT+GMR" << 3 << "Ctrl+Return" << true << "AT+GMR";
    QTest::newRow("the keypad's Enter") << "AT+GMR" << 6 << "Ctrl+Enter" << true << "AT+GMR";
    QTest::newRow("middle line, cursor at its start")
        << three << 3 << "Ctrl+Return" << true << "AT+GMR";
    QTest::newRow("middle line, cursor at its end")
        << three << 9 << "Ctrl+Return" << true << "AT+GMR";
    QTest::newRow("last line") << three << 16 << "Ctrl+Enter" << true << "AT+RST";
    QTest::newRow("a line separator (Shift+Enter) ends the line too")
        << QStringLiteral("AT\u2028AT+GMR\u2028AT+RST") << 5 << "Ctrl+Return" << true << "AT+GMR";
    QTest::newRow("empty line: nothing") << "AT\n\nAT+RST" << 3 << "Ctrl+Return" << true << "";
    QTest::newRow("empty line, port closed: nothing, no warning")
        << "AT\n\nAT+RST" << 3 << "Ctrl+Return" << false << "";
    QTest::newRow("Chinese goes as GBK")
        << QStringLiteral("AT+CWJAP=\"网络\",\"密码\"") << 0 << "Ctrl+Return" << true
        << QStringLiteral("AT+CWJAP=\"网络\",\"密码\"");
    QTest::newRow("blanks as typed") << " AT+GMR  " << 2 << "Ctrl+Return" << true << " AT+GMR  ";
    QTest::newRow("port closed: the warning only")
        << "AT+GMR" << 2 << "Ctrl+Return" << false << "AT+GMR";
    const QString longLine = hexLine(2 * row + 100);
    QTest::newRow("a long line goes whole from its last row")
        << longLine + "\nAT" << 2 * row + 50 << "Ctrl+Return" << true << longLine;
    QTest::newRow("a long line goes whole from its first row")
        << "AT\n" + longLine << 10 << "Ctrl+Enter" << true << longLine;
    QTest::newRow("the line after a long one")
        << longLine + "\nAT" << -1 << "Ctrl+Return" << true << "AT";
}

void TstWindow::commandLineKey()
{
    QFETCH(QString, box);
    QFETCH(int, cursor);
    QFETCH(QString, key);
    QFETCH(bool, open);
    QFETCH(QString, line);

    PtyWindow &h = rowWindow({}, open);
    InputBox *input = inputHolding(h, box, cursor);
    const int at = input->textCursor().position();
    press(input, QStringLiteral("key:") + key);

    // The box holds a line separator as a line break, as any text box gives it.
    QCOMPARE(input->typedText(), QString(box).replace(QChar::LineSeparator, u'\n'));
    QCOMPARE(input->textCursor().position(), at);
    QVERIFY(!input->document()->isUndoAvailable());
    if (!open) {
        QCOMPARE(h.messages.boxes.size(), line.isEmpty() ? 0 : 1);
        if (!line.isEmpty())
            QCOMPARE(h.messages.boxes.first().text, QStringLiteral("串口尚未连接！"));
        QCOMPARE(shownText(*h.sendLog()), QString());
        QCOMPARE(h.window->TxCount(), QStringLiteral("0"));
        return;
    }
    QVERIFY(h.messages.boxes.isEmpty());
    const QByteArray wire = line.isEmpty() ? QByteArray() : gbk(line + "\r\n");
    QCOMPARE(shownText(*h.sendLog()), line.isEmpty() ? QString() : line + "\n");
    QCOMPARE(h.window->TxCount(), QString::number(wire.size()));
    QCOMPARE(readUpToFence(h, wire.size()), wire + kFence);
}

// Ctrl+Up and Ctrl+Down put lines sent with Ctrl+Enter in place of the cursor's line.
// Steps: "send@N" puts the cursor at document position N and presses Ctrl+Enter, "up" and
// "down" press Ctrl+Up and Ctrl+Down, "at:N" moves the cursor, "undo" presses Ctrl+Z.
void TstWindow::commandHistoryKeys_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("open");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("only the cursor's line changes")
        << "AT+RST\nmiddle\nlast" << true << QStringList{"send@0", "at:9", "up"}
        << "AT+RST\nAT+RST\nlast" << QByteArray("AT+RST\r\n");
    QTest::newRow("browsing another line starts from the newest; down gives it back")
        << "A1\nA2\n\n"
        << true << QStringList{"send@0", "send@3", "at:6", "up", "up", "at:9", "up", "down"}
        << "A1\nA2\nA1\n" << QByteArray("A1\r\nA2\r\n");
    QTest::newRow("in a line broken by Shift+Enter, only the part the cursor is in")
        << QStringLiteral("AT\nab\u2028cd") << true << QStringList{"send@0", "at:4", "up"}
        << "AT\nAT\ncd" << QByteArray("AT\r\n");
    QTest::newRow("undo takes back a line brought back")
        << "AT\nx" << true << QStringList{"send@0", "at:3", "up", "undo"} << "AT\nx"
        << QByteArray("AT\r\n");
    QTest::newRow("a line the closed port did not send is not kept")
        << "AT+RST\nx" << false << QStringList{"send@0", "at:8", "up"} << "AT+RST\nx"
        << QByteArray();
    const QString longLine = hexLine(InputRows::kRowChars + 10);
    // The long line takes two rows: the next line starts after one more position.
    QTest::newRow("a long line comes back whole, in rows")
        << longLine + "\nnext" << true
        << QStringList{"send@0", QStringLiteral("at:%1").arg(longLine.size() + 2), "up"}
        << longLine + "\n" + longLine << gbk(longLine + "\r\n");
}

void TstWindow::commandHistoryKeys()
{
    QFETCH(QString, box);
    QFETCH(bool, open);
    QFETCH(QStringList, steps);
    QFETCH(QString, after);
    QFETCH(QByteArray, wire);

    // A fresh window: the lines sent are kept for the window's life.
    PtyWindow h;
    QVERIFY2(!open || h.open(), "the window could not open a pseudo-terminal");
    InputBox *input = inputHolding(h, box);
    for (const QString &step : steps) {
        if (step.startsWith(QLatin1String("send@"))) {
            press(input, QStringLiteral("at:") + step.mid(5));
            press(input, QStringLiteral("key:Ctrl+Return"));
        } else if (step == QLatin1String("up") || step == QLatin1String("down")) {
            press(input, step == QLatin1String("up") ? QStringLiteral("key:Ctrl+Up")
                                                     : QStringLiteral("key:Ctrl+Down"));
        } else if (step == QLatin1String("undo")) {
            press(input, QStringLiteral("key:Ctrl+Z"));
        } else {
            press(input, step);
        }
    }
    QCOMPARE(input->typedText(), after);
    QCOMPARE(h.window->TxCount(), QString::number(wire.size()));
    if (open)
        QCOMPARE(readUpToFence(h, wire.size()), wire + kFence);
}

// Edits in a long line held in rows: the box holds, copies and sends exactly the text as
// typed, undo gives back the text before the edit and redo the edit. The box holds a line
// of 2.5 rows and a short one; positions are document positions (see inputHolding): the
// first row ends at R, the second begins at R + 1.
void TstWindow::longLineEdits_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("copied"); // what a copy or cut in the steps gave; -: none

    const int R = InputRows::kRowChars;
    const QString base = hexLine(2 * R + R / 2) + "\nAT+GMR";
    const auto edited = [&](int at, int removed, const QString &inserted) {
        return QString(base).replace(at, removed, inserted);
    };
    const auto at = [](int position) { return QStringLiteral("at:%1").arg(position); };
    QTest::newRow("typed in the middle of the second row")
        << QStringList{at(R + 100), "type:xy"} << edited(R + 99, 0, "xy") << "-";
    QTest::newRow("Backspace at a row's start erases the character before the border")
        << QStringList{at(R + 1), "key:Backspace"} << edited(R - 1, 1, "") << "-";
    QTest::newRow("Delete at a row's end erases the character after the border")
        << QStringList{at(R), "key:Delete"} << edited(R, 1, "") << "-";
    QTest::newRow("Left from a row's start goes over one character")
        << QStringList{at(R + 1), "key:Left", "type:x"} << edited(R - 1, 0, "x") << "-";
    QTest::newRow("Right from a row's end goes over one character")
        << QStringList{at(R), "key:Right", "type:x"} << edited(R + 1, 0, "x") << "-";
    QTest::newRow("Shift+Right across the border selects one character")
        << QStringList{at(R), "key:Shift+Right", "type:x"} << edited(R, 1, "x") << "-";
    QTest::newRow("Enter at a border breaks the line there")
        << QStringList{at(R + 1), "key:Return"} << edited(R, 0, "\n") << "-";
    QTest::newRow("Enter in a row after the first breaks the line there")
        << QStringList{at(2 * R + 11), "key:Return"} << edited(2 * R + 9, 0, "\n") << "-";
    QTest::newRow("Shift+Enter: a line separator, held as a line break")
        << QStringList{at(R + 100), "key:Shift+Return"} << edited(R + 99, 0, "\n") << "-";
    QTest::newRow("paste with every kind of line break into a row")
        << QStringList{at(1000), "paste:ab\r\ncd\ref\ngh"} << edited(1000, 0, "ab\ncd\nef\ngh")
        << "-";
    const QString longPaste = QString(R + 300, QLatin1Char('z'));
    QTest::newRow("paste of a long line into a row")
        << QStringList{at(R + 100), "paste:" + longPaste} << edited(R + 99, 0, longPaste) << "-";
    QTest::newRow("typed over a selection across a border")
        << QStringList{at(R - 8), QStringLiteral("selectTo:%1").arg(R + 12), "type:Q"}
        << edited(R - 8, 19, "Q") << "-";
    QTest::newRow("a whole row cut leaves no empty line")
        << QStringList{at(R + 1), QStringLiteral("selectTo:%1").arg(2 * R + 1), "key:Ctrl+X"}
        << edited(R, R, "") << base.mid(R, R);
    QTest::newRow("a line's first row deleted leaves no empty line")
        << QStringList{at(0), QStringLiteral("selectTo:%1").arg(R), "key:Delete"}
        << edited(0, R, "") << "-";
    QTest::newRow("cut across a border")
        << QStringList{at(R - 8), QStringLiteral("selectTo:%1").arg(R + 12), "key:Ctrl+X"}
        << edited(R - 8, 19, "") << base.mid(R - 8, 19);
    QTest::newRow("copy across two borders and a line break")
        << QStringList{at(1000), QStringLiteral("selectTo:%1").arg(2 * R + R / 2 + 5), "key:Ctrl+C"}
        << base << base.mid(1000, 2 * R + R / 2 + 3 - 1000);
    QTest::newRow("select all and copy") << QStringList{"key:Ctrl+A", "key:Ctrl+C"} << base << base;
}

void TstWindow::longLineEdits()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, after);
    QFETCH(QString, copied);

    const QString base = hexLine(2 * InputRows::kRowChars + InputRows::kRowChars / 2) + "\nAT+GMR";
    PtyWindow &h = rowWindow({}, true);
    InputBox *input = inputHolding(h, base);
    QCOMPARE(input->typedText(), base);
    QGuiApplication::clipboard()->clear();
    for (const QString &step : steps)
        press(input, step);

    QCOMPARE(input->typedText(), after);
    if (copied != QLatin1String("-"))
        QCOMPARE(QGuiApplication::clipboard()->text(), copied);
    // An empty row shows as an empty line: only an empty line of the text may be one.
    QCoreApplication::processEvents();
    for (QTextBlock row = input->document()->begin(); row.isValid(); row = row.next()) {
        QVERIFY2(row.length() > 1 ||
                     (!InputRows::goesOn(row) && !InputRows::goesOn(row.next())),
                 qPrintable(QStringLiteral("row %1 is empty").arg(row.blockNumber())));
    }
    // What goes out is what the box holds, each line break as CR LF.
    h.click("Command2");
    const QByteArray wire = gbk(QString(after).replace(u'\n', QStringLiteral("\r\n")));
    QCOMPARE(readUpToFence(h, wire.size()), wire + kFence);
    if (after == base)
        return;
    // One undo takes back the whole edit, and redo makes it again.
    const int rows = input->document()->blockCount();
    press(input, QStringLiteral("key:Ctrl+Z"));
    QCOMPARE(input->typedText(), base);
    input->redo();
    QCOMPARE(input->typedText(), after);
    QCOMPARE(input->document()->blockCount(), rows);
}

// "发送文件…" in the input box's context menu: the window asks for the file and it goes (what
// a closed port or a cut-short file does is the transmitter's table).
void TstWindow::sendFileFromTheMenu_data()
{
    QTest::addColumn<bool>("byKey"); // Shift+F10 rather than the right button
    QTest::newRow("the right button") << false;
    QTest::newRow("the menu by Shift+F10") << true;
}

void TstWindow::sendFileFromTheMenu()
{
    QFETCH(bool, byKey);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray bytes;
    for (int i = 0; i < 5000; ++i)
        bytes += char(i * 37 % 256);
    QFile file(dir.filePath(QStringLiteral("f.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();

    PtyWindow &h = rowWindow({}, true);
    h.openFilePath = file.fileName();
    h.offeredOpenFolders.clear();
    InputBox *input = inputHolding(h, QStringLiteral("AT"));
    const QPoint at(5, 5);
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, input->viewport()->mapToGlobal(at));
    if (byKey)
        press(input, QStringLiteral("key:Shift+F10"));
    else
        QCoreApplication::sendEvent(input->viewport(), &click);
    QMenu *menu = nullptr;
    for (QMenu *m : input->findChildren<QMenu *>()) {
        if (m->isVisible())
            menu = m;
    }
    QVERIFY2(menu, "no context menu came up");
    QVERIFY(menu->actions().size() > 2); // Qt's own entries come first
    QCOMPARE(menu->actions().last()->text(), QStringLiteral("发送文件…"));
    menu->actions().last()->trigger();
    menu->close();

    QCOMPARE(h.offeredOpenFolders.size(), 1);
    QVERIFY(h.messages.boxes.isEmpty());
    QCOMPARE(shownText(*h.sendLog()), QStringLiteral("（发送文件 f.bin：5000 字节）\n"));
    QCOMPARE(readUpToFence(h, bytes.size()), bytes + kFence);
    QCOMPARE(h.window->TxCount(), QString::number(bytes.size() + kFence.size()));
}

void TstWindow::receivedBytesShowAndCount()
{
    PtyWindow h;
    QVERIFY2(h.open(), "the window could not open a pseudo-terminal");
    PtyPair &pty = h.pty;
    const QByteArray reply = QByteArray(" OK ") + "\r\n" + gbk(QStringLiteral("模块")) + "ab ";
    QVERIFY(pty.write(reply));
    QTRY_COMPARE(h.window->RxCount(), QString::number(reply.size()));
    QVERIFY(pty.write("cd\r\n"));
    QTRY_COMPARE(h.window->RxCount(), QString::number(reply.size() + 4));
    QCOMPARE(shownText(*h.receiveLog()), QStringLiteral("OK \n模块ab cd\n"));
    // Timer4 shows the counts within its period.
    QTRY_COMPARE(h.get<QLabel>("Label13")->text(),
                 QStringLiteral("接收：") + QString::number(reply.size() + 4));
    QCOMPARE(h.get<QLabel>("Label11")->text(), QStringLiteral("发送：0"));
    QCOMPARE(h.receiveLog()->textCursor().position(), h.receiveLog()->toPlainText().size());
}

void TstWindow::clearAndResetLeaveEachOtherAlone()
{
    PtyWindow h;
    QVERIFY2(h.open(), "the window could not open a pseudo-terminal");
    PtyPair &pty = h.pty;
    h.click("Command5");
    QVERIFY(pty.write("\r\nOK\r\n"));
    QTRY_COMPARE(h.window->RxCount(), QStringLiteral("6"));

    h.click("Command25"); // clear the send log
    QCOMPARE(shownText(*h.sendLog()), QString());
    QCOMPARE(h.window->TxCount(), QStringLiteral("4"));
    QCOMPARE(shownText(*h.receiveLog()), QStringLiteral("\nOK\n"));

    h.click("Command26"); // clear the receive log
    QCOMPARE(shownText(*h.receiveLog()), QString());
    QCOMPARE(h.window->RxCount(), QStringLiteral("6"));

    // After a clear, blanks at the start of the log are dropped again.
    QVERIFY(pty.write("  ready"));
    QTRY_COMPARE(h.window->RxCount(), QStringLiteral("13"));
    QCOMPARE(shownText(*h.receiveLog()), QStringLiteral("ready"));

    h.click("Command27"); // reset the counts
    QCOMPARE(h.window->TxCount(), QStringLiteral("0"));
    QCOMPARE(h.window->RxCount(), QStringLiteral("0"));
    QCOMPARE(shownText(*h.receiveLog()), QStringLiteral("ready"));
    QTRY_COMPARE(h.get<QLabel>("Label11")->text(), QStringLiteral("发送：0"));
    QTRY_COMPARE(h.get<QLabel>("Label13")->text(), QStringLiteral("接收：0"));
}

void TstWindow::savedLogIsTheLog_data()
{
    QTest::addColumn<QString>("log");
    QTest::addColumn<QStringList>("clicks");     // with "你好 text" in the input box
    QTest::addColumn<QByteArray>("received");   // what the module sends
    QTest::addColumn<QString>("pick");          // the file picked, in a fresh folder
    QTest::addColumn<QByteArray>("before");     // what the file held before, if it was there
    QTest::addColumn<QByteArray>("file");       // what it holds after
    QTest::addColumn<QString>("why");           // the error box, if the save fails
    QTest::addColumn<QString>("fault");         // planted for the row (PlantedFault)
    QTest::addColumn<QByteArray>("later");      // what the module sends once the save began

    const QString longLine(3000, QLatin1Char('x'));
    QTest::newRow("send log: command lines and raw text, line ends as logged")
        << "Text2" << QStringList{"Command5", "Command2", "Command10"} << QByteArray() << "send.txt"
        << QByteArray() << QString("AT\n你好 textAT+CIPSTATUS\n").toUtf8() << QString()
        << QString() << QByteArray();
    QTest::newRow("receive log: echo, GBK, a lone CR and a line longer than a row")
        << "Text3" << QStringList{}
        << "AT\r\r\n\r\nOK\r\n" + gbk(QStringLiteral("模块回复")) + "\r" + longLine.toLatin1() +
               "\n"
        << "receive.txt" << QByteArray()
        << QString("AT\n\nOK\n模块回复\n" + longLine + "\n").toUtf8() << QString() << QString() << QByteArray();
    QTest::newRow("receive log shown as hex: the file holds the hex")
        << "Text3" << QStringList{"menu:十六进制显示"} << QByteArray(" OK\r\n") << "hex.txt"
        << QByteArray() << QByteArray("20 4F 4B 0D 0A\n") << QString() << QString() << QByteArray();
    QTest::newRow("receive log read as UTF-8: the file holds what it shows")
        << "Text3" << QStringList{"menu:UTF-8显示"}
        << QByteArray("\xE4\xBD\xA0\xE5\xA5\xBD \xFF\r\n") << "utf8.txt" << QByteArray()
        << QString("你好 \uFFFD\n").toUtf8() << QString() << QString() << QByteArray();
    QTest::newRow("a file already there is replaced whole")
        << "Text2" << QStringList{"Command5"} << QByteArray() << "old.txt"
        << QByteArray("an older and much longer text\n") << QByteArray("AT\n") << QString()
        << QString() << QByteArray();
    QTest::newRow("no folder there: the box says why, the log keeps everything")
        << "Text2" << QStringList{"Command5"} << QByteArray() << "missing/send.txt" << QByteArray()
        << QByteArray() << QStringLiteral("文件或文件夹不存在，或已被删除（No such file or directory）")
        << QString() << QByteArray();
    // Megabytes are taken from the log in slices beside the window, and the file is the
    // log as it was when the save was chosen.
    QByteArray lines;
    QString shown;
    for (int i = 0; lines.size() < 6'000'000; ++i) {
        const QByteArray line = "+IPD,0,64:" + QByteArray::number(i) + QByteArray(60, 'a' + i % 26);
        lines += line + "\r\n";
        shown += QString::fromLatin1(line) + "\n";
    }
    QTest::newRow("receive log of megabytes, more arriving while it is written")
        << "Text3" << QStringList{} << lines << "big.txt" << QByteArray() << shown.toUtf8()
        << QString() << QString() << QByteArray("later\r\n");
    QTest::newRow("the person changed their mind: nothing written")
        << "Text3" << QStringList{} << QByteArray("OK\r\n") << "" << QByteArray() << QByteArray()
        << QString() << QString() << QByteArray();
    // A small log goes to the system by writes as a large one does: a write it refuses is
    // told by that write, never reported as a saved file cut short.
    QTest::newRow("a write refused (file size limit): the box names the reason")
        << "Text3" << QStringList{} << QByteArray(6000, 'x') << "limit.txt" << QByteArray()
        << QByteArray() << QStringLiteral("文件超过了系统允许的大小（File too large）")
        << "size-limit" << QByteArray();
    QTest::newRow("a full disk: the box names it")
        << "Text3" << QStringList{} << QByteArray(40000, 'y') << "full/receive.txt" << QByteArray()
        << QByteArray() << QStringLiteral("磁盘空间已满（No space left on device）") << "full-disk" << QByteArray();
    QTest::newRow("the commit cannot replace the old file: the box says why, the old file stays")
        << "Text2" << QStringList{"Command5"} << QByteArray() << "locked/old.txt"
        << QByteArray("older text\n") << QByteArray()
        << QStringLiteral("系统不允许这样做，文件可能被锁定为不可更改（Operation not permitted）")
        << "locked-folder" << QByteArray();
}

void TstWindow::savedLogIsTheLog()
{
    QFETCH(QString, log);
    QFETCH(QStringList, clicks);
    QFETCH(QByteArray, received);
    QFETCH(QString, pick);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, file);
    QFETCH(QString, why);
    QFETCH(QString, fault);
    QFETCH(QByteArray, later);

    PtyWindow h;
    QVERIFY2(h.open(), "the window could not open a pseudo-terminal");
    h.get<QPlainTextEdit>("Text1")->setPlainText(QStringLiteral("你好 text"));
    auto *view = h.get<LogView>(qPrintable(log));
    for (const QString &click : clicks) {
        if (click.startsWith(QLatin1String("menu:")))
            QVERIFY(chooseMenuEntry(view, click.mid(5)));
        else
            h.click(qPrintable(click));
    }
    QVERIFY(h.pty.write(received));
    QTRY_COMPARE(h.window->RxCount(), QString::number(received.size()));
    const QString logged = loggedText(*view);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const PlantedFault planted(fault, dir.path());
    if (!planted.ready())
        QSKIP(qPrintable(QStringLiteral("cannot plant the fault %1 here (needs root)").arg(fault)));
    h.savePath = pick.isEmpty() ? QString() : dir.filePath(pick);
    if (!before.isEmpty()) {
        QFile old(h.savePath);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(before) == before.size());
    }

    // Right-click, then "保存为文件…", after the text box's own entries.
    QMenu *menu = openContextMenu(view);
    QVERIFY2(menu, "no context menu came up");
    QAction *save = menuEntry(menu, QStringLiteral("保存为文件…"));
    QVERIFY2(save, "the menu has no entry 保存为文件…");
    QVERIFY(menu->actions().indexOf(save) > 2); // Qt's own entries come first
    QSignalSpy saved(h.window.get(), &Form1::logSaved);
    save->trigger();
    menu->close();
    QVERIFY(h.pty.write(later));
    if (!pick.isEmpty()) {
        // Written beside the window; done, or failed, when the window hears so.
        QVERIFY2(saved.wait(5000), "waited 5 s for the log to be written");
        QCOMPARE(saved.first().at(1).toBool(), why.isEmpty());
    }

    QCOMPARE(h.offeredSavePaths.size(), 1);
    QVERIFY2(h.offeredSavePaths.first().endsWith(QLatin1String(".txt")),
             qPrintable(h.offeredSavePaths.first()));
    // Saving takes nothing from the log.
    QTRY_COMPARE(h.window->RxCount(), QString::number(received.size() + later.size()));
    QVERIFY(loggedText(*view).startsWith(logged));
    if (!why.isEmpty()) {
        QCOMPARE(h.messages.boxes.size(), 1);
        QCOMPARE(h.messages.boxes.first().title, QStringLiteral("错误提示！"));
        QVERIFY2(h.messages.boxes.first().text.contains(h.savePath) &&
                     h.messages.boxes.first().text.contains(why),
                 qPrintable(h.messages.boxes.first().text));
        // What was there before stays as it was.
        QCOMPARE(QFile::exists(h.savePath), !before.isEmpty());
        QCOMPARE(contents(h.savePath), before);
        return;
    }
    QCOMPARE(h.messages.boxes.size(), 0);
    if (pick.isEmpty()) {
        QCOMPARE(saved.size(), 0);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
        return;
    }
    QFile written(h.savePath);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), file);
    // Nothing but the file itself is left in the folder.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QFileInfo(h.savePath).fileName()});
}

void TstWindow::logMenuEntries_data()
{
    QTest::addColumn<QString>("log");
    QTest::addColumn<bool>("byKey"); // Shift+F10 instead of a right-click
    // The entries after "保存为文件…": "-" a separator, "[ ]" or "[x]" a checkable one.
    QTest::addColumn<QStringList>("entries");

    const QStringList receive{"记录到文件…", "-", "[ ] 显示时间戳", "[ ] 十六进制显示",
                              "[ ] UTF-8显示"};
    const QStringList send{"记录到文件…", "-", "[ ] 显示时间戳"};
    QTest::newRow("receive log, right-click") << "Text3" << false << receive;
    QTest::newRow("receive log, Shift+F10") << "Text3" << true << receive;
    QTest::newRow("send log, right-click") << "Text2" << false << send;
    QTest::newRow("send log, Shift+F10") << "Text2" << true << send;
}

// The entries of each log's menu, off at start, by mouse and by keyboard; a screen reader
// reads each by its name with its checked state, in every menu (the window keeps the
// entries, each menu shows them afresh).
void TstWindow::logMenuEntries()
{
    QFETCH(QString, log);
    QFETCH(bool, byKey);
    QFETCH(QStringList, entries);

    WindowHarness h;
    QVERIFY(showActive(h));
    auto *view = h.get<LogView>(qPrintable(log));
    const auto open = [&]() -> QMenu * {
        if (!byKey)
            return openContextMenu(view);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_F10, Qt::ShiftModifier);
        for (QMenu *menu : view->findChildren<QMenu *>()) {
            if (menu->isVisible())
                return menu;
        }
        return nullptr;
    };
    for (int round = 0; round < 2; ++round) {
        QMenu *menu = open();
        QVERIFY2(menu, "no context menu came up");
        const QList<QAction *> actions = menu->actions();
        QAction *save = menuEntry(menu, QStringLiteral("保存为文件…"));
        QVERIFY(save);
        QStringList seen;
        QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(menu);
        for (qsizetype i = actions.indexOf(save) + 1; i < actions.size(); ++i) {
            const QAction *action = actions.at(i);
            QString entry = action->isSeparator() ? QStringLiteral("-") : action->text();
            if (action->isCheckable())
                entry.prepend(action->isChecked() ? QStringLiteral("[x] ")
                                                  : QStringLiteral("[ ] "));
            seen.append(entry);
            if (action->isSeparator())
                continue;
            QAccessibleInterface *item = reader->child(int(i));
            QVERIFY2(item && item->isValid(), qPrintable(action->text()));
            QCOMPARE(item->text(QAccessible::Name), action->text());
            QCOMPARE(bool(item->state().checkable), action->isCheckable());
            QCOMPARE(bool(item->state().checked), action->isChecked());
        }
        QCOMPARE(seen, entries);
        // The first checkable entry, chosen: checked in the next menu.
        QAction *toggle = menuEntry(menu, entries.at(2).mid(4));
        menu->close();
        toggle->trigger();
        entries[2].replace(1, 1, QLatin1Char('x'));
    }
}

void TstWindow::logFileRecords_data()
{
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("pick");      // in a fresh folder
    QTest::addColumn<QByteArray>("before"); // what the file held
    // "record", "stop" (the menu's entries), "stamps", "recv:<bytes>", "click:<button>",
    // "clear" (the log's clear button), "reopen" (the port), "rmdir" (the file's folder),
    // "close" (the window).
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("file"); // a pattern for what it holds after
    QTest::addColumn<QString>("box");  // the one error box, if any

    QTest::newRow("receive log appended to what the file held, as the log shows it")
        << "Text3"
        << "rx.txt" << QByteArray("earlier\n")
        << QStringList{"recv:x", "record", "recv: OK \r\n", "recv:中\r\n"} << "earlier\n OK \n中\n"
        << QString();
    QTest::newRow("time stamps; goes on across a clear and a port close and open")
        << "Text3"
        << "rx.txt" << QByteArray()
        << QStringList{"stamps", "record", "recv:a\r\n", "clear", "reopen", "recv:b\r\n"}
        << "\\[[0-9:.]{12}\\] a\n\\[[0-9:.]{12}\\] b\n"
        << QString();
    QTest::newRow("send log with time stamps; the window's close writes everything")
        << "Text2"
        << "tx.txt" << QByteArray()
        << QStringList{"stamps", "record", "click:Command5", "click:Command10", "close"}
        << "\\[[0-9:.]{12}\\] AT\n\\[[0-9:.]{12}\\] AT\\+CIPSTATUS\n"
        << QString();
    QTest::newRow("stopped: what comes after is not recorded")
        << "Text2"
        << "tx.txt" << QByteArray()
        << QStringList{"record", "click:Command5", "stop", "click:Command10"} << "AT\n"
        << QString();
    QTest::newRow("a file that cannot be opened: one box, nothing recorded")
        << "Text3"
        << "missing/rx.txt" << QByteArray() << QStringList{"record", "recv:OK\r\n"} << QString()
        << "无法记录到文件 PATH：文件或文件夹不存在，或已被删除（No such file or directory）";
    QTest::newRow("a full disk stops recording with one box")
        << "Text3"
        << "/dev/full" << QByteArray() << QStringList{"record", "recv:OK\r\n"} << QString()
        << "记录到文件 PATH 失败，已停止记录：磁盘空间已满（No space left on device）";
    QTest::newRow("its folder removed stops recording with one box")
        << "Text3"
        << "sub/rx.txt" << QByteArray() << QStringList{"record", "recv:a\r\n", "rmdir"} << QString()
        << "记录到文件 PATH 失败，已停止记录：文件已被删除或移走，或它的文件夹已不存在";
}

// "记录到文件…": the file gets everything the log gets from then on, appended.
void TstWindow::logFileRecords()
{
    QFETCH(QString, log);
    QFETCH(QString, pick);
    QFETCH(QByteArray, before);
    QFETCH(QStringList, steps);
    QFETCH(QString, file);
    QFETCH(QString, box);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    const QString path = QDir(dir.path()).filePath(pick);
    if (!before.isEmpty()) {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(before) == before.size());
    }
    auto h = std::make_unique<PtyWindow>();
    QVERIFY2(h->open(), "the window could not open a pseudo-terminal");
    h->savePath = path;
    auto *view = h->get<LogView>(qPrintable(log));
    qsizetype received = 0;
    for (const QString &step : steps) {
        if (step == QLatin1String("record"))
            QVERIFY(chooseMenuEntry(view, QStringLiteral("记录到文件…")));
        else if (step == QLatin1String("stop"))
            QVERIFY(chooseMenuEntry(view, QStringLiteral("停止记录到文件")));
        else if (step == QLatin1String("stamps"))
            QVERIFY(chooseMenuEntry(view, QStringLiteral("显示时间戳")));
        else if (step == QLatin1String("clear"))
            h->click(log == QLatin1String("Text2") ? "Command25" : "Command26");
        else if (step == QLatin1String("reopen")) {
            h->click("Command1");
            QVERIFY(h->openPty(h->pty));
        } else if (step == QLatin1String("rmdir"))
            QVERIFY(QDir(dir.filePath(QStringLiteral("sub"))).removeRecursively());
        else if (step == QLatin1String("close"))
            h.reset();
        else if (step.startsWith(QLatin1String("click:")))
            h->click(qPrintable(step.mid(6)));
        else if (step.startsWith(QLatin1String("recv:"))) {
            const QByteArray bytes = gbk(step.mid(5));
            QVERIFY(h->pty.write(bytes));
            received += bytes.size();
            QTRY_COMPARE(h->window->RxCount(), QString::number(received));
        } else
            QFAIL(qPrintable(step));
    }
    if (!box.isEmpty()) {
        QTRY_COMPARE(h->messages.boxes.size(), 1);
        QCOMPARE(h->messages.boxes.first().text, QString(box).replace(QLatin1String("PATH"), path));
        // The log keeps everything, and the entry offers to record again.
        QVERIFY(shownText(*view).endsWith(QLatin1String("\n")));
        QMenu *menu = openContextMenu(view);
        QVERIFY(menu && menuEntry(menu, QStringLiteral("记录到文件…")));
        menu->close();
        return;
    }
    if (h)
        QCOMPARE(h->messages.boxes.size(), 0);
    // Written beside the window within a moment; wait until it is there.
    const QRegularExpression pattern(QLatin1Char('^') + file + QLatin1Char('$'));
    QTRY_VERIFY2(pattern.match(QString::fromUtf8(contents(path))).hasMatch(),
                 contents(path).constData());
}

void TstWindow::logoOpensTheShopEachClick()
{
    WindowHarness h;
    QWidget *logo = h.get<QWidget>("Image1");
    QTest::mouseClick(logo, Qt::LeftButton);
    QTest::mouseClick(logo, Qt::LeftButton);
    QCOMPARE(h.opened, (QList<QUrl>{Startup::kShopUrl, Startup::kShopUrl}));
    // The release's address is a whole web address, as typed there.
    QCOMPARE(Startup::kShopUrl.toString(), QStringLiteral(QUORLIN_RELEASE_SHOP_URL));
    QVERIFY(Startup::kShopUrl.isValid() && !Startup::kShopUrl.host().isEmpty());
}

void TstWindow::windowMovesToTheTopOnce()
{
    WindowHarness h;
    h.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
    auto *timer3 = h.window->findChild<QTimer *>(QStringLiteral("Timer3"));
    QVERIFY(timer3);
    QCOMPARE(timer3->interval(), 100);
    QTRY_VERIFY(!timer3->isActive());
    QCOMPARE(h.window->y(), h.window->screen()->geometry().top());
    // (The left edge is checked by the real-window suite: the offscreen screen is smaller
    // than the window, so the platform nudges it sideways.)
    // A later move by the user stays.
    const QPoint moved(h.window->x() + 10, 40);
    h.window->move(moved);
    QTest::qWait(250);
    QCOMPARE(h.window->y(), moved.y());
}

void TstWindow::skinIsAppliedOnlyWhenReadable_data()
{
    // What stands at "1.she" beside the program and in the installed data folder.
    QTest::addColumn<QString>("beside");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("applied"); // whose sheet is applied, or "" for none
    QTest::newRow("a readable skin is applied") << "file" << "missing" << "beside";
    QTest::newRow("no skin changes nothing") << "missing" << "missing" << "";
    QTest::newRow("an unreadable skin changes nothing") << "folder" << "missing" << "";
    QTest::newRow("the installed data folder's skin") << "missing" << "file" << "data";
    QTest::newRow("the one beside the program comes first") << "file" << "file" << "beside";
    QTest::newRow("unreadable beside the program: the data folder's")
        << "folder" << "file" << "data";
}

void TstWindow::skinIsAppliedOnlyWhenReadable()
{
    QFETCH(QString, beside);
    QFETCH(QString, data);
    QFETCH(QString, applied);
    // An installed program's folders: <prefix>/bin and <prefix>/share/quorlin.
    QCOMPARE(Startup::skinFolders(QStringLiteral("/usr/bin")),
             (QStringList{"/usr/bin", "/usr/share/quorlin"}));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString programDir = dir.filePath(QStringLiteral("bin"));
    const QString dataDir = dir.filePath(QStringLiteral("share/quorlin"));
    QVERIFY(QDir().mkpath(programDir) && QDir().mkpath(dataDir));
    // The path joins the folder and the name with a forward slash.
    QCOMPARE(Startup::skinPath(programDir), programDir + QStringLiteral("/1.she"));
    const auto sheet = [](const QString &where) {
        return QStringLiteral("QPushButton { color: rgb(1, 2, 3); } /* %1 */").arg(where);
    };
    for (const auto &[kind, folder, where] :
         {std::tuple{beside, programDir, QStringLiteral("beside")},
          std::tuple{data, dataDir, QStringLiteral("data")}}) {
        if (kind == QLatin1String("file")) {
            QFile file(Startup::skinPath(folder));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(sheet(where).toUtf8());
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir(folder).mkdir(QStringLiteral("1.she")));
        }
    }
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    app->setStyleSheet(QString());

    QCOMPARE(Startup::applySkin(*app, programDir), !applied.isEmpty());
    QCOMPARE(app->styleSheet(), applied.isEmpty() ? QString() : sheet(applied));
    app->setStyleSheet(QString());
}

void TstWindow::typedListTextStaysAsTyped_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("button"); // the button the list's text chooses a command for

    struct List
    {
        const char *name;
        const char *button;
    };
    const List lists[] = {{"Combo1", ""},         {"Combo2", ""},          {"Combo6", ""},
                          {"Combo3", "Command4"}, {"Combo4", "Command14"}, {"Combo5", "Command16"}};
    WindowHarness entries(kTwoPorts);
    for (const List &list : lists) {
        const QComboBox *combo = entries.combo(list.name);
        QVERIFY(combo->count() > 0);
        for (int k = 0; k < combo->count(); ++k) {
            const QString entry = combo->itemText(k);
            qsizetype firstChar = 0;
            while (firstChar < entry.size() && entry.at(firstChar) == u' ')
                ++firstChar;
            QStringList typed{entry.left(firstChar + 1), entry.chopped(1)};
            if (entry.toLower() != entry)
                typed.append(entry.toLower());
            typed.removeDuplicates();
            for (const QString &text : std::as_const(typed)) {
                if (text == entry || text.trimmed().isEmpty())
                    continue;
                QTest::addRow("%s \"%s\" (entry \"%s\")", list.name, qPrintable(text),
                              qPrintable(entry))
                    << QString::fromLatin1(list.name) << text << QString::fromLatin1(list.button);
            }
        }
    }
}

void TstWindow::typedListTextStaysAsTyped()
{
    QFETCH(QString, list);
    QFETCH(QString, typed);
    QFETCH(QString, button);
    PtyWindow &h = rowWindow(kTwoPorts, !button.isEmpty());
    QCOMPARE(h.link.isOpen(), !button.isEmpty());
    QVERIFY(showActive(h));
    QComboBox *combo = h.combo(qPrintable(list));
    QLineEdit *edit = combo->lineEdit();
    edit->setFocus();
    edit->clear();

    // Typed key by key, then Enter, then the focus leaves: the text is what was typed.
    typeText(edit, typed);
    QCOMPARE(combo->currentText(), typed);
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(combo->currentText(), typed);
    h.button("Command1")->setFocus();
    QTRY_VERIFY2(!edit->hasFocus(), "the focus did not leave the list");
    QCOMPARE(combo->currentText(), typed);

    if (!button.isEmpty()) {
        // No entry, so the button sends nothing.
        h.click(qPrintable(button));
        QCOMPARE(shownText(*h.sendLog()), QString());
        QCOMPARE(h.window->TxCount(), QStringLiteral("0"));
        QVERIFY(h.messages.boxes.isEmpty());
        QCOMPARE(readUpToFence(h, 0), kFence);
    }

    // Picking an entry still sets the list's text to it.
    edit->setFocus();
    const int picked = combo->currentIndex() + 1 < combo->count() ? combo->currentIndex() + 1
                                                                  : combo->currentIndex() - 1;
    QTest::keyClick(edit, picked > combo->currentIndex() ? Qt::Key_Down : Qt::Key_Up);
    QCOMPARE(combo->currentIndex(), picked);
    QCOMPARE(combo->currentText(), combo->itemText(picked));
}

void TstWindow::singleLineBoxKeepsTheFirstLine_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("value");  // the first line of what is pasted
    QTest::addColumn<QString>("button"); // the button that sends the box's text, if any
    QTest::addColumn<QString>("line");   // the command line that goes out
    QTest::addColumn<QString>("kept");   // what the box keeps of that first line

    struct Box
    {
        const char *name;
        const char *value;
        const char *button;
        const char *line;
    };
    const Box boxes[] = {
        {"Text4", "10", "Command13", "AT+CIPSTO=10"},
        {"Text5", "net", "Command14", "AT+CWSAP=\"net\",\"7395184026\",11,0"},
        {"Text6", "pw", "Command14", "AT+CWSAP=\"ESP8266\",\"pw\",11,0"},
        {"Text7", "80", "Command15", "AT+CIPSERVER=1,80"},
        {"Text8", "10.0.0.1", "Command16", "AT+CIPSTART=\"TCP\",\"10.0.0.1\",5000"},
        {"Text9", "80", "Command16", "AT+CIPSTART=\"TCP\",\"192.168.1.100\",80"},
        {"Text10", "net", "Command21", "AT+CWJAP=\"net\",\"7395184026\""},
        {"Text11", "pw", "Command21", "AT+CWJAP=\"ESP8266\",\"pw\""},
        {"Combo1", "COM9", "", ""},
        {"Combo2", "9600", "", ""},
        {"Combo6", "2", "", ""},
        {"Combo3", "          AP模式", "Command4", "AT+CWMODE=2"},
        {"Combo4", "    WPA_WPA2_PSK", "Command14", "AT+CWSAP=\"ESP8266\",\"7395184026\",11,4"},
        {"Combo5", "  UDP", "Command16", "AT+CIPSTART=\"UDP\",\"192.168.1.100\",5000"},
    };
    const std::pair<const char *, const char *> breaks[] = {
        {"CR", "\r"}, {"LF", "\n"}, {"CR LF", "\r\n"}};
    for (const Box &b : boxes) {
        const QString value = QString::fromUtf8(b.value);
        for (const auto &[breakName, lineBreak] : breaks) {
            QTest::addRow("%s, pasted with %s", b.name, breakName)
                << QString::fromLatin1(b.name) << value + lineBreak << QString::fromLatin1(b.button)
                << QString::fromUtf8(b.line) << value;
        }
        // Characters that show nothing: a direction override that would show the text
        // backwards, zero-width characters, isolates, separators, a tag character.
        const QString hidden = QStringLiteral("\u202e") + value.left(1) +
                               QStringLiteral("\u200b\u2066\u200d") + value.mid(1) +
                               QStringLiteral("\ufeff\u2028\u202a\u2029\U000E0041\u2069");
        QTest::addRow("%s, pasted with characters that show nothing", b.name)
            << QString::fromLatin1(b.name) << hidden + QStringLiteral("\r\n")
            << QString::fromLatin1(b.button) << QString::fromUtf8(b.line) << value;
    }
}

void TstWindow::singleLineBoxKeepsTheFirstLine()
{
    QFETCH(QString, box);
    QFETCH(QString, value); // ends with the row's line break
    QFETCH(QString, button);
    QFETCH(QString, line);
    QFETCH(QString, kept);
    const qsizetype breakAt = value.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
    const QString lineBreak = value.mid(breakAt);
    value.truncate(breakAt);

    PtyWindow &h = rowWindow({}, true);
    QVERIFY2(h.link.isOpen(), "the window could not open a pseudo-terminal");
    QVERIFY(showActive(h));
    QLineEdit *edit = editField(h, box);
    edit->setFocus();

    const auto undo = [edit] { QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier); };
    const auto redo = [edit] {
        QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    };

    // Pasted over the whole text: the first line replaces it, the second is gone.
    const QString designText = edit->text();
    edit->end(false);
    typeText(edit, QStringLiteral("q"));
    const QString typed = edit->text();
    edit->selectAll();
    paste(edit, value + lineBreak + QStringLiteral("AT+RST"));
    QCOMPARE(edit->text(), kept);
    // One step back gives what the paste replaced, the next takes the typing back.
    undo();
    QCOMPARE(edit->text(), typed);
    undo();
    QCOMPARE(edit->text(), designText);
    redo();
    redo();
    QCOMPARE(edit->text(), kept);

    // Pasted inside the text: the first line goes in at the cursor, the rest stays.
    edit->setText(QStringLiteral("ab"));
    edit->setCursorPosition(1);
    paste(edit, QStringLiteral("x") + lineBreak + QStringLiteral("y"));
    QCOMPARE(edit->text(), QStringLiteral("axb"));
    QCOMPARE(edit->cursorPosition(), 2);
    // Typing after the paste is a step of its own.
    typeText(edit, QStringLiteral("c"));
    undo();
    QCOMPARE(edit->text(), QStringLiteral("axb"));
    undo();
    QCOMPARE(edit->text(), QStringLiteral("ab"));
    redo();
    QCOMPARE(edit->text(), QStringLiteral("axb"));

    // Control characters pasted or dropped never reach the box, nor do characters that
    // show nothing; a tab becomes a blank.
    const QString controls = QStringLiteral("\x0b\x0c\x1b\x1a\x7f\x01\x1f") + QChar(0) +
                             QChar(0x85) + QStringLiteral("\u202e\u200b\u2028\U000E0041");
    const QString withControls = QStringLiteral("a\tb") + controls + QStringLiteral("c") +
                                 lineBreak + QStringLiteral("AT+RST");
    edit->selectAll();
    paste(edit, withControls);
    QCOMPARE(edit->text(), QStringLiteral("a bc"));
    edit->clear();
    QMimeData dropped;
    dropped.setText(withControls);
    QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(edit, &enter);
    QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(edit, &drop);
    QCOMPARE(edit->text(), QStringLiteral("a bc"));
    // The paste entry of the box's own menu, where it has one (a list's field has none).
    if (edit->contextMenuPolicy() == Qt::DefaultContextMenu) {
        edit->setText(QStringLiteral("ab"));
        edit->selectAll();
        QGuiApplication::clipboard()->setText(withControls);
        const QPoint at(2, 2);
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, edit->mapToGlobal(at));
        QCoreApplication::sendEvent(edit, &click);
        auto *menu = edit->findChild<QMenu *>();
        QVERIFY2(menu && menu->isVisible(), "no context menu came up");
        const QString caption = QCoreApplication::translate("QLineEdit", "&Paste");
        const QList<QAction *> entries = menu->actions();
        const auto entry = std::find_if(entries.begin(), entries.end(),
                                        [&](QAction *a) { return a->text().startsWith(caption); });
        QVERIFY2(entry != entries.end(), "the menu has no paste entry");
        (*entry)->trigger();
        menu->close();
        QCOMPARE(edit->text(), QStringLiteral("a bc"));
        undo();
        QCOMPARE(edit->text(), QStringLiteral("ab"));
    }

    // Set from the program: its first line. What the box shows is what goes out.
    edit->setText(value + lineBreak + QStringLiteral("AT+RST"));
    QCOMPARE(edit->text(), kept);

    if (button.isEmpty())
        return;
    h.click(qPrintable(button));
    const QByteArray wire = gbk(line + QStringLiteral("\r\n"));
    QCOMPARE(readUpToFence(h, wire.size()), wire + kFence); // no second line
}

void TstWindow::clearAfterCrStartsWithoutEmptyLine()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    WindowHarness h;
    QVERIFY(h.openPty(pty));
    // Two lone CRs: the second one's break waits to see whether an LF follows.
    QVERIFY(pty.write("OK\r\r"));
    QTRY_COMPARE(h.window->RxCount(), QStringLiteral("4"));
    h.click("Command26");
    QVERIFY(pty.write("ready\r\n"));
    QTRY_COMPARE(h.window->RxCount(), QStringLiteral("11"));
    QCOMPARE(shownText(*h.receiveLog()), QStringLiteral("ready\n"));
}

void TstWindow::portLostSaysWhyInTheDetails()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    WindowHarness h;
    QVERIFY(h.openPty(pty));
    pty.closeMaster();
    QTRY_COMPARE(h.messages.boxes.size(), 1);
    QCOMPARE(h.messages.boxes[0].text,
             QStringLiteral("串口 ") + pty.slavePath() + QStringLiteral(" 已断开!"));
    const QString detail = h.messages.boxes[0].detail;
    QVERIFY2(detail.startsWith(QStringLiteral("设备 ") + pty.slavePath()), qPrintable(detail));
    QVERIFY2(detail.contains(QStringLiteral("串口已关闭。\n系统信息：")), qPrintable(detail));
}

// The real box: its title and text as given, the details behind a button in Chinese.
void TstWindow::errorBoxShowsItsDetailsInChinese()
{
    struct Seen
    {
        QString title, text, showCaption, hideCaption, details;
        bool detailsHiddenFirst = false;
        bool detailsShownAfterClick = false;
    } seen;
    bool found = false;
    int attempts = 0;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        QMessageBox *box = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *candidate = qobject_cast<QMessageBox *>(widget);
                candidate && candidate->isVisible())
                box = candidate;
        }
        // Bounded: the box is closed whatever happens, so the test cannot hang on it.
        if (!box) {
            if (++attempts > 250)
                poll.stop();
            return;
        }
        poll.stop();
        found = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        // The details button is the one besides OK.
        QPushButton *button = nullptr;
        for (QPushButton *candidate : box->findChildren<QPushButton *>()) {
            if (candidate != box->button(QMessageBox::Ok))
                button = candidate;
        }
        auto *details = box->findChild<QTextEdit *>();
        if (button && details) {
            seen.showCaption = button->text();
            seen.detailsHiddenFirst = !details->isVisible();
            button->click();
            seen.hideCaption = button->text();
            seen.detailsShownAfterClick = details->isVisible();
            seen.details = details->toPlainText();
        }
        box->done(QMessageBox::Ok);
    });
    poll.start();

    DetailButtonTexts::install(); // as the program does at start-up
    MessageBoxes boxes(nullptr);
    const QString detail =
        QStringLiteral("设备 /dev/ttyUSB0 正被另一个程序占用，请先在那个程序里关闭它。\n"
                       "系统信息：Permission error while locking the device");
    boxes.error(QStringLiteral("错误提示！"), QStringLiteral("串口 ttyUSB0 不存在或被占用!"),
                detail);

    QVERIFY2(found, "no message box appeared within five seconds");
    QCOMPARE(seen.title, QStringLiteral("错误提示！"));
    QCOMPARE(seen.text, QStringLiteral("串口 ttyUSB0 不存在或被占用!"));
    QCOMPARE(seen.showCaption, QStringLiteral("显示详细信息…"));
    QVERIFY(seen.detailsHiddenFirst);
    QCOMPARE(seen.hideCaption, QStringLiteral("隐藏详细信息…"));
    QVERIFY(seen.detailsShownAfterClick);
    QCOMPARE(seen.details, detail);
}

void TstWindow::lostBoxNamesThePortAsOpened_data()
{
    QTest::addColumn<QString>("change"); // what happens to the port list while open
    QTest::newRow("nothing changed") << "none";
    QTest::newRow("a rescan shows another port") << "rescan";
    QTest::newRow("a rescan finds nothing") << "rescan-empty";
    QTest::newRow("the list's text is edited") << "edit";
    QTest::newRow("another entry is picked") << "pick";
}

void TstWindow::lostBoxNamesThePortAsOpened()
{
    QFETCH(QString, change);
    PtyPair pty;
    QVERIFY(pty.isValid());
    const QString opened = QStringLiteral("Module (") + pty.slavePath() + u')';
    WindowHarness h(QList<PortEntry>{{"ttyS0", "ttyS0"}, {pty.slavePath(), opened}});
    QComboBox *combo1 = h.combo("Combo1");
    combo1->setCurrentIndex(1);
    emit combo1->activated(1);
    h.click("Command1");
    QVERIFY(h.link.isOpen());

    if (change == QLatin1String("rescan")) {
        h.ports = {{"ttyS0", "ttyS0"}};
        h.click("Command28");
    } else if (change == QLatin1String("rescan-empty")) {
        h.ports.clear();
        h.click("Command28");
    } else if (change == QLatin1String("edit")) {
        combo1->setEditText(QStringLiteral("ttyS0"));
    } else if (change == QLatin1String("pick")) {
        combo1->setCurrentIndex(0);
        emit combo1->activated(0);
    }
    QVERIFY(h.link.isOpen());
    pty.closeMaster();

    QTRY_COMPARE(h.messages.boxes.size(), 1);
    QCOMPARE(h.messages.boxes[0].title, QStringLiteral("错误提示！"));
    QCOMPARE(h.messages.boxes[0].text,
             QStringLiteral("串口 ") + opened + QStringLiteral(" 已断开!"));
    QCOMPARE(h.button("Command1")->text(), kOpen);
}

void TstWindow::lostPortIsReopened_data()
{
    QTest::addColumn<bool>("on");           // "断开后自动重新打开" checked
    QTest::addColumn<QString>("meanwhile"); // done while the port is waited for
    QTest::addColumn<bool>("reopened");
    QTest::newRow("off: the loss box as before") << false << "" << false;
    QTest::newRow("on: reopened with its settings") << true << "" << true;
    QTest::newRow("on: a command while waiting only warns") << true << "Command5" << true;
    QTest::newRow("on: a click on the open button stops waiting") << true << "Command1" << false;
    QTest::newRow("on: a module the scan no longer vouches for is not opened")
        << true << "unvouched" << true;
    QTest::newRow("on: a terminal by its own node gives the loss box")
        << true << "own node" << false;
}

// The module's pseudo-terminal is reached through a link, as a device's fixed name leads to
// the node it has now: the module goes (its terminal closes, the link is removed) and comes
// back on a new terminal behind the same link. In the last row the terminal's own node is
// opened, whose number the next terminal on the machine takes.
void TstWindow::lostPortIsReopened()
{
    QFETCH(bool, on);
    QFETCH(QString, meanwhile);
    QFETCH(bool, reopened);
    QTemporaryDir dir;
    auto pty = std::make_unique<PtyPair>();
    const bool ownNode = meanwhile == QLatin1String("own node");
    const QString path = ownNode ? pty->slavePath() : dir.filePath(QStringLiteral("module"));
    QVERIFY(pty->isValid() && (ownNode || QFile::link(pty->slavePath(), path)));
    // A pseudo-terminal is no port the machine lists. One row holds the reopen back for a
    // while: the scan lists it with a check that refuses it for a while. (Which device is
    // the same one is the reopener's own table.)
    const bool checked = meanwhile == QLatin1String("unvouched");
    bool heldBack = false;
    int looks = 0;
    PortReopener::Options reopen;
    reopen.ports = [&] {
        ++looks;
        return QList<PortIdentity>{};
    };
    reopen.nodeReady = [&](const QString &name) {
        ++looks;
        return ::access(QFile::encodeName(name).constData(), R_OK | W_OK) == 0;
    };
    reopen.pollMs = 5;
    const auto scan = [&] {
        if (!checked)
            return QList<PortEntry>{};
        return QList<PortEntry>{{path, path, [&] { return heldBack ? "gone" : QString(); }}};
    };
    Form1::Services services;
    services.reopen = reopen;
    WindowHarness h(scan, services);
    h.combo("Combo2")->setEditText(QStringLiteral("9600"));
    h.combo("Combo6")->setEditText(QStringLiteral("2"));
    if (on) {
        // Shift+F10 on the focused open button, then Return on its one entry.
        QVERIFY(showActive(h));
        h.button("Command1")->setFocus();
        QTest::keyClick(h.button("Command1"), Qt::Key_F10, Qt::ShiftModifier);
        auto *menu = h.button("Command1")->findChild<QMenu *>();
        QVERIFY2(menu && menu->isVisible(), "the open button's menu did not come up");
        QCOMPARE(menu->actions().size(), 1);
        QAction *entry = menu->actions()[0];
        QCOMPARE(entry->text(), QStringLiteral("断开后自动重新打开"));
        QVERIFY(entry->isCheckable() && !entry->isChecked());
        QTest::keyClick(menu, Qt::Key_Return);
        QVERIFY(entry->isChecked() && !menu->isVisible());
    }
    QVERIFY(h.openPath(path));
    h.click("Command5");
    QVERIFY(pty->write("AT\r\r\n\r\nOK")); // the last line has no break yet
    QTRY_COMPARE(h.window->RxCount(), QStringLiteral("9"));

    QVERIFY(ownNode || QFile::remove(path));
    pty.reset();
    const QString waiting =
        QStringLiteral("AT\n\nOK\n（串口 ") + path + QStringLiteral(" 已断开，等待重新连接…）\n");
    if (!on || ownNode) {
        QTRY_COMPARE(h.messages.boxes.size(), 1);
        QCOMPARE(h.messages.boxes[0].text, "串口 " + path + " 已断开!");
        QCOMPARE(shownText(*h.receiveLog()), QStringLiteral("AT\n\nOK"));
    } else {
        QTRY_COMPARE(shownText(*h.receiveLog()), waiting);
        QVERIFY(h.messages.boxes.isEmpty());
    }
    QCOMPARE(h.button("Command1")->text(), kOpen);
    QCOMPARE(h.window->RxCount(), QStringLiteral("9"));

    if (meanwhile == QLatin1String("Command5")) {
        h.click("Command5");
        QCOMPARE(h.messages.boxes.size(), 1);
        QCOMPARE(h.messages.boxes[0].kind, QStringLiteral("warn"));
    } else if (meanwhile == QLatin1String("Command1")) {
        h.click("Command1");
        QCOMPARE(shownText(*h.receiveLog()),
                 waiting + QStringLiteral("（已停止等待串口 ") + path + QStringLiteral("）\n"));
    }
    heldBack = checked;
    pty = std::make_unique<PtyPair>();
    QVERIFY(pty->isValid() && (ownNode || QFile::link(pty->slavePath(), path)));
    const int looked = looks;
    if (!reopened) {
        // Nothing watches any more: by now it would have looked forty times.
        QTest::qWait(200);
        QCOMPARE(looks, looked);
        QVERIFY(!h.link.isOpen());
        QCOMPARE(h.button("Command1")->text(), kOpen);
        return;
    }
    if (heldBack) {
        // Long enough to have looked at what came back many times over.
        QTRY_VERIFY(looks > looked + 20 || h.link.isOpen());
        QVERIFY2(!h.link.isOpen(), "what came back was opened");
        heldBack = false;
    }
    QTRY_VERIFY(h.link.isOpen());
    QCOMPARE(h.button("Command1")->text(), kClose);
    QCOMPARE(shownText(*h.receiveLog()),
             waiting + QStringLiteral("（已重新打开串口 ") + path + QStringLiteral("）\n"));
    // The new terminal runs at the speed and stop bits the window opened the first one with.
    QCOMPARE(pty->line().speed, qint64(9600));
    QVERIFY(pty->line().twoStopBits);
    h.click("Command5");
    QCOMPARE(pty->readExactly(4), QByteArray("AT\r\n"));
    QVERIFY(h.messages.boxes.size() == (meanwhile == QLatin1String("Command5") ? 1 : 0));
}

QTEST_MAIN(TstWindow)
#include "tst_window.moc"
