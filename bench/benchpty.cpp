#include "benchpty.h"

#include "rawpty.h"

#include <unistd.h>

BenchPty::BenchPty()
{
    // The master stays blocking, so the writer thread goes exactly as fast as the window reads.
    const RawPty pty = openRawPty(false);
    m_master = pty.master;
    m_slavePath = pty.slavePath;
}

BenchPty::~BenchPty()
{
    if (m_master >= 0)
        ::close(m_master);
}
