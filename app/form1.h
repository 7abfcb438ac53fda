#pragma once

#include "bytecount.h"
#include "portdiscovery.h"

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
class FreeFormSender;
class ReceiveText;
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

    // The system name a click on "打开串口" opens: the port-name list's entry for the port
    // list's text when that text is one of its entries, otherwise the text as typed.
    QString chosenSystemName() const;

private:
    void wireControls();
    void rescan();
    void portChosen(int index);
    void toggleOpen();
    void showOpenFailure();
    void portLost();
    void received(const QByteArray &bytes);
    void showCounters();
    void clearReceiveLog();
    void resetCounters();
    void moveToTop();

    std::unique_ptr<Ui::Form1> ui;
    Services m_services;
    ByteCount m_txCount;
    ByteCount m_rxCount;
    QString m_portReport;
    QTimer *m_timer3 = nullptr;
    QTimer *m_timer4 = nullptr;
    std::unique_ptr<Transmitter> m_transmitter;
    std::unique_ptr<FreeFormSender> m_freeForm;
    std::unique_ptr<ReceiveText> m_receiveText;
};
