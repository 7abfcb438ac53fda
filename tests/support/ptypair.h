#pragma once

#include "rawpty.h"

#include <QByteArray>
#include <QString>

// A real pseudo-terminal for tests: the console opens the slave side by its path as a
// serial port, the test plays the far side on the master.
class PtyPair
{
public:
    bool isValid() const { return m_pty.isValid(); }
    QString slavePath() const { return m_pty.slavePath(); }

    // Writes all bytes to the master side (what the module sends).
    bool write(const QByteArray &bytes);
    // Reads what has arrived on the master side (what the console sent), waiting up to
    // timeoutMs for the first byte and then until no more comes for quietMs.
    QByteArray read(int timeoutMs = 1000, int quietMs = 50);
    // Reads until exactly `count` bytes have arrived or timeoutMs passes.
    QByteArray readExactly(qsizetype count, int timeoutMs = 2000);
    // The line settings the console gave the terminal: the speed as a plain number (a
    // speed outside the classic table too) and whether it sends two stop bits. Zero speed
    // when they cannot be read.
    struct Line
    {
        qint64 speed = 0;      // output
        qint64 inputSpeed = 0;
        bool twoStopBits = false;
    };
    Line line() const;
    // Closes the master side: the slave side sees the device gone.
    void closeMaster() { m_pty.close(); }

private:
    RawPty m_pty{RawPty::Master::NonBlocking};
};
