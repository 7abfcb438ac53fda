#pragma once

#include "simfarend.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <map>

class QAbstractSocket;
class QTcpServer;
class QTcpSocket;

// The simulated module's links on the host's own network: TCP and UDP sockets to the
// peers the module names, and a TCP server for clients of the module's own server. What
// the sockets report reaches the module's host later, never from inside a call the module
// makes, and data is read only while the host has room for it.
//
// Every real connection ends in one line for the person running the simulator: what it
// was, the peer, the bytes each way and how it ended.
class SimNetBridge : public QObject, public SimFarEnd
{
    Q_OBJECT
public:
    struct Options
    {
        // The module's server takes clients from any address, not from this machine only.
        bool listenAny = false;
        // Takes the line said about each connection (and about the listening port), in
        // printable ASCII: the peer's name as the console sent it, escaped as shownBytes().
        std::function<void(const QString &)> report;
    };

    // At most this much is read from a link at a time.
    static constexpr qint64 kReadChunk = 16 * 1024;

    explicit SimNetBridge(Options options, QObject *parent = nullptr);
    // Ends every link, with its line.
    ~SimNetBridge() override;

    void open(int link, Kind kind, const QByteArray &host, int port) override;
    void send(int link, const QByteArray &bytes) override;
    void close(int link) override;
    bool listen(int port) override;
    void stopListening() override;
    void setReading(bool on) override;

private:
    struct Connection
    {
        QAbstractSocket *socket = nullptr;
        Kind kind = Kind::Tcp;
        QString peer;   // "address:port"
        int serverPort = 0; // a client of the module's server: the port it came in on
        bool opened = false;
        bool peerClosed = false;
        qint64 sent = 0;
        qint64 received = 0;
    };

    void wire(int link, QAbstractSocket *socket);
    void onOpened(int link, QAbstractSocket *socket);
    void onError(int link, QAbstractSocket *socket);
    void onPeerClosed(int link, QAbstractSocket *socket);
    void readFrom(int link, QAbstractSocket *socket);
    void readLater(int link, QAbstractSocket *socket);
    void takeClients();
    // Forgets the link and says how it went.
    void finish(int link, const QString &end);
    QString describe(int link, const Connection &c) const;
    void say(const QString &line) const;

    Options m_options;
    std::map<int, Connection> m_links;
    QTcpServer *m_server = nullptr;
    bool m_reading = true;
};
