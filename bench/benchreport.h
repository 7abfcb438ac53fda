#pragma once

#include "fakes.h"
#include "windowharness.h"

#include <QByteArray>

// What the benchmarks share: printing as they go, reading the process's memory and the
// machine's load, printing a message box instead of waiting on it, and the real window.

// printf to standard output, flushed at once so a long run shows its progress.
void say(const char *format, ...) __attribute__((format(printf, 1, 2)));

// A field of /proc/self/status in MB (VmRSS: resident now; VmHWM: the peak), or -1.
double statusMb(const char *field);

// Starts the peak (VmHWM) afresh from what is resident now.
void resetPeak();

// Prints a message box a benchmark came upon (RecordingMessages::seen); it never stops on one.
void printBox(const RecordingMessages::Box &box);

// The machine's load (/proc/loadavg, three figures), for reading the figures: other work on
// the same cores slows them.
QByteArray loadAverage();

// The real window, shown (offscreen unless asked otherwise), with the real serial link;
// message boxes are printed.
struct ShownWindow : WindowHarness
{
    ShownWindow();
};
