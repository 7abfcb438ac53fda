#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Bytes as the simulator writes them on standard error (its traffic log, its lines about
// real connections): printable ASCII as is, everything else escaped, so that whatever
// the console or the network sends cannot drive the terminal the simulator runs in.
inline QByteArray shownBytes(QByteArrayView bytes)
{
    QByteArray text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            text += "\\r";
        else if (c == '\n')
            text += "\\n";
        else if (c == '\\')
            text += "\\\\";
        else if (u >= 0x20 && u < 0x7f)
            text += c;
        else
            text += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
    }
    return text;
}
