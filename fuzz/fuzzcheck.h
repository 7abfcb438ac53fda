#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>

// A broken property: say which, show the two sides, and stop so that libFuzzer saves the
// input that broke it.
[[noreturn]] inline void propertyBroken(const char *property, const QByteArray &expected,
                                        const QByteArray &actual)
{
    std::fprintf(stderr, "property broken: %s\n  expected: %s\n  actual:   %s\n", property,
                 expected.toPercentEncoding(" ").left(2000).constData(),
                 actual.toPercentEncoding(" ").left(2000).constData());
    std::abort();
}

inline void check(bool holds, const char *property, const QByteArray &expected = {},
                  const QByteArray &actual = {})
{
    if (!holds)
        propertyBroken(property, expected, actual);
}
