#include "quorvel/protocol/ServerContent.h"

#include "quorvel/protocol/FileContent.h"
#include "quorvel/protocol/RecentFilesContent.h"

void ServerContent::addSupport(const QString& text)
{
    const QStringList parts = text.split(QStringLiteral(" : "), Qt::KeepEmptyParts, Qt::CaseSensitive);
    if (parts.size() == 2) {
        bool ok = false;
        const int port = parts.at(1).toInt(&ok, 10);
        if (ok) {
            supportPorts.insert(parts.at(0), SupportEntry{parts.at(0), port});
            return;
        }
    }
    supportList.append(text);
}

SupportEntry ServerContent::supportPort(const QString& featureName, bool* found) const
{
    const auto it = supportPorts.constFind(featureName);
    if (found)
        *found = it != supportPorts.constEnd();
    return it != supportPorts.constEnd() ? it.value() : SupportEntry{QString(""), 0};
}

bool ServerContent::operator==(const ServerContent& other) const
{
    return uuid == other.uuid && address == other.address && name == other.name && supportPorts == other.supportPorts;
}

void ServerContent::registerMetaTypes()
{
    qRegisterMetaType<ServerContent>("ServerContent");
    qRegisterMetaType<QList<FileContent>>("QList<FileContent>");
    qRegisterMetaType<QList<RecentFilesContent>>("QList<RecentFilesContent>");
}

namespace {
void registerQuorvelMetaTypes()
{
    ServerContent::registerMetaTypes();
}
} // namespace
Q_CONSTRUCTOR_FUNCTION(registerQuorvelMetaTypes)
