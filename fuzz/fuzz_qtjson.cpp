#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "QtJsonRoundTrip.h"

// Whatever a datagram holds, parsing must end cleanly, and anything it accepts must
// serialise and parse back to the same bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    const QByteArray why = QtJsonRoundTrip::violation(input);
    if (!why.isEmpty()) {
        std::fprintf(stderr, "round trip broken: %s\n", why.toPercentEncoding(" :\"{}[],").constData());
        __builtin_trap();
    }
    return 0;
}
