#pragma once

#include <QList>
#include <QString>

#include <optional>

// The command lines sent from the input box with Ctrl+Enter in this run, newest last, for
// Ctrl+Up and Ctrl+Down to bring back, as a shell brings back its commands. Browsing starts
// at the newest line; going newer than the newest gives back the line as it was before
// browsing began. A line equal to the newest is not kept twice in a row.
class CommandHistory
{
public:
    static constexpr qsizetype kMaxLines = 100;

    // A line was sent: kept as the newest (the oldest goes beyond kMaxLines), and browsing
    // ends.
    void remember(const QString &line);

    // Ctrl+Up: the line before the one shown, or the newest when not browsing, in which
    // case `current` is kept to come back to. Nothing when there is no older line.
    std::optional<QString> older(const QString &current);
    // Ctrl+Down: the line after the one shown; past the newest, the line kept when browsing
    // began, and browsing ends. Nothing when not browsing.
    std::optional<QString> newer();

    // The person went on elsewhere: the next Ctrl+Up starts again from the newest.
    void stopBrowsing() { m_at = -1; }
    const QList<QString> &lines() const { return m_lines; }

private:
    QList<QString> m_lines; // oldest first
    qsizetype m_at = -1;    // the line shown while browsing
    QString m_draft;        // the line as it was before browsing began
};
