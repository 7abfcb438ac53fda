// The GBK encoder and the measured counts. For any text (lone surrogates, characters GBK
// lacks, the private-use character the library maps to 0xFF included):
// - the measured count is the number of bytes the encoder writes;
// - the text logged decodes from the bytes written;
// - "AT发送" announces exactly the number of payload bytes that follow it, and the sent
//   count is what went on the line.
#include "bytecount.h"
#include "fakes.h"
#include "freeformsender.h"
#include "fuzzcheck.h"
#include "fuzztext.h"
#include "transmitter.h"
#include "wirecodec.h"

#include <QCoreApplication>

#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The payload follows its announcement on a timer.
    static QCoreApplication app(*argc, *argv);
    if (!WireCodec::available())
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const QString text = fuzzedText(input, 512);

    const WireCodec::Encoded encoded = WireCodec::encode(text);
    check(WireCodec::byteLength(text) == encoded.bytes.size(),
          "the measured count is the bytes written", QByteArray::number(encoded.bytes.size()),
          QByteArray::number(WireCodec::byteLength(text)));
    check(!encoded.bytes.contains(char(0xFF)), "0xFF never goes on the wire", {}, encoded.bytes);
    WireDecoder decoder;
    const QString decoded = decoder.decode(encoded.bytes);
    check(decoded == encoded.text, "the logged text is what the bytes say", encoded.text.toUtf8(),
          decoded.toUtf8());

    // "AT发送" on a line that takes everything.
    ConsoleRig rig(true, 0);
    rig.input = text;
    rig.sender.clickAtSend();
    for (int i = 0; i < 100 && rig.timer5.isActive(); ++i)
        QCoreApplication::processEvents();
    check(!rig.timer5.isActive(), "the payload follows its announcement");

    const QByteArray &wire = rig.link.written;
    const qsizetype announcementEnd = wire.indexOf("\r\n");
    check(wire.startsWith("AT+CIPSEND=") && announcementEnd > 0, "an announcement goes first",
          "AT+CIPSEND=<n>\\r\\n", wire);
    bool isNumber = false;
    const qsizetype announced = wire.mid(11, announcementEnd - 11).toLongLong(&isNumber);
    check(isNumber, "the announcement carries a number", {}, wire.left(announcementEnd));
    const QByteArray payload = wire.mid(announcementEnd + 2);
    check(payload.endsWith("\r\n") && payload.size() - 2 == announced,
          "the announced length is the payload's byte count", QByteArray::number(announced),
          QByteArray::number(payload.size() - 2));
    check(rig.tx.value() == quint64(wire.size()), "the sent count is what went on the line",
          QByteArray::number(wire.size()), QByteArray::number(rig.tx.value()));
    check(rig.messages.boxes.isEmpty(), "no box on an open line");
    return 0;
}
