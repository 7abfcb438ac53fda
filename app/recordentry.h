#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QAction;
class LogRecorder;
class MessageSeam;

// "记录到文件…" in a log's context menu: the person picks a file, and from then on everything
// the log gets is also appended to it, until they choose "停止记录到文件", a write fails (one
// box says why) or the window closes.
class RecordEntry : public QObject
{
    Q_OBJECT
public:
    // Asks for the file; empty when the person changed their mind.
    using PickFile = std::function<QString()>;

    RecordEntry(LogRecorder &recorder, PickFile pickFile, MessageSeam &messages,
                QObject *parent = nullptr);

    QAction *action() const { return m_action; }

private:
    void chosen();
    void failed(const QString &path, const QString &why);
    void showState();

    LogRecorder &m_recorder;
    PickFile m_pickFile;
    MessageSeam &m_messages;
    QAction *m_action = nullptr;
};
