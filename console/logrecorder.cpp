#include "logrecorder.h"

#include "logfilewriter.h"

LogRecorder::LogRecorder(LogSink &log, QObject *parent) : QObject(parent), m_log(log) {}

LogRecorder::~LogRecorder() = default;

void LogRecorder::appendText(const QString &text)
{
    m_log.appendText(text);
    if (m_writer && !text.isEmpty())
        m_writer->append(text);
}

bool LogRecorder::start(const QString &path, QString *why)
{
    stop();
    const quint64 recording = ++m_recording;
    // The writer tells of a failure from its own thread; the recording stops here, in ours.
    m_writer = LogFileWriter::open(
        path,
        [this, recording] {
            QMetaObject::invokeMethod(
                this,
                [this, recording] {
                    if (recording == m_recording)
                        stop();
                },
                Qt::QueuedConnection);
        },
        why);
    m_path = path;
    return m_writer != nullptr;
}

void LogRecorder::stop()
{
    if (!m_writer)
        return;
    const std::unique_ptr<LogFileWriter> writer = std::move(m_writer);
    ++m_recording;
    QString why;
    if (!writer->finish(&why))
        emit failed(m_path, why);
}
