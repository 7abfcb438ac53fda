#pragma once

#include "bytecount.h"
#include "freeformsender.h"
#include "portdiscovery.h"
#include "portreopener.h"

#include <QFont>
#include <QMainWindow>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

namespace Ui {
class Form1;
}
class SerialLink;
class MessageSeam;
class Transmitter;
class Receiver;
class LogRecorder;
class StampedLog;
class FileSender;
class LogView;
class LogSaver;
class QAction;
class QLabel;
class QMenu;
class QTimer;

// The one window. It wires the controls of the Designer form to the classes that do the
// work; it parses, composes and sends nothing itself.
class Form1 : public QMainWindow
{
    Q_OBJECT
public:
    // What the window needs from outside; tests pass fakes or a pseudo-terminal.
    struct Services
    {
        SerialLink *link = nullptr;                // required, not owned
        MessageSeam *messages = nullptr;           // required, not owned
        std::function<QList<PortEntry>()> ports;   // the scan; defaults to systemPorts()
        std::function<void(const QUrl &)> openUrl; // defaults to the desktop's browser
        // Where to save a log: given a suggested path, the path the person picked, or
        // empty when they changed their mind. Defaults to the toolkit's file dialog.
        std::function<QString(const QString &suggested)> saveFileName;
        // The file to send with "发送文件…": given the folder to start in, the path the
        // person picked, or empty. Defaults to the toolkit's file dialog.
        std::function<QString(const QString &folder)> openFileName;
        // How a lost port is watched for when "断开后自动重新打开" is on: the machine's ports
        // and their nodes, how often to look and to retry (defaults where left unset).
        PortReopener::Options reopen;
        // Timer5's interval: how long the payload of "AT发送" follows its announcement.
        int payloadDelayMs = FreeFormSender::kPayloadDelayMs;
        // The counts of bytes sent and received that the window adds to, shows and resets
        // (not owned); the window's own when unset. A suite may hand in counts no run
        // reaches by traffic (ten or twenty digits).
        ByteCount *txCount = nullptr;
        ByteCount *rxCount = nullptr;
    };

    static constexpr int kTopMoveDelayMs = 100;
    static constexpr int kCounterRefreshMs = 100;

    explicit Form1(const Services &services, QWidget *parent = nullptr);
    ~Form1() override;

    // Scans the ports and appends them to the port list and the hidden port-name list
    // (without emptying them); the first port found becomes both lists' text without
    // being selected. Returns the report.
    QString GetSerialPort();

    QString PortReport() const { return m_portReport; }
    QString TxCount() const { return m_txCount.text(); }
    QString RxCount() const { return m_rxCount.text(); }

    // The system name a click on "打开串口" opens: entry k of the port-name list for entry k
    // of the port list (chosenEntry()); a text that is no entry, as typed.
    QString chosenSystemName() const;
    // The entry of the port list the list's text stands for: the one picked while the list
    // shows it, else the first that reads as the list's text; -1 for a typed text.
    int chosenEntry() const;

signals:
    // A log has been written to `path` (ok), or could not be and the box said why.
    void logSaved(const QString &path, bool ok);

private:
    void wireControls();
    void rescan();
    void portChosen(int index);
    void toggleOpen();
    // `why` is the cause, shown behind the box's details button.
    void showOpenFailure(const QString &why);
    void portLost(const QString &why);
    void showOpenButtonMenu(const QPoint &at);
    void showCounters();
    void showCount(QLabel *label, const QString &text);
    void clearReceiveLog();
    void wireLogMenus();
    // Asks where to keep a log (`name`-date-time.txt offered in the folder used last);
    // empty when the person changed their mind.
    QString pickLogFile(const QString &name, bool recording);
    void saveLog(LogView *log, const QString &name);
    void sendFile();
    void resetCounters();
    void moveToTop();

    std::unique_ptr<Ui::Form1> ui;
    Services m_services;
    ByteCount m_ownTxCount;
    ByteCount m_ownRxCount;
    ByteCount &m_txCount; // TxCount
    ByteCount &m_rxCount; // RxCount
    QString m_portReport;
    QList<PortEntry> m_ports; // entry for entry as the port list holds them
    // The port list's text when the port was opened: the port a loss names, whatever the
    // list shows by then.
    QString m_openedPort;
    QFont m_counterFont;       // the counters' design font; long counts are shown squeezed
    QString m_saveFolder;      // where the last log was saved; the next one is offered there
    // Where to record a log: the save seam's choice, the toolkit's dialog by default.
    std::function<QString(const QString &suggested)> m_recordFileName;
    QString m_sendFolder;      // where the last file sent was; the next one is looked for there
    QList<LogSaver *> m_savers; // logs being written; the window waits for them as it closes
    QTimer *m_timer3 = nullptr;
    QTimer *m_timer4 = nullptr;
    // Each log's text passes its recorder (a running log file) on its way to the log; the
    // send log's passes its time stamps before that.
    std::unique_ptr<LogRecorder> m_sendRecorder;
    std::unique_ptr<LogRecorder> m_receiveRecorder;
    std::unique_ptr<StampedLog> m_sendStamps;
    QMenu *m_openButtonMenu = nullptr;
    QAction *m_reopenAction = nullptr; // "断开后自动重新打开"
    PortReopener *m_reopener = nullptr;
    std::unique_ptr<Transmitter> m_transmitter;
    std::unique_ptr<FreeFormSender> m_freeForm;
    std::unique_ptr<Receiver> m_receiver;
    std::unique_ptr<FileSender> m_fileSender;
};
