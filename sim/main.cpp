// quorlin-sim: a simulated ESP8266 module on a pseudo-terminal. Prints the path of the
// port to open as its first line, announces itself so the console's scan lists it, and
// runs until SIGINT or SIGTERM. With --network its links are real sockets.
#include "commandline.h"
#include "quorlinversion.h"
#include "shownbytes.h"
#include "simhost.h"
#include "simnetbridge.h"
#include "simregistry.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorlin-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORLIN_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A simulated ESP8266 module (1.x AT firmware) on a pseudo-terminal.\n"
        "Prints the port's path as its first line, then answers AT commands on it.\n"
        "Its links lead to a make-believe peer that echoes what is sent, unless --network\n"
        "makes them real: AT+CIPSTART connects to the address given, AT+CIPSEND sends on\n"
        "the link, what the peer sends comes back as +IPD, and AT+CIPSERVER listens for\n"
        "clients (on 127.0.0.1 only, unless --listen-any). Each real connection is\n"
        "reported in one line on standard error.\n"
        "It announces itself to the console's scan in the folder QUORLIN_SIM_DIR names, else\n"
        "in $XDG_RUNTIME_DIR/quorlin-sim, or quorlin-sim-<uid> in the temporary folder."));
    const QCommandLineOption speedOption(
        QStringLiteral("speed"),
        QStringLiteral("Runs every delay <factor> times faster (default 1)."),
        QStringLiteral("factor"), QStringLiteral("1"));
    const QCommandLineOption noAnnounceOption(
        QStringLiteral("no-announce"),
        QStringLiteral("Does not announce the module, so the console's scan does not list it."));
    const QCommandLineOption quietOption(
        QStringLiteral("quiet"),
        QStringLiteral("Does not log the serial traffic on standard error (real connections "
                       "are still reported)."));
    const QCommandLineOption networkOption(
        QStringLiteral("network"),
        QStringLiteral("Makes the module's links real TCP and UDP connections of this "
                       "machine."));
    const QCommandLineOption listenAnyOption(
        QStringLiteral("listen-any"),
        QStringLiteral("With --network: the module's server takes clients from every "
                       "address, not from 127.0.0.1 only."));
    parser.addOption(speedOption);
    parser.addOption(noAnnounceOption);
    parser.addOption(quietOption);
    parser.addOption(networkOption);
    parser.addOption(listenAnyOption);
    // Help and version print and end; an unknown option prints the usage and ends with 2.
    const int status = CommandLine::handle(parser, QCoreApplication::arguments());
    if (status >= 0)
        return status;

    bool speedOk = false;
    const double speed = parser.value(speedOption).toDouble(&speedOk);
    if (!speedOk || !std::isfinite(speed) || speed < 0.001 || speed > 1e6) {
        std::fprintf(stderr, "quorlin-sim: --speed wants a number from 0.001 to 1000000\n");
        return 2;
    }
    if (parser.isSet(listenAnyOption) && !parser.isSet(networkOption)) {
        std::fprintf(stderr, "quorlin-sim: --listen-any goes with --network\n");
        return 2;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        std::perror("quorlin-sim: socketpair");
        return 1;
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });

    // Declared before the host, which uses it until it ends.
    std::unique_ptr<SimNetBridge> bridge;
    if (parser.isSet(networkOption)) {
        SimNetBridge::Options network;
        network.listenAny = parser.isSet(listenAnyOption);
        network.report = [](const QString &line) {
            std::fprintf(stderr, "net: %s\n", qPrintable(line));
        };
        bridge = std::make_unique<SimNetBridge>(network);
    }

    SimModule::Options options;
    options.speed = speed;
    SimHost host(options);
    host.setFarEnd(bridge.get());
    QObject::connect(&host, &SimHost::networkDataDropped, [](qsizetype bytes) {
        std::fprintf(stderr,
                     "net: %lld bytes from the network dropped whole: the line to the "
                     "console is full\n",
                     static_cast<long long>(bytes));
    });
    QString error;
    if (!host.open(&error)) {
        std::fprintf(stderr, "quorlin-sim: cannot open a pseudo-terminal: %s\n", qPrintable(error));
        return 1;
    }

    // Announce before printing the path: whoever reads the path may scan at once.
    std::unique_ptr<SimRegistry::Announcement> announcement;
    if (!parser.isSet(noAnnounceOption)) {
        announcement = std::make_unique<SimRegistry::Announcement>(host.slavePath());
        if (!announcement->isValid())
            std::fprintf(stderr, "quorlin-sim: not announced: %s\n",
                         qPrintable(announcement->errorString()));
    }

    std::printf("%s\n", qPrintable(host.slavePath()));
    std::fflush(stdout);

    if (!parser.isSet(quietOption)) {
        QObject::connect(&host, &SimHost::received, [](const QByteArray &bytes) {
            std::fprintf(stderr, "<- %s\n", shownBytes(bytes).constData());
        });
        QObject::connect(&host, &SimHost::sent, [](const QByteArray &bytes) {
            std::fprintf(stderr, "-> %s\n", shownBytes(bytes).constData());
        });
    }

    const int code = app.exec();
    announcement.reset();
    return code;
}
