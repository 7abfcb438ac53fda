// The receive path: what the receive log shows depends only on the bytes received, never on
// how the line split them into reads. The same bytes go through ReceiveText whole and cut
// at points the fuzzer chooses; both must show the same text, and stay in step afterwards.
#include "fuzzcheck.h"
#include "receivetext.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    // The cuts come from the end of the input, the received bytes from its start.
    std::vector<size_t> pieces(input.ConsumeIntegralInRange<size_t>(0, 24));
    for (size_t &piece : pieces)
        piece = input.ConsumeIntegralInRange<size_t>(0, 40);
    const std::string bytes = input.ConsumeRemainingBytesAsString();

    ReceiveText whole;
    const QString wholeText = whole.feed(QByteArrayView(bytes.data(), qsizetype(bytes.size())));

    ReceiveText split;
    QString splitText;
    size_t at = 0;
    for (size_t piece : pieces) {
        piece = std::min(piece, bytes.size() - at);
        splitText += split.feed(QByteArrayView(bytes.data() + at, qsizetype(piece)));
        at += piece;
    }
    splitText += split.feed(QByteArrayView(bytes.data() + at, qsizetype(bytes.size() - at)));
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
