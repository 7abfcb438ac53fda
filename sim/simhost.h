#pragma once

#include "simmodule.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QSocketNotifier;

// Puts a SimModule on the far side of a pseudo-terminal: whatever a program writes to the
// slave side reaches the module, and the module's answers come back on it. The module's
// virtual clock follows real time. POSIX only.
//
// With a far end (setFarEnd) the module's links are real: the host hands what the far end
// reports to the module on its clock, and stops the far end reading while the line to
// the console is behind, so that nothing from the network is lost on the line.
class SimHost : public QObject, private SimFarEnd::Listener
{
    Q_OBJECT
public:
    // Output that nobody reads is kept up to this many bytes; the rest is lost, as on a
    // serial line with nothing listening, a whole answer at a time (an +IPD piece always
    // carries all the bytes it announces). Data from the network is held back at the far
    // end while half of this is taken, so it always finds room and is taken whole, a
    // datagram of 64 KiB too; what a far end brings while the room is full is dropped whole.
    static constexpr qsizetype kMaxPendingBytes = 64 * 1024;

    explicit SimHost(const SimModule::Options &options = {}, QObject *parent = nullptr);
    ~SimHost() override;

    // Opens the pseudo-terminal. On failure returns false and says why in *error.
    bool open(QString *error = nullptr);
    bool isOpen() const { return m_master >= 0; }
    // The path a program opens as its serial port, e.g. "/dev/pts/3".
    QString slavePath() const { return m_slavePath; }
    // Makes the module's links real through `farEnd` (not owned; it outlives the host).
    void setFarEnd(SimFarEnd *farEnd);

signals:
    void received(const QByteArray &bytes); // what came from the line
    void sent(const QByteArray &bytes);     // what the module answered
    // What the module made of data from the network could not be put on the line.
    void networkDataDropped(qsizetype bytes);

protected:
    // For a host that puts more on the line than the module says (a flood of its own):
    // the module it runs, bytes put on the line after what the module still has to send
    // (with no limit and without the module knowing, going as fast as the far end reads),
    // and forgetting what has not gone out yet, as when the line is cut.
    const SimModule &module() const { return m_module; }
    void putOnLine(const QByteArray &bytes);
    void dropPending();

private:
    void onReadable();
    void onWritable();
    void onTimer();
    void catchUp();
    void deliver(const QByteArray &bytes, bool fromNetwork = false);
    void flush();
    void rearm();
    void closeAll();
    // Runs a report of the far end on the module, with the clock brought up to now.
    void fromFarEnd(const std::function<QByteArray()> &report);

    void linkOpened(int link) override;
    void linkFailed(int link) override;
    void linkReceived(int link, const QByteArray &bytes) override;
    void linkClosed(int link) override;
    int clientJoined(const QByteArray &ip, int port) override;

    SimModule m_module;
    int m_master = -1;
    // The host keeps the slave side open itself, so the master never sees a hang-up
    // between two programs that open the port.
    int m_slaveHold = -1;
    QString m_slavePath;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_synced = 0; // real milliseconds already handed to the module
    QByteArray m_pending;
    SimFarEnd *m_farEnd = nullptr;
    bool m_farEndReading = true;
};
