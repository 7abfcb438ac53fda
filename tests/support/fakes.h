#pragma once

#include "bytecount.h"
#include "freeformsender.h"
#include "linesettings.h"
#include "logsink.h"
#include "messageseam.h"
#include "seriallink.h"
#include "transmitter.h"

#include <QList>
#include <QString>

#include <functional>

// Records every message box instead of showing it.
class RecordingMessages : public MessageSeam
{
public:
    struct Box
    {
        QString kind; // "warn" or "error"
        QString title;
        QString text;
        QString detail;
        QString reason; // shown in the box under the text
    };
    void warn(const QString &title, const QString &text) override
    {
        record({QStringLiteral("warn"), title, text, QString(), QString()});
    }
    void error(const QString &title, const QString &text, const QString &detail,
               const QString &reason) override
    {
        record({QStringLiteral("error"), title, text, detail, reason});
    }
    QList<Box> boxes;
    // Told of each box as it comes (a benchmark prints it).
    std::function<void(const Box &)> seen;

private:
    void record(const Box &box)
    {
        boxes.append(box);
        if (seen)
            seen(box);
    }
};

// A log that keeps its text in memory.
class MemoryLog : public LogSink
{
public:
    void appendText(const QString &more) override
    {
        text += more;
        ++appends;
    }
    QString text;
    int appends = 0;
};

// A link that records writes and lets the test make a write fail or the port go away.
class FakeSerialLink : public SerialLink
{
    Q_OBJECT
public:
    using SerialLink::SerialLink;
    bool open(const QString &name, const LineSettings &settings, QString *) override
    {
        opens.append({name, settings});
        m_open = openSucceeds;
        return m_open;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    bool write(const QByteArray &bytes) override
    {
        if (!m_open)
            return false;
        if (!writeSucceeds) {
            m_open = false;
            emit lost(QStringLiteral("write failed"));
            return false;
        }
        written += bytes;
        return true;
    }
    void loseIt()
    {
        m_open = false;
        emit lost(QStringLiteral("gone"));
    }

    bool writeSucceeds = true;
    bool openSucceeds = true;
    QByteArray written;
    QList<std::pair<QString, LineSettings>> opens; // every open asked for, in order

private:
    bool m_open = false;
};

// One console over a recording link: a transmitter, and free-form sending reading `input`,
// its payload following after payloadDelayMs.
struct ConsoleRig
{
    explicit ConsoleRig(bool open = true, int payloadDelayMs = 20)
    {
        if (open)
            link.open(QStringLiteral("fake"), LineSettings{}, nullptr);
        timer5.setInterval(payloadDelayMs);
    }

    FakeSerialLink link;
    MemoryLog log;
    ByteCount tx;
    RecordingMessages messages;
    Transmitter transmitter{link, log, tx, messages};
    QString input;
    QTimer timer5;
    FreeFormSender sender{transmitter, [this] { return input; }, timer5};
};
