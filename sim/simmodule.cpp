#include "simmodule.h"

#include "simargs.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

using namespace SimArgs;

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

// ---- time ---------------------------------------------------------------------------

qint64 SimModule::scaled(qint64 ms) const
{
    double speed = m_options.speed;
    if (!(speed > 0) || !std::isfinite(speed))
        speed = 1.0;
    speed = std::max(speed, 0.001);
    return std::max<qint64>(0, qRound64(double(ms) / speed));
}

void SimModule::schedule(qint64 delayMs, std::function<void()> run, int tag, bool scale)
{
    Event ev;
    ev.at = m_now + (scale ? scaled(delayMs) : std::max<qint64>(0, delayMs));
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
    // Every extended command: its name, the forms it takes ('x' execute, '?' query,
    // '=' set) and its handler. The handlers live by family in simwifi.cpp,
    // simtcpip.cpp and simfirmware.cpp.
    struct Command
    {
        const char *name;
        const char *forms;
        void (SimModule::*run)(char form, const QByteArray &args);
    };
    static const Command kCommands[] = {
        // Firmware.
        {"RST", "x", &SimModule::cmdRestart},
        {"GMR", "x", &SimModule::cmdVersion},
        {"CIUPDATE", "x", &SimModule::cmdUpdate},
        // Wi-Fi: the station side and the module's own access point.
        {"CWMODE", "x?=", &SimModule::cmdMode},
        {"CWMODE_CUR", "x?=", &SimModule::cmdMode},
        {"CWMODE_DEF", "x?=", &SimModule::cmdMode},
        {"CWLAP", "x?=", &SimModule::cmdScan},
        {"CWJAP", "x?=", &SimModule::cmdJoinSaved},
        {"CWJAP_DEF", "x?=", &SimModule::cmdJoinSaved},
        {"CWJAP_CUR", "x?=", &SimModule::cmdJoinForNow},
        {"CWQAP", "x", &SimModule::cmdQuit},
        {"CWSAP", "x?=", &SimModule::cmdSoftAp},
        {"CWSAP_CUR", "x?=", &SimModule::cmdSoftAp},
        {"CWSAP_DEF", "x?=", &SimModule::cmdSoftAp},
        {"CWLIF", "x", &SimModule::cmdListStations},
        // TCP/IP.
        {"CIPSTATUS", "x", &SimModule::cmdStatus},
        {"CIPMUX", "x?=", &SimModule::cmdMux},
        {"CIPSERVER", "=", &SimModule::cmdServer},
        {"CIPSTO", "x?=", &SimModule::cmdTimeout},
        {"CIPMODE", "x?=", &SimModule::cmdTransferMode},
        {"CIFSR", "x", &SimModule::cmdAddresses},
        {"CIPSTART", "=", &SimModule::cmdStart},
        {"CIPSEND", "=", &SimModule::cmdSend},
        {"CIPCLOSE", "x?=", &SimModule::cmdClose},
    };
    for (const Command &command : kCommands) {
        if (name != command.name)
            continue;
        if (std::strchr(command.forms, form))
            (this->*command.run)(form, args);
        else
            error();
        return;
    }
    error();
}

// "AT+NAME?" and "AT+NAME=<n>" of the commands that hold one number.
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
