#include "quorvel/protocol/FileContent.h"

#include "quorvel/protocol/ProtocolWords.h"

bool FileContent::isDir() const
{
    return type == ProtocolValue::Dir;
}

FileContent FileContent::fromJson(const QVariantMap& entry)
{
    FileContent content;
    content.name = entry.value(ProtocolKey::FileName, QStringLiteral("AAA")).toString();
    content.size = entry.value(ProtocolKey::FileSize, 10).toLongLong();
    content.dateModified = entry.value(ProtocolKey::DateModified, 10).toLongLong();
    content.type = entry.value(ProtocolKey::FileType, QStringLiteral("type")).toString();
    return content;
}
