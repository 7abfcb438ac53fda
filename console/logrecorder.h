#pragma once

#include "logsink.h"

#include <QObject>
#include <QString>

#include <memory>

class LogFileWriter;

// A log sink in front of a log: everything appended goes to the log and, while recording,
// also to the end of a file (LogFileWriter). The log keeps everything whatever becomes of
// the file.
class LogRecorder : public QObject, public LogSink
{
    Q_OBJECT
public:
    explicit LogRecorder(LogSink &log, QObject *parent = nullptr);
    // Stops recording; everything appended is in the file.
    ~LogRecorder() override;

    void appendText(const QString &text) override;

    // Records into `path` from now on, appending to what it holds. False, with the reason
    // in *why, when the file cannot be opened for that.
    bool start(const QString &path, QString *why);
    // Stops recording; everything appended until now is in the file. A write that failed
    // is told by failed().
    void stop();
    bool recording() const { return m_writer != nullptr; }

signals:
    // Writing to `path` failed, for the reason `why`; recording has stopped.
    void failed(const QString &path, const QString &why);

private:
    LogSink &m_log;
    std::unique_ptr<LogFileWriter> m_writer;
    QString m_path;
    quint64 m_recording = 0; // counts the recordings begun, so a late failure finds its own
};
