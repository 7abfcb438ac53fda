#pragma once

#include <QString>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <vector>

// Text as a user may produce it: raw UTF-16 code units (lone surrogates, private-use and
// unassigned characters included), or UTF-8 bytes as typed or pasted.
inline QString fuzzedText(FuzzedDataProvider &input, size_t maxUnits)
{
    if (input.ConsumeBool()) {
        const std::vector<uint8_t> bytes = input.ConsumeBytes<uint8_t>(
            input.ConsumeIntegralInRange<size_t>(0, maxUnits) * sizeof(char16_t));
        std::vector<char16_t> units(bytes.size() / sizeof(char16_t));
        if (!units.empty())
            std::memcpy(units.data(), bytes.data(), units.size() * sizeof(char16_t));
        return QString::fromUtf16(units.data(), qsizetype(units.size()));
    }
    return QString::fromStdString(input.ConsumeRandomLengthString(maxUnits * 2));
}
