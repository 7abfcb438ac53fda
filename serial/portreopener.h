#pragma once

#include "linesettings.h"
#include "portidentity.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

class SerialLink;

// Opens a lost port again when the same device is back, with the settings it had. While it
// waits it looks every pollMs: a UART or a pseudo-terminal is back when a node of its name
// is there to open; a USB adapter when an adapter with the same serial number (or, without
// one, the same USB path or name) is among the machine's adapters, under whatever name. A
// reopen that fails is tried again while the device stays there, at most once per retryMs;
// a device that goes and comes back is tried at once.
class PortReopener : public QObject
{
    Q_OBJECT
public:
    static constexpr int kPollMs = 200;
    static constexpr int kRetryMs = 1000;

    struct Options
    {
        // The machine's USB adapters; defaults to usbPortIdentities().
        std::function<QList<PortIdentity>()> ports;
        // Whether the node a system name names is there and may be opened by us; defaults
        // to the device node in /dev (or the path) with read and write access.
        std::function<bool(const QString &systemName)> nodeReady;
        int pollMs = kPollMs;
        int retryMs = kRetryMs;
    };

    PortReopener(SerialLink &link, Options options, QObject *parent = nullptr);

    // Off: a lost port is not waited for, and a wait going on stops.
    void setEnabled(bool on);
    bool isWaiting() const { return m_poll.isActive(); }

    // The window opened `systemName` with `settings`. While enabled, what tells the device
    // apart is read now, while it is there. `whyNotOpen`, when given, is asked before and
    // after each reopen, as the window asks it at an open: why the name must not be opened
    // now, or empty.
    void opened(const QString &systemName, const LineSettings &settings,
                std::function<QString()> whyNotOpen = nullptr);
    // The port the window opened was lost. True when it is now waited for (waitingFor() has
    // been emitted); false when disabled, or when nothing could tell that what comes back
    // under the name is the same device: a pseudo-terminal opened by its own node, whose
    // number goes to the next terminal opened on the machine, often a shell's. Then the
    // loss is the window's to report.
    bool takeLoss();
    // Stops a wait going on (stopped() is emitted); the port stays closed.
    void stopWaiting();

signals:
    void waitingFor(const QString &systemName);
    void reopened(const QString &systemName);
    void stopped(const QString &systemName);

private:
    void look();
    // The device as it is there to be opened now (under its name now); none when it is not.
    std::optional<PortIdentity> present() const;

    SerialLink &m_link;
    Options m_options;
    QTimer m_poll;
    bool m_enabled = false;
    PortIdentity m_device;
    bool m_identified = false; // m_device holds what tells the device apart
    LineSettings m_settings;
    std::function<QString()> m_whyNotOpen;
    bool m_recognisable = false; // what comes back can be told to be the device
    // Since the last try while the device has been there without a break; invalid when it
    // was not there at the last look.
    QElapsedTimer m_sinceTry;
};
