#pragma once

#include <QString>

// A pseudo-terminal for the benchmark: the window opens the slave side by its path, the
// benchmark plays the module on the master side, which stays blocking so a writer thread
// goes exactly as fast as the window reads.
class BenchPty
{
public:
    BenchPty();
    ~BenchPty();
    BenchPty(const BenchPty &) = delete;
    BenchPty &operator=(const BenchPty &) = delete;

    bool isValid() const { return m_master >= 0; }
    int masterFd() const { return m_master; }
    QString slavePath() const { return m_slavePath; }

private:
    int m_master = -1;
    QString m_slavePath;
};
