#include "simmodule.h"

#include "simargs.h"

using namespace SimArgs;

namespace {

constexpr int kMaxSsidBytes = 32;
constexpr int kMaxPasswordBytes = 64;
constexpr int kMinPasswordBytes = 8;

} // namespace

// The station side (mode, scan, join, quit) and the module's own access point.

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

void SimModule::cmdJoinSaved(char form, const QByteArray &args)
{
    join(form, args, true);
}

void SimModule::cmdJoinForNow(char form, const QByteArray &args)
{
    join(form, args, false);
}

void SimModule::join(char form, const QByteArray &args, bool save)
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

void SimModule::cmdQuit(char, const QByteArray &)
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

void SimModule::cmdListStations(char, const QByteArray &)
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
