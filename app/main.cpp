#include "form1.h"
#include "messageboxes.h"
#include "portdiscovery.h"
#include "qtseriallink.h"
#include "simregistry.h"
#include "startup.h"
#include "wirecodec.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorlin"));
    QApplication::setApplicationVersion(QStringLiteral("1.1"));
    // Ties the window to its desktop entry where the desktop asks (Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("quorlin"));

    // Everything on the wire is GBK; without it the counts and logs would be wrong.
    if (!WireCodec::available()) {
        const QString why = QStringLiteral("This system offers no GBK text codec (ICU).");
        std::fprintf(stderr, "quorlin: %s\n", qPrintable(why));
        QMessageBox::critical(nullptr, QStringLiteral("Quorlin"), why);
        return 1;
    }

    Startup::applySkin(app, QCoreApplication::applicationDirPath());

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
