#include "form1.h"
#include "ui_form1.h"

#include "accessibility.h"
#include "commandtable.h"
#include "composedlists.h"
#include "composers.h"
#include "countfont.h"
#include "filesender.h"
#include "freeformsender.h"
#include "groupframestyle.h"
#include "inputbox.h"
#include "linesettings.h"
#include "logrecorder.h"
#include "logsaver.h"
#include "logview.h"
#include "messageseam.h"
#include "narrowarrowstyle.h"
#include "onelineguard.h"
#include "receiver.h"
#include "recordentry.h"
#include "seriallink.h"
#include "stampedlog.h"
#include "startup.h"
#include "statusbarpanels.h"
#include "transmitter.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QTimer>

namespace {

const QString kOpenCaption = QStringLiteral("打开串口");
const QString kCloseCaption = QStringLiteral("关闭串口");

// The lists' texts and the single-line boxes go into command lines exactly as typed: a list
// never completes, corrects or case-folds what was typed (picking an entry from the
// drop-down still sets its text; the form keeps a typed text out of the entries), and no
// box holds more than one line.
void keepTextAsTyped(QWidget *form)
{
    for (QComboBox *list : form->findChildren<QComboBox *>()) {
        if (list->isEditable())
            list->setCompleter(nullptr);
    }
    // A list's edit field is a QLineEdit too.
    for (QLineEdit *box : form->findChildren<QLineEdit *>())
        box->setValidator(new OneLineGuard(box));
}

} // namespace

Form1::Form1(const Services &services, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::Form1), m_services(services),
      m_txCount(services.txCount ? *services.txCount : m_ownTxCount),
      m_rxCount(services.rxCount ? *services.rxCount : m_ownRxCount)
{
    Q_ASSERT(m_services.link && m_services.messages);
    if (!m_services.ports)
        m_services.ports = systemPorts;
    if (!m_services.openUrl)
        m_services.openUrl = [](const QUrl &url) { QDesktopServices::openUrl(url); };
    if (!m_services.saveFileName) {
        const auto dialog = [this](const QString &title, QFileDialog::Options options) {
            return [this, title, options](const QString &suggested) {
                return QFileDialog::getSaveFileName(
                    this, title, suggested, QStringLiteral("文本文件 (*.txt);;所有文件 (*)"),
                    nullptr, options);
            };
        };
        m_services.saveFileName = dialog(QStringLiteral("保存为文件"), {});
        // A recording appends to a file already there: nothing to confirm replacing.
        m_recordFileName = dialog(QStringLiteral("记录到文件"), QFileDialog::DontConfirmOverwrite);
    } else {
        m_recordFileName = m_services.saveFileName;
    }
    if (!m_services.openFileName) {
        m_services.openFileName = [this](const QString &folder) {
            return QFileDialog::getOpenFileName(this, QStringLiteral("发送文件"), folder);
        };
    }
    m_saveFolder = QDir::homePath();
    m_sendFolder = m_saveFolder;

    ui->setupUi(this);
    fillComposedLists(ui->Combo3, ui->Combo4, ui->Combo5);
    Accessibility::nameListFields(this);
    setupStatusBarPanels(ui->StatusBar1);
    m_counterFont = ui->Label11->font();
    keepTextAsTyped(this);
    // "1.5" whole in the 41 px stop-bit list.
    narrowTheArrow(ui->Combo6);
    // The frames draw their captions on their top border line; the rest keeps the
    // application's style.
    auto *frameStyle = new GroupFrameStyle;
    frameStyle->setParent(this);
    for (QGroupBox *frame : findChildren<QGroupBox *>())
        frame->setStyle(frameStyle);

    // A fixed single border: minimise and close, no maximise, no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(1137, 693);
    setWindowIcon(Startup::windowIcon());

    m_sendRecorder = std::make_unique<LogRecorder>(*ui->Text2);
    m_receiveRecorder = std::make_unique<LogRecorder>(*ui->Text3);
    m_sendStamps = std::make_unique<StampedLog>(*m_sendRecorder);
    m_transmitter = std::make_unique<Transmitter>(*m_services.link, *m_sendStamps, m_txCount,
                                                  *m_services.messages);
    auto *timer5 = new QTimer(this); // the payload's wait, which the free-form sender runs
    m_freeForm =
        std::make_unique<FreeFormSender>(*m_transmitter, [this] { return ui->Text1->typedText(); },
                                         *timer5);
    timer5->setInterval(m_services.payloadDelayMs);
    m_fileSender =
        std::make_unique<FileSender>(*m_transmitter, *m_services.link, *m_services.messages);
    m_receiver = std::make_unique<Receiver>(*m_services.link, *m_receiveRecorder, m_rxCount);
    ui->Text3->setCoalescing(true);
    m_reopener = new PortReopener(*m_services.link, m_services.reopen, this);
    // The open button's menu, by the mouse, the Menu key or Shift+F10; its caption and click
    // stay as they are. The entry is off at every start.
    m_openButtonMenu = new QMenu(ui->Command1);
    m_reopenAction = m_openButtonMenu->addAction(QStringLiteral("断开后自动重新打开"));
    m_reopenAction->setCheckable(true);
    ui->Command1->setContextMenuPolicy(Qt::CustomContextMenu);

    m_timer3 = new QTimer(this);
    m_timer3->setObjectName(QStringLiteral("Timer3"));
    m_timer3->setSingleShot(true);
    m_timer3->setInterval(kTopMoveDelayMs);
    m_timer4 = new QTimer(this);
    m_timer4->setObjectName(QStringLiteral("Timer4"));
    m_timer4->setInterval(kCounterRefreshMs);

    wireControls();

    // Window load: the first scan, then both counters at zero.
    m_portReport = GetSerialPort();
    m_txCount.reset();
    m_rxCount.reset();

    // Shown centred; the first tick of Timer3 moves it to the top edge once.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    ui->Command1->setFocus();
    m_timer3->start();
    m_timer4->start();
}

Form1::~Form1()
{
    // A log being saved is written to its end before the window goes.
    qDeleteAll(m_savers);
}

void Form1::wireControls()
{
    SerialLink *link = m_services.link;
    connect(link, &SerialLink::lost, this, &Form1::portLost);

    connect(ui->Command28, &QPushButton::clicked, this, &Form1::rescan);
    connect(ui->Combo1, qOverload<int>(&QComboBox::activated), this, &Form1::portChosen);
    connect(ui->Command1, &QPushButton::clicked, this, &Form1::toggleOpen);
    connect(ui->Command1, &QWidget::customContextMenuRequested, this, &Form1::showOpenButtonMenu);
    connect(m_reopenAction, &QAction::toggled, m_reopener, &PortReopener::setEnabled);
    connect(m_reopener, &PortReopener::waitingFor, this, [this](const QString &port) {
        m_receiver->note(QStringLiteral("（串口 %1 已断开，等待重新连接…）").arg(port));
    });
    connect(m_reopener, &PortReopener::reopened, this, [this](const QString &port) {
        m_receiver->note(QStringLiteral("（已重新打开串口 %1）").arg(port));
        ui->Command1->setText(kCloseCaption);
    });
    connect(m_reopener, &PortReopener::stopped, this, [this](const QString &port) {
        m_receiver->note(QStringLiteral("（已停止等待串口 %1）").arg(port));
    });

    for (const FixedCommand &command : kFixedCommands) {
        auto *button = findChild<QPushButton *>(QLatin1String(command.button));
        Q_ASSERT(button);
        const QString text = QLatin1String(command.text);
        connect(button, &QPushButton::clicked, this,
                [this, text] { m_transmitter->runCommand([text] { return text; }); });
    }

    // The composed commands read their controls at the click.
    const auto composed = [this](QPushButton *button,
                                 std::function<std::optional<QString>()> compose) {
        connect(button, &QPushButton::clicked, this,
                [this, compose] { m_transmitter->runCommand(compose); });
    };
    composed(ui->Command4, [this] { return Composers::workingMode(ui->Combo3->currentText()); });
    composed(ui->Command13, [this] { return Composers::serverTimeout(ui->Text4->text()); });
    composed(ui->Command21,
             [this] { return Composers::joinAccessPoint(ui->Text10->text(), ui->Text11->text()); });
    composed(ui->Command14, [this] {
        return Composers::softAccessPoint(ui->Text5->text(), ui->Text6->text(),
                                          ui->Combo4->currentText());
    });
    composed(ui->Command15, [this] { return Composers::server(ui->Text7->text()); });
    composed(ui->Command16, [this] {
        return Composers::client(ui->Combo5->currentText(), ui->Text8->text(), ui->Text9->text());
    });

    connect(ui->Command17, &QPushButton::clicked, m_freeForm.get(), &FreeFormSender::clickAtSend);
    connect(ui->Command2, &QPushButton::clicked, m_freeForm.get(), &FreeFormSender::clickTextSend);
    ui->Text1->setLineSender(
        [this](const QString &line) { return m_transmitter->runCommand([line] { return line; }); });
    connect(ui->Text1, &InputBox::sendFileRequested, this, &Form1::sendFile);

    connect(ui->Text2, &LogView::saveRequested, this,
            [this] { saveLog(ui->Text2, QStringLiteral("发送数据")); });
    connect(ui->Text3, &LogView::saveRequested, this,
            [this] { saveLog(ui->Text3, QStringLiteral("接收数据")); });
    connect(ui->Command25, &QPushButton::clicked, this, [this] {
        ui->Text2->clearLog();
        m_sendStamps->logCleared();
    });
    connect(ui->Command26, &QPushButton::clicked, this, &Form1::clearReceiveLog);
    connect(ui->Command27, &QPushButton::clicked, this, &Form1::resetCounters);
    wireLogMenus();

    connect(m_timer3, &QTimer::timeout, this, &Form1::moveToTop);
    connect(m_timer4, &QTimer::timeout, this, &Form1::showCounters);
    connect(ui->Image1, &LogoLabel::clicked, this,
            [this] { m_services.openUrl(Startup::kShopUrl); });
}

QString Form1::GetSerialPort()
{
    const QList<PortEntry> ports = m_services.ports();

    // Appending must not select anything: keep both lists' selection and text as they
    // were, except that the first port found becomes the text of both.
    const int index1 = ui->Combo1->currentIndex();
    const int index7 = ui->Combo7->currentIndex();
    const QString text1 = ui->Combo1->currentText();
    const QString text7 = ui->Combo7->currentText();
    const int firstFound = ui->Combo1->count();
    for (const PortEntry &port : ports) {
        ui->Combo7->addItem(port.portName);
        // Shown as the list's field can show it, so that the text of a picked entry stays
        // that entry's text.
        ui->Combo1->addItem(OneLineGuard::shownInOneLine(port.friendlyName));
        m_ports.append(port);
    }
    ui->Combo1->setCurrentIndex(index1);
    ui->Combo7->setCurrentIndex(index7);
    ui->Combo7->setEditText(ports.isEmpty() ? text7 : ports.first().portName);
    ui->Combo1->setEditText(ports.isEmpty() ? text1 : ui->Combo1->itemText(firstFound));
    return portReportText(ports);
}

void Form1::rescan()
{
    m_ports.clear();
    ui->Combo1->clear();
    ui->Combo1->setEditText(QString());
    ui->Combo7->clear();
    ui->Combo7->setEditText(QString());
    m_portReport = GetSerialPort();
}

void Form1::portChosen(int index)
{
    ui->Combo7->setCurrentIndex(index);
}

int Form1::chosenEntry() const
{
    const QString shown = ui->Combo1->currentText();
    // The entry picked, while the list still shows it: two entries may read the same.
    const int picked = ui->Combo1->currentIndex();
    if (picked >= 0 && ui->Combo1->itemText(picked) == shown)
        return picked;
    return ui->Combo1->findText(shown, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

QString Form1::chosenSystemName() const
{
    const int entry = chosenEntry();
    // Entry k of the port list and entry k of the port-name list are the same device.
    return entry < 0 ? ui->Combo1->currentText() : ui->Combo7->itemText(entry);
}

void Form1::toggleOpen()
{
    // While a lost port is waited for, a click stops waiting and leaves the port closed.
    if (m_reopener->isWaiting()) {
        m_reopener->stopWaiting();
        return;
    }
    SerialLink &link = *m_services.link;
    if (link.isOpen()) {
        link.close();
        ui->Command1->setText(kOpenCaption);
        return;
    }
    const QString speed = ui->Combo2->currentText();
    const QString stopBits = ui->Combo6->currentText();
    const std::optional<LineSettings> settings = parseLineSettings(speed, stopBits);
    QString why;
    if (!settings)
        why = lineSettingsProblem(speed, stopBits);
    // An entry whose device may have changed hands since the scan is asked again before
    // it is opened, and once more right after, in case it changed hands in between.
    std::function<QString()> whyNotOpen;
    if (const int entry = chosenEntry(); entry >= 0 && entry < m_ports.size())
        whyNotOpen = m_ports.at(entry).whyNotOpen;
    if (settings && whyNotOpen)
        why = whyNotOpen();
    const QString systemName = chosenSystemName();
    if (!settings || !why.isEmpty() || !link.open(systemName, *settings, &why)) {
        showOpenFailure(why);
        return;
    }
    if (whyNotOpen && !(why = whyNotOpen()).isEmpty()) {
        link.close();
        showOpenFailure(why);
        return;
    }
    m_reopener->opened(systemName, *settings, whyNotOpen);
    m_openedPort = ui->Combo1->currentText();
    ui->Command1->setText(kCloseCaption);
}

void Form1::showOpenFailure(const QString &why)
{
    // The text stays as it has always read; the reason under it says what really happened
    // (no permission, a refused speed, ...), which that text alone would get wrong.
    const QString port = ui->Combo1->currentText();
    m_services.messages->error(MessageSeam::kErrorTitle,
                               QStringLiteral("串口 ") + port + QStringLiteral(" 不存在或被占用!"),
                               QString(), why);
    ui->Command1->setText(kOpenCaption);
}

void Form1::portLost(const QString &why)
{
    // Everything received before the loss is already counted and in the log.
    // A rescan or an edit of the list since the open does not change which port was lost.
    ui->Command1->setText(kOpenCaption);
    // When it is to be reopened, the receive log says so instead of a box.
    if (m_reopener->takeLoss())
        return;
    m_services.messages->error(
        MessageSeam::kErrorTitle, QStringLiteral("串口 ") + m_openedPort + QStringLiteral(" 已断开!"), why);
}

void Form1::showOpenButtonMenu(const QPoint &at)
{
    m_openButtonMenu->popup(ui->Command1->mapToGlobal(at));
    // Its one entry is chosen with Return or Space at once, and read out as it opens.
    m_openButtonMenu->setActiveAction(m_reopenAction);
}

void Form1::showCounters()
{
    showCount(ui->Label11, QStringLiteral("发送：") + m_txCount.text());
    showCount(ui->Label13, QStringLiteral("接收：") + m_rxCount.text());
}

void Form1::showCount(QLabel *label, const QString &text)
{
    // Measured only when the text changes; the label keeps its place and width, and a
    // long count gets a narrower font rather than losing digits.
    if (label->text() == text)
        return;
    label->setText(text);
    const int room = label->contentsRect().width() - 2 * label->margin();
    label->setFont(CountFont::fitting(m_counterFont, text, room));
}

void Form1::clearReceiveLog()
{
    ui->Text3->clearLog();
    m_receiver->logCleared();
}

void Form1::wireLogMenus()
{
    // Checkable entries, off at start; each applies to what the log gets after it.
    const auto toggle = [this](const QString &text, std::function<void(bool)> apply) {
        auto *action = new QAction(text, this);
        action->setCheckable(true);
        connect(action, &QAction::toggled, this, std::move(apply));
        return action;
    };
    const auto separator = [this] {
        auto *action = new QAction(this);
        action->setSeparator(true);
        return action;
    };
    const auto record = [this](LogRecorder &recorder, const QString &name) {
        const auto pick = [this, name] { return pickLogFile(name, true); };
        return (new RecordEntry(recorder, pick, *m_services.messages, this))->action();
    };
    Receiver *receiver = m_receiver.get();
    ui->Text3->addMenuEntries(
        {record(*m_receiveRecorder, QStringLiteral("接收数据记录")), separator(),
         toggle(QStringLiteral("显示时间戳"), [receiver](bool on) { receiver->setTimeStamps(on); }),
         toggle(QStringLiteral("十六进制显示"), [receiver](bool on) { receiver->setHex(on); }),
         toggle(QStringLiteral("UTF-8显示"), [receiver](bool on) { receiver->setUtf8(on); })});
    StampedLog *sendStamps = m_sendStamps.get();
    ui->Text2->addMenuEntries({record(*m_sendRecorder, QStringLiteral("发送数据记录")), separator(),
                               toggle(QStringLiteral("显示时间戳"),
                                      [sendStamps](bool on) { sendStamps->setTimeStamps(on); })});
}

QString Form1::pickLogFile(const QString &name, bool recording)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString suggested =
        QDir(m_saveFolder).filePath(QStringLiteral("%1-%2.txt").arg(name, stamp));
    const QString path =
        recording ? m_recordFileName(suggested) : m_services.saveFileName(suggested);
    if (!path.isEmpty())
        m_saveFolder = QFileInfo(path).absolutePath();
    return path;
}

void Form1::saveLog(LogView *log, const QString &name)
{
    const QString path = pickLogFile(name, false);
    if (path.isEmpty())
        return;
    // The log's text exactly as it came, as a copy of it gives; the log keeps it all
    // whatever becomes of the file. Writing it out (and waiting for the disk) happens
    // beside the window, which goes on showing what arrives.
    auto *saver = new LogSaver(log->excerpt(), path, this);
    connect(saver, &LogSaver::finished, this, [this, saver, path](bool ok, const QString &why) {
        m_savers.removeOne(saver);
        saver->deleteLater();
        if (!ok) {
            m_services.messages->error(MessageSeam::kErrorTitle,
                                       QStringLiteral("日志未能保存到 %1：%2").arg(path, why));
        }
        emit logSaved(path, ok);
    });
    m_savers.append(saver);
    saver->start();
}

void Form1::sendFile()
{
    m_fileSender->chooseAndSend([this] {
        const QString path = m_services.openFileName(m_sendFolder);
        if (!path.isEmpty())
            m_sendFolder = QFileInfo(path).absolutePath();
        return path;
    });
}

void Form1::resetCounters()
{
    m_txCount.reset();
    m_rxCount.reset();
}

void Form1::moveToTop()
{
    const QScreen *screen = this->screen();
    const int top = screen ? screen->geometry().top() : 0;
    move(x(), top);
}
