#pragma once

#include <QByteArray>

// The resumption offset on a data stream: 8 bytes, signed 64-bit, little-endian on the
// client's own connections; decimal ASCII digits when a device fetches from a client.
class StreamOffset {
public:
    static constexpr int Size = 8;
    static QByteArray encode(qint64 offset);
    // The first 8 bytes; anything after them is ignored.
    static qint64 decode(const QByteArray& bytes);
    // Text made only of ASCII digits is a decimal count; otherwise exactly 8 bytes are
    // the little-endian count. -1 when it is neither.
    static qint64 parseEither(const QByteArray& bytes);
};
