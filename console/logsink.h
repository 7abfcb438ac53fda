#pragma once

#include <QString>

// Where a log's new text goes. Text uses "\n" for a line break. After each append the
// log's caret stands at the end of its text.
class LogSink
{
public:
    virtual ~LogSink() = default;
    virtual void appendText(const QString &text) = 0;
};
