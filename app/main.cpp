#include "commandline.h"
#include "form1.h"
#include "messageboxes.h"
#include "portdiscovery.h"
#include "qtseriallink.h"
#include "quorlinversion.h"
#include "simregistry.h"
#include "startup.h"
#include "wirecodec.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <cstdio>

namespace {

QtMessageHandler g_nextHandler = nullptr;

// Without XDG_RUNTIME_DIR (after su, sudo, over ssh) Qt looks for a runtime folder while
// the application starts and says that it made one up. The console needs no such folder:
// those lines are dropped, every other message goes on as before.
void dropRuntimeFolderNotices(QtMsgType type, const QMessageLogContext &context,
                              const QString &text)
{
    if (type == QtWarningMsg && text.startsWith(QLatin1String("QStandardPaths: ")) &&
        text.contains(QLatin1String("runtime"), Qt::CaseInsensitive))
        return;
    g_nextHandler(type, context, text);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("Quorlin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORLIN_VERSION));
    {
        // The options are read before the window system is reached, so that --help and
        // --version work with no display. Qt's own options (-platform, -style, ...) pass.
        QCommandLineParser parser;
        parser.setApplicationDescription(QStringLiteral(
            "A desktop console for ESP8266 Wi-Fi modules: sends AT commands over a serial line\n"
            "and shows the module's replies. Without options it opens its window.\n"
            "Qt's own options (-platform, -style, -display, -reverse, ...) pass through to Qt."));
        CommandLine::addQtGuiOptions(parser);
        const int status = CommandLine::handle(parser, CommandLine::arguments(argc, argv));
        if (status >= 0)
            return status;
    }

    g_nextHandler = qInstallMessageHandler(dropRuntimeFolderNotices);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_nextHandler);
    // Ties the window to its desktop entry where the desktop asks (Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("quorlin"));
    Startup::installQtTranslation(app);

    // Everything on the wire is GBK; without it the counts and logs would be wrong.
    if (!WireCodec::available()) {
        const QString why = QStringLiteral(
            "This system offers no GBK text codec (neither ICU nor Qt's Core5Compat).");
        std::fprintf(stderr, "quorlin: %s\n", qPrintable(why));
        QMessageBox::critical(nullptr, QStringLiteral("Quorlin"), why);
        return 1;
    }

    // Without a CJK font the window still opens, with boxes for captions: say what is missing.
    if (const QString warning = Startup::missingChineseFontWarning(); !warning.isEmpty())
        std::fprintf(stderr, "quorlin: %s\n", qPrintable(warning));

    Startup::applySkin(app, QCoreApplication::applicationDirPath());
    Startup::prepareProcess();

    QtSerialLink link;
    MessageBoxes boxes(nullptr);
    Form1::Services services;
    services.link = &link;
    services.messages = &boxes;
    // The scan lists the machine's ports, then the simulated modules running beside us.
    services.ports = [] { return SimRegistry::withRunning(systemPorts()); };
    Form1 window(services);
    boxes.setParent(&window);
    window.show();
    return app.exec();
}
