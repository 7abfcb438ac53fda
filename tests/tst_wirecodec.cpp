#include "gbkconverter.h"
#include "wirecodec.h"

#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTextCodec>
#include <QtTest>

namespace {

QString fromUnits(std::initializer_list<char16_t> units)
{
    QString text;
    for (char16_t unit : units)
        text.append(QChar(unit));
    return text;
}

QString describe(const QString &text)
{
    QStringList parts;
    for (QChar c : text)
        parts.append(QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper());
    return parts.join(QLatin1Char(' '));
}

// A GBK codec with the habits a codec on tables of its own can have (Qt's without ICU is
// one): the euro sign is a two-byte character, the byte 0x80 is no character, a byte that
// cannot follow a lead byte is lost together with it, and a character it cannot encode
// becomes "?", a surrogate pair two of them. Its two-byte characters are the platform's GBK.
class OwnTablesGbkCodec : public QTextCodec
{
public:
    QByteArray name() const override { return "GBK"; }
    QList<QByteArray> aliases() const override { return {"CP936", "MS936", "windows-936"}; }
    int mibEnum() const override { return 113; }

protected:
    QString convertToUnicode(const char *in, int length, ConverterState *state) const override
    {
        const QChar bad(QChar::ReplacementCharacter);
        int lead = state && state->remainingChars ? int(state->state_data[0]) : -1;
        QString out;
        for (int i = 0; i < length; ++i) {
            const uchar byte = uchar(in[i]);
            if (lead < 0) {
                if (byte < 0x80)
                    out += QChar(byte);
                else if (byte >= 0x81 && byte <= 0xFE)
                    lead = byte;
                else
                    out += bad;
                continue;
            }
            if (byte >= 0x40 && byte <= 0xFE && byte != 0x7F) {
                const char pair[2] = {char(lead), char(byte)};
                QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
                const QString one = decoder.decode(QByteArrayView(pair, 2));
                out += one.size() == 1 && !decoder.hasError() ? one.at(0) : bad;
            } else {
                out += bad;
            }
            lead = -1;
        }
        if (state) {
            state->remainingChars = lead >= 0 ? 1 : 0;
            state->state_data[0] = lead >= 0 ? uint(lead) : 0;
        }
        return out;
    }

    QByteArray convertFromUnicode(const QChar *in, int length, ConverterState *state) const override
    {
        QByteArray out;
        for (int i = 0; i < length; ++i) {
            const char16_t unit = in[i].unicode();
            if (unit < 0x80) {
                out += char(unit);
                continue;
            }
            if (unit == 0x20AC) {
                out += "\xA2\xE3";
                continue;
            }
            QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
            const QByteArray bytes = encoder.encode(QStringView(in + i, 1));
            if (bytes.size() == 2 && !encoder.hasError()) {
                out += bytes;
            } else {
                out += '?';
                if (state)
                    ++state->invalidChars;
            }
        }
        return out;
    }
};

// The converter this run tests (see initTestCase), and what it owns when it is the
// suite's own stand-in.
const GbkConverter *g_converter = nullptr;
std::unique_ptr<GbkConverter> g_standIn;

WireCodec::Encoded onWire(const QString &text)
{
    return encodeWith(*g_converter, text);
}

struct Decoder : WireDecoder
{
    Decoder() : WireDecoder(*g_converter) {}
};

} // namespace

class Tst_wirecodec : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void gbkIsAvailable();

    void encode_data();
    void encode();

    void everyBmpCharacterGoesOutWholeOrAsQuestionMark();
    void randomTextShowsWhatTheWireCarries();

    void decode_data();
    void decode();

    void highByteBeforeAscii_data();
    void highByteBeforeAscii();

    void everyTwoByteCharacterDecodesToOneCharacter();

    void splitReadsDecodeAsWhole_data();
    void splitReadsDecodeAsWhole();

    void bootGarbageNeverSwallowsReady();

    void withoutGbkOnlyAsciiPasses();
};

// The suite runs three times: over Qt's own converters, the program's choice here; with
// QUORLIN_WIRECODEC=fallback over the compatibility module's codec, the path of Qt builds
// without ICU (on a Qt with ICU that codec is ICU's too); and with
// QUORLIN_WIRECODEC=fallback-own-tables over that path with a codec that has the habits of
// Qt's own GBK tables, which this Qt does not carry.
void Tst_wirecodec::initTestCase()
{
    const QString wanted = qEnvironmentVariable("QUORLIN_WIRECODEC");
    if (wanted == QLatin1String("fallback-own-tables")) {
        static const OwnTablesGbkCodec codec;
        g_standIn = fallbackGbkConverterOver(&codec);
        g_converter = g_standIn.get();
    } else if (wanted == QLatin1String("fallback")) {
        g_converter = fallbackGbkConverter();
    } else {
        QVERIFY2(wanted.isEmpty(), qPrintable(QStringLiteral("unknown codec path ") + wanted));
        g_converter = nativeGbkConverter();
        QVERIFY2(g_converter && wireGbkConverter() == g_converter,
                 "the program does not use Qt's own converters where they offer GBK");
    }
    QVERIFY2(g_converter, "this run's codec path is not there");
    QVERIFY2(worksAsCodePage936(g_converter), "this run's converter is not code page 936");
}

void Tst_wirecodec::gbkIsAvailable()
{
    QVERIFY2(WireCodec::available(),
             "This Qt offers no GBK codec (or not the code page 936 one): the console cannot "
             "talk to the module. Install a Qt built with ICU, or Qt's Core5Compat module.");
}

void Tst_wirecodec::encode_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QByteArray>("bytesHex");
    QTest::addColumn<QString>("shown");

    QTest::newRow("AT command is one byte a character")
        << QStringLiteral("AT+CWJAP=\"net\",\"pw\"")
        << QByteArray("41542b43574a41503d226e6574222c22707722")
        << QStringLiteral("AT+CWJAP=\"net\",\"pw\"");
    QTest::newRow("Chinese character is two bytes")
        << QStringLiteral("测试AT") << QByteArray("b2e2cad44154") << QStringLiteral("测试AT");
    QTest::newRow("euro sign is the single byte 0x80")
        << QStringLiteral("€") << QByteArray("80") << QStringLiteral("€");
    QTest::newRow("u with diaeresis from the pinyin row")
        << QStringLiteral("ü") << QByteArray("a8b9") << QStringLiteral("ü");
    QTest::newRow("ideographic space is two bytes")
        << fromUnits({0x3000}) << QByteArray("a1a1") << fromUnits({0x3000});
    QTest::newRow("emoji outside GBK is one question mark")
        << QStringLiteral("a\U0001F600b") << QByteArray("613f62") << QStringLiteral("a?b");
    QTest::newRow("mixed text: emoji, euro, pinyin")
        << QStringLiteral("a\U0001F600b€ü") << QByteArray("613f6280a8b9")
        << QStringLiteral("a?b€ü");
    QTest::newRow("zero-width space the library drops silently")
        << QStringLiteral("a\u200Bb") << QByteArray("613f62") << QStringLiteral("a?b");
    QTest::newRow("byte order mark the library drops silently")
        << QStringLiteral("\uFEFFAT") << QByteArray("3f4154") << QStringLiteral("?AT");
    QTest::newRow("soft hyphen the library drops silently")
        << QStringLiteral("a\u00ADb") << QByteArray("613f62") << QStringLiteral("a?b");
    QTest::newRow("variation selector after a Chinese character")
        << QStringLiteral("中\uFE0F") << QByteArray("d6d03f") << QStringLiteral("中?");
    QTest::newRow("lone high surrogate at the very end")
        << fromUnits({'a', 0xD800}) << QByteArray("613f") << QStringLiteral("a?");
    QTest::newRow("lone high surrogate in the middle")
        << fromUnits({'a', 0xD800, 'b'}) << QByteArray("613f62") << QStringLiteral("a?b");
    QTest::newRow("lone low surrogate at the start")
        << fromUnits({0xDC00, 'x'}) << QByteArray("3f78") << QStringLiteral("?x");
    QTest::newRow("reversed surrogate pair is two characters")
        << fromUnits({0xDC00, 0xD800}) << QByteArray("3f3f") << QStringLiteral("??");
    QTest::newRow("high surrogate before a Chinese character keeps the character")
        << fromUnits({0xD83D, 0x4E2D}) << QByteArray("3fd6d0") << QStringLiteral("?中");
    QTest::newRow("replacement character is not GBK")
        << fromUnits({0xFFFD}) << QByteArray("3f") << QStringLiteral("?");
    QTest::newRow("private-use U+F8F5 never puts 0xFF on the wire")
        << fromUnits({'a', 0xF8F5, 'b'}) << QByteArray("613f62") << QStringLiteral("a?b");
    QTest::newRow("user-defined area character keeps its bytes")
        << fromUnits({0xE000}) << QByteArray("aaa1") << fromUnits({0xE000});
    QTest::newRow("Thai letter is not GBK")
        << fromUnits({0x0E01}) << QByteArray("3f") << QStringLiteral("?");
    QTest::newRow("ideograph beyond the basic plane is not GBK")
        << QStringLiteral("\U00020000") << QByteArray("3f") << QStringLiteral("?");
    QTest::newRow("literal question mark stays one")
        << QStringLiteral("AT?") << QByteArray("41543f") << QStringLiteral("AT?");
    QTest::newRow("literal question marks around an unencodable")
        << QStringLiteral("?\U0001F600?") << QByteArray("3f3f3f") << QStringLiteral("???");
    QTest::newRow("control characters go out as they are")
        << QStringLiteral("\r\n\t\x1a") << QByteArray("0d0a091a") << QStringLiteral("\r\n\t\x1a");
    QTest::newRow("empty text is no bytes") << QString() << QByteArray() << QString();
    QTest::newRow("Chinese text with one emoji keeps every other character")
        << QStringLiteral("你好\U0001F44B世界") << QByteArray("c4e3bac33fcac0bde7")
        << QStringLiteral("你好?世界");
}

void Tst_wirecodec::encode()
{
    QFETCH(QString, input);
    QFETCH(QByteArray, bytesHex);
    QFETCH(QString, shown);

    const WireCodec::Encoded encoded = onWire(input);
    QCOMPARE(encoded.bytes.toHex(), bytesHex);
    QCOMPARE(encoded.text, shown);
    if (g_converter == wireGbkConverter())
        QCOMPARE(WireCodec::byteLength(input), bytesHex.size() / 2);
    // Log, wire and count agree: the bytes read back are the text that was shown.
    QCOMPARE(Decoder().decode(encoded.bytes), shown);
}

void Tst_wirecodec::everyBmpCharacterGoesOutWholeOrAsQuestionMark()
{
    int encodable = 0;
    for (uint code = 0x80; code <= 0xFFFF; ++code) {
        const QString input{QChar(char16_t(code))};
        const WireCodec::Encoded encoded = onWire(input);
        const QString what = describe(input);
        if (encoded.text == input) {
            ++encodable;
            QVERIFY2(encoded.bytes.size() == 1 || encoded.bytes.size() == 2, qPrintable(what));
            QVERIFY2(Decoder().decode(encoded.bytes) == input, qPrintable(what));
        } else {
            QVERIFY2(encoded.text == QStringLiteral("?"), qPrintable(what));
            QVERIFY2(encoded.bytes == QByteArrayLiteral("?"), qPrintable(what));
        }
    }
    // GBK has 21886 characters plus its user-defined areas; far fewer means a wrong codec.
    QVERIFY2(encodable > 21000, qPrintable(QString::number(encodable)));
    QVERIFY2(encodable < 30000, qPrintable(QString::number(encodable)));
}

void Tst_wirecodec::randomTextShowsWhatTheWireCarries()
{
    // Characters the encoder must treat in every way: ASCII, Chinese, euro, user-defined,
    // emoji (pairs), lone halves of pairs, invisible ones the library drops, U+F8F5.
    const QList<QString> pieces = {
        QStringLiteral("A"),    QStringLiteral("?"),          QStringLiteral(" "),
        QStringLiteral("\r\n"), QStringLiteral("中"),         QStringLiteral("€"),
        fromUnits({0xE000}),    QStringLiteral("\U0001F600"), fromUnits({0xD83D}),
        fromUnits({0xDE00}),    QStringLiteral("\u200B"),     QStringLiteral("\uFE0F"),
        fromUnits({0xF8F5}),    QStringLiteral("ü"),          fromUnits({0x0E01}),
    };
    QRandomGenerator random(20240611);
    for (int round = 0; round < 2000; ++round) {
        QString input;
        const int count = random.bounded(0, 12);
        for (int i = 0; i < count; ++i)
            input += pieces.at(random.bounded(int(pieces.size())));
        const WireCodec::Encoded encoded = onWire(input);
        const QString what = describe(input);
        QVERIFY2(Decoder().decode(encoded.bytes) == encoded.text, qPrintable(what));
        QVERIFY2(g_converter != wireGbkConverter() ||
                     WireCodec::byteLength(input) == encoded.bytes.size(),
                 qPrintable(what));
        QVERIFY2(encoded.text.size() <= input.size(), qPrintable(what));
        QVERIFY2(!encoded.bytes.contains('\xFF'), qPrintable(what));
        // Every "?" shown is a "?" sent, and no character is lost: each code point of the
        // input is either kept or stands as one "?".
        QCOMPARE(encoded.text.count(QLatin1Char('?')), encoded.bytes.count('?'));
        QCOMPARE(encoded.text.toUcs4().size(), input.toUcs4().size());
    }
}

void Tst_wirecodec::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    const QString bad(QChar(QChar::ReplacementCharacter));

    QTest::newRow("ASCII passes unchanged")
        << QByteArray("\r\nOK\r\n") << QStringLiteral("\r\nOK\r\n");
    QTest::newRow("Chinese characters") << QByteArray("\xC4\xE3\xBA\xC3") << QStringLiteral("你好");
    QTest::newRow("byte 0x80 is the euro sign") << QByteArray("\x80") << QStringLiteral("€");
    QTest::newRow("lone 0xFF is no GBK, not a private-use character") << QByteArray("\xFF") << bad;
    QTest::newRow("0xFF before ASCII") << QByteArray("\xFF\x41") << bad + QStringLiteral("A");
    QTest::newRow("two 0xFF are two replacements") << QByteArray("\xFF\xFF") << bad + bad;
    QTest::newRow("lead byte before CR keeps the CR")
        << QByteArray("\x81\rready") << bad + QStringLiteral("\rready");
    QTest::newRow("lead byte before a digit keeps the digit (GBK has no four-byte form)")
        << QByteArray("\x81\x30") << bad + QStringLiteral("0");
    QTest::newRow("lead byte before DEL keeps the DEL")
        << QByteArray("\x81\x7F") << bad + QStringLiteral("\x7F");
    QTest::newRow("lead byte before 0xFF is two replacements")
        << QByteArray("\x81\xFF") << bad + bad;
    QTest::newRow("lead byte before NUL keeps the NUL")
        << QByteArray("\xFE\x00\x41", 3) << bad + QChar(u'\0') + QStringLiteral("A");
    QTest::newRow("user-defined area AAA1 stays private-use")
        << QByteArray("\xAA\xA1") << fromUnits({0xE000});
    QTest::newRow("user-defined area F8A1 stays private-use")
        << QByteArray("\xF8\xA1") << fromUnits({0xE234});
    QTest::newRow("user-defined area A140 stays private-use")
        << QByteArray("\xA1\x40") << fromUnits({0xE4C6});
    QTest::newRow("ideographic space") << QByteArray("\xA1\xA1") << fromUnits({0x3000});
    QTest::newRow("SUB control byte is itself") << QByteArray("\x1A") << fromUnits({0x1A});
    QTest::newRow("lead byte at the very end waits for its partner")
        << QByteArray("OK\xD6") << QStringLiteral("OK");
}

void Tst_wirecodec::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(describe(Decoder().decode(bytes)), describe(expected));
}

void Tst_wirecodec::highByteBeforeAscii_data()
{
    QTest::addColumn<int>("byte");
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const QByteArray name = QByteArray("byte 0x") + QByteArray::number(byte, 16);
        QTest::newRow(name.constData()) << byte;
    }
}

// Every high byte, alone and followed by ASCII: a lead byte followed by "A" (a valid
// second byte) is one character; followed by CR LF it is no GBK and the CR LF survives.
void Tst_wirecodec::highByteBeforeAscii()
{
    QFETCH(int, byte);
    const QByteArray high(1, char(byte));
    const QString bad(QChar(QChar::ReplacementCharacter));
    const bool isLead = byte >= 0x81 && byte <= 0xFE;

    const QString beforeCrLf = Decoder().decode(high + "\r\nready\r\n");
    const QString beforeA = Decoder().decode(high + "A");
    if (byte == 0x80) {
        QCOMPARE(beforeCrLf, QStringLiteral("€\r\nready\r\n"));
        QCOMPARE(beforeA, QStringLiteral("€A"));
    } else if (byte == 0xFF) {
        QCOMPARE(describe(beforeCrLf), describe(bad + QStringLiteral("\r\nready\r\n")));
        QCOMPARE(describe(beforeA), describe(bad + QStringLiteral("A")));
    } else {
        QVERIFY(isLead);
        QCOMPARE(describe(beforeCrLf), describe(bad + QStringLiteral("\r\nready\r\n")));
        QCOMPARE(beforeA.size(), 1);
        QVERIFY(beforeA.at(0) != QChar(QChar::ReplacementCharacter));
        QVERIFY(beforeA.at(0).unicode() >= 0x80);
    }

    // Alone: a lead byte is held for its partner; the others show at once.
    Decoder decoder;
    const QString alone = decoder.decode(high);
    if (isLead) {
        QCOMPARE(alone, QString());
        QCOMPARE(describe(decoder.decode("\n")), describe(bad + QStringLiteral("\n")));
    } else {
        QCOMPARE(alone.size(), 1);
        QCOMPARE(alone.at(0), byte == 0x80 ? QChar(0x20AC) : QChar(QChar::ReplacementCharacter));
    }
}

void Tst_wirecodec::everyTwoByteCharacterDecodesToOneCharacter()
{
    // Code page 936 assigns its whole two-byte grid (the user-defined areas as private-use
    // characters): each pair is one character, never a replacement, never U+F8F5.
    int privateUse = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            QByteArray pair;
            pair.append(char(lead));
            pair.append(char(trail));
            const QString text = Decoder().decode(pair);
            const QByteArray what = pair.toHex();
            QVERIFY2(text.size() == 1, what.constData());
            const char16_t unit = text.at(0).unicode();
            QVERIFY2(unit != QChar::ReplacementCharacter, what.constData());
            QVERIFY2(unit != WireCodec::kStrayFfCharacter, what.constData());
            QVERIFY2(unit >= 0x80, what.constData());
            if (unit >= 0xE000 && unit <= 0xF8FF)
                ++privateUse;
        }
    }
    // The three user-defined areas alone hold 564 + 658 + 672 positions.
    QVERIFY2(privateUse >= 1894, qPrintable(QString::number(privateUse)));
}

void Tst_wirecodec::splitReadsDecodeAsWhole_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    const QString bad(QChar(QChar::ReplacementCharacter));
    QTest::newRow("Chinese text") << QByteArray("OK \xC4\xE3\xBA\xC3\r\n")
                                  << QStringLiteral("OK 你好\r\n");
    QTest::newRow("lead byte then CR LF ready")
        << QByteArray("\x81\r\nready\r\n") << bad + QStringLiteral("\r\nready\r\n");
    QTest::newRow("lead byte then 0xFF")
        << QByteArray("a\x81\xFF\x62") << QStringLiteral("a") + bad + bad + QStringLiteral("b");
    QTest::newRow("euro then Chinese") << QByteArray("\x80\xD6\xD0\x80") << QStringLiteral("€中€");
    QTest::newRow("user-defined area between ASCII")
        << QByteArray("x\xAA\xA1y")
        << QStringLiteral("x") + fromUnits({0xE000}) + QStringLiteral("y");
}

// The text must not depend on where a read ends: cut the bytes at every position.
void Tst_wirecodec::splitReadsDecodeAsWhole()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(describe(Decoder().decode(bytes)), describe(expected));
    for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
        Decoder decoder;
        QString text = decoder.decode(QByteArrayView(bytes).first(cut));
        text += decoder.decode(QByteArrayView(bytes).sliced(cut));
        QVERIFY2(text == expected,
                 qPrintable(QStringLiteral("cut at %1: ").arg(cut) + describe(text)));
    }
    // And one byte at a time.
    Decoder decoder;
    QString text;
    for (char byte : bytes)
        text += decoder.decode(QByteArrayView(&byte, 1));
    QCOMPARE(describe(text), describe(expected));
}

void Tst_wirecodec::bootGarbageNeverSwallowsReady()
{
    // Boot output at another line speed is arbitrary bytes; the line after it must show.
    for (quint32 seed = 1; seed <= 300; ++seed) {
        QRandomGenerator random(seed);
        QByteArray garbage(random.bounded(1, 400), Qt::Uninitialized);
        for (char &byte : garbage)
            byte = char(random.bounded(256));
        const QString text = Decoder().decode(garbage + "\r\nready\r\n");
        QVERIFY2(text.endsWith(QStringLiteral("\r\nready\r\n")),
                 qPrintable(QStringLiteral("seed %1").arg(seed)));
        QVERIFY2(!text.contains(QChar(WireCodec::kStrayFfCharacter)),
                 qPrintable(QStringLiteral("seed %1").arg(seed)));
    }
}

void Tst_wirecodec::withoutGbkOnlyAsciiPasses()
{
    const GbkConverter &asciiOnly = asciiOnlyGbkConverter();
    QVERIFY(!worksAsCodePage936(&asciiOnly));
    const WireCodec::Encoded encoded =
        encodeWith(asciiOnly, QStringLiteral("AT+CWSAP=\"中\"\r\n"));
    QCOMPARE(encoded.bytes, QByteArray("AT+CWSAP=\"?\"\r\n"));
    QCOMPARE(encoded.text, QStringLiteral("AT+CWSAP=\"?\"\r\n"));
    QCOMPARE(describe(WireDecoder(asciiOnly).decode("OK\xD6\xD0\r\n")),
             describe(QStringLiteral("OK\uFFFD\uFFFD\r\n")));
}

QTEST_MAIN(Tst_wirecodec)
#include "tst_wirecodec.moc"
