// The receive path: what the receive log shows depends only on the bytes received and on
// where among them the encoding changed, never on how the line split them into reads. The
// same bytes go through ReceiveText whole and cut at points the fuzzer chooses, GBK or UTF-8
// first and the other from a point it chooses; both must show the same text, and stay in
// step afterwards.
#include "fuzzcheck.h"
#include "receivetext.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

namespace {

using Encoding = ReceiveDecoder::Encoding;

// Feeds bytes [from, to) in reads of the given lengths (the last read takes the rest).
QString feed(ReceiveText &receive, const std::string &bytes, size_t from, size_t to,
             const std::vector<size_t> &pieces)
{
    QString text;
    for (size_t piece : pieces) {
        piece = std::min(piece, to - from);
        text += receive.feed(QByteArrayView(bytes.data() + from, qsizetype(piece)));
        from += piece;
    }
    return text + receive.feed(QByteArrayView(bytes.data() + from, qsizetype(to - from)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    // The cuts and the switch come from the end of the input, the received bytes from its
    // start.
    std::vector<size_t> pieces(input.ConsumeIntegralInRange<size_t>(0, 24));
    for (size_t &piece : pieces)
        piece = input.ConsumeIntegralInRange<size_t>(0, 40);
    const Encoding first = input.ConsumeBool() ? Encoding::Utf8 : Encoding::Gbk;
    const Encoding then = first == Encoding::Utf8 ? Encoding::Gbk : Encoding::Utf8;
    size_t switchAt = input.ConsumeIntegral<uint8_t>();
    const std::string bytes = input.ConsumeRemainingBytesAsString();
    switchAt = std::min(switchAt, bytes.size());

    ReceiveText whole;
    whole.decoder().setEncoding(first);
    QString wholeText = feed(whole, bytes, 0, switchAt, {});
    whole.decoder().setEncoding(then);
    wholeText += feed(whole, bytes, switchAt, bytes.size(), {});

    ReceiveText split;
    split.decoder().setEncoding(first);
    QString splitText = feed(split, bytes, 0, switchAt, pieces);
    split.decoder().setEncoding(then);
    splitText += feed(split, bytes, switchAt, bytes.size(), pieces);
    check(wholeText == splitText, "the log shows the same text however the bytes are split",
          wholeText.toUtf8(), splitText.toUtf8());

    // Whatever either holds back (blanks at the end, half a character, a pending break)
    // comes out the same once more text follows.
    const QByteArray more("x \r\nok");
    const QString wholeMore = whole.feed(more);
    const QString splitMore = split.feed(more);
    check(wholeMore == splitMore, "both stay in step after more bytes", wholeMore.toUtf8(),
          splitMore.toUtf8());
    check(!wholeMore.isEmpty() && wholeMore.endsWith(QStringLiteral("\nok")),
          "text after the held bytes shows", "...\\nok", wholeMore.toUtf8());
    return 0;
}
