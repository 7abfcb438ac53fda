#pragma once

#include "linestamps.h"
#include "receivetext.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QMetaObject>
#include <QString>
#include <QTime>

#include <optional>

class SerialLink;
class LogSink;
class ByteCount;

// The receive side: every byte the link reads is counted in RxCount, then shown in the
// receive log in the view chosen: text (GBK, the wire's code page, or UTF-8) with blanks
// held and line breaks made as the text view does, or hex, every byte counted as two
// digits; each line after a time stamp when those are on. A change of view applies to the
// bytes that arrive after it; a character half received is finished in the view it began
// in. Text and hex never share a line.
class Receiver
{
public:
    Receiver(SerialLink &link, LogSink &log, ByteCount &rxCount,
             LineStamps::Clock clock = LineStamps::localTime);
    ~Receiver();
    Receiver(const Receiver &) = delete;
    Receiver &operator=(const Receiver &) = delete;

    void setTimeStamps(bool on) { m_stamps.setOn(on); }
    void setHex(bool on) { m_hexNext = on; }
    void setUtf8(bool on);

    // Puts `text` on a line of its own in the log, after what was received before it; it
    // is not counted. A character half received before it is shown as U+FFFD.
    void note(const QString &text);

    // The log was emptied.
    void logCleared();

private:
    void receive(const QByteArray &bytes);
    bool changeView(QByteArrayView &bytes, QString &shown);
    bool lineOpen(const QString &shown) const;
    void breakLine(QString &shown) const;
    void show(QString shown);

    SerialLink &m_link;
    LogSink &m_log;
    ByteCount &m_count;
    LineStamps::Clock m_clock;
    QMetaObject::Connection m_watch;
    ReceiveText m_text;
    LineStamps m_stamps;
    bool m_hex = false;     // the bytes now arriving are shown as hex
    bool m_hexNext = false; // as chosen, for the bytes after the choice
    // When the log's next line began, while its first bytes are still held back.
    std::optional<QTime> m_lineBegan;
};
