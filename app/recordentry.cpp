#include "recordentry.h"

#include "logrecorder.h"
#include "messageseam.h"

#include <QAction>

namespace {
}

RecordEntry::RecordEntry(LogRecorder &recorder, PickFile pickFile, MessageSeam &messages,
                         QObject *parent)
    : QObject(parent), m_recorder(recorder), m_pickFile(std::move(pickFile)), m_messages(messages),
      m_action(new QAction(this))
{
    connect(m_action, &QAction::triggered, this, &RecordEntry::chosen);
    connect(&m_recorder, &LogRecorder::failed, this, &RecordEntry::failed);
    showState();
}

void RecordEntry::chosen()
{
    if (m_recorder.recording()) {
        m_recorder.stop();
        showState();
        return;
    }
    const QString path = m_pickFile();
    if (path.isEmpty())
        return;
    QString why;
    if (!m_recorder.start(path, &why))
        m_messages.error(MessageSeam::kErrorTitle, QStringLiteral("无法记录到文件 %1：%2").arg(path, why));
    showState();
}

void RecordEntry::failed(const QString &path, const QString &why)
{
    showState();
    m_messages.error(MessageSeam::kErrorTitle,
                     QStringLiteral("记录到文件 %1 失败，已停止记录：%2").arg(path, why));
}

void RecordEntry::showState()
{
    m_action->setText(m_recorder.recording() ? QStringLiteral("停止记录到文件")
                                             : QStringLiteral("记录到文件…"));
}
