#include "benchreport.h"

#include <QByteArray>
#include <QFile>

#include <cstdarg>
#include <cstdio>

void say(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}

double statusMb(const char *field)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

void resetPeak()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    if (file.open(QIODevice::WriteOnly))
        file.write("5");
}

void printBox(const RecordingMessages::Box &box)
{
    say("  message box: %s %s\n", qPrintable(box.title), qPrintable(box.text));
}

QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return "?";
    return file.readAll().split(' ').mid(0, 3).join(' ');
}

ShownWindow::ShownWindow()
{
    messages.seen = printBox;
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        say("  (the window was not exposed)\n");
}
