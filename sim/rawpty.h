#pragma once

#include <QString>

// Opens a pseudo-terminal and returns its master side, raw both ways so every byte passes
// unchanged (CR and LF untouched). A program opens the slave side by its path as a serial
// port. On failure the result's master is -1 and error says which step failed. POSIX only.
struct RawPty
{
    int master = -1;
    QString slavePath;
    QString error;
};

RawPty openRawPty(bool nonBlocking);
