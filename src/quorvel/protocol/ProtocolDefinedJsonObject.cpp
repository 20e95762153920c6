#include "quorvel/protocol/ProtocolDefinedJsonObject.h"

#include <QMutex>
#include <QMutexLocker>
#include <QNetworkInterface>
#include <QSysInfo>

#include "quorvel/protocol/ProtocolWords.h"

using QtJson::JsonObject;

namespace {
JsonObject request(QLatin1String type)
{
    JsonObject object;
    object.insert(ProtocolKey::Type, QString(type));
    return object;
}

JsonObject pathRequest(QLatin1String type, const QString& path)
{
    JsonObject object = request(type);
    object.insert(ProtocolKey::FilePath, path);
    return object;
}
} // namespace

JsonObject ProtocolDefinedJsonObject::fileList(const QString& path, const QString& sort)
{
    JsonObject object = pathRequest(ProtocolType::FileList, path);
    object.insert(ProtocolKey::Key, QStringLiteral("0"));
    object.insert(ProtocolKey::Sort, sort);
    return object;
}

JsonObject ProtocolDefinedJsonObject::fileDownload(const QString& path)
{
    return pathRequest(ProtocolType::FileDownload, path);
}

JsonObject ProtocolDefinedJsonObject::fileOpen(const QString& path)
{
    JsonObject object = request(ProtocolType::FileOpen);
    if (path.split(QLatin1Char(':')).first() == ProtocolValue::Secure) {
        object.insert(ProtocolKey::Option, QString(ProtocolValue::Secure));
        object.insert(ProtocolKey::FilePath, path.split(QStringLiteral(":/")).last());
    } else {
        object.insert(ProtocolKey::Option, QString(ProtocolValue::Normal));
        object.insert(ProtocolKey::FilePath, path);
    }
    return object;
}

JsonObject ProtocolDefinedJsonObject::fileDelete(const QString& path)
{
    return pathRequest(ProtocolType::FileDelete, path);
}

JsonObject ProtocolDefinedJsonObject::getThumb(const QString& path)
{
    return pathRequest(ProtocolType::GetThumb, path);
}

JsonObject ProtocolDefinedJsonObject::salutatory(const QString& text)
{
    JsonObject object = request(ProtocolType::Salutatory);
    object.insert(ProtocolKey::Salutatory, text);
    return object;
}

JsonObject ProtocolDefinedJsonObject::fileDistribution(const QString& path, const QString& clientName)
{
    JsonObject object = pathRequest(ProtocolType::FileDistribution, path);
    object.insert(ProtocolKey::Name, clientName);
    object.insert(ProtocolKey::Uuid, clientUuid());
    return object;
}

JsonObject ProtocolDefinedJsonObject::queryResult(qint64 sessionId, const QString& md5)
{
    JsonObject object = request(ProtocolType::QueryResult);
    object.insert(ProtocolKey::SessionId, sessionId);
    object.insert(ProtocolKey::Md5, md5);
    return object;
}

JsonObject ProtocolDefinedJsonObject::okReply()
{
    JsonObject object;
    object.insert(ProtocolKey::Result, QString(ProtocolValue::Ok));
    return object;
}

JsonObject ProtocolDefinedJsonObject::failReply(const QString& reason)
{
    JsonObject object;
    object.insert(ProtocolKey::Result, QString(ProtocolValue::Fail));
    object.insert(ProtocolKey::Reason, reason);
    return object;
}

JsonObject ProtocolDefinedJsonObject::downloadReply(uint sessionId, uint tcpPort, uint fileSize)
{
    JsonObject object = okReply();
    object.insert(ProtocolKey::SessionId, sessionId);
    object.insert(ProtocolKey::TcpPort, tcpPort);
    object.insert(ProtocolKey::FileSize, fileSize);
    return object;
}

JsonObject ProtocolDefinedJsonObject::clientInfo(const QString& clientName)
{
    JsonObject object;
    object.insert(ProtocolKey::Name, clientName);
    object.insert(ProtocolKey::Version, QString(ProtocolValue::ProtocolVersion));
    object.insert(ProtocolKey::Os, osName());
    object.insert(ProtocolKey::Uuid, clientUuid());
    object.insert(ProtocolKey::Type, QString(ProtocolValue::Client));
    object.insert(ProtocolKey::Support, QStringList{QString(ProtocolValue::FileUploadFeature)});
    return object;
}

QString ProtocolDefinedJsonObject::clientUuid()
{
    static QMutex mutex;
    static QString cached;
    QMutexLocker lock(&mutex);
    if (!cached.isEmpty())
        return cached;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : interfaces) {
        if (iface.flags().testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const QString mac = iface.hardwareAddress();
        QString digits = mac;
        digits.remove(QLatin1Char(':'));
        if (digits.isEmpty() || digits.count(QLatin1Char('0')) == digits.size())
            continue;
        cached = mac;
        break;
    }
    return cached;
}

QString ProtocolDefinedJsonObject::osName()
{
    return QSysInfo::prettyProductName();
}
