#pragma once

#include <QByteArray>
#include <QVariant>

#include "json/QtJson.h"

// The codec's round-trip property, shared by the fuzz target and the corpus replay test:
// whatever bytes parse, the value read is written and read back unchanged, and writing it
// again gives exactly the bytes of the first write (parse, write, parse, write).
namespace QtJsonRoundTrip {

// A double whose output has no "." (-8e+22: one significant digit in exponent notation)
// is, by the format's own number rule, read back as an integer run that does not convert
// and so as the string "-8e+22". That is the format, not a codec fault: the property
// expects that string in its place.
inline QVariant asReadBack(const QVariant& value)
{
    switch (value.userType()) {
    case QMetaType::Double: {
        const QByteArray text = QtJson::serialize(value);
        return text.contains('.') ? value : QVariant(QString::fromLatin1(text));
    }
    case QMetaType::QVariantList: {
        QVariantList list = value.toList();
        for (QVariant& element : list)
            element = asReadBack(element);
        return list;
    }
    case QMetaType::QVariantMap: {
        QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            it.value() = asReadBack(it.value());
        return map;
    }
    default: return value;
    }
}

// Equal all the way down: containers and strings exactly, numbers and literals by their
// text ("-0" reads as an int and is written as "0", which reads as an unsigned int).
inline bool sameValue(const QVariant& a, const QVariant& b)
{
    const auto exactType = [](const QVariant& v) {
        const int t = v.userType();
        return t == QMetaType::QVariantList || t == QMetaType::QVariantMap || t == QMetaType::QString;
    };
    if ((exactType(a) || exactType(b)) && a.userType() != b.userType())
        return false;
    switch (a.userType()) {
    case QMetaType::QVariantList: {
        const QVariantList x = a.toList();
        const QVariantList y = b.toList();
        if (x.size() != y.size())
            return false;
        for (int i = 0; i < x.size(); ++i) {
            if (!sameValue(x.at(i), y.at(i)))
                return false;
        }
        return true;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap x = a.toMap();
        const QVariantMap y = b.toMap();
        if (x.keys() != y.keys())
            return false;
        for (auto it = x.constBegin(); it != x.constEnd(); ++it) {
            if (!sameValue(it.value(), y.value(it.key())))
                return false;
        }
        return true;
    }
    case QMetaType::QString: return a.toString() == b.toString();
    default: return QtJson::serialize(a) == QtJson::serialize(b);
    }
}

// Empty when the property holds for `input` (or `input` does not parse or serialise at
// all); otherwise what differs, for the report.
inline QByteArray violation(const QByteArray& input)
{
    bool ok = false;
    const QVariant value = QtJson::parseUtf8(input, ok);
    if (!ok)
        return QByteArray();
    const QByteArray once = QtJson::serialize(value, ok);
    if (!ok)
        return QByteArray(); // e.g. a double that is not finite
    const QVariant back = QtJson::parseUtf8(once, ok);
    if (!ok)
        return QByteArrayLiteral("serialised bytes do not parse: ") + once;
    const QVariant readBack = asReadBack(value);
    if (!sameValue(back, readBack))
        return QByteArrayLiteral("read back differs from what was read: ") + once;
    // Byte for byte: the second write is the first (a dotless double as its text).
    const QByteArray expected = QtJson::serialize(readBack);
    const QByteArray twice = QtJson::serialize(back);
    if (twice != expected)
        return QByteArrayLiteral("first: ") + expected + QByteArrayLiteral(" second: ") + twice;
    return QByteArray();
}

} // namespace QtJsonRoundTrip
