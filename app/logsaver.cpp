#include "logsaver.h"

#include "logfile.h"

#include <QElapsedTimer>
#include <QTimer>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

// A slice is taken in at most kSlicePieces pieces of this size, and no more than kAhead
// bytes wait for the writer: the text is never held whole.
constexpr qsizetype kPieceBytes = 1 << 20;
constexpr int kSlicePieces = 4;
constexpr qsizetype kAhead = 16 * kPieceBytes;

} // namespace

// What the window's thread and the writer share.
struct LogSaver::Shared
{
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QByteArray> pieces;
    qsizetype waiting = 0; // bytes in pieces
    bool last = false;     // no piece comes after those in pieces
    bool done = false;     // the writer has ended
    bool ok = false;
    QString why;
    std::thread writer;
};

LogSaver::LogSaver(LogExcerpt text, const QString &path, QObject *parent)
    : QObject(parent), m_text(std::move(text)), m_path(path),
      m_shared(std::make_shared<Shared>()), m_slices(new QTimer(this))
{
    m_slices->setSingleShot(true);
    connect(m_slices, &QTimer::timeout, this, &LogSaver::takeSlice);
}

LogSaver::~LogSaver()
{
    m_slices->stop();
    if (m_shared->writer.joinable()) {
        // The window is going: the rest goes to the writer without waiting for turns.
        while (!m_text.atEnd()) {
            QByteArray piece;
            m_text.readUtf8(piece, kPieceBytes);
            std::unique_lock<std::mutex> lock(m_shared->mutex);
            m_shared->changed.wait(lock, [this] {
                return m_shared->done || m_shared->waiting < kAhead;
            });
            if (m_shared->done)
                break;
            handOver(std::move(piece));
        }
        {
            std::lock_guard<std::mutex> lock(m_shared->mutex);
            handOver({}, true);
        }
        m_shared->writer.join();
    }
}

void LogSaver::start()
{
    std::shared_ptr<Shared> shared = m_shared;
    LogSaver *self = this; // waited for by the destructor
    shared->writer = std::thread([shared, path = m_path, self] {
        QString why;
        const bool ok = LogFile::save(
            path,
            [&shared](QByteArray &piece) {
                std::unique_lock<std::mutex> lock(shared->mutex);
                shared->changed.wait(lock, [&] { return !shared->pieces.empty() || shared->last; });
                if (shared->pieces.empty())
                    return false;
                piece = std::move(shared->pieces.front());
                shared->pieces.pop_front();
                shared->waiting -= piece.size();
                shared->changed.notify_all();
                return true;
            },
            &why);
        {
            std::lock_guard<std::mutex> lock(shared->mutex);
            shared->done = true;
            shared->ok = ok;
            shared->why = why;
            shared->pieces.clear();
        }
        shared->changed.notify_all();
        QMetaObject::invokeMethod(self, &LogSaver::writerDone, Qt::QueuedConnection);
    });
    takeSlice();
}

void LogSaver::takeSlice()
{
    QElapsedTimer slice;
    slice.start();
    bool diskBehind = false;
    for (int pieces = 0; !m_text.atEnd() && pieces < kSlicePieces && slice.elapsed() < kSliceMs;
         ++pieces) {
        {
            std::lock_guard<std::mutex> lock(m_shared->mutex);
            if (m_shared->done)
                return;
            diskBehind = m_shared->waiting >= kAhead;
            if (diskBehind)
                break; // look again in a moment
        }
        QByteArray piece;
        m_text.readUtf8(piece, kPieceBytes);
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        handOver(std::move(piece));
    }
    if (!m_text.atEnd()) {
        m_slices->start(diskBehind ? kSliceMs : 0);
        return;
    }
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    handOver({}, true);
}

void LogSaver::handOver(QByteArray piece, bool last)
{
    // Called with the shared state locked.
    m_shared->waiting += piece.size();
    if (!piece.isEmpty())
        m_shared->pieces.push_back(std::move(piece));
    m_shared->last = last;
    m_shared->changed.notify_all();
}

void LogSaver::writerDone()
{
    m_slices->stop();
    if (m_shared->writer.joinable())
        m_shared->writer.join();
    m_text = LogExcerpt();
    emit finished(m_shared->ok, m_shared->why);
}
