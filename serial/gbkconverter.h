#pragma once

#include "wirecodec.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <memory>

class QTextCodec;

// The seam between the wire codec and the library that knows GBK's characters. The codec
// (wirecodec.cpp) does what is the same whatever library does the work: ASCII, surrogates,
// which characters go out as "?", the text as it went, the stray 0xFF. A converter only
// turns characters into GBK bytes and back.

// Encodes one character at a time, for a text the converter could not encode whole.
class GbkCharacterEncoder
{
public:
    virtual ~GbkCharacterEncoder() = default;
    // Appends the bytes of one character outside ASCII (a character of the basic plane, or
    // a surrogate pair) and returns true; or appends nothing and returns false when GBK
    // has no such character.
    virtual bool append(QStringView character, QByteArray *bytes) = 0;
};

// Decodes a byte stream that arrives in pieces: a two-byte character split between two
// pieces comes out whole; bytes that are not GBK come out as U+FFFD.
class GbkStreamDecoder
{
public:
    virtual ~GbkStreamDecoder() = default;
    virtual QString decode(QByteArrayView bytes) = 0;
};

class GbkConverter
{
public:
    virtual ~GbkConverter() = default;
    // Encodes the whole text into *bytes and returns true when every character went out
    // as itself; false (and *bytes undefined) when the text needs encoding by character.
    virtual bool encodeWhole(const QString &text, QByteArray *bytes) const = 0;
    virtual std::unique_ptr<GbkCharacterEncoder> characterEncoder() const = 0;
    virtual std::unique_ptr<GbkStreamDecoder> streamDecoder() const = 0;
};

// Qt's own converters, which offer GBK where Qt is built with ICU; null elsewhere.
const GbkConverter *nativeGbkConverter();

// The GBK codec of Qt's compatibility module (Qt's usual Windows and macOS builds have no
// GBK of their own); null where that module has none.
const GbkConverter *fallbackGbkConverter();
// The same over a codec of that module's kind given by the caller.
std::unique_ptr<GbkConverter> fallbackGbkConverterOver(const QTextCodec *codec);

// What the codec falls back to where no converter works (the console then refuses to
// start): ASCII only, every other character "?", every byte outside ASCII U+FFFD.
const GbkConverter &asciiOnlyGbkConverter();

// The converter the program's codec uses, chosen once, at the first use: the first of
// Qt's own converters and the compatibility module's that encodes and decodes as code
// page 936, or null.
const GbkConverter *wireGbkConverter();

// The codec's work with a given converter: WireCodec::encode is this with
// wireGbkConverter() (or the ASCII-only one), and WireDecoder has a constructor that
// takes one. Suites and benchmarks run every converter through here.
WireCodec::Encoded encodeWith(const GbkConverter &converter, const QString &text);
// True when the converter encodes and decodes as code page 936 (false for null).
bool worksAsCodePage936(const GbkConverter *converter);
