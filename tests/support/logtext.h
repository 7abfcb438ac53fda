#pragma once

// What a log holds, read as a copy or a save reads it: through the log's excerpts.

#include "logview.h"

#include <QString>

#include <limits>

// The text appended to the log, exactly, text not shown yet included.
inline QString loggedText(const LogView &log)
{
    return log.excerpt().readAll();
}

// The same with every line end (CR LF, CR, LF) given as "\n".
inline QString shownText(const LogView &log)
{
    LogExcerpt text = log.excerpt();
    text.setLineEndsAsLf(true);
    return text.readAll();
}

// The text appended that the document's characters [from, to) show.
inline QString loggedText(const LogView &log, int from, int to, bool lineEndsAsLf = false)
{
    LogExcerpt text = log.excerpt(from, to);
    text.setLineEndsAsLf(lineEndsAsLf);
    return text.readAll();
}

// Whether everything appended is shown: the whole log is no more than its document. Costs
// nothing to ask, whatever the log holds.
inline bool everythingShown(const LogView &log)
{
    return log.excerpt().leastUtf8Bytes() ==
           log.excerpt(0, std::numeric_limits<int>::max()).leastUtf8Bytes();
}
