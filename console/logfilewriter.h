#pragma once

#include <QFile>
#include <QList>
#include <QString>
#include <QStringEncoder>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Appends a log's text to a file, as UTF-8, from a thread of its own: the window hands the
// text over and goes on at once. What is handed over is in the file within kWriteMs and on
// the disk within kSyncMs, so a crash or a power cut loses at most the last second.
class LogFileWriter
{
public:
    static constexpr int kWriteMs = 200;
    static constexpr int kSyncMs = 1000;

    // Opens `path` for appending (made when missing; what it holds is kept) and starts the
    // writing. Null, with the reason in *why, when it cannot be opened. `failed` is called,
    // from the writing thread, when a write fails; nothing more is written then.
    static std::unique_ptr<LogFileWriter> open(const QString &path, std::function<void()> failed,
                                               QString *why);
    // Writes out what was handed over and closes the file.
    ~LogFileWriter();
    LogFileWriter(const LogFileWriter &) = delete;
    LogFileWriter &operator=(const LogFileWriter &) = delete;

    void append(const QString &text);

    // Writes out what was handed over, puts it on the disk and closes the file. False, with
    // the reason in *why, when a write failed, now or before.
    bool finish(QString *why);

private:
    LogFileWriter(const QString &path, std::function<void()> failed);
    void run();
    bool writeOut(const QList<QString> &texts, bool sync);
    bool fileStillThere();

    QFile m_file;
    std::function<void()> m_failed;
    QStringEncoder m_utf8{QStringEncoder::Utf8};
    std::thread m_thread;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    QList<QString> m_pending; // handed over, not written yet
    bool m_finishing = false;
    bool m_ok = true;
    QString m_why;
};
