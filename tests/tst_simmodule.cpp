// The simulated module on its virtual clock: exact bytes out for bytes in, per command and
// per state, the line discipline, and what happens as time passes. No real time is spent.
#include "simmodule.h"

#include <QtTest>

#include <algorithm>

namespace {

// One step of a timed script: let `waitMs` pass, then send `send`; everything the module
// printed during the step must be `expect`.
struct Step
{
    qint64 waitMs = 0;
    QByteArray send;
    QByteArray expect;
};

// Runs every scheduled event; returns what the module printed meanwhile.
QByteArray settle(SimModule &m)
{
    QByteArray out;
    for (int guard = 0; guard < 1000 && m.nextEventIn() >= 0; ++guard)
        out += m.advance(m.nextEventIn());
    return out;
}

// Brings a module into a state: each line is sent with CR LF and its slow work finished.
void prepare(SimModule &m, const QByteArrayList &setup)
{
    for (const QByteArray &line : setup) {
        m.feed(line + "\r\n");
        settle(m);
    }
}

// What the module echoes for a command line with echo on.
QByteArray e(const QByteArray &command)
{
    return command + "\r\r\n";
}

const QByteArray kOk = "\r\nOK\r\n";
const QByteArray kError = "\r\nERROR\r\n";
const QByteArray kOffice = "\xb0\xec\xb9\xab\xca\xd2\xcd\xf8\xc2\xe7"; // 办公室网络 in GBK
const QByteArray kJoin = "AT+CWJAP=\"ESP8266\",\"7395184026\"";
const QByteArray kJoined = "WIFI CONNECTED\r\nWIFI GOT IP\r\n\r\nOK\r\n";
const QByteArray kStart = "AT+CIPSTART=\"TCP\",\"192.168.1.100\",5000";
const QByteArray kScanList = "+CWLAP:(3,\"ESP8266\",-52,\"02:5c:00:82:66:01\",6,-26,0)\r\n"
                             "+CWLAP:(4,\"" +
                             kOffice +
                             "\",-67,\"02:5c:00:82:66:02\",1,-8,0)\r\n"
                             "+CWLAP:(0,\"Guest\",-79,\"02:5c:00:82:66:03\",11,3,0)\r\n"
                             "+CWLAP:(2,\"Garage\",-91,\"02:5c:00:82:66:04\",13,12,0)\r\n"
                             "+CWLAP:(1,\"OldRouter\",-73,\"02:5c:00:82:66:05\",3,-4,0)\r\n"
                             "\r\nOK\r\n";
const QByteArray kVersion = "AT version:1.7.4.0(May 11 2020 19:13:04)\r\n"
                            "SDK version:3.0.4(9532ceb)\r\n"
                            "compile time:May 27 2020 10:12:17\r\n"
                            "OK\r\n";

// A far end that notes what the module asks of it and reports only what the test says.
class NotingFarEnd : public SimFarEnd
{
public:
    void open(int link, Kind, const QByteArray &host, int port) override
    {
        calls << "open " + QByteArray::number(link) + " " + host + ":" + QByteArray::number(port);
    }
    void send(int, const QByteArray &) override {}
    void close(int link) override { calls << "close " + QByteArray::number(link); }
    bool listen(int port) override
    {
        calls << "listen " + QByteArray::number(port);
        return port != 80; // taken on this machine
    }
    void stopListening() override { calls << "stop listening"; }
    void setReading(bool) override {}
    QByteArrayList calls;
};

// What happens to a module with real links, and what it printed meanwhile. (The steps go
// in a braced list, which runs them in order; the operands of + would not be.)
using FarScript = std::function<QByteArray(SimModule &)>;

} // namespace

Q_DECLARE_METATYPE(QList<Step>)
Q_DECLARE_METATYPE(FarScript)

class Tst_simmodule : public QObject
{
    Q_OBJECT
private slots:
    void replies_data();
    void replies();
    void lineDiscipline_data();
    void lineDiscipline();
    void script_data();
    void script();
    void restart_data();
    void restart();
    void bootNoiseFollowsSeed_data();
    void bootNoiseFollowsSeed();
    void customNetworks_data();
    void customNetworks();
    void realLinks_data();
    void realLinks();
};

// ---- one command, exact answer, per state ------------------------------------------

void Tst_simmodule::replies_data()
{
    QTest::addColumn<QByteArrayList>("setup");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");

    const QByteArrayList none;
    const QByteArrayList joined{kJoin};
    const QByteArrayList linked{kJoin, kStart};
    const QByteArrayList server{"AT+CIPMUX=1", "AT+CIPSERVER=1,5000"};
    auto row = [](const char *name, const QByteArrayList &setup, const QByteArray &input,
                  const QByteArray &expected) {
        QTest::newRow(name) << setup << input << expected;
    };

    // Basics and echo.
    row("AT answered after its echo", none, "AT\r\n", e("AT") + kOk);
    row("lower-case at accepted", none, "at\r\n", e("at") + kOk);
    row("lower-case command name refused", none, "AT+gmr\r\n", e("AT+gmr") + kError);
    row("unknown command", none, "AT+FOO\r\n", e("AT+FOO") + kError);
    row("not an AT line", none, "HELLO\r\n", e("HELLO") + kError);
    row("test form not offered", none, "AT+CWMODE=?\r\n", e("AT+CWMODE=?") + kError);
    row("ATE0 line itself still echoed", none, "ATE0\r\n", e("ATE0") + kOk);
    row("no echo after ATE0", {"ATE0"}, "AT\r\n", kOk);
    row("no echo of an error after ATE0", {"ATE0"}, "AT+FOO\r\n", kError);
    row("ATE1 line answered without echo", {"ATE0"}, "ATE1\r\n", kOk);
    row("echo back after ATE1", {"ATE0", "ATE1"}, "AT\r\n", e("AT") + kOk);
    row("GMR has no blank line before OK", none, "AT+GMR\r\n", e("AT+GMR") + kVersion);

    // Mode.
    row("mode starts at 3", none, "AT+CWMODE?\r\n", e("AT+CWMODE?") + "+CWMODE:3\r\n" + kOk);
    row("mode 1 kept", {"AT+CWMODE=1"}, "AT+CWMODE?\r\n", e("AT+CWMODE?") + "+CWMODE:1\r\n" + kOk);
    row("mode 2 kept", {"AT+CWMODE=2"}, "AT+CWMODE?\r\n", e("AT+CWMODE?") + "+CWMODE:2\r\n" + kOk);
    row("unchanged mode still OK", none, "AT+CWMODE=3\r\n", e("AT+CWMODE=3") + kOk);
    row("mode 0 refused", none, "AT+CWMODE=0\r\n", e("AT+CWMODE=0") + kError);
    row("mode 4 refused", none, "AT+CWMODE=4\r\n", e("AT+CWMODE=4") + kError);
    row("mode without value refused", none, "AT+CWMODE=\r\n", e("AT+CWMODE=") + kError);
    row("mode not a number refused", none, "AT+CWMODE=a\r\n", e("AT+CWMODE=a") + kError);
    row("refused mode leaves mode", {"AT+CWMODE=9"}, "AT+CWMODE?\r\n",
        e("AT+CWMODE?") + "+CWMODE:3\r\n" + kOk);
    row("mode 2 drops the station", joined, "AT+CWMODE=2\r\n",
        e("AT+CWMODE=2") + kOk + "WIFI DISCONNECT\r\n");
    row("mode 1 keeps the station", joined, "AT+CWMODE=1\r\n", e("AT+CWMODE=1") + kOk);

    // Scan.
    row("scan lists every network in GBK", none, "AT+CWLAP\r\n", e("AT+CWLAP") + kScanList);
    row("scan for one name", none, "AT+CWLAP=\"Guest\"\r\n",
        e("AT+CWLAP=\"Guest\"") + "+CWLAP:(0,\"Guest\",-79,\"02:5c:00:82:66:03\",11,3,0)\r\n" +
            kOk);
    row("scan for a name nobody has", none, "AT+CWLAP=\"Nope\"\r\n", e("AT+CWLAP=\"Nope\"") + kOk);
    row("scan refused in mode 2", {"AT+CWMODE=2"}, "AT+CWLAP\r\n", e("AT+CWLAP") + kError);

    // Join.
    row("join with the right password", none, kJoin + "\r\n", e(kJoin) + kJoined);
    row("join a Chinese name sent in GBK", none, "AT+CWJAP=\"" + kOffice + "\",\"bangong2020\"\r\n",
        e("AT+CWJAP=\"" + kOffice + "\",\"bangong2020\"") + kJoined);
    row("Chinese name sent in UTF-8 not found", none,
        "AT+CWJAP=\"" + QString::fromUtf8("办公室网络").toUtf8() + "\",\"bangong2020\"\r\n",
        e("AT+CWJAP=\"" + QString::fromUtf8("办公室网络").toUtf8() + "\",\"bangong2020\"") +
            "+CWJAP:3\r\n\r\nFAIL\r\n");
    row("wrong password gives 2", none, "AT+CWJAP=\"ESP8266\",\"7395184027\"\r\n",
        e("AT+CWJAP=\"ESP8266\",\"7395184027\"") + "+CWJAP:2\r\n\r\nFAIL\r\n");
    row("empty password on a protected network gives 2", none, "AT+CWJAP=\"ESP8266\",\"\"\r\n",
        e("AT+CWJAP=\"ESP8266\",\"\"") + "+CWJAP:2\r\n\r\nFAIL\r\n");
    row("unknown network gives 3", none, "AT+CWJAP=\"Nope\",\"12345678\"\r\n",
        e("AT+CWJAP=\"Nope\",\"12345678\"") + "+CWJAP:3\r\n\r\nFAIL\r\n");
    row("names are case sensitive", none, "AT+CWJAP=\"esp8266\",\"7395184026\"\r\n",
        e("AT+CWJAP=\"esp8266\",\"7395184026\"") + "+CWJAP:3\r\n\r\nFAIL\r\n");
    row("network out of reach gives 1", none, "AT+CWJAP=\"Garage\",\"door-opener\"\r\n",
        e("AT+CWJAP=\"Garage\",\"door-opener\"") + "+CWJAP:1\r\n\r\nFAIL\r\n");
    row("refusing access point gives 4", none, "AT+CWJAP=\"OldRouter\",\"12345\"\r\n",
        e("AT+CWJAP=\"OldRouter\",\"12345\"") + "+CWJAP:4\r\n\r\nFAIL\r\n");
    row("open network takes any password", none, "AT+CWJAP=\"Guest\",\"whatever\"\r\n",
        e("AT+CWJAP=\"Guest\",\"whatever\"") + kJoined);
    row("join at the right access point", none,
        "AT+CWJAP=\"ESP8266\",\"7395184026\",\"02:5C:00:82:66:01\"\r\n",
        e("AT+CWJAP=\"ESP8266\",\"7395184026\",\"02:5C:00:82:66:01\"") + kJoined);
    row("join at another access point gives 3", none,
        "AT+CWJAP=\"ESP8266\",\"7395184026\",\"02:5c:00:82:66:09\"\r\n",
        e("AT+CWJAP=\"ESP8266\",\"7395184026\",\"02:5c:00:82:66:09\"") +
            "+CWJAP:3\r\n\r\nFAIL\r\n");
    row("join again disconnects first", joined, kJoin + "\r\n",
        e(kJoin) + "WIFI DISCONNECT\r\n" + kJoined);
    row("join elsewhere closes the link", linked, "AT+CWJAP=\"Guest\",\"\"\r\n",
        e("AT+CWJAP=\"Guest\",\"\"") + "WIFI DISCONNECT\r\nCLOSED\r\n" + kJoined);
    row("failed join leaves the module unjoined", {kJoin, "AT+CWJAP=\"Nope\",\"x\""},
        "AT+CIPSTATUS\r\n", e("AT+CIPSTATUS") + "STATUS:5\r\n" + kOk);
    row("join refused in mode 2", {"AT+CWMODE=2"}, kJoin + "\r\n", e(kJoin) + kError);
    row("join without quotes refused", none, "AT+CWJAP=ESP8266,7395184026\r\n",
        e("AT+CWJAP=ESP8266,7395184026") + kError);
    row("join without password refused", none, "AT+CWJAP=\"ESP8266\"\r\n",
        e("AT+CWJAP=\"ESP8266\"") + kError);
    row("join with unclosed quote refused", none, "AT+CWJAP=\"ESP8266\",\"7395184026\r\n",
        e("AT+CWJAP=\"ESP8266\",\"7395184026") + kError);
    row("name over 32 bytes refused", none,
        "AT+CWJAP=\"" + QByteArray(33, 'n') + "\",\"12345678\"\r\n",
        e("AT+CWJAP=\"" + QByteArray(33, 'n') + "\",\"12345678\"") + kError);
    row("joined network reported", joined, "AT+CWJAP?\r\n",
        e("AT+CWJAP?") + "+CWJAP:\"ESP8266\",\"02:5c:00:82:66:01\",6,-52\r\n" + kOk);
    row("no network reported before joining", none, "AT+CWJAP?\r\n",
        e("AT+CWJAP?") + "No AP\r\n" + kOk);

    // Quit.
    row("quit when not joined", none, "AT+CWQAP\r\n", e("AT+CWQAP") + kOk);
    row("quit when joined", joined, "AT+CWQAP\r\n", e("AT+CWQAP") + kOk + "WIFI DISCONNECT\r\n");
    row("quit closes the link", linked, "AT+CWQAP\r\n",
        e("AT+CWQAP") + kOk + "WIFI DISCONNECT\r\nCLOSED\r\n");
    row("quit leaves no address", {kJoin, "AT+CWQAP"}, "AT+CIPSTATUS\r\n",
        e("AT+CIPSTATUS") + "STATUS:5\r\n" + kOk);

    // Soft access point, as the console sends it: channel 11, encryption 0 to 4.
    row("soft AP open", none, "AT+CWSAP=\"Quorlin\",\"\",11,0\r\n",
        e("AT+CWSAP=\"Quorlin\",\"\",11,0") + kOk);
    row("soft AP open ignores a short password", none, "AT+CWSAP=\"Quorlin\",\"123\",11,0\r\n",
        e("AT+CWSAP=\"Quorlin\",\"123\",11,0") + kOk);
    row("soft AP WEP refused", none, "AT+CWSAP=\"Quorlin\",\"12345678\",11,1\r\n",
        e("AT+CWSAP=\"Quorlin\",\"12345678\",11,1") + kError);
    row("soft AP WPA", none, "AT+CWSAP=\"Quorlin\",\"12345678\",11,2\r\n",
        e("AT+CWSAP=\"Quorlin\",\"12345678\",11,2") + kOk);
    row("soft AP WPA2", none, "AT+CWSAP=\"Quorlin\",\"12345678\",11,3\r\n",
        e("AT+CWSAP=\"Quorlin\",\"12345678\",11,3") + kOk);
    row("soft AP WPA/WPA2", none, "AT+CWSAP=\"Quorlin\",\"12345678\",11,4\r\n",
        e("AT+CWSAP=\"Quorlin\",\"12345678\",11,4") + kOk);
    row("soft AP encryption 5 refused", none, "AT+CWSAP=\"Quorlin\",\"12345678\",11,5\r\n",
        e("AT+CWSAP=\"Quorlin\",\"12345678\",11,5") + kError);
    row("soft AP 7-byte password refused", none, "AT+CWSAP=\"Quorlin\",\"1234567\",11,3\r\n",
        e("AT+CWSAP=\"Quorlin\",\"1234567\",11,3") + kError);
    row("soft AP 64-byte password taken", none,
        "AT+CWSAP=\"Quorlin\",\"" + QByteArray(64, 'p') + "\",11,4\r\n",
        e("AT+CWSAP=\"Quorlin\",\"" + QByteArray(64, 'p') + "\",11,4") + kOk);
    row("soft AP 65-byte password refused", none,
        "AT+CWSAP=\"Quorlin\",\"" + QByteArray(65, 'p') + "\",11,4\r\n",
        e("AT+CWSAP=\"Quorlin\",\"" + QByteArray(65, 'p') + "\",11,4") + kError);
    row("soft AP password counted in GBK bytes", none,
        "AT+CWSAP=\"Quorlin\",\"\xc3\xdc\xc2\xeb\xc3\xdc\xc2\xeb\",11,3\r\n",
        e("AT+CWSAP=\"Quorlin\",\"\xc3\xdc\xc2\xeb\xc3\xdc\xc2\xeb\",11,3") + kOk);
    row("soft AP channel 0 refused", none, "AT+CWSAP=\"Quorlin\",\"12345678\",0,3\r\n",
        e("AT+CWSAP=\"Quorlin\",\"12345678\",0,3") + kError);
    row("soft AP channel 14 refused", none, "AT+CWSAP=\"Quorlin\",\"12345678\",14,3\r\n",
        e("AT+CWSAP=\"Quorlin\",\"12345678\",14,3") + kError);
    row("soft AP empty name refused", none, "AT+CWSAP=\"\",\"12345678\",11,3\r\n",
        e("AT+CWSAP=\"\",\"12345678\",11,3") + kError);
    row("soft AP missing encryption refused", none, "AT+CWSAP=\"Quorlin\",\"12345678\",11\r\n",
        e("AT+CWSAP=\"Quorlin\",\"12345678\",11") + kError);
    row("soft AP refused in mode 1", {"AT+CWMODE=1"}, "AT+CWSAP=\"Quorlin\",\"12345678\",11,3\r\n",
        e("AT+CWSAP=\"Quorlin\",\"12345678\",11,3") + kError);
    row("soft AP settings kept", {"AT+CWSAP=\"" + kOffice + "\",\"12345678\",11,3"},
        "AT+CWSAP?\r\n",
        e("AT+CWSAP?") + "+CWSAP:\"" + kOffice + "\",\"12345678\",11,3,4,0\r\n" + kOk);
    row("refused soft AP keeps the old settings",
        {"AT+CWSAP=\"First\",\"12345678\",11,3", "AT+CWSAP=\"Second\",\"1234\",11,3"},
        "AT+CWSAP?\r\n", e("AT+CWSAP?") + "+CWSAP:\"First\",\"12345678\",11,3,4,0\r\n" + kOk);

    // Stations on the module's access point.
    row("station list empty", none, "AT+CWLIF\r\n", e("AT+CWLIF") + kOk);
    row("station list refused in mode 1", {"AT+CWMODE=1"}, "AT+CWLIF\r\n", e("AT+CWLIF") + kError);

    // Status.
    row("status not joined", none, "AT+CIPSTATUS\r\n", e("AT+CIPSTATUS") + "STATUS:5\r\n" + kOk);
    row("status joined", joined, "AT+CIPSTATUS\r\n", e("AT+CIPSTATUS") + "STATUS:2\r\n" + kOk);
    row("status with a link", linked, "AT+CIPSTATUS\r\n",
        e("AT+CIPSTATUS") + "STATUS:3\r\n+CIPSTATUS:0,\"TCP\",\"192.168.1.100\",5000,49153,0\r\n" +
            kOk);
    row("status after the link closed", {kJoin, kStart, "AT+CIPCLOSE"}, "AT+CIPSTATUS\r\n",
        e("AT+CIPSTATUS") + "STATUS:4\r\n" + kOk);
    row("status lists links by id",
        {kJoin, "AT+CIPMUX=1", "AT+CIPSTART=3,\"UDP\",\"192.168.1.7\",9000",
         "AT+CIPSTART=1,\"TCP\",\"192.168.1.100\",5000"},
        "AT+CIPSTATUS\r\n",
        e("AT+CIPSTATUS") +
            "STATUS:3\r\n"
            "+CIPSTATUS:1,\"TCP\",\"192.168.1.100\",5000,49154,0\r\n"
            "+CIPSTATUS:3,\"UDP\",\"192.168.1.7\",9000,49153,0\r\n" +
            kOk);

    // Addresses.
    const QByteArray apLines =
        "+CIFSR:APIP,\"192.168.4.1\"\r\n+CIFSR:APMAC,\"02:66:82:00:00:02\"\r\n";
    const QByteArray staMac = "+CIFSR:STAMAC,\"02:66:82:00:00:01\"\r\n";
    row("addresses before joining", none, "AT+CIFSR\r\n",
        e("AT+CIFSR") + apLines + "+CIFSR:STAIP,\"0.0.0.0\"\r\n" + staMac + kOk);
    row("addresses once joined", joined, "AT+CIFSR\r\n",
        e("AT+CIFSR") + apLines + "+CIFSR:STAIP,\"192.168.1.57\"\r\n" + staMac + kOk);
    row("addresses in mode 1", {"AT+CWMODE=1"}, "AT+CIFSR\r\n",
        e("AT+CIFSR") + "+CIFSR:STAIP,\"0.0.0.0\"\r\n" + staMac + kOk);
    row("addresses in mode 2", {"AT+CWMODE=2"}, "AT+CIFSR\r\n", e("AT+CIFSR") + apLines + kOk);

    // Multiple links and the server.
    row("single link", none, "AT+CIPMUX=0\r\n", e("AT+CIPMUX=0") + kOk);
    row("multiple links", none, "AT+CIPMUX=1\r\n", e("AT+CIPMUX=1") + kOk);
    row("mux 2 refused", none, "AT+CIPMUX=2\r\n", e("AT+CIPMUX=2") + kError);
    row("mux kept", {"AT+CIPMUX=1"}, "AT+CIPMUX?\r\n", e("AT+CIPMUX?") + "+CIPMUX:1\r\n" + kOk);
    row("mux change with a link open", linked, "AT+CIPMUX=1\r\n",
        e("AT+CIPMUX=1") + "link is builded\r\n" + kError);
    row("same mux with a link open", linked, "AT+CIPMUX=0\r\n",
        e("AT+CIPMUX=0") + "link is builded\r\n" + kError);
    row("single link while the server runs", server, "AT+CIPMUX=0\r\n",
        e("AT+CIPMUX=0") + "CIPSERVER must be 0\r\n" + kError);
    row("server needs multiple links", none, "AT+CIPSERVER=1,5000\r\n",
        e("AT+CIPSERVER=1,5000") + kError);
    row("server started", {"AT+CIPMUX=1"}, "AT+CIPSERVER=1,5000\r\n",
        e("AT+CIPSERVER=1,5000") + kOk);
    row("server started twice", server, "AT+CIPSERVER=1,5000\r\n",
        e("AT+CIPSERVER=1,5000") + "no change\r\n" + kOk);
    row("server port 0 refused", {"AT+CIPMUX=1"}, "AT+CIPSERVER=1,0\r\n",
        e("AT+CIPSERVER=1,0") + kError);
    row("server port 65536 refused", {"AT+CIPMUX=1"}, "AT+CIPSERVER=1,65536\r\n",
        e("AT+CIPSERVER=1,65536") + kError);
    row("server port not a number refused", {"AT+CIPMUX=1"}, "AT+CIPSERVER=1,http\r\n",
        e("AT+CIPSERVER=1,http") + kError);
    row("single link after the server stopped",
        {"AT+CIPMUX=1", "AT+CIPSERVER=1,5000", "AT+CIPSERVER=0"}, "AT+CIPMUX=0\r\n",
        e("AT+CIPMUX=0") + kOk);

    // Server time-out.
    row("time-out starts at 180", none, "AT+CIPSTO?\r\n",
        e("AT+CIPSTO?") + "+CIPSTO:180\r\n" + kOk);
    row("time-out without a server refused", none, "AT+CIPSTO=100\r\n",
        e("AT+CIPSTO=100") + kError);
    row("time-out 0 with a server", server, "AT+CIPSTO=0\r\n", e("AT+CIPSTO=0") + kOk);
    row("time-out 7200 with a server", server, "AT+CIPSTO=7200\r\n", e("AT+CIPSTO=7200") + kOk);
    row("time-out 7201 refused", server, "AT+CIPSTO=7201\r\n", e("AT+CIPSTO=7201") + kError);
    row("time-out negative refused", server, "AT+CIPSTO=-1\r\n", e("AT+CIPSTO=-1") + kError);
    row("time-out empty refused", server, "AT+CIPSTO=\r\n", e("AT+CIPSTO=") + kError);
    row("time-out text refused", server, "AT+CIPSTO=abc\r\n", e("AT+CIPSTO=abc") + kError);
    row("time-out huge number refused", server, "AT+CIPSTO=99999999999\r\n",
        e("AT+CIPSTO=99999999999") + kError);
    row("time-out kept", {"AT+CIPMUX=1", "AT+CIPSERVER=1,5000", "AT+CIPSTO=60"}, "AT+CIPSTO?\r\n",
        e("AT+CIPSTO?") + "+CIPSTO:60\r\n" + kOk);

    // Transfer mode.
    row("pass-through mode", none, "AT+CIPMODE=1\r\n", e("AT+CIPMODE=1") + kOk);
    row("normal mode", none, "AT+CIPMODE=0\r\n", e("AT+CIPMODE=0") + kOk);
    row("pass-through refused with multiple links", {"AT+CIPMUX=1"}, "AT+CIPMODE=1\r\n",
        e("AT+CIPMODE=1") + kError);
    row("normal mode with multiple links", {"AT+CIPMUX=1"}, "AT+CIPMODE=0\r\n",
        e("AT+CIPMODE=0") + kOk);
    row("multiple links refused in pass-through", {"AT+CIPMODE=1"}, "AT+CIPMUX=1\r\n",
        e("AT+CIPMUX=1") + kError);

    // Opening a link.
    row("link needs an address", none, kStart + "\r\n", e(kStart) + "no ip\r\n" + kError);
    row("TCP link opened", joined, kStart + "\r\n", e(kStart) + "CONNECT\r\n" + kOk);
    row("UDP link opened", joined, "AT+CIPSTART=\"UDP\",\"192.168.1.100\",5000\r\n",
        e("AT+CIPSTART=\"UDP\",\"192.168.1.100\",5000") + "CONNECT\r\n" + kOk);
    row("link to port 0 refused", joined, "AT+CIPSTART=\"TCP\",\"192.168.1.100\",0\r\n",
        e("AT+CIPSTART=\"TCP\",\"192.168.1.100\",0") + kError + "CLOSED\r\n");
    row("refused link leaves none open", {kJoin, "AT+CIPSTART=\"TCP\",\"192.168.1.100\",0"},
        kStart + "\r\n", e(kStart) + "CONNECT\r\n" + kOk);
    row("second link refused", linked, kStart + "\r\n",
        e(kStart) + "ALREADY CONNECTED\r\n" + kError);
    row("unknown link type refused", joined, "AT+CIPSTART=\"SCTP\",\"192.168.1.100\",5000\r\n",
        e("AT+CIPSTART=\"SCTP\",\"192.168.1.100\",5000") + kError);
    row("link port 65536 refused", joined, "AT+CIPSTART=\"TCP\",\"192.168.1.100\",65536\r\n",
        e("AT+CIPSTART=\"TCP\",\"192.168.1.100\",65536") + kError);
    row("link without port refused", joined, "AT+CIPSTART=\"TCP\",\"192.168.1.100\"\r\n",
        e("AT+CIPSTART=\"TCP\",\"192.168.1.100\"") + kError);
    row("link without id refused with multiple links", {kJoin, "AT+CIPMUX=1"}, kStart + "\r\n",
        e(kStart) + kError);
    row("link by id with multiple links", {kJoin, "AT+CIPMUX=1"},
        "AT+CIPSTART=0,\"TCP\",\"192.168.1.100\",5000\r\n",
        e("AT+CIPSTART=0,\"TCP\",\"192.168.1.100\",5000") + "0,CONNECT\r\n" + kOk);
    row("link id 5 refused", {kJoin, "AT+CIPMUX=1"},
        "AT+CIPSTART=5,\"TCP\",\"192.168.1.100\",5000\r\n",
        e("AT+CIPSTART=5,\"TCP\",\"192.168.1.100\",5000") + kError);

    // Sending: the payload is counted, not echoed, and comes back from the far end.
    const QByteArray prompt = e("AT+CIPSEND=5") + "\r\nOK\r\n> ";
    const QByteArray sent5 = "\r\nRecv 5 bytes\r\n\r\nSEND OK\r\n";
    row("send needs a link", joined, "AT+CIPSEND=5\r\n",
        e("AT+CIPSEND=5") + "link is not valid\r\n" + kError);
    row("send of 0 bytes refused", linked, "AT+CIPSEND=0\r\n", e("AT+CIPSEND=0") + kError);
    row("send of 2049 bytes refused", linked, "AT+CIPSEND=2049\r\n", e("AT+CIPSEND=2049") + kError);
    row("send without length refused", linked, "AT+CIPSEND=\r\n", e("AT+CIPSEND=") + kError);
    row("payload echoed back by the far end", linked, "AT+CIPSEND=5\r\nhello",
        prompt + sent5 + "\r\n+IPD,5:hello");
    row("CR LF after the payload is an empty line", linked, "AT+CIPSEND=5\r\nhello\r\n",
        prompt + sent5 + "\r\r\nERROR\r\n" + "\r\n+IPD,5:hello");
    row("command after the payload runs", linked, "AT+CIPSEND=5\r\nhelloAT\r\n",
        prompt + sent5 + e("AT") + kOk + "\r\n+IPD,5:hello");
    row("line ends inside the payload are data", linked, "AT+CIPSEND=7\r\nhi\r\nyo\n",
        e("AT+CIPSEND=7") + "\r\nOK\r\n> " + "\r\nRecv 7 bytes\r\n\r\nSEND OK\r\n" +
            "\r\n+IPD,7:hi\r\nyo\n");
    row("GBK payload counted in bytes", linked, "AT+CIPSEND=4\r\n\xc4\xe3\xba\xc3",
        e("AT+CIPSEND=4") + "\r\nOK\r\n> " + "\r\nRecv 4 bytes\r\n\r\nSEND OK\r\n" +
            "\r\n+IPD,4:\xc4\xe3\xba\xc3");
    row("2048-byte payload taken, echoed in pieces of at most 1460", linked,
        "AT+CIPSEND=2048\r\n" + QByteArray(2048, 'z'),
        e("AT+CIPSEND=2048") + "\r\nOK\r\n> " + "\r\nRecv 2048 bytes\r\n\r\nSEND OK\r\n" +
            "\r\n+IPD,1460:" + QByteArray(1460, 'z') + "\r\n+IPD,588:" + QByteArray(588, 'z'));
    row("send by id with multiple links",
        {kJoin, "AT+CIPMUX=1", "AT+CIPSTART=2,\"TCP\",\"192.168.1.100\",5000"},
        "AT+CIPSEND=2,3\r\nabc",
        e("AT+CIPSEND=2,3") + "\r\nOK\r\n> " + "\r\nRecv 3 bytes\r\n\r\nSEND OK\r\n" +
            "\r\n+IPD,2,3:abc");
    row("send to a closed id with multiple links",
        {kJoin, "AT+CIPMUX=1", "AT+CIPSTART=2,\"TCP\",\"192.168.1.100\",5000"},
        "AT+CIPSEND=1,3\r\n", e("AT+CIPSEND=1,3") + "link is not valid\r\n" + kError);
    row("send without id refused with multiple links",
        {kJoin, "AT+CIPMUX=1", "AT+CIPSTART=2,\"TCP\",\"192.168.1.100\",5000"}, "AT+CIPSEND=3\r\n",
        e("AT+CIPSEND=3") + kError);

    // Closing.
    row("close the link", linked, "AT+CIPCLOSE\r\n", e("AT+CIPCLOSE") + "CLOSED\r\n" + kOk);
    row("close without a link", joined, "AT+CIPCLOSE\r\n", e("AT+CIPCLOSE") + kError);
    row("close every link with id 5",
        {kJoin, "AT+CIPMUX=1", "AT+CIPSTART=0,\"TCP\",\"192.168.1.100\",5000",
         "AT+CIPSTART=4,\"UDP\",\"192.168.1.100\",5001"},
        "AT+CIPCLOSE=5\r\n", e("AT+CIPCLOSE=5") + "0,CLOSED\r\n4,CLOSED\r\n" + kOk);

    // Firmware update needs a network.
    row("update without a network", none, "AT+CIUPDATE\r\n",
        e("AT+CIUPDATE") + "+CIPUPDATE:-1\r\n" + kError);

    // The command table: a form a command does not take is refused before its handler
    // runs, and the _CUR and _DEF names reach the same handler as the plain one.
    for (const char *line :
         {"AT+RST?", "AT+GMR=1", "AT+CIUPDATE?", "AT+CWQAP?", "AT+CWLIF?", "AT+CIPSTATUS?",
          "AT+CIFSR?", "AT+CIPSERVER?", "AT+CIPSTART", "AT+CIPSEND?"}) {
        const QByteArray command(line);
        QTest::newRow(qPrintable(QStringLiteral("form refused: ") + QLatin1String(line)))
            << joined << command + "\r\n"
            << e(command) + kError;
    }
    row("mode under its _CUR name", none, "AT+CWMODE_CUR?\r\n",
        e("AT+CWMODE_CUR?") + "+CWMODE:3\r\n" + kOk);
    row("mode set under its _DEF name", {"AT+CWMODE_DEF=1"}, "AT+CWMODE?\r\n",
        e("AT+CWMODE?") + "+CWMODE:1\r\n" + kOk);
    row("soft AP under its _CUR name", {"AT+CWSAP_CUR=\"Lab\",\"\",5,0"}, "AT+CWSAP?\r\n",
        e("AT+CWSAP?") + "+CWSAP:\"Lab\",\"\",5,0,4,0\r\n" + kOk);
    row("join under its _DEF name", none, "AT+CWJAP_DEF=\"ESP8266\",\"7395184026\"\r\n",
        e("AT+CWJAP_DEF=\"ESP8266\",\"7395184026\"") + "WIFI CONNECTED\r\nWIFI GOT IP\r\n" + kOk);
}

void Tst_simmodule::replies()
{
    QFETCH(QByteArrayList, setup);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);

    SimModule m;
    prepare(m, setup);
    QByteArray got = m.feed(input);
    got += settle(m);
    QCOMPARE(got, expected);
}

// ---- how bytes become lines ---------------------------------------------------------

void Tst_simmodule::lineDiscipline_data()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("command split over writes")
        << QByteArrayList{"A", "T", "\r", "\n"} << e("AT") + kOk;
    QTest::newRow("split between CR and LF")
        << QByteArrayList{"AT+CWMODE?\r", "\n"} << e("AT+CWMODE?") + "+CWMODE:3\r\n" + kOk;
    QTest::newRow("two commands in one write")
        << QByteArrayList{"AT\r\nATE0\r\nAT\r\n"} << e("AT") + kOk + e("ATE0") + kOk + kOk;
    QTest::newRow("CR-only line echoed, not run") << QByteArrayList{"AT\r"} << QByteArray("AT\r");
    QTest::newRow("CR-only line glued to the next")
        << QByteArrayList{"AT\r", "AT\r\n"} << QByteArray("AT\rAT\r") + "\r\n" + kError;
    QTest::newRow("line without terminator gets no answer")
        << QByteArrayList{"hello"} << QByteArray("hello");
    QTest::newRow("text without terminator spoils the next command")
        << QByteArrayList{"hello", "AT\r\n"} << e("helloAT") + kError;
    QTest::newRow("empty line") << QByteArrayList{"\r\n"} << QByteArray("\r\r\nERROR\r\n");
    QTest::newRow("empty line with echo off")
        << QByteArrayList{"ATE0\r\n", "\r\n"} << e("ATE0") + kOk + kError;
    QTest::newRow("CR-only line with echo off says nothing")
        << QByteArrayList{"ATE0\r\n", "AT\r"} << e("ATE0") + kOk;
    QTest::newRow("LF alone") << QByteArrayList{"\n"} << kError;
    QTest::newRow("command ended by LF alone not run")
        << QByteArrayList{"AT+CWMODE=1\n", "AT+CWMODE?\r\n"}
        << "AT+CWMODE=1\r\n" + kError + e("AT+CWMODE?") + "+CWMODE:3\r\n" + kOk;
    QTest::newRow("line over 256 bytes refused, next line fine")
        << QByteArrayList{"AT" + QByteArray(300, 'x') + "\r\n", "AT\r\n"}
        << e("AT" + QByteArray(300, 'x')) + kError + e("AT") + kOk;
    QTest::newRow("line of 256 bytes with its CR still runs")
        << QByteArrayList{"AT+CWLAP=\"" + QByteArray(244, 'x') + "\"\r\n"}
        << e("AT+CWLAP=\"" + QByteArray(244, 'x') + "\"") + kOk;
    QTest::newRow("line of 257 bytes with its CR refused")
        << QByteArrayList{"AT+CWLAP=\"" + QByteArray(245, 'x') + "\"\r\n"}
        << e("AT+CWLAP=\"" + QByteArray(245, 'x') + "\"") + kError;
    QTest::newRow("payload split over writes, surplus in the last")
        << QByteArrayList{kJoin + "\r\n", kStart + "\r\n", "AT+CIPSEND=5\r\n", "he", "l",
                          "loAT\r\n"}
        << e(kJoin) + kJoined + e(kStart) + "CONNECT\r\n" + kOk + e("AT+CIPSEND=5") +
               "\r\nOK\r\n> " + "\r\nRecv 5 bytes\r\n\r\nSEND OK\r\n" + e("AT") + kOk +
               "\r\n+IPD,5:hello";
}

void Tst_simmodule::lineDiscipline()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(QByteArray, expected);

    SimModule m;
    QByteArray got;
    for (const QByteArray &piece : pieces) {
        got += m.feed(piece);
        got += settle(m);
    }
    QCOMPARE(got, expected);
}

// ---- what happens as time passes ----------------------------------------------------

void Tst_simmodule::script_data()
{
    QTest::addColumn<double>("speed");
    QTest::addColumn<QByteArrayList>("setup");
    QTest::addColumn<QList<Step>>("steps");

    const QByteArray busy = "\r\nbusy p...\r\n";
    const QByteArrayList none;
    const QByteArrayList linked{kJoin, kStart};

    QTest::newRow("scan list waits about 2 s") << 1.0 << none
                                               << QList<Step>{{0, "AT+CWLAP\r\n", e("AT+CWLAP")},
                                                              {SimModule::kScanMs - 1, "", ""},
                                                              {1, "", kScanList}};
    QTest::newRow("speed 4 shortens the scan to a quarter")
        << 4.0 << none
        << QList<Step>{{0, "AT+CWLAP\r\n", e("AT+CWLAP")},
                       {SimModule::kScanMs / 4 - 1, "", ""},
                       {1, "", kScanList}};
    QTest::newRow("speed 0 taken as 1") << 0.0 << none
                                        << QList<Step>{{0, "AT+CWLAP\r\n", e("AT+CWLAP")},
                                                       {SimModule::kScanMs - 1, "", ""},
                                                       {1, "", kScanList}};
    QTest::newRow("join reports in two stages")
        << 1.0 << none
        << QList<Step>{{0, kJoin + "\r\n", e(kJoin)},
                       {SimModule::kAssociateMs, "", "WIFI CONNECTED\r\n"},
                       {SimModule::kJoinMs - SimModule::kAssociateMs - 1, "", ""},
                       {1, "", "WIFI GOT IP\r\n" + kOk}};
    QTest::newRow("busy once per line during a join")
        << 1.0 << none
        << QList<Step>{{0, kJoin + "\r\n", e(kJoin)},
                       {500, "AT\r\n", busy},
                       {0, "AT+GMR\r\nAT\r\n", busy + busy},
                       {0, "\r\n", busy},
                       {0, "AT", ""},
                       {SimModule::kJoinMs - 500, "", kJoined},
                       {0, "AT\r\n", e("AT") + kOk}};
    QTest::newRow("line sent while busy is not run later")
        << 1.0 << none
        << QList<Step>{{0, "AT+CWLAP\r\n", e("AT+CWLAP")},
                       {100, "AT+CWMODE=2\r\n", busy},
                       {SimModule::kScanMs, "", kScanList},
                       {0, "AT+CWMODE?\r\n", e("AT+CWMODE?") + "+CWMODE:3\r\n" + kOk}};
    QTest::newRow("join out of reach times out late")
        << 1.0 << none
        << QList<Step>{{0, "AT+CWJAP=\"Garage\",\"door-opener\"\r\n",
                        e("AT+CWJAP=\"Garage\",\"door-opener\"")},
                       {SimModule::kJoinTimeoutMs - 1, "AT\r\n", busy},
                       {1, "", "+CWJAP:1\r\n\r\nFAIL\r\n"}};
    QTest::newRow("busy while a link opens")
        << 1.0 << QByteArrayList{kJoin}
        << QList<Step>{{0, kStart + "\r\n", e(kStart)},
                       {SimModule::kConnectMs - 1, "AT\r\n", busy},
                       {1, "", "CONNECT\r\n" + kOk}};
    QTest::newRow("far end answers after the send")
        << 1.0 << linked
        << QList<Step>{{0, "AT+CIPSEND=5\r\n", e("AT+CIPSEND=5") + "\r\nOK\r\n> "},
                       {500, "hello\r\n",
                        "\r\nRecv 5 bytes\r\n\r\nSEND OK\r\n" + QByteArray("\r\r\nERROR\r\n")},
                       {SimModule::kPeerEchoMs - 1, "", ""},
                       {1, "", "\r\n+IPD,5:hello"}};
    QTest::newRow("not busy while waiting for the payload")
        << 1.0 << linked
        << QList<Step>{{0, "AT+CIPSEND=3\r\n", e("AT+CIPSEND=3") + "\r\nOK\r\n> "},
                       {10000, "", ""},
                       {0, "a\r\n", "\r\nRecv 3 bytes\r\n\r\nSEND OK\r\n"}};
    QTest::newRow("echo lost when the link closes first")
        << 1.0 << linked
        << QList<Step>{{0, "AT+CIPSEND=2\r\nhi",
                        e("AT+CIPSEND=2") + "\r\nOK\r\n> " + "\r\nRecv 2 bytes\r\n\r\nSEND OK\r\n"},
                       {0, "AT+CIPCLOSE\r\n", e("AT+CIPCLOSE") + "CLOSED\r\n" + kOk},
                       {SimModule::kPeerEchoMs * 10, "", ""}};
    QTest::newRow("update progress over tens of seconds")
        << 1.0 << QByteArrayList{kJoin}
        << QList<Step>{{0, "AT+CIUPDATE\r\n", e("AT+CIUPDATE")},
                       {SimModule::kUpdateStepMs[0], "", "+CIPUPDATE:1\r\n"},
                       {SimModule::kUpdateStepMs[1], "AT\r\n", "+CIPUPDATE:2\r\n" + busy},
                       {SimModule::kUpdateStepMs[2], "", "+CIPUPDATE:3\r\n"},
                       {SimModule::kUpdateStepMs[3], "", "+CIPUPDATE:4\r\n"},
                       {SimModule::kUpdateDownloadMs - 1, "", ""},
                       {1, "", kOk},
                       {0, "AT\r\n", ""}}; // restarting: the line is lost
    QTest::newRow("restart answers OK before rebooting")
        << 1.0 << none
        << QList<Step>{{0, "AT+RST\r\nAT\r\n", e("AT+RST") + kOk},
                       {SimModule::kBootNoiseMs - 1, "AT\r\n", ""}};
}

void Tst_simmodule::script()
{
    QFETCH(double, speed);
    QFETCH(QByteArrayList, setup);
    QFETCH(QList<Step>, steps);

    SimModule::Options options;
    options.speed = speed;
    SimModule m(options);
    prepare(m, setup);
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const Step &step = steps.at(i);
        QByteArray got = m.advance(step.waitMs);
        got += m.feed(step.send);
        if (got != step.expect)
            qWarning("step %lld differs", qlonglong(i));
        QCOMPARE(got, step.expect);
    }
}

// ---- restart ------------------------------------------------------------------------

void Tst_simmodule::restart_data()
{
    QTest::addColumn<QByteArrayList>("setup");
    QTest::addColumn<QByteArray>("restartReply");
    QTest::addColumn<QByteArray>("afterReady"); // printed after "ready", once joined again
    QTest::addColumn<QByteArray>("probe");
    QTest::addColumn<QByteArray>("probeAnswer");

    const QByteArray restarted = e("AT+RST") + kOk;

    QTest::newRow("fresh module") << QByteArrayList{} << restarted << QByteArray()
                                  << QByteArray("AT\r\n") << e("AT") + kOk;
    QTest::newRow("saved network joined again")
        << QByteArrayList{kJoin} << restarted << QByteArray("WIFI CONNECTED\r\nWIFI GOT IP\r\n")
        << QByteArray("AT+CIPSTATUS\r\n") << e("AT+CIPSTATUS") + "STATUS:2\r\n" + kOk;
    QTest::newRow("join without saving not joined again")
        << QByteArrayList{"AT+CWJAP_CUR=\"ESP8266\",\"7395184026\""} << restarted << QByteArray()
        << QByteArray("AT+CIPSTATUS\r\n") << e("AT+CIPSTATUS") + "STATUS:5\r\n" + kOk;
    QTest::newRow("no rejoin in mode 2")
        << QByteArrayList{kJoin, "AT+CWMODE=2"} << restarted << QByteArray()
        << QByteArray("AT+CWMODE?\r\n") << e("AT+CWMODE?") + "+CWMODE:2\r\n" + kOk;
    QTest::newRow("echo back on after restart")
        << QByteArrayList{"ATE0"} << kOk << QByteArray() << QByteArray("AT\r\n") << e("AT") + kOk;
    QTest::newRow("links gone without CLOSED")
        << QByteArrayList{kJoin, kStart} << restarted
        << QByteArray("WIFI CONNECTED\r\nWIFI GOT IP\r\n") << QByteArray("AT+CIPSTATUS\r\n")
        << e("AT+CIPSTATUS") + "STATUS:2\r\n" + kOk;
    QTest::newRow("multiple links back to single")
        << QByteArrayList{"AT+CIPMUX=1", "AT+CIPSERVER=1,5000"} << restarted << QByteArray()
        << QByteArray("AT+CIPMUX?\r\n") << e("AT+CIPMUX?") + "+CIPMUX:0\r\n" + kOk;
    QTest::newRow("server time-out back to 180")
        << QByteArrayList{"AT+CIPMUX=1", "AT+CIPSERVER=1,5000", "AT+CIPSTO=5"} << restarted
        << QByteArray() << QByteArray("AT+CIPSTO?\r\n")
        << e("AT+CIPSTO?") + "+CIPSTO:180\r\n" + kOk;
}

void Tst_simmodule::restart()
{
    QFETCH(QByteArrayList, setup);
    QFETCH(QByteArray, restartReply);
    QFETCH(QByteArray, afterReady);
    QFETCH(QByteArray, probe);
    QFETCH(QByteArray, probeAnswer);

    SimModule m;
    prepare(m, setup);
    QCOMPARE(m.feed("AT+RST\r\nAT+CWMODE=1\r\n"), restartReply);
    QCOMPARE(m.feed("AT\r\n"), QByteArray()); // lost while the module restarts

    const QByteArray boot = m.advance(SimModule::kReadyMs);
    QVERIFY2(boot.endsWith("\r\nready\r\n"), boot.right(40).toHex(' ').constData());
    const QByteArray noise = boot.chopped(9);
    QVERIFY2(noise.size() >= 100 && noise.size() <= 1000, QByteArray::number(noise.size()));
    QVERIFY(std::any_of(noise.begin(), noise.end(),
                        [](char c) { return static_cast<unsigned char>(c) >= 0x80; }));

    QCOMPARE(settle(m), afterReady);
    // A line typed before the restart is gone: no glued bytes spoil the probe.
    QCOMPARE(m.feed(probe), probeAnswer);
}

void Tst_simmodule::bootNoiseFollowsSeed_data()
{
    QTest::addColumn<quint32>("seedA");
    QTest::addColumn<quint32>("seedB");
    QTest::addColumn<bool>("same");

    QTest::newRow("same seed, same noise") << 7u << 7u << true;
    QTest::newRow("other seed, other noise") << 7u << 8u << false;
}

void Tst_simmodule::bootNoiseFollowsSeed()
{
    QFETCH(quint32, seedA);
    QFETCH(quint32, seedB);
    QFETCH(bool, same);

    auto boot = [](quint32 seed) {
        SimModule::Options options;
        options.bootSeed = seed;
        SimModule m(options);
        m.feed("AT+RST\r\n");
        return m.advance(SimModule::kReadyMs);
    };
    const QByteArray a = boot(seedA);
    QCOMPARE(a == boot(seedB), same);
    QCOMPARE(a, boot(seedA)); // replayable
}

// ---- networks and stations other than the defaults ----------------------------------

void Tst_simmodule::customNetworks_data()
{
    QTest::addColumn<QString>("ssid");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("escaped quote and comma in the name")
        << "a\"b,c"
        << "pass1234" << QByteArray("AT+CWJAP=\"a\\\"b\\,c\",\"pass1234\"\r\n")
        << e("AT+CWJAP=\"a\\\"b\\,c\",\"pass1234\"") + kJoined;
    QTest::newRow("escaped backslash in the password")
        << "net"
        << "pa\\ss1234" << QByteArray("AT+CWJAP=\"net\",\"pa\\\\ss1234\"\r\n")
        << e("AT+CWJAP=\"net\",\"pa\\\\ss1234\"") + kJoined;
    QTest::newRow("unescaped backslash is not the password")
        << "net"
        << "pa\\ss1234" << QByteArray("AT+CWJAP=\"net\",\"pa\\ss1234\"\r\n")
        << e("AT+CWJAP=\"net\",\"pa\\ss1234\"") + "+CWJAP:2\r\n\r\nFAIL\r\n";
    QTest::newRow("Chinese password compared in GBK")
        << "net" << QString::fromUtf8("密码密码")
        << QByteArray("AT+CWJAP=\"net\",\"\xc3\xdc\xc2\xeb\xc3\xdc\xc2\xeb\"\r\n")
        << e("AT+CWJAP=\"net\",\"\xc3\xdc\xc2\xeb\xc3\xdc\xc2\xeb\"") + kJoined;
    QTest::newRow("scan shows the configured network only")
        << "Lab"
        << "pass1234" << QByteArray("AT+CWLAP\r\n")
        << e("AT+CWLAP") + "+CWLAP:(3,\"Lab\",-40,\"02:00:00:00:00:01\",4,0,0)\r\n" + kOk;
    QTest::newRow("stations joined to the module listed")
        << "Lab"
        << "pass1234" << QByteArray("AT+CWLIF\r\n")
        << e("AT+CWLIF") + "192.168.4.2,02:00:00:00:00:aa\r\n192.168.4.3,02:00:00:00:00:bb\r\n" +
               kOk;
}

void Tst_simmodule::customNetworks()
{
    QFETCH(QString, ssid);
    QFETCH(QString, password);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);

    SimModule::Options options;
    SimModule::Network n;
    n.ssid = ssid;
    n.password = password;
    n.ecn = 3;
    n.rssi = -40;
    n.mac = QStringLiteral("02:00:00:00:00:01");
    n.channel = 4;
    n.stationIp = QStringLiteral("192.168.7.7");
    options.networks = {n};
    options.stations = {{QStringLiteral("192.168.4.2"), QStringLiteral("02:00:00:00:00:aa")},
                        {QStringLiteral("192.168.4.3"), QStringLiteral("02:00:00:00:00:bb")}};
    SimModule m(options);
    QByteArray got = m.feed(input);
    got += settle(m);
    QCOMPARE(got, expected);
}

// ---- links through a far end --------------------------------------------------------

void Tst_simmodule::realLinks_data()
{
    QTest::addColumn<QByteArrayList>("setup");
    QTest::addColumn<FarScript>("script");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QByteArrayList>("calls"); // what the far end was asked, in order

    const QByteArrayList joined{kJoin};
    const QByteArrayList server{kJoin, "AT+CIPMUX=1", "AT+CIPSERVER=1,5000"};
    const QByteArray open = "open 0 192.168.1.100:5000";
    auto clients = [](SimModule &m, int count) {
        QByteArray out;
        for (int i = 0; i < count; ++i) {
            int link = -2;
            out += m.clientJoined("127.0.0.1", 40000 + i, &link);
            out += link < 0 ? "[turned away]" : "";
        }
        return out;
    };
    QTest::newRow("no answer: given up after the time-out, whatever the speed; late news ignored")
        << joined << FarScript([](SimModule &m) {
               return QByteArrayList{m.feed(kStart + "\r\n"),
                                     m.advance(SimModule::kConnectTimeoutMs - 1),
                                     m.feed("AT\r\n"), m.advance(1),
                                     m.linkOpened(0), m.feed("AT+CIPSEND=1\r\n")}
                   .join();
           })
        << e(kStart) + "\r\nbusy p...\r\n" + kError + "CLOSED\r\n" + e("AT+CIPSEND=1") +
               "link is not valid\r\n" + kError
        << QByteArrayList{open, "close 0"};
    QTest::newRow("a sixth client is turned away")
        << server << FarScript([clients](SimModule &m) { return clients(m, 6); })
        << QByteArray("0,CONNECT\r\n1,CONNECT\r\n2,CONNECT\r\n3,CONNECT\r\n4,CONNECT\r\n"
                      "[turned away]")
        << QByteArrayList{"listen 5000"};
    QTest::newRow("port taken on this machine")
        << QByteArrayList{"AT+CIPMUX=1"}
        << FarScript([](SimModule &m) { return m.feed("AT+CIPSERVER=1,80\r\n"); })
        << e("AT+CIPSERVER=1,80") + kError << QByteArrayList{"listen 80"};
    QTest::newRow("restart ends the links and the server")
        << server
        << FarScript([clients](SimModule &m) {
               return QByteArrayList{clients(m, 2), m.feed("AT+RST\r\n")}.join();
           })
        << "0,CONNECT\r\n1,CONNECT\r\n" + e("AT+RST") + kOk
        << QByteArrayList{"listen 5000", "close 0", "close 1", "stop listening"};
}

void Tst_simmodule::realLinks()
{
    QFETCH(QByteArrayList, setup);
    QFETCH(FarScript, script);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArrayList, calls);

    SimModule::Options options;
    options.speed = 1000; // the join takes 3 ms
    SimModule m(options);
    NotingFarEnd farEnd;
    m.setFarEnd(&farEnd);
    prepare(m, setup);
    QCOMPARE(script(m), expected);
    QCOMPARE(farEnd.calls, calls);
}

QTEST_GUILESS_MAIN(Tst_simmodule)
#include "tst_simmodule.moc"
