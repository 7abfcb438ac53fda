#pragma once

#include "logexcerpt.h"

#include <QObject>
#include <QString>

#include <memory>

class QTimer;

// Writes a log's text to a file beside the window. The text is taken from the log on the
// window's thread a slice at a time, none holding the window up for longer than about
// kSliceMs, and handed to a thread of its own that writes it and replaces the file once
// everything is written (LogFile::save). What is written is the log as it was when the
// save began, whatever the log does meanwhile.
class LogSaver : public QObject
{
    Q_OBJECT
public:
    static constexpr int kSliceMs = 8;

    LogSaver(LogExcerpt text, const QString &path, QObject *parent = nullptr);
    // A save still going is taken and written to its end first.
    ~LogSaver() override;

    void start();

signals:
    // The file is complete (ok), or could not be written, and why.
    void finished(bool ok, const QString &why);

private:
    void takeSlice();
    void writerDone();
    // Gives the writer a piece, and says whether more come; with the shared state locked.
    void handOver(QByteArray piece, bool last = false);

    struct Shared;
    LogExcerpt m_text;
    QString m_path;
    std::shared_ptr<Shared> m_shared;
    QTimer *m_slices = nullptr;
};
