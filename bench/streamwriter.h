#pragma once

#include <QString>
#include <QTemporaryFile>

#include <atomic>
#include <thread>

// Plays the module for the receive benchmark. prepare() generates the bytes into a
// temporary file (not timed) and works out, independently of the console's own code,
// what the receive log must show for them; start() then pushes the file into a
// pseudo-terminal's master side from a thread of its own, as fast as the reader takes it.
class StreamWriter
{
public:
    enum class Kind
    {
        Lines,  // module-like replies in CR LF lines of 20-120 characters
        Stream, // printable text with no line break at all
    };

    // What the log must show: its characters apart from line breaks, in order (a hash),
    // and how many line breaks the bytes carry.
    struct Expected
    {
        quint64 bytes = 0;
        quint64 chars = 0;
        quint64 breaks = 0;
        quint64 hash = kHashSeed;
    };

    static constexpr quint64 kHashSeed = 14695981039346656037ull;
    static quint64 hashStep(quint64 hash, char16_t unit)
    {
        return (hash ^ unit) * 1099511628211ull;
    }

    StreamWriter() = default;
    ~StreamWriter();
    StreamWriter(const StreamWriter &) = delete;
    StreamWriter &operator=(const StreamWriter &) = delete;

    bool prepare(Kind kind, quint64 bytes);
    const Expected &expected() const { return m_expected; }

    // Spreads the writing evenly over `seconds` instead of writing as fast as the reader
    // takes it (0).
    void setDuration(double seconds) { m_seconds = seconds; }
    void start(int masterFd);
    void join();
    quint64 written() const { return m_written.load(std::memory_order_relaxed); }
    bool done() const { return m_done.load(std::memory_order_acquire); }
    QString failure() const { return m_failure; }

private:
    void run(int masterFd);

    QTemporaryFile m_file;
    Expected m_expected;
    std::thread m_thread;
    std::atomic<quint64> m_written{0};
    std::atomic<bool> m_done{false};
    QString m_failure;
    double m_seconds = 0;
};
