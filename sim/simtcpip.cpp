#include "simmodule.h"

#include "simargs.h"

#include <algorithm>
#include <utility>

using namespace SimArgs;

namespace {

// The module's own addresses.
constexpr const char *kStationMac = "02:66:82:00:00:01";
constexpr const char *kApMac = "02:66:82:00:00:02";
constexpr const char *kApIp = "192.168.4.1";
constexpr int kDefaultServerPort = 333;

} // namespace

// Links to the far end: status, single or several links, the server, connecting, sending
// and closing.

QByteArray SimModule::linkPrefix(int id) const
{
    return m_mux ? num(id) + "," : QByteArray();
}

void SimModule::closeLink(int id, bool announce)
{
    if (!m_links.remove(id))
        return;
    if (m_farEnd)
        m_farEnd->close(id);
    if (announce)
        out(linkPrefix(id) + "CLOSED\r\n");
}

void SimModule::cmdStatus(char, const QByteArray &)
{
    int status = 5; // not joined
    if (m_joined >= 0)
        status = !m_links.isEmpty() ? 3 : (m_hadLink ? 4 : 2);
    out("STATUS:" + num(status) + "\r\n");
    for (auto it = m_links.cbegin(); it != m_links.cend(); ++it) {
        const Link &l = it.value();
        out("+CIPSTATUS:" + num(it.key()) + ",\"" + l.type + "\",\"" + l.ip + "\"," + num(l.port) +
            "," + num(l.localPort) + "," + num(l.fromServer ? 1 : 0) + "\r\n");
    }
    ok();
}

void SimModule::cmdMux(char form, const QByteArray &args)
{
    const std::optional<int> chosen = queryOrNumber(form, args, "CIPMUX", m_mux, 0, 1);
    if (!chosen)
        return;
    const int mux = *chosen;
    if (!m_links.isEmpty()) {
        out("link is builded\r\n");
        error();
        return;
    }
    if (mux == 0 && m_serverPort != 0) {
        out("CIPSERVER must be 0\r\n");
        error();
        return;
    }
    if (mux == 1 && m_transferMode == 1) {
        error(); // pass-through works on a single link only
        return;
    }
    m_mux = mux;
    ok();
}

void SimModule::cmdServer(char, const QByteArray &args)
{
    QList<Arg> a;
    int on = 0;
    int port = kDefaultServerPort;
    if (!splitArgs(args, &a) || a.size() < 1 || a.size() > 2 || !toInt(a[0], &on, 0, 1) ||
        (a.size() == 2 && !toInt(a[1], &port, 1, 65535)) || m_mux == 0) {
        error();
        return;
    }
    if (on == 0) {
        if (m_farEnd && m_serverPort != 0)
            m_farEnd->stopListening();
        m_serverPort = 0;
        ok();
        return;
    }
    if (m_serverPort != 0) {
        out("no change\r\n");
        ok();
        return;
    }
    if (m_farEnd && !m_farEnd->listen(port)) {
        error(); // the port is taken on the machine the module runs on
        return;
    }
    m_serverPort = port;
    ok();
}

void SimModule::cmdTimeout(char form, const QByteArray &args)
{
    const std::optional<int> seconds =
        queryOrNumber(form, args, "CIPSTO", m_serverTimeout, 0, 7200);
    if (!seconds)
        return;
    if (m_serverPort == 0) { // the time-out belongs to a running server
        error();
        return;
    }
    m_serverTimeout = *seconds;
    ok();
}

void SimModule::cmdTransferMode(char form, const QByteArray &args)
{
    const std::optional<int> mode = queryOrNumber(form, args, "CIPMODE", m_transferMode, 0, 1);
    if (!mode)
        return;
    if (*mode == 1 && m_mux == 1) { // pass-through works on a single link only
        error();
        return;
    }
    m_transferMode = *mode;
    ok();
}

void SimModule::cmdAddresses(char, const QByteArray &)
{
    if (m_mode != 1) {
        out(QByteArray("+CIFSR:APIP,\"") + kApIp + "\"\r\n");
        out(QByteArray("+CIFSR:APMAC,\"") + kApMac + "\"\r\n");
    }
    if (m_mode != 2) {
        const QByteArray ip =
            m_joined >= 0 ? m_options.networks.at(m_joined).stationIp.toLatin1() : "0.0.0.0";
        out("+CIFSR:STAIP,\"" + ip + "\"\r\n");
        out(QByteArray("+CIFSR:STAMAC,\"") + kStationMac + "\"\r\n");
    }
    ok();
}

void SimModule::cmdStart(char, const QByteArray &args)
{
    QList<Arg> a;
    if (!splitArgs(args, &a)) {
        error();
        return;
    }
    int id = 0;
    if (m_mux == 1) {
        // Several links: the first parameter names the link.
        if (a.isEmpty() || !toInt(a[0], &id, 0, kMaxLinks - 1)) {
            error();
            return;
        }
        a.removeFirst();
    }
    int port = 0;
    int spare = 0;
    if (a.size() < 3 || a.size() > 5 || !a[0].quoted ||
        (a[0].text != "TCP" && a[0].text != "UDP") || !a[1].quoted || a[1].text.isEmpty() ||
        !toInt(a[2], &port, 0, 65535)) {
        error();
        return;
    }
    for (qsizetype i = 3; i < a.size(); ++i) {
        if (!toInt(a[i], &spare, 0, 65535)) {
            error();
            return;
        }
    }
    if (m_links.contains(id)) {
        out("ALREADY CONNECTED\r\n");
        error();
        return;
    }
    if (m_joined < 0) {
        out("no ip\r\n");
        error();
        return;
    }
    Link link;
    link.type = a[0].text;
    link.ip = a[1].text;
    link.port = port;
    m_busy = true;
    if (m_farEnd) {
        m_connecting = id;
        m_connectingLink = link;
        m_farEnd->open(id, link.type == "UDP" ? SimFarEnd::Kind::Udp : SimFarEnd::Kind::Tcp,
                       link.ip, port);
        schedule(
            kConnectTimeoutMs,
            [this, id] {
                m_farEnd->close(id); // gives up the attempt
                m_connecting = -1;
                finishConnect(id, {}, false);
            },
            kTagConnect, false);
        return;
    }
    // Nothing listens on port 0: the far end refuses.
    schedule(kConnectMs, [this, id, link] { finishConnect(id, link, link.port != 0); });
}

void SimModule::finishConnect(int id, Link link, bool opened)
{
    m_busy = false;
    if (!opened) {
        error();
        out(linkPrefix(id) + "CLOSED\r\n");
        return;
    }
    link.serial = ++m_linkSerial;
    link.localPort = m_nextLocalPort++;
    m_links.insert(id, link);
    m_hadLink = true;
    out(linkPrefix(id) + "CONNECT\r\n");
    ok();
}

QByteArray SimModule::linkOpened(int link)
{
    if (link >= 0 && link == m_connecting) {
        cancel(kTagConnect);
        m_connecting = -1;
        finishConnect(link, m_connectingLink, true);
    }
    return takeOut();
}

QByteArray SimModule::linkFailed(int link)
{
    if (link >= 0 && link == m_connecting) {
        cancel(kTagConnect);
        m_connecting = -1;
        finishConnect(link, {}, false);
    }
    return takeOut();
}

void SimModule::fromPeer(int id, QByteArrayView bytes)
{
    // A segment at a time, as the network brings it: each +IPD announces exactly the bytes
    // that follow it.
    for (qsizetype at = 0; at < bytes.size(); at += kMaxIpdBytes) {
        const QByteArrayView piece =
            bytes.sliced(at, std::min<qsizetype>(kMaxIpdBytes, bytes.size() - at));
        out("\r\n+IPD," + linkPrefix(id) + num(piece.size()) + ":");
        out(piece);
    }
}

QByteArray SimModule::linkReceived(int link, QByteArrayView bytes)
{
    if (m_links.contains(link))
        fromPeer(link, bytes);
    return takeOut();
}

QByteArray SimModule::linkClosed(int link)
{
    if (m_links.remove(link))
        out(linkPrefix(link) + "CLOSED\r\n");
    return takeOut();
}

QByteArray SimModule::clientJoined(const QByteArray &ip, int port, int *link)
{
    *link = -1;
    if (m_serverPort == 0 || m_booting)
        return takeOut();
    // A client takes the lowest free link; with all five in use it is turned away.
    for (int id = 0; id < kMaxLinks; ++id) {
        if (m_links.contains(id) || id == m_connecting)
            continue;
        Link l;
        l.serial = ++m_linkSerial;
        l.type = "TCP";
        l.ip = ip;
        l.port = port;
        l.localPort = m_serverPort;
        l.fromServer = true;
        m_links.insert(id, l);
        m_hadLink = true;
        out(num(id) + ",CONNECT\r\n");
        *link = id;
        break;
    }
    return takeOut();
}

void SimModule::cmdSend(char, const QByteArray &args)
{
    QList<Arg> a;
    int id = 0;
    int length = 0;
    const int count = m_mux ? 2 : 1;
    if (!splitArgs(args, &a) || a.size() != count ||
        (m_mux && !toInt(a[0], &id, 0, kMaxLinks - 1)) ||
        !toInt(a[count - 1], &length, 1, kMaxSendBytes)) {
        error();
        return;
    }
    if (!m_links.contains(id)) {
        out("link is not valid\r\n");
        error();
        return;
    }
    m_payloadLink = id;
    m_payloadLeft = length;
    m_payload.clear();
    ok();
    out("> ");
}

void SimModule::finishPayload()
{
    const QByteArray payload = std::exchange(m_payload, {});
    const int id = m_payloadLink;
    out("\r\nRecv " + num(payload.size()) + " bytes\r\n\r\nSEND OK\r\n");
    const auto link = m_links.constFind(id);
    if (link == m_links.cend())
        return;
    if (m_farEnd) {
        m_farEnd->send(id, payload);
        return;
    }
    // The far end sends every byte straight back.
    const quint64 serial = link->serial;
    schedule(kPeerEchoMs, [this, id, serial, payload] {
        const auto now = m_links.constFind(id);
        if (now == m_links.cend() || now->serial != serial)
            return; // that link has closed meanwhile
        fromPeer(id, payload);
    });
}

void SimModule::cmdClose(char form, const QByteArray &args)
{
    QList<Arg> a;
    int id = 0;
    if (m_mux == 0) {
        if (form != 'x' || !m_links.contains(0)) {
            error();
            return;
        }
        closeLink(0, true);
        ok();
        return;
    }
    if (form != '=' || !splitArgs(args, &a) || a.size() != 1 || !toInt(a[0], &id, 0, kMaxLinks)) {
        error();
        return;
    }
    if (id == kMaxLinks) {
        // Id 5 closes every link.
        const QList<int> ids = m_links.keys();
        for (int each : ids)
            closeLink(each, true);
        ok();
        return;
    }
    if (!m_links.contains(id)) {
        error();
        return;
    }
    closeLink(id, true);
    ok();
}
