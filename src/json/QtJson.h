#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

// The wire codec of every control message: lenient on input, one fixed single-line
// output layout that devices read byte for byte.
namespace QtJson {

using JsonObject = QVariantMap;
using JsonArray = QVariantList;

// Nesting deeper than this is refused: the parser is recursive and runs on pool
// threads with small stacks.
constexpr int MaxNestingDepth = 512;

QVariant parse(const QString& json, bool& success);
// The same from UTF-8 bytes, all of them: a NUL byte is a character like any other (the
// serialiser writes U+0000 raw), so it must not end the text.
QVariant parseUtf8(const QByteArray& utf8, bool& success);
QByteArray serialize(const QVariant& data, bool& success);
QByteArray serialize(const QVariant& data);

// Convenience for datagrams: UTF-8 bytes to an object; anything else gives an empty map.
JsonObject parseObject(const QByteArray& utf8, bool* success = nullptr);

} // namespace QtJson
