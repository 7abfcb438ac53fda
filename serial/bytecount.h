#pragma once

#include <QString>

// A traffic counter: a whole number of bytes, shown as plain decimal digits.
// 64 bits do not wrap in any run a person can make.
class ByteCount
{
public:
    void add(quint64 bytes) { m_value += bytes; }
    void reset() { m_value = 0; }
    // Takes back bytes that were counted but never went out. They are the last ones
    // counted, so after a reset at most the count since then is taken back.
    void takeBack(quint64 bytes) { m_value -= qMin(bytes, m_value); }
    quint64 value() const { return m_value; }
    QString text() const { return QString::number(m_value); }

private:
    quint64 m_value = 0;
};
