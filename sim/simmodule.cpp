#include "simmodule.h"

#include "wirecodec.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// The module's own addresses.
constexpr const char *kStationMac = "02:66:82:00:00:01";
constexpr const char *kApMac = "02:66:82:00:00:02";
constexpr const char *kApIp = "192.168.4.1";
constexpr int kDefaultServerPort = 333;
constexpr int kDefaultServerTimeout = 180;
constexpr int kMaxSsidBytes = 32;
constexpr int kMaxPasswordBytes = 64;
constexpr int kMinPasswordBytes = 8;

constexpr const char *kVersionText = "AT version:1.7.4.0(May 11 2020 19:13:04)\r\n"
                                     "SDK version:3.0.4(9532ceb)\r\n"
                                     "compile time:May 27 2020 10:12:17\r\n"
                                     "OK\r\n";

// Names and passwords are compared and printed as the console puts them on the wire.
QByteArray gbk(const QString &text)
{
    return WireCodec::encode(text).bytes;
}

QByteArray num(qint64 n)
{
    return QByteArray::number(n);
}

// One parameter of a set command: a quoted string (backslash escapes the next byte, so
// a name may hold '"', ',' or '\') or a bare token.
struct Arg
{
    bool quoted = false;
    QByteArray text;
};

bool splitArgs(const QByteArray &s, QList<Arg> *args)
{
    args->clear();
    const qsizetype n = s.size();
    qsizetype i = 0;
    for (;;) {
        Arg arg;
        if (i < n && s[i] == '"') {
            arg.quoted = true;
            ++i;
            bool closed = false;
            while (i < n) {
                const char c = s[i++];
                if (c == '\\' && i < n) {
                    arg.text.append(s[i++]);
                    continue;
                }
                if (c == '"') {
                    closed = true;
                    break;
                }
                arg.text.append(c);
            }
            if (!closed)
                return false;
        } else {
            while (i < n && s[i] != ',')
                arg.text.append(s[i++]);
            if (arg.text.contains('"'))
                return false;
        }
        args->append(arg);
        if (i == n)
            return true;
        if (s[i] != ',')
            return false;
        ++i;
    }
}

// A bare decimal number, optionally negative, of at most nine digits.
bool toInt(const Arg &arg, int *value)
{
    if (arg.quoted)
        return false;
    QByteArrayView digits(arg.text);
    const bool negative = digits.startsWith('-');
    if (negative)
        digits = digits.sliced(1);
    if (digits.isEmpty() || digits.size() > 9)
        return false;
    int v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *value = negative ? -v : v;
    return true;
}

bool toInt(const Arg &arg, int *value, int low, int high)
{
    return toInt(arg, value) && *value >= low && *value <= high;
}

} // namespace

QList<SimModule::Network> SimModule::defaultNetworks()
{
    auto net = [](const char *ssid, const char *password, int ecn, int rssi, const char *mac,
                  int channel, int freqOffset, int joinFailure, const char *ip) {
        Network n;
        n.ssid = QString::fromUtf8(ssid);
        n.password = QString::fromUtf8(password);
        n.ecn = ecn;
        n.rssi = rssi;
        n.mac = QString::fromLatin1(mac);
        n.channel = channel;
        n.freqOffset = freqOffset;
        n.joinFailure = joinFailure;
        n.stationIp = QString::fromLatin1(ip);
        return n;
    };
    return {
        net("ESP8266", "7395184026", 3, -52, "02:5c:00:82:66:01", 6, -26, 0, "192.168.1.57"),
        net("办公室网络", "bangong2020", 4, -67, "02:5c:00:82:66:02", 1, -8, 0, "192.168.10.23"),
        net("Guest", "", 0, -79, "02:5c:00:82:66:03", 11, 3, 0, "10.0.0.88"),
        net("Garage", "door-opener", 2, -91, "02:5c:00:82:66:04", 13, 12, 1, "192.168.2.30"),
        net("OldRouter", "12345", 1, -73, "02:5c:00:82:66:05", 3, -4, 4, "192.168.0.9"),
    };
}

SimModule::SimModule() : SimModule(Options{}) {}

SimModule::SimModule(const Options &options)
    : m_options(options), m_mode(options.mode), m_apSsid("ESP_820002"), m_noise(options.bootSeed)
{
    if (m_mode < 1 || m_mode > 3)
        m_mode = 3;
    for (const Network &n : m_options.networks)
        m_ssidBytes.append(gbk(n.ssid));
}

QString SimModule::joinedSsid() const
{
    return m_joined >= 0 ? m_options.networks.at(m_joined).ssid : QString();
}

// ---- time ---------------------------------------------------------------------------

qint64 SimModule::scaled(qint64 ms) const
{
    double speed = m_options.speed;
    if (!(speed > 0) || !std::isfinite(speed))
        speed = 1.0;
    speed = std::max(speed, 0.001);
    return std::max<qint64>(0, qRound64(double(ms) / speed));
}

void SimModule::schedule(qint64 delayMs, std::function<void()> run, int tag)
{
    Event ev;
    ev.at = m_now + scaled(delayMs);
    ev.seq = ++m_seq;
    ev.tag = tag;
    ev.run = std::move(run);
    // Events due at the same moment run in the order they were scheduled.
    auto pos = std::upper_bound(m_events.begin(), m_events.end(), ev.at,
                                [](qint64 at, const Event &e) { return at < e.at; });
    m_events.insert(pos, std::move(ev));
}

void SimModule::cancel(int tag)
{
    m_events.erase(std::remove_if(m_events.begin(), m_events.end(),
                                  [tag](const Event &e) { return e.tag == tag; }),
                   m_events.end());
}

QByteArray SimModule::advance(qint64 ms)
{
    const qint64 target = m_now + std::max<qint64>(0, ms);
    while (!m_events.empty() && m_events.front().at <= target) {
        Event ev = std::move(m_events.front());
        m_events.erase(m_events.begin());
        m_now = ev.at;
        ev.run(); // may schedule more, or clear the queue on a restart
    }
    m_now = target;
    return std::exchange(m_out, {});
}

qint64 SimModule::nextEventIn() const
{
    if (m_events.empty())
        return -1;
    return std::max<qint64>(0, m_events.front().at - m_now);
}

// ---- line discipline ----------------------------------------------------------------

QByteArray SimModule::feed(QByteArrayView in)
{
    for (char c : in)
        takeByte(c);
    return std::exchange(m_out, {});
}

void SimModule::takeByte(char c)
{
    if (m_booting)
        return; // the UART is not listening while the module restarts
    if (m_payloadLeft > 0) {
        // Payload bytes are counted, never echoed; a CR or LF among them is data.
        m_payload.append(c);
        if (--m_payloadLeft == 0)
            finishPayload();
        return;
    }
    if (m_busy) {
        // The line is lost; each line end gets one complaint.
        if (c == '\n')
            out("\r\nbusy p...\r\n");
        return;
    }
    if (c == '\n') {
        endLine();
        return;
    }
    if (m_echo)
        m_out.append(c);
    if (m_line.size() < kMaxLineBytes)
        m_line.append(c);
    else
        m_lineTooLong = true;
}

void SimModule::endLine()
{
    QByteArray line = std::exchange(m_line, {});
    const bool tooLong = std::exchange(m_lineTooLong, false);
    const bool endedByCr = line.endsWith('\r');
    if (endedByCr)
        line.chop(1);
    if (line.isEmpty() && !tooLong) {
        // A bare line end: the echoed CR is all the echo there is.
        error();
        return;
    }
    if (m_echo)
        out("\r\n");
    // A line the module could not hold, or one ended by LF alone, is not a command. CRs
    // inside the line (lines ended by CR alone and glued on) make it unknown as well.
    if (tooLong || !endedByCr) {
        error();
        return;
    }
    execute(line);
}

void SimModule::execute(const QByteArray &line)
{
    // The firmware takes "AT" in either case; the command names after it are upper case.
    if (line.size() < 2 || (line[0] != 'A' && line[0] != 'a') ||
        (line[1] != 'T' && line[1] != 't')) {
        error();
        return;
    }
    const QByteArray rest = line.mid(2);
    if (rest.isEmpty()) {
        ok();
        return;
    }
    if (rest == "E0" || rest == "E1") {
        m_echo = rest == "E1";
        ok();
        return;
    }
    if (!rest.startsWith('+')) {
        error();
        return;
    }
    qsizetype i = 1;
    while (i < rest.size() && ((rest[i] >= 'A' && rest[i] <= 'Z') ||
                               (rest[i] >= '0' && rest[i] <= '9') || rest[i] == '_'))
        ++i;
    const QByteArray name = rest.mid(1, i - 1);
    const QByteArray tail = rest.mid(i);
    char form = 'x'; // execute
    QByteArray args;
    if (tail.isEmpty()) {
        form = 'x';
    } else if (tail == "?") {
        form = '?';
    } else if (tail.startsWith('=') && tail != "=?") {
        form = '=';
        args = tail.mid(1);
    } else {
        error(); // test forms ("=?") and stray characters are not offered
        return;
    }
    runExtended(name, form, args);
}

void SimModule::runExtended(const QByteArray &name, char form, const QByteArray &args)
{
    if (name == "RST" && form == 'x')
        cmdRestart();
    else if (name == "GMR" && form == 'x')
        out(kVersionText);
    else if (name == "CWMODE" || name == "CWMODE_CUR" || name == "CWMODE_DEF")
        cmdMode(form, args);
    else if (name == "CWLAP")
        cmdScan(form, args);
    else if (name == "CWJAP" || name == "CWJAP_DEF")
        cmdJoin(form, args, true);
    else if (name == "CWJAP_CUR")
        cmdJoin(form, args, false);
    else if (name == "CWQAP" && form == 'x')
        cmdQuit();
    else if (name == "CWSAP" || name == "CWSAP_CUR" || name == "CWSAP_DEF")
        cmdSoftAp(form, args);
    else if (name == "CWLIF" && form == 'x')
        cmdListStations();
    else if (name == "CIPSTATUS" && form == 'x')
        cmdStatus();
    else if (name == "CIPMUX")
        cmdMux(form, args);
    else if (name == "CIPSERVER" && form == '=')
        cmdServer(args);
    else if (name == "CIPSTO")
        cmdTimeout(form, args);
    else if (name == "CIPMODE")
        cmdTransferMode(form, args);
    else if (name == "CIFSR" && form == 'x')
        cmdAddresses();
    else if (name == "CIPSTART" && form == '=')
        cmdStart(args);
    else if (name == "CIPSEND" && form == '=')
        cmdSend(args);
    else if (name == "CIPCLOSE")
        cmdClose(form, args);
    else if (name == "CIUPDATE" && form == 'x')
        cmdUpdate();
    else
        error();
}

// ---- Wi-Fi --------------------------------------------------------------------------

std::optional<int> SimModule::queryOrNumber(char form, const QByteArray &args, const char *name,
                                            int current, int low, int high)
{
    if (form == '?') {
        out(QByteArray("+") + name + ":" + num(current) + "\r\n");
        ok();
        return std::nullopt;
    }
    QList<Arg> a;
    int value = 0;
    if (form != '=' || !splitArgs(args, &a) || a.size() != 1 || !toInt(a[0], &value, low, high)) {
        error();
        return std::nullopt;
    }
    return value;
}

void SimModule::cmdMode(char form, const QByteArray &args)
{
    const std::optional<int> mode = queryOrNumber(form, args, "CWMODE", m_mode, 1, 3);
    if (!mode)
        return;
    m_mode = *mode;
    ok();
    if (mode == 2)
        dropStation(); // the station side is switched off
}

void SimModule::cmdScan(char form, const QByteArray &args)
{
    QByteArray only;
    if (form == '=') {
        QList<Arg> a;
        if (!splitArgs(args, &a) || a.size() != 1 || !a[0].quoted) {
            error();
            return;
        }
        only = a[0].text;
    } else if (form != 'x') {
        error();
        return;
    }
    if (m_mode == 2) {
        error();
        return;
    }
    m_busy = true;
    schedule(kScanMs, [this, only] {
        for (qsizetype i = 0; i < m_options.networks.size(); ++i) {
            if (!only.isEmpty() && m_ssidBytes.at(i) != only)
                continue;
            const Network &n = m_options.networks.at(i);
            out("+CWLAP:(" + num(n.ecn) + ",\"" + m_ssidBytes.at(i) + "\"," + num(n.rssi) + ",\"" +
                n.mac.toLatin1() + "\"," + num(n.channel) + "," + num(n.freqOffset) + ",0)\r\n");
        }
        ok();
        m_busy = false;
    });
}

void SimModule::cmdJoin(char form, const QByteArray &args, bool save)
{
    if (m_mode == 2) {
        error();
        return;
    }
    if (form == '?') {
        if (m_joined >= 0) {
            const Network &n = m_options.networks.at(m_joined);
            out("+CWJAP:\"" + m_ssidBytes.at(m_joined) + "\",\"" + n.mac.toLatin1() + "\"," +
                num(n.channel) + "," + num(n.rssi) + "\r\n");
        } else {
            out("No AP\r\n");
        }
        ok();
        return;
    }
    QList<Arg> a;
    if (form != '=' || !splitArgs(args, &a) || a.size() < 2 || a.size() > 3) {
        error();
        return;
    }
    for (const Arg &arg : a) {
        if (!arg.quoted) {
            error();
            return;
        }
    }
    const QByteArray ssid = a[0].text;
    const QByteArray password = a[1].text;
    if (ssid.isEmpty() || ssid.size() > kMaxSsidBytes || password.size() > kMaxPasswordBytes) {
        error();
        return;
    }
    dropStation();

    int index = int(m_ssidBytes.indexOf(ssid));
    if (index >= 0 && a.size() == 3 &&
        a[2].text.toLower() != m_options.networks.at(index).mac.toLatin1().toLower())
        index = -1;  // the name is there, but not at that access point
    int failure = 3; // network not found
    if (index >= 0) {
        const Network &n = m_options.networks.at(index);
        if (n.joinFailure != 0)
            failure = n.joinFailure;
        else if (n.ecn != 0 && password != gbk(n.password))
            failure = 2;
        else
            failure = 0;
    }

    m_busy = true;
    if (failure != 0) {
        schedule(failure == 1 ? kJoinTimeoutMs : kJoinMs, [this, failure] {
            out("+CWJAP:" + num(failure) + "\r\n\r\nFAIL\r\n");
            m_busy = false;
        });
        return;
    }
    schedule(kAssociateMs, [this] { out("WIFI CONNECTED\r\n"); });
    schedule(kJoinMs, [this, index, save] {
        out("WIFI GOT IP\r\n");
        ok();
        m_joined = index;
        m_hadLink = false;
        if (save)
            m_saved = index;
        m_busy = false;
    });
}

void SimModule::cmdQuit()
{
    ok();
    dropStation();
}

void SimModule::cmdSoftAp(char form, const QByteArray &args)
{
    if (m_mode == 1) {
        error();
        return;
    }
    if (form == '?') {
        out("+CWSAP:\"" + m_apSsid + "\",\"" + m_apPassword + "\"," + num(m_apChannel) + "," +
            num(m_apEcn) + ",4,0\r\n");
        ok();
        return;
    }
    QList<Arg> a;
    int channel = 0;
    int ecn = 0;
    int spare = 0;
    if (form != '=' || !splitArgs(args, &a) || a.size() < 4 || a.size() > 6 || !a[0].quoted ||
        !a[1].quoted || !toInt(a[2], &channel, 1, 13) || !toInt(a[3], &ecn, 0, 4) ||
        (a.size() > 4 && !toInt(a[4], &spare, 1, 4)) ||
        (a.size() > 5 && !toInt(a[5], &spare, 0, 1))) {
        error();
        return;
    }
    const QByteArray &ssid = a[0].text;
    const QByteArray &password = a[1].text;
    // WEP cannot be offered; a protected access point needs a WPA-sized password.
    if (ssid.isEmpty() || ssid.size() > kMaxSsidBytes || ecn == 1 ||
        (ecn != 0 &&
         (password.size() < kMinPasswordBytes || password.size() > kMaxPasswordBytes))) {
        error();
        return;
    }
    m_apSsid = ssid;
    m_apPassword = password;
    m_apChannel = channel;
    m_apEcn = ecn;
    ok();
}

void SimModule::cmdListStations()
{
    if (m_mode == 1) {
        error();
        return;
    }
    for (const Station &s : m_options.stations)
        out(s.ip.toLatin1() + "," + s.mac.toLatin1() + "\r\n");
    ok();
}

void SimModule::dropStation()
{
    cancel(kTagRejoin);
    if (m_joined < 0)
        return;
    m_joined = -1;
    out("WIFI DISCONNECT\r\n");
    const QList<int> ids = m_links.keys();
    for (int id : ids)
        closeLink(id, true);
}

// ---- TCP/IP -------------------------------------------------------------------------

QByteArray SimModule::linkPrefix(int id) const
{
    return m_mux ? num(id) + "," : QByteArray();
}

void SimModule::closeLink(int id, bool announce)
{
    if (m_links.remove(id) && announce)
        out(linkPrefix(id) + "CLOSED\r\n");
}

void SimModule::cmdStatus()
{
    int status = 5; // not joined
    if (m_joined >= 0)
        status = !m_links.isEmpty() ? 3 : (m_hadLink ? 4 : 2);
    out("STATUS:" + num(status) + "\r\n");
    for (auto it = m_links.cbegin(); it != m_links.cend(); ++it) {
        const Link &l = it.value();
        out("+CIPSTATUS:" + num(it.key()) + ",\"" + l.type + "\",\"" + l.ip + "\"," + num(l.port) +
            "," + num(l.localPort) + ",0\r\n");
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

void SimModule::cmdServer(const QByteArray &args)
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
        m_serverPort = 0;
        ok();
        return;
    }
    if (m_serverPort != 0) {
        out("no change\r\n");
        ok();
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

void SimModule::cmdAddresses()
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

void SimModule::cmdStart(const QByteArray &args)
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
    schedule(kConnectMs, [this, id, link]() mutable {
        m_busy = false;
        if (link.port == 0) {
            // Nothing listens on port 0: the far end refuses.
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
    });
}

void SimModule::cmdSend(const QByteArray &args)
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
    // The far end sends every byte straight back.
    const quint64 serial = link->serial;
    schedule(kPeerEchoMs, [this, id, serial, payload] {
        const auto now = m_links.constFind(id);
        if (now == m_links.cend() || now->serial != serial)
            return; // that link has closed meanwhile
        out("\r\n+IPD," + linkPrefix(id) + num(payload.size()) + ":" + payload);
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

// ---- firmware -----------------------------------------------------------------------

void SimModule::cmdUpdate()
{
    if (m_joined < 0) {
        out("+CIPUPDATE:-1\r\n");
        error();
        return;
    }
    m_busy = true;
    qint64 at = 0;
    for (int step = 0; step < 4; ++step) {
        at += kUpdateStepMs[step];
        schedule(at, [this, step] { out("+CIPUPDATE:" + num(step + 1) + "\r\n"); });
    }
    schedule(at + kUpdateDownloadMs, [this] {
        ok();
        reboot(); // the new firmware starts
    });
}

void SimModule::cmdRestart()
{
    ok();
    reboot();
}

void SimModule::reboot()
{
    // Nothing scheduled survives a restart; what is kept is what the flash holds: the
    // mode, the access point settings and the network to join.
    m_events.clear();
    m_busy = false;
    m_booting = true;
    m_echo = true;
    m_line.clear();
    m_lineTooLong = false;
    m_payloadLeft = 0;
    m_payload.clear();
    m_links.clear();
    m_mux = 0;
    m_transferMode = 0;
    m_serverPort = 0;
    m_serverTimeout = kDefaultServerTimeout;
    m_joined = -1;
    m_hadLink = false;

    // The boot ROM prints at 74880 baud; at the console's speed that is noise.
    QByteArray noise;
    const int length = 250 + int(m_noise() % 150);
    noise.reserve(length);
    for (int i = 0; i < length; ++i)
        noise.append(char(m_noise() & 0xff));
    schedule(kBootNoiseMs, [this, noise] { out(noise); });
    schedule(kReadyMs, [this] {
        out("\r\nready\r\n");
        m_booting = false;
        if (m_saved >= 0 && m_mode != 2 && m_options.networks.at(m_saved).joinFailure == 0)
            scheduleRejoin();
    });
}

void SimModule::scheduleRejoin()
{
    const int index = m_saved;
    schedule(
        kRejoinMs, [this] { out("WIFI CONNECTED\r\n"); }, kTagRejoin);
    schedule(
        kRejoinMs + kRejoinIpMs,
        [this, index] {
            out("WIFI GOT IP\r\n");
            m_joined = index;
            m_hadLink = false;
        },
        kTagRejoin);
}
