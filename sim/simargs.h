#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Reading the parameters of the simulated module's set commands, and the small pieces
// its answers are built from. Shared by the command families of SimModule.
namespace SimArgs {

// One parameter of a set command: a quoted string (backslash escapes the next byte, so
// a name may hold '"', ',' or '\') or a bare token.
struct Arg
{
    bool quoted = false;
    QByteArray text;
};

// Splits the text after "=" at the commas outside quotes. False when a quote is left
// open or stands inside a bare token.
bool splitArgs(const QByteArray &s, QList<Arg> *args);

// A bare decimal number, optionally negative, of at most nine digits.
bool toInt(const Arg &arg, int *value);
// The same, and within low..high.
bool toInt(const Arg &arg, int *value, int low, int high);

// Names and passwords are compared and printed as the console puts them on the wire.
QByteArray gbk(const QString &text);

inline QByteArray num(qint64 n)
{
    return QByteArray::number(n);
}

} // namespace SimArgs
