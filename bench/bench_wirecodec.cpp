// Speed of GBK on the wire: encoding a command line and decoding received bytes in the
// chunks a serial port hands over, over Qt's own converters and over the compatibility
// module's codec (the path of Qt builds without ICU). Prints figures only.
//
//   bench_wirecodec [--mb N]    N megabytes of received text (default 16)

#include "gbkconverter.h"
#include "wirecodec.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>

namespace {

// Module replies as they come: ASCII lines with Chinese network names among them.
QString sampleText(qsizetype bytes)
{
    const QStringList lines = {
        QStringLiteral("+CWLAP:(3,\"办公室网络\",-61,\"aa:bb:cc:dd:ee:ff\",6)\r\n"),
        QStringLiteral("AT+CIPSEND=12\r\r\nOK\r\n> "),
        QStringLiteral("+IPD,0,18:你好，模块！€ 数据\r\n"),
        QStringLiteral("busy p...\r\nready\r\n"),
    };
    QString text;
    qsizetype size = 0;
    for (int i = 0; size < bytes; ++i) {
        const QString &line = lines.at(i % lines.size());
        text += line;
        size += WireCodec::byteLength(line);
    }
    return text;
}

void measure(const char *path, const GbkConverter &converter, const QString &text)
{
    QElapsedTimer timer;
    timer.start();
    const WireCodec::Encoded encoded = encodeWith(converter, text);
    const double encodeMs = timer.nsecsElapsed() / 1e6;
    const double megabytes = encoded.bytes.size() / 1e6;

    constexpr qsizetype kChunk = 4096;
    timer.restart();
    WireDecoder decoder(converter);
    qsizetype characters = 0;
    for (qsizetype at = 0; at < encoded.bytes.size(); at += kChunk)
        characters += decoder
                          .decode(QByteArrayView(encoded.bytes)
                                      .sliced(at, qMin(kChunk, encoded.bytes.size() - at)))
                          .size();
    const double decodeMs = timer.nsecsElapsed() / 1e6;

    timer.restart();
    qsizetype lineBytes = 0;
    const QString line = QStringLiteral("AT+CWJAP=\"办公室网络\",\"密码12345678\"\r\n");
    constexpr int kLines = 20000;
    for (int i = 0; i < kLines; ++i)
        lineBytes += encodeWith(converter, line).bytes.size();
    const double lineUs = timer.nsecsElapsed() / 1e3 / kLines;

    std::printf("%-9s encode %6.1f MB/s  decode (4 KB reads) %6.1f MB/s  one command line %5.2f us"
                "  [%.1f MB, %lld characters, %lld line bytes]\n",
                path, megabytes / (encodeMs / 1e3), megabytes / (decodeMs / 1e3), lineUs, megabytes,
                qlonglong(characters), qlonglong(lineBytes));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qsizetype megabytes = 16;
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--mb"));
    if (at > 0 && at + 1 < args.size())
        megabytes = qMax(1, args.at(at + 1).toInt());
    const GbkConverter *native = nativeGbkConverter();
    const GbkConverter *fallback = fallbackGbkConverter();
    if (!WireCodec::available()) {
        std::fprintf(stderr, "no GBK codec\n");
        return 1;
    }
    const QString text = sampleText(megabytes * 1000 * 1000);
    if (worksAsCodePage936(native))
        measure("native", *native, text);
    else
        std::printf("native    (Qt's own converters offer no GBK here)\n");
    if (!worksAsCodePage936(fallback)) {
        std::fprintf(stderr, "the compatibility module offers no GBK codec\n");
        return 1;
    }
    measure("fallback", *fallback, text);
    return 0;
}
