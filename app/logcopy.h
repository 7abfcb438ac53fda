#pragma once

#include "logexcerpt.h"

#include <QMimeData>

// What a copy, a selection or a drag of a log hands over: the selected text exactly as it
// was appended, made only when a program pasting it asks for it (and then once), so that
// selecting or copying the whole of a large log costs nothing at the time. Offered as
// "text/plain" in UTF-8.
class LogCopy : public QMimeData
{
    Q_OBJECT
public:
    explicit LogCopy(LogExcerpt text) : m_text(std::move(text)) {}

    // The text from its start, for handing it over a piece at a time.
    const LogExcerpt &text() const { return m_text; }

    QStringList formats() const override;
    bool hasFormat(const QString &mimeType) const override;

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override;

private:
    LogExcerpt m_text;
    mutable QByteArray m_utf8;
    mutable bool m_made = false;
};
