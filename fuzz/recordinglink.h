#pragma once

#include "bytecount.h"
#include "logsink.h"
#include "messageseam.h"
#include "seriallink.h"

#include <QByteArray>
#include <QString>

// An open line that keeps whatever is written to it, for targets that drive the console's
// sending side and look at the bytes that would have gone out.
class RecordingLink : public SerialLink
{
    Q_OBJECT
public:
    using SerialLink::SerialLink;
    bool open(const QString &, const LineSettings &, QString *) override { return true; }
    void close() override {}
    bool isOpen() const override { return true; }
    bool write(const QByteArray &bytes) override
    {
        written += bytes;
        return true;
    }
    QByteArray written;
};

class NoMessages : public MessageSeam
{
public:
    void warn(const QString &, const QString &) override { ++boxes; }
    void error(const QString &, const QString &, const QString &) override { ++boxes; }
    int boxes = 0;
};

class TextLog : public LogSink
{
public:
    void appendText(const QString &more) override { text += more; }
    QString text;
};
