#include "FileOpen.h"

#include "ProtocolDefinedJsonObject.h"
#include "ProtocolWords.h"
#include "UserNotices.h"

FileOpen::FileOpen(const QString& path, const ServerContent& server, QObject* parent)
    : FileCommand(server, parent)
    , m_path(path)
{
    connect(this, &FileOpen::notify, UserNotices::instance(), &UserNotices::notify);
}

FileOpen::~FileOpen()
{
    emit notify(m_result ? tr("打开文件成功.") : tr("打开文件失败."));
}

void FileOpen::run()
{
    QtJson::JsonObject reply;
    if (!exchange(ProtocolDefinedJsonObject::fileOpen(m_path), &reply))
        return;
    if (reply.value(ProtocolKey::Result).toString() == ProtocolValue::Ok) {
        m_result = true;
        return;
    }
    qCritical(
        "[E][%s] Open file fail: %s", "FileOpen", reply.value(ProtocolKey::Reason).toString().toUtf8().constData());
}
