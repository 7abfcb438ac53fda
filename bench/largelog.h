#pragma once

#include <QString>
#include <QStringList>

class LogView;

// A large log for the benchmarks: filled with module-like lines, and what must come back
// out of it (by a copy, a save, another program pasting it) compared byte for byte.
namespace LargeLog {

// Bytes, counted and hashed in order, and the lines they hold.
struct Bytes
{
    quint64 size = 0;
    quint64 hash = 14695981039346656037ull;
    quint64 lines = 0;

    void add(const char *data, qsizetype size);
    bool operator==(const Bytes &other) const
    {
        return size == other.size && hash == other.hash;
    }
};

// Fills the log as the receive path does, appends of a few kilobytes shown in slices, with
// module-like CR LF lines (now and then Chinese text) up to `bytes` of UTF-8: the bytes a
// copy or a save of the whole log must give back.
Bytes fill(LogView *log, quint64 bytes);

// What a file holds, read in pieces.
Bytes readFile(const QString &path);

// Runs xclip with args, its output to outPath, and turns the event loop (which serves the
// clipboard) until it ends. The time it took in seconds, or -1.
double runXclip(const QStringList &args, const QString &outPath);

// xclip's arguments that paste the clipboard as UTF-8 text.
QStringList pasteArgs();

} // namespace LargeLog
