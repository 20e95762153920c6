#include <QString>
#include <cstddef>
#include <cstdint>

#include "json/QtJson.h"

// Whatever a datagram holds, parsing must end cleanly, and anything it accepts must
// serialise and parse back to the same bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    bool ok = false;
    const QVariant value = QtJson::parse(text, ok);
    if (!ok)
        return 0;
    bool serialised = false;
    const QByteArray once = QtJson::serialize(value, serialised);
    if (!serialised)
        return 0; // e.g. a double that is not finite
    bool reparsed = false;
    const QVariant back = QtJson::parse(QString::fromUtf8(once), reparsed);
    if (!reparsed || QtJson::serialize(back) != once)
        __builtin_trap();
    return 0;
}
