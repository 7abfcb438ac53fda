#include "commandhistory.h"

#include <utility>

void CommandHistory::remember(const QString &line)
{
    m_at = -1;
    if (line.isEmpty() || (!m_lines.isEmpty() && m_lines.constLast() == line))
        return;
    m_lines.append(line);
    if (m_lines.size() > kMaxLines)
        m_lines.removeFirst();
}

std::optional<QString> CommandHistory::older(const QString &current)
{
    if (m_lines.isEmpty() || m_at == 0)
        return std::nullopt;
    if (m_at < 0) {
        m_draft = current;
        m_at = m_lines.size();
    }
    return m_lines.at(--m_at);
}

std::optional<QString> CommandHistory::newer()
{
    if (m_at < 0)
        return std::nullopt;
    if (++m_at < m_lines.size())
        return m_lines.at(m_at);
    m_at = -1;
    return std::exchange(m_draft, QString());
}
