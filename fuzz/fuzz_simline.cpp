// The simulated module's line parser and clock: any bytes at any pace, with any time
// passing between them, never crash it, never hang it, and never make it say more than a
// bounded amount per byte it was given.
#include "fuzzcheck.h"
#include "simmodule.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

// The longest answers are the boot noise of a restart and a network scan, a few hundred
// bytes for a command of eight; a payload comes back once from the peer.
constexpr qsizetype kFixedAllowance = 4096;
constexpr qsizetype kPerByteAllowance = 128;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    SimModule::Options options;
    options.speed = input.ConsumeBool() ? 1.0 : double(input.ConsumeIntegralInRange(1, 1000));
    options.bootSeed = input.ConsumeIntegral<quint32>();
    SimModule module(options);

    qsizetype in = 0;
    qsizetype out = 0;
    while (input.remaining_bytes() > 0) {
        if (input.ConsumeIntegralInRange(0, 3) == 0) {
            const qint64 ms = input.ConsumeIntegralInRange<qint64>(-10, 120000);
            out += module.advance(ms).size();
        } else {
            const std::string bytes = input.ConsumeRandomLengthString(300);
            in += qsizetype(bytes.size());
            out += module.feed(QByteArrayView(bytes.data(), qsizetype(bytes.size()))).size();
        }
        check(out <= kFixedAllowance + kPerByteAllowance * in, "the answers stay bounded",
              QByteArray::number(kFixedAllowance + kPerByteAllowance * in),
              QByteArray::number(out));
    }
    // Everything scheduled comes due within the slowest delay the module knows.
    const qint64 before = module.now();
    out += module.advance(60LL * 60 * 1000).size();
    check(module.now() == before + 60LL * 60 * 1000, "the clock moves by what was asked");
    check(out <= kFixedAllowance + kPerByteAllowance * in, "the answers stay bounded",
          QByteArray::number(kFixedAllowance + kPerByteAllowance * in), QByteArray::number(out));
    const qint64 next = module.nextEventIn();
    check(next == -1 || next > 0, "nothing due is left behind", "-1 or > 0",
          QByteArray::number(next));
    return 0;
}
