#pragma once

#include "messageseam.h"

// What the benchmarks share: printing as they go, reading the process's memory, and a
// message seam that prints a box instead of waiting on it.

// printf to standard output, flushed at once so a long run shows its progress.
void say(const char *format, ...) __attribute__((format(printf, 1, 2)));

// A field of /proc/self/status in MB (VmRSS: resident now; VmHWM: the peak), or -1.
double statusMb(const char *field);

// Starts the peak (VmHWM) afresh from what is resident now.
void resetPeak();

// Counts and prints every message box; a benchmark never stops on one.
class PrintedMessages : public MessageSeam
{
public:
    void warn(const QString &title, const QString &text) override { show(title, text); }
    void error(const QString &title, const QString &text, const QString &) override
    {
        show(title, text);
    }
    int shown = 0;

private:
    void show(const QString &title, const QString &text);
};
