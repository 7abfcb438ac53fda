// The composed command buttons: whatever is typed into their boxes and lists, one click
// puts on the line either nothing or exactly one line ending in CR LF, counted as sent.
// A typed line break never reaches the line: a box holding one sends nothing.
#include "bytecount.h"
#include "composers.h"
#include "fakes.h"
#include "fuzzcheck.h"
#include "fuzztext.h"
#include "transmitter.h"
#include "wirecodec.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <optional>

namespace {

// A list's text: one of its entries, one with its blanks trimmed, or anything typed.
QString listText(FuzzedDataProvider &input, const std::vector<const char16_t *> &entries)
{
    switch (input.ConsumeIntegralInRange(0, 2)) {
    case 0:
        return QString::fromUtf16(
            entries[input.ConsumeIntegralInRange<size_t>(0, entries.size() - 1)]);
    case 1:
        return QString::fromUtf16(
                   entries[input.ConsumeIntegralInRange<size_t>(0, entries.size() - 1)])
            .trimmed();
    default:
        return QString::fromStdString(input.ConsumeRandomLengthString(64));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const int button = input.ConsumeIntegralInRange(0, 5);
    std::array<QString, 3> boxes;
    for (QString &box : boxes)
        box = fuzzedText(input, 128);
    std::optional<QString> command;
    switch (button) {
    case 0:
        command = Composers::workingMode(listText(
            input, {u"        Station模式", u"          AP模式", u"     AP兼Station模式"}));
        break;
    case 1:
        command = Composers::serverTimeout(boxes[0]);
        break;
    case 2:
        command = Composers::joinAccessPoint(boxes[0], boxes[1]);
        break;
    case 3:
        command = Composers::softAccessPoint(
            boxes[0], boxes[1],
            listText(input, {u"        OPEN", u"        WEP", u"      WPA_PSK", u"      WPA2_PSK",
                             u"    WPA_WPA2_PSK"}));
        break;
    case 4:
        command = Composers::server(boxes[0]);
        break;
    default:
        command = Composers::client(listText(input, {u"  TCP", u"  UDP"}), boxes[0], boxes[1]);
        break;
    }

    ConsoleRig rig;
    const bool wentOut = rig.transmitter.runCommand([&command] { return command; });

    const QByteArray &wire = rig.link.written;
    check(wentOut == !wire.isEmpty(), "a line went out exactly when the click says so");
    check(rig.tx.value() == quint64(wire.size()), "the sent count is what went on the line",
          QByteArray::number(wire.size()), QByteArray::number(rig.tx.value()));
    if (wire.isEmpty())
        return 0;
    check(wire.endsWith("\r\n"), "the line ends in CR LF", {}, wire);
    check(wire.startsWith("AT+"), "the line is a command", {}, wire);
    check(wire.size() == WireCodec::byteLength(*command) + 2, "the count is measured",
          QByteArray::number(WireCodec::byteLength(*command) + 2), QByteArray::number(wire.size()));
    // GBK never makes a CR or LF out of a character that is not one, and a composer gives
    // nothing for a typed line break, so whatever was typed, one click is one line.
    const QByteArray body = wire.chopped(2);
    check(!body.contains('\r') && !body.contains('\n'), "one click is one line", {}, wire);
    check(rig.log.text.endsWith(u'\n'), "the send log shows the line", {}, rig.log.text.toUtf8());
    return 0;
}
