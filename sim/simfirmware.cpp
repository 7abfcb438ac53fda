#include "simmodule.h"

#include "simargs.h"

#include <utility>

using namespace SimArgs;

namespace {

constexpr const char *kVersionText = "AT version:1.7.4.0(May 11 2020 19:13:04)\r\n"
                                     "SDK version:3.0.4(9532ceb)\r\n"
                                     "compile time:May 27 2020 10:12:17\r\n"
                                     "OK\r\n";

} // namespace

// The firmware: its version, restarting and updating over the network.

void SimModule::cmdVersion(char, const QByteArray &)
{
    out(kVersionText);
}

void SimModule::cmdUpdate(char, const QByteArray &)
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

void SimModule::cmdRestart(char, const QByteArray &)
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
    if (m_farEnd) {
        // Real links and the listening port end with the firmware that held them.
        if (m_connecting >= 0)
            m_farEnd->close(m_connecting);
        for (auto it = m_links.cbegin(); it != m_links.cend(); ++it)
            m_farEnd->close(it.key());
        if (m_serverPort != 0)
            m_farEnd->stopListening();
    }
    m_connecting = -1;
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
