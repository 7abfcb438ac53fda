#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMap>
#include <QString>

#include "simfarend.h"

#include <functional>
#include <optional>
#include <random>
#include <utility>
#include <vector>

// A simulated ESP8266 with 1.x AT firmware, as a pure state machine: bytes in, bytes out,
// and slow work on a virtual clock. It owns no timer and does no I/O. A host feeds it what
// arrives on the line, writes out whatever feed() and advance() return, and calls advance()
// as time passes; nextEventIn() says when something is due next.
//
// Network names and passwords travel as GBK bytes, like everything the console writes.
//
// Its links lead to a peer of its own that echoes what is sent, unless a far end is set
// (setFarEnd): then the links are real ones, and what happens on them comes back through
// the link...() calls below, which the host makes on the module's clock.
//
// simmodule.cpp holds the clock, the line discipline and the table from command name to
// handler; the handlers live by family in simwifi.cpp, simtcpip.cpp and simfirmware.cpp.
class SimModule
{
public:
    // An access point the module can see and join.
    struct Network
    {
        QString ssid;
        QString password; // not checked for an open network (ecn 0)
        int ecn = 0;      // 0 open, 1 WEP, 2 WPA_PSK, 3 WPA2_PSK, 4 WPA_WPA2_PSK
        int rssi = -60;
        QString mac;
        int channel = 1;
        int freqOffset = 0;
        // 0: joins with the right password. 1: out of reach, the join times out.
        // 4: the access point refuses every station.
        int joinFailure = 0;
        QString stationIp; // the address the module gets there
    };

    // A station joined to the module's own access point (listed by AT+CWLIF).
    struct Station
    {
        QString ip;
        QString mac;
    };

    struct Options
    {
        // Every delay is divided by this: 10 runs ten times faster. Not above 0 means 1.
        double speed = 1.0;
        QList<Network> networks = defaultNetworks();
        QList<Station> stations;
        int mode = 3; // 1 station, 2 access point, 3 both
        // Seeds the boot-ROM noise printed on every restart, so a run can be replayed.
        quint32 bootSeed = 8266;
    };

    // The networks a fresh module sees: "ESP8266" with password "7395184026" among them,
    // one with a Chinese name, an open one, one out of reach and one that refuses.
    static QList<Network> defaultNetworks();

    // Delays at speed 1, in milliseconds.
    static constexpr qint64 kScanMs = 2000;         // AT+CWLAP
    static constexpr qint64 kAssociateMs = 2000;    // AT+CWJAP up to "WIFI CONNECTED"
    static constexpr qint64 kJoinMs = 3000;         // AT+CWJAP up to its end
    static constexpr qint64 kJoinTimeoutMs = 15000; // AT+CWJAP to a network out of reach
    static constexpr qint64 kConnectMs = 300;       // AT+CIPSTART
    static constexpr qint64 kPeerEchoMs = 100;      // sent data coming back as +IPD
    // AT+CIPSTART on real links: no answer from the far end by then and the attempt fails.
    // Real time, whatever the speed: the network does not run faster with the module.
    static constexpr qint64 kConnectTimeoutMs = 10000;
    static constexpr qint64 kBootNoiseMs = 20;      // restart: boot-ROM output
    static constexpr qint64 kReadyMs = 300;         // restart: "ready"
    static constexpr qint64 kRejoinMs = 1500;       // after "ready": "WIFI CONNECTED"
    static constexpr qint64 kRejoinIpMs = 500;      // then "WIFI GOT IP"
    // AT+CIUPDATE: progress steps 1 to 4, then the download before OK.
    static constexpr qint64 kUpdateStepMs[4] = {500, 1000, 1000, 1500};
    static constexpr qint64 kUpdateDownloadMs = 30000;

    static constexpr int kMaxLineBytes = 256;         // longer lines are answered with ERROR
    static constexpr int kMaxSendBytes = 2048;        // AT+CIPSEND=n
    static constexpr int kMaxLinks = 5;               // link ids 0 to 4 with AT+CIPMUX=1
    static constexpr int kMaxIpdBytes = 1460;         // data from the network, per +IPD
    static constexpr int kDefaultServerTimeout = 180; // seconds, after every restart

    SimModule();
    explicit SimModule(const Options &options);

    // Takes bytes from the line; returns what the module answers at once.
    QByteArray feed(QByteArrayView in);
    // Lets `ms` of virtual time pass; returns what the module prints meanwhile.
    QByteArray advance(qint64 ms);
    // Milliseconds until the next scheduled output, 0 if it is due, -1 if none.
    qint64 nextEventIn() const;
    qint64 now() const { return m_now; }

    // Makes the links real: they are opened, used and closed through `farEnd` (not owned).
    void setFarEnd(SimFarEnd *farEnd) { m_farEnd = farEnd; }
    // What the far end reports (see SimFarEnd::Listener); each returns what the module
    // prints at once.
    QByteArray linkOpened(int link);
    QByteArray linkFailed(int link);
    QByteArray linkReceived(int link, QByteArrayView bytes);
    QByteArray linkClosed(int link);
    // A client of the module's server: *link is the link it gets, or -1 when none is free.
    QByteArray clientJoined(const QByteArray &ip, int port, int *link);

private:
    struct Link
    {
        quint64 serial = 0; // tells a link from a later one on the same id
        QByteArray type;
        QByteArray ip;
        int port = 0;
        int localPort = 0;
        bool fromServer = false; // a client of the module's server
    };
    struct Event
    {
        qint64 at = 0;
        int tag = 0;
        std::function<void()> run;
    };
    enum Tag
    {
        kTagNone,
        kTagRejoin,
        kTagConnect
    };

    void takeByte(char c);
    void endLine();
    void execute(const QByteArray &line);
    void runExtended(const QByteArray &name, char form, const QByteArray &args);
    void finishPayload();

    // "AT+NAME?" answers "+NAME:<current>" and OK; "AT+NAME=<n>" with low <= n <= high gives n;
    // any other form answers ERROR. Nothing is returned once the command has been answered.
    std::optional<int> queryOrNumber(char form, const QByteArray &args, const char *name,
                                     int current, int low, int high);

    // The command handlers, by family; each takes the command's form ('x', '?' or '=')
    // and the text after "=". runExtended() holds the table from name to handler.
    // Firmware (simfirmware.cpp).
    void cmdVersion(char form, const QByteArray &args);
    void cmdUpdate(char form, const QByteArray &args);
    void cmdRestart(char form, const QByteArray &args);
    // Wi-Fi (simwifi.cpp).
    void cmdMode(char form, const QByteArray &args);
    void cmdScan(char form, const QByteArray &args);
    void cmdJoinSaved(char form, const QByteArray &args);
    void cmdJoinForNow(char form, const QByteArray &args);
    void join(char form, const QByteArray &args, bool save);
    void cmdQuit(char form, const QByteArray &args);
    void cmdSoftAp(char form, const QByteArray &args);
    void cmdListStations(char form, const QByteArray &args);
    // TCP/IP (simtcpip.cpp).
    void cmdStatus(char form, const QByteArray &args);
    void cmdMux(char form, const QByteArray &args);
    void cmdServer(char form, const QByteArray &args);
    void cmdTimeout(char form, const QByteArray &args);
    void cmdTransferMode(char form, const QByteArray &args);
    void cmdAddresses(char form, const QByteArray &args);
    void cmdStart(char form, const QByteArray &args);
    void cmdSend(char form, const QByteArray &args);
    void cmdClose(char form, const QByteArray &args);

    void reboot();
    void scheduleRejoin();
    void dropStation();
    void closeLink(int id, bool announce);
    // Data the peer of link `id` sent, as +IPD pieces of at most kMaxIpdBytes.
    void fromPeer(int id, QByteArrayView bytes);
    void finishConnect(int id, Link link, bool opened);
    QByteArray linkPrefix(int id) const;

    // A delay is divided by the speed unless `scaled` is false.
    void schedule(qint64 delayMs, std::function<void()> run, int tag = kTagNone,
                  bool scaled = true);
    void cancel(int tag);
    qint64 scaled(qint64 ms) const;
    void out(QByteArrayView bytes) { m_out.append(bytes.data(), bytes.size()); }
    QByteArray takeOut() { return std::exchange(m_out, {}); }
    void ok() { out("\r\nOK\r\n"); }
    void error() { out("\r\nERROR\r\n"); }

    Options m_options;
    QList<QByteArray> m_ssidBytes; // the networks' names in GBK
    qint64 m_now = 0;
    std::vector<Event> m_events; // by time; those due together in the order scheduled
    QByteArray m_out;

    // The line being typed.
    QByteArray m_line;
    bool m_lineTooLong = false;

    bool m_echo = true;
    int m_mode = 3;
    bool m_busy = false;    // a slow command runs: input gets "busy p..."
    bool m_booting = false; // restarting: input is lost

    // Station side.
    int m_joined = -1; // index into the networks
    int m_saved = -1;  // joined again after a restart
    bool m_hadLink = false;

    // Access point side.
    QByteArray m_apSsid;
    QByteArray m_apPassword;
    int m_apChannel = 1;
    int m_apEcn = 0;

    // TCP/IP.
    int m_mux = 0;
    int m_transferMode = 0;
    int m_serverPort = 0; // 0: no server
    int m_serverTimeout = kDefaultServerTimeout;
    QMap<int, Link> m_links;
    quint64 m_linkSerial = 0;
    int m_nextLocalPort = 49153;
    SimFarEnd *m_farEnd = nullptr;
    int m_connecting = -1; // the link a real AT+CIPSTART waits for
    Link m_connectingLink;

    // AT+CIPSEND payload.
    int m_payloadLink = 0;
    int m_payloadLeft = 0;
    QByteArray m_payload;

    std::mt19937 m_noise;
};
