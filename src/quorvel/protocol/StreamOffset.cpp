#include "quorvel/protocol/StreamOffset.h"

#include <QtEndian>

QByteArray StreamOffset::encode(qint64 offset)
{
    QByteArray bytes(Size, Qt::Uninitialized);
    qToLittleEndian<qint64>(offset, bytes.data());
    return bytes;
}

qint64 StreamOffset::decode(const QByteArray& bytes)
{
    if (bytes.size() < Size)
        return -1;
    return qFromLittleEndian<qint64>(bytes.constData());
}

qint64 StreamOffset::parseEither(const QByteArray& bytes)
{
    bool digitsOnly = !bytes.isEmpty();
    for (char c : bytes)
        digitsOnly = digitsOnly && c >= '0' && c <= '9';
    if (digitsOnly) {
        bool ok = false;
        const qint64 value = bytes.toLongLong(&ok);
        return ok ? value : -1;
    }
    return bytes.size() == Size ? decode(bytes) : -1;
}
