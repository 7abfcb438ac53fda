#pragma once

#include <QString>

// A pseudo-terminal whose master side this object owns, raw both ways so every byte
// passes unchanged (CR and LF untouched). A program opens the slave side by its path as a
// serial port; whoever holds the RawPty plays the far end on the master. On failure the
// master is -1 and errorString() says which step failed. POSIX only.
class RawPty
{
public:
    enum class Master
    {
        NonBlocking, // for an event loop
        Blocking,    // for a writer thread that goes exactly as fast as the reader
    };

    explicit RawPty(Master mode);
    ~RawPty();
    RawPty(const RawPty &) = delete;
    RawPty &operator=(const RawPty &) = delete;

    bool isValid() const { return m_master >= 0; }
    int masterFd() const { return m_master; }
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }

    // Closes the master side: the slave side sees the device gone.
    void close();
    // Hands the master side over to the caller, who closes it.
    int release();

private:
    int m_master = -1;
    QString m_slavePath;
    QString m_error;
};
