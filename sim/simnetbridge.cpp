#include "simnetbridge.h"

#include "shownbytes.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

namespace {

// A peer that never takes what is still to be written does not keep a closed link alive.
constexpr int kCloseGraceMs = 5000;

QString addressText(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

} // namespace

SimNetBridge::SimNetBridge(Options options, QObject *parent)
    : QObject(parent), m_options(std::move(options))
{
}

SimNetBridge::~SimNetBridge()
{
    while (!m_links.empty()) {
        const int link = m_links.begin()->first;
        QAbstractSocket *socket = m_links.begin()->second.socket;
        finish(link, QStringLiteral("still open when the simulator stopped"));
        socket->abort();
    }
    stopListening();
}

void SimNetBridge::say(const QString &line) const
{
    // The peer's name is whatever the console sent: it reaches the terminal escaped.
    if (m_options.report)
        m_options.report(QString::fromLatin1(shownBytes(line.toLatin1())));
}

QString SimNetBridge::describe(int link, const Connection &c) const
{
    const QString kind = c.kind == Kind::Udp ? QStringLiteral("UDP") : QStringLiteral("TCP");
    if (c.serverPort != 0)
        return QStringLiteral("%1 client %2 on port %3, link %4")
            .arg(kind, c.peer)
            .arg(c.serverPort)
            .arg(link);
    return QStringLiteral("%1 %2, link %3").arg(kind, c.peer).arg(link);
}

void SimNetBridge::finish(int link, const QString &end)
{
    const auto it = m_links.find(link);
    if (it == m_links.end())
        return;
    const Connection &c = it->second;
    if (c.opened)
        say(QStringLiteral("%1: %2 bytes sent, %3 received, %4")
                .arg(describe(link, c))
                .arg(c.sent)
                .arg(c.received)
                .arg(end));
    else
        say(QStringLiteral("%1: not connected: %2").arg(describe(link, c), end));
    // Nothing the socket says from now on concerns the module.
    c.socket->disconnect(this);
    m_links.erase(it);
}

void SimNetBridge::open(int link, Kind kind, const QByteArray &host, int port)
{
    close(link);
    QAbstractSocket *socket = nullptr;
    if (kind == Kind::Udp) {
        socket = new QUdpSocket(this);
    } else {
        socket = new QTcpSocket(this);
        // A full buffer stops the reading from the network, so a fast peer waits for the line.
        socket->setReadBufferSize(kReadChunk * 4);
    }
    Connection c;
    c.socket = socket;
    c.kind = kind;
    // As the console sent it, byte for byte (GBK, or anything at all).
    c.peer = QStringLiteral("%1:%2").arg(QString::fromLatin1(host)).arg(port);
    m_links[link] = c;
    wire(link, socket);
    socket->connectToHost(QString::fromUtf8(host), quint16(port));
}

void SimNetBridge::wire(int link, QAbstractSocket *socket)
{
    // Every other report waits for the event loop: the module may be inside the call that
    // caused it.
    connect(
        socket, &QAbstractSocket::connected, this, [=] { onOpened(link, socket); },
        Qt::QueuedConnection);
    connect(
        socket, &QAbstractSocket::errorOccurred, this, [=] { onError(link, socket); },
        Qt::QueuedConnection);
    connect(
        socket, &QAbstractSocket::disconnected, this, [=] { onPeerClosed(link, socket); },
        Qt::QueuedConnection);
    // Data comes only from the event loop, never from inside a call of the module's, and
    // a datagram socket says no more until what it announced has been read.
    connect(socket, &QIODevice::readyRead, this, [=] { readFrom(link, socket); });
}

void SimNetBridge::onOpened(int link, QAbstractSocket *socket)
{
    const auto it = m_links.find(link);
    if (it == m_links.end() || it->second.socket != socket || it->second.opened)
        return;
    it->second.opened = true;
    if (listener())
        listener()->linkOpened(link);
    // What the peer said at once came before the link counted as open.
    readLater(link, socket);
}

void SimNetBridge::onError(int link, QAbstractSocket *socket)
{
    const auto it = m_links.find(link);
    if (it == m_links.end() || it->second.socket != socket)
        return;
    if (!it->second.opened) {
        // Refused, unreachable, or no such name.
        finish(link, socket->errorString());
        socket->abort();
        socket->deleteLater();
        if (listener())
            listener()->linkFailed(link);
        return;
    }
    // A datagram link has no connection to lose: a peer that is not there just gets nothing.
    if (it->second.kind == Kind::Tcp)
        onPeerClosed(link, socket);
}

void SimNetBridge::onPeerClosed(int link, QAbstractSocket *socket)
{
    const auto it = m_links.find(link);
    if (it == m_links.end() || it->second.socket != socket || it->second.kind == Kind::Udp)
        return;
    it->second.peerClosed = true;
    // What the peer sent before it closed goes first.
    readFrom(link, socket);
}

void SimNetBridge::readLater(int link, QAbstractSocket *socket)
{
    QMetaObject::invokeMethod(
        this, [=] { readFrom(link, socket); }, Qt::QueuedConnection);
}

void SimNetBridge::readFrom(int link, QAbstractSocket *socket)
{
    auto it = m_links.find(link);
    if (it == m_links.end() || it->second.socket != socket || !it->second.opened)
        return;
    if (!m_reading)
        return; // setReading(true) comes back to every link
    QByteArray bytes;
    bool more = false;
    if (it->second.kind == Kind::Udp) {
        auto *udp = static_cast<QUdpSocket *>(socket);
        if (udp->hasPendingDatagrams())
            bytes = udp->receiveDatagram().data();
        more = udp->hasPendingDatagrams();
    } else {
        bytes = socket->read(kReadChunk);
        more = socket->bytesAvailable() > 0;
    }
    if (!bytes.isEmpty()) {
        it->second.received += bytes.size();
        if (listener())
            listener()->linkReceived(link, bytes);
        // The module does not close links from here, but look again to be sure.
        it = m_links.find(link);
        if (it == m_links.end() || it->second.socket != socket)
            return;
    }
    if (more) {
        readLater(link, socket); // one piece per turn, so the line to the console keeps up
        return;
    }
    if (it->second.peerClosed) {
        finish(link, QStringLiteral("closed by the peer"));
        socket->deleteLater();
        if (listener())
            listener()->linkClosed(link);
    }
}

void SimNetBridge::send(int link, const QByteArray &bytes)
{
    const auto it = m_links.find(link);
    if (it == m_links.end() || !it->second.opened)
        return;
    const qint64 written = it->second.socket->write(bytes);
    if (written > 0)
        it->second.sent += written;
}

void SimNetBridge::close(int link)
{
    const auto it = m_links.find(link);
    if (it == m_links.end())
        return;
    QAbstractSocket *socket = it->second.socket;
    const bool opened = it->second.opened;
    finish(link, opened ? QStringLiteral("closed by the module")
                        : QStringLiteral("no answer in time"));
    if (!opened || socket->state() != QAbstractSocket::ConnectedState) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    // What was sent last still reaches the peer before the link ends.
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kCloseGraceMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->disconnectFromHost();
}

bool SimNetBridge::listen(int port)
{
    stopListening();
    auto *server = new QTcpServer(this);
    const QHostAddress address = m_options.listenAny ? QHostAddress(QHostAddress::Any)
                                                     : QHostAddress(QHostAddress::LocalHost);
    const QString where =
        m_options.listenAny ? QStringLiteral("every address") : QStringLiteral("127.0.0.1");
    if (!server->listen(address, quint16(port))) {
        say(QStringLiteral("cannot listen on %1 port %2: %3")
                .arg(where)
                .arg(port)
                .arg(server->errorString()));
        delete server;
        return false;
    }
    m_server = server;
    connect(server, &QTcpServer::newConnection, this, &SimNetBridge::takeClients);
    say(QStringLiteral("listening on %1 port %2").arg(where).arg(port));
    return true;
}

void SimNetBridge::stopListening()
{
    if (!m_server)
        return;
    say(QStringLiteral("no longer listening on port %1").arg(m_server->serverPort()));
    m_server->close();
    m_server->deleteLater();
    m_server = nullptr;
}

void SimNetBridge::takeClients()
{
    while (m_server && m_server->hasPendingConnections()) {
        QTcpSocket *socket = m_server->nextPendingConnection();
        const QString ip = addressText(socket->peerAddress());
        const int port = socket->peerPort();
        const int serverPort = m_server->serverPort();
        const int link = listener() ? listener()->clientJoined(ip.toUtf8(), port) : -1;
        if (link < 0) {
            say(QStringLiteral("TCP client %1:%2 on port %3: turned away, every link in use")
                    .arg(ip)
                    .arg(port)
                    .arg(serverPort));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        close(link); // the module gave it a free link; nothing of an older one may linger
        socket->setParent(this);
        socket->setReadBufferSize(kReadChunk * 4);
        Connection c;
        c.socket = socket;
        c.peer = QStringLiteral("%1:%2").arg(ip).arg(port);
        c.serverPort = serverPort;
        c.opened = true;
        m_links[link] = c;
        wire(link, socket);
        // What the client sent before it was taken in.
        readLater(link, socket);
    }
}

void SimNetBridge::setReading(bool on)
{
    if (m_reading == on)
        return;
    m_reading = on;
    if (!on)
        return;
    for (const auto &[link, c] : m_links)
        readLater(link, c.socket);
}
