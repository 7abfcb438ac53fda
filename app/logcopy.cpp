#include "logcopy.h"

namespace {

const QString kTextPlain = QStringLiteral("text/plain");

} // namespace

QStringList LogCopy::formats() const
{
    return {kTextPlain};
}

bool LogCopy::hasFormat(const QString &mimeType) const
{
    return mimeType == kTextPlain;
}

QVariant LogCopy::retrieveData(const QString &mimeType, QMetaType type) const
{
    if (mimeType != kTextPlain)
        return {};
    // Text asked for in this program comes as characters, made for each request; the bytes
    // another program asks for, perhaps more than once, are made once.
    if (type.id() == QMetaType::QString && !m_made)
        return LogExcerpt(m_text).readAll();
    if (!m_made) {
        m_utf8 = LogExcerpt(m_text).readAllUtf8();
        m_made = true;
    }
    return m_utf8;
}
