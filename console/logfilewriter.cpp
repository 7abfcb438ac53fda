#include "logfilewriter.h"

#include "filefailure.h"

#include <QElapsedTimer>

#include <cerrno>
#include <chrono>
#include <utility>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

std::unique_ptr<LogFileWriter> LogFileWriter::open(const QString &path,
                                                   std::function<void()> failed, QString *why)
{
    std::unique_ptr<LogFileWriter> writer(new LogFileWriter(path, std::move(failed)));
    // Unbuffered: each write reaches the system at once, and a refusal is told by the
    // write that meets it, with the system's reason.
    errno = 0;
    if (!writer->m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        *why = FileFailure::reason(errno, writer->m_file.errorString());
        return nullptr;
    }
    writer->m_thread = std::thread([w = writer.get()] { w->run(); });
    return writer;
}

LogFileWriter::LogFileWriter(const QString &path, std::function<void()> failed)
    : m_file(path), m_failed(std::move(failed))
{}

LogFileWriter::~LogFileWriter()
{
    QString why;
    finish(&why);
}

void LogFileWriter::append(const QString &text)
{
    const std::lock_guard lock(m_mutex);
    if (m_ok && !m_finishing)
        m_pending.append(text);
}

bool LogFileWriter::finish(QString *why)
{
    {
        const std::lock_guard lock(m_mutex);
        m_finishing = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
    *why = m_why;
    return m_ok;
}

void LogFileWriter::run()
{
    QElapsedTimer sinceSync;
    sinceSync.start();
    std::unique_lock lock(m_mutex);
    for (;;) {
        // Waiting gathers what arrives in the meantime into one write.
        m_wake.wait_for(lock, std::chrono::milliseconds(kWriteMs), [this] { return m_finishing; });
        const bool last = m_finishing;
        const QList<QString> texts = std::exchange(m_pending, {});
        lock.unlock();
        const bool sync = last || sinceSync.hasExpired(kSyncMs);
        if (sync)
            sinceSync.start();
        const bool ok = writeOut(texts, sync);
        lock.lock();
        if (!ok) {
            m_ok = false;
            m_pending.clear();
            lock.unlock();
            if (!last && m_failed)
                m_failed();
            lock.lock();
            break;
        }
        if (last)
            break;
    }
    lock.unlock();
    m_file.close();
}

bool LogFileWriter::writeOut(const QList<QString> &texts, bool sync)
{
    QString why;
    for (const QString &text : texts) {
        const QByteArray bytes = m_utf8.encode(text);
        if (!FileFailure::writeAll(m_file, bytes, &why)) {
            m_why = why;
            return false;
        }
    }
    if (!sync)
        return true;
    if (!FileFailure::sync(m_file, &why)) {
        m_why = why;
        return false;
    }
    return fileStillThere();
}

// Writes to a file whose folder was removed, or that was deleted, succeed and reach no one:
// the name must still lead to the file written.
bool LogFileWriter::fileStillThere()
{
#ifdef Q_OS_UNIX
    struct stat byName
    {
    };
    struct stat open
    {
    };
    if (::stat(QFile::encodeName(m_file.fileName()).constData(), &byName) == 0 &&
        ::fstat(m_file.handle(), &open) == 0 && byName.st_dev == open.st_dev &&
        byName.st_ino == open.st_ino)
        return true;
    m_why = QStringLiteral("文件已被删除或移走，或它的文件夹已不存在");
    return false;
#else
    return true;
#endif
}
