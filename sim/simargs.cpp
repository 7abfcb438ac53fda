#include "simargs.h"

#include "wirecodec.h"

#include <QByteArrayView>

namespace SimArgs {

QByteArray gbk(const QString &text)
{
    return WireCodec::encode(text).bytes;
}

bool splitArgs(const QByteArray &s, QList<Arg> *args)
{
    args->clear();
    const qsizetype n = s.size();
    qsizetype i = 0;
    for (;;) {
        Arg arg;
        if (i < n && s[i] == '"') {
            arg.quoted = true;
            ++i;
            bool closed = false;
            while (i < n) {
                const char c = s[i++];
                if (c == '\\' && i < n) {
                    arg.text.append(s[i++]);
                    continue;
                }
                if (c == '"') {
                    closed = true;
                    break;
                }
                arg.text.append(c);
            }
            if (!closed)
                return false;
        } else {
            while (i < n && s[i] != ',')
                arg.text.append(s[i++]);
            if (arg.text.contains('"'))
                return false;
        }
        args->append(arg);
        if (i == n)
            return true;
        if (s[i] != ',')
            return false;
        ++i;
    }
}

bool toInt(const Arg &arg, int *value)
{
    if (arg.quoted)
        return false;
    QByteArrayView digits(arg.text);
    const bool negative = digits.startsWith('-');
    if (negative)
        digits = digits.sliced(1);
    if (digits.isEmpty() || digits.size() > 9)
        return false;
    int v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *value = negative ? -v : v;
    return true;
}

bool toInt(const Arg &arg, int *value, int low, int high)
{
    return toInt(arg, value) && *value >= low && *value <= high;
}

} // namespace SimArgs
