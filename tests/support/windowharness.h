#pragma once

#include "fakes.h"
#include "form1.h"
#include "logview.h"
#include "ptypair.h"
#include "qtseriallink.h"
#include "startup.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <functional>

#include <memory>

// Opens a log's context menu as a right-click does; null when none came up.
inline QMenu *openContextMenu(LogView *log)
{
    const QPoint at(5, 5);
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, log->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(log->viewport(), &click);
    for (QMenu *menu : log->findChildren<QMenu *>()) {
        if (menu->isVisible())
            return menu;
    }
    return nullptr;
}

// The entry of a menu that reads `text`, or null.
inline QAction *menuEntry(const QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

// Chooses an entry of a log's context menu, as a right-click and a click on it do; false
// when the menu has no such entry.
inline bool chooseMenuEntry(LogView *log, const QString &text)
{
    QMenu *menu = openContextMenu(log);
    QAction *entry = menu ? menuEntry(menu, text) : nullptr;
    if (menu)
        menu->close();
    if (entry)
        entry->trigger();
    return entry != nullptr;
}

// The real window, offscreen, with its message boxes recorded and a port scan the test
// chooses. The serial link is a real one, so a pseudo-terminal plays the module.
struct WindowHarness
{
    explicit WindowHarness(QList<PortEntry> scan = {})
    {
        ports = std::move(scan);
        build([this] { return ports; });
    }

    // The window with a scan of the test's own making, run at every "扫描", and the rest of
    // its services as `services` gives them (a lost port watched for, a short Timer5, counts
    // of the suite's own); the link, the boxes and the file dialogs are the rig's.
    explicit WindowHarness(std::function<QList<PortEntry>()> scan,
                           Form1::Services services = {})
    {
        build(std::move(scan), std::move(services));
    }

    template <typename T> T *get(const char *name) const
    {
        T *w = window->findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QPushButton *button(const char *name) const { return get<QPushButton>(name); }
    QComboBox *combo(const char *name) const { return get<QComboBox>(name); }
    QLineEdit *line(const char *name) const { return get<QLineEdit>(name); }
    LogView *sendLog() const { return get<LogView>("Text2"); }
    LogView *receiveLog() const { return get<LogView>("Text3"); }

    void click(const char *name) const { QTest::mouseClick(button(name), Qt::LeftButton); }

    // Types a port's path into the port list and opens it.
    bool openPath(const QString &path)
    {
        combo("Combo1")->setEditText(path);
        click("Command1");
        return link.isOpen();
    }
    bool openPty(const PtyPair &pty) { return openPath(pty.slavePath()); }

    void build(std::function<QList<PortEntry>()> scan, Form1::Services services = {})
    {
        Startup::prepareProcess();
        services.link = &link;
        services.messages = &messages;
        services.ports = std::move(scan);
        services.openUrl = [this](const QUrl &url) { opened.append(url); };
        services.saveFileName = [this](const QString &suggested) {
            offeredSavePaths.append(suggested);
            return savePath;
        };
        services.openFileName = [this](const QString &folder) {
            offeredOpenFolders.append(folder);
            return openFilePath;
        };
        window = std::make_unique<Form1>(services);
    }

    QtSerialLink link;
    RecordingMessages messages;
    QList<PortEntry> ports;
    QList<QUrl> opened;
    QString savePath;             // what the person picks when a log is saved
    QStringList offeredSavePaths; // what they were offered
    QString openFilePath;         // the file the person picks to send
    QStringList offeredOpenFolders; // where they were shown to look
    std::unique_ptr<Form1> window;
};

// The window opened on a fresh pseudo-terminal, the test playing the module on `pty`:
//     PtyWindow h;
//     QVERIFY2(h.open(), "...");
struct PtyWindow : WindowHarness
{
    using WindowHarness::WindowHarness;

    // False when no pseudo-terminal could be had or the window could not open it.
    bool open() { return pty.isValid() && openPty(pty); }

    PtyPair pty;
};
