#pragma once

#include "fakes.h"

// What the benchmarks share: printing as they go, reading the process's memory, and
// printing a message box instead of waiting on it.

// printf to standard output, flushed at once so a long run shows its progress.
void say(const char *format, ...) __attribute__((format(printf, 1, 2)));

// A field of /proc/self/status in MB (VmRSS: resident now; VmHWM: the peak), or -1.
double statusMb(const char *field);

// Starts the peak (VmHWM) afresh from what is resident now.
void resetPeak();

// Prints a message box a benchmark came upon (RecordingMessages::seen); it never stops on one.
void printBox(const RecordingMessages::Box &box);
